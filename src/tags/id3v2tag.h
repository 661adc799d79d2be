#pragma once
// The ID3v2 tag at the start of an MP3 file: read it (Open), change its frames in
// memory, write it back (Commit) in place or through a new copy of the file, or remove
// it (Erase). Everything after the tag region is carried over byte for byte.

#include <functional>
#include <string>

#include <vector>

#include "comments.h"
#include "fileio.h"
#include "id3v2frame.h"
#include "id3v2header.h"
#include "pictures.h"
#include "popularimeter.h"
#include "tagerror.h"
#include "textframes.h"
#include "usertext.h"
#include "webframes.h"

namespace tags {

using TNotifyEvent = std::function<void(void* sender)>;
using TID3v2FrameNotify = std::function<void(TID3v2Frame* frame, TMemoryStream& stream)>;

// The padding of a tag that grows from `oldSize` to `newSize` (new >= old) bytes: the
// region grows by about half, at least 2048 bytes, and ends on a 2048-byte boundary.
uint32_t CalcPadding(uint32_t oldSize, uint32_t newSize);

// The largest tag region a 4-byte sync-safe size can describe.
inline constexpr uint32_t kMaxTagSize = 268435455;

class TID3v2Tag : public TComponent {
 public:
  // `fileSystem` defaults to the operating system's.
  explicit TID3v2Tag(TFileSystem* fileSystem = nullptr);
  virtual ~TID3v2Tag() = default;
  TID3v2Tag(const TID3v2Tag&) = delete;
  TID3v2Tag& operator=(const TID3v2Tag&) = delete;

  TFileSystem& FileSystem() const { return *FileSystem_; }
  void SetFileSystem(TFileSystem* fileSystem) { FileSystem_ = fileSystem ? fileSystem : &SystemFileSystem(); }

  const std::string& FileName() const { return FileName_; }
  // A different name forgets everything read; nothing is read until Open.
  void SetFileName(const std::string& fileName);

  bool Active() const { return Active_; }
  void SetActive(bool active);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  // Both do nothing unless the tag is active.
  void Commit();
  void Erase();

  TID3v2Header& Header() { return Header_; }
  const TID3v2Header& Header() const { return Header_; }
  TID3v2ExtendedHeader& ExtendedHeader() { return ExtendedHeader_; }
  const TID3v2ExtendedHeader& ExtendedHeader() const { return ExtendedHeader_; }
  TID3v2Frames& Frames() { return Frames_; }
  const TID3v2Frames& Frames() const { return Frames_; }
  void SetFrames(const TID3v2Frames& frames) { Frames_.Assign(frames); }
  int CountFrames(TID3v2FrameID id) const;

  TID3v2VersionToSave VersionToSave() const { return VersionToSave_; }
  void SetVersionToSave(TID3v2VersionToSave version);
  TID3v2Encoding Encoding() const { return Encoding_; }
  void SetEncoding(TID3v2Encoding encoding);
  int Padding() const { return Padding_; }
  void SetPadding(int padding);

  uint32_t TagSize() const;
  std::string Version() const;

  // Typed access to the frames; each reads and writes the frame list of this tag.
  TID3v2TextFrames& TextFrames() { return TextFrames_; }
  const TID3v2TextFrames& TextFrames() const { return TextFrames_; }
  TID3v2WebFrames& WebFrames() { return WebFrames_; }
  const TID3v2WebFrames& WebFrames() const { return WebFrames_; }
  TID3v2UserText& UserText() { return UserText_; }
  const TID3v2UserText& UserText() const { return UserText_; }
  TID3v2UserURL& UserURL() { return UserURL_; }
  const TID3v2UserURL& UserURL() const { return UserURL_; }
  TID3v2Comments& Comments() { return Comments_; }
  const TID3v2Comments& Comments() const { return Comments_; }
  TID3v2UnsychronizedLyrics& UnsychronizedLyrics() { return UnsychronizedLyrics_; }
  const TID3v2UnsychronizedLyrics& UnsychronizedLyrics() const { return UnsychronizedLyrics_; }
  TID3v2Pictures& Pictures() { return Pictures_; }
  const TID3v2Pictures& Pictures() const { return Pictures_; }
  TID3v2Popularimeter& Popularimeter() { return Popularimeter_; }
  const TID3v2Popularimeter& Popularimeter() const { return Popularimeter_; }
  TID3v2TermsOfUse& TermsOfUse() { return TermsOfUse_; }
  const TID3v2TermsOfUse& TermsOfUse() const { return TermsOfUse_; }

