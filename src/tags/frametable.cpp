#include "frametable.h"

#include <cstring>
#include <iterator>

namespace tags {
namespace {

constexpr uint8_t kIn22 = 1 << ive2_2;
constexpr uint8_t kIn23 = 1 << ive2_3;
constexpr uint8_t kIn24 = 1 << ive2_4;

// Ordered by TID3v2FrameID; lookups by name take the first matching row.
constexpr TFrameTableRow kFrameTable[] = {
    {fiUnknown, nullptr, nullptr, 0, "Unknown frame"},
    {fiAudioEncryption, "CRA", "AENC", kIn22|kIn23|kIn24, "Audio encryption"},
    {fiAttachedPicture, "PIC", "APIC", kIn22|kIn23|kIn24, "Attached picture"},
    {fiAudioSeekPoint, nullptr, "ASPI", kIn24, "Audio seek point index"},
    {fiComments, "COM", "COMM", kIn22|kIn23|kIn24, "Comments"},
    {fiCommercial, nullptr, "COMR", kIn23|kIn24, "Commercial frame"},
    {fiEncryptRegistration, nullptr, "ENCR", kIn23|kIn24, "Encryption method registration"},
    {fiEqualisation2, nullptr, "EQU2", kIn24, "Equalisation (2)"},
    {fiEqualization, "EQU", "EQUA", kIn22|kIn23, "Equalization"},
    {fiEventTimingCodes, "ETC", "ETCO", kIn22|kIn23|kIn24, "Event timing codes"},
    {fiGeneralObject, "GEO", "GEOB", kIn22|kIn23|kIn24, "General encapsulated object"},
    {fiGroupIdRegistration, nullptr, "GRID", kIn23|kIn24, "Group identification registration"},
    {fiInvolvedPeople, "IPL", "IPLS", kIn22|kIn23, "Involved people list"},
    {fiLinkedInformation, "LNK", "LINK", kIn22|kIn23|kIn24, "Linked information"},
    {fiMusicCDId, "MCI", "MCDI", kIn22|kIn23|kIn24, "Music CD identifier"},
    {fiMPEGLocationTable, "MLL", "MLLT", kIn22|kIn23|kIn24, "MPEG location lookup table"},
    {fiOwnership, nullptr, "OWNE", kIn23|kIn24, "Ownership frame"},
    {fiPlayCounter, "CNT", "PCNT", kIn22|kIn23|kIn24, "Play counter"},
    {fiPopularimeter, "POP", "POPM", kIn22|kIn23|kIn24, "Popularimeter"},
    {fiPositionSynch, "POS", "POSS", kIn23|kIn24, "Position synchronisation frame"},
    {fiPrivate, nullptr, "PRIV", kIn23|kIn24, "Private frame"},
    {fiRecommendedBuffer, "BUF", "RBUF", kIn22|kIn23|kIn24, "Recommended buffer size"},
    {fiRelativeVolume2, nullptr, "RVA2", kIn24, "Relative volume adjustment (2)"},
    {fiRelativeVolume, "RVA", "RVAD", kIn22|kIn23, "Relative volume adjustment"},
    {fiReverb, "REV", "RVRB", kIn22|kIn23|kIn24, "Reverb"},
    {fiSeek, nullptr, "SEEK", kIn24, "Seek frame"},
    {fiSignature, nullptr, "SIGN", kIn24, "Signature frame"},
    {fiSynchronizedLyric, "SLT", "SYLT", kIn22|kIn23|kIn24, "Synchronized lyric/text"},
    {fiSynchronizedTempo, "STC", "SYTC", kIn22|kIn23|kIn24, "Synchronized tempo codes"},
    {fiAlbum, "TAL", "TALB", kIn22|kIn23|kIn24, "Album/Movie/Show title"},
    {fiBPM, "TBP", "TBPM", kIn22|kIn23|kIn24, "BPM (beats per minute)"},
    {fiComposer, "TCM", "TCOM", kIn22|kIn23|kIn24, "Composer"},
    {fiGenre, "TCO", "TCON", kIn22|kIn23|kIn24, "Content type"},
    {fiCopyright, "TCR", "TCOP", kIn22|kIn23|kIn24, "Copyright message"},
    {fiDate, "TDA", "TDAT", kIn22|kIn23, "Date"},
    {fiEncodingTime, nullptr, "TDEN", kIn24, "Encoding time"},
    {fiPlaylistDelay, "TDY", "TDLY", kIn22|kIn23|kIn24, "Playlist delay"},
    {fiOriginalReleaseTime, nullptr, "TDOR", kIn24, "Original release time"},
    {fiRecordingTime, nullptr, "TDRC", kIn24, "Recording time"},
    {fiReleaseTime, nullptr, "TDRL", kIn24, "Release time"},
    {fiTaggingTime, nullptr, "TDTG", kIn24, "Tagging time"},
    {fiEncodedBy, "TEN", "TENC", kIn22|kIn23|kIn24, "Encoded by"},
    {fiLyricist, "TXT", "TEXT", kIn22|kIn23|kIn24, "Lyricist/Text writer"},
    {fiFileType, "TFT", "TFLT", kIn22|kIn23|kIn24, "File type"},
    {fiTime, "TIM", "TIME", kIn22|kIn23, "Time"},
    {fiInvolvedPeople2, nullptr, "TIPL", kIn24, "Involved people list"},
    {fiContentGroup, "TT1", "TIT1", kIn22|kIn23|kIn24, "Content group description"},
    {fiTitle, "TT2", "TIT2", kIn22|kIn23|kIn24, "Title/songname/content description"},
    {fiSubtitle, "TT3", "TIT3", kIn22|kIn23|kIn24, "Subtitle/Description refinement"},
    {fiInitialKey, "TKE", "TKEY", kIn22|kIn23|kIn24, "Initial key"},
    {fiLanguage, "TLA", "TLAN", kIn22|kIn23|kIn24, "Language(s)"},
    {fiLength, "TLE", "TLEN", kIn22|kIn23|kIn24, "Length"},
    {fiMusicianCredits, nullptr, "TMCL", kIn24, "Musician credits list"},
    {fiMediaType, "TMT", "TMED", kIn22|kIn23|kIn24, "Media type"},
    {fiMood, nullptr, "TMOO", kIn24, "Mood"},
    {fiOriginalAlbum, "TOT", "TOAL", kIn22|kIn23|kIn24, "Original album/movie/show title"},
    {fiOriginalFileName, "TOF", "TOFN", kIn22|kIn23|kIn24, "Original file name"},
    {fiOriginalLyricist, "TOL", "TOLY", kIn22|kIn23|kIn24, "Original lyricist(s)/text writer(s)"},
    {fiOriginalArtist, "TOA", "TOPE", kIn22|kIn23|kIn24, "Original artist(s)/performer(s)"},
    {fiOriginalReleaseYear, "TOR", "TORY", kIn22|kIn23, "Original release year"},
    {fiFileOwner, nullptr, "TOWN", kIn23|kIn24, "File owner/licensee"},
    {fiArtist, "TP1", "TPE1", kIn22|kIn23|kIn24, "Lead performer(s)/Soloist(s)"},
    {fiAlbumArtist, "TP2", "TPE2", kIn22|kIn23|kIn24, "Band/orchestra/accompaniment"},
    {fiConductor, "TP3", "TPE3", kIn22|kIn23|kIn24, "Conductor/performer refinement"},
    {fiRemixArtist, "TP4", "TPE4", kIn22|kIn23|kIn24, "Interpreted, remixed, or otherwise modified by"},
    {fiDisk, "TPA", "TPOS", kIn22|kIn23|kIn24, "Part of a set"},
    {fiProducedNotice, nullptr, "TPRO", kIn24, "Produced notice"},
    {fiPublisher, "TPB", "TPUB", kIn22|kIn23|kIn24, "Publisher"},
    {fiTrack, "TRK", "TRCK", kIn22|kIn23|kIn24, "Track number/Position in set"},
    {fiRecordingDates, "TRD", "TRDA", kIn22|kIn23, "Recording dates"},
    {fiRadioStationName, "TRN", "TRSN", kIn23|kIn24, "Internet radio station name"},
    {fiRadioStationOwner, "TRO", "TRSO", kIn23|kIn24, "Internet radio station owner"},
    {fiSize, "TSI", "TSIZ", kIn22|kIn23, "Size"},
    {fiAlbumSortOrder, nullptr, "TSOA", kIn24, "Album sort order"},
    {fiArtistSortOrder, nullptr, "TSOP", kIn24, "Performer sort order"},
    {fiTitleSortOrder, nullptr, "TSOT", kIn24, "Title sort order"},
    {fiISRC, "TRC", "TSRC", kIn22|kIn23|kIn24, "ISRC (international standard recording code)"},
    {fiEncoderSettings, "TSS", "TSSE", kIn22|kIn23|kIn24, "Software/Hardware and settings used for encoding"},
    {fiSetSubtitle, nullptr, "TSST", kIn24, "Set subtitle"},
    {fiUserText, "TXX", "TXXX", kIn22|kIn23|kIn24, "User defined text information frame"},
    {fiYear, "TYE", "TYER", kIn22|kIn23, "Year"},
    {fiUniqueFileId, "UFI", "UFID", kIn22|kIn23|kIn24, "Unique file identifier"},
    {fiTermsOfUse, nullptr, "USER", kIn23|kIn24, "Terms of use"},
    {fiUnsychronizedLyric, "ULT", "USLT", kIn22|kIn23|kIn24, "Unsychronized lyric/text transcription"},
    {fiWWWCommercialInfo, "WCM", "WCOM", kIn22|kIn23|kIn24, "Commercial information"},
    {fiWWWCopyright, "WCP", "WCOP", kIn22|kIn23|kIn24, "Copyright/Legal information"},
    {fiWWWAudioFile, "WAF", "WOAF", kIn22|kIn23|kIn24, "Official audio file webpage"},
    {fiWWWArtist, "WAR", "WOAR", kIn22|kIn23|kIn24, "Official artist/performer webpage"},
    {fiWWWAudioSource, "WAS", "WOAS", kIn22|kIn23|kIn24, "Official audio source webpage"},
    {fiWWWRadioStation, "WRA", "WORS", kIn23|kIn24, "Official internet radio station homepage"},
    {fiWWWPayment, "WPY", "WPAY", kIn23|kIn24, "Payment"},
    {fiWWWPublisher, "WPB", "WPUB", kIn22|kIn23|kIn24, "Publishers official webpage"},
    {fiWWWUser, "WXX", "WXXX", kIn22|kIn23|kIn24, "User defined URL link frame"},
    {fiPartOfCompilation, "TCP", "TCMP", kIn22|kIn23|kIn24, "Part of a compilation (iTunes)"},
    {fiMetaEncrypted, "CRM", nullptr, kIn22, "Encrypted meta frame"},
    {fiMetaCompressed, "CDM", nullptr, 0, "Compressed meta frame"},};
static_assert(std::size(kFrameTable) == kFrameIDCount);

constexpr bool TableIsInOrder() {
  for (int i = 0; i < kFrameIDCount; ++i)
    if (int(kFrameTable[i].ID) != i) return false;
  return true;
}
static_assert(TableIsInOrder());

constexpr const char* kFrameIDNames[] = {
    "fiUnknown",
    "fiAudioEncryption",
    "fiAttachedPicture",
    "fiAudioSeekPoint",
    "fiComments",
    "fiCommercial",
    "fiEncryptRegistration",
    "fiEqualisation2",
    "fiEqualization",
    "fiEventTimingCodes",
    "fiGeneralObject",
    "fiGroupIdRegistration",
    "fiInvolvedPeople",
    "fiLinkedInformation",
    "fiMusicCDId",
    "fiMPEGLocationTable",
    "fiOwnership",
    "fiPlayCounter",
    "fiPopularimeter",
    "fiPositionSynch",
    "fiPrivate",
    "fiRecommendedBuffer",
    "fiRelativeVolume2",
    "fiRelativeVolume",
    "fiReverb",
    "fiSeek",
    "fiSignature",
    "fiSynchronizedLyric",
    "fiSynchronizedTempo",
    "fiAlbum",
    "fiBPM",
    "fiComposer",
    "fiGenre",
    "fiCopyright",
    "fiDate",
    "fiEncodingTime",
    "fiPlaylistDelay",
    "fiOriginalReleaseTime",
    "fiRecordingTime",
    "fiReleaseTime",
    "fiTaggingTime",
    "fiEncodedBy",
    "fiLyricist",
    "fiFileType",
    "fiTime",
    "fiInvolvedPeople2",
    "fiContentGroup",
    "fiTitle",
    "fiSubtitle",
    "fiInitialKey",
    "fiLanguage",
    "fiLength",
    "fiMusicianCredits",
    "fiMediaType",
    "fiMood",
    "fiOriginalAlbum",
    "fiOriginalFileName",
    "fiOriginalLyricist",
    "fiOriginalArtist",
    "fiOriginalReleaseYear",
    "fiFileOwner",
    "fiArtist",
    "fiAlbumArtist",
    "fiConductor",
    "fiRemixArtist",
    "fiDisk",
    "fiProducedNotice",
    "fiPublisher",
    "fiTrack",
    "fiRecordingDates",
    "fiRadioStationName",
    "fiRadioStationOwner",
    "fiSize",
    "fiAlbumSortOrder",
    "fiArtistSortOrder",
    "fiTitleSortOrder",
    "fiISRC",
    "fiEncoderSettings",
    "fiSetSubtitle",
    "fiUserText",
    "fiYear",
    "fiUniqueFileId",
    "fiTermsOfUse",
    "fiUnsychronizedLyric",
    "fiWWWCommercialInfo",
    "fiWWWCopyright",
    "fiWWWAudioFile",
    "fiWWWArtist",
    "fiWWWAudioSource",
    "fiWWWRadioStation",
    "fiWWWPayment",
    "fiWWWPublisher",
    "fiWWWUser",
    "fiPartOfCompilation",
    "fiMetaEncrypted",
    "fiMetaCompressed",
};
static_assert(std::size(kFrameIDNames) == kFrameIDCount);

bool IsNameChar(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

}  // namespace

const TFrameTableRow& FrameTableRow(TID3v2FrameID id) {
  return unsigned(id) < unsigned(kFrameIDCount) ? kFrameTable[id] : kFrameTable[fiUnknown];
}

const char* FrameIDToString(TID3v2FrameID id) {
  return unsigned(id) < unsigned(kFrameIDCount) ? kFrameIDNames[id] : kFrameIDNames[fiUnknown];
}

bool IsValidFrameName(const TID3v2FrameName& name, int majorVersion) {
  const int length = majorVersion == 2 ? 3 : 4;
  for (int i = 0; i < length; ++i)
    if (!IsNameChar(name[size_t(i)])) return false;
  return true;
}

namespace {

// A name up to its first zero byte, as one integer; 0 for no name.
constexpr uint32_t PackName(const char* name, size_t length) {
  uint32_t packed = 0;
  for (size_t i = 0; i < length && name != nullptr && name[i] != 0; ++i)
    packed |= uint32_t(uint8_t(name[i])) << (8 * i);
  return packed;
}

struct TPackedNames {
  uint32_t Name22[std::size(kFrameTable)];
  uint32_t Name2324[std::size(kFrameTable)];
};

// The identifiers of the table as integers, so that finding the kind of a name is one
// comparison per row: this runs against the whole table for every frame of every file
// read, and comparing text there showed in the open benchmark.
constexpr TPackedNames kPackedNames = [] {
  TPackedNames names{};
  for (size_t i = 0; i < std::size(kFrameTable); ++i) {
    names.Name22[i] = PackName(kFrameTable[i].Name22, 4);
    names.Name2324[i] = PackName(kFrameTable[i].Name2324, 4);
  }
  return names;
}();

}  // namespace

TID3v2FrameID FrameNameToID(const TID3v2FrameName& name, int majorVersion) {
  if (majorVersion < 2 || majorVersion > 4) return fiUnknown;
  // No row has an empty identifier, so an empty name (0) cannot match a missing one.
  const uint32_t packed = PackName(name.data(), name.size());
  if (packed == 0) return fiUnknown;
  const uint32_t* ids = majorVersion == 2 ? kPackedNames.Name22 : kPackedNames.Name2324;
  for (size_t i = 0; i < std::size(kFrameTable); ++i)
    if (ids[i] == packed) return kFrameTable[i].ID;
  return fiUnknown;
}

TID3v2FrameName FrameIDToName(TID3v2FrameID id, int majorVersion) {
  TID3v2FrameName name{};
  if (majorVersion < 2 || majorVersion > 4) return name;
  const TFrameTableRow& row = FrameTableRow(id);
  const char* text = majorVersion == 2 ? row.Name22 : row.Name2324;
  if (text != nullptr) std::memcpy(name.data(), text, std::strlen(text));
  return name;
}

bool IsFrameSupported(TID3v2FrameID id, TID3v2VersionToSave versionToSave) {
  return unsigned(versionToSave) <= 2 && (FrameTableRow(id).SavedIn >> versionToSave) & 1;
}

std::string FrameNameText(const TID3v2FrameName& name) {
  size_t n = 0;
  while (n < name.size() && name[n] != 0) ++n;
  return std::string(name.data(), n);
}

TID3v2FrameName MakeFrameName(std::string_view text) {
  TID3v2FrameName name{};
  std::memcpy(name.data(), text.data(), std::min(text.size(), name.size()));
  return name;
}

}  // namespace tags
