// Text and URL frame properties, the user text and URL lists, the play counter and the
// key and genre vocabularies: what each writes into the frame list, and what it reads.

#include <gtest/gtest.h>

#include "builders.h"
#include "id3v2tag.h"
#include "textcodec.h"

using namespace tags;
using builders::Bytes;
using builders::Cat;
using builders::Str;

namespace {

class TypedFrames : public builders::TActiveTagTest {};

TEST_F(TypedFrames, EncodedTextFollowsTheTagEncoding) {
  tag_.SetEncoding(ienUTF_16);
  tag_.TextFrames().SetTitle(u"abc");
  EXPECT_EQ(PayloadOf(fiTitle), (Bytes{0x01, 0xFF, 0xFE, 'a', 0, 'b', 0, 'c', 0}));
  EXPECT_EQ(tag_.TextFrames().Title(), u"abc");
  EXPECT_EQ(tag_.Frames()[0].Name(), "TIT2");
}

TEST_F(TypedFrames, ByteTextIgnoresTheTagEncoding) {
  for (TID3v2Encoding e : {ienISO_8859_1, ienUTF_16}) {
    tag_.SetEncoding(e);
    tag_.TextFrames().SetTrack(u"3/12");
    EXPECT_EQ(PayloadOf(fiTrack), (Bytes{0x00, '3', '/', '1', '2'}));
  }
}

TEST_F(TypedFrames, AnInvalidIntegerIsRefusedAndLeavesTheFrame) {
  tag_.TextFrames().SetBPM(u"120");
  tag_.TextFrames().SetBPM(u"12a");
  EXPECT_EQ(errors_.Texts(), std::vector<std::string>{"\"12a\" is not a valid integer value"});
  EXPECT_EQ(tag_.TextFrames().BPM(), u"120");
  tag_.TextFrames().SetBPM(u"");
  EXPECT_EQ(tag_.CountFrames(fiBPM), 0);
}

TEST(TextForms, Integers) {
  for (const char16_t* ok : {u"0", u"-5", u"+7", u"2147483647", u"-2147483648", u"007"})
    EXPECT_TRUE(IsValidInteger(ok)) << Utf16ToUtf8(ok);
  for (const char16_t* bad : {u"", u"-", u"+", u"2147483648", u"-2147483649", u"12a", u" 5", u"5 ", u"1.5", u"0x10"})
    EXPECT_FALSE(IsValidInteger(bad)) << Utf16ToUtf8(bad);
}

TEST(TextForms, TimeStamps) {
  for (const char16_t* ok : {u"2014", u"2014-05", u"2014-05-31", u"2014-05-31 20:15", u"2014-05-31 20:15:59",
                             u"2014-05-31T20:15", u"2014-05-31T20", u"2000-02-29", u"2014-05-31T23:59:59"})
    EXPECT_TRUE(IsValidTimeStamp(ok)) << Utf16ToUtf8(ok);
  for (const char16_t* bad : {u"2014-13-45", u"14", u"2014-5-3", u"1900-02-29", u"2014-02-30", u"abcd",
                              u"2014-05-31 24:00", u"2014-05-31 20:60", u"2014-05-31 20:15:60",
                              u"2014-05-31X20:15", u"0000", u"2014-05-31 ", u"2014-05-31 20:1"})
    EXPECT_FALSE(IsValidTimeStamp(bad)) << Utf16ToUtf8(bad);
}

TEST_F(TypedFrames, YearAndRecordingTimeStandInForEachOther) {
  tag_.SetVersionToSave(ive2_3);
  tag_.TextFrames().SetYear(u"2014-05-31");
  EXPECT_EQ(PayloadOf(fiYear), Cat({{0}, Str("2014")}));
  tag_.TextFrames().SetRecordingTime(u"2015-06-01 10:00");
  EXPECT_EQ(tag_.TextFrames().Year(), u"2015") << "the first TYER is replaced in place";
  EXPECT_EQ(tag_.CountFrames(fiYear), 1);
  EXPECT_EQ(tag_.CountFrames(fiRecordingTime), 0);

  tag_.SetVersionToSave(ive2_4);
  tag_.TextFrames().SetYear(u"2014-05-31");
  EXPECT_EQ(tag_.CountFrames(fiYear), 0);
  EXPECT_EQ(PayloadOf(fiRecordingTime), Cat({{0}, Str("2014")}));
  EXPECT_EQ(tag_.TextFrames().Year(), u"");
  tag_.TextFrames().SetRecordingTime(u"2014-05-31 20:15");
  EXPECT_EQ(tag_.TextFrames().RecordingTime(), u"2014-05-31 20:15");

  tag_.TextFrames().SetRecordingTime(u"2014-13-45");
  EXPECT_EQ(errors_.Texts(), std::vector<std::string>{"\"2014-13-45\" is not a valid timestamp"});
  EXPECT_EQ(tag_.TextFrames().RecordingTime(), u"2014-05-31 20:15");
}

TEST_F(TypedFrames, RecordingTimeFallsBackToTheYearIn23) {
  tag_.SetVersionToSave(ive2_4);
  tag_.TextFrames().SetRecordingTime(u"2001-02-03");
  tag_.SetVersionToSave(ive2_3);
  tag_.TextFrames().SetRecordingTime(u"1999-12-31 23:59");
  EXPECT_EQ(tag_.CountFrames(fiRecordingTime), 0);
  EXPECT_EQ(tag_.TextFrames().Year(), u"1999");
}

TEST_F(TypedFrames, RestrictedKindsAreDeletedWhereTheVersionCannotCarryThem) {
  tag_.SetVersionToSave(ive2_4);
  tag_.TextFrames().SetMood(u"calm");
  tag_.Frames().Add().SetFrameIDAndName(fiMood, MakeFrameName("TMOO"));
  tag_.Frames()[1].SetData(Cat({{0}, Str("second")}));
  tag_.SetVersionToSave(ive2_3);
  tag_.TextFrames().SetMood(u"happy");
  EXPECT_EQ(tag_.CountFrames(fiMood), 0);
  EXPECT_EQ(tag_.TextFrames().Mood(), u"");
  EXPECT_TRUE(errors_.Texts().empty()) << "silent outside a form designer";
}

TEST_F(TypedFrames, CutProperties) {
  tag_.TextFrames().SetISRC(u"ABCDEFGHIJKLMNO");
  EXPECT_EQ(tag_.TextFrames().ISRC(), u"ABCDEFGHIJKL");
  tag_.TextFrames().SetInitialKey(u"A#m and more");
  EXPECT_EQ(tag_.TextFrames().InitialKey(), u"A#m");
  tag_.TextFrames().SetDate(u"0531xx");
  EXPECT_EQ(tag_.TextFrames().Date(), u"0531");
  tag_.TextFrames().SetTime(u"12a4");
  EXPECT_EQ(errors_.Texts(), std::vector<std::string>{"\"12a4\" is not a valid integer value"})
      << "the message shows the cut text";
}

TEST_F(TypedFrames, ReadingTrimsTrailingBlanksAndControls) {
  OpenWith(builders::Tag(3, 0, builders::Frame23("TIT2", Cat({{0}, Str("Song"), {0}, Str("  ")}))));
  EXPECT_EQ(tag_.TextFrames().Title(), u"Song");
}

TEST_F(TypedFrames, OnlyTheFirstFrameOfAKindIsReadOrReplaced) {
  OpenWith(builders::Tag(3, 0, Cat({builders::Frame23("TPE1", builders::Text("one")),
                                    builders::Frame23("TPE1", builders::Text("two"))})));
  EXPECT_EQ(tag_.TextFrames().Artist(), u"one");
  tag_.TextFrames().SetArtist(u"uno");
  EXPECT_EQ(PayloadOf(fiArtist, 0), builders::Text("uno"));
  EXPECT_EQ(PayloadOf(fiArtist, 1), builders::Text("two"));
  tag_.TextFrames().SetArtist(u"");
  EXPECT_EQ(tag_.TextFrames().Artist(), u"two");
}

TEST_F(TypedFrames, AnInactiveTagReadsNothingAndWritesNothing) {
  tag_.TextFrames().SetTitle(u"kept");
  tag_.Close();
  EXPECT_EQ(tag_.TextFrames().Title(), u"");
  tag_.TextFrames().SetTitle(u"lost");
  tag_.WebFrames().SetPayment(u"http://x");
  tag_.SetPlayCounter(5);
  EXPECT_EQ(tag_.UserText().Add(u"d", u"t", -1), -1);
  EXPECT_EQ(tag_.Frames().Count(), 0);
  EXPECT_EQ(tag_.UserText().ItemIndex(), -1);
  EXPECT_EQ(tag_.PlayCounter(), 0u);
}

// Every property survives a save in a version that carries its kind.
TEST_F(TypedFrames, EveryPropertyRoundTripsThroughTheFile) {
  for (TID3v2VersionToSave v : {ive2_2, ive2_3, ive2_4}) {
    SCOPED_TRACE(int(v));
    OpenWith({});
    tag_.SetVersionToSave(v);
    tag_.SetEncoding(v == ive2_4 ? ienUTF_8 : ienUTF_16);
    std::vector<std::pair<const TTextFrameProperty*, std::u16string>> written;
    for (const TTextFrameProperty& p : TextFrameProperties()) {
      std::u16string value = u"Wert \u00e4\u4e2d\U0001F3B5";
      if (p.Form == TTextForm::ByteText) value = u"7/9";
      if (p.Form == TTextForm::Integer) value = u"1234";
      if (p.Form == TTextForm::TimeStamp) value = u"2020-02-29 12:34:56";
      if (p.Kind == fiYear || p.Kind == fiRecordingTime) continue;  // stand-ins, tested above
      if (!IsFrameSupported(p.Kind, v)) continue;
      EXPECT_TRUE(tag_.TextFrames().Set(p, value)) << p.Name;
      written.emplace_back(&p, value);
    }
    tag_.Commit();
    Reopen();
    for (const auto& [p, value] : written) {
      std::u16string expected = value;
      if (p->Cut > 0) expected = expected.substr(0, size_t(p->Cut));
      EXPECT_EQ(tag_.TextFrames().Get(*p), expected) << p->Name;
    }
  }
}

TEST(TextFrameTable, NamesAreUniqueAndFindable) {
  EXPECT_EQ(TextFrameProperties().size(), 50u);
  for (const TTextFrameProperty& p : TextFrameProperties()) {
    EXPECT_EQ(FindTextFrameProperty(p.Name), &p);
    EXPECT_EQ(Str(FrameNameText(FrameIDToName(p.Kind, 3))).front(), 'T') << p.Name;
  }
  EXPECT_EQ(FindTextFrameProperty("title"), nullptr);
}

TEST_F(TypedFrames, PlayCounter) {
  tag_.SetPlayCounter(65536);
  EXPECT_EQ(PayloadOf(fiPlayCounter), (Bytes{0x00, 0x01, 0x00, 0x00}));
  EXPECT_EQ(tag_.PlayCounter(), 65536u);
  tag_.SetPlayCounter(0);
  EXPECT_EQ(tag_.CountFrames(fiPlayCounter), 0);
  OpenWith(builders::Tag(3, 0, builders::Frame23("PCNT", {0, 0, 0, 1, 0xFF})));
  EXPECT_EQ(tag_.PlayCounter(), 1u) << "a longer counter reads as its first 4 bytes";
}

TEST_F(TypedFrames, SingleURLs) {
  tag_.WebFrames().SetPayment(u"http://pay.example/\u00e9");
  EXPECT_EQ(PayloadOf(fiWWWPayment), Str("http://pay.example/\xe9"));
  EXPECT_EQ(tag_.WebFrames().Payment(), u"http://pay.example/\u00e9");
  tag_.WebFrames().SetPayment(u"");
  EXPECT_EQ(tag_.CountFrames(fiWWWPayment), 0);
  EXPECT_EQ(WebFrameProperties().size(), 6u);
}

TEST_F(TypedFrames, URLListReadsUpToAZeroByte) {
  OpenWith(builders::Tag(3, 0, Cat({builders::Frame23("WOAR", Cat({Str("http://a"), {0}, Str("junk")})),
                                    builders::Frame23("WOAR", Str("http://b"))})));
  TID3v2WebArtist& artist = tag_.WebFrames().Artist();
  EXPECT_EQ(artist.ItemCount(), 2);
  EXPECT_EQ(artist.URL(), "http://a");
  artist.SetItemIndex(1);
  EXPECT_EQ(artist.URL(), "http://b");
  artist.SetURL("http://c");
  EXPECT_EQ(PayloadOf(fiWWWArtist, 1), Str("http://c"));
  EXPECT_EQ(tag_.WebFrames().CommercialInfo().Add("http://shop", -1), 1);
  std::string url = "untouched";
  EXPECT_TRUE(artist.Find(url, 5));
  EXPECT_EQ(url, "untouched");
}

TEST_F(TypedFrames, UserTextCursorModel) {
  TID3v2UserText& user = tag_.UserText();
  EXPECT_EQ(user.ItemIndex(), -1);
  EXPECT_EQ(user.Add(u"first", u"5", -1), 1);
  EXPECT_EQ(user.Add(u"second", u"6", -1), 2);
  EXPECT_EQ(PayloadOf(fiUserText, 0), Cat({{0}, Str("first"), {0}, Str("5")}));
  user.SetItemIndex(7);
  EXPECT_EQ(user.ItemIndex(), 1);
  EXPECT_EQ(user.Description(), u"second");
  user.SetText(u"60");
  EXPECT_EQ(PayloadOf(fiUserText, 1), Cat({{0}, Str("second"), {0}, Str("60")}));
  EXPECT_EQ(user.Add(u"ignored", u"", 0), -1);
  EXPECT_EQ(user.ItemCount(), 1);
  EXPECT_EQ(user.Description(), u"second") << "the cursor stays within the frames";
  EXPECT_EQ(user.Add(u"x", u"", 5), -1);
  EXPECT_EQ(user.ItemCount(), 1);
  user.Clear();
  EXPECT_EQ(user.ItemCount(), 0);
}

TEST_F(TypedFrames, UserTextInUTF16HasNoMarkOnAnEmptyDescription) {
  tag_.SetEncoding(ienUTF_16);
  tag_.UserText().Add(u"", u"v", -1);
  EXPECT_EQ(PayloadOf(fiUserText), (Bytes{1, 0, 0, 0xFF, 0xFE, 'v', 0}));
  std::u16string d = u"?", t;
  EXPECT_TRUE(tag_.UserText().Find(d, t, 0));
  EXPECT_EQ(d, u"");
  EXPECT_EQ(t, u"v");
}

TEST_F(TypedFrames, UserURL) {
  tag_.SetEncoding(ienUTF_16);
  EXPECT_EQ(tag_.UserURL().Add(u"home", "http://h", -1), 1);
  EXPECT_EQ(PayloadOf(fiWWWUser), Cat({{1, 0xFF, 0xFE, 'h', 0, 'o', 0, 'm', 0, 'e', 0, 0, 0}, Str("http://h")}));
  tag_.UserURL().SetItemIndex(0);
  EXPECT_EQ(tag_.UserURL().URL(), "http://h");
  EXPECT_EQ(tag_.UserURL().Description(), u"home");
  tag_.UserURL().SetURL("");
  EXPECT_EQ(tag_.UserURL().ItemCount(), 0);
}

TEST(OwnerlessObjects, AddReportsNoOwner) {
  testutil::TErrorCapture errors;
  TID3v2UserText user(nullptr);
  EXPECT_EQ(user.Add(u"d", u"t", -1), -1);
  TID3v2Comments comments(nullptr);
  EXPECT_EQ(comments.Add("eng", u"d", u"t", -1), -1);
  EXPECT_EQ(errors.Texts(), (std::vector<std::string>{"No owner specified", "No owner specified"}));
}

TEST(Vocabularies, InitialKeys) {
  TID3v2Tag tag;
  EXPECT_EQ(tag.InitialKeyList().size(), 44u);
  EXPECT_EQ(tag.IndexToInitialKey(0), u"");
  EXPECT_EQ(tag.IndexToInitialKey(44), u"");
  EXPECT_EQ(tag.IndexToInitialKey(1), u"A");
  EXPECT_EQ(tag.IndexToInitialKey(6), u"A#m");
  EXPECT_EQ(tag.IndexToInitialKey(7), u"B");
  EXPECT_EQ(tag.IndexToInitialKey(42), u"G#m");
  EXPECT_EQ(tag.InitialKeyToIndex(u"o"), 43);
  EXPECT_EQ(tag.InitialKeyToIndex(u"a"), 0);
  EXPECT_EQ(tag.InitialKeyToIndex(u"Ebm"), 4 * 6 + 4);
}

TEST(Vocabularies, Genres) {
  TID3v2Tag tag;
  ASSERT_EQ(tag.GenreList().size(), 148u);
  EXPECT_EQ(tag.GenreList()[0], u"Blues");
  EXPECT_EQ(tag.GenreList()[17], u"Rock");
  EXPECT_EQ(tag.GenreList()[147], u"Synthpop");
}

}  // namespace
