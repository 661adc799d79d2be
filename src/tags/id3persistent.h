#pragma once
// The base of the frame-kind objects a tag owns, and the cursor model that every
// object standing for all frames of one kind follows.

#include <string>

#include "id3types.h"

namespace tags {

class TID3v2Tag;
class TID3v2Frame;

class TID3Persistent {
 public:
  explicit TID3Persistent(TID3v2Tag* owner) : Owner_(owner) {}
  virtual ~TID3Persistent() = default;
  TID3v2Tag* Owner() const { return Owner_; }

 protected:
  bool IsActive() const;
  // Frame number `index` among the frames of `kind`, in collection order; nullptr when
  // there is none (or the tag is inactive).
  TID3v2Frame* NthFrame(TID3v2FrameID kind, int index) const;
  TID3v2Frame* FirstFrame(TID3v2FrameID kind) const { return NthFrame(kind, 0); }
  // A new frame of the kind at the end, named for the version to save.
  TID3v2Frame& AppendFrame(TID3v2FrameID kind) const;
  void DeleteFrame(TID3v2Frame* frame) const;
  void DeleteAllFrames(TID3v2FrameID kind) const;
  // Writes `payload` into the first frame of the kind, creating it when there is none;
  // empty `payload` deletes that first frame.
  void SetFirstFrame(TID3v2FrameID kind, TBytes payload) const;
  TID3v2Encoding TagEncoding() const;

 private:
  TID3v2Tag* Owner_;
};

class TID3v2MultiFrame : public TID3Persistent {
 public:
  TID3v2MultiFrame(TID3v2Tag* owner, TID3v2FrameID kind) : TID3Persistent(owner), Kind_(kind) {}

  TID3v2FrameID Kind() const { return Kind_; }
  // The number of frames of the kind while the tag is active, else 0.
  int ItemCount() const;
  // The cursor, never past the last frame: -1 while inactive or when there is none.
  int ItemIndex() const;
  void SetItemIndex(int index);
  void Delete(int index) const;
  void Clear() const { DeleteAllFrames(Kind_); }

 protected:
  // The common start of every Add: the frame to rebuild, or nullptr when there is
  // nothing to write (no tag, inactive tag, or an empty main field that deleted frame
  // number `index`).
  TID3v2Frame* PrepareAdd(bool mainFieldEmpty, int index) const;
  // Stores `payload` in the frame PrepareAdd gave and returns the new item count.
  int FinishAdd(TID3v2Frame& frame, TBytes payload) const;

 private:
  TID3v2FrameID Kind_;
  int StoredIndex_ = 0;
};

}  // namespace tags
