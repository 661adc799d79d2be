// Comments, lyrics, pictures, popularimeter and terms of use: payload layouts and the
// cursor model over several frames of a kind.

#include <gtest/gtest.h>

#include <set>

#include "builders.h"
#include "id3v2tag.h"
#include "iso639.h"

using namespace tags;
using builders::Bytes;
using builders::Cat;
using builders::Str;

namespace {

class StructuredFrames : public builders::TActiveTagTest {};

TEST_F(StructuredFrames, CommentLayoutInEachEncoding) {
  EXPECT_EQ(tag_.Comments().Add("eng", u"", u"Nice", -1), 1);
  EXPECT_EQ(PayloadOf(fiComments), (Bytes{0x00, 'e', 'n', 'g', 0x00, 'N', 'i', 'c', 'e'}));
  tag_.SetEncoding(ienUTF_16);
  tag_.Comments().Add("eng", u"", u"Nice", 0);
  EXPECT_EQ(PayloadOf(fiComments),
            (Bytes{0x01, 'e', 'n', 'g', 0x00, 0x00, 0xFF, 0xFE, 'N', 0, 'i', 0, 'c', 0, 'e', 0}));
  tag_.Comments().Add("", u"d", u"c", 0);
  EXPECT_EQ(PayloadOf(fiComments),
            (Bytes{0x01, 'X', 'X', 'X', 0xFF, 0xFE, 'd', 0, 0, 0, 0xFF, 0xFE, 'c', 0}));
}

TEST_F(StructuredFrames, CommentCursor) {
  tag_.Comments().Add("eng", u"one", u"first", -1);
  tag_.Comments().Add("deu", u"two", u"second", -1);
  tag_.Comments().SetItemIndex(1);
  tag_.Comments().SetDescription(u"zwei");
  std::string language;
  std::u16string description, content;
  EXPECT_TRUE(tag_.Comments().Find(language, description, content, 1));
  EXPECT_EQ(language, "deu");
  EXPECT_EQ(description, u"zwei");
  EXPECT_EQ(content, u"second");
  EXPECT_TRUE(tag_.Comments().Find(language, description, content, 0));
  EXPECT_EQ(description, u"one");

  EXPECT_EQ(tag_.Comments().Add("eng", u"", u"", 5), -1);
  EXPECT_EQ(tag_.Comments().ItemCount(), 2);
  EXPECT_EQ(tag_.Comments().Add("eng", u"", u"", 0), -1);
  EXPECT_EQ(tag_.Comments().ItemCount(), 1);
  EXPECT_EQ(tag_.Comments().Description(), u"zwei");
}

TEST_F(StructuredFrames, LyricsShareTheCommentLayout) {
  tag_.UnsychronizedLyrics().Add("eng", u"", u"la la", -1);
  EXPECT_EQ(PayloadOf(fiUnsychronizedLyric), Cat({{0}, Str("eng"), {0}, Str("la la")}));
  EXPECT_EQ(tag_.Frames()[0].Name(), "USLT");
  EXPECT_EQ(tag_.Comments().ItemCount(), 0);
}

TEST_F(StructuredFrames, DamagedCommentsReadWithinTheirPayload) {
  // Too short for a language, an unterminated UTF-16 description, a stray odd byte.
  OpenWith(builders::Tag(3, 0, Cat({builders::Frame23("COMM", {1, 'e'}),
                                    builders::Frame23("COMM", {1, 'e', 'n', 'g', 0xFF, 0xFE, 'a', 0, 'b'}),
                                    builders::Frame23("COMM", {7, 'e', 'n', 'g', 'x', 0, 'y'})})));
  std::string language;
  std::u16string description, content;
  ASSERT_TRUE(tag_.Comments().Find(language, description, content, 0));
  EXPECT_EQ(language, "e");
  ASSERT_TRUE(tag_.Comments().Find(language, description, content, 1));
  EXPECT_EQ(description, u"a");
  EXPECT_EQ(content, u"");
  ASSERT_TRUE(tag_.Comments().Find(language, description, content, 2));
  EXPECT_EQ(description, u"") << "an unknown encoding reads as empty text";
  EXPECT_EQ(content, u"");
}

TEST_F(StructuredFrames, PictureLayoutPerVersionToSave) {
  const Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3};
  TMemoryStream data(jpeg);
  tag_.SetVersionToSave(ive2_3);
  EXPECT_EQ(tag_.Pictures().ImageTypeToMIMEType(mtJpeg), "image/jpeg");
  tag_.Pictures().Add(tag_.Pictures().ImageTypeToMIMEType(mtJpeg), ptCoverFront, u"", data, -1);
  EXPECT_EQ(PayloadOf(fiAttachedPicture), Cat({{0}, Str("image/jpeg"), {0, 3, 0}, jpeg}));
  tag_.SetVersionToSave(ive2_2);
  EXPECT_EQ(tag_.Pictures().ImageTypeToMIMEType(mtJpeg), "JPG");
  tag_.Pictures().Add(tag_.Pictures().ImageTypeToMIMEType(mtJpeg), ptCoverFront, u"", data, 0);
  EXPECT_EQ(PayloadOf(fiAttachedPicture), Cat({{0, 'J', 'P', 'G', 3, 0}, jpeg}));
  EXPECT_EQ(tag_.Pictures().ImageTypeToMIMEType(mtUnknown), "");
}

