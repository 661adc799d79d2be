#pragma once
// Analysis of the MPEG audio stream of a file: version, layer, bitrate, sampling rate,
// channel mode and flags of the first frame header, the "Xing", "Info" and "VBRI" headers
// of variable-bitrate streams, the size of the audio data and the playing time, and
// which tags surround the audio. It only reads.

#include <cstdint>
#include <functional>
#include <string>

#include "fileio.h"
#include "id3types.h"
#include "tagerror.h"

namespace tags {

using TNotifyEvent = std::function<void(void* sender)>;

// The values are the bits of the frame header.
enum TMPEGVersion : uint8_t { mvVersion25, mvReserved, mvVersion2, mvVersion1 };
enum TMPEGLayer : uint8_t { mlNotDefined, mlLayerIII, mlLayerII, mlLayerI };
enum TMPEGChannelMode : uint8_t { mcStereo, mcJointStereo, mcDualChannel, mcSingleChannel };
enum TMPEGModeExtension : uint8_t { mmeModeExt0, mmeModeExt1, mmeModeExt2, mmeModeExt3 };
enum TMPEGEmphasis : uint8_t { meNone, me5015ms, meReserved, meCCITJ17 };
enum TMPEGBit : uint8_t { mbProtection, mbPrivate, mbCopyrighted, mbOriginal };
using TMPEGBits = TSet<TMPEGBit>;

// The texts the program shows: "MPEG 1", "Layer III", "Joint Stereo", "IS+MS", "50/15 ms".
const char* MPEGVersionText(TMPEGVersion version);
const char* MPEGLayerText(TMPEGLayer layer);
const char* MPEGChannelModeText(TMPEGChannelMode mode);
const char* MPEGModeExtensionText(TMPEGModeExtension extension);
const char* MPEGEmphasisText(TMPEGEmphasis emphasis);

// kbit/s for a 4-bit bitrate index: -2 for index 0 (free format), -1 for 15, 0 for a
// reserved version or layer or an index outside 0..15.
int MPEGBitrate(TMPEGVersion version, TMPEGLayer layer, int index);
// Hz for a 2-bit index; 0 for index 3 and for the reserved version.
int MPEGSamplingRate(TMPEGVersion version, int index);
// Samples per frame divided by 8; 0 for a reserved version or layer.
int MPEGCoefficient(TMPEGVersion version, TMPEGLayer layer);

// Seconds rounded to the nearest whole second, halves to even, as "mm:ss" below an
// hour and "hh:mm:ss" from then on: 0 gives "00:00", 225 "03:45", 3723 "01:02:03".
std::string DurationToTime(double duration);

class TMPEGAudio : public TComponent {
 public:
  // `fileSystem` defaults to the operating system's.
  explicit TMPEGAudio(TFileSystem* fileSystem = nullptr);
  virtual ~TMPEGAudio() = default;
  TMPEGAudio(const TMPEGAudio&) = delete;
  TMPEGAudio& operator=(const TMPEGAudio&) = delete;

  TFileSystem& FileSystem() const { return *FileSystem_; }
  void SetFileSystem(TFileSystem* fileSystem) { FileSystem_ = fileSystem ? fileSystem : &SystemFileSystem(); }

  const std::string& FileName() const { return FileName_; }
  // A different name forgets the last analysis; nothing is read until Open.
  void SetFileName(const std::string& fileName);

  bool Active() const { return Active_; }
  // A missing file leaves Active false and every value as it was. True analyses the
  // file afresh; false forgets the analysis.
  void SetActive(bool active);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }

  int64_t FileSize() const { return FileSize_; }
  // The offset of the first frame header; -1 when none was found.
  int64_t HeaderFoundAt() const { return HeaderFoundAt_; }
  int64_t AudioSize() const { return AudioSize_; }
  // kbit/s (the average for a variable bitrate); -2 for a free-format stream.
  int32_t Bitrate() const { return Bitrate_; }
  int32_t SamplingRate() const { return SamplingRate_; }
  // Bytes per frame (the average for a variable bitrate).
  int32_t FrameLength() const { return FrameLength_; }
  uint32_t FrameCount() const { return FrameCount_; }
  double Duration() const { return Duration_; }
  std::string DurationToTime() const { return tags::DurationToTime(Duration_); }

