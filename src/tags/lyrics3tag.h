#pragma once
// The Lyrics3 v2 block that sits in front of the ID3v1 tag: its fields as an ordered
// list, one text property per known field, and the block's byte format. Where the block
// lies in the file, and when it is read, removed or written, is the ID3v1 tag's business
// (id3v1tag.h); this file knows only what is inside it.
//
// Block: "LYRICSBEGIN", fields (3 letters A-Z, 5 decimal digits of data size, data),
// 6 decimal digits counting the bytes from "LYRICSBEGIN" to the end of the last field,
// "LYRICS200". Texts are single-byte text in the engine's code page (textcodec.h).

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "memorystream.h"
#include "tagerror.h"

namespace tags {

class TID3v1Tag;
class TLyrics3v2Fields;
class TLyrics3v2Tag;

enum TLyrics3v2FieldID : uint8_t {
  lfUnknown,
  lfIndications,
  lfLyricsText,
  lfInformation,
  lfAuthorName,
  lfAlbumName,
  lfArtistName,
  lfTrackTitle,
  lfImageLink,
};

// The largest data a field can carry: its size has five digits.
inline constexpr size_t kLyrics3MaxFieldSize = 99999;
// The largest size the block's six digits can state.
inline constexpr size_t kLyrics3MaxBlockSize = 999999;

// "IND", "LYR", ...; empty for lfUnknown.
std::string_view Lyrics3FieldLetters(TLyrics3v2FieldID id);
// "Lyrics multi line text", ...; "Unknown field" for lfUnknown.
const char* Lyrics3FieldDescription(TLyrics3v2FieldID id);
// lfUnknown when the letters are no known field's.
TLyrics3v2FieldID Lyrics3FieldIDOf(std::string_view letters);

class TLyrics3v2Field {
 public:
  explicit TLyrics3v2Field(TLyrics3v2Fields* collection) : Collection_(collection) {}
  TLyrics3v2Field(const TLyrics3v2Field&) = delete;
  TLyrics3v2Field& operator=(const TLyrics3v2Field&) = delete;

  TLyrics3v2Fields* Collection() const { return Collection_; }
  int Index() const;

  TMemoryStream& Data() { return Data_; }
  const TMemoryStream& Data() const { return Data_; }
  // Replaces the content with a copy of the stream's bytes.
  void SetData(const TMemoryStream& data) { Data_.Assign(data.Bytes()); }
  void SetData(TBytes data) { Data_.Assign(std::move(data)); }

  TLyrics3v2FieldID FieldID() const { return FieldID_; }
  // Also sets the letters (three zero bytes for lfUnknown).
  void SetFieldID(TLyrics3v2FieldID id);

  // The letters up to the first zero byte.
  std::string Name() const;
  const std::array<char, 3>& Letters() const { return Letters_; }
  // Takes exactly three characters (any other length keeps the letters); the kind is
  // then looked up from the letters either way.
  void SetName(std::string_view name);

  size_t Size() const { return Data_.Size(); }
  // The data size the field's header stated when it was loaded from a block.
  uint32_t SizeRead() const { return SizeRead_; }

  // The data up to the first zero byte.
  std::string Text() const;
  void SetText(std::string_view text);

  // Copies data, kind, letters and the size read.
  void Assign(const TLyrics3v2Field& source);
  // "LYR - Lyrics multi line text"; the class name when the field has no letters.
  std::string GetDisplayName() const;

 private:
  friend class TLyrics3v2Fields;

  TLyrics3v2Fields* Collection_;
  TLyrics3v2FieldID FieldID_ = lfUnknown;
  std::array<char, 3> Letters_{};
  TMemoryStream Data_;
  uint32_t SizeRead_ = 0;
};

class TLyrics3v2Fields {
 public:
  explicit TLyrics3v2Fields(TLyrics3v2Tag* mainOwner = nullptr) : MainOwner_(mainOwner) {}
  TLyrics3v2Fields(const TLyrics3v2Fields&) = delete;
  TLyrics3v2Fields& operator=(const TLyrics3v2Fields&) = delete;

  TLyrics3v2Tag* MainOwner() const { return MainOwner_; }
  int Count() const { return int(Items_.size()); }
  TLyrics3v2Field& Items(int index) { return *Items_.at(size_t(index)); }
  const TLyrics3v2Field& Items(int index) const { return *Items_.at(size_t(index)); }
  TLyrics3v2Field& operator[](int index) { return Items(index); }
  const TLyrics3v2Field& operator[](int index) const { return Items(index); }

