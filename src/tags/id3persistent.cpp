#include "id3persistent.h"

#include <algorithm>

#include "id3v2tag.h"
#include "tagsconsts.h"

namespace tags {

bool TID3Persistent::IsActive() const { return Owner_ != nullptr && Owner_->Active(); }

TID3v2Frame* TID3Persistent::NthFrame(TID3v2FrameID kind, int index) const {
  if (!IsActive() || index < 0) return nullptr;
  TID3v2Frames& frames = Owner_->Frames();
  for (int i = 0; i < frames.Count(); ++i)
    if (frames[i].FrameID() == kind && index-- == 0) return &frames[i];
  return nullptr;
}

TID3v2Frame& TID3Persistent::AppendFrame(TID3v2FrameID kind) const {
  TID3v2Frame& frame = Owner_->Frames().Add();
  frame.SetFrameIDAndName(kind, FrameIDToName(kind, Owner_->VersionToSave() + 2));
  return frame;
}

void TID3Persistent::DeleteFrame(TID3v2Frame* frame) const {
  if (frame != nullptr) Owner_->Frames().Delete(frame->Index());
}

void TID3Persistent::DeleteAllFrames(TID3v2FrameID kind) const {
  if (!IsActive()) return;
  TID3v2Frames& frames = Owner_->Frames();
  for (int i = frames.Count() - 1; i >= 0; --i)
    if (frames[i].FrameID() == kind) frames.Delete(i);
}

void TID3Persistent::SetFirstFrame(TID3v2FrameID kind, TBytes payload) const {
  if (!IsActive()) return;
  TID3v2Frame* frame = FirstFrame(kind);
  if (payload.empty()) {
    DeleteFrame(frame);
    return;
  }
  if (frame == nullptr) frame = &AppendFrame(kind);
  frame->SetData(std::move(payload));
}

TID3v2Encoding TID3Persistent::TagEncoding() const {
  return Owner_ ? Owner_->Encoding() : ienISO_8859_1;
}

int TID3v2MultiFrame::ItemCount() const { return IsActive() ? Owner()->CountFrames(Kind_) : 0; }

int TID3v2MultiFrame::ItemIndex() const {
  if (!IsActive()) return -1;
  return std::min(StoredIndex_, ItemCount() - 1);
}

void TID3v2MultiFrame::SetItemIndex(int index) {
  if (index != StoredIndex_) StoredIndex_ = std::min(index, ItemCount() - 1);
}

void TID3v2MultiFrame::Delete(int index) const { DeleteFrame(NthFrame(Kind_, index)); }

TID3v2Frame* TID3v2MultiFrame::PrepareAdd(bool mainFieldEmpty, int index) const {
  if (Owner() == nullptr) {
    ShowTagError(sNoOwner);
    return nullptr;
  }
  if (!IsActive()) return nullptr;
  TID3v2Frame* frame = NthFrame(Kind_, index);
  if (mainFieldEmpty) {
    DeleteFrame(frame);
    return nullptr;
  }
  return frame != nullptr ? frame : &AppendFrame(Kind_);
}

int TID3v2MultiFrame::FinishAdd(TID3v2Frame& frame, TBytes payload) const {
  frame.SetData(std::move(payload));
  return ItemCount();
}

}  // namespace tags
