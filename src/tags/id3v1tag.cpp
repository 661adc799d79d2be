#include "id3v1tag.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "filerewrite.h"
#include "genres.h"
#include "textcodec.h"

namespace tags {
namespace {

// Offsets and widths of the text slots of the 128-byte block.
constexpr size_t kTitleAt = 3, kArtistAt = 33, kAlbumAt = 63, kYearAt = 93, kCommentAt = 97;
constexpr size_t kTextWidth = 30, kYearWidth = 4;
// Version 1.1 keeps a zero here and the track number in the byte after it.
constexpr size_t kTrackMarkAt = 125, kTrackAt = 126, kGenreAt = 127;

constexpr std::string_view kTagMarker = "TAG";
constexpr std::string_view kLyricsBegin = "LYRICSBEGIN";
constexpr std::string_view kLyricsEnd = "LYRICS200";
// The six size digits and "LYRICS200" behind the fields.
constexpr uint64_t kLyricsTrailer = 15;

bool Matches(const uint8_t* bytes, std::string_view marker) {
  return std::memcmp(bytes, marker.data(), marker.size()) == 0;
}

// Reads `count` bytes at `position` of a file of `size` bytes; false when they would lie
// outside the file, which is how a file too short for a block shows. A read that falls
// short inside the file means another program cut it meanwhile: taking a block for
// missing then would let Commit write a second one behind the first.
bool ReadAt(TFile& file, uint64_t size, uint64_t position, void* buffer, size_t count, const std::string& path) {
  if (position > size || count > size - position) return false;
  if (count == 0) return true;
  file.Seek(position);
  if (file.Read(buffer, count) != count) throw EReadError("\"" + path + "\" changed while it was being read");
  return true;
}

uint32_t ParseSizeDigits(const uint8_t* digits) {
  uint32_t value = 0;
  for (int i = 0; i < 6; ++i) {
    if (digits[i] < '0' || digits[i] > '9') return 0;
    value = value * 10 + uint32_t(digits[i] - '0');
  }
  return value;
}

// What a file ends with: the ID3v1 block in its last 128 bytes, and the Lyrics3 block
// right in front of it (or at the very end without one).
struct TBlocks {
  bool TagFound = false;
  uint8_t Tag[kID3v1Size] = {};
  bool LyricsFound = false;
  uint32_t LyricsSize = 0;  // the six digits: "LYRICSBEGIN" and the fields
  uint64_t LyricsStart = 0;
  // Where the first block found begins; the file's size when there is none.
  uint64_t Start = 0;
};

TBlocks FindBlocks(TFile& file, uint64_t size, const std::string& path) {
  TBlocks blocks;
  blocks.TagFound = ReadAt(file, size, size - std::min<uint64_t>(size, kID3v1Size), blocks.Tag, kID3v1Size, path) &&
                    Matches(blocks.Tag, kTagMarker);
  const uint64_t end = size - (blocks.TagFound ? kID3v1Size : 0);
  blocks.Start = end;
  if (end < kLyricsTrailer) return blocks;
  uint8_t marker[11];
  if (!ReadAt(file, size, end - kLyricsEnd.size(), marker, kLyricsEnd.size(), path) || !Matches(marker, kLyricsEnd))
    return blocks;
  uint8_t digits[6];
  ReadAt(file, size, end - kLyricsTrailer, digits, 6, path);
  const uint32_t lyricsSize = ParseSizeDigits(digits);
  // A size below the begin marker's length cannot be a block: its "LYRICSBEGIN" would
  // overlap the digits.
  if (lyricsSize < kLyricsBegin.size() || lyricsSize > end - kLyricsTrailer) return blocks;
  const uint64_t start = end - kLyricsTrailer - lyricsSize;
  if (!ReadAt(file, size, start, marker, kLyricsBegin.size(), path) || !Matches(marker, kLyricsBegin)) return blocks;
  blocks.LyricsFound = true;
  blocks.LyricsSize = lyricsSize;
  blocks.LyricsStart = start;
  blocks.Start = start;
  return blocks;
}

std::string SlotText(const uint8_t* block, size_t at, size_t width) {
  const uint8_t* begin = block + at;
  const uint8_t* end = std::find(begin, begin + width, uint8_t(0));
  return std::string(begin, end);
}

void PutSlot(TBytes& block, size_t at, size_t width, const std::string& text) {
  std::copy_n(text.begin(), std::min(width, text.size()), block.begin() + std::ptrdiff_t(at));
}

char16_t FoldCase(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c; }

bool SameTextIgnoringCase(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) { return FoldCase(x) == FoldCase(y); });
}