TEST_F(StructuredFrames, PicturesReadFollowTheVersionAsRead) {
  OpenWith(builders::Tag(2, 0, builders::Frame22("PIC", Cat({{0}, Str("PNG"), {3}, Str("desc"), {0}, Str("img")}))));
  std::string mime;
  TID3v2PictureType type = ptOther;
  std::u16string description;
  TMemoryStream data;
  ASSERT_TRUE(tag_.Pictures().Find(mime, type, description, data, 0));
  EXPECT_EQ(mime, "PNG");
  EXPECT_EQ(type, ptCoverFront);
  EXPECT_EQ(description, u"desc");
  EXPECT_EQ(data.Bytes(), Str("img"));
  EXPECT_EQ(data.Position(), 0u);

  OpenWith(builders::Tag(3, 0, builders::Frame23("APIC", Cat({{0}, Str("image/png"), {0, 200, 0}, Str("img")}))));
  tag_.Pictures().SetItemIndex(0);
  EXPECT_EQ(tag_.Pictures().MIMEType(), "image/png");
  EXPECT_EQ(int(tag_.Pictures().PictureType()), 200) << "types above 20 are kept";
  ASSERT_NE(tag_.Pictures().PictureData(), nullptr);
  EXPECT_EQ(tag_.Pictures().PictureData()->Bytes(), Str("img"));
}

TEST_F(StructuredFrames, PictureFindResult) {
  std::string mime;
  TID3v2PictureType type = ptOther;
  std::u16string description;
  TMemoryStream held(Str("held"));
  EXPECT_FALSE(tag_.Pictures().Find(mime, type, description, held, 0)) << "no picture frame at all";
  tag_.Pictures().Add("image/png", ptOther, u"", TMemoryStream(Str("png")), -1);
  TMemoryStream empty;
  EXPECT_FALSE(tag_.Pictures().Find(mime, type, description, empty, 3));
  EXPECT_TRUE(tag_.Pictures().Find(mime, type, description, held, 3)) << "a stream that held bytes";
  EXPECT_EQ(tag_.Pictures().Add("image/png", ptOther, u"", TMemoryStream(), 0), -1);
  EXPECT_EQ(tag_.Pictures().ItemCount(), 0);
  EXPECT_EQ(tag_.Pictures().PictureData(), nullptr);
}

