#pragma once
// The 10-byte tag header and the extended header of versions 2.3 and 2.4.

#include <cstdint>

#include "id3types.h"

namespace tags {

class TID3v2Tag;

enum TID3v2HeaderFlag {
  hfUnsynchronisation,
  hfExtendedHeader,
  hfExperimentalIndicator,
  hfFooterPresent,
  hfCompressed,
};
using TID3v2HeaderFlags = TSet<TID3v2HeaderFlag>;

class TID3v2Header {
 public:
  explicit TID3v2Header(TID3v2Tag* owner) : Owner_(owner) {}

  bool Exists() const { return Exists_; }
  uint8_t MajorVersion() const { return MajorVersion_; }
  uint8_t RevisionNumber() const { return RevisionNumber_; }
  uint32_t Size() const { return Size_; }
  TID3v2Tag* Owner() const { return Owner_; }

  TID3v2HeaderFlags Flags() const { return Flags_; }
  // Refuses, with a message, what the version to save cannot carry and footers.
  void SetFlags(TID3v2HeaderFlags flags);

  void Clear();
  // Reads the 10 bytes at the position; returns Exists.
  bool LoadFromStream(TMemoryStream& stream);
  // Writes the 10 bytes for the owner's version to save, size zero; returns the position.
  size_t SaveToStream(TMemoryStream& stream) const;

 private:
  TID3v2Tag* Owner_;
  bool Exists_ = false;
  uint8_t MajorVersion_ = 0;
  uint8_t RevisionNumber_ = 0;
  TID3v2HeaderFlags Flags_;
  uint32_t Size_ = 0;
};

enum TID3v2TagSizeRestrictions : uint8_t {
  tsr128Frames_1MB, tsr64Frames_128KB, tsr32Frames_40KB, tsr32Frames_4KB
};
enum TID3v2TextEncodingRestriction : uint8_t { terNoRestrictions, terOnlyISO_8859_1orUTF8 };
enum TID3v2TextFieldsSizeRestriction : uint8_t {
  tfszNoRestrictions, tfszMax1024Char, tfszMax128Char, tfszMax30Char
};
enum TID3v2ImageEncodingRestriction : uint8_t { ierNoRestrictions, ierOnlyPNGorJPEG };
enum TID3v2ImageSizeRestriction : uint8_t {
  isrNoRestrictions, isrMax256x256, isrMax64x64, isr64x64UnlessRequired
};

// Stored and written back; the engine never enforces them.
struct TID3v2TagRestrictions {
  TID3v2TagSizeRestrictions TagSize = tsr128Frames_1MB;
  TID3v2TextEncodingRestriction TextEncoding = terNoRestrictions;
  TID3v2TextFieldsSizeRestriction TextSize = tfszNoRestrictions;
  TID3v2ImageEncodingRestriction ImageEncoding = ierNoRestrictions;
  TID3v2ImageSizeRestriction ImageSize = isrNoRestrictions;

  void Clear() { *this = TID3v2TagRestrictions{}; }
  uint8_t ToByte() const;
  void FromByte(uint8_t value);
};

enum TID3v2ExtendedHeaderFlag { ehfTagIsAnUpdate, ehfCRCDataPresent, ehfTagRestrictions };
using TID3v2ExtendedHeaderFlags = TSet<TID3v2ExtendedHeaderFlag>;

class TID3v2ExtendedHeader {
 public:
  explicit TID3v2ExtendedHeader(TID3v2Tag* owner) : Owner_(owner) {}

  TID3v2ExtendedHeaderFlags Flags() const { return Flags_; }
  // Refused with a message for 2.2 and when a CRC is asked for (none is computed).
  void SetFlags(TID3v2ExtendedHeaderFlags flags);
  uint32_t CRCData() const { return CRCData_; }
  uint32_t SizeOfPadding() const { return SizeOfPadding_; }
  TID3v2TagRestrictions& TagRestrictions() { return TagRestrictions_; }
  const TID3v2TagRestrictions& TagRestrictions() const { return TagRestrictions_; }
  // The size field for the major version of the tag as read.
  uint32_t Size() const;
  TID3v2Tag* Owner() const { return Owner_; }

  void Clear();
  // Reads the layout of `majorVersion` from the position; bounded by the stream.
  void LoadFromStream(TMemoryStream& stream, int majorVersion);
  // Writes the layout of `majorVersion` (nothing for 2.2).
  void SaveToStream(TMemoryStream& stream, int majorVersion) const;

 private:
  TID3v2Tag* Owner_;
  TID3v2ExtendedHeaderFlags Flags_;
  uint32_t CRCData_ = 0;
  uint32_t SizeOfPadding_ = 0;
  TID3v2TagRestrictions TagRestrictions_;
};

}  // namespace tags
