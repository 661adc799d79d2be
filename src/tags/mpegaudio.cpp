#include "mpegaudio.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace tags {
namespace {

// The search reads this much at a time, so that a frame right behind the tag costs one
// read and a file without any frame is still read in large steps.
constexpr size_t kChunkSize = 3840;
// The bytes of a frame that can hold a VBR header: 36 + "VBRI" and its 14 bytes of fields.
constexpr size_t kWindowSize = 54;

constexpr int kBitrates[5][16] = {
    // MPEG-1 Layer I, II, III
    {-2, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, -1},
    {-2, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, -1},
    {-2, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, -1},
    // MPEG-2 and 2.5 Layer I, then Layers II and III
    {-2, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, -1},
    {-2, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, -1},
};

size_t ReadAt(TFile& file, int64_t position, void* buffer, size_t count) {
  file.Seek(uint64_t(position));
  return file.Read(buffer, count);
}

bool Matches(const uint8_t* bytes, const char* text) { return std::memcmp(bytes, text, std::strlen(text)) == 0; }

uint32_t BigEndian(const uint8_t* bytes, int count) {
  uint32_t value = 0;
  for (int i = 0; i < count; ++i) value = value << 8 | bytes[i];
  return value;
}

double RoundHalfEven(double value) {
  const double floor = std::floor(value);
  const double fraction = value - floor;
  if (fraction > 0.5) return floor + 1;
  if (fraction < 0.5) return floor;
  return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

TMPEGVersion VersionOf(const uint8_t* header) { return TMPEGVersion((header[1] >> 3) & 3); }
TMPEGLayer LayerOf(const uint8_t* header) { return TMPEGLayer((header[1] >> 1) & 3); }
TMPEGChannelMode ChannelModeOf(const uint8_t* header) { return TMPEGChannelMode(header[3] >> 6); }

// Where a "Xing" or "Info" header starts: right after the side information, whose size
// depends on the version and on whether the stream is mono.
int XingOffset(TMPEGVersion version, TMPEGChannelMode mode) {
  if (version == mvVersion1) return mode != mcSingleChannel ? 36 : 21;
  return mode != mcSingleChannel ? 21 : 13;
}

bool HoldsVBRHeader(const uint8_t* window) {
  if (Matches(window + 36, "VBRI")) return true;
  const uint8_t* tag = window + XingOffset(VersionOf(window), ChannelModeOf(window));
  return Matches(tag, "Xing") || Matches(tag, "Info");
}

// A byte pair FF Ex or FF Fx whose next two bytes are no impossible header: the weak test
// by which the first frame is looked for.
bool IsCandidate(const uint8_t* header) {
  return (header[1] & 0xE0) == 0xE0 && (header[2] & 0xF0) != 0xF0 && (header[3] & 3) != 2;
}

// Reads the file chunk by chunk from a start offset and yields every candidate frame
// header in file order, with the bytes that may hold a VBR header.
class TSyncScanner {
 public:
  TSyncScanner(TFile& file, int64_t start) : File_(file), NextChunk_(start) {}

  // False when the file ends first, or when the candidate found lies so close to the end
  // that its window cannot be read.
  bool Next(int64_t& offset, uint8_t* window) {
    while (!Finished_) {
      if (Index_ >= ChunkLength_ && !LoadNextChunk()) break;
      const void* found = std::memchr(Chunk_ + Index_, 0xFF, ChunkLength_ - Index_);
      if (found == nullptr) {
        Index_ = ChunkLength_;
        continue;
      }
      const size_t at = size_t(static_cast<const uint8_t*>(found) - Chunk_);
      Index_ = at + 1;
      const int64_t position = ChunkStart_ + int64_t(at);
      if (at + 4 <= ChunkLength_ && !IsCandidate(Chunk_ + at)) continue;
      if (at + kWindowSize <= ChunkLength_) {
        std::memcpy(window, Chunk_ + at, kWindowSize);
      } else {
        // The header or its window runs into the next chunk: read them from the file.
        const size_t read = ReadAt(File_, position, window, kWindowSize);
        if (read < 4 || !IsCandidate(window)) continue;
        if (read < kWindowSize) break;
      }
      offset = position;
      return true;
    }
    Finished_ = true;
    return false;
  }

  // Up to four bytes at `position`, from the chunk in hand when it holds them.
  size_t Peek(int64_t position, uint8_t* bytes) {
    if (position >= ChunkStart_ && position + 4 <= ChunkStart_ + int64_t(ChunkLength_)) {
      std::memcpy(bytes, Chunk_ + (position - ChunkStart_), 4);
      return 4;
    }
    return ReadAt(File_, position, bytes, 4);
  }

 private:
  bool LoadNextChunk() {
    ChunkStart_ = NextChunk_;
    ChunkLength_ = ReadAt(File_, ChunkStart_, Chunk_, kChunkSize);
    NextChunk_ += int64_t(ChunkLength_);
    Index_ = 0;
    return ChunkLength_ > 0;
  }

  TFile& File_;
  uint8_t Chunk_[kChunkSize];
  int64_t ChunkStart_ = 0;
  size_t ChunkLength_ = 0;
  size_t Index_ = 0;
  int64_t NextChunk_;
  bool Finished_ = false;
};

// Whether the stream goes on as the candidate says it does: it carries a VBR header, or
// the next frame header lies exactly one frame further on with the same version, layer
// and sampling rate. Free-format and reserved headers are never confirmed.
bool ConfirmedByStream(TSyncScanner& scanner, int64_t offset, const uint8_t* header) {
  const TMPEGVersion version = VersionOf(header);
  const TMPEGLayer layer = LayerOf(header);
  const int bitrate = MPEGBitrate(version, layer, header[2] >> 4);
  const int samplingRate = MPEGSamplingRate(version, (header[2] >> 2) & 3);
  if (bitrate <= 0 || samplingRate <= 0) return false;
  if (HoldsVBRHeader(header)) return true;
  const int padding = (header[2] >> 1) & 1;
  // Layer I counts its length in 4-byte slots.
  const int64_t length = layer == mlLayerI
                             ? (int64_t(12) * bitrate * 1000 / samplingRate + padding) * 4
                             : int64_t(MPEGCoefficient(version, layer)) * bitrate * 1000 / samplingRate + padding;
  uint8_t next[4];
  if (scanner.Peek(offset + length, next) < 4) return false;
  const int nextBitrate = next[2] >> 4;
  return next[0] == 0xFF && (next[1] & 0xFE) == (header[1] & 0xFE) && (next[2] & 0x0C) == (header[2] & 0x0C) &&
         nextBitrate != 0 && nextBitrate != 15;
}

}  // namespace

const char* MPEGVersionText(TMPEGVersion version) {
  static const char* const kTexts[] = {"MPEG 2.5", "Not defined", "MPEG 2", "MPEG 1"};
  return kTexts[version & 3];
}

const char* MPEGLayerText(TMPEGLayer layer) {
  static const char* const kTexts[] = {"Not defined", "Layer III", "Layer II", "Layer I"};
  return kTexts[layer & 3];
}

const char* MPEGChannelModeText(TMPEGChannelMode mode) {
  static const char* const kTexts[] = {"Stereo", "Joint Stereo", "Dual Channel", "Mono"};
  return kTexts[mode & 3];
}

const char* MPEGModeExtensionText(TMPEGModeExtension extension) {
  static const char* const kTexts[] = {"", "IS", "MS", "IS+MS"};
  return kTexts[extension & 3];
}

const char* MPEGEmphasisText(TMPEGEmphasis emphasis) {
  static const char* const kTexts[] = {"None", "50/15 ms", "Not defined", "CCIT J.17"};
  return kTexts[emphasis & 3];
}

int MPEGBitrate(TMPEGVersion version, TMPEGLayer layer, int index) {
  if (version == mvReserved || layer == mlNotDefined || index < 0 || index > 15) return 0;
  // Layer I is value 3, Layer III value 1.
  const int row = version == mvVersion1 ? 3 - int(layer) : (layer == mlLayerI ? 3 : 4);
  return kBitrates[row][index];
}

int MPEGSamplingRate(TMPEGVersion version, int index) {
  static constexpr int kRates[4][3] = {
      {11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};
  if (index < 0 || index > 2) return 0;
  return kRates[version & 3][index];
}

int MPEGCoefficient(TMPEGVersion version, TMPEGLayer layer) {
  if (version == mvReserved) return 0;
  switch (layer) {
    case mlLayerI: return 48;
    case mlLayerII: return 144;
    case mlLayerIII: return version == mvVersion1 ? 144 : 72;
    default: return 0;
  }
}

std::string DurationToTime(double duration) {
  double rounded = RoundHalfEven(duration);
  // Only a damaged header gives an absurd playing time; keep the conversion defined.
  if (!(rounded >= 0)) rounded = 0;
  if (rounded > 1e15) rounded = 1e15;
  const long long s = (long long)rounded;
  const long long h = s / 3600;
  char text[64];
  if (h == 0)
    std::snprintf(text, sizeof text, "%02lld:%02lld", s / 60, s - 60 * (s / 60));
  else
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", h, (s - 3600 * h) / 60, s - 60 * (s / 60));
  return text;
}

TMPEGAudio::TMPEGAudio(TFileSystem* fileSystem) : FileSystem_(fileSystem ? fileSystem : &SystemFileSystem()) {}

void TMPEGAudio::Reset() {
  FileSize_ = 0;
  HeaderFoundAt_ = -1;
  AudioSize_ = 0;
  Bitrate_ = 0;
  SamplingRate_ = 0;
  FrameLength_ = 0;
  FrameCount_ = 0;
  Duration_ = 0;
  Version_ = mvReserved;
  Layer_ = mlNotDefined;
  ChannelMode_ = mcStereo;
  ModeExtension_ = mmeModeExt0;
  Emphasis_ = meNone;
  Bits_ = {};
  VBR_ = false;
  PaddingLength_ = 0;
  VBRIVersion_ = 0;
  VBRIDelay_ = 0;
  Quality_ = -1;
  ID3v2TagExists_ = false;
  ID3v1TagExists_ = false;
  Lyrics3v2Exists_ = false;
  Lyrics3Size_ = 0;
}

void TMPEGAudio::SetFileName(const std::string& fileName) {
  if (fileName == FileName_) return;
  Reset();
  Active_ = false;
  FileName_ = fileName;
}

void TMPEGAudio::SetActive(bool active) {
  if (active) {
    // Opening the file is what tells that it is missing, as with the tag components;
    // nothing but Active has changed when that open fails. Any other failure reaches
    // the caller.
    try {
      DoOpen();
    } catch (const EFileError& e) {
      Active_ = false;
      if (e.Error() != ENOENT && e.Error() != ENOTDIR) throw;
    }
    return;
  }
  if (!FileSystem_->Status(FileName_).Exists) {
    Active_ = false;
    return;
  }
  DoClose();
}

void TMPEGAudio::DoOpen() {
  auto file = FileSystem_->Open(FileName_, TOpenMode::Read);
  if (OnFileOpen_) OnFileOpen_(this);
  Active_ = true;
  try {
    Analyse(*file);
    file->Close();
  } catch (...) {
    // Half an analysis is worth nothing: the caller sees the error and no stale values.
    Reset();
    Active_ = false;
    throw;
  }
  if (OnFileClose_) OnFileClose_(this);
}

void TMPEGAudio::DoClose() {
  Reset();
  Active_ = false;
}

void TMPEGAudio::Analyse(TFile& file) {
  if (OnReadMPEG_) OnReadMPEG_(this);
  Reset();
  FileSize_ = int64_t(file.Size());

  uint8_t id3[10];
  int64_t start = 0;
  if (ReadAt(file, 0, id3, sizeof id3) == sizeof id3 && Matches(id3, "ID3")) {
    ID3v2TagExists_ = true;
    start = 10 + (int64_t(id3[6] & 0x7F) << 21 | int64_t(id3[7] & 0x7F) << 14 | int64_t(id3[8] & 0x7F) << 7 |
                  int64_t(id3[9] & 0x7F));
    // Only 2.4 defines a footer; the same bit in an older tag means nothing.
    if ((id3[5] & 0x10) != 0 && id3[3] == 4) start += 10;
  }

  uint8_t window[kWindowSize];
  FindFirstFrame(file, start, window);
  if (HeaderFoundAt_ < 0) return;
  DecodeHeader(window);
  ReadVBRHeader(window);
  ReadTrailingTags(file);
  Compute();
}

void TMPEGAudio::FindFirstFrame(TFile& file, int64_t start, uint8_t* window) {
  TSyncScanner scanner(file, start);
  int64_t offset = -1;
  if (!scanner.Next(offset, window)) return;
  // The test for a frame header is weak: FF Ex turns up in junk before the audio, in a
  // damaged stretch of a stream, and in the picture of an ID3v2 tag that runs past its
  // declared size. Such a false header gives a wrong version, bitrate and duration, or no
  // valid stream at all. So the first candidate is kept only when the stream goes on
  // from it; otherwise the first later candidate that is confirmed so takes its place.
  // When none is, the first stays: a file of a single frame, or a free-format stream
  // (whose frame length is unknown), reads as it always would.
  if (!ConfirmedByStream(scanner, offset, window)) {
    int64_t later = -1;
    uint8_t laterWindow[kWindowSize];
    while (scanner.Next(later, laterWindow)) {
      if (ConfirmedByStream(scanner, later, laterWindow)) {
        offset = later;
        std::memcpy(window, laterWindow, kWindowSize);
        break;
      }
    }
  }
  HeaderFoundAt_ = offset;
}

void TMPEGAudio::DecodeHeader(const uint8_t* header) {
  const uint8_t b1 = header[1], b2 = header[2], b3 = header[3];
  if ((b1 & 1) == 0) Bits_.Include(mbProtection);
  Layer_ = LayerOf(header);
  Version_ = VersionOf(header);
  if (Layer_ == mlNotDefined || Version_ == mvReserved) return;

  if ((b2 & 1) != 0) Bits_.Include(mbPrivate);
  const bool padded = (b2 & 2) != 0;
  SamplingRate_ = MPEGSamplingRate(Version_, (b2 >> 2) & 3);
  Bitrate_ = MPEGBitrate(Version_, Layer_, b2 >> 4);
  if (Bitrate_ == -1) return;

  Emphasis_ = TMPEGEmphasis(b3 & 3);
  if ((b3 & 4) != 0) Bits_.Include(mbOriginal);
  if ((b3 & 8) != 0) Bits_.Include(mbCopyrighted);
  ModeExtension_ = TMPEGModeExtension((b3 >> 4) & 3);
  ChannelMode_ = ChannelModeOf(header);
  PaddingLength_ = padded ? (Layer_ == mlLayerI ? 4 : 1) : 0;
}

void TMPEGAudio::ReadVBRHeader(const uint8_t* window) {
  if (Matches(window + 36, "VBRI")) {
    VBRIVersion_ = uint16_t(BigEndian(window + 40, 2));
    VBRIDelay_ = uint16_t(BigEndian(window + 42, 2));
    Quality_ = int32_t(BigEndian(window + 44, 2));
    AudioSize_ = BigEndian(window + 46, 4);
    FrameCount_ = BigEndian(window + 50, 4);
    VBR_ = true;
    return;
  }
  const uint8_t* tag = window + XingOffset(Version_, ChannelMode_);
  const bool xing = Matches(tag, "Xing");
  if (!xing && !Matches(tag, "Info")) return;
  const uint32_t flags = BigEndian(tag + 4, 4);
  int field = 8;
  if ((flags & 1) != 0) {
    FrameCount_ = BigEndian(tag + field, 4);
    field += 4;
  }
  if ((flags & 2) != 0) AudioSize_ = BigEndian(tag + field, 4);
  VBR_ = xing;
}

void TMPEGAudio::ReadTrailingTags(TFile& file) {
  if (FileSize_ < 128) return;
  uint8_t bytes[11];
  ID3v1TagExists_ = ReadAt(file, FileSize_ - 128, bytes, 3) == 3 && Matches(bytes, "TAG");
  const int64_t tagEnd = FileSize_ - (ID3v1TagExists_ ? 128 : 0);
  if (tagEnd < 15 || ReadAt(file, tagEnd - 9, bytes, 9) != 9 || !Matches(bytes, "LYRICS200")) return;

  // Six decimal digits before "LYRICS200" give the block's size from "LYRICSBEGIN" on.
  const int64_t sizeAt = tagEnd - 15;
  if (ReadAt(file, sizeAt, bytes, 6) != 6) return;
  int64_t size = 0;
  for (int i = 0; i < 6; ++i) {
    if (bytes[i] < '0' || bytes[i] > '9') {
      size = 0;
      break;
    }
    size = size * 10 + (bytes[i] - '0');
  }
  const int64_t beginAt = sizeAt - size;
  if (beginAt < 0 || ReadAt(file, beginAt, bytes, 11) != 11 || !Matches(bytes, "LYRICSBEGIN")) return;
  Lyrics3v2Exists_ = true;
  Lyrics3Size_ = uint32_t(size + 15);
}

void TMPEGAudio::Compute() {
  const int coefficient = MPEGCoefficient(Version_, Layer_);
  // A header found inside the tags at the end leaves no audio, not a negative amount.
  const int64_t streamBytes =
      std::max<int64_t>(0, FileSize_ - HeaderFoundAt_ - Lyrics3Size_ - (ID3v1TagExists_ ? 128 : 0));
  if (!VBR_ && AudioSize_ == 0) AudioSize_ = streamBytes;

  // A "Xing" header may leave out the byte count and still give the frame count, which
  // alone fixes the playing time. Without this the stream would read as 0 frames lasting
  // 0 seconds, at the bitrate of its first frame.
  if (VBR_ && AudioSize_ == 0 && FrameCount_ > 0 && coefficient > 0 && SamplingRate_ > 0) {
    AudioSize_ = streamBytes;
    Duration_ = double(FrameCount_) * coefficient * 8 / SamplingRate_;
    FrameLength_ = int32_t(AudioSize_ / FrameCount_);
    Bitrate_ = int32_t(RoundHalfEven(double(AudioSize_) * 8 / Duration_ / 1000));
    return;
  }

  if (VBR_ && AudioSize_ > 0 && FrameCount_ > 0) {
    FrameLength_ = int32_t(AudioSize_ / FrameCount_);
    const double r = coefficient > 0
                         ? (double(AudioSize_) / FrameCount_ - PaddingLength_) * SamplingRate_ / coefficient / 1000
                         : 0;
    // A reserved sampling rate, or a header counting fewer bytes than frames, gives no
    // bitrate to divide by: no playing time then, rather than an infinite or negative one.
    if (r > 0) {
      Bitrate_ = int32_t(RoundHalfEven(r));
      Duration_ = double(AudioSize_) * 8 / (r * 1000);
    } else {
      Bitrate_ = 0;
    }
    return;
  }

  if (Bitrate_ > 0) Duration_ = double(AudioSize_) * 8 / (double(Bitrate_) * 1000);
  if (FrameLength_ == 0) {
    double t = 0;
    if (Bitrate_ != -2 && SamplingRate_ > 0)
      t = double(coefficient) * Bitrate_ * 1000 / SamplingRate_ + PaddingLength_;
    if (t > 0) {
      FrameLength_ = int32_t(t);
      if (FrameLength_ > 0) FrameCount_ = uint32_t(AudioSize_ / FrameLength_);
    }
  }
}

}  // namespace tags