  // Appends an empty lfUnknown field.
  TLyrics3v2Field& Add();
  void Delete(int index);
  void Clear() { Items_.clear(); }
  // Moves the field at `from` so that it stands at `to`.
  void Move(int from, int to);
  int IndexOf(const TLyrics3v2Field* field) const;
  // Replaces every field with a copy of the fields of `source`.
  void Assign(const TLyrics3v2Fields& source);

  // The first field whose three letters are exactly these, or nullptr.
  TLyrics3v2Field* GetField(std::string_view letters);
  const TLyrics3v2Field* GetField(std::string_view letters) const;
  // The first field of the kind, or nullptr.
  TLyrics3v2Field* GetFieldID(TLyrics3v2FieldID id);
  const TLyrics3v2Field* GetFieldID(TLyrics3v2FieldID id) const;

  // Loads the field area (the bytes between "LYRICSBEGIN" and the six size digits) from
  // the start of the stream; returns the number of fields.
  int LoadFromStream(TMemoryStream& stream);
  // Writes the whole block at the stream's position and drops empty fields from the
  // list; returns the number of fields before that. 0: nothing was written, as an empty
  // list writes no block, and neither does a lone indications field of an active tag
  // (which is deleted). A field or block too large for its digits is refused with a
  // message: then nothing is written, the list is left as it is, and the result is -1.
  int SaveToStream(TMemoryStream& stream);

 private:
  // Whether the tag that owns the list belongs to an active ID3v1 tag.
  bool OwnerActive() const;
  const TComponent* MessageSource() const;

  TLyrics3v2Tag* MainOwner_;
  std::vector<std::unique_ptr<TLyrics3v2Field>> Items_;
};

class TLyrics3v2Tag : public TComponent {
 public:
  explicit TLyrics3v2Tag(TID3v1Tag* owner = nullptr) : Owner_(owner) {}
  TLyrics3v2Tag(const TLyrics3v2Tag&) = delete;
  TLyrics3v2Tag& operator=(const TLyrics3v2Tag&) = delete;

  TID3v1Tag* Owner() const { return Owner_; }
  // The properties read and write only while the owning ID3v1 tag is active.
  bool Active() const;

  TLyrics3v2Fields& Fields() { return Fields_; }
  const TLyrics3v2Fields& Fields() const { return Fields_; }
  void SetFields(const TLyrics3v2Fields& fields) { Fields_.Assign(fields); }

  // Whether the last read of the owning tag found a block, and the size its six digits
  // gave (0 when none). Set by the owning tag only.
  bool Exists() const { return Exists_; }
  int32_t Size() const { return Size_; }

  // The text of the first field of each kind. Setting cuts the text to what the field
  // may hold, moves an indications field to the front, and creates the field at the
  // end of the list (or deletes it, for an empty text).
  std::string Indications() const { return GetText(lfIndications); }
  void SetIndications(std::string_view text) { SetText(lfIndications, text); }
  std::string LyricsText() const { return GetText(lfLyricsText); }
  // Also records in the indications whether there are lyrics (their first character).
  void SetLyricsText(std::string_view text);
  std::string Information() const { return GetText(lfInformation); }
  void SetInformation(std::string_view text) { SetText(lfInformation, text); }
  std::string AuthorName() const { return GetText(lfAuthorName); }
  void SetAuthorName(std::string_view text) { SetText(lfAuthorName, text); }
  std::string AlbumName() const { return GetText(lfAlbumName); }
  void SetAlbumName(std::string_view text) { SetText(lfAlbumName, text); }
  std::string ArtistName() const { return GetText(lfArtistName); }
  void SetArtistName(std::string_view text) { SetText(lfArtistName, text); }
  std::string TrackTitle() const { return GetText(lfTrackTitle); }
  void SetTrackTitle(std::string_view text) { SetText(lfTrackTitle, text); }
  std::string ImageLink() const { return GetText(lfImageLink); }
  void SetImageLink(std::string_view text) { SetText(lfImageLink, text); }

  // No block: Exists false, Size 0, no fields.
  void Reset();

 private:
  friend class TID3v1Tag;

  std::string GetText(TLyrics3v2FieldID id) const;
  void SetText(TLyrics3v2FieldID id, std::string_view text);

  TID3v1Tag* Owner_;
  TLyrics3v2Fields Fields_{this};
  bool Exists_ = false;
  int32_t Size_ = 0;
};

}  // namespace tags