bool IsMissing(const EFileError& e) { return e.Error() == ENOENT || e.Error() == ENOTDIR; }

}  // namespace

bool TID3v1Tag::TFileTail::HasAt(uint64_t fromEnd, std::string_view marker) const {
  // The tail reaches far enough in front of the blocks for every look the steps make;
  // a file too short for the look has no such block.
  if (fromEnd > Bytes.size() || fromEnd < marker.size()) return false;
  return Matches(Bytes.data() + (Bytes.size() - size_t(fromEnd)), marker);
}

TID3v1Tag::TID3v1Tag(TFileSystem* fileSystem) : FileSystem_(fileSystem ? fileSystem : &SystemFileSystem()) {}

void TID3v1Tag::ClearFields() {
  Title_.clear();
  Artist_.clear();
  Album_.clear();
  Year_.clear();
  Comment_.clear();
  Track_ = 0;
  Genre_ = 255;
  Version10_ = false;
  Exists_ = false;
  Lyrics_.Reset();
}

void TID3v1Tag::SetFileName(const std::string& fileName) {
  if (fileName == FileName_) return;
  ClearFields();
  FileName_ = fileName;
}

void TID3v1Tag::SetActive(bool active) {
  if (active) {
    try {
      DoOpen();
    } catch (const EFileError& e) {
      // Opening is what tells that the file is missing; nothing has changed yet then.
      if (IsMissing(e)) {
        Active_ = false;
        return;
      }
      DoClose();
      throw;
    } catch (...) {
      // Half-read fields must not be taken for the file's: a Commit would write them.
      DoClose();
      throw;
    }
    return;
  }
  if (!FileSystem_->Status(FileName_).Exists) {
    Active_ = false;
    return;
  }
  DoClose();
}

std::u16string TID3v1Tag::GenreAsString() const {
  return Genre_ < kGenreCount ? AnsiToWide(kGenreNames[Genre_]) : std::u16string();
}

void TID3v1Tag::SetGenreAsString(std::u16string_view name) {
  const auto& list = GenreList();
  for (size_t i = 0; i < list.size(); ++i)
    if (SameTextIgnoringCase(list[i], name)) {
      Genre_ = uint8_t(i);
      return;
    }
}

const std::vector<std::u16string>& TID3v1Tag::GenreList() const {
  static const std::vector<std::u16string> list = [] {
    std::vector<std::u16string> names;
    for (std::string_view name : kGenreNames) names.push_back(AnsiToWide(name));
    return names;
  }();
  return list;
}

std::string TID3v1Tag::Version() const {
  if (!Active_ || !Exists_) return {};
  return Version10_ ? "1.0" : "1.1";
}

void TID3v1Tag::DoClose() {
  ClearFields();
  Active_ = false;
}

