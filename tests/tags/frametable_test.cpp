// The frame table and the lookups over it.

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "frametable.h"

namespace {

using namespace tags;

constexpr uint8_t k22 = 1 << ive2_2;
constexpr uint8_t k23 = 1 << ive2_3;
constexpr uint8_t k24 = 1 << ive2_4;

struct TExpectedRow {
  TID3v2FrameID ID;
  const char* Name22;
  const char* Name2324;
  uint8_t SavedIn;
  const char* Description;
};

// The kinds as users and files know them. Kept apart from the engine's table on purpose:
// a slip in one identifier there silently renames or drops every frame of that kind.
constexpr TExpectedRow kExpected[] = {
    {fiUnknown, nullptr, nullptr, 0, "Unknown frame"},
    {fiAudioEncryption, "CRA", "AENC", k22|k23|k24, "Audio encryption"},
    {fiAttachedPicture, "PIC", "APIC", k22|k23|k24, "Attached picture"},
    {fiAudioSeekPoint, nullptr, "ASPI", k24, "Audio seek point index"},
    {fiComments, "COM", "COMM", k22|k23|k24, "Comments"},
    {fiCommercial, nullptr, "COMR", k23|k24, "Commercial frame"},
    {fiEncryptRegistration, nullptr, "ENCR", k23|k24, "Encryption method registration"},
    {fiEqualisation2, nullptr, "EQU2", k24, "Equalisation (2)"},
    {fiEqualization, "EQU", "EQUA", k22|k23, "Equalization"},
    {fiEventTimingCodes, "ETC", "ETCO", k22|k23|k24, "Event timing codes"},
    {fiGeneralObject, "GEO", "GEOB", k22|k23|k24, "General encapsulated object"},
    {fiGroupIdRegistration, nullptr, "GRID", k23|k24, "Group identification registration"},
    {fiInvolvedPeople, "IPL", "IPLS", k22|k23, "Involved people list"},
    {fiLinkedInformation, "LNK", "LINK", k22|k23|k24, "Linked information"},
    {fiMusicCDId, "MCI", "MCDI", k22|k23|k24, "Music CD identifier"},
    {fiMPEGLocationTable, "MLL", "MLLT", k22|k23|k24, "MPEG location lookup table"},
    {fiOwnership, nullptr, "OWNE", k23|k24, "Ownership frame"},
    {fiPlayCounter, "CNT", "PCNT", k22|k23|k24, "Play counter"},
    {fiPopularimeter, "POP", "POPM", k22|k23|k24, "Popularimeter"},
    {fiPositionSynch, "POS", "POSS", k23|k24, "Position synchronisation frame"},
    {fiPrivate, nullptr, "PRIV", k23|k24, "Private frame"},
    {fiRecommendedBuffer, "BUF", "RBUF", k22|k23|k24, "Recommended buffer size"},
    {fiRelativeVolume2, nullptr, "RVA2", k24, "Relative volume adjustment (2)"},
    {fiRelativeVolume, "RVA", "RVAD", k22|k23, "Relative volume adjustment"},
    {fiReverb, "REV", "RVRB", k22|k23|k24, "Reverb"},
    {fiSeek, nullptr, "SEEK", k24, "Seek frame"},
    {fiSignature, nullptr, "SIGN", k24, "Signature frame"},
    {fiSynchronizedLyric, "SLT", "SYLT", k22|k23|k24, "Synchronized lyric/text"},
    {fiSynchronizedTempo, "STC", "SYTC", k22|k23|k24, "Synchronized tempo codes"},
    {fiAlbum, "TAL", "TALB", k22|k23|k24, "Album/Movie/Show title"},
    {fiBPM, "TBP", "TBPM", k22|k23|k24, "BPM (beats per minute)"},
    {fiComposer, "TCM", "TCOM", k22|k23|k24, "Composer"},
    {fiGenre, "TCO", "TCON", k22|k23|k24, "Content type"},
    {fiCopyright, "TCR", "TCOP", k22|k23|k24, "Copyright message"},
    {fiDate, "TDA", "TDAT", k22|k23, "Date"},
    {fiEncodingTime, nullptr, "TDEN", k24, "Encoding time"},
    {fiPlaylistDelay, "TDY", "TDLY", k22|k23|k24, "Playlist delay"},
    {fiOriginalReleaseTime, nullptr, "TDOR", k24, "Original release time"},
    {fiRecordingTime, nullptr, "TDRC", k24, "Recording time"},
    {fiReleaseTime, nullptr, "TDRL", k24, "Release time"},
    {fiTaggingTime, nullptr, "TDTG", k24, "Tagging time"},
    {fiEncodedBy, "TEN", "TENC", k22|k23|k24, "Encoded by"},
    {fiLyricist, "TXT", "TEXT", k22|k23|k24, "Lyricist/Text writer"},
    {fiFileType, "TFT", "TFLT", k22|k23|k24, "File type"},
    {fiTime, "TIM", "TIME", k22|k23, "Time"},
    {fiInvolvedPeople2, nullptr, "TIPL", k24, "Involved people list"},
    {fiContentGroup, "TT1", "TIT1", k22|k23|k24, "Content group description"},
    {fiTitle, "TT2", "TIT2", k22|k23|k24, "Title/songname/content description"},
    {fiSubtitle, "TT3", "TIT3", k22|k23|k24, "Subtitle/Description refinement"},
    {fiInitialKey, "TKE", "TKEY", k22|k23|k24, "Initial key"},
    {fiLanguage, "TLA", "TLAN", k22|k23|k24, "Language(s)"},
    {fiLength, "TLE", "TLEN", k22|k23|k24, "Length"},
    {fiMusicianCredits, nullptr, "TMCL", k24, "Musician credits list"},
    {fiMediaType, "TMT", "TMED", k22|k23|k24, "Media type"},
    {fiMood, nullptr, "TMOO", k24, "Mood"},
    {fiOriginalAlbum, "TOT", "TOAL", k22|k23|k24, "Original album/movie/show title"},
    {fiOriginalFileName, "TOF", "TOFN", k22|k23|k24, "Original file name"},
    {fiOriginalLyricist, "TOL", "TOLY", k22|k23|k24, "Original lyricist(s)/text writer(s)"},
    {fiOriginalArtist, "TOA", "TOPE", k22|k23|k24, "Original artist(s)/performer(s)"},
    {fiOriginalReleaseYear, "TOR", "TORY", k22|k23, "Original release year"},
    {fiFileOwner, nullptr, "TOWN", k23|k24, "File owner/licensee"},
    {fiArtist, "TP1", "TPE1", k22|k23|k24, "Lead performer(s)/Soloist(s)"},
    {fiAlbumArtist, "TP2", "TPE2", k22|k23|k24, "Band/orchestra/accompaniment"},
    {fiConductor, "TP3", "TPE3", k22|k23|k24, "Conductor/performer refinement"},
    {fiRemixArtist, "TP4", "TPE4", k22|k23|k24, "Interpreted, remixed, or otherwise modified by"},
    {fiDisk, "TPA", "TPOS", k22|k23|k24, "Part of a set"},
    {fiProducedNotice, nullptr, "TPRO", k24, "Produced notice"},
    {fiPublisher, "TPB", "TPUB", k22|k23|k24, "Publisher"},
    {fiTrack, "TRK", "TRCK", k22|k23|k24, "Track number/Position in set"},
    {fiRecordingDates, "TRD", "TRDA", k22|k23, "Recording dates"},
    {fiRadioStationName, "TRN", "TRSN", k23|k24, "Internet radio station name"},
    {fiRadioStationOwner, "TRO", "TRSO", k23|k24, "Internet radio station owner"},
    {fiSize, "TSI", "TSIZ", k22|k23, "Size"},
    {fiAlbumSortOrder, nullptr, "TSOA", k24, "Album sort order"},
    {fiArtistSortOrder, nullptr, "TSOP", k24, "Performer sort order"},
    {fiTitleSortOrder, nullptr, "TSOT", k24, "Title sort order"},
    {fiISRC, "TRC", "TSRC", k22|k23|k24, "ISRC (international standard recording code)"},
    {fiEncoderSettings, "TSS", "TSSE", k22|k23|k24, "Software/Hardware and settings used for encoding"},
    {fiSetSubtitle, nullptr, "TSST", k24, "Set subtitle"},
    {fiUserText, "TXX", "TXXX", k22|k23|k24, "User defined text information frame"},
    {fiYear, "TYE", "TYER", k22|k23, "Year"},
    {fiUniqueFileId, "UFI", "UFID", k22|k23|k24, "Unique file identifier"},
    {fiTermsOfUse, nullptr, "USER", k23|k24, "Terms of use"},
    {fiUnsychronizedLyric, "ULT", "USLT", k22|k23|k24, "Unsychronized lyric/text transcription"},
    {fiWWWCommercialInfo, "WCM", "WCOM", k22|k23|k24, "Commercial information"},
    {fiWWWCopyright, "WCP", "WCOP", k22|k23|k24, "Copyright/Legal information"},
    {fiWWWAudioFile, "WAF", "WOAF", k22|k23|k24, "Official audio file webpage"},
    {fiWWWArtist, "WAR", "WOAR", k22|k23|k24, "Official artist/performer webpage"},
    {fiWWWAudioSource, "WAS", "WOAS", k22|k23|k24, "Official audio source webpage"},
    {fiWWWRadioStation, "WRA", "WORS", k23|k24, "Official internet radio station homepage"},
    {fiWWWPayment, "WPY", "WPAY", k23|k24, "Payment"},
    {fiWWWPublisher, "WPB", "WPUB", k22|k23|k24, "Publishers official webpage"},
    {fiWWWUser, "WXX", "WXXX", k22|k23|k24, "User defined URL link frame"},
    {fiPartOfCompilation, "TCP", "TCMP", k22|k23|k24, "Part of a compilation (iTunes)"},
    {fiMetaEncrypted, "CRM", nullptr, k22, "Encrypted meta frame"},
    {fiMetaCompressed, "CDM", nullptr, 0, "Compressed meta frame"},
};
static_assert(std::size(kExpected) == kFrameIDCount);

std::string Text(const TID3v2FrameName& name) { return FrameNameText(name); }

TEST(FrameTable, EveryRowHoldsTheExpectedIdentifiersVersionsAndDescription) {
  for (const TExpectedRow& want : kExpected) {
    const TFrameTableRow& row = FrameTableRow(want.ID);
    SCOPED_TRACE(want.Description);
    EXPECT_EQ(row.ID, want.ID);
    EXPECT_EQ(row.Name22 ? std::string(row.Name22) : "-", want.Name22 ? std::string(want.Name22) : "-");
    EXPECT_EQ(row.Name2324 ? std::string(row.Name2324) : "-", want.Name2324 ? std::string(want.Name2324) : "-");
    EXPECT_EQ(row.SavedIn, want.SavedIn);
    EXPECT_STREQ(row.Description, want.Description);
  }
}

TEST(FrameTable, EveryIdentifierRoundTripsThroughTheLookups) {
  for (int i = 0; i < kFrameIDCount; ++i) {
    const auto id = TID3v2FrameID(i);
    const TFrameTableRow& row = FrameTableRow(id);
    SCOPED_TRACE(row.Description);
    const TID3v2FrameName n22 = FrameIDToName(id, 2);
    EXPECT_EQ(Text(n22), row.Name22 ? row.Name22 : "");
    EXPECT_EQ(n22[3], 0) << "a 2.2 name leaves the fourth byte zero";
    if (row.Name22) {
      EXPECT_TRUE(IsValidFrameName(n22, 2));
      EXPECT_EQ(FrameNameToID(n22, 2), id);
    }
    for (int major : {3, 4}) {
      const TID3v2FrameName n = FrameIDToName(id, major);
      EXPECT_EQ(Text(n), row.Name2324 ? row.Name2324 : "");
      if (row.Name2324) {
        EXPECT_TRUE(IsValidFrameName(n, major));
        EXPECT_EQ(FrameNameToID(n, major), id);
      }
    }
  }
}

TEST(FrameTable, NoIdentifierIsUsedTwice) {
  std::set<std::string> names22, names2324;
  for (int i = 0; i < kFrameIDCount; ++i) {
    const TFrameTableRow& row = FrameTableRow(TID3v2FrameID(i));
    if (row.Name22) {
      EXPECT_TRUE(names22.insert(row.Name22).second) << row.Name22;
    }
    if (row.Name2324) {
      EXPECT_TRUE(names2324.insert(row.Name2324).second) << row.Name2324;
    }
  }
}

TEST(FrameTable, AKindIsOnlySavedWhereItHasAnIdentifier) {
  for (int i = 0; i < kFrameIDCount; ++i) {
    const auto id = TID3v2FrameID(i);
    const TFrameTableRow& row = FrameTableRow(id);
    if (IsFrameSupported(id, ive2_2)) {
      EXPECT_NE(row.Name22, nullptr) << row.Description;
    }
    if (IsFrameSupported(id, ive2_3) || IsFrameSupported(id, ive2_4)) {
      EXPECT_NE(row.Name2324, nullptr) << row.Description;
    }
  }
}

TEST(FrameTable, OutOfRangeKindReadsAsUnknown) {
  EXPECT_EQ(FrameTableRow(TID3v2FrameID(200)).ID, fiUnknown);
}

struct TNameCase {
  const char* Name;
  int Major;
  TID3v2FrameID ID;
};

class FrameNameToIDCase : public testing::TestWithParam<TNameCase> {};

TEST_P(FrameNameToIDCase, LooksUpTheColumnOfTheMajorVersion) {
  EXPECT_EQ(FrameNameToID(MakeFrameName(GetParam().Name), GetParam().Major), GetParam().ID);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FrameNameToIDCase,
    testing::Values(TNameCase{"TT2", 2, fiTitle}, TNameCase{"TIT2", 4, fiTitle},
                    TNameCase{"TIT2", 3, fiTitle}, TNameCase{"TIT2", 2, fiUnknown},
                    TNameCase{"TT2", 3, fiUnknown}, TNameCase{"ZZZZ", 3, fiUnknown},
                    TNameCase{"XYZ", 2, fiUnknown}, TNameCase{"TIT2", 5, fiUnknown},
                    TNameCase{"TIT2", 1, fiUnknown}, TNameCase{"TT2", 0, fiUnknown},
                    // 2.2 names of kinds that are only saved in later versions still read.
                    TNameCase{"POS", 2, fiPositionSynch}, TNameCase{"TRN", 2, fiRadioStationName},
                    TNameCase{"WPY", 2, fiWWWPayment}, TNameCase{"CDM", 2, fiMetaCompressed},
                    TNameCase{"CRM", 2, fiMetaEncrypted},
                    // Read in 2.3 too, though only written in 2.4.
                    TNameCase{"TDRC", 3, fiRecordingTime}, TNameCase{"TYER", 4, fiYear},
                    TNameCase{"", 3, fiUnknown}, TNameCase{"", 2, fiUnknown}),
    [](const auto& info) {
      return std::string(*info.param.Name ? info.param.Name : "Empty") + "_v" + std::to_string(info.param.Major);
    });

struct TValidCase {
  const char* Label;
  TID3v2FrameName Name;
  int Major;
  bool Valid;
};

class IsValidFrameNameCase : public testing::TestWithParam<TValidCase> {};

TEST_P(IsValidFrameNameCase, AcceptsOnlyCapitalsAndDigits) {
  EXPECT_EQ(IsValidFrameName(GetParam().Name, GetParam().Major), GetParam().Valid);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IsValidFrameNameCase,
    testing::Values(TValidCase{"ThreeLettersIn22", {'T', 'Y', 'E', 0}, 2, true},
                    TValidCase{"FourthByteIgnoredIn22", {'T', 'Y', 'E', 'x'}, 2, true},
                    TValidCase{"FourLettersIn23", {'T', 'X', 'X', 'X'}, 3, true},
                    TValidCase{"DigitsIn24", {'R', 'V', 'A', '2'}, 4, true},
                    TValidCase{"ThreeLettersIn23", {'T', 'Y', 'E', 0}, 3, false},
                    TValidCase{"LowerCase", {'T', 'i', 't', '2'}, 3, false},
                    TValidCase{"LowerCaseIn22", {'t', 't', '2', 0}, 2, false},
                    TValidCase{"Blank", {'T', 'I', ' ', '2'}, 4, false},
                    TValidCase{"Punctuation", {'T', 'I', 'T', '-'}, 3, false},
                    TValidCase{"Padding", {0, 0, 0, 0}, 3, false},
                    TValidCase{"HighByte", {'T', 'I', 'T', char(0xC9)}, 3, false}),
    [](const auto& info) { return std::string(info.param.Label); });

TEST(FrameIDToName, KindsWithoutIdentifierGiveZeroBytes) {
  const TID3v2FrameName zero{};
  EXPECT_EQ(FrameIDToName(fiRecordingTime, 2), zero);
  EXPECT_EQ(FrameIDToName(fiUnknown, 3), zero);
  EXPECT_EQ(FrameIDToName(fiMetaCompressed, 4), zero);
  EXPECT_EQ(FrameIDToName(fiTitle, 5), zero);
  EXPECT_EQ(FrameIDToName(fiTitle, 0), zero);
  EXPECT_EQ(FrameIDToName(fiTitle, 2), (TID3v2FrameName{'T', 'T', '2', 0}));
  EXPECT_EQ(FrameIDToName(fiTitle, 4), (TID3v2FrameName{'T', 'I', 'T', '2'}));
}

struct TSupportedCase {
  TID3v2FrameID ID;
  TID3v2VersionToSave Version;
  bool Supported;
};

class IsFrameSupportedCase : public testing::TestWithParam<TSupportedCase> {};

TEST_P(IsFrameSupportedCase, FollowsTheSavedInColumn) {
  EXPECT_EQ(IsFrameSupported(GetParam().ID, GetParam().Version), GetParam().Supported);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IsFrameSupportedCase,
    testing::Values(TSupportedCase{fiYear, ive2_4, false}, TSupportedCase{fiYear, ive2_3, true},
                    TSupportedCase{fiRecordingTime, ive2_3, false}, TSupportedCase{fiRecordingTime, ive2_4, true},
                    TSupportedCase{fiInvolvedPeople2, ive2_4, true}, TSupportedCase{fiInvolvedPeople, ive2_4, false},
                    TSupportedCase{fiPositionSynch, ive2_2, false}, TSupportedCase{fiPositionSynch, ive2_3, true},
                    TSupportedCase{fiMetaEncrypted, ive2_2, true}, TSupportedCase{fiMetaEncrypted, ive2_3, false},
                    TSupportedCase{fiMetaCompressed, ive2_2, false}, TSupportedCase{fiUnknown, ive2_3, false},
                    TSupportedCase{fiTitle, TID3v2VersionToSave(3), false}),
    [](const auto& info) {
      return std::string(FrameTableRow(info.param.ID).Name2324 ? FrameTableRow(info.param.ID).Name2324
                         : FrameTableRow(info.param.ID).Name22 ? FrameTableRow(info.param.ID).Name22
                                                                : "Unknown") +
             "_" + std::to_string(int(info.param.Version));
    });

TEST(FrameNameText, StopsAtTheFirstZeroByte) {
  EXPECT_EQ(FrameNameText({'T', 'T', '2', 0}), "TT2");
  EXPECT_EQ(FrameNameText({'T', 'I', 'T', '2'}), "TIT2");
  EXPECT_EQ(FrameNameText({0, 'A', 'B', 'C'}), "");
  EXPECT_EQ(MakeFrameName("TT2"), (TID3v2FrameName{'T', 'T', '2', 0}));
  EXPECT_EQ(MakeFrameName("TOOLONG"), (TID3v2FrameName{'T', 'O', 'O', 'L'}));
}

}  // namespace
