#pragma once
// The 128-byte ID3v1 tag at the end of an MP3 file (versions 1.0 and 1.1) and the
// Lyrics3 v2 block in front of it: read them (Open), change the fields in memory, write
// them back (Commit) or remove them (Erase).
//
// Commit and Erase work out the new end of the file in memory first and then change the
// file in one step that either completes or leaves the file as it was: a 128-byte
// overwrite or append in place (undone on failure), a single truncation, or a new copy
// of the file renamed over the original. Failures reach the caller as ETagError.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fileio.h"
#include "lyrics3tag.h"
#include "memorystream.h"
#include "tagerror.h"

namespace tags {

// The same notification as the ID3v2 tag's: the sender is the tag object.
using TNotifyEvent = std::function<void(void* sender)>;

inline constexpr size_t kID3v1Size = 128;

class TID3v1Tag : public TComponent {
 public:
  // `fileSystem` defaults to the operating system's.
  explicit TID3v1Tag(TFileSystem* fileSystem = nullptr);
  virtual ~TID3v1Tag() = default;
  TID3v1Tag(const TID3v1Tag&) = delete;
  TID3v1Tag& operator=(const TID3v1Tag&) = delete;

  TFileSystem& FileSystem() const { return *FileSystem_; }
  void SetFileSystem(TFileSystem* fileSystem) { FileSystem_ = fileSystem ? fileSystem : &SystemFileSystem(); }

  const std::string& FileName() const { return FileName_; }
  // A different name clears every field (the Lyrics3 data too); Active keeps its value
  // and nothing is read until Open.
  void SetFileName(const std::string& fileName);

  bool Active() const { return Active_; }
  // For a missing file Active becomes false and nothing else happens.
  void SetActive(bool active);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  // Both do nothing unless the tag is active. With EditLyrics they also write or remove
  // the Lyrics3 block.
  void Commit();
  void Erase();

  // Single-byte text in the engine's code page; the caller converts (textcodec.h).
  // Stored as given; Commit writes at most the slot's width.
  const std::string& Title() const { return Title_; }
  void SetTitle(std::string value) { Title_ = std::move(value); }
  const std::string& Artist() const { return Artist_; }
  void SetArtist(std::string value) { Artist_ = std::move(value); }
  const std::string& Album() const { return Album_; }
  void SetAlbum(std::string value) { Album_ = std::move(value); }
  const std::string& Year() const { return Year_; }
  void SetYear(std::string value) { Year_ = std::move(value); }
  // 30 bytes, or 28 when a track number is written.
  const std::string& Comment() const { return Comment_; }
  void SetComment(std::string value) { Comment_ = std::move(value); }
  // 0: none.
  uint8_t Track() const { return Track_; }
  void SetTrack(uint8_t value) { Track_ = value; }
  // 255: none; 0-147 have names.
  uint8_t Genre() const { return Genre_; }
  void SetGenre(uint8_t value) { Genre_ = value; }
  // The name of Genre, empty outside 0-147. Setting looks the name up regardless of
  // case; an unknown name leaves Genre as it is.
  std::u16string GenreAsString() const;
  void SetGenreAsString(std::u16string_view name);
  // The 148 genre names in number order.
  const std::vector<std::u16string>& GenreList() const;

  // "1.0" or "1.1" for a tag that was read; empty when inactive or none was found.
  std::string Version() const;
  // Whether the last read found a tag. Commit does not change it.
  bool Exists() const { return Exists_; }

  bool EditLyrics() const { return EditLyrics_; }
  void SetEditLyrics(bool value) { EditLyrics_ = value; }
  TLyrics3v2Tag& Lyrics() { return Lyrics_; }
  const TLyrics3v2Tag& Lyrics() const { return Lyrics_; }

