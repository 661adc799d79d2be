// The Lyrics3 v2 block on its own: field kinds and letters, loading a field area,
// writing a block (the exact bytes, dropped fields, refused sizes) and the text
// properties with their upkeep of the indications field. The tag that owns the block is
// made active on a file in memory, as the properties work only then.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "id3v1builders.h"
#include "id3v1tag.h"
#include "lyrics3tag.h"
#include "memoryfilesystem.h"
#include "testutil.h"

namespace {

using namespace tags;
using builders::Bytes;
using builders::Cat;
using builders::Str;
using id3v1builders::Lyrics3Block;
using id3v1builders::Lyrics3Field;

// (letters, data) of each field, in list order.
using TFieldList = std::vector<std::pair<std::string, std::string>>;

TFieldList ListOf(const TLyrics3v2Fields& fields) {
  TFieldList out;
  for (int i = 0; i < fields.Count(); ++i) {
    const TBytes& data = fields[i].Data().Bytes();
    out.emplace_back(std::string(fields[i].Letters().begin(), fields[i].Letters().end()),
                     std::string(data.begin(), data.end()));
  }
  return out;
}

std::string Saved(TLyrics3v2Fields& fields, int* result = nullptr) {
  TMemoryStream stream;
  const int n = fields.SaveToStream(stream);
  if (result) *result = n;
  return std::string(stream.Bytes().begin(), stream.Bytes().end());
}

int Load(TLyrics3v2Fields& fields, const Bytes& area) {
  TMemoryStream stream(area);
  return fields.LoadFromStream(stream);
}

// An ID3v1 tag opened on a file in memory, so that its Lyrics3 properties work.
class Lyrics3 : public ::testing::Test {
 protected:
  void SetUp() override {
    Files_.WriteFile("/music/song.mp3", Str("audio"));
    Tag_.SetFileName("/music/song.mp3");
    Tag_.SetName("ID3v1Tag");
    Tag_.Open();
    ASSERT_TRUE(Tag_.Active());
  }

  TLyrics3v2Tag& Lyrics() { return Tag_.Lyrics(); }
  TLyrics3v2Fields& Fields() { return Tag_.Lyrics().Fields(); }

