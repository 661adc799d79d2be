#include "id3v2header.h"

#include "id3v2tag.h"
#include "tagerror.h"
#include "tagsconsts.h"

namespace tags {
namespace {

// A byte that is missing at the end of a damaged tag reads as zero.
uint8_t ReadByteOrZero(TMemoryStream& stream) {
  uint8_t b = 0;
  stream.ReadByte(b);
  return b;
}

uint32_t ReadBigEndianOrZero(TMemoryStream& stream, size_t count) {
  uint8_t buf[5] = {};
  stream.Read(buf, count);
  return ReadBigEndian(std::span<const uint8_t>(buf, count));
}

}  // namespace

void TID3v2Header::SetFlags(TID3v2HeaderFlags flags) {
  if (flags == Flags_) return;
  const TID3v2VersionToSave v = Owner_ ? Owner_->VersionToSave() : ive2_3;
  const auto turnsOn = [&](TID3v2HeaderFlag f) { return flags.Has(f) && !Flags_.Has(f); };
  if ((turnsOn(hfCompressed) && v != ive2_2) ||
      ((turnsOn(hfExperimentalIndicator) || turnsOn(hfExtendedHeader)) && v == ive2_2)) {
    ShowTagError(sNotApplicable, Owner_);
    return;
  }
  if (turnsOn(hfFooterPresent)) {
    ShowTagError(sNotSupported, Owner_);
    return;
  }
  Flags_ = flags;
}

void TID3v2Header::Clear() {
  Exists_ = false;
  MajorVersion_ = 0;
  RevisionNumber_ = 0;
  Flags_ = {};
  Size_ = 0;
}

bool TID3v2Header::LoadFromStream(TMemoryStream& stream) {
  Clear();
  uint8_t b[10];
  if (stream.Read(b, 10) != 10 || b[0] != 'I' || b[1] != 'D' || b[2] != '3') return false;
  Exists_ = true;
  MajorVersion_ = b[3];
  RevisionNumber_ = b[4];
  Flags_ = Flags_.With(hfUnsynchronisation, b[5] & 0x80)
               .With(MajorVersion_ == 2 ? hfCompressed : hfExtendedHeader, b[5] & 0x40)
               .With(hfExperimentalIndicator, b[5] & 0x20)
               .With(hfFooterPresent, b[5] & 0x10);
  Size_ = DecodeSyncSafe(std::span<const uint8_t>(b + 6, 4));
  return true;
}

size_t TID3v2Header::SaveToStream(TMemoryStream& stream) const {
  const TID3v2VersionToSave v = Owner_ ? Owner_->VersionToSave() : ive2_3;
  uint8_t flags = 0;
  if (Flags_.Has(hfUnsynchronisation)) flags |= 0x80;
  if (v == ive2_2 ? Flags_.Has(hfCompressed) : Flags_.Has(hfExtendedHeader)) flags |= 0x40;
  if (v != ive2_2 && Flags_.Has(hfExperimentalIndicator)) flags |= 0x20;
  // No footer is ever written, so its flag is not either: a flag without the footer
  // would make other readers look for one that is not there.
  const uint8_t bytes[10] = {'I', 'D', '3', uint8_t(v + 2), 0, flags, 0, 0, 0, 0};
  stream.Write(bytes, 10);
  return stream.Position();
}

uint8_t TID3v2TagRestrictions::ToByte() const {
  return uint8_t(((TagSize & 3) << 6) | ((TextEncoding & 1) << 5) | ((TextSize & 3) << 3) |
                 ((ImageEncoding & 1) << 2) | (ImageSize & 3));
}

void TID3v2TagRestrictions::FromByte(uint8_t value) {
  TagSize = TID3v2TagSizeRestrictions((value >> 6) & 3);
  TextEncoding = TID3v2TextEncodingRestriction((value >> 5) & 1);
  TextSize = TID3v2TextFieldsSizeRestriction((value >> 3) & 3);
  ImageEncoding = TID3v2ImageEncodingRestriction((value >> 2) & 1);
  ImageSize = TID3v2ImageSizeRestriction(value & 3);
}

void TID3v2ExtendedHeader::SetFlags(TID3v2ExtendedHeaderFlags flags) {
  if (Owner_ && Owner_->VersionToSave() == ive2_2) {
    ShowTagError(sNotApplicable, Owner_);
    return;
  }
  if (flags.Has(ehfCRCDataPresent) && !Flags_.Has(ehfCRCDataPresent)) {
    ShowTagError(sNotImplemented, Owner_);
    return;
  }
  Flags_ = flags;
}

uint32_t TID3v2ExtendedHeader::Size() const {
  const int major = Owner_ ? Owner_->Header().MajorVersion() : 0;
  if (major == 3) return Flags_.Has(ehfCRCDataPresent) ? 10 : 6;
  if (major == 4)
    return 6 + (Flags_.Has(ehfTagIsAnUpdate) ? 1 : 0) + (Flags_.Has(ehfCRCDataPresent) ? 6 : 0) +
           (Flags_.Has(ehfTagRestrictions) ? 2 : 0);
  return 0;
}

void TID3v2ExtendedHeader::Clear() {
  Flags_ = {};
  CRCData_ = 0;
  SizeOfPadding_ = 0;
  TagRestrictions_.Clear();
}

void TID3v2ExtendedHeader::LoadFromStream(TMemoryStream& stream, int majorVersion) {
  Clear();
  if (majorVersion == 3) {
    ReadBigEndianOrZero(stream, 4);  // size: the layout follows from the flag
    const uint8_t flags = ReadByteOrZero(stream);
    ReadByteOrZero(stream);
    SizeOfPadding_ = ReadBigEndianOrZero(stream, 4);
    if (flags & 0x80) {
      Flags_.Include(ehfCRCDataPresent);
      CRCData_ = ReadBigEndianOrZero(stream, 4);
    }
  } else if (majorVersion == 4) {
    uint8_t size[4] = {};
    stream.Read(size, 4);
    if (DecodeSyncSafe(size) < 6) return;
    const uint8_t flagBytes = ReadByteOrZero(stream);
    uint8_t flags = 0;
    for (unsigned i = 0; i < flagBytes; ++i) {
      const uint8_t b = ReadByteOrZero(stream);
      if (i == 0) flags = b;
    }
    if (flags & 0x40) {
      Flags_.Include(ehfTagIsAnUpdate);
      ReadByteOrZero(stream);
    }
    if (flags & 0x20) {
      Flags_.Include(ehfCRCDataPresent);
      const uint8_t length = ReadByteOrZero(stream);
      TBytes crc(length);
      crc.resize(stream.Read(crc.data(), length));
      CRCData_ = DecodeSyncSafe(crc);
    }
    if (flags & 0x10) {
      Flags_.Include(ehfTagRestrictions);
      const uint8_t length = ReadByteOrZero(stream);
      uint8_t restrictions = 0;
      for (unsigned i = 0; i < length; ++i) {
        const uint8_t b = ReadByteOrZero(stream);
        if (i == 0) restrictions = b;
      }
      TagRestrictions_.FromByte(restrictions);
    }
  }
}

void TID3v2ExtendedHeader::SaveToStream(TMemoryStream& stream, int majorVersion) const {
  if (majorVersion == 3) {
    const bool crc = Flags_.Has(ehfCRCDataPresent);
    WriteBigEndian(stream, crc ? 10 : 6, 4);
    stream.WriteByte(crc ? 0x80 : 0);
    stream.WriteByte(0);
    WriteBigEndian(stream, SizeOfPadding_, 4);
    if (crc) WriteBigEndian(stream, CRCData_, 4);
  } else if (majorVersion == 4) {
    uint32_t size = 6;
    uint8_t flags = 0;
    if (Flags_.Has(ehfTagIsAnUpdate)) { size += 1; flags |= 0x40; }
    if (Flags_.Has(ehfCRCDataPresent)) { size += 6; flags |= 0x20; }
    if (Flags_.Has(ehfTagRestrictions)) { size += 2; flags |= 0x10; }
    WriteSyncSafe(stream, size, 4);
    stream.WriteByte(1);
    stream.WriteByte(flags);
    if (Flags_.Has(ehfTagIsAnUpdate)) stream.WriteByte(0);
    if (Flags_.Has(ehfCRCDataPresent)) {
      stream.WriteByte(5);
      WriteSyncSafe(stream, CRCData_, 5);
    }
    if (Flags_.Has(ehfTagRestrictions)) {
      stream.WriteByte(1);
      stream.WriteByte(TagRestrictions_.ToByte());
    }
  }
}

}  // namespace tags