  // The first four bytes of the first PCNT frame, big-endian; 0 deletes that frame.
  uint32_t PlayCounter() const;
  void SetPlayCounter(uint32_t value);

  // The 148 ID3v1 genre names in table order, offered for Genre.
  const std::vector<std::u16string>& GenreList() const;
  // "", then A, Am, Ab, Abm, A#, A#m, B, ... G#m, and "o" (off key): 44 entries.
  const std::vector<std::u16string>& InitialKeyList() const;
  // Empty outside 1..43.
  std::u16string IndexToInitialKey(int index) const;
  // Case-sensitive; 0 when the key is not in the list.
  int InitialKeyToIndex(std::u16string_view key) const;

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
  const TID3v2FrameNotify& OnFrameCompress() const { return OnFrameCompress_; }
  void SetOnFrameCompress(TID3v2FrameNotify e) { OnFrameCompress_ = std::move(e); }
  const TID3v2FrameNotify& OnFrameDecompress() const { return OnFrameDecompress_; }
  void SetOnFrameDecompress(TID3v2FrameNotify e) { OnFrameDecompress_ = std::move(e); }

 protected:
  virtual void DoClose();
  virtual void DoOpen();
  virtual void DoEraseTag();
  virtual void DoWriteTag();

 private:
  void Reset();
  // Makes the file writable by its owner, as writing needs; returns its status then.
  TFileStatus ResetAttributes();
  // The size of the tag region the file holds now, footer included, read through
  // `file` (at offset 0) and at most `fileSize`, the size from the file's status.
  uint32_t TagRegionOnDisk(TFile& file, uint64_t fileSize);
  // Writes `tag` at offset 0 through `file`, opened for writing, and closes it.
  void OverwriteInPlace(TFile& file, const TMemoryStream& tag);
  // Writes `tag` and the file from `keepFrom` on into a new file beside the original,
  // then renames it over the original; the original is untouched on any failure.
  void ReplaceFile(const TMemoryStream& tag, uint64_t keepFrom, const TFileStatus& status);

  TFileSystem* FileSystem_;
  std::string FileName_;
  bool Active_ = false;
  TID3v2Header Header_{this};
  TID3v2ExtendedHeader ExtendedHeader_{this};
  TID3v2Frames Frames_{this};
  TID3v2VersionToSave VersionToSave_ = ive2_3;
  TID3v2Encoding Encoding_ = ienISO_8859_1;
  int Padding_ = 0;
  // The tag region of the last Open, kept for the next one (see DoOpen).
  TBytes ReadBuffer_;
  TID3v2TextFrames TextFrames_{this};
  TID3v2WebFrames WebFrames_{this};
  TID3v2UserText UserText_{this};
  TID3v2UserURL UserURL_{this};
  TID3v2Comments Comments_{this};
  TID3v2UnsychronizedLyrics UnsychronizedLyrics_{this};
  TID3v2Pictures Pictures_{this};
  TID3v2Popularimeter Popularimeter_{this};
  TID3v2TermsOfUse TermsOfUse_{this};

  TNotifyEvent OnFileOpen_, OnFileClose_, OnReadTag_, OnWriteTag_, OnEraseTag_;
  TID3v2FrameNotify OnFrameCompress_, OnFrameDecompress_;
};

}  // namespace tags
