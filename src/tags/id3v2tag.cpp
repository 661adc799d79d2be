#include "id3v2tag.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "filerewrite.h"
#include "genres.h"
#include "tagsconsts.h"
#include "textcodec.h"

namespace tags {
namespace {

constexpr size_t kCopyBlock = 1 << 20;
// The largest read buffer kept from one Open to the next: a rare huge cover picture
// should not stay in memory for as long as the tag object lives.
constexpr size_t kKeptReadBuffer = 1 << 20;

// Reads like TFile::Read, whose result may fall short only at the end of the file, but
// makes sure that a short read really met that end. Otherwise another program cut or
// rewrote the file meanwhile (or a network file system returned a short read), and going
// on would take a tag for missing, keep an old tag as audio, or copy the audio only in part
// and put that copy in place of the original.
size_t ReadUpToEnd(TFile& file, void* buffer, size_t count, uint64_t position, const std::string& path) {
  const size_t n = file.Read(buffer, count);
  if (n < count && position + n < file.Size())
    throw EReadError("\"" + path + "\" changed while it was being read");
  return n;
}

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
  if (active) {
    // Opening the file is what tells that it is missing: a separate look first would
    // cost one more system call for every file of a folder being read. Nothing but
    // Active has changed yet when the open fails.
    Active_ = true;
    try {
      DoOpen();
    } catch (const EFileError& e) {
      if (e.Error() != ENOENT && e.Error() != ENOTDIR) throw;
      Active_ = false;
    }
    return;
  }
  if (!FileSystem_->Status(FileName_).Exists) {
    Active_ = false;
    return;
  }
  Active_ = false;
  DoClose();
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

uint32_t TID3v2Tag::PlayCounter() const {
  if (!Active_) return 0;
  const TID3v2Frame* frame = Frames_.GetFrame(fiPlayCounter);
  if (frame == nullptr) return 0;
  const TBytes& p = frame->Data().Bytes();
  return ReadBigEndian(std::span<const uint8_t>(p.data(), std::min<size_t>(p.size(), 4)));
}

void TID3v2Tag::SetPlayCounter(uint32_t value) {
  if (!Active_) return;
  TID3v2Frame* frame = Frames_.GetFrame(fiPlayCounter);
  if (value == 0) {
    if (frame != nullptr) Frames_.Delete(frame->Index());
    return;
  }
  if (frame == nullptr) {
    frame = &Frames_.Add();
    frame->SetFrameIDAndName(fiPlayCounter, FrameIDToName(fiPlayCounter, VersionToSave_ + 2));
  }
  TMemoryStream payload;
  WriteBigEndian(payload, value, 4);
  frame->SetData(std::move(payload.Bytes()));
}

const std::vector<std::u16string>& TID3v2Tag::GenreList() const {
  static const std::vector<std::u16string> list = [] {
    std::vector<std::u16string> names;
    for (std::string_view name : kGenreNames) names.push_back(AnsiToWide(name));
    return names;
  }();
  return list;
}

const std::vector<std::u16string>& TID3v2Tag::InitialKeyList() const {
  static const std::vector<std::u16string> list = [] {
    std::vector<std::u16string> keys{u""};
    for (char16_t letter = u'A'; letter <= u'G'; ++letter)
      for (const char16_t* suffix : {u"", u"m", u"b", u"bm", u"#", u"#m"}) keys.push_back(letter + std::u16string(suffix));
    keys.push_back(u"o");
    return keys;
  }();
  return list;
}

std::u16string TID3v2Tag::IndexToInitialKey(int index) const {
  const auto& keys = InitialKeyList();
  return index >= 1 && size_t(index) < keys.size() ? keys[size_t(index)] : std::u16string();
}

int TID3v2Tag::InitialKeyToIndex(std::u16string_view key) const {
  const auto& keys = InitialKeyList();
  for (size_t i = 1; i < keys.size(); ++i)
    if (keys[i] == key) return int(i);
  return 0;
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
  header.Bytes().resize(ReadUpToEnd(*file, header.Bytes().data(), 10, 0, FileName_));
  if (Header_.LoadFromStream(header)) {
    // Never allocate more than the file holds, whatever its size field says.
    const uint64_t fileSize = file->Size();
    const uint64_t available = fileSize - std::min<uint64_t>(fileSize, 10);
    if (Header_.Size() > available)
      throw EReadError("The ID3v2 tag of \"" + FileName_ + "\" runs past the end of the file");
    // The buffer of the previous Open is reused: a folder is read through one tag object,
    // its tags tend to be of similar size, and a fresh buffer is zeroed all through
    // before the file's bytes overwrite it, which showed in the open benchmark.
    TMemoryStream region(std::move(ReadBuffer_));
    region.Bytes().resize(Header_.Size());
    if (file->Read(region.Bytes().data(), Header_.Size()) != Header_.Size())
      throw EReadError("The ID3v2 tag of \"" + FileName_ + "\" runs past the end of the file");
    // 2.4 unsynchronises frame by frame instead. Before 2.4 the extended header is part
    // of the unsynchronised data, and Commit writes it so: parsed as it stands, a CRC or
    // padding size holding FF E0 would shift the frames and lose them all on reading.
    if (Header_.Flags().Has(hfUnsynchronisation) && Header_.MajorVersion() < 4) Resynchronise(region);
    if (Header_.Flags().Has(hfExtendedHeader)) {
      ExtendedHeader_.LoadFromStream(region, Header_.MajorVersion());
      // The frames are parsed from the start of the buffer. Only the rare tag with an
      // extended header pays for moving them there; a cover picture makes the region
      // large, and copying it for every file read showed in the open benchmark.
      TBytes& bytes = region.Bytes();
      bytes.erase(bytes.begin(), bytes.begin() + std::ptrdiff_t(std::min(region.Position(), bytes.size())));
    }
    region.Seek(0);
    Frames_.LoadFromStream(region);
    if (region.Bytes().capacity() <= kKeptReadBuffer) ReadBuffer_ = std::move(region.Bytes());
  }
  file->Close();
  if (OnFileClose_) OnFileClose_(this);
}

TFileStatus TID3v2Tag::ResetAttributes() { return MakeOwnerWritable(*FileSystem_, FileName_); }

uint32_t TID3v2Tag::TagRegionOnDisk(TFile& file, uint64_t fileSize) {
  // Measured from the file rather than taken from the header as read, so that a second
  // Commit without a new Open, or a file changed meanwhile, never keeps old tag bytes
  // as audio or cuts audio away.
  uint8_t h[10];
  uint64_t region = 0;
  if (ReadUpToEnd(file, h, 10, 0, FileName_) == 10 && h[0] == 'I' && h[1] == 'D' && h[2] == '3') {
    region = 10 + uint64_t(DecodeSyncSafe(std::span<const uint8_t>(h + 6, 4)));
    if (h[3] == 4 && (h[5] & 0x10)) {
      // The footer repeats the header behind the frames; it goes with the tag.
      uint8_t footer[3];
      file.Seek(region);
      if (ReadUpToEnd(file, footer, 3, region, FileName_) == 3 && footer[0] == '3' && footer[1] == 'D' && footer[2] == 'I')
        region += 10;
    }
    region = std::min(region, fileSize);
  }
  return uint32_t(std::min<uint64_t>(region, UINT32_MAX));
}

void TID3v2Tag::DoWriteTag() {
  // One look at the file answers both whether it exists and whether it is writable.
  const TFileStatus status = ResetAttributes();
  if (!status.Exists) return;
  // One handle measures the old region and, when the new tag fits, overwrites it: a
  // second open and close cost more than building a tag with a cover picture. A file
  // that may be read but not written is measured read-only; writing it in place then
  // fails with the system's reason as before, while a rewrite can still replace it.
  std::unique_ptr<TFile> file;
  bool writable = true;
  try {
    file = FileSystem_->Open(FileName_, TOpenMode::ReadWrite);
  } catch (const EFileError& e) {
    if (e.Error() != EACCES && e.Error() != EPERM && e.Error() != EROFS) throw;
    file = FileSystem_->Open(FileName_, TOpenMode::Read);
    writable = false;
  }
  // Measured before the tag is built, so that the buffer can be reserved at the size of
  // the old region: a tag that fits is then built and padded without the buffer moving,
  // where each move would copy a cover picture again.
  const uint32_t oldRegion = TagRegionOnDisk(*file, status.Size);

  TMemoryStream tag;
  tag.Bytes().reserve(oldRegion);
  Header_.SaveToStream(tag);
  if (Header_.Flags().Has(hfExtendedHeader) && VersionToSave_ != ive2_2)
    ExtendedHeader_.SaveToStream(tag, VersionToSave_ + 2);
  if (Header_.Flags().Has(hfUnsynchronisation) && VersionToSave_ == ive2_4)
    for (int i = 0; i < Frames_.Count(); ++i) Frames_[i].Flags_.Include(fhfUnsynchronisation);
  if (Frames_.SaveToStream(tag) == 0) {
    file->Close();
    DoEraseTag();
    return;
  }
  if (Header_.Flags().Has(hfUnsynchronisation) && VersionToSave_ != ive2_4) Unsynchronise(tag);

  const uint64_t size = tag.Size();
  const uint64_t padding = oldRegion > size ? oldRegion - size : CalcPadding(oldRegion, uint32_t(std::min<uint64_t>(size, UINT32_MAX)));
  Padding_ = int(std::min<uint64_t>(padding, INT32_MAX));
  if (size + padding > kMaxTagSize) {
    file->Close();
    ShowTagErrorFmt(sTagSizeMoreThan, this, 256);
    return;
  }
  tag.Bytes().resize(size + padding, 0);
  if (VersionToSave_ == ive2_4 && !Header_.Flags().Has(hfUnsynchronisation)) tag.Bytes()[5] &= 0x7F;
  const TBytes sizeField = EncodeSyncSafe(tag.Size() - 10, 4);
  std::copy(sizeField.begin(), sizeField.end(), tag.Bytes().begin() + 6);

  if (tag.Size() > oldRegion) {
    file->Close();
    ReplaceFile(tag, oldRegion, status);
  } else {
    if (!writable) {
      file->Close();
      file = FileSystem_->Open(FileName_, TOpenMode::ReadWrite);
    }
    OverwriteInPlace(*file, tag);
  }
  if (OnWriteTag_) OnWriteTag_(this);
}

void TID3v2Tag::DoEraseTag() {
  const TFileStatus status = ResetAttributes();
  if (!status.Exists) return;
  auto file = FileSystem_->Open(FileName_, TOpenMode::Read);
  const uint32_t region = TagRegionOnDisk(*file, status.Size);
  file->Close();
  if (region == 0) return;
  ReplaceFile(TMemoryStream(), region, status);
  Reset();
  if (OnEraseTag_) OnEraseTag_(this);
}

void TID3v2Tag::OverwriteInPlace(TFile& file, const TMemoryStream& tag) {
  file.Seek(0);
  file.Write(tag.Data(), tag.Size());
  file.Close();
}

void TID3v2Tag::ReplaceFile(const TMemoryStream& tag, uint64_t keepFrom, const TFileStatus& status) {
  RewriteFile(*FileSystem_, FileName_, tag.Span(), keepFrom, UINT64_MAX, {}, status);
}

}  // namespace tags
