// The MPEG stream analysis: the decoding tables and texts, the first-frame search (with
// the ID3v2 skip and the chunk boundaries), header decoding, the "Xing", "Info" and
// "VBRI" headers, the tags at the end, the size and duration arithmetic, the lifecycle,
// and the confirmation that keeps a false frame header from standing for the stream.
// Files are built in code and live in a memory file system.

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "builders.h"
#include "faultyfilesystem.h"
#include "memoryfilesystem.h"
#include "mpegaudio.h"
#include "testutil.h"

namespace {

using namespace tags;
using builders::BE;
using builders::Bytes;
using builders::Cat;
using builders::Str;
using builders::SyncSafe;
using builders::Zeros;
using tags::test::TFaultOperation;
using tags::test::TFaultyFileSystem;
using tags::test::TMemoryFileSystem;

// --- Fixture builders ---------------------------------------------------------------------

// Common headers, as the 32-bit big-endian word.
constexpr uint32_t kMpeg1L3_128 = 0xFFFB9064;      // MPEG-1 Layer III 128 kbit/s 44.1 kHz, joint stereo
constexpr uint32_t kMpeg1L3Mono_64 = 0xFFFB50C4;   // 64 kbit/s 44.1 kHz mono
constexpr uint32_t kMpeg2L3_32 = 0xFFF340C4;       // MPEG-2 Layer III 32 kbit/s 22.05 kHz mono
constexpr uint32_t kMpeg2L3Stereo_32 = 0xFFF34004;  // the same in stereo
constexpr uint32_t kMpeg25L3_16 = 0xFFE32864;      // MPEG-2.5 Layer III 16 kbit/s 8 kHz joint stereo

// The length of the frame this header starts, as the format defines it.
size_t FrameLength(uint32_t header) {
  const auto version = TMPEGVersion((header >> 19) & 3);
  const auto layer = TMPEGLayer((header >> 17) & 3);
  const int bitrate = MPEGBitrate(version, layer, (header >> 12) & 15) * 1000;
  const int rate = MPEGSamplingRate(version, (header >> 10) & 3);
  const int padding = (header >> 9) & 1;
  if (layer == mlLayerI) return size_t((12 * bitrate / rate + padding) * 4);
  return size_t(MPEGCoefficient(version, layer) * bitrate / rate + padding);
}

// One frame: the header, then zero bytes (which hold no sync) up to its length, with
// `body` placed at `at` when given.
Bytes Frame(uint32_t header, const Bytes& body = {}, size_t at = 4, size_t length = 0) {
  Bytes frame = BE(header, 4);
  frame.resize(length != 0 ? length : FrameLength(header), 0);
  if (frame.size() < at + body.size()) frame.resize(at + body.size(), 0);
  std::copy(body.begin(), body.end(), frame.begin() + long(at));
  return frame;
}

Bytes Stream(uint32_t header, int count) {
  Bytes out;
  for (int i = 0; i < count; ++i) {
    const Bytes frame = Frame(header);
    out.insert(out.end(), frame.begin(), frame.end());
  }
  return out;
}

// "Xing" or "Info" and its fields: flags, then the frame count and/or byte count they
// announce.
Bytes XingTag(const char* id, uint32_t flags, std::initializer_list<uint32_t> fields) {
  Bytes tag = Cat({Str(id), BE(flags, 4)});
  for (uint32_t f : fields) tag = Cat({tag, BE(f, 4)});
  return tag;
}

Bytes VbriTag(uint16_t version, uint16_t delay, uint16_t quality, uint32_t bytes, uint32_t frames) {
  return Cat({Str("VBRI"), BE(version, 2), BE(delay, 2), BE(quality, 2), BE(bytes, 4), BE(frames, 4)});
}

Bytes Id3v2(int major, uint8_t flags, size_t bodySize) {
  return Cat({builders::Header(major, flags, uint32_t(bodySize)), Zeros(bodySize)});
}

Bytes Id3v1() {
  Bytes tag(128, 0);
  std::copy_n("TAG", 3, tag.begin());
  return tag;
}

Bytes Lyrics3(const std::string& fields = "IND00003110LYR00005Hello") {
  const Bytes body = Cat({Str("LYRICSBEGIN"), Str(fields)});
  char size[8];
  std::snprintf(size, sizeof size, "%06zu", body.size());
  return Cat({body, Str(size), Str("LYRICS200")});
}

// Bytes that hold a plausible frame header (FF FB 90 64) that no stream follows.
Bytes Junk(size_t size) {
  Bytes junk(size, 0x11);
  for (size_t at = 16; at + 4 <= size; at += 97) std::copy_n(BE(kMpeg1L3_128, 4).begin(), 4, junk.begin() + long(at));
  return junk;
}

// A file system that counts what is read, to hold the analysis to its few reads.
class TCountingFileSystem final : public TFileSystem {
 public:
  explicit TCountingFileSystem(TFileSystem& inner) : Inner_(inner) {}
  uint64_t BytesRead = 0;
  uint64_t Reads = 0;

  std::unique_ptr<TFile> Open(const std::string& path, TOpenMode mode) override {
    return std::make_unique<TCountingFile>(Inner_.Open(path, mode), *this);
  }
  std::unique_ptr<TFile> CreateUnique(const std::string& f, const std::string& p, std::string& path) override {
    return Inner_.CreateUnique(f, p, path);
  }
  void Rename(const std::string& from, const std::string& to) override { Inner_.Rename(from, to); }
  void Remove(const std::string& path) override { Inner_.Remove(path); }
  TFileStatus Status(const std::string& path) override { return Inner_.Status(path); }
  void SetMode(const std::string& path, uint32_t mode) override { Inner_.SetMode(path, mode); }
  std::string ResolveLinks(const std::string& path) override { return Inner_.ResolveLinks(path); }
  void SyncFolder(const std::string& folder) override { Inner_.SyncFolder(folder); }

