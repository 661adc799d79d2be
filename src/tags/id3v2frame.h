#pragma once
// One ID3v2 frame (kind, name, flags, plain payload) and the tag's ordered frame list,
// with parsing and writing of the frame area in versions 2.2, 2.3 and 2.4.

#include <memory>
#include <string>
#include <vector>

#include "frametable.h"
#include "id3types.h"

namespace tags {

class TID3v2Tag;
class TID3v2Frames;

enum TID3v2FrameHeaderFlag {
  fhfTagAlterDiscarded,
  fhfFileAlterDiscarded,
  fhfReadOnly,
  fhfCompressed,
  fhfEncrypted,
  fhfGrouping,
  fhfUnsynchronisation,
  fhfDataLengthIndicator,
};
using TID3v2FrameHeaderFlags = TSet<TID3v2FrameHeaderFlag>;

class TID3v2Frame {
 public:
  explicit TID3v2Frame(TID3v2Frames* collection) : Collection_(collection) {}
  TID3v2Frame(const TID3v2Frame&) = delete;
  TID3v2Frame& operator=(const TID3v2Frame&) = delete;

  TID3v2Frames* Collection() const { return Collection_; }
  int Index() const;

  TID3v2FrameID FrameID() const { return FrameID_; }
  // The kind, and the name of that kind in the major version of the tag as read.
  void SetFrameID(TID3v2FrameID id);

  const TID3v2FrameName& NameBytes() const { return Name_; }
  std::string Name() const { return FrameNameText(Name_); }
  // Takes 3 or 4 characters (other lengths keep the name); the kind follows the name.
  void SetName(const std::string& name);
  // Both at once, for a frame made for the version to save rather than the one read.
  void SetFrameIDAndName(TID3v2FrameID id, const TID3v2FrameName& name) {
    FrameID_ = id;
    Name_ = name;
  }

  TID3v2FrameHeaderFlags Flags() const { return Flags_; }
  // Applies the version rules of the tag's version to save, with messages for refusals.
  void SetFlags(TID3v2FrameHeaderFlags flags);

  TMemoryStream& Data() { return Data_; }
  const TMemoryStream& Data() const { return Data_; }
  // A new payload is plain bytes, whatever the old one was.
  void SetData(const TMemoryStream& data) { SetData(data.Bytes()); }
  void SetData(TBytes data) {
    Data_.Assign(std::move(data));
    StoredCompressed_ = false;
  }
  size_t DataSize() const { return Data_.Size(); }

  uint32_t DataLength() const { return DataLength_; }
  void SetDataLength(uint32_t value) { DataLength_ = value; }
  uint8_t EncryptionID() const { return EncryptionID_; }
  void SetEncryptionID(uint8_t value);
  uint8_t GroupID() const { return GroupID_; }
  void SetGroupID(uint8_t value);

  // Copies payload, data length, encryption and group symbols, flags, kind and name.
  void Assign(const TID3v2Frame& source);
  // "TIT2 - Title/songname/content description"; the class name for an empty name.
  std::string GetDisplayName() const;

  // The payload is still the compressed bytes from the file, because they did not
  // inflate to the size the frame declared; it is written back as it stands.
  bool StoredCompressed() const { return StoredCompressed_; }

 private:
  friend class TID3v2Frames;
  friend class TID3v2Tag;
  TID3v2Tag* Tag() const;

  TID3v2Frames* Collection_;
  TID3v2FrameID FrameID_ = fiUnknown;
  TID3v2FrameName Name_{};
  TID3v2FrameHeaderFlags Flags_;
  TMemoryStream Data_;
  uint32_t DataLength_ = 0;
  uint8_t EncryptionID_ = 0;
  uint8_t GroupID_ = 0;
  bool StoredCompressed_ = false;
};

class TID3v2Frames {
 public:
  explicit TID3v2Frames(TID3v2Tag* owner) : Owner_(owner) {}
  TID3v2Frames(const TID3v2Frames&) = delete;
  TID3v2Frames& operator=(const TID3v2Frames&) = delete;

  TID3v2Tag* Owner() const { return Owner_; }
  int Count() const { return int(Items_.size()); }
  TID3v2Frame& Items(int index) { return *Items_.at(size_t(index)); }
  const TID3v2Frame& Items(int index) const { return *Items_.at(size_t(index)); }
  TID3v2Frame& operator[](int index) { return Items(index); }
  const TID3v2Frame& operator[](int index) const { return Items(index); }
  // Copies `frame` into the frame at `index`.
  void SetItems(int index, const TID3v2Frame& frame) { Items(index).Assign(frame); }

  TID3v2Frame& Add();
  void Delete(int index);
  void Clear() { Items_.clear(); }
  // Replaces every frame with a copy of the frames of `source`.
  void Assign(const TID3v2Frames& source);

  // The first frame of the kind in collection order, or nullptr.
  TID3v2Frame* GetFrame(TID3v2FrameID id);
  const TID3v2Frame* GetFrame(TID3v2FrameID id) const;
  int IndexOf(const TID3v2Frame* frame) const;

  // Parses the frame area of a tag buffer (frames, then padding) for the major version
  // of the tag as read; returns the number of frames. Corrupt compressed data throws.
  int LoadFromStream(TMemoryStream& stream);
  // Appends every frame the tag's version to save can carry; drops the others (and
  // empty ones) from the collection. Returns the number of frames left.
  int SaveToStream(TMemoryStream& stream);

 private:
  int MajorVersionRead() const;
  TID3v2VersionToSave VersionToSave() const;
  bool ParseFrame(TMemoryStream& stream, int major);
  bool KeepsUnknown(const TID3v2Frame& frame, TID3v2VersionToSave v) const;

  TID3v2Tag* Owner_;
  std::vector<std::unique_ptr<TID3v2Frame>> Items_;
};

}  // namespace tags