TEST(PictureTables, MIMETypes) {
  const std::pair<const char*, TImageMIMEType> cases[] = {
      {"IMAGE/PNG", mtPng}, {"image/png", mtPng}, {"jpg", mtJpeg}, {"JPG", mtJpeg},  {"image/jpg", mtJpeg},
      {"image/x-ms-bmp", mtBitmap}, {"tif", mtTiff}, {"image/webp", mtUnknown}, {"", mtUnknown}};
  for (const auto& [mime, type] : cases) EXPECT_EQ(TID3v2Pictures::MIMETypeToImageType(mime), type) << mime;
  EXPECT_EQ(PictureTypeNames.size(), 21u);
  EXPECT_STREQ(PictureTypeNames[ptCoverFront], "Cover (front)");
  EXPECT_STREQ(PictureTypeNames[ptPublisherLogotype], "Publisher/Studio logotype");
}

TEST_F(StructuredFrames, Popularimeter) {
  EXPECT_EQ(tag_.Popularimeter().Add("a@b", 255, 7, -1), 1);
  EXPECT_EQ(PayloadOf(fiPopularimeter), (Bytes{'a', '@', 'b', 0, 0xFF, 0, 0, 0, 7}));
  tag_.Popularimeter().SetItemIndex(0);
  tag_.Popularimeter().SetEMailAddress("");
  EXPECT_EQ(tag_.Popularimeter().ItemCount(), 0);

  OpenWith(builders::Tag(3, 0, builders::Frame23("POPM", {'x', 0, 10, 0, 5})));
  std::string email;
  uint8_t rating = 0;
  uint32_t counter = 99;
  ASSERT_TRUE(tag_.Popularimeter().Find(email, rating, counter, 0));
  EXPECT_EQ(email, "x");
  EXPECT_EQ(rating, 10);
  EXPECT_EQ(counter, 0u) << "fewer than 4 counter bytes";
}

TEST_F(StructuredFrames, TermsOfUseIsDroppedWhereTheVersionCannotCarryIt) {
  tag_.SetVersionToSave(ive2_2);
  tag_.TermsOfUse().Add("eng", u"rules");
  EXPECT_EQ(PayloadOf(fiTermsOfUse), Cat({{0}, Str("eng"), Str("rules")}));
  tag_.TextFrames().SetTitle(u"t");
  tag_.Commit();
  EXPECT_EQ(tag_.CountFrames(fiTermsOfUse), 0);
  tag_.Close();
  tag_.Open();
  EXPECT_EQ(tag_.TermsOfUse().Text(), u"");
}

TEST_F(StructuredFrames, TermsOfUseProperties) {
  tag_.TermsOfUse().SetLanguage("deu");
  EXPECT_EQ(tag_.CountFrames(fiTermsOfUse), 0) << "no text, so nothing is created";
  tag_.TermsOfUse().SetText(u"Regeln");
  tag_.TermsOfUse().SetLanguage("deu");
  EXPECT_EQ(tag_.TermsOfUse().Language(), "deu");
  EXPECT_EQ(tag_.TermsOfUse().Text(), u"Regeln");
  tag_.TermsOfUse().SetText(u"");
  EXPECT_EQ(tag_.CountFrames(fiTermsOfUse), 0);
}

TEST(LanguageCodes, Lookups) {
  TISO_639_2 iso;
  ASSERT_EQ(iso.LanguageList().size(), 504u);
  const int english = iso.CodeToIndex("eng");
  EXPECT_EQ(iso.DefaultIndex(), english);
  EXPECT_EQ(iso.CodeToIndex("ENG"), english);
  EXPECT_EQ(iso.IndexToCode(english), "eng");
  EXPECT_EQ(iso.IndexToName(english), u"English");
  EXPECT_EQ(iso.LanguageList()[size_t(english)].Text, u"English [eng]");
  const int fre = iso.CodeToIndex("fre"), fra = iso.CodeToIndex("fra");
  EXPECT_NE(fre, fra);
  EXPECT_EQ(iso.IndexToName(fre), u"French");
  EXPECT_EQ(iso.IndexToName(fra), u"French");
  EXPECT_EQ(iso.NameToIndex(u"French"), std::min(fre, fra));
  EXPECT_EQ(iso.IndexToCode(-1), "XXX");
  EXPECT_EQ(iso.IndexToCode(504), "XXX");
  EXPECT_EQ(iso.IndexToName(504), u"Unknown");
  EXPECT_EQ(iso.CodeToIndex("zxx"), -1);
  EXPECT_EQ(iso.NameToIndex(u"Frisian"), iso.CodeToIndex("fry"));
  EXPECT_NE(iso.NameToIndex(u"Western Frisian"), -1);
  EXPECT_NE(iso.NameToIndex(u"Uncoded languages"), -1);
}