void TID3v1Tag::DoOpen() {
  auto file = FileSystem_->Open(FileName_, TOpenMode::Read);
  if (OnFileOpen_) OnFileOpen_(this);
  Active_ = true;
  if (OnReadTag_) OnReadTag_(this);
  const uint64_t size = file->Size();
  const TBlocks blocks = FindBlocks(*file, size, FileName_);
  // Everything is cleared first, the Lyrics3 data too: a second Open of the same file
  // must not keep fields of a block that is no longer there.
  ClearFields();
  if (blocks.TagFound) {
    const uint8_t* tag = blocks.Tag;
    Exists_ = true;
    Title_ = SlotText(tag, kTitleAt, kTextWidth);
    Artist_ = SlotText(tag, kArtistAt, kTextWidth);
    Album_ = SlotText(tag, kAlbumAt, kTextWidth);
    Year_ = SlotText(tag, kYearAt, kYearWidth);
    Comment_ = SlotText(tag, kCommentAt, kTextWidth);
    Genre_ = tag[kGenreAt];
    Version10_ = tag[kTrackMarkAt] != 0;
    Track_ = Version10_ ? 0 : tag[kTrackAt];
  }
  if (blocks.LyricsFound) {
    Lyrics_.Exists_ = true;
    Lyrics_.Size_ = int32_t(blocks.LyricsSize);
    TMemoryStream area;
    area.Bytes().resize(blocks.LyricsSize - kLyricsBegin.size());
    ReadAt(*file, size, blocks.LyricsStart + kLyricsBegin.size(), area.Bytes().data(), area.Size(), FileName_);
    Lyrics_.Fields().LoadFromStream(area);
  }
  file->Close();
  if (OnFileClose_) OnFileClose_(this);
}

TBytes TID3v1Tag::BuildBlock() const {
  TBytes block(kID3v1Size, 0);
  std::copy(kTagMarker.begin(), kTagMarker.end(), block.begin());
  PutSlot(block, kTitleAt, kTextWidth, Title_);
  PutSlot(block, kArtistAt, kTextWidth, Artist_);
  PutSlot(block, kAlbumAt, kTextWidth, Album_);
  PutSlot(block, kYearAt, kYearWidth, Year_);
  PutSlot(block, kCommentAt, kTextWidth, Comment_);
  if (Track_ != 0) {
    // The track number takes the comment's last two bytes (version 1.1).
    block[kTrackMarkAt] = 0;
    block[kTrackAt] = Track_;
  }
  block[kGenreAt] = Genre_;
  return block;
}

void TID3v1Tag::DoEraseLyrics(TFileTail& tail) {
  // The Lyrics3 block ends the file only once the ID3v1 block behind it is gone.
  if (tail.TagFound && tail.HasAt(kID3v1Size, kTagMarker)) tail.Cut(kID3v1Size);
  if (tail.LyricsFound && tail.HasAt(tail.LyricsLength, kLyricsBegin)) tail.Cut(tail.LyricsLength);
}

void TID3v1Tag::DoEraseTag(TFileTail& tail) {
  if (tail.HasAt(kID3v1Size, kTagMarker)) tail.Cut(kID3v1Size);
}

bool TID3v1Tag::DoWriteLyrics(TFileTail& tail) {
  TMemoryStream block;
  if (Lyrics_.Fields().SaveToStream(block) < 0) return false;
  DoEraseLyrics(tail);
  // No fields write no block: the old one is simply gone.
  tail.Append(block.Span());
  return true;
}

void TID3v1Tag::DoWriteTag(TFileTail& tail) {
  const TBytes block = BuildBlock();
  if (tail.HasAt(kID3v1Size, kTagMarker))
    std::copy(block.begin(), block.end(), tail.Bytes.end() - std::ptrdiff_t(kID3v1Size));
  else
    tail.Append(block);
}

void TID3v1Tag::Commit() {
  if (!Active_) return;
  TFileTail tail;
  if (!ReadTail(tail)) return;
  if (EditLyrics_ && !DoWriteLyrics(tail)) return;
  DoWriteTag(tail);
  if (!ApplyTail(tail)) return;
  if (OnWriteTag_) OnWriteTag_(this);
}

void TID3v1Tag::Erase() {
  if (!Active_) return;
  TFileTail tail;
  if (!ReadTail(tail)) return;
  if (EditLyrics_) DoEraseLyrics(tail);
  DoEraseTag(tail);
  if (!ApplyTail(tail)) return;
  ClearFields();
  if (OnEraseTag_) OnEraseTag_(this);
}

