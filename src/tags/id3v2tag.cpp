#include "id3v2tag.h"

#include <sys/stat.h>

#include <algorithm>

#include "tagsconsts.h"

namespace tags {
namespace {

constexpr size_t kCopyBlock = 1 << 20;

}  // namespace

uint32_t CalcPadding(uint32_t oldSize, uint32_t newSize) {
  uint64_t growth = 2048;
  if (oldSize != 0) {
    uint64_t x = oldSize;
    while (x <= newSize) x += x / 2 + 1;
    growth = std::max<uint64_t>(x - newSize, 2048);
  }
  const uint64_t region = (uint64_t(newSize) + growth + 2047) / 2048 * 2048;
  return uint32_t(region - newSize);
}

TID3v2Tag::TID3v2Tag(TFileSystem* fileSystem)
    : FileSystem_(fileSystem ? fileSystem : &SystemFileSystem()) {
  Reset();
}

void TID3v2Tag::Reset() {
  Header_.Clear();
  ExtendedHeader_.Clear();
  Frames_.Clear();
  Padding_ = 0;
}

void TID3v2Tag::SetFileName(const std::string& fileName) {
  if (fileName == FileName_) return;
  Reset();
  FileName_ = fileName;
}

void TID3v2Tag::SetActive(bool active) {
  if (!FileSystem_->Status(FileName_).Exists) {
    Active_ = false;
    return;
  }
  Active_ = active;
  if (active) DoOpen();
  else DoClose();
}

void TID3v2Tag::Commit() {
  if (Active_) DoWriteTag();
}

void TID3v2Tag::Erase() {
  if (Active_) DoEraseTag();
}

int TID3v2Tag::CountFrames(TID3v2FrameID id) const {
  int n = 0;
  for (int i = 0; i < Frames_.Count(); ++i) n += Frames_[i].FrameID() == id;
  return n;
}

void TID3v2Tag::SetVersionToSave(TID3v2VersionToSave version) {
  if (version == ive2_2 || version == ive2_3) {
    if (Encoding_ == ienUTF_16BE || Encoding_ == ienUTF_8) Encoding_ = ienISO_8859_1;
    for (int i = 0; i < Frames_.Count(); ++i)
      Frames_[i].Flags_ = Frames_[i].Flags_.Without(fhfUnsynchronisation).Without(fhfDataLengthIndicator);
  }
  VersionToSave_ = version;
}

void TID3v2Tag::SetEncoding(TID3v2Encoding encoding) {
  if (VersionToSave_ != ive2_4 && encoding != ienISO_8859_1 && encoding != ienUTF_16) {
    ShowTagError(sNotApplicable, this);
    return;
  }
  Encoding_ = encoding;
}

void TID3v2Tag::SetPadding(int padding) {
  Padding_ = (Header_.Flags().Has(hfFooterPresent) || padding < 0) ? 0 : padding;
}

uint32_t TID3v2Tag::TagSize() const {
  return (Active_ && Header_.Exists()) ? Header_.Size() + 10 : 0;
}

std::string TID3v2Tag::Version() const {
  if (!Active_ || Header_.MajorVersion() == 0) return {};
  return "2." + std::to_string(Header_.MajorVersion()) + "." + std::to_string(Header_.RevisionNumber());
}

void TID3v2Tag::DoClose() {
  Reset();
  Active_ = false;
}

void TID3v2Tag::DoOpen() {
  auto file = FileSystem_->Open(FileName_, TOpenMode::Read);
  if (OnFileOpen_) OnFileOpen_(this);
  Active_ = true;

  TMemoryStream header;
  header.Bytes().resize(10);
  header.Bytes().resize(file->Read(header.Bytes().data(), 10));
  if (Header_.LoadFromStream(header)) {
    // Never allocate more than the file holds, whatever its size field says.
    const uint64_t available = file->Size() - std::min<uint64_t>(file->Size(), 10);
    if (Header_.Size() > available)
      throw EReadError("The ID3v2 tag of \"" + FileName_ + "\" runs past the end of the file");
    TMemoryStream region;
    region.Bytes().resize(Header_.Size());
    if (file->Read(region.Bytes().data(), Header_.Size()) != Header_.Size())
      throw EReadError("The ID3v2 tag of \"" + FileName_ + "\" runs past the end of the file");
    if (Header_.Flags().Has(hfExtendedHeader))
      ExtendedHeader_.LoadFromStream(region, Header_.MajorVersion());
    TMemoryStream frames(TBytes(region.Bytes().begin() + std::ptrdiff_t(std::min(region.Position(), region.Size())),
                                region.Bytes().end()));
    // 2.4 unsynchronises frame by frame instead.
    if (Header_.Flags().Has(hfUnsynchronisation) && Header_.MajorVersion() < 4) Resynchronise(frames);
    Frames_.LoadFromStream(frames);
  }
  file->Close();
  if (OnFileClose_) OnFileClose_(this);
}

TFileStatus TID3v2Tag::ResetAttributes() {
  TFileStatus status = FileSystem_->Status(FileName_);
  if (status.Exists && !(status.Mode & S_IWUSR)) {
    // A failure here is reported rather than skipped: the caller would otherwise take
    // an unsaved file for a saved one.
    FileSystem_->SetMode(FileName_, status.Mode | S_IWUSR);
    status.Mode |= S_IWUSR;
  }
  return status;
}

uint32_t TID3v2Tag::TagRegionOnDisk() {
  // Measured from the file rather than taken from the header as read, so that a second
  // Commit without a new Open, or a file changed meanwhile, never keeps old tag bytes
  // as audio or cuts audio away.
  auto file = FileSystem_->Open(FileName_, TOpenMode::Read);
  uint8_t h[10];
  uint64_t region = 0;
  if (file->Read(h, 10) == 10 && h[0] == 'I' && h[1] == 'D' && h[2] == '3') {
    region = 10 + uint64_t(DecodeSyncSafe(std::span<const uint8_t>(h + 6, 4)));
    if (h[3] == 4 && (h[5] & 0x10)) {
      // The footer repeats the header behind the frames; it goes with the tag.
      uint8_t footer[3];
      file->Seek(region);
      if (file->Read(footer, 3) == 3 && footer[0] == '3' && footer[1] == 'D' && footer[2] == 'I')
        region += 10;
    }
    region = std::min(region, file->Size());
  }
  file->Close();
  return uint32_t(std::min<uint64_t>(region, UINT32_MAX));
}

void TID3v2Tag::DoWriteTag() {
  if (!FileSystem_->Status(FileName_).Exists) return;
  const TFileStatus status = ResetAttributes();

  TMemoryStream tag;
  Header_.SaveToStream(tag);
  if (Header_.Flags().Has(hfExtendedHeader) && VersionToSave_ != ive2_2)
    ExtendedHeader_.SaveToStream(tag, VersionToSave_ + 2);
  if (Header_.Flags().Has(hfUnsynchronisation) && VersionToSave_ == ive2_4)
    for (int i = 0; i < Frames_.Count(); ++i) Frames_[i].Flags_.Include(fhfUnsynchronisation);
  if (Frames_.SaveToStream(tag) == 0) {
    DoEraseTag();
    return;
  }
  if (Header_.Flags().Has(hfUnsynchronisation) && VersionToSave_ != ive2_4) Unsynchronise(tag);

  const uint32_t oldRegion = TagRegionOnDisk();
  const uint64_t size = tag.Size();
  const uint64_t padding = oldRegion > size ? oldRegion - size : CalcPadding(oldRegion, uint32_t(std::min<uint64_t>(size, UINT32_MAX)));
  Padding_ = int(std::min<uint64_t>(padding, INT32_MAX));
  if (size + padding > kMaxTagSize) {
    ShowTagErrorFmt(sTagSizeMoreThan, this, 256);
    return;
  }
  tag.Bytes().resize(size + padding, 0);
  if (VersionToSave_ == ive2_4 && !Header_.Flags().Has(hfUnsynchronisation)) tag.Bytes()[5] &= 0x7F;
  const TBytes sizeField = EncodeSyncSafe(tag.Size() - 10, 4);
  std::copy(sizeField.begin(), sizeField.end(), tag.Bytes().begin() + 6);

  if (tag.Size() > oldRegion) ReplaceFile(tag, oldRegion, status);
  else OverwriteInPlace(tag);
  if (OnWriteTag_) OnWriteTag_(this);
}

void TID3v2Tag::DoEraseTag() {
  if (!FileSystem_->Status(FileName_).Exists) return;
  const TFileStatus status = ResetAttributes();
  const uint32_t region = TagRegionOnDisk();
  if (region == 0) return;
  ReplaceFile(TMemoryStream(), region, status);
  Reset();
  if (OnEraseTag_) OnEraseTag_(this);
}

void TID3v2Tag::OverwriteInPlace(const TMemoryStream& tag) {
  auto file = FileSystem_->Open(FileName_, TOpenMode::ReadWrite);
  file->Seek(0);
  file->Write(tag.Data(), tag.Size());
  file->Close();
}

void TID3v2Tag::ReplaceFile(const TMemoryStream& tag, uint64_t keepFrom, const TFileStatus& status) {
  // A symbolic link stays a link: the file it points to is the one replaced.
  const std::string target = FileSystem_->ResolveLinks(FileName_);
  const std::string folder = FolderOf(target);
  std::string tempPath;
  // Beside the original, so that the final rename cannot cross a device.
  auto temp = FileSystem_->CreateUnique(folder, "tmp", tempPath);
  try {
    temp->Write(tag.Data(), tag.Size());
    auto source = FileSystem_->Open(target, TOpenMode::Read);
    source->Seek(keepFrom);
    TBytes block(kCopyBlock);
    for (;;) {
      const size_t n = source->Read(block.data(), block.size());
      if (n == 0) break;
      temp->Write(block.data(), n);
    }
    source->Close();
    // Owner before mode: a change of owner clears the set-id bits.
    temp->TrySetOwner(status.Uid, status.Gid);
    temp->SetMode(status.Mode);
    temp->Sync();
    temp->Close();
    FileSystem_->Rename(tempPath, target);
  } catch (...) {
    temp.reset();
    try {
      FileSystem_->Remove(tempPath);
    } catch (const EFileError&) {
      // The original is intact; a stray temporary file is the lesser harm.
    }
    throw;
  }
  try {
    FileSystem_->SyncFolder(folder);
  } catch (const EFileError&) {
    // The new file is in place and complete; only the durability of the rename itself
    // across a power cut is left to the file system.
  }
}

}  // namespace tags