TEST(LanguageCodes, TheListIsSortedWithoutCaseAndUnique) {
  TISO_639_2 iso;
  const auto& list = iso.LanguageList();
  const auto lower = [](std::u16string s) {
    for (char16_t& c : s) c = (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
    return s;
  };
  for (size_t i = 1; i < list.size(); ++i) EXPECT_LE(lower(list[i - 1].Text), lower(list[i].Text)) << i;
  std::set<std::u16string> texts;
  for (const auto& e : list) texts.insert(e.Text);
  EXPECT_EQ(texts.size(), list.size());
}

}  // namespace

namespace {

// The image field is the one part of a picture that differs between 2.2 and the later
// versions; saving across them converts it, and leaves the rest of the payload alone.
struct TPictureConversion {
  const char* Name;
  int From;
  TID3v2VersionToSave To;
  Bytes Field;
  Bytes Expected;
};

class PictureConversion : public ::testing::TestWithParam<TPictureConversion> {};

TEST_P(PictureConversion, ConvertsOnlyTheImageField) {
  const TPictureConversion& c = GetParam();
  const Bytes rest = Cat({{3}, Str("cover"), {0}, {0x89, 'P', 'N', 'G', 0, 0xFF}});
  const Bytes payload = Cat({{0}, c.Field, rest});
  testutil::TTempFolder folder;
  const std::string path = folder.File("pic.mp3");
  testutil::WriteFile(path, Cat({builders::Tag(c.From, 0, builders::Frame(c.From, c.From == 2 ? "PIC" : "APIC", payload)),
                                 Bytes(32, 0xAA)}));
  TID3v2Tag tag;
  tag.SetFileName(path);
  tag.Open();
  tag.SetVersionToSave(c.To);
  tag.Commit();
  tag.Close();
  tag.Open();
  ASSERT_EQ(tag.Frames().Count(), 1);
  EXPECT_EQ(tag.Frames()[0].Data().Bytes(), Cat({{0}, c.Expected, rest}));
  EXPECT_EQ(tag.Pictures().ItemCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PictureConversion,
    ::testing::Values(
        TPictureConversion{"PngTo23", 2, ive2_3, Str("PNG"), Cat({Str("image/png"), {0}})},
        TPictureConversion{"JpgTo24", 2, ive2_4, Str("JPG"), Cat({Str("image/jpeg"), {0}})},
        TPictureConversion{"UnknownFormatTo23", 2, ive2_3, Str("xyz"), Cat({Str("image/xyz"), {0}})},
        TPictureConversion{"JpegTo22", 3, ive2_2, Cat({Str("image/jpeg"), {0}}), Str("JPG")},
        TPictureConversion{"UpperCaseMimeTo22", 4, ive2_2, Cat({Str("Image/PNG"), {0}}), Str("PNG")},
        TPictureConversion{"UnknownMimeTo22", 3, ive2_2, Cat({Str("image/webp"), {0}}), Str("WEB")},
        TPictureConversion{"ShortMimeTo22", 3, ive2_2, Cat({Str("gif"), {0}}), Str("GIF")},
        TPictureConversion{"Same23", 3, ive2_3, Cat({Str("image/png"), {0}}), Cat({Str("image/png"), {0}})},
        TPictureConversion{"Same22", 2, ive2_2, Str("PNG"), Str("PNG")},
        TPictureConversion{"23To24Unchanged", 3, ive2_4, Cat({Str("image/x-anything"), {0}}),
                           Cat({Str("image/x-anything"), {0}})}),
    [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