 private:
  class TCountingFile final : public TFile {
   public:
    TCountingFile(std::unique_ptr<TFile> inner, TCountingFileSystem& owner) : Inner_(std::move(inner)), Owner_(owner) {}
    size_t Read(void* buffer, size_t count) override {
      const size_t n = Inner_->Read(buffer, count);
      Owner_.BytesRead += n;
      ++Owner_.Reads;
      return n;
    }
    void Write(const void* data, size_t count) override { Inner_->Write(data, count); }
    void Seek(uint64_t position) override { Inner_->Seek(position); }
    uint64_t Size() override { return Inner_->Size(); }
    void Truncate(uint64_t size) override { Inner_->Truncate(size); }
    void Sync() override { Inner_->Sync(); }
    void SetMode(uint32_t mode) override { Inner_->SetMode(mode); }
    void TrySetOwner(uint32_t uid, uint32_t gid) override { Inner_->TrySetOwner(uid, gid); }
    void Close() override { Inner_->Close(); }

   private:
    std::unique_ptr<TFile> Inner_;
    TCountingFileSystem& Owner_;
  };
  TFileSystem& Inner_;
};

class MPEGAudioTest : public testing::Test {
 protected:
  // Writes the file and analyses it.
  TMPEGAudio& Analyse(const Bytes& content) {
    Fs.WriteFile(kPath, content);
    Audio.SetFileName(kPath);
    Audio.Open();
    EXPECT_TRUE(Audio.Active());
    return Audio;
  }

