#include "id3v2frame.h"

#include <zlib.h>

#include <algorithm>

#include "id3v2tag.h"
#include "pictures.h"
#include "tagerror.h"
#include "tagsconsts.h"

namespace tags {
namespace {

constexpr uint32_t kMax22FrameSize = 16777215;
// No tag can be larger than this, so no frame inside one can inflate beyond it either;
// the cap keeps a hostile size field from driving the allocation.
constexpr uint32_t kMaxInflatedSize = 268435455;

// Inflates a zlib stream. Stops early, with `complete` false, once the output would pass
// `expected`, so a frame that lies about its size cannot make us allocate without bound.
TBytes Inflate(const TBytes& input, uint32_t expected, bool& complete) {
  complete = false;
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) throw EDecompressionError("Cannot start the zlib decompressor");
  const uint64_t limit = std::min(expected, kMaxInflatedSize);
  TBytes out;
  zs.next_in = const_cast<Bytef*>(input.data());
  zs.avail_in = uInt(input.size());
  int rc = Z_OK;
  uint8_t chunk[4096];
  while (rc != Z_STREAM_END) {
    zs.next_out = chunk;
    zs.avail_out = sizeof chunk;
    rc = inflate(&zs, Z_NO_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END) {
      const std::string reason = zs.msg ? zs.msg : (rc == Z_BUF_ERROR ? "unexpected end of data" : "invalid data");
      inflateEnd(&zs);
      throw EDecompressionError("Corrupt compressed frame data: " + reason);
    }
    const size_t produced = sizeof chunk - zs.avail_out;
    if (out.size() + produced > limit) {
      inflateEnd(&zs);
      return {};
    }
    out.insert(out.end(), chunk, chunk + produced);
  }
  inflateEnd(&zs);
  complete = true;
  return out;
}

TBytes Deflate(const TBytes& input) {
  z_stream zs{};
  if (deflateInit(&zs, Z_BEST_COMPRESSION) != Z_OK)
    throw EDecompressionError("Cannot start the zlib compressor");
  TBytes out(deflateBound(&zs, uLong(input.size())));
  zs.next_in = const_cast<Bytef*>(input.data());
  zs.avail_in = uInt(input.size());
  zs.next_out = out.data();
  zs.avail_out = uInt(out.size());
  const int rc = deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  if (rc != Z_STREAM_END) throw EDecompressionError("Cannot compress frame data");
  return out;
}

uint32_t ReadBE(TMemoryStream& stream, size_t count) {
  uint8_t buf[4] = {};
  stream.Read(buf, count);
  return ReadBigEndian(std::span<const uint8_t>(buf, count));
}

uint32_t ReadSyncSafe4(TMemoryStream& stream) {
  uint8_t buf[4] = {};
  stream.Read(buf, 4);
  return DecodeSyncSafe(buf);
}

uint8_t ReadByte(TMemoryStream& stream) {
  uint8_t b = 0;
  stream.ReadByte(b);
  return b;
}

// A picture's image field is a 3-letter format in 2.2 ("PNG") and a terminated MIME type
// in 2.3 and 2.4 ("image/png"). Carried over unchanged, the field would run into the
// picture type and description, and every reader would take the cover apart wrongly;
// so this one field follows the version. Returns false when nothing needs converting.
bool ConvertPictureField(const TBytes& payload, bool from22, bool to22, TBytes& out) {
  if (from22 == to22 || payload.size() < 4) return false;
  const auto findRow = [](auto matches) -> const TImageMIMERow* {
    for (const TImageMIMERow& row : ImageMIMETable)
      if (matches(row)) return &row;
    return nullptr;
  };
  out.assign(payload.begin(), payload.begin() + 1);
  if (from22) {
    std::string format(payload.begin() + 1, payload.begin() + 4);
    for (char& c : format) c = (c >= 'a' && c <= 'z') ? char(c - 32) : c;
    const TImageMIMERow* row = findRow([&](const TImageMIMERow& r) { return format == r.Format22; });
    std::string mime;
    if (row != nullptr) {
      mime = row->MIMEType;
    } else {
      mime = "image/";
      for (char c : format)
        if (c != 0 && c != ' ') mime += (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
    }
    out.insert(out.end(), mime.begin(), mime.end());
    out.push_back(0);
    out.insert(out.end(), payload.begin() + 4, payload.end());
    return true;
  }
  const auto end = std::find(payload.begin() + 1, payload.end(), uint8_t(0));
  if (end == payload.end()) return false;
  std::string mime(payload.begin() + 1, end);
  for (char& c : mime) c = (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
  const TImageMIMERow* row = findRow([&](const TImageMIMERow& r) { return mime == r.MIMEType; });
  std::string format = row != nullptr ? row->Format22 : mime.substr(std::min(mime.find('/') + 1, mime.size()));
  for (char& c : format) c = (c >= 'a' && c <= 'z') ? char(c - 32) : c;
  format.resize(3, ' ');
  out.insert(out.end(), format.begin(), format.end());
  out.insert(out.end(), end + 1, payload.end());
  return true;
}

}  // namespace

// --- TID3v2Frame ------------------------------------------------------------------------

TID3v2Tag* TID3v2Frame::Tag() const { return Collection_ ? Collection_->Owner() : nullptr; }

int TID3v2Frame::Index() const { return Collection_ ? Collection_->IndexOf(this) : -1; }

void TID3v2Frame::SetFrameID(TID3v2FrameID id) {
  FrameID_ = id;
  Name_ = FrameIDToName(id, Tag() ? Tag()->Header().MajorVersion() : 0);
}

void TID3v2Frame::SetName(const std::string& name) {
  if (name.size() == 3 || name.size() == 4) Name_ = MakeFrameName(name);
  FrameID_ = FrameNameToID(Name_, Tag() ? Tag()->Header().MajorVersion() : 0);
}

void TID3v2Frame::SetFlags(TID3v2FrameHeaderFlags flags) {
  const TID3v2VersionToSave v = Tag() ? Tag()->VersionToSave() : ive2_3;
  if (v == ive2_2) {
    ShowTagError(sNotApplicable);
    return;
  }
  if (flags == Flags_) return;
  bool dataLength = Flags_.Has(fhfDataLengthIndicator);
  if (flags.Has(fhfCompressed) != Flags_.Has(fhfCompressed)) {
    // Compression of an unsynchronised payload cannot be changed: the order of the two
    // transformations would be lost.
    if (Flags_.Has(fhfUnsynchronisation)) return;
    if (v == ive2_4) dataLength = flags.Has(fhfCompressed);
  }
  if (flags.Has(fhfEncrypted) && !Flags_.Has(fhfEncrypted)) {
    ShowTagError(sEncryptionNotSupported);
    return;
  }
  Flags_ = flags.With(fhfDataLengthIndicator, dataLength);
  if (v != ive2_4) Flags_.Exclude(fhfUnsynchronisation);
}

void TID3v2Frame::SetEncryptionID(uint8_t value) {
  EncryptionID_ = value;
  Flags_.Include(fhfEncrypted);
}

void TID3v2Frame::SetGroupID(uint8_t value) {
  GroupID_ = value;
  Flags_.Include(fhfGrouping);
}

void TID3v2Frame::Assign(const TID3v2Frame& source) {
  if (&source == this) return;
  Data_.Assign(source.Data_.Bytes());
  DataLength_ = source.DataLength_;
  EncryptionID_ = source.EncryptionID_;
  Flags_ = source.Flags_;
  FrameID_ = source.FrameID_;
  GroupID_ = source.GroupID_;
  Name_ = source.Name_;
  StoredCompressed_ = source.StoredCompressed_;
}

std::string TID3v2Frame::GetDisplayName() const {
  if (Name_[0] == 0) return "TID3v2Frame";
  return Name() + " - " + FrameTableRow(FrameID_).Description;
}

// --- TID3v2Frames -----------------------------------------------------------------------

TID3v2Frame& TID3v2Frames::Add() {
  Items_.push_back(std::make_unique<TID3v2Frame>(this));
  return *Items_.back();
}

void TID3v2Frames::Delete(int index) {
  if (index < 0 || index >= Count()) return;
  Items_.erase(Items_.begin() + index);
}

void TID3v2Frames::Assign(const TID3v2Frames& source) {
  if (&source == this) return;
  Items_.clear();
  for (const auto& frame : source.Items_) Add().Assign(*frame);
}

TID3v2Frame* TID3v2Frames::GetFrame(TID3v2FrameID id) {
  for (auto& frame : Items_)
    if (frame->FrameID() == id) return frame.get();
  return nullptr;
}

const TID3v2Frame* TID3v2Frames::GetFrame(TID3v2FrameID id) const {
  return const_cast<TID3v2Frames*>(this)->GetFrame(id);
}

int TID3v2Frames::IndexOf(const TID3v2Frame* frame) const {
  for (size_t i = 0; i < Items_.size(); ++i)
    if (Items_[i].get() == frame) return int(i);
  return -1;
}

int TID3v2Frames::MajorVersionRead() const { return Owner_ ? Owner_->Header().MajorVersion() : 0; }

TID3v2VersionToSave TID3v2Frames::VersionToSave() const {
  return Owner_ ? Owner_->VersionToSave() : ive2_3;
}

int TID3v2Frames::LoadFromStream(TMemoryStream& stream) {
  Items_.clear();
  stream.Seek(0);
  if (Owner_ && Owner_->OnReadTag()) Owner_->OnReadTag()(this);
  const int major = MajorVersionRead();
  // Only these versions have a frame layout; the frames of any other are absent.
  if (major >= 2 && major <= 4)
    while (!stream.AtEnd() && ParseFrame(stream, major)) {
    }
  if (Owner_) Owner_->SetPadding(int(std::min<size_t>(stream.Remaining(), INT32_MAX)));
  return Count();
}

// Parses one frame at the position. Returns false, with the position back at the frame's
// start, where the frame area ends: at padding, or at a frame that cannot be whole.
bool TID3v2Frames::ParseFrame(TMemoryStream& stream, int major) {
  const size_t start = stream.Position();
  const auto stop = [&] {
    stream.Seek(start);
    return false;
  };
  TID3v2FrameName name{};
  stream.Read(name.data(), major == 2 ? 3 : 4);
  if (!IsValidFrameName(name, major)) return stop();

  auto frame = std::make_unique<TID3v2Frame>(this);
  frame->Name_ = name;
  frame->FrameID_ = FrameNameToID(name, major);

  uint32_t size = 0;
  bool metaCompressed = false;
  // Counts the optional header fields against the frame size; a size too small to hold
  // them marks a damaged frame.
  bool broken = false;
  const auto take = [&](uint32_t n) {
    if (size < n) broken = true;
    else size -= n;
  };
  if (major == 2) {
    size = ReadBE(stream, 3);
    // A compressed meta frame carries "z" and the inflated size first. With another
    // method the byte stays part of the payload, so the next frame is read where it is.
    if (frame->FrameID_ == fiMetaCompressed && size >= 5 && stream.Remaining() >= 1 &&
        stream.Data()[stream.Position()] == 'z') {
      stream.Seek(stream.Position() + 1);
      frame->DataLength_ = ReadBE(stream, 4);
      size -= 5;
      metaCompressed = true;
    }
  } else {
    size = major == 3 ? ReadBE(stream, 4) : ReadSyncSafe4(stream);
    const uint8_t status = ReadByte(stream);
    const uint8_t format = ReadByte(stream);
    TID3v2FrameHeaderFlags& f = frame->Flags_;
    if (major == 3) {
      f = f.With(fhfTagAlterDiscarded, status & 0x80)
              .With(fhfFileAlterDiscarded, status & 0x40)
              .With(fhfReadOnly, status & 0x20)
              .With(fhfCompressed, format & 0x80)
              .With(fhfEncrypted, format & 0x40)
              .With(fhfGrouping, format & 0x20);
      if (f.Has(fhfCompressed)) { take(4); frame->DataLength_ = ReadBE(stream, 4); }
      if (f.Has(fhfEncrypted)) { take(1); frame->EncryptionID_ = ReadByte(stream); }
      if (f.Has(fhfGrouping)) { take(1); frame->GroupID_ = ReadByte(stream); }
    } else {
      f = f.With(fhfTagAlterDiscarded, status & 0x40)
              .With(fhfFileAlterDiscarded, status & 0x20)
              .With(fhfReadOnly, status & 0x10)
              .With(fhfGrouping, format & 0x40)
              .With(fhfCompressed, format & 0x08)
              .With(fhfEncrypted, format & 0x04)
              .With(fhfUnsynchronisation, format & 0x02)
              .With(fhfDataLengthIndicator, format & 0x01);
      if (f.Has(fhfGrouping)) { take(1); frame->GroupID_ = ReadByte(stream); }
      if (f.Has(fhfEncrypted)) { take(1); frame->EncryptionID_ = ReadByte(stream); }
      if (f.Has(fhfDataLengthIndicator)) { take(4); frame->DataLength_ = ReadSyncSafe4(stream); }
    }
  }
  // A frame that runs past the end of the tag ends the frame area. The frames before it
  // stay: dropping them would lose them at the next save.
  if (broken || stream.Position() > stream.Size() || size > stream.Remaining()) return stop();

  TBytes payload(stream.Data() + stream.Position(), stream.Data() + stream.Position() + size);
  stream.Seek(stream.Position() + size);
  frame->Data_.Assign(std::move(payload));
  if (frame->Flags_.Has(fhfUnsynchronisation)) Resynchronise(frame->Data_);

  // An encrypted payload is carried as it is: inflating it would only fail.
  const bool compressed = frame->Flags_.Has(fhfCompressed) && !frame->Flags_.Has(fhfEncrypted);
  if (compressed || metaCompressed) {
    if (Owner_ && Owner_->OnFrameDecompress()) Owner_->OnFrameDecompress()(frame.get(), frame->Data_);
    bool complete = false;
    TBytes inflated = Inflate(frame->Data_.Bytes(), frame->DataLength_, complete);
    if (complete && inflated.size() == frame->DataLength_) {
      frame->Data_.Assign(std::move(inflated));
      frame->DataLength_ = 0;
    } else {
      frame->StoredCompressed_ = compressed;
      metaCompressed = false;
    }
  } else if (frame->Flags_.Has(fhfCompressed)) {
    frame->StoredCompressed_ = true;
  }

  if (metaCompressed) {
    TMemoryStream& inner = frame->Data_;
    TID3v2FrameName innerName{};
    inner.Seek(0);
    inner.Read(innerName.data(), 3);
    if (IsValidFrameName(innerName, 2)) {
      frame->Name_ = innerName;
      frame->FrameID_ = FrameNameToID(innerName, 2);
      frame->DataLength_ = ReadBE(inner, 3);
      const size_t offset = std::min<size_t>(6, inner.Size());
      const size_t length = std::min<size_t>(frame->DataLength_, inner.Size() - offset);
      TBytes innerPayload(inner.Data() + offset, inner.Data() + offset + length);
      inner.Assign(std::move(innerPayload));
    }
    inner.Seek(0);
  }
  frame->Data_.Seek(0);
  Items_.push_back(std::move(frame));
  return true;
}

bool TID3v2Frames::KeepsUnknown(const TID3v2Frame& frame, TID3v2VersionToSave v) const {
  // A frame we do not understand is still valid where it came from; in another version
  // its layout may not be, so it goes then.
  return frame.FrameID() == fiUnknown && MajorVersionRead() == v + 2 &&
         IsValidFrameName(frame.NameBytes(), v + 2);
}

int TID3v2Frames::SaveToStream(TMemoryStream& stream) {
  const TID3v2VersionToSave v = VersionToSave();
  size_t i = 0;
  while (i < Items_.size()) {
    TID3v2Frame& frame = *Items_[i];
    const bool unknownKept = KeepsUnknown(frame, v);
    // Stored compressed bytes have no form in 2.2, which knows no compression flag.
    const bool representable = !(frame.StoredCompressed_ && v == ive2_2);
    if ((!IsFrameSupported(frame.FrameID_, v) && !unknownKept) || frame.Data_.Size() == 0 ||
        !representable) {
      Items_.erase(Items_.begin() + std::ptrdiff_t(i));
      continue;
    }
    if (!unknownKept) frame.Name_ = FrameIDToName(frame.FrameID_, v + 2);

    TMemoryStream converted;
    const TMemoryStream* plain = &frame.Data_;
    if (frame.FrameID_ == fiAttachedPicture && !frame.StoredCompressed_ && !frame.Flags_.Has(fhfEncrypted) &&
        MajorVersionRead() >= 2 && MajorVersionRead() <= 4 &&
        ConvertPictureField(frame.Data_.Bytes(), MajorVersionRead() == 2, v == ive2_2, converted.Bytes()))
      plain = &converted;

    if (v == ive2_2) {
      if (plain->Size() > kMax22FrameSize) {
        ShowTagErrorFmt(sFrameSizeMoreThan, Owner_, 16);
        Items_.erase(Items_.begin() + std::ptrdiff_t(i));
        continue;
      }
      stream.Write(frame.Name_.data(), 3);
      WriteBigEndian(stream, uint32_t(plain->Size()), 3);
      stream.Write(plain->Span());
      ++i;
      continue;
    }

    TID3v2FrameHeaderFlags& f = frame.Flags_;
    // The payload in memory stays plain: what is written is built beside it, so a second
    // save of the same frames can neither compress nor unsynchronise twice. A payload
    // written as it is (nearly all of them) is not copied first: with a cover picture
    // that copy showed in the commit benchmark.
    TMemoryStream transformed;
    const TMemoryStream* out = plain;
    if (f.Has(fhfCompressed) && !frame.StoredCompressed_) {
      transformed.Assign(Deflate(plain->Bytes()));
      out = &transformed;
      frame.DataLength_ = uint32_t(plain->Size());
    }
    if (v == ive2_4) {
      // Readers of 2.4 learn the inflated size only from the data-length indicator.
      if (f.Has(fhfCompressed)) f.Include(fhfDataLengthIndicator);
      else if (f.Has(fhfDataLengthIndicator) && !frame.StoredCompressed_)
        frame.DataLength_ = uint32_t(plain->Size());
      if (f.Has(fhfUnsynchronisation)) {
        if (out != &transformed) {
          transformed.Assign(plain->Bytes());
          out = &transformed;
        }
        if (!Unsynchronise(transformed)) {
          f.Exclude(fhfUnsynchronisation);
          if (Owner_) Owner_->Header().SetFlags(Owner_->Header().Flags().Without(hfUnsynchronisation));
        }
      }
    }

    uint32_t size = uint32_t(out->Size());
    if (f.Has(fhfCompressed) && v == ive2_3) size += 4;
    if (f.Has(fhfGrouping)) size += 1;
    if (f.Has(fhfEncrypted)) size += 1;
    if (f.Has(fhfDataLengthIndicator) && v == ive2_4) size += 4;

    stream.Write(frame.Name_.data(), 4);
    if (v == ive2_3) {
      WriteBigEndian(stream, size, 4);
      stream.WriteByte(uint8_t((f.Has(fhfTagAlterDiscarded) ? 0x80 : 0) |
                               (f.Has(fhfFileAlterDiscarded) ? 0x40 : 0) |
                               (f.Has(fhfReadOnly) ? 0x20 : 0)));
      stream.WriteByte(uint8_t((f.Has(fhfCompressed) ? 0x80 : 0) | (f.Has(fhfEncrypted) ? 0x40 : 0) |
                               (f.Has(fhfGrouping) ? 0x20 : 0)));
      if (f.Has(fhfCompressed)) WriteBigEndian(stream, frame.DataLength_, 4);
      if (f.Has(fhfEncrypted)) stream.WriteByte(frame.EncryptionID_);
      if (f.Has(fhfGrouping)) stream.WriteByte(frame.GroupID_);
    } else {
      WriteSyncSafe(stream, size, 4);
      stream.WriteByte(uint8_t((f.Has(fhfTagAlterDiscarded) ? 0x40 : 0) |
                               (f.Has(fhfFileAlterDiscarded) ? 0x20 : 0) |
                               (f.Has(fhfReadOnly) ? 0x10 : 0)));
      stream.WriteByte(uint8_t((f.Has(fhfGrouping) ? 0x40 : 0) | (f.Has(fhfCompressed) ? 0x08 : 0) |
                               (f.Has(fhfEncrypted) ? 0x04 : 0) |
                               (f.Has(fhfUnsynchronisation) ? 0x02 : 0) |
                               (f.Has(fhfDataLengthIndicator) ? 0x01 : 0)));
      if (f.Has(fhfGrouping)) stream.WriteByte(frame.GroupID_);
      if (f.Has(fhfEncrypted)) stream.WriteByte(frame.EncryptionID_);
      // A 2.3 frame whose bytes did not inflate may declare more than the 28 bits of a
      // 2.4 indicator; wrapped, the value might match what the bytes do inflate to, and
      // the stored bytes would read back as another payload.
      if (f.Has(fhfDataLengthIndicator))
        WriteSyncSafe(stream, std::min(frame.DataLength_, kMaxInflatedSize), 4);
    }
    stream.Write(out->Span());
    ++i;
  }
  return Count();
}

}  // namespace tags
