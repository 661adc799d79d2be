// Byte-level codecs of the engine: integer forms, unsynchronisation, the four text
// encodings, Windows-1252 and UTF-8/UTF-16 conversion.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "builders.h"
#include "id3types.h"
#include "textcodec.h"

namespace {

using builders::Bytes;
using builders::Str;
using tags::TMemoryStream;

// --- Integer forms ---------------------------------------------------------------------

struct TSyncSafeCase {
  const char* Name;
  uint64_t Value;
  int Count;
  Bytes Encoded;
};

class SyncSafeEncode : public testing::TestWithParam<TSyncSafeCase> {};

TEST_P(SyncSafeEncode, GivesSevenBitsPerByteMostSignificantFirst) {
  EXPECT_EQ(tags::EncodeSyncSafe(GetParam().Value, GetParam().Count), GetParam().Encoded);
}

INSTANTIATE_TEST_SUITE_P(
    Values, SyncSafeEncode,
    testing::Values(TSyncSafeCase{"Zero", 0, 4, {0, 0, 0, 0}},
                    TSyncSafeCase{"LowSevenBits", 127, 4, {0, 0, 0, 0x7F}},
                    TSyncSafeCase{"EighthBitCarries", 128, 4, {0, 0, 1, 0}},
                    TSyncSafeCase{"Value257", 257, 4, {0, 0, 2, 1}},
                    TSyncSafeCase{"LargestFourByte", 268435455, 4, {0x7F, 0x7F, 0x7F, 0x7F}},
                    TSyncSafeCase{"BitsAboveTwentyEightAreLost", 268435456, 4, {0, 0, 0, 0}},
                    TSyncSafeCase{"FiveByteCrc", 0xFFFFFFFF, 5, {0x0F, 0x7F, 0x7F, 0x7F, 0x7F}},
                    TSyncSafeCase{"OneByte", 300, 1, {300 & 0x7F}}),
    [](const auto& info) { return std::string(info.param.Name); });

struct TSyncSafeDecodeCase {
  const char* Name;
  Bytes Encoded;
  uint32_t Value;
};

class SyncSafeDecode : public testing::TestWithParam<TSyncSafeDecodeCase> {};

TEST_P(SyncSafeDecode, IgnoresBitSevenOfEveryByte) {
  EXPECT_EQ(tags::DecodeSyncSafe(GetParam().Encoded), GetParam().Value);
}

INSTANTIATE_TEST_SUITE_P(
    Values, SyncSafeDecode,
    testing::Values(TSyncSafeDecodeCase{"Value257", {0, 0, 2, 1}, 257},
                    TSyncSafeDecodeCase{"LargestFourByte", {0x7F, 0x7F, 0x7F, 0x7F}, 268435455},
                    // Writers that put plain big-endian sizes there are read the same way.
                    TSyncSafeDecodeCase{"AllBitsSet", {0xFF, 0xFF, 0xFF, 0xFF}, 268435455},
                    TSyncSafeDecodeCase{"Empty", {}, 0},
                    TSyncSafeDecodeCase{"FiveByteKeepsLow32Bits", {0x7F, 0x7F, 0x7F, 0x7F, 0x7F}, 0xFFFFFFFF},
                    TSyncSafeDecodeCase{"FiveByteCrc", {0x01, 0x02, 0x03, 0x04, 0x05},
                                        uint32_t((1ull << 28) | (2u << 21) | (3u << 14) | (4u << 7) | 5u)}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(SyncSafe, EveryTwentyEightBitValueRoundTrips) {
  std::mt19937 random(7);
  for (int i = 0; i < 10000; ++i) {
    const uint32_t value = random() & 0x0FFFFFFF;
    const Bytes encoded = tags::EncodeSyncSafe(value, 4);
    for (uint8_t b : encoded) ASSERT_EQ(b & 0x80, 0) << value;
    ASSERT_EQ(tags::DecodeSyncSafe(encoded), value);
  }
}

TEST(SyncSafe, WriteAppendsAtThePosition) {
  TMemoryStream stream(Bytes{0xAA, 0xBB});
  stream.Seek(1);
  tags::WriteSyncSafe(stream, 257, 4);
  EXPECT_EQ(stream.Bytes(), (Bytes{0xAA, 0, 0, 2, 1}));
  EXPECT_EQ(stream.Position(), 5u);
}

TEST(BigEndian, ReadsOneToFourBytes) {
  EXPECT_EQ(tags::ReadBigEndian(Bytes{0x12}), 0x12u);
  EXPECT_EQ(tags::ReadBigEndian(Bytes{0x12, 0x34}), 0x1234u);
  EXPECT_EQ(tags::ReadBigEndian(Bytes{0x12, 0x34, 0x56}), 0x123456u);
  EXPECT_EQ(tags::ReadBigEndian(Bytes{0xFF, 0xFE, 0xFD, 0xFC}), 0xFFFEFDFCu);
}

TEST(BigEndian, WritesTheLowBytesOfTheValue) {
  TMemoryStream stream;
  tags::WriteBigEndian(stream, 0x01020304, 4);
  tags::WriteBigEndian(stream, 0xFFABCDEF, 3);
  tags::WriteBigEndian(stream, 0x0102, 2);
  EXPECT_EQ(stream.Bytes(), (Bytes{1, 2, 3, 4, 0xAB, 0xCD, 0xEF, 1, 2}));
}

// --- Unsynchronisation -----------------------------------------------------------------

struct TUnsyncCase {
  const char* Name;
  Bytes Plain;
  Bytes Unsynchronised;
  bool Inserted;
};

class UnsynchroniseCase : public testing::TestWithParam<TUnsyncCase> {};

TEST_P(UnsynchroniseCase, InsertsZeroAfterFalseSyncs) {
  TMemoryStream stream(GetParam().Plain);
  stream.Seek(stream.Size());
  EXPECT_EQ(tags::Unsynchronise(stream), GetParam().Inserted);
  EXPECT_EQ(stream.Bytes(), GetParam().Unsynchronised);
  EXPECT_EQ(stream.Position(), 0u);
}

TEST_P(UnsynchroniseCase, ResynchroniseUndoesIt) {
  TMemoryStream stream(GetParam().Unsynchronised);
  tags::Resynchronise(stream);
  EXPECT_EQ(stream.Bytes(), GetParam().Plain);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnsynchroniseCase,
    testing::Values(TUnsyncCase{"FFE0", {0xFF, 0xE0}, {0xFF, 0x00, 0xE0}, true},
                    TUnsyncCase{"FF00", {0xFF, 0x00}, {0xFF, 0x00, 0x00}, true},
                    TUnsyncCase{"FF1F", {0xFF, 0x1F}, {0xFF, 0x1F}, false},
                    TUnsyncCase{"FFDF", {0xFF, 0xDF}, {0xFF, 0xDF}, false},
                    TUnsyncCase{"TrailingFF", {0x12, 0xFF}, {0x12, 0xFF}, false},
                    TUnsyncCase{"FFFF", {0xFF, 0xFF}, {0xFF, 0x00, 0xFF}, true},
                    TUnsyncCase{"RunOfFF", {0xFF, 0xFF, 0xFF}, {0xFF, 0x00, 0xFF, 0x00, 0xFF}, true},
                    TUnsyncCase{"MpegSync", {0x01, 0xFF, 0xFB, 0x90}, {0x01, 0xFF, 0x00, 0xFB, 0x90}, true},
                    TUnsyncCase{"Empty", {}, {}, false},
                    TUnsyncCase{"NoFF", {0x00, 0xE0, 0x00}, {0x00, 0xE0, 0x00}, false}),
    [](const auto& info) { return std::string(info.param.Name); });

struct TResyncCase {
  const char* Name;
  Bytes In;
  Bytes Out;
};

class ResynchroniseCase : public testing::TestWithParam<TResyncCase> {};

TEST_P(ResynchroniseCase, RemovesZeroAfterFF) {
  TMemoryStream stream(GetParam().In);
  tags::Resynchronise(stream);
  EXPECT_EQ(stream.Bytes(), GetParam().Out);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ResynchroniseCase,
    testing::Values(TResyncCase{"FF0000", {0xFF, 0x00, 0x00}, {0xFF, 0x00}},
                    TResyncCase{"FF00E0", {0xFF, 0x00, 0xE0}, {0xFF, 0xE0}},
                    // The removed zero resets the FF flag: the second zero stays.
                    TResyncCase{"FF00FF00", {0xFF, 0x00, 0xFF, 0x00}, {0xFF, 0xFF}},
                    TResyncCase{"ZerosWithoutFF", {0x00, 0x00}, {0x00, 0x00}},
                    TResyncCase{"FFFF00", {0xFF, 0xFF, 0x00}, {0xFF, 0xFF}},
                    TResyncCase{"Empty", {}, {}}),
    [](const auto& info) { return std::string(info.param.Name); });

// Bytes rich in FF, 00 and E0-FF, the only values unsynchronisation cares about.
Bytes SyncHeavyBytes(size_t count, std::mt19937& random) {
  static constexpr uint8_t kPool[] = {0xFF, 0xFF, 0xFF, 0x00, 0x00, 0xE0, 0xFB, 0xFE, 0xDF, 0x01, 0x7F};
  Bytes bytes(count);
  for (uint8_t& b : bytes) b = (random() % 4 == 0) ? uint8_t(random()) : kPool[random() % std::size(kPool)];
  return bytes;
}

TEST(Unsynchronisation, RandomContentRoundTrips) {
  std::mt19937 random(20240601);
  for (int round = 0; round < 300; ++round) {
    // Sizes around the 30720- and 61440-byte blocks a streaming implementation would use.
    const size_t size = round < 200 ? random() % 300 : 30000 + random() % 40000;
    const Bytes plain = SyncHeavyBytes(size, random);
    TMemoryStream stream(plain);
    const bool inserted = tags::Unsynchronise(stream);
    const Bytes& packed = stream.Bytes();
    ASSERT_EQ(inserted, packed != plain) << "round " << round;
    // What a reader looking for MPEG sync words must never see.
    for (size_t i = 1; i < packed.size(); ++i)
      ASSERT_FALSE(packed[i - 1] == 0xFF && packed[i] >= 0xE0) << "round " << round << " at " << i;
    tags::Resynchronise(stream);
    ASSERT_EQ(stream.Bytes(), plain) << "round " << round;
  }
}

TEST(Unsynchronisation, FalseSyncAcrossBlockBorderIsBroken) {
  for (size_t border : {size_t(30720), size_t(61440)}) {
    Bytes plain(2 * border, 0x11);
    plain[border - 1] = 0xFF;
    plain[border] = 0xE0;
    TMemoryStream stream(plain);
    ASSERT_TRUE(tags::Unsynchronise(stream));
    ASSERT_EQ(stream.Size(), plain.size() + 1);
    EXPECT_EQ(stream.Bytes()[border - 1], 0xFF);
    EXPECT_EQ(stream.Bytes()[border], 0x00);
    EXPECT_EQ(stream.Bytes()[border + 1], 0xE0);
    tags::Resynchronise(stream);
    EXPECT_EQ(stream.Bytes(), plain);
  }
}

// --- Writing text ----------------------------------------------------------------------

struct TWriteCase {
  const char* Name;
  uint8_t Encoding;
  std::u16string Text;
  Bytes Written;
};

class WriteEncodedTextCase : public testing::TestWithParam<TWriteCase> {};

TEST_P(WriteEncodedTextCase, WritesExactlyTheTextBytes) {
  TMemoryStream stream;
  tags::WriteEncodedText(stream, GetParam().Encoding, GetParam().Text);
  EXPECT_EQ(stream.Bytes(), GetParam().Written);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WriteEncodedTextCase,
    testing::Values(
        TWriteCase{"Latin1", 0, u"abc", {0x61, 0x62, 0x63}},
        TWriteCase{"Utf16WithMark", 1, u"abc", {0xFF, 0xFE, 0x61, 0, 0x62, 0, 0x63, 0}},
        TWriteCase{"Utf16BEWithoutMark", 2, u"abc", {0, 0x61, 0, 0x62, 0, 0x63}},
        TWriteCase{"Utf8", 3, u"abc", {0x61, 0x62, 0x63}},
        TWriteCase{"UnknownEncodingWritesNothing", 4, u"abc", {}},
        TWriteCase{"Utf16KeepsTextsOwnMark", 1, u"\uFEFFa", {0xFF, 0xFE, 0xFF, 0xFE, 0x61, 0}},
        TWriteCase{"Latin1DropsLeadingMark", 0, u"\uFEFFa", {0x61}},
        TWriteCase{"EmptyUtf16IsMarkOnly", 1, u"", {0xFF, 0xFE}},
        TWriteCase{"EmptyUtf16BE", 2, u"", {}},
        TWriteCase{"Windows1252", 0, u"\u00E9\u20AC", {0xE9, 0x80}},
        TWriteCase{"Latin1Unrepresentable", 0, u"a\u65E5", {0x61, '?'}},
        TWriteCase{"Utf8CjkThreeBytesEach", 3, u"\u65E5\u672C\u8A9E",
                   {0xE6, 0x97, 0xA5, 0xE6, 0x9C, 0xAC, 0xE8, 0xAA, 0x9E}},
        TWriteCase{"Utf8SurrogatePair", 3, u"\U0001F600", {0xF0, 0x9F, 0x98, 0x80}},
        TWriteCase{"Utf8LoneSurrogate", 3, u"a\xD800", {0x61, 0xEF, 0xBF, 0xBD}},
        TWriteCase{"Utf16LoneSurrogateAsIs", 1, u"\xDC00", {0xFF, 0xFE, 0x00, 0xDC}},
        TWriteCase{"Utf16BEPair", 2, u"\U0001F600", {0xD8, 0x3D, 0xDE, 0x00}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(WriteEncodedText, LongCjkTextIsWrittenWhole) {
  std::u16string text;
  for (int i = 0; i < 5000; ++i) text += char16_t(0x4E00 + i % 20000);
  TMemoryStream stream;
  tags::WriteEncodedText(stream, 3, text);
  EXPECT_EQ(stream.Size(), text.size() * 3);
  stream.Seek(0);
  EXPECT_EQ(tags::ReadEncodedText(stream, 3), text);
}

TEST(WriteTerminator, MatchesTheUnitSizeOfTheEncoding) {
  const std::vector<std::pair<uint8_t, size_t>> cases = {{0, 1}, {1, 2}, {2, 2}, {3, 1}, {4, 0}, {255, 0}};
  for (const auto& [encoding, zeros] : cases) {
    TMemoryStream stream;
    tags::WriteTerminator(stream, encoding);
    EXPECT_EQ(stream.Bytes(), Bytes(zeros, 0)) << "encoding " << int(encoding);
  }
}

// --- Reading text ----------------------------------------------------------------------

struct TReadCase {
  const char* Name;
  uint8_t Encoding;
  Bytes Stored;
  std::u16string Text;
};

class ReadEncodedTextCase : public testing::TestWithParam<TReadCase> {};

TEST_P(ReadEncodedTextCase, ReadsToTheEndAndTrimsTheTail) {
  TMemoryStream stream(GetParam().Stored);
  EXPECT_EQ(tags::ReadEncodedText(stream, GetParam().Encoding), GetParam().Text);
  EXPECT_EQ(stream.Position(), GetParam().Stored.size());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadEncodedTextCase,
    testing::Values(
        TReadCase{"Latin1TrailingZerosAndBlanks", 0, Str(std::string("Title\0\0  ", 9)), u"Title"},
        TReadCase{"Latin1InnerZeroKept", 0, Str(std::string("a\0b", 3)), std::u16string(u"a\0b", 3)},
        TReadCase{"LeadingBlanksKept", 0, Str("  lead"), u"  lead"},
        TReadCase{"TrailingControlsTrimmed", 0, Str("a\t\r\n"), u"a"},
        TReadCase{"Windows1252High", 0, {0x80, 0xE9, 0x9F}, u"\u20AC\u00E9\u0178"},
        TReadCase{"Utf16WithMark", 1, {0xFF, 0xFE, 0x41, 0, 0x42, 0}, u"AB"},
        TReadCase{"Utf16WithoutMark", 1, {0x41, 0, 0x42, 0}, u"AB"},
        TReadCase{"Utf16OddByteIgnored", 1, {0xFF, 0xFE, 0x41, 0, 0x42}, u"A"},
        // A big-endian mark is not looked for in encoding 1: the text comes out swapped.
        TReadCase{"Utf16BigEndianMarkNotRecognised", 1, {0xFE, 0xFF, 0x00, 0x41}, u"\uFFFE\u4100"},
        TReadCase{"Utf16BEWithMark", 2, {0xFE, 0xFF, 0x00, 0x41}, u"A"},
        TReadCase{"Utf16BEWithoutMark", 2, {0x00, 0x41}, u"A"},
        TReadCase{"Utf16BETrailingZeroUnit", 2, {0x00, 0x41, 0x00, 0x42, 0x00, 0x00}, u"AB"},
        TReadCase{"Utf8", 3, {0xE6, 0x97, 0xA5, 0x41}, u"\u65E5A"},
        TReadCase{"Utf8TrailingZero", 3, {0x61, 0x62, 0x00}, u"ab"},
        TReadCase{"EncodingFourIsEmpty", 4, Str("abc"), u""},
        TReadCase{"EncodingFFIsEmpty", 0xFF, Str("abc"), u""},
        TReadCase{"NothingLeft", 1, {}, u""},
        TReadCase{"OnlyMark", 1, {0xFF, 0xFE}, u""}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(ReadEncodedText, StartsAtThePosition) {
  TMemoryStream stream(Bytes{0x01, 0xFF, 0xFE, 0x41, 0x00});
  stream.Seek(1);
  EXPECT_EQ(tags::ReadEncodedText(stream, 1), u"A");
}

TEST(ReadEncodedText, EveryEncodingRoundTripsItsText) {
  const std::u16string samples[] = {u"plain ASCII", u"caf\u00E9 \u20AC5", u"\u65E5\u672C\u8A9E \U0001F3B5"};
  for (uint8_t encoding = 0; encoding <= 3; ++encoding) {
    for (const std::u16string& text : samples) {
      if (!tags::CanEncode(text, encoding)) continue;
      TMemoryStream stream;
      tags::WriteEncodedText(stream, encoding, text);
      stream.Seek(0);
      EXPECT_EQ(tags::ReadEncodedText(stream, encoding), text) << "encoding " << int(encoding);
    }
  }
}

struct TTerminatedCase {
  const char* Name;
  uint8_t Encoding;
  Bytes Stored;
  std::u16string Text;
  size_t PositionAfter;
};

class ReadTerminatedTextCase : public testing::TestWithParam<TTerminatedCase> {};

TEST_P(ReadTerminatedTextCase, ReadsOneStringAndConsumesItsTerminator) {
  TMemoryStream stream(GetParam().Stored);
  EXPECT_EQ(tags::ReadTerminatedText(stream, GetParam().Encoding), GetParam().Text);
  EXPECT_EQ(stream.Position(), GetParam().PositionAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadTerminatedTextCase,
    testing::Values(
        TTerminatedCase{"Utf16StopsAtZeroUnit", 1, {0xFF, 0xFE, 0x41, 0, 0, 0, 0x42, 0}, u"A", 6},
        TTerminatedCase{"Utf16StrayMarkInsideSkipped", 1, {0xFF, 0xFE, 0x41, 0, 0xFF, 0xFE, 0x42, 0, 0, 0}, u"AB", 10},
        TTerminatedCase{"Utf16WithoutTerminator", 1, {0xFF, 0xFE, 0x41, 0}, u"A", 4},
        TTerminatedCase{"Utf16BEMarkSkipped", 2, {0xFE, 0xFF, 0x00, 0x41, 0, 0, 0x00, 0x42}, u"A", 6},
        TTerminatedCase{"Utf16BEStrayMarkSkipped", 2, {0x00, 0x41, 0xFE, 0xFF, 0x00, 0x42, 0, 0}, u"AB", 8},
        TTerminatedCase{"Latin1", 0, Str(std::string("ab\0cd", 5)), u"ab", 3},
        TTerminatedCase{"Latin1WithoutTerminator", 0, Str("ab"), u"ab", 2},
        TTerminatedCase{"Latin1EmptyString", 0, Str(std::string("\0abc", 4)), u"", 1},
        TTerminatedCase{"NoTrimming", 0, Str(std::string("a  \0", 4)), u"a  ", 4},
        TTerminatedCase{"Windows1252", 0, {0x80, 0x00}, u"\u20AC", 2},
        TTerminatedCase{"Utf8", 3, {0xE6, 0x97, 0xA5, 0x00, 0x78}, u"\u65E5", 4},
        TTerminatedCase{"EncodingFourConsumesNothing", 4, Str(std::string("abc\0", 4)), u"", 0}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(ReadTerminatedText, ReadsConsecutiveStrings) {
  // The layout of a comment: a terminated description, then the text.
  TMemoryStream stream;
  tags::WriteEncodedText(stream, 1, u"desc");
  tags::WriteTerminator(stream, 1);
  tags::WriteEncodedText(stream, 1, u"text");
  stream.Seek(0);
  EXPECT_EQ(tags::ReadTerminatedText(stream, 1), u"desc");
  EXPECT_EQ(tags::ReadEncodedText(stream, 1), u"text");
}

// --- Windows-1252 ----------------------------------------------------------------------

TEST(Windows1252, EveryByteRoundTrips) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += char(b);
  const std::u16string wide = tags::AnsiToWide(all);
  ASSERT_EQ(wide.size(), 256u);
  EXPECT_EQ(tags::WideToAnsi(wide), all);
  EXPECT_TRUE(tags::IsAnsiRepresentable(wide));
}

TEST(Windows1252, MapsTheHighControlRangeToTypographicCharacters) {
  const std::vector<std::pair<uint8_t, char16_t>> cases = {
      {0x80, 0x20AC}, {0x85, 0x2026}, {0x8A, 0x0160}, {0x93, 0x201C}, {0x99, 0x2122}, {0x9F, 0x0178},
      // The five undefined bytes keep their C1 control value.
      {0x81, 0x0081}, {0x8D, 0x008D}, {0x8F, 0x008F}, {0x90, 0x0090}, {0x9D, 0x009D},
      {0xA0, 0x00A0}, {0xE9, 0x00E9}, {0xFF, 0x00FF}, {0x41, 0x0041}};
  for (const auto& [byte, wide] : cases) {
    EXPECT_EQ(tags::AnsiToWide(std::string(1, char(byte))), std::u16string(1, wide)) << int(byte);
    EXPECT_EQ(tags::WideToAnsi(std::u16string(1, wide)), std::string(1, char(byte))) << int(byte);
  }
}

TEST(Windows1252, UnrepresentableBecomesQuestionMark) {
  EXPECT_EQ(tags::WideToAnsi(u"a\u0100b\u65E5"), "a?b?");
  EXPECT_FALSE(tags::IsAnsiRepresentable(u"a\u0100"));
  EXPECT_EQ(tags::WideToAnsi(u"\U0001F600"), "??");
}

TEST(Windows1252, OnlyOneLeadingMarkIsDropped) {
  EXPECT_EQ(tags::WideToAnsi(u"\uFEFFab"), "ab");
  EXPECT_EQ(tags::WideToAnsi(u"\uFEFF\uFEFFab"), "?ab");
  EXPECT_EQ(tags::WideToAnsi(u"a\uFEFFb"), "a?b");
  EXPECT_TRUE(tags::IsAnsiRepresentable(u"\uFEFFab"));
}

// --- UTF-8 and UTF-16 ------------------------------------------------------------------

struct TUtf8Case {
  const char* Name;
  std::string Utf8;
  std::u16string Text;
};

class Utf8Decode : public testing::TestWithParam<TUtf8Case> {};

TEST_P(Utf8Decode, ReplacesEachMalformedPieceAndKeepsTheRest) {
  EXPECT_EQ(tags::Utf8ToUtf16(GetParam().Utf8), GetParam().Text);
}

// Replacement follows the Unicode recommendation (one U+FFFD per maximal subpart of an
// ill-formed sequence), which is also what Python and browsers produce.
INSTANTIATE_TEST_SUITE_P(
    Cases, Utf8Decode,
    testing::Values(
        TUtf8Case{"Ascii", "abc", u"abc"},
        TUtf8Case{"TwoByte", "\xC3\xA9", u"\u00E9"},
        TUtf8Case{"ThreeByte", "\xE2\x82\xAC", u"\u20AC"},
        TUtf8Case{"FourByteGivesPair", "\xF0\x9F\x98\x80", u"\U0001F600"},
        TUtf8Case{"LargestCodePoint", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
        TUtf8Case{"TruncatedAtEnd", "a\xC3", u"a\uFFFD"},
        TUtf8Case{"TruncatedBeforeAscii", "\xE2\x82" "b", u"\uFFFDb"},
        TUtf8Case{"TruncatedFourByte", "\xF0\x9F\x98" "A", u"\uFFFDA"},
        TUtf8Case{"LoneContinuation", "a\x80" "b", u"a\uFFFDb"},
        TUtf8Case{"InvalidLeadBytes", "\xC0\xC1\xF5\xFF", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        TUtf8Case{"OverlongTwoByte", "\xC0\xAF", u"\uFFFD\uFFFD"},
        TUtf8Case{"OverlongThreeByte", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
        TUtf8Case{"OverlongFourByte", "\xF0\x8F\xBF\xBF", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        TUtf8Case{"EncodedSurrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
        TUtf8Case{"BeyondUnicode", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        TUtf8Case{"LeadFollowedByLead", "\xC3\xC3\xA9", u"\uFFFD\u00E9"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(Utf16ToUtf8, LoneSurrogatesBecomeReplacementCharacters) {
  EXPECT_EQ(tags::Utf16ToUtf8(u"\xD800"), "\xEF\xBF\xBD");
  EXPECT_EQ(tags::Utf16ToUtf8(u"a\xDC00" u"b"), "a\xEF\xBF\xBD" "b");
  // Reversed halves are two lone surrogates, not a pair.
  EXPECT_EQ(tags::Utf16ToUtf8(u"\xDE00\xD83D"), "\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(tags::Utf16ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
}

TEST(Utf16ToUtf8, ValidTextRoundTrips) {
  std::mt19937 random(99);
  for (int round = 0; round < 200; ++round) {
    std::u16string text;
    const size_t length = random() % 64;
    while (text.size() < length) {
      char32_t cp = random() % 0x110000;
      if (cp >= 0xD800 && cp <= 0xDFFF) continue;
      if (cp < 0x10000) {
        text += char16_t(cp);
      } else {
        cp -= 0x10000;
        text += char16_t(0xD800 + (cp >> 10));
        text += char16_t(0xDC00 + (cp & 0x3FF));
      }
    }
    ASSERT_EQ(tags::Utf8ToUtf16(tags::Utf16ToUtf8(text)), text) << "round " << round;
  }
}

TEST(CanEncode, TellsWhetherTheTextSurvivesTheEncoding) {
  EXPECT_TRUE(tags::CanEncode(u"caf\u00E9 \u20AC", 0));
  EXPECT_FALSE(tags::CanEncode(u"\u65E5", 0));
  EXPECT_TRUE(tags::CanEncode(u"\u65E5\xD800", 1));
  EXPECT_TRUE(tags::CanEncode(u"\u65E5", 2));
  EXPECT_TRUE(tags::CanEncode(u"\U0001F600", 3));
  EXPECT_FALSE(tags::CanEncode(u"a\xD800", 3));
  EXPECT_FALSE(tags::CanEncode(u"a", 4));
  EXPECT_TRUE(tags::CanEncode(u"", 4));
}

}  // namespace