  static constexpr const char* kPath = "/music/song.mp3";
  TMemoryFileSystem Fs;
  TMPEGAudio Audio{&Fs};
  testutil::TErrorCapture Errors;
};

// Every value at its reset state.
void ExpectReset(const TMPEGAudio& a) {
  EXPECT_EQ(a.HeaderFoundAt(), -1);
  EXPECT_EQ(a.AudioSize(), 0);
  EXPECT_EQ(a.Bitrate(), 0);
  EXPECT_EQ(a.SamplingRate(), 0);
  EXPECT_EQ(a.FrameLength(), 0);
  EXPECT_EQ(a.FrameCount(), 0u);
  EXPECT_EQ(a.Duration(), 0);
  EXPECT_EQ(a.Version(), mvReserved);
  EXPECT_EQ(a.Layer(), mlNotDefined);
  EXPECT_EQ(a.ChannelMode(), mcStereo);
  EXPECT_EQ(a.ModeExtension(), mmeModeExt0);
  EXPECT_EQ(a.Emphasis(), meNone);
  EXPECT_TRUE(a.Bits().Empty());
  EXPECT_FALSE(a.VBR());
  EXPECT_EQ(a.PaddingLength(), 0);
  EXPECT_EQ(a.Quality(), -1);
  EXPECT_FALSE(a.ID3v1TagExists());
  EXPECT_FALSE(a.Lyrics3v2Exists());
  EXPECT_EQ(a.Lyrics3Size(), 0u);
  EXPECT_FALSE(a.Valid());
}

// --- Tables and texts -----------------------------------------------------------------------

TEST(MPEGTables, BitratesFollowThePublishedTable) {
  struct TRow {
    TMPEGVersion Version;
    TMPEGLayer Layer;
    std::vector<int> Rates;  // indexes 0..15
  };
  const std::vector<int> lowRates = {-2, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, -1};
  const std::vector<int> lowLayerI = {-2, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, -1};
  const TRow rows[] = {
      {mvVersion1, mlLayerI, {-2, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, -1}},
      {mvVersion1, mlLayerII, {-2, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, -1}},
      {mvVersion1, mlLayerIII, {-2, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, -1}},
      {mvVersion2, mlLayerI, lowLayerI},
      {mvVersion2, mlLayerII, lowRates},
      {mvVersion2, mlLayerIII, lowRates},
      {mvVersion25, mlLayerI, lowLayerI},
      {mvVersion25, mlLayerII, lowRates},
      {mvVersion25, mlLayerIII, lowRates},
  };
  for (const TRow& row : rows)
    for (int i = 0; i < 16; ++i)
      EXPECT_EQ(MPEGBitrate(row.Version, row.Layer, i), row.Rates[size_t(i)])
          << MPEGVersionText(row.Version) << " " << MPEGLayerText(row.Layer) << " index " << i;
  EXPECT_EQ(MPEGBitrate(mvReserved, mlLayerIII, 9), 0);
  EXPECT_EQ(MPEGBitrate(mvVersion1, mlNotDefined, 9), 0);
}

TEST(MPEGTables, SamplingRatesAndCoefficients) {
  const int rates[4][4] = {{11025, 12000, 8000, 0}, {0, 0, 0, 0}, {22050, 24000, 16000, 0}, {44100, 48000, 32000, 0}};
  for (int v = 0; v < 4; ++v)
    for (int i = 0; i < 4; ++i) EXPECT_EQ(MPEGSamplingRate(TMPEGVersion(v), i), rates[v][i]) << v << "/" << i;

  // Layer I, II, III for each version; samples per frame / 8.
  const int coefficients[4][4] = {{0, 72, 144, 48}, {0, 0, 0, 0}, {0, 72, 144, 48}, {0, 144, 144, 48}};
  for (int v = 0; v < 4; ++v)
    for (int l = 0; l < 4; ++l)
      EXPECT_EQ(MPEGCoefficient(TMPEGVersion(v), TMPEGLayer(l)), coefficients[v][l]) << v << "/" << l;
}

TEST(MPEGTables, TextsOfTheEnumerations) {
  const char* versions[] = {"MPEG 2.5", "Not defined", "MPEG 2", "MPEG 1"};
  const char* layers[] = {"Not defined", "Layer III", "Layer II", "Layer I"};
  const char* modes[] = {"Stereo", "Joint Stereo", "Dual Channel", "Mono"};
  const char* emphases[] = {"None", "50/15 ms", "Not defined", "CCIT J.17"};
  const char* extensions[] = {"", "IS", "MS", "IS+MS"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_STREQ(MPEGVersionText(TMPEGVersion(i)), versions[i]);
    EXPECT_STREQ(MPEGLayerText(TMPEGLayer(i)), layers[i]);
    EXPECT_STREQ(MPEGChannelModeText(TMPEGChannelMode(i)), modes[i]);
    EXPECT_STREQ(MPEGEmphasisText(TMPEGEmphasis(i)), emphases[i]);
    EXPECT_STREQ(MPEGModeExtensionText(TMPEGModeExtension(i)), extensions[i]);
  }
}

TEST(MPEGTables, DurationToTimeRoundsHalvesToEven) {
  const struct {
    double Seconds;
    const char* Text;
  } cases[] = {
      {0, "00:00"},        {225, "03:45"},       {3723, "01:02:03"},    {59.5, "01:00"},
      {58.5, "00:58"},     {0.5, "00:00"},       {1.5, "00:02"},        {2.5, "00:02"},
      {59.49, "00:59"},    {3599.4, "59:59"},    {3599.5, "01:00:00"},  {3600, "01:00:00"},
      {86399, "23:59:59"}, {360000, "100:00:00"}, {-3, "00:00"},
      {std::numeric_limits<double>::quiet_NaN(), "00:00"},
  };
  for (const auto& c : cases) EXPECT_EQ(DurationToTime(c.Seconds), c.Text) << c.Seconds;
}

// --- Header decoding ------------------------------------------------------------------------

struct THeaderCase {
  const char* Name;
  uint32_t Header;
  TMPEGVersion Version;
  TMPEGLayer Layer;
  int Bitrate;
  int SamplingRate;
  TMPEGChannelMode Mode;
  TMPEGModeExtension Extension;
  TMPEGEmphasis Emphasis;
  TMPEGBits Bits;
  int Padding;
};

class HeaderDecoding : public MPEGAudioTest, public testing::WithParamInterface<THeaderCase> {};

TEST_P(HeaderDecoding, GivesEveryField) {
  const THeaderCase& c = GetParam();
  Analyse(Stream(c.Header, 3));
  EXPECT_EQ(Audio.HeaderFoundAt(), 0);
  EXPECT_TRUE(Audio.Valid());
  EXPECT_EQ(Audio.Version(), c.Version);
  EXPECT_EQ(Audio.Layer(), c.Layer);
  EXPECT_EQ(Audio.Bitrate(), c.Bitrate);
  EXPECT_EQ(Audio.SamplingRate(), c.SamplingRate);
  EXPECT_EQ(Audio.ChannelMode(), c.Mode);
  EXPECT_EQ(Audio.ModeExtension(), c.Extension);
  EXPECT_EQ(Audio.Emphasis(), c.Emphasis);
  EXPECT_EQ(Audio.Bits(), c.Bits);
  EXPECT_EQ(Audio.PaddingLength(), c.Padding);
  EXPECT_EQ(Audio.EncodedType(), "CBR");
}

INSTANTIATE_TEST_SUITE_P(
    MPEGAudio, HeaderDecoding,
    testing::Values(
        THeaderCase{"Mpeg1Layer3JointStereo", kMpeg1L3_128, mvVersion1, mlLayerIII, 128, 44100, mcJointStereo,
                    mmeModeExt2, meNone, {mbOriginal}, 0},
        THeaderCase{"Mpeg1Layer3MonoPadded", 0xFFFB52C0, mvVersion1, mlLayerIII, 64, 44100, mcSingleChannel,
                    mmeModeExt0, meNone, {}, 1},
        THeaderCase{"Mpeg2Layer3Mono", kMpeg2L3_32, mvVersion2, mlLayerIII, 32, 22050, mcSingleChannel,
                    mmeModeExt0, meNone, {mbOriginal}, 0},
        THeaderCase{"Mpeg25Layer3", kMpeg25L3_16, mvVersion25, mlLayerIII, 16, 8000, mcJointStereo, mmeModeExt2,
                    meNone, {mbOriginal}, 0},
        THeaderCase{"Mpeg1Layer2DualChannel", 0xFFFD4480, mvVersion1, mlLayerII, 64, 48000, mcDualChannel,
                    mmeModeExt0, meNone, {}, 0},
        THeaderCase{"Mpeg2Layer2Padded", 0xFFF54600, mvVersion2, mlLayerII, 32, 24000, mcStereo, mmeModeExt0, meNone,
                    {}, 1},
        THeaderCase{"Mpeg1Layer1PaddedGivesFourBytes", 0xFFFF9200, mvVersion1, mlLayerI, 288, 44100, mcStereo,
                    mmeModeExt0, meNone, {}, 4},
        // CRC, private, copyright, original and both defined emphases.
        THeaderCase{"ProtectedPrivateCopyrightedOriginal", 0xFFFA910D, mvVersion1, mlLayerIII, 128, 44100, mcStereo,
                    mmeModeExt0, me5015ms, {mbProtection, mbPrivate, mbCopyrighted, mbOriginal}, 0},
        THeaderCase{"EmphasisCCIT", 0xFFFB90C3, mvVersion1, mlLayerIII, 128, 44100, mcSingleChannel, mmeModeExt0,
                    meCCITJ17, {}, 0},
        // The mode extension is reported from its bits whatever the channel mode.
        THeaderCase{"ModeExtensionOfAStereoStream", 0xFFFB9030, mvVersion1, mlLayerIII, 128, 44100, mcStereo,
                    mmeModeExt3, meNone, {}, 0}),
    [](const testing::TestParamInfo<THeaderCase>& info) { return std::string(info.param.Name); });

TEST_F(MPEGAudioTest, ReservedLayerOrVersionStopsDecodingAndIsNotValid) {
  // A file whose only candidate is reserved keeps it, as nothing better is there.
  for (const uint32_t header : {0xFFF99064u /* layer 0 */, 0xFFEB9064u /* version 1 */}) {
    Analyse(Cat({Zeros(100), BE(header, 4), Zeros(500)}));
    EXPECT_EQ(Audio.HeaderFoundAt(), 100) << std::hex << header;
    EXPECT_FALSE(Audio.Valid());
    EXPECT_EQ(Audio.Bitrate(), 0);
    EXPECT_EQ(Audio.SamplingRate(), 0);
    EXPECT_EQ(Audio.ChannelMode(), mcStereo);  // b3 is not decoded
    EXPECT_EQ(Audio.Duration(), 0);
    EXPECT_EQ(Audio.FrameLength(), 0);
  }
  EXPECT_STREQ(MPEGLayerText(Audio.Layer()), "Layer III");
  EXPECT_STREQ(MPEGVersionText(Audio.Version()), "Not defined");
}

TEST_F(MPEGAudioTest, FreeFormatHasNoDurationNorFrameLength) {
  Analyse(Cat({BE(0xFFFB0064, 4), Zeros(400)}));
  EXPECT_TRUE(Audio.Valid());
  EXPECT_EQ(Audio.Bitrate(), -2);
  EXPECT_EQ(Audio.Duration(), 0);
  EXPECT_EQ(Audio.FrameLength(), 0);
  EXPECT_EQ(Audio.FrameCount(), 0u);
  EXPECT_EQ(Audio.DurationToTime(), "00:00");
}

TEST_F(MPEGAudioTest, ReservedSamplingRateGivesZeroAndNoFrameLength) {
  Analyse(Cat({BE(0xFFFB9C64, 4), Zeros(1000)}));
  EXPECT_TRUE(Audio.Valid());
  EXPECT_EQ(Audio.SamplingRate(), 0);
  EXPECT_EQ(Audio.Bitrate(), 128);
  EXPECT_EQ(Audio.FrameLength(), 0);
  EXPECT_NEAR(Audio.Duration(), 1004 * 8 / 128000.0, 1e-12);
}

// --- Sizes and duration of a constant bitrate ------------------------------------------------

TEST_F(MPEGAudioTest, ConstantBitrateArithmetic) {
  // 144 x 128000 / 44100 = 417.96: frames of 417 bytes without padding.
  const Bytes audio = Stream(kMpeg1L3_128, 40);
  Analyse(audio);
  EXPECT_EQ(Audio.FrameLength(), 417);
  EXPECT_EQ(Audio.FileSize(), int64_t(audio.size()));
  EXPECT_EQ(Audio.AudioSize(), int64_t(audio.size()));
  EXPECT_EQ(Audio.FrameCount(), uint32_t(audio.size() / 417));
  EXPECT_DOUBLE_EQ(Audio.Duration(), audio.size() * 8 / 128000.0);
  EXPECT_EQ(Audio.DurationToTime(), "00:01");
  EXPECT_FALSE(Audio.ID3v2TagExists());
}

TEST_F(MPEGAudioTest, TagsAroundTheAudioAreNotCountedAsAudio) {
  const Bytes audio = Stream(kMpeg2L3Stereo_32, 20);
  const Bytes tag = Id3v2(3, 0, 300);
  const Bytes lyrics = Lyrics3();
  Analyse(Cat({tag, audio, lyrics, Id3v1()}));
  EXPECT_TRUE(Audio.ID3v2TagExists());
  EXPECT_TRUE(Audio.ID3v1TagExists());
  EXPECT_TRUE(Audio.Lyrics3v2Exists());
  EXPECT_EQ(Audio.Lyrics3Size(), lyrics.size());
  EXPECT_EQ(Audio.HeaderFoundAt(), int64_t(tag.size()));
  EXPECT_EQ(Audio.AudioSize(), int64_t(audio.size()));
  EXPECT_EQ(Audio.FrameLength(), 104);  // 72 x 32000 / 22050 = 104.49
  EXPECT_EQ(Audio.FrameCount(), 20u);
  EXPECT_DOUBLE_EQ(Audio.Duration(), audio.size() * 8 / 32000.0);
}

struct TTailCase {
  const char* Name;
  Bytes Tail;
  bool ID3v1;
  bool Lyrics3;
  uint32_t Lyrics3Size;
};

class TrailingTags : public MPEGAudioTest, public testing::WithParamInterface<TTailCase> {};

TEST_P(TrailingTags, AreRecognised) {
  const TTailCase& c = GetParam();
  const Bytes audio = Stream(kMpeg1L3_128, 5);
  Analyse(Cat({audio, c.Tail}));
  EXPECT_EQ(Audio.ID3v1TagExists(), c.ID3v1);
  EXPECT_EQ(Audio.Lyrics3v2Exists(), c.Lyrics3);
  EXPECT_EQ(Audio.Lyrics3Size(), c.Lyrics3Size);
  EXPECT_EQ(Audio.AudioSize(), int64_t(audio.size() + c.Tail.size()) - (c.ID3v1 ? 128 : 0) - c.Lyrics3Size);
}

const Bytes kLyrics = Lyrics3();
INSTANTIATE_TEST_SUITE_P(
    MPEGAudio, TrailingTags,
    testing::Values(TTailCase{"None", {}, false, false, 0}, TTailCase{"ID3v1", Id3v1(), true, false, 0},
                    TTailCase{"Lyrics3AndID3v1", Cat({kLyrics, Id3v1()}), true, true, uint32_t(kLyrics.size())},
                    TTailCase{"Lyrics3AtTheEnd", kLyrics, false, true, uint32_t(kLyrics.size())},
                    // A size field that is no number, or one that misses LYRICSBEGIN.
                    TTailCase{"Lyrics3SizeNotANumber",
                              Cat({Str("LYRICSBEGININD00003110"), Str("00x022LYRICS200"), Id3v1()}), true, false, 0},
                    TTailCase{"Lyrics3SizeWrong", Cat({Str("LYRICSBEGININD00003110"), Str("000021LYRICS200")}),
                              false, false, 0},
                    TTailCase{"Lyrics3SizeBeforeTheFileStart", Cat({Str("999999LYRICS200"), Id3v1()}), true, false,
                              0}),
    [](const testing::TestParamInfo<TTailCase>& info) { return std::string(info.param.Name); });

TEST_F(MPEGAudioTest, ShortFilesDoNotLookForTagsAtTheEnd) {
  // 127 bytes that end in what would be an ID3v1 tag's start and a Lyrics3 trailer.
  Analyse(Cat({BE(kMpeg2L3_32, 4), Zeros(99), Str("LYRICS200"), Str("TAG"), Zeros(12)}));
  ASSERT_EQ(Audio.FileSize(), 127);
  EXPECT_EQ(Audio.HeaderFoundAt(), 0);
  EXPECT_FALSE(Audio.ID3v1TagExists());
  EXPECT_FALSE(Audio.Lyrics3v2Exists());
  EXPECT_EQ(Audio.AudioSize(), 127);
}

// --- VBR headers -----------------------------------------------------------------------------

TEST_F(MPEGAudioTest, XingHeaderLiesAfterTheSideInformation) {
  const struct {
    const char* Name;
    uint32_t Header;
    size_t Offset;
  } cases[] = {
      {"Mpeg1Stereo", kMpeg1L3_128, 36},
      {"Mpeg1Mono", kMpeg1L3Mono_64, 21},
      {"Mpeg2Stereo", kMpeg2L3Stereo_32, 21},
      {"Mpeg2Mono", kMpeg2L3_32, 13},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const Bytes first = Frame(c.Header, XingTag("Xing", 3, {100, 30000}), c.Offset);
    Analyse(Cat({first, Stream(c.Header, 3)}));
    EXPECT_TRUE(Audio.VBR());
    EXPECT_EQ(Audio.EncodedType(), "VBR");
    EXPECT_EQ(Audio.FrameCount(), 100u);
    EXPECT_EQ(Audio.AudioSize(), 30000);
    EXPECT_EQ(Audio.FrameLength(), 300);
    const int coefficient = MPEGCoefficient(Audio.Version(), Audio.Layer());
    const double r = 300.0 * Audio.SamplingRate() / coefficient / 1000;
    EXPECT_EQ(Audio.Bitrate(), int(std::nearbyint(r)));
    EXPECT_DOUBLE_EQ(Audio.Duration(), 30000 * 8 / (r * 1000));
    // = frames x samples per frame / sampling rate, without padding
    EXPECT_NEAR(Audio.Duration(), 100.0 * coefficient * 8 / Audio.SamplingRate(), 1e-9);

    // The same header one place off is not seen.
    Analyse(Cat({Frame(c.Header, XingTag("Xing", 3, {100, 30000}), c.Offset + 1), Stream(c.Header, 3)}));
    EXPECT_FALSE(Audio.VBR());
    EXPECT_EQ(Audio.FrameCount(), Audio.AudioSize() / Audio.FrameLength());
  }
}

TEST_F(MPEGAudioTest, VbrBitrateAndDurationUseTheFirstFramesPadding) {
  // 0xFFFB9264: the padding bit set; r = (AudioSize / FrameCount - 1) x 44100 / 144 / 1000.
  Analyse(Cat({Frame(0xFFFB9264, XingTag("Xing", 3, {1000, 418000}), 36), Stream(kMpeg1L3_128, 2)}));
  const double r = (418.0 - 1) * 44100 / 144 / 1000;  // 127.70625
  EXPECT_EQ(Audio.PaddingLength(), 1);
  EXPECT_EQ(Audio.Bitrate(), 128);
  EXPECT_DOUBLE_EQ(Audio.Duration(), 418000 * 8 / (r * 1000));
}

TEST_F(MPEGAudioTest, VbrBitrateRoundsHalvesToEven) {
  // MPEG-1 Layer I at 48 kHz: r = AudioSize / FrameCount exactly (48000 / 48 / 1000 = 1).
  const struct {
    uint32_t Bytes;
    int Bitrate;
  } cases[] = {{257, 128}, {259, 130}, {258, 129}, {2571, 1286}};
  for (const auto& c : cases) {
    Analyse(Cat({Frame(0xFFFF4400, XingTag("Xing", 3, {2u, c.Bytes}), 36),
                 Stream(0xFFFF4400, 2)}));
    EXPECT_EQ(Audio.Bitrate(), c.Bitrate) << c.Bytes;
    EXPECT_DOUBLE_EQ(Audio.Duration(), c.Bytes * 8 / (c.Bytes / 2.0 * 1000)) << c.Bytes;
  }
}

TEST_F(MPEGAudioTest, InfoHeaderKeepsConstantBitrateAndGivesTheByteCount) {
  const Bytes stream = Cat({Frame(kMpeg1L3_128, XingTag("Info", 3, {99, 20000}), 36), Stream(kMpeg1L3_128, 3)});
  Analyse(Cat({Id3v2(4, 0, 100), stream, Id3v1()}));
  EXPECT_FALSE(Audio.VBR());
  EXPECT_EQ(Audio.EncodedType(), "CBR");
  EXPECT_EQ(Audio.AudioSize(), 20000);  // the header's count, not the file's
  EXPECT_EQ(Audio.Bitrate(), 128);
  EXPECT_EQ(Audio.FrameLength(), 417);
  EXPECT_EQ(Audio.FrameCount(), 20000u / 417);  // the header's 99 frames are replaced
  EXPECT_DOUBLE_EQ(Audio.Duration(), 20000 * 8 / 128000.0);

  // Without a byte count the size comes from the file.
  Analyse(Cat({Id3v2(4, 0, 100), Frame(kMpeg1L3_128, XingTag("Info", 1, {99}), 36), Stream(kMpeg1L3_128, 3)}));
  EXPECT_EQ(Audio.AudioSize(), 4 * 417);
  EXPECT_EQ(Audio.FrameCount(), 4u);
}

TEST_F(MPEGAudioTest, XingHeaderWithOnlyAByteCount) {
  Analyse(Cat({Frame(kMpeg1L3_128, XingTag("Xing", 2, {50000}), 36), Stream(kMpeg1L3_128, 3)}));
  EXPECT_TRUE(Audio.VBR());
  EXPECT_EQ(Audio.AudioSize(), 50000);
  // Nothing better than the first frame's bitrate is known.
  EXPECT_EQ(Audio.Bitrate(), 128);
  EXPECT_DOUBLE_EQ(Audio.Duration(), 50000 * 8 / 128000.0);
  EXPECT_EQ(Audio.FrameLength(), 417);
  EXPECT_EQ(Audio.FrameCount(), 50000u / 417);
}

TEST_F(MPEGAudioTest, XingHeaderWithOnlyAFrameCountStillGivesTheDuration) {
  // Frame count without byte count: the playing time follows from the frames alone,
  // and the size of the audio from the file.
  const Bytes stream = Cat({Frame(kMpeg1L3_128, XingTag("Xing", 1, {441}), 36), Stream(kMpeg1L3_128, 9)});
  Analyse(Cat({Id3v2(3, 0, 50), stream, Id3v1()}));
  EXPECT_TRUE(Audio.VBR());
  EXPECT_EQ(Audio.FrameCount(), 441u);
  EXPECT_DOUBLE_EQ(Audio.Duration(), 441 * 1152 / 44100.0);  // 11.52 s
  EXPECT_EQ(Audio.AudioSize(), int64_t(stream.size()));
  EXPECT_EQ(Audio.FrameLength(), int32_t(stream.size() / 441));
  EXPECT_EQ(Audio.Bitrate(), int(std::nearbyint(stream.size() * 8 / 11.52 / 1000)));
  EXPECT_EQ(Audio.DurationToTime(), "00:12");
}

TEST_F(MPEGAudioTest, VbriHeader) {
  const Bytes first = Frame(kMpeg1L3_128, VbriTag(1, 576, 75, 41800, 100), 36);
  Analyse(Cat({first, Stream(kMpeg1L3_128, 2)}));
  EXPECT_TRUE(Audio.VBR());
  EXPECT_EQ(Audio.VBRIVersion(), 1);
  EXPECT_EQ(Audio.VBRIDelay(), 576);
  EXPECT_EQ(Audio.Quality(), 75);
  EXPECT_EQ(Audio.AudioSize(), 41800);
  EXPECT_EQ(Audio.FrameCount(), 100u);
  EXPECT_EQ(Audio.FrameLength(), 418);
  EXPECT_EQ(Audio.Bitrate(), 128);  // 418 x 44100 / 144 / 1000 = 128.01
  EXPECT_NEAR(Audio.Duration(), 100 * 1152 / 44100.0, 1e-9);

  // VBRI sits at 36 even in a mono stream, where Xing would be at 21.
  Analyse(Cat({Frame(kMpeg1L3Mono_64, VbriTag(1, 0, 50, 20900, 100), 36), Stream(kMpeg1L3Mono_64, 2)}));
  EXPECT_TRUE(Audio.VBR());
  EXPECT_EQ(Audio.FrameCount(), 100u);
}

TEST_F(MPEGAudioTest, ImpossibleVbrCountsGiveNoDuration) {
  // Fewer bytes than frames with a padded first frame, and a reserved sampling rate:
  // there is no bitrate to divide by, so no playing time rather than a negative or
  // infinite one.
  for (const uint32_t header : {0xFFFB9264u, 0xFFFB9C64u}) {
    Analyse(Cat({Frame(header, XingTag("Xing", 3, {1000, 10}), 36, 417), Zeros(400)}));
    EXPECT_TRUE(Audio.VBR()) << std::hex << header;
    EXPECT_EQ(Audio.Duration(), 0);
    EXPECT_EQ(Audio.Bitrate(), 0);
    EXPECT_EQ(Audio.DurationToTime(), "00:00");
  }
}

// --- Finding the first frame ------------------------------------------------------------------

TEST_F(MPEGAudioTest, FrameAtOffsetZeroWithoutTag) {
  Analyse(Stream(kMpeg1L3_128, 2));
  EXPECT_EQ(Audio.HeaderFoundAt(), 0);
  EXPECT_FALSE(Audio.ID3v2TagExists());
}

TEST_F(MPEGAudioTest, TheID3v2TagIsSkippedByItsHeader) {
  const Bytes audio = Stream(kMpeg1L3_128, 4);
  // The footer bit of 2.4 skips ten bytes more; the same bit in 2.3 means nothing. The
  // stream starts right after the size here, so 2.4 skips into its first frame.
  Analyse(Cat({Id3v2(4, 0x10, 200), audio}));
  EXPECT_EQ(Audio.HeaderFoundAt(), 210 + 417);
  Analyse(Cat({Id3v2(3, 0x10, 200), audio}));
  EXPECT_EQ(Audio.HeaderFoundAt(), 210);
  Analyse(Cat({Id3v2(4, 0x10, 200), Str("3DI"), Zeros(7), audio}));
  EXPECT_EQ(Audio.HeaderFoundAt(), 220);
  EXPECT_TRUE(Audio.ID3v2TagExists());
  // The size is the low seven bits of each byte.
  Analyse(Cat({Str("ID3"), {3, 0, 0, 0x80, 0x80, 0x81, 0x84}, Zeros(132), audio}));
  EXPECT_EQ(Audio.HeaderFoundAt(), 142);
}

TEST_F(MPEGAudioTest, ASecondID3v2TagIsSearchedThrough) {
  const Bytes second = Id3v2(3, 0, 300);
  Analyse(Cat({Id3v2(3, 0, 100), second, Stream(kMpeg1L3_128, 4)}));
  EXPECT_EQ(Audio.HeaderFoundAt(), 110 + int64_t(second.size()));
  EXPECT_EQ(Audio.AudioSize(), 4 * 417);
}

TEST_F(MPEGAudioTest, HeadersAcrossChunkBoundaries) {
  // The search reads 3840 bytes at a time from the end of the tag: a header whose FF
  // byte, other header bytes or 54-byte window fall into the next chunk is found all
  // the same, and decoded from the right bytes.
  for (const size_t at : {size_t(0), size_t(1), size_t(3786), size_t(3787), size_t(3836), size_t(3837),
                          size_t(3838), size_t(3839), size_t(3840), size_t(7679), size_t(20000)}) {
    SCOPED_TRACE(at);
    const Bytes first = Frame(kMpeg1L3_128, XingTag("Xing", 3, {10, 4180}), 36);
    Analyse(Cat({Id3v2(3, 0, 90), Zeros(at), first, Stream(kMpeg1L3_128, 2)}));
    EXPECT_EQ(Audio.HeaderFoundAt(), int64_t(100 + at));
    EXPECT_TRUE(Audio.VBR());
    EXPECT_EQ(Audio.FrameCount(), 10u);
    EXPECT_EQ(Audio.AudioSize(), 4180);
  }
}

TEST_F(MPEGAudioTest, WeakSyncTestRejectsImpossibleHeaders) {
  // Not FF Ex, bitrate index 15, emphasis 2: none of them is a candidate, so the search
  // goes on to the real stream.
  for (const uint32_t bogus : {0xFFDB9064u, 0xFFFBF064u, 0xFFFB9066u}) {
    Analyse(Cat({Zeros(10), BE(bogus, 4), Zeros(10), Stream(kMpeg2L3_32, 3)}));
    EXPECT_EQ(Audio.HeaderFoundAt(), 24) << std::hex << bogus;
    // Alone in a file, they leave nothing found.
    Analyse(Cat({Zeros(10), BE(bogus, 4), Zeros(500)}));
    EXPECT_EQ(Audio.HeaderFoundAt(), -1) << std::hex << bogus;
  }
}

TEST_F(MPEGAudioTest, NoHeaderLeavesEverythingReset) {
  // Not even the tags at the end are looked at then.
  Analyse(Cat({Id3v2(3, 0, 40), Bytes(30000, 0x7F), Lyrics3(), Id3v1()}));
  ExpectReset(Audio);
  EXPECT_TRUE(Audio.Active());
  EXPECT_TRUE(Audio.ID3v2TagExists());
  EXPECT_EQ(Audio.FileSize(), int64_t(50 + 30000 + Lyrics3().size() + 128));
  EXPECT_EQ(Audio.DurationToTime(), "00:00");
}

TEST_F(MPEGAudioTest, TruncatedFiles) {
  const Bytes stream = Stream(kMpeg1L3_128, 3);
  // Empty; shorter than an ID3v2 header; a tag that runs past the end.
  const Bytes tag = Id3v2(3, 0, 5000);
  for (const Bytes& content : {Bytes{}, Str("ID3\x03"), Bytes(tag.begin(), tag.begin() + 700)}) {
    Analyse(content);
    EXPECT_EQ(Audio.HeaderFoundAt(), -1);
    EXPECT_EQ(Audio.FileSize(), int64_t(content.size()));
  }
  // A header whose 54 bytes are not all there ends the search.
  Analyse(Cat({Zeros(20), Bytes(stream.begin(), stream.begin() + 53)}));
  EXPECT_EQ(Audio.HeaderFoundAt(), -1);
  Analyse(Cat({Zeros(20), Bytes(stream.begin(), stream.begin() + 54)}));
  EXPECT_EQ(Audio.HeaderFoundAt(), 20);
  // A stream cut in its last frame.
  Analyse(Bytes(stream.begin(), stream.end() - 100));
  EXPECT_EQ(Audio.HeaderFoundAt(), 0);
  EXPECT_EQ(Audio.AudioSize(), 3 * 417 - 100);
  EXPECT_EQ(Audio.FrameCount(), 2u);
}

// --- False frame headers -------------------------------------------------------------------

TEST_F(MPEGAudioTest, FalseHeadersBeforeTheStreamAreSkipped) {
  const Bytes stream = Stream(kMpeg2L3_32, 6);  // frames of 104 bytes
  const Bytes vbrStream = Cat({Frame(kMpeg2L3_32, XingTag("Xing", 3, {50, 7000}), 13), Stream(kMpeg2L3_32, 1)});
  const Bytes picture = Cat({Str("APIC"), BE(4000, 4), Zeros(2), Junk(4000)});
  const struct {
    const char* Name;
    Bytes Content;
    int64_t Expected;
  } cases[] = {
      {"JunkBeforeTheAudio", Cat({Junk(1000), stream}), 1000},
      {"ReservedCandidateBeforeTheAudio", Cat({BE(0xFFF99064, 4), Zeros(50), stream}), 54},
      // The first real frame is confirmed by its VBR header; the frame after it is missing.
      {"JunkBeforeAVbrFrame", Cat({Junk(500), Bytes(vbrStream.begin(), vbrStream.begin() + 104)}), 500},
      // A 2.4 tag whose size was written as a plain number, 00 00 0F AA for 4010 bytes:
      // read as sync-safe it is 1962, and the search starts inside the picture.
      {"TagLargerThanItsHeaderSays", Cat({Str("ID3"), {4, 0, 0}, BE(uint32_t(picture.size()), 4), picture, stream}),
       int64_t(10 + picture.size())},
      // A damaged stretch in the stream: the analysis starts after it.
      {"DamagedStartOfTheStream", Cat({Junk(300), Bytes(stream.begin() + 300, stream.end())}), 312},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Analyse(c.Content);
    EXPECT_EQ(Audio.HeaderFoundAt(), c.Expected);
    EXPECT_TRUE(Audio.Valid());
    EXPECT_EQ(Audio.Version(), mvVersion2);
    EXPECT_EQ(Audio.SamplingRate(), 22050);
    EXPECT_EQ(Audio.ChannelMode(), mcSingleChannel);
  }
}

TEST_F(MPEGAudioTest, UnconfirmedFirstHeaderStaysWhenNothingBetterFollows) {
  // A single frame, a free-format stream, junk only: the first candidate is the result,
  // as the plain search gives it.
  Analyse(Cat({Zeros(33), Frame(kMpeg1L3_128)}));
  EXPECT_EQ(Audio.HeaderFoundAt(), 33);
  EXPECT_EQ(Audio.Bitrate(), 128);
  Analyse(Cat({Zeros(7), BE(0xFFFB0064, 4), Zeros(300), BE(0xFFFB0064, 4), Zeros(300)}));
  EXPECT_EQ(Audio.HeaderFoundAt(), 7);
  EXPECT_EQ(Audio.Bitrate(), -2);
  Analyse(Junk(5000));
  EXPECT_EQ(Audio.HeaderFoundAt(), 16);
}

TEST_F(MPEGAudioTest, HeaderInsideTheTrailingTagsGivesNoAudio) {
  // The only sync lies in the ID3v1 tag's title: the audio size cannot be negative.
  Bytes id3v1 = Id3v1();
  const Bytes header = BE(kMpeg1L3_128, 4);
  std::copy(header.begin(), header.end(), id3v1.begin() + 3);
  Analyse(Cat({Zeros(200), id3v1}));
  EXPECT_EQ(Audio.HeaderFoundAt(), 203);
  EXPECT_TRUE(Audio.ID3v1TagExists());
  EXPECT_EQ(Audio.AudioSize(), 0);
  EXPECT_EQ(Audio.Duration(), 0);
  EXPECT_EQ(Audio.FrameCount(), 0u);
}

// --- Reads ------------------------------------------------------------------------------------

TEST_F(MPEGAudioTest, ReadsOnlyAroundTheFirstFrameAndTheEnd) {
  const Bytes file = Cat({Id3v2(3, 0, 200 * 1024), Stream(kMpeg1L3_128, 2500), Id3v1()});
  Fs.WriteFile(kPath, file);
  TCountingFileSystem counting(Fs);
  TMPEGAudio audio(&counting);
  audio.SetFileName(kPath);
  audio.Open();
  EXPECT_EQ(audio.FrameCount(), 2500u);
  // 10 bytes of tag header, one chunk, the tags at the end.
  EXPECT_LE(counting.BytesRead, 10u + 3840u + 64u);
  EXPECT_LE(counting.Reads, 6u);
}

TEST_F(MPEGAudioTest, FileWithoutHeaderIsScannedToItsEnd) {
  const Bytes file = Bytes(100000, 0x42);
  Fs.WriteFile(kPath, file);
  TCountingFileSystem counting(Fs);
  TMPEGAudio audio(&counting);
  audio.SetFileName(kPath);
  audio.Open();
  EXPECT_EQ(audio.HeaderFoundAt(), -1);
  EXPECT_EQ(counting.BytesRead, 10u + file.size());
  // A header in the last bytes is still found.
  Fs.WriteFile(kPath, Cat({file, Frame(kMpeg2L3_32)}));
  audio.Open();
  EXPECT_EQ(audio.HeaderFoundAt(), int64_t(file.size()));
}

// --- Lifecycle -------------------------------------------------------------------------------

TEST_F(MPEGAudioTest, OpenAnalysesAndCloseResets) {
  std::vector<std::string> events;
  Audio.SetOnFileOpen([&](void* sender) { events.push_back(sender == &Audio ? "open" : "?"); });
  Audio.SetOnReadMPEG([&](void* sender) { events.push_back(sender == &Audio ? "read" : "?"); });
  Audio.SetOnFileClose([&](void* sender) { events.push_back(sender == &Audio ? "close" : "?"); });
  EXPECT_FALSE(Audio.Active());
  ExpectReset(Audio);
  Analyse(Stream(kMpeg1L3_128, 3));
  EXPECT_EQ(events, (std::vector<std::string>{"open", "read", "close"}));
  EXPECT_TRUE(Audio.Valid());
  Audio.Close();
  EXPECT_FALSE(Audio.Active());
  ExpectReset(Audio);
  EXPECT_EQ(Audio.FileSize(), 0);
  EXPECT_EQ(events.size(), 3u);
}

TEST_F(MPEGAudioTest, FileNameChangeResetsButTheSameNameKeeps) {
  Analyse(Stream(kMpeg1L3_128, 3));
  Audio.SetFileName(kPath);
  EXPECT_TRUE(Audio.Active());
  EXPECT_EQ(Audio.Bitrate(), 128);
  Audio.SetFileName("/music/other.mp3");
  EXPECT_FALSE(Audio.Active());
  ExpectReset(Audio);
  EXPECT_EQ(Audio.FileName(), "/music/other.mp3");
}

TEST_F(MPEGAudioTest, MissingFileLeavesTheValuesAsTheyWere) {
  Analyse(Stream(kMpeg1L3_128, 3));
  Fs.Remove(kPath);
  Audio.Open();
  EXPECT_FALSE(Audio.Active());
  EXPECT_EQ(Audio.Bitrate(), 128);
  EXPECT_EQ(Audio.HeaderFoundAt(), 0);
  // Close of a missing file does nothing but clear Active either.
  Analyse(Stream(kMpeg1L3_128, 3));
  Fs.Remove(kPath);
  Audio.Close();
  EXPECT_FALSE(Audio.Active());
  EXPECT_EQ(Audio.Bitrate(), 128);
  EXPECT_TRUE(Errors.Messages().empty());
}

TEST_F(MPEGAudioTest, UnreadableFileThrowsToTheCaller) {
  Fs.WriteFile(kPath, Stream(kMpeg1L3_128, 3), 0200);
  Fs.SetEnforcePermissions(true);
  Audio.SetFileName(kPath);
  try {
    Audio.Open();
    FAIL() << "no error";
  } catch (const EFileError& e) {
    EXPECT_EQ(e.Error(), EACCES);
  }
  EXPECT_FALSE(Audio.Active());
}

TEST_F(MPEGAudioTest, ReadFailureLeavesNoHalfAnalysis) {
  Fs.WriteFile(kPath, Cat({Stream(kMpeg1L3_128, 3), Lyrics3(), Id3v1()}));
  TFaultyFileSystem faulty(Fs);
  TMPEGAudio audio(&faulty);
  audio.SetFileName(kPath);
  audio.Open();
  ASSERT_TRUE(audio.Lyrics3v2Exists());
  const std::vector<TFaultOperation> trace = faulty.Trace();
  // Every operation of the analysis fails in turn: the error reaches the caller, Active
  // is false, and nothing of a half analysis is left (a failed open changes nothing).
  for (uint64_t i = 0; i < trace.size(); ++i) {
    SCOPED_TRACE(tags::test::FaultOperationName(trace[i]));
    faulty.Reset();
    faulty.FailOperation(i);
    EXPECT_THROW(audio.Open(), EFileError);
    EXPECT_TRUE(faulty.Fired());
    EXPECT_FALSE(audio.Active());
    if (trace[i] == TFaultOperation::Open)
      EXPECT_TRUE(audio.Valid());
    else
      ExpectReset(audio);
    faulty.Disarm();
    audio.Open();
    EXPECT_TRUE(audio.Valid());
  }
}

}  // namespace