  TMPEGVersion Version() const { return Version_; }
  TMPEGLayer Layer() const { return Layer_; }
  TMPEGChannelMode ChannelMode() const { return ChannelMode_; }
  TMPEGModeExtension ModeExtension() const { return ModeExtension_; }
  TMPEGEmphasis Emphasis() const { return Emphasis_; }
  TMPEGBits Bits() const { return Bits_; }

  // True when a "Xing" or "VBRI" header was found ("Info" marks a constant bitrate).
  bool VBR() const { return VBR_; }
  // "CBR" or "VBR".
  std::string EncodedType() const { return VBR_ ? "VBR" : "CBR"; }
  // The extra bytes of the first frame: 0, 1, or 4 for Layer I.
  int32_t PaddingLength() const { return PaddingLength_; }
  // From a "VBRI" header; the quality is -1 without one.
  uint16_t VBRIVersion() const { return VBRIVersion_; }
  uint16_t VBRIDelay() const { return VBRIDelay_; }
  int32_t Quality() const { return Quality_; }

  bool ID3v2TagExists() const { return ID3v2TagExists_; }
  bool ID3v1TagExists() const { return ID3v1TagExists_; }
  bool Lyrics3v2Exists() const { return Lyrics3v2Exists_; }
  // The whole Lyrics3 v2 block with its 15-byte trailer; 0 without one.
  uint32_t Lyrics3Size() const { return Lyrics3Size_; }

  // A frame header was found and its version and layer are defined.
  bool Valid() const { return HeaderFoundAt_ >= 0 && Layer_ != mlNotDefined && Version_ != mvReserved; }

  const TNotifyEvent& OnFileOpen() const { return OnFileOpen_; }
  void SetOnFileOpen(TNotifyEvent e) { OnFileOpen_ = std::move(e); }
  const TNotifyEvent& OnReadMPEG() const { return OnReadMPEG_; }
  void SetOnReadMPEG(TNotifyEvent e) { OnReadMPEG_ = std::move(e); }
  const TNotifyEvent& OnFileClose() const { return OnFileClose_; }
  void SetOnFileClose(TNotifyEvent e) { OnFileClose_ = std::move(e); }

 protected:
  virtual void DoOpen();
  virtual void DoClose();

 private:
  void Reset();
  void Analyse(TFile& file);
  // Sets HeaderFoundAt and copies the first bytes of that frame to `window`.
  void FindFirstFrame(TFile& file, int64_t start, uint8_t* window);
  void DecodeHeader(const uint8_t* header);
  void ReadVBRHeader(const uint8_t* window);
  void ReadTrailingTags(TFile& file);
  void Compute();

  TFileSystem* FileSystem_;
  std::string FileName_;
  bool Active_ = false;

  int64_t FileSize_ = 0;
  int64_t HeaderFoundAt_ = -1;
  int64_t AudioSize_ = 0;
  int32_t Bitrate_ = 0;
  int32_t SamplingRate_ = 0;
  int32_t FrameLength_ = 0;
  uint32_t FrameCount_ = 0;
  double Duration_ = 0;
  TMPEGVersion Version_ = mvReserved;
  TMPEGLayer Layer_ = mlNotDefined;
  TMPEGChannelMode ChannelMode_ = mcStereo;
  TMPEGModeExtension ModeExtension_ = mmeModeExt0;
  TMPEGEmphasis Emphasis_ = meNone;
  TMPEGBits Bits_;
  bool VBR_ = false;
  int32_t PaddingLength_ = 0;
  uint16_t VBRIVersion_ = 0;
  uint16_t VBRIDelay_ = 0;
  int32_t Quality_ = -1;
  bool ID3v2TagExists_ = false;
  bool ID3v1TagExists_ = false;
  bool Lyrics3v2Exists_ = false;
  uint32_t Lyrics3Size_ = 0;

  TNotifyEvent OnFileOpen_, OnReadMPEG_, OnFileClose_;
};

}  // namespace tags