  testutil::TErrorCapture Messages_;
  test::TMemoryFileSystem Files_;
  TID3v1Tag Tag_{&Files_};
};

// --- Fields --------------------------------------------------------------------------

TEST(Lyrics3Field, KindsLettersAndDescriptions) {
  struct TCase {
    TLyrics3v2FieldID ID;
    const char* Letters;
    const char* DisplayName;
  };
  for (const TCase& c : std::vector<TCase>{
           {lfIndications, "IND", "IND - Indications field"},
           {lfLyricsText, "LYR", "LYR - Lyrics multi line text"},
           {lfInformation, "INF", "INF - Additional information multi line text"},
           {lfAuthorName, "AUT", "AUT - Lyrics/Music author name"},
           {lfAlbumName, "EAL", "EAL - Extended album name"},
           {lfArtistName, "EAR", "EAR - Extended artist name"},
           {lfTrackTitle, "ETT", "ETT - Extended track title"},
           {lfImageLink, "IMG", "IMG - Link to an image files"},
       }) {
    TLyrics3v2Fields fields;
    TLyrics3v2Field& byID = fields.Add();
    byID.SetFieldID(c.ID);
    EXPECT_EQ(byID.Name(), c.Letters);
    EXPECT_EQ(byID.GetDisplayName(), c.DisplayName);
    TLyrics3v2Field& byName = fields.Add();
    byName.SetName(c.Letters);
    EXPECT_EQ(byName.FieldID(), c.ID) << c.Letters;
  }
}

TEST(Lyrics3Field, UnknownAndOddNames) {
  TLyrics3v2Fields fields;
  TLyrics3v2Field& field = fields.Add();
  EXPECT_EQ(field.FieldID(), lfUnknown);
  EXPECT_EQ(field.Name(), "");
  EXPECT_EQ(field.GetDisplayName(), "TLyrics3v2Field");
  field.SetName("XYZ");
  EXPECT_EQ(field.FieldID(), lfUnknown);
  EXPECT_EQ(field.Name(), "XYZ");
  EXPECT_EQ(field.GetDisplayName(), "XYZ - Unknown field");
  // Only three letters are taken; the kind follows the letters kept.
  field.SetName("LY");
  EXPECT_EQ(field.Name(), "XYZ");
  field.SetName("LYRICS");
  EXPECT_EQ(field.Name(), "XYZ");
  field.SetName("lyr");
  EXPECT_EQ(field.FieldID(), lfUnknown);
  field.SetFieldID(lfImageLink);
  field.SetFieldID(lfUnknown);
  EXPECT_EQ(field.Letters(), (std::array<char, 3>{0, 0, 0}));
}

TEST(Lyrics3Field, TextDataAndAssign) {
  TLyrics3v2Fields fields;
  TLyrics3v2Field& field = fields.Add();
  field.SetText("words");
  EXPECT_EQ(field.Size(), 5u);
  field.SetData(TBytes{'a', 'b', 0, 'c'});
  EXPECT_EQ(field.Text(), "ab");
  EXPECT_EQ(field.Size(), 4u);
  Load(fields, Lyrics3Field("ETT", "Title"));
  TLyrics3v2Field& copy = fields.Add();
  copy.Assign(fields[0]);
  EXPECT_EQ(copy.FieldID(), lfTrackTitle);
  EXPECT_EQ(copy.Name(), "ETT");
  EXPECT_EQ(copy.Text(), "Title");
  EXPECT_EQ(copy.SizeRead(), 5u);
  EXPECT_EQ(copy.Index(), 1);
}

TEST(Lyrics3Fields, Lookups) {
  TLyrics3v2Fields fields;
  Load(fields, Cat({Lyrics3Field("XYZ", "1"), Lyrics3Field("LYR", "2"), Lyrics3Field("LYR", "3")}));
  EXPECT_EQ(fields.GetFieldID(lfLyricsText)->Text(), "2");
  EXPECT_EQ(fields.GetField("XYZ")->Text(), "1");
  EXPECT_EQ(fields.GetField("XY"), nullptr);
  EXPECT_EQ(fields.GetField("xyz"), nullptr);
  EXPECT_EQ(fields.GetFieldID(lfImageLink), nullptr);
  EXPECT_EQ(fields.GetFieldID(lfUnknown)->Name(), "XYZ");
}

// --- Loading a field area ------------------------------------------------------------

struct TLoadCase {
  const char* Name;
  Bytes Area;
  TFieldList Expected;
};
void PrintTo(const TLoadCase& c, std::ostream* os) { *os << c.Name; }

std::vector<TLoadCase> LoadCases() {
  const Bytes two = Cat({Lyrics3Field("IND", "110"), Lyrics3Field("LYR", "la\r\nla")});
  const TFieldList twoList{{"IND", "110"}, {"LYR", "la\r\nla"}};
  return {
      {"Empty", {}, {}},
      {"TwoFields", two, twoList},
      {"UnknownFieldIsKept", Lyrics3Field("XYZ", "odd"), {{"XYZ", "odd"}}},
      {"EmptyField", Lyrics3Field("INF", ""), {{"INF", ""}}},
      {"FillerAfterTheFields", Cat({two, Bytes(20, ' ')}), twoList},
      {"ZeroFillerAfterTheFields", Cat({two, Bytes(3, 0)}), twoList},
      {"LowerCaseLettersEndTheArea", Cat({two, Lyrics3Field("ind", "000")}), twoList},
      {"OneOrTwoBytesLeft", Cat({two, Str("LY")}), twoList},
      {"SizeNotANumberReadsAsZero", Cat({Str("LYR00x05"), Lyrics3Field("ETT", "t")}), {{"LYR", ""}, {"ETT", "t"}}},
      {"SizePastTheEndDropsEverything", Cat({two, Str("INF00100short")}), {}},
      {"HeaderCutShortDropsEverything", Cat({two, Str("INF00")}), {}},
  };
}

class Lyrics3Load : public ::testing::TestWithParam<TLoadCase> {};

TEST_P(Lyrics3Load, Area) {
  TLyrics3v2Fields fields;
  fields.Add().SetText("stale");
  EXPECT_EQ(Load(fields, GetParam().Area), int(GetParam().Expected.size()));
  EXPECT_EQ(ListOf(fields), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Tags, Lyrics3Load, ::testing::ValuesIn(LoadCases()),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(Lyrics3Fields, SizeReadIsKept) {
  TLyrics3v2Fields fields;
  Load(fields, Cat({Lyrics3Field("LYR", "abc"), Str("ETT00x00")}));
  ASSERT_EQ(fields.Count(), 2);
  EXPECT_EQ(fields[0].SizeRead(), 3u);
  EXPECT_EQ(fields[1].SizeRead(), 0u);
}

// --- Saving a block ------------------------------------------------------------------

TEST_F(Lyrics3, ExampleBlock) {
  Lyrics().SetLyricsText("la la");
  EXPECT_EQ(ListOf(Fields()), (TFieldList{{"IND", "100"}, {"LYR", "la la"}}));
  int n = 0;
  EXPECT_EQ(Saved(Fields(), &n), "LYRICSBEGININD00003100LYR00005la la000035LYRICS200");
  EXPECT_EQ(n, 2);
}

TEST_F(Lyrics3, ClearingTheLyricsLeavesNoBlock) {
  Lyrics().SetLyricsText("la la");
  Lyrics().SetLyricsText("");
  EXPECT_EQ(ListOf(Fields()), (TFieldList{{"IND", "000"}}));
  int n = -1;
  EXPECT_EQ(Saved(Fields(), &n), "");
  EXPECT_EQ(n, 0);
  EXPECT_EQ(Fields().Count(), 0);
}

TEST(Lyrics3Fields, LoneIndicationsAreKeptWithoutAnActiveOwner) {
  TLyrics3v2Fields fields;
  fields.Add().SetFieldID(lfIndications);
  fields[0].SetText("100");
  EXPECT_EQ(Saved(fields), "LYRICSBEGININD00003100000022LYRICS200");
}

TEST_F(Lyrics3, EmptyFieldsAreDropped) {
  Load(Fields(), Cat({Lyrics3Field("AUT", ""), Lyrics3Field("LYR", "x"), Lyrics3Field("INF", "")}));
  int n = 0;
  EXPECT_EQ(Saved(Fields(), &n), "LYRICSBEGINLYR00001x000020LYRICS200");
  EXPECT_EQ(n, 3);
  EXPECT_EQ(ListOf(Fields()), (TFieldList{{"LYR", "x"}}));
}

TEST_F(Lyrics3, AllFieldsEmptyStillWritesABlock) {
  Load(Fields(), Cat({Lyrics3Field("AUT", ""), Lyrics3Field("INF", "")}));
  int n = 0;
  EXPECT_EQ(Saved(Fields(), &n), "LYRICSBEGIN000011LYRICS200");
  EXPECT_EQ(n, 2);
  EXPECT_EQ(Fields().Count(), 0);
}

TEST_F(Lyrics3, LoadedAreaSavesBackByteForByte) {
  const Bytes area = Cat({Lyrics3Field("IND", "101"), Lyrics3Field("XYZ", "unknown, kept"),
                          Lyrics3Field("LYR", "[00:01]Line\r\n"), Lyrics3Field("IMG", "cover.jpg||\r\n"),
                          Lyrics3Field("INF", std::string(99999, 'i'))});
  Load(Fields(), area);
  const Bytes block = Lyrics3Block(area);
  EXPECT_EQ(Saved(Fields()), std::string(block.begin(), block.end()));
}

TEST_F(Lyrics3, FieldOfLargestSizeIsWritten) {
  Lyrics().SetInformation(std::string(99999, 'i'));
  const std::string block = Saved(Fields());
  EXPECT_EQ(block.substr(11, 8), "INF99999");
  EXPECT_EQ(block.substr(block.size() - 15), "100018LYRICS200");
}

TEST_F(Lyrics3, OversizedFieldIsRefused) {
  Lyrics().SetLyricsText("la la");
  Fields().GetFieldID(lfLyricsText)->SetData(TBytes(100000, 'x'));
  const TFieldList before = ListOf(Fields());
  TMemoryStream stream;
  EXPECT_EQ(Fields().SaveToStream(stream), -1);
  EXPECT_EQ(stream.Size(), 0u);
  EXPECT_EQ(ListOf(Fields()), before);
  EXPECT_EQ(Messages_.Texts(), std::vector<std::string>{"ID3v1Tag: Lyrics3 field LYR is larger than 99999 bytes"});
}

TEST_F(Lyrics3, OversizedBlockIsRefused) {
  // Each field fits its five digits, but together they pass the block's six.
  for (int i = 0; i < 12; ++i) {
    TLyrics3v2Field& field = Fields().Add();
    field.SetName("XYZ");
    field.SetData(TBytes(90000, 'x'));
  }
  TMemoryStream stream;
  EXPECT_EQ(Fields().SaveToStream(stream), -1);
  EXPECT_EQ(stream.Size(), 0u);
  EXPECT_EQ(Fields().Count(), 12);
  EXPECT_EQ(Messages_.Texts(), std::vector<std::string>{"ID3v1Tag: Lyrics3 block is larger than 999999 bytes"});
}

// --- Text properties -----------------------------------------------------------------

struct TProperty {
  const char* Name;
  TLyrics3v2FieldID ID;
  const char* Letters;
  size_t MaxText;
  std::string (TLyrics3v2Tag::*Get)() const;
  void (TLyrics3v2Tag::*Set)(std::string_view);
};
void PrintTo(const TProperty& c, std::ostream* os) { *os << c.Name; }

const TProperty kProperties[] = {
    {"Indications", lfIndications, "IND", 3, &TLyrics3v2Tag::Indications, &TLyrics3v2Tag::SetIndications},
    {"Information", lfInformation, "INF", 99999, &TLyrics3v2Tag::Information, &TLyrics3v2Tag::SetInformation},
    {"AuthorName", lfAuthorName, "AUT", 250, &TLyrics3v2Tag::AuthorName, &TLyrics3v2Tag::SetAuthorName},
    {"AlbumName", lfAlbumName, "EAL", 250, &TLyrics3v2Tag::AlbumName, &TLyrics3v2Tag::SetAlbumName},
    {"ArtistName", lfArtistName, "EAR", 250, &TLyrics3v2Tag::ArtistName, &TLyrics3v2Tag::SetArtistName},
    {"TrackTitle", lfTrackTitle, "ETT", 250, &TLyrics3v2Tag::TrackTitle, &TLyrics3v2Tag::SetTrackTitle},
    {"ImageLink", lfImageLink, "IMG", 99999, &TLyrics3v2Tag::ImageLink, &TLyrics3v2Tag::SetImageLink},
};

class Lyrics3Property : public Lyrics3, public ::testing::WithParamInterface<TProperty> {};

TEST_P(Lyrics3Property, CreatesSetsCutsAndDeletes) {
  const TProperty& p = GetParam();
  TLyrics3v2Tag& lyrics = Lyrics();
  (lyrics.*p.Set)("abc");
  EXPECT_EQ((lyrics.*p.Get)(), "abc");
  ASSERT_EQ(Fields().Count(), 1);
  EXPECT_EQ(Fields()[0].FieldID(), p.ID);
  EXPECT_EQ(Fields()[0].Name(), p.Letters);
  // One byte over the limit is cut; the field is reused, not duplicated.
  (lyrics.*p.Set)(std::string(p.MaxText + 1, 'z'));
  EXPECT_EQ((lyrics.*p.Get)(), std::string(p.MaxText, 'z'));
  EXPECT_EQ(Fields().Count(), 1);
  (lyrics.*p.Set)("");
  EXPECT_EQ((lyrics.*p.Get)(), "");
  EXPECT_EQ(Fields().Count(), 0);
}

TEST_P(Lyrics3Property, MovesTheIndicationsToTheFront) {
  const TProperty& p = GetParam();
  Load(Fields(), Cat({Lyrics3Field("XYZ", "1"), Lyrics3Field("IND", "010")}));
  (Lyrics().*p.Set)("value");
  const TFieldList expected = p.ID == lfIndications
                                  ? TFieldList{{"IND", "val"}, {"XYZ", "1"}}
                                  : TFieldList{{"IND", "010"}, {"XYZ", "1"}, {p.Letters, "value"}};
  EXPECT_EQ(ListOf(Fields()), expected);
}

TEST_P(Lyrics3Property, NothingWhileTheOwnerIsInactive) {
  const TProperty& p = GetParam();
  Load(Fields(), Lyrics3Field(p.Letters, "stored"));
  EXPECT_EQ((Lyrics().*p.Get)(), "stored");
  Tag_.Close();
  Load(Fields(), Lyrics3Field(p.Letters, "stored"));
  EXPECT_EQ((Lyrics().*p.Get)(), "");
  (Lyrics().*p.Set)("ignored");
  EXPECT_EQ(ListOf(Fields()), (TFieldList{{p.Letters, "stored"}}));
}

INSTANTIATE_TEST_SUITE_P(Tags, Lyrics3Property, ::testing::ValuesIn(kProperties),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(Lyrics3, LyricsTextKeepsTheIndications) {
  struct TCase {
    const char* Indications;  // before; nullptr: no field
    const char* Lyrics;
    const char* After;
  };
  for (const TCase& c : std::vector<TCase>{{nullptr, "words", "100"},
                                           {"", "words", "100"},
                                           {"011", "words", "111"},
                                           {"111", "", "011"},
                                           {"1", "words", "1"},
                                           {"0", "", "0"}}) {
    Fields().Clear();
    if (c.Indications) {
      TLyrics3v2Field& field = Fields().Add();
      field.SetFieldID(lfIndications);
      field.SetText(c.Indications);
    }
    Lyrics().SetLyricsText(c.Lyrics);
    EXPECT_EQ(Lyrics().Indications(), c.After) << (c.Indications ? c.Indications : "none") << " + " << c.Lyrics;
    EXPECT_EQ(Lyrics().LyricsText(), c.Lyrics);
  }
}

TEST_F(Lyrics3, LyricsTextIsCutTo99999Bytes) {
  Lyrics().SetLyricsText(std::string(100001, 'l'));
  EXPECT_EQ(Lyrics().LyricsText().size(), 99999u);
}

TEST_F(Lyrics3, ArtistNameKeeps250Of300Bytes) {
  Lyrics().SetArtistName(std::string(300, 'a'));
  EXPECT_EQ(Lyrics().ArtistName(), std::string(250, 'a'));
}

TEST_F(Lyrics3, FieldsAreReplacedAsAWhole) {
  TLyrics3v2Fields other;
  Load(other, Cat({Lyrics3Field("ETT", "t"), Lyrics3Field("XYZ", "x")}));
  Lyrics().SetLyricsText("gone");
  Lyrics().SetFields(other);
  EXPECT_EQ(ListOf(Fields()), ListOf(other));
  // A copy: changing it leaves the source alone.
  Lyrics().SetTrackTitle("changed");
  EXPECT_EQ(other[0].Text(), "t");
}

}  // namespace