  const TNotifyEvent& OnFileOpen() const { return OnFileOpen_; }
  void SetOnFileOpen(TNotifyEvent e) { OnFileOpen_ = std::move(e); }
  const TNotifyEvent& OnFileClose() const { return OnFileClose_; }
  void SetOnFileClose(TNotifyEvent e) { OnFileClose_ = std::move(e); }
  const TNotifyEvent& OnReadTag() const { return OnReadTag_; }
  void SetOnReadTag(TNotifyEvent e) { OnReadTag_ = std::move(e); }
  const TNotifyEvent& OnWriteTag() const { return OnWriteTag_; }
  void SetOnWriteTag(TNotifyEvent e) { OnWriteTag_ = std::move(e); }
  const TNotifyEvent& OnEraseTag() const { return OnEraseTag_; }
  void SetOnEraseTag(TNotifyEvent e) { OnEraseTag_ = std::move(e); }

 protected:
  // The end of the file as Commit or Erase will leave it: the file's bytes from `Base`
  // on as they are now (`Old`) and as they are planned (`Bytes`). The steps below edit
  // `Bytes` only; nothing reaches the file until all of them have run.
  struct TFileTail {
    uint64_t Base = 0;
    TBytes Old;
    TBytes Bytes;
    // What the file holds now, measured when the tail was read, not taken from the last
    // Open: a second Commit without a new Open, or a file changed meanwhile, must not
    // leave an old block in place or cut away what is no block.
    bool TagFound = false;
    bool LyricsFound = false;
    // The whole Lyrics3 block: its six-digit size plus 15.
    uint64_t LyricsLength = 0;

    uint64_t Size() const { return Base + Bytes.size(); }
    // Whether `marker` stands `fromEnd` bytes before the planned end.
    bool HasAt(uint64_t fromEnd, std::string_view marker) const;
    void Cut(uint64_t count) { Bytes.resize(Bytes.size() - size_t(count)); }
    void Append(std::span<const uint8_t> bytes) { Bytes.insert(Bytes.end(), bytes.begin(), bytes.end()); }
  };

  // Clears every field and the Lyrics3 data; Active false.
  virtual void DoClose();
  virtual void DoOpen();
  // Plans the removal of the Lyrics3 block (and of the ID3v1 block behind it).
  virtual void DoEraseLyrics(TFileTail& tail);
  // Plans the removal of the ID3v1 block at the planned end.
  virtual void DoEraseTag(TFileTail& tail);
  // Plans the Lyrics3 block from the fields in place of the old one; false when the
  // fields cannot be written (the message has been shown), and nothing may change.
  virtual bool DoWriteLyrics(TFileTail& tail);
  // Plans the 128-byte block at the planned end: over an ID3v1 block there, else after it.
  virtual void DoWriteTag(TFileTail& tail);

 private:
  void ClearFields();
  TBytes BuildBlock() const;
  // Reads what the file ends with now; false when the file is gone.
  bool ReadTail(TFileTail& tail);
  // Makes the file hold `tail.Bytes` from `tail.Base` on, in one step that completes or
  // leaves the file as it was; false when the file is gone.
  bool ApplyTail(const TFileTail& tail);
  // Changes the file in place through one handle; on any failure puts `undo` back at
  // `undoAt`, cuts the file to `oldSize` and rethrows.
  void ChangeInPlace(const std::function<void(TFile&)>& change, uint64_t undoAt, std::span<const uint8_t> undo,
                     uint64_t oldSize);

  TFileSystem* FileSystem_;
  std::string FileName_;
  bool Active_ = false;
  std::string Title_, Artist_, Album_, Year_, Comment_;
  uint8_t Track_ = 0;
  uint8_t Genre_ = 255;
  // The tag read had no track byte (1.0).
  bool Version10_ = false;
  bool Exists_ = false;
  bool EditLyrics_ = false;
  TLyrics3v2Tag Lyrics_{this};

  TNotifyEvent OnFileOpen_, OnFileClose_, OnReadTag_, OnWriteTag_, OnEraseTag_;
};

}  // namespace tags
