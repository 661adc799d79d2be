#pragma once
// Typed access to the text-information frames: one property per frame kind, each a
// fixed pairing of kind and write form.

#include <span>
#include <string>
#include <string_view>

#include "id3persistent.h"

namespace tags {

// How a property stores its text.
enum class TTextForm {
  Encoded,    // encoding byte = the tag's Encoding, then the text in it
  ByteText,   // encoding byte 0, then the text in the single-byte code page
  Integer,    // byte text that must be a 32-bit signed decimal integer
  TimeStamp,  // byte text that must be a date, or a date and a time
};

// X(property name, frame kind, form, characters kept (0 = all), restricted by version)
#define SONIVEX_TEXT_FRAME_PROPERTIES(X) \
  X(Album, fiAlbum, Encoded, 0, false) \
  X(AlbumArtist, fiAlbumArtist, Encoded, 0, false) \
  X(AlbumSortOrder, fiAlbumSortOrder, Encoded, 0, true) \
  X(Artist, fiArtist, Encoded, 0, false) \
  X(ArtistSortOrder, fiArtistSortOrder, Encoded, 0, true) \
  X(BPM, fiBPM, Integer, 0, false) \
  X(Composer, fiComposer, Encoded, 0, false) \
  X(Conductor, fiConductor, Encoded, 0, false) \
  X(ContentGroup, fiContentGroup, Encoded, 0, false) \
  X(Copyright, fiCopyright, Encoded, 0, false) \
  X(Date, fiDate, Integer, 4, true) \
  X(Disk, fiDisk, ByteText, 0, false) \
  X(EncodedBy, fiEncodedBy, Encoded, 0, false) \
  X(EncoderSettings, fiEncoderSettings, Encoded, 0, false) \
  X(EncodingTime, fiEncodingTime, TimeStamp, 0, true) \
  X(FileOwner, fiFileOwner, Encoded, 0, false) \
  X(FileType, fiFileType, Encoded, 0, false) \
  X(Genre, fiGenre, Encoded, 0, false) \
  X(InitialKey, fiInitialKey, ByteText, 3, false) \
  X(ISRC, fiISRC, ByteText, 12, false) \
  X(Language, fiLanguage, Encoded, 0, false) \
  X(LengthTrack, fiLength, Integer, 0, false) \
  X(Lyricist, fiLyricist, Encoded, 0, false) \
  X(MediaType, fiMediaType, Encoded, 0, false) \
  X(Mood, fiMood, Encoded, 0, true) \
  X(OriginalAlbum, fiOriginalAlbum, Encoded, 0, false) \
  X(OriginalArtist, fiOriginalArtist, Encoded, 0, false) \
  X(OriginalFileName, fiOriginalFileName, Encoded, 0, false) \
  X(OriginalLyricist, fiOriginalLyricist, Encoded, 0, false) \
  X(OriginalReleaseTime, fiOriginalReleaseTime, TimeStamp, 0, true) \
  X(OriginalReleaseYear, fiOriginalReleaseYear, Integer, 4, true) \
  X(PartOfCompilation, fiPartOfCompilation, Integer, 0, false) \
  X(PlaylistDelay, fiPlaylistDelay, Integer, 0, false) \
  X(ProducedNotice, fiProducedNotice, Encoded, 0, false) \
  X(Publisher, fiPublisher, Encoded, 0, false) \
  X(RadioStationName, fiRadioStationName, Encoded, 0, false) \
  X(RadioStationOwner, fiRadioStationOwner, Encoded, 0, false) \
  X(RecordingDates, fiRecordingDates, Encoded, 0, true) \
  X(RecordingTime, fiRecordingTime, TimeStamp, 0, true) \
  X(ReleaseTime, fiReleaseTime, TimeStamp, 0, true) \
  X(RemixArtist, fiRemixArtist, Encoded, 0, false) \
  X(SetSubtitle, fiSetSubtitle, Encoded, 0, true) \
  X(Size, fiSize, Integer, 0, true) \
  X(Subtitle, fiSubtitle, Encoded, 0, false) \
  X(TaggingTime, fiTaggingTime, TimeStamp, 0, true) \
  X(Time, fiTime, Integer, 4, true) \
  X(Title, fiTitle, Encoded, 0, false) \
  X(TitleSortOrder, fiTitleSortOrder, Encoded, 0, true) \
  X(Track, fiTrack, ByteText, 0, false) \
  X(Year, fiYear, Integer, 4, true)

struct TTextFrameProperty {
  const char* Name;
  TID3v2FrameID Kind;
  TTextForm Form;
  int Cut;          // the text is cut to this many characters first (0: not cut)
  bool Restricted;  // only written when the version to save can carry the kind
};

// Every property in the order of the list above; scripts address them by name.
std::span<const TTextFrameProperty> TextFrameProperties();
const TTextFrameProperty* FindTextFrameProperty(std::string_view name);

class TID3v2TextFrames : public TID3Persistent {
 public:
  using TID3Persistent::TID3Persistent;

  // The text of the first frame of the kind (trailing blanks and controls removed);
  // empty while the tag is inactive.
  std::u16string GetText(TID3v2FrameID kind) const;
  // Writes through the property's form and version rule. False, with a message for
  // the user, when the engine refuses the value; the frames are then unchanged.
  bool Set(const TTextFrameProperty& property, std::u16string_view text);
  std::u16string Get(const TTextFrameProperty& property) const { return GetText(property.Kind); }

  // The four write forms, by kind. Empty text deletes the first frame of the kind.
  void SetEncodedText(TID3v2FrameID kind, std::u16string_view text);
  void SetByteText(TID3v2FrameID kind, std::u16string_view text);
  bool SetInteger(TID3v2FrameID kind, std::u16string_view text);
  bool SetTimeStamp(TID3v2FrameID kind, std::u16string_view text);
  // Deletes every frame of a kind the version to save cannot carry; true when it can.
  bool CheckFrameVersion(TID3v2FrameID kind);

#define SONIVEX_DECLARE_TEXT_PROPERTY(name, kind, form, cut, restricted) \
  std::u16string name() const { return GetText(kind); }                 \
  void Set##name(std::u16string_view text) { Set(k##name, text); }
  SONIVEX_TEXT_FRAME_PROPERTIES(SONIVEX_DECLARE_TEXT_PROPERTY)
#undef SONIVEX_DECLARE_TEXT_PROPERTY

 private:
#define SONIVEX_DECLARE_TEXT_PROPERTY_ROW(name, kind, form, cut, restricted) \
  static constexpr TTextFrameProperty k##name{#name, kind, TTextForm::form, cut, restricted};
  SONIVEX_TEXT_FRAME_PROPERTIES(SONIVEX_DECLARE_TEXT_PROPERTY_ROW)
#undef SONIVEX_DECLARE_TEXT_PROPERTY_ROW
};

// Whether the text is a 32-bit signed decimal integer (optional sign, digits only).
bool IsValidInteger(std::u16string_view text);
// Whether the text is yyyy-MM-dd, optionally followed by a blank or "T" and HH:mm or
// HH:mm:ss (2.4 writes "T"; the editor's own form is the blank). yyyy and yyyy-MM are
// accepted as their first day.
bool IsValidTimeStamp(std::u16string_view text);

}  // namespace tags