bool TID3v1Tag::ReadTail(TFileTail& tail) {
  std::unique_ptr<TFile> file;
  try {
    file = FileSystem_->Open(FileName_, TOpenMode::Read);
  } catch (const EFileError& e) {
    if (IsMissing(e)) return false;
    throw;
  }
  const uint64_t size = file->Size();
  const TBlocks blocks = FindBlocks(*file, size, FileName_);
  tail.TagFound = blocks.TagFound;
  tail.LyricsFound = blocks.LyricsFound;
  tail.LyricsLength = blocks.LyricsFound ? blocks.LyricsSize + kLyricsTrailer : 0;
  // One block's length in front of the blocks too: once they are planned away, the
  // 128-byte block is looked for at the new end.
  tail.Base = blocks.Start - std::min<uint64_t>(blocks.Start, kID3v1Size);
  tail.Old.resize(size_t(size - tail.Base));
  ReadAt(*file, size, tail.Base, tail.Old.data(), tail.Old.size(), FileName_);
  file->Close();
  tail.Bytes = tail.Old;
  return true;
}

bool TID3v1Tag::ApplyTail(const TFileTail& tail) {
  // Before anything is written, and reported when refused: the caller would otherwise
  // take an unsaved file for a saved one.
  const TFileStatus status = MakeOwnerWritable(*FileSystem_, FileName_);
  if (!status.Exists) return false;
  const TBytes& old = tail.Old;
  const TBytes& now = tail.Bytes;
  const size_t common = size_t(std::mismatch(old.begin(), old.end(), now.begin(), now.end()).first - old.begin());
  const uint64_t oldSize = tail.Base + old.size();
  const std::span<const uint8_t> oldSpan(old), nowSpan(now);
  if (common == old.size() && common == now.size()) return true;

  if (now.size() == old.size() && old.size() >= kID3v1Size && common >= old.size() - kID3v1Size) {
    // Only the ID3v1 block changes: overwrite it where it is.
    const size_t at = old.size() - kID3v1Size;
    const uint64_t position = tail.Base + at;
    ChangeInPlace(
        [&](TFile& file) {
          file.Seek(position);
          file.Write(now.data() + at, kID3v1Size);
        },
        position, oldSpan.subspan(at), oldSize);
  } else if (common == old.size() && now.size() == old.size() + kID3v1Size) {
    // A new ID3v1 block behind everything else.
    ChangeInPlace(
        [&](TFile& file) {
          file.Seek(oldSize);
          file.Write(now.data() + common, kID3v1Size);
        },
        oldSize, {}, oldSize);
  } else if (common == now.size()) {
    // Blocks removed and nothing written: one truncation, which happens whole or not.
    ChangeInPlace([&](TFile& file) { file.Truncate(tail.Base + now.size()); }, tail.Base + common,
                  oldSpan.subspan(common), oldSize);
  } else {
    // Anything else (a Lyrics3 block written or resized) goes into a new copy of the
    // file, so that a failure at any point leaves the original as it was.
    RewriteFile(*FileSystem_, FileName_, {}, 0, tail.Base + common, nowSpan.subspan(common), status);
  }
  return true;
}

void TID3v1Tag::ChangeInPlace(const std::function<void(TFile&)>& change, uint64_t undoAt,
                              std::span<const uint8_t> undo, uint64_t oldSize) {
  auto file = FileSystem_->Open(FileName_, TOpenMode::ReadWrite);
  try {
    change(*file);
    // Closing can report a delayed write error: the change is only done when it is not.
    auto closing = std::move(file);
    closing->Close();
  } catch (...) {
    // Back to the old bytes and the old size, through a new handle when the failure
    // took the old one away.
    try {
      if (!file) file = FileSystem_->Open(FileName_, TOpenMode::ReadWrite);
      if (!undo.empty()) {
        file->Seek(undoAt);
        file->Write(undo.data(), undo.size());
      }
      file->Truncate(oldSize);
      file->Close();
    } catch (const ETagError&) {
      // A device that fails every write cannot be undone; the caller still learns of
      // the first failure, which is what went wrong.
    }
    throw;
  }
}

}  // namespace tags
