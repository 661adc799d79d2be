// The tag component on real files: header, extended header and restrictions, the
// settings rules, reading, and writing back in place or through a new copy, with
// everything behind the tag region (audio, Lyrics3, ID3v1) carried over untouched.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <tuple>
#include <vector>

#include "builders.h"
#include "id3v2tag.h"
#include "tagsconsts.h"
#include "testutil.h"

namespace {

using namespace tags;
using builders::BE;
using builders::Bytes;
using builders::Cat;
using builders::Frame22;
using builders::Frame23;
using builders::Frame24;
using builders::Header;
using builders::Payload;
using builders::Str;
using builders::SyncSafe;
using builders::Text;
using builders::Zeros;
using testutil::Crc32;
using testutil::ReadFile;
using testutil::WriteFile;

const std::string kNotApplicable = std::string("ID3v2Tag: ") + sNotApplicable;

// What follows the ID3v2 tag in a real file: MPEG audio (with sync words and bytes that
// look like tag headers), a Lyrics3 v2 block and a 128-byte ID3v1 tag. None of it is the
// engine's business, so all of it must survive every write byte for byte.
Bytes Tail() {
  Bytes audio = testutil::RandomBytes(20000, 1234);
  for (size_t i = 0; i + 4 < audio.size(); i += 417) {
    audio[i] = 0xFF;
    audio[i + 1] = 0xFB;
  }
  const Bytes id3InAudio = Str("ID3\x03");
  std::copy(id3InAudio.begin(), id3InAudio.end(), audio.begin() + 5000);
  const Bytes lyricsBody = Cat({Str("LYRICSBEGIN"), Str("IND00003110"), Str("LYR00011Hello world")});
  char size[7];
  std::snprintf(size, sizeof size, "%06zu", lyricsBody.size());
  Bytes id3v1 = Cat({Str("TAG"), Str("Song title")});
  id3v1.resize(127, 0);
  id3v1.push_back(12);  // genre
  return Cat({audio, lyricsBody, Str(size), Str("LYRICS200"), id3v1});
}

// A tag region of `region` bytes (header included) holding one title frame.
Bytes TaggedFile(int major, size_t region, const Bytes& tail, const std::string& title = "old title") {
  const Bytes frame = major == 2 ? Frame22("TT2", Text(title)) : major == 3 ? Frame23("TIT2", Text(title))
                                                                           : Frame24("TIT2", Text(title));
  return Cat({builders::Tag(major, 0, frame, region), tail});
}

uint32_t RegionOf(const Bytes& file) {
  if (file.size() < 10 || file[0] != 'I' || file[1] != 'D' || file[2] != '3') return 0;
  return 10 + DecodeSyncSafe(std::span(file).subspan(6, 4));
}

struct stat StatOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st;
}

class TagFileTest : public testing::Test {
 protected:
  TagFileTest() { Tag.SetName("ID3v2Tag"); }

  void TearDown() override {
    // A rewrite leaves nothing behind in any folder it touched.
    for (const std::string& folder : {std::string(), std::string("real")})
      for (const std::string& name : Folder.List(folder))
        EXPECT_NE(name.rfind("tmp", 0), 0u) << "stray temporary file " << name;
  }

  void OpenFile(const std::string& path) {
    Tag.SetFileName(path);
    Tag.Open();
  }
  void OpenFile() { OpenFile(Path); }

  TID3v2Frame& AddFrame(TID3v2FrameID id, const Bytes& payload) {
    TID3v2Frame& frame = Tag.Frames().Add();
    frame.SetFrameID(id);
    frame.SetData(payload);
    return frame;
  }

  // Replaces every frame with one title of exactly `payloadSize` bytes.
  void SetOnlyTitle(size_t payloadSize) {
    Tag.Frames().Clear();
    Bytes payload(payloadSize, 'x');
    payload[0] = 0;
    AddFrame(fiTitle, payload);
  }

  testutil::TTempFolder Folder;
  testutil::TErrorCapture Errors;
  TID3v2Tag Tag;
  const std::string Path = Folder.File("song.mp3");
  const Bytes TailBytes = Tail();
};

// --- The header ------------------------------------------------------------------------------

struct THeaderReadCase {
  const char* Name;
  int Major;
  uint8_t Flags;
  TID3v2HeaderFlags Expected;
};

class HeaderRead : public testing::TestWithParam<THeaderReadCase> {};

TEST_P(HeaderRead, MapsTheFlagBitsOfItsVersion) {
  TID3v2Tag tag;
  TMemoryStream stream(Header(GetParam().Major, GetParam().Flags, 300, 7));
  ASSERT_TRUE(tag.Header().LoadFromStream(stream));
  EXPECT_TRUE(tag.Header().Exists());
  EXPECT_EQ(tag.Header().MajorVersion(), GetParam().Major);
  EXPECT_EQ(tag.Header().RevisionNumber(), 7);
  EXPECT_EQ(tag.Header().Size(), 300u);
  EXPECT_EQ(tag.Header().Flags(), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Bits, HeaderRead,
    testing::Values(THeaderReadCase{"CompressedIn22", 2, 0x40, {hfCompressed}},
                    THeaderReadCase{"ExtendedIn23", 3, 0x40, {hfExtendedHeader}},
                    THeaderReadCase{"ExtendedIn24", 4, 0x40, {hfExtendedHeader}},
                    THeaderReadCase{"Unsynchronisation", 3, 0x80, {hfUnsynchronisation}},
                    THeaderReadCase{"Experimental", 3, 0x20, {hfExperimentalIndicator}},
                    THeaderReadCase{"Footer", 4, 0x10, {hfFooterPresent}},
                    THeaderReadCase{"LowBitsIgnored", 3, 0x0F, {}},
                    THeaderReadCase{"All22", 2, 0xF0,
                                    {hfUnsynchronisation, hfCompressed, hfExperimentalIndicator, hfFooterPresent}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(HeaderRead, NeedsExactlyTheMarkAndTenBytes) {
  TID3v2Tag tag;
  const std::vector<Bytes> noTag = {Cat({Str("id3"), {3, 0, 0, 0, 0, 0, 0}}), Cat({Str("ID3"), {3, 0, 0, 0, 0, 0}}),
                                    Str("TAG"), {}};
  for (const Bytes& bytes : noTag) {
    TMemoryStream stream(bytes);
    EXPECT_FALSE(tag.Header().LoadFromStream(stream));
    EXPECT_FALSE(tag.Header().Exists());
    EXPECT_EQ(tag.Header().MajorVersion(), 0);
  }
  // No check on the version bytes: anything after the mark is taken as it is.
  TMemoryStream odd(Header(9, 0, 0x7F));
  EXPECT_TRUE(tag.Header().LoadFromStream(odd));
  EXPECT_EQ(tag.Header().MajorVersion(), 9);
}

struct THeaderWriteCase {
  const char* Name;
  int ReadMajor;
  uint8_t ReadFlags;
  TID3v2VersionToSave Version;
  uint8_t Written;
};

class HeaderWrite : public testing::TestWithParam<THeaderWriteCase> {};

TEST_P(HeaderWrite, WritesOnlyWhatTheVersionToSaveCarries) {
  TID3v2Tag tag;
  TMemoryStream in(Header(GetParam().ReadMajor, GetParam().ReadFlags, 100));
  tag.Header().LoadFromStream(in);
  tag.SetVersionToSave(GetParam().Version);
  TMemoryStream out;
  EXPECT_EQ(tag.Header().SaveToStream(out), 10u);
  EXPECT_EQ(out.Bytes(), Header(GetParam().Version + 2, GetParam().Written, 0));
}

INSTANTIATE_TEST_SUITE_P(
    Versions, HeaderWrite,
    testing::Values(THeaderWriteCase{"All23", 3, 0xE0, ive2_3, 0xE0},
                    THeaderWriteCase{"Unsynchronisation24", 4, 0x80, ive2_4, 0x80},
                    THeaderWriteCase{"Compressed22", 2, 0xC0, ive2_2, 0xC0},
                    THeaderWriteCase{"ExtendedAndExperimentalNotIn22", 3, 0xE0, ive2_2, 0x80},
                    THeaderWriteCase{"CompressedNotIn23", 2, 0x40, ive2_3, 0x00},
                    // A footer is never written, so neither is its flag.
                    THeaderWriteCase{"FooterNever", 4, 0x90, ive2_4, 0x80},
                    THeaderWriteCase{"RevisionAlwaysZero", 4, 0x00, ive2_4, 0x00}),
    [](const auto& info) { return std::string(info.param.Name); });

struct THeaderFlagsCase {
  const char* Name;
  int ReadMajor;
  uint8_t ReadFlags;
  TID3v2VersionToSave Version;
  TID3v2HeaderFlags Requested;
  TID3v2HeaderFlags Expected;
  const char* Message;
};

class HeaderFlags : public testing::TestWithParam<THeaderFlagsCase> {};

TEST_P(HeaderFlags, RefusesWhatTheVersionCannotCarry) {
  const THeaderFlagsCase& c = GetParam();
  testutil::TErrorCapture errors;
  TID3v2Tag tag;
  tag.SetName("ID3v2Tag");
  TMemoryStream in(Header(c.ReadMajor, c.ReadFlags, 0));
  tag.Header().LoadFromStream(in);
  tag.SetVersionToSave(c.Version);
  tag.Header().SetFlags(c.Requested);
  EXPECT_EQ(tag.Header().Flags(), c.Expected);
  EXPECT_EQ(errors.Texts(), *c.Message ? std::vector<std::string>{std::string("ID3v2Tag: ") + c.Message}
                                       : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Rules, HeaderFlags,
    testing::Values(
        THeaderFlagsCase{"CompressedRefusedFor23", 3, 0, ive2_3, {hfCompressed}, {}, sNotApplicable},
        THeaderFlagsCase{"CompressedFor22", 2, 0, ive2_2, {hfCompressed}, {hfCompressed}, ""},
        THeaderFlagsCase{"ExperimentalRefusedFor22", 2, 0, ive2_2, {hfExperimentalIndicator}, {}, sNotApplicable},
        THeaderFlagsCase{"ExtendedRefusedFor22", 2, 0, ive2_2, {hfExtendedHeader}, {}, sNotApplicable},
        THeaderFlagsCase{"ExtendedAndMoreFor23", 3, 0, ive2_3,
                         {hfExtendedHeader, hfExperimentalIndicator, hfUnsynchronisation},
                         {hfExtendedHeader, hfExperimentalIndicator, hfUnsynchronisation}, ""},
        THeaderFlagsCase{"FooterRefused", 4, 0, ive2_4, {hfFooterPresent}, {}, sNotSupported},
        THeaderFlagsCase{"FooterAlreadyReadIsKept", 4, 0x10, ive2_4, {hfFooterPresent, hfUnsynchronisation},
                         {hfFooterPresent, hfUnsynchronisation}, ""},
        // A refusal keeps every flag as it was, the acceptable ones of the change too.
        THeaderFlagsCase{"WholeChangeRefused", 3, 0, ive2_3, {hfUnsynchronisation, hfCompressed}, {}, sNotApplicable},
        THeaderFlagsCase{"TurningOffIsAlwaysAccepted", 3, 0x60, ive2_2, {}, {}, ""},
        THeaderFlagsCase{"CompressedReadStaysFor23", 2, 0x40, ive2_3, {hfCompressed, hfUnsynchronisation},
                         {hfCompressed, hfUnsynchronisation}, ""},
        THeaderFlagsCase{"UnsynchronisationFor22", 2, 0, ive2_2, {hfUnsynchronisation}, {hfUnsynchronisation}, ""}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(HeaderFlags, MessageOfAnUnnamedTagIsTheMessageAlone) {
  testutil::TErrorCapture errors;
  TID3v2Tag tag;
  tag.Header().SetFlags({hfFooterPresent});
  ASSERT_EQ(errors.Messages().size(), 1u);
  EXPECT_EQ(errors.Messages()[0].Caption, "Error");
  EXPECT_EQ(errors.Messages()[0].Text, "Not supported");
}

// --- The extended header and its restrictions --------------------------------------------------

TEST(ExtendedHeader, Reads23WithAndWithoutCrc) {
  TID3v2Tag tag;
  TMemoryStream header(Header(3, 0x40, 100));
  tag.Header().LoadFromStream(header);

  TMemoryStream plain(Cat({BE(6, 4), {0x00, 0x55}, BE(1234, 4), Str("TIT2")}));
  tag.ExtendedHeader().LoadFromStream(plain, 3);
  EXPECT_TRUE(tag.ExtendedHeader().Flags().Empty());
  EXPECT_EQ(tag.ExtendedHeader().SizeOfPadding(), 1234u);
  EXPECT_EQ(tag.ExtendedHeader().Size(), 6u);
  EXPECT_EQ(plain.Position(), 10u);

  TMemoryStream crc(Cat({BE(10, 4), {0x80, 0x00}, BE(7, 4), BE(0xDEADBEEF, 4)}));
  tag.ExtendedHeader().LoadFromStream(crc, 3);
  EXPECT_EQ(tag.ExtendedHeader().Flags(), TID3v2ExtendedHeaderFlags{ehfCRCDataPresent});
  EXPECT_EQ(tag.ExtendedHeader().CRCData(), 0xDEADBEEFu);
  EXPECT_EQ(tag.ExtendedHeader().SizeOfPadding(), 7u);
  EXPECT_EQ(tag.ExtendedHeader().Size(), 10u);
  EXPECT_EQ(crc.Position(), 14u);
}

TEST(ExtendedHeader, Reads24WithEveryOptionalField) {
  TID3v2Tag tag;
  TMemoryStream header(Header(4, 0x40, 100));
  tag.Header().LoadFromStream(header);
  // Restrictions 1001 1101: 40 KB, any encoding, 30 characters, PNG or JPEG, 256x256.
  TMemoryStream ext(Cat({SyncSafe(15), {1, 0x70}, {0}, {5}, SyncSafe(0xCAFEBABE, 5), {1, 0x9D}}));
  tag.ExtendedHeader().LoadFromStream(ext, 4);
  EXPECT_EQ(tag.ExtendedHeader().Flags(),
            (TID3v2ExtendedHeaderFlags{ehfTagIsAnUpdate, ehfCRCDataPresent, ehfTagRestrictions}));
  EXPECT_EQ(tag.ExtendedHeader().CRCData(), 0xCAFEBABEu);
  EXPECT_EQ(tag.ExtendedHeader().Size(), 15u);
  EXPECT_EQ(ext.Position(), 15u);
  const TID3v2TagRestrictions& r = tag.ExtendedHeader().TagRestrictions();
  EXPECT_EQ(r.TagSize, tsr32Frames_40KB);
  EXPECT_EQ(r.TextEncoding, terNoRestrictions);
  EXPECT_EQ(r.TextSize, tfszMax30Char);
  EXPECT_EQ(r.ImageEncoding, ierOnlyPNGorJPEG);
  EXPECT_EQ(r.ImageSize, isrMax256x256);

  // Written back in the same layout, from the values held.
  TMemoryStream out;
  tag.ExtendedHeader().SaveToStream(out, 4);
  EXPECT_EQ(out.Bytes(), ext.Bytes());
}

TEST(ExtendedHeader, Reads24EdgeLayouts) {
  TID3v2Tag tag;
  TMemoryStream header(Header(4, 0x40, 100));
  tag.Header().LoadFromStream(header);

  // A size below the minimum: nothing after it is taken for extended header.
  TMemoryStream small(Cat({SyncSafe(5), {1, 0x70}}));
  tag.ExtendedHeader().LoadFromStream(small, 4);
  EXPECT_TRUE(tag.ExtendedHeader().Flags().Empty());
  EXPECT_EQ(small.Position(), 4u);

  // Only the first of several flag bytes counts.
  TMemoryStream twoFlagBytes(Cat({SyncSafe(9), {2, 0x10, 0x70}, {1, 0xC0}}));
  tag.ExtendedHeader().LoadFromStream(twoFlagBytes, 4);
  EXPECT_EQ(tag.ExtendedHeader().Flags(), TID3v2ExtendedHeaderFlags{ehfTagRestrictions});
  EXPECT_EQ(tag.ExtendedHeader().TagRestrictions().TagSize, tsr32Frames_4KB);
  EXPECT_EQ(twoFlagBytes.Position(), 9u);

  // A damaged tag that ends inside the extended header reads as zeros, never beyond.
  TMemoryStream cut(Cat({SyncSafe(15), {1, 0x70}, {0}, {5, 0x01}}));
  tag.ExtendedHeader().LoadFromStream(cut, 4);
  EXPECT_EQ(cut.Position(), cut.Size());
}

TEST(ExtendedHeader, Writes23Layout) {
  TID3v2Tag tag;
  TMemoryStream crc(Cat({BE(10, 4), {0x80, 0x00}, BE(7, 4), BE(0xDEADBEEF, 4)}));
  tag.ExtendedHeader().LoadFromStream(crc, 3);
  TMemoryStream out;
  tag.ExtendedHeader().SaveToStream(out, 3);
  EXPECT_EQ(out.Bytes(), crc.Bytes());

  tag.ExtendedHeader().Clear();
  TMemoryStream plain;
  tag.ExtendedHeader().SaveToStream(plain, 3);
  EXPECT_EQ(plain.Bytes(), Cat({BE(6, 4), {0, 0}, BE(0, 4)}));

  TMemoryStream none;
  tag.ExtendedHeader().SaveToStream(none, 2);
  EXPECT_EQ(none.Size(), 0u);
}

TEST(ExtendedHeader, SizeFollowsTheVersionAsRead) {
  TID3v2Tag tag;
  EXPECT_EQ(tag.ExtendedHeader().Size(), 0u);
  TMemoryStream header(Header(4, 0x40, 100));
  tag.Header().LoadFromStream(header);
  EXPECT_EQ(tag.ExtendedHeader().Size(), 6u);
  tag.SetVersionToSave(ive2_4);
  tag.ExtendedHeader().SetFlags({ehfTagIsAnUpdate, ehfTagRestrictions});
  EXPECT_EQ(tag.ExtendedHeader().Size(), 9u);
}

TEST(TagRestrictions, EveryByteRoundTripsThroughTheFiveFields) {
  for (int b = 0; b < 256; ++b) {
    TID3v2TagRestrictions r;
    r.FromByte(uint8_t(b));
    EXPECT_EQ(r.ToByte(), b);
  }
  TID3v2TagRestrictions r;
  r.TagSize = tsr32Frames_40KB;
  EXPECT_EQ(r.ToByte(), 0x80);
  r.Clear();
  EXPECT_EQ(r.ToByte(), 0);
}

TEST(ExtendedHeaderFlags, RefusesFor22AndRefusesToComputeACrc) {
  testutil::TErrorCapture errors;
  TID3v2Tag tag;
  tag.SetName("ID3v2Tag");
  tag.SetVersionToSave(ive2_2);
  tag.ExtendedHeader().SetFlags({ehfTagIsAnUpdate});
  EXPECT_TRUE(tag.ExtendedHeader().Flags().Empty());
  EXPECT_EQ(errors.Texts(), std::vector<std::string>{kNotApplicable});

  errors.Clear();
  tag.SetVersionToSave(ive2_4);
  tag.ExtendedHeader().SetFlags({ehfCRCDataPresent, ehfTagIsAnUpdate});
  EXPECT_TRUE(tag.ExtendedHeader().Flags().Empty());
  EXPECT_EQ(errors.Texts(), std::vector<std::string>{std::string("ID3v2Tag: ") + sNotImplemented});

  errors.Clear();
  tag.ExtendedHeader().SetFlags({ehfTagIsAnUpdate, ehfTagRestrictions});
  EXPECT_EQ(tag.ExtendedHeader().Flags(), (TID3v2ExtendedHeaderFlags{ehfTagIsAnUpdate, ehfTagRestrictions}));
  EXPECT_TRUE(errors.Messages().empty());

  // A CRC read from a file may be kept or dropped; it cannot come back once dropped.
  TMemoryStream crc(Cat({BE(10, 4), {0x80, 0x00}, BE(0, 4), BE(1, 4)}));
  tag.ExtendedHeader().LoadFromStream(crc, 3);
  tag.ExtendedHeader().SetFlags({ehfCRCDataPresent, ehfTagIsAnUpdate});
  EXPECT_EQ(tag.ExtendedHeader().Flags(), (TID3v2ExtendedHeaderFlags{ehfCRCDataPresent, ehfTagIsAnUpdate}));
  tag.ExtendedHeader().SetFlags({});
  tag.ExtendedHeader().SetFlags({ehfCRCDataPresent});
  EXPECT_TRUE(tag.ExtendedHeader().Flags().Empty());
  EXPECT_EQ(errors.Texts().size(), 1u);
}

// --- Settings ----------------------------------------------------------------------------------

struct TEncodingCase {
  TID3v2VersionToSave Version;
  TID3v2Encoding Encoding;
  bool Accepted;
};

class EncodingRule : public testing::TestWithParam<TEncodingCase> {};

TEST_P(EncodingRule, OnlyLatin1AndUtf16BeforeVersion24) {
  testutil::TErrorCapture errors;
  TID3v2Tag tag;
  tag.SetName("ID3v2Tag");
  tag.SetVersionToSave(GetParam().Version);
  tag.SetEncoding(ienUTF_16);
  tag.SetEncoding(GetParam().Encoding);
  EXPECT_EQ(tag.Encoding(), GetParam().Accepted ? GetParam().Encoding : ienUTF_16);
  EXPECT_EQ(errors.Texts(), GetParam().Accepted ? std::vector<std::string>{}
                                                : std::vector<std::string>{kNotApplicable});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EncodingRule,
    testing::Values(TEncodingCase{ive2_3, ienISO_8859_1, true}, TEncodingCase{ive2_3, ienUTF_16BE, false},
                    TEncodingCase{ive2_3, ienUTF_8, false}, TEncodingCase{ive2_2, ienUTF_8, false},
                    TEncodingCase{ive2_2, ienISO_8859_1, true}, TEncodingCase{ive2_4, ienUTF_8, true},
                    TEncodingCase{ive2_4, ienUTF_16BE, true}, TEncodingCase{ive2_4, ienISO_8859_1, true}),
    [](const auto& info) {
      return "Save" + std::to_string(info.param.Version + 2) + "Encoding" + std::to_string(int(info.param.Encoding));
    });

TEST(VersionToSave, DefaultsTo23AndLatin1) {
  TID3v2Tag tag;
  EXPECT_EQ(tag.VersionToSave(), ive2_3);
  EXPECT_EQ(tag.Encoding(), ienISO_8859_1);
}

TEST(VersionToSave, LeavingVersion24FallsBackFromEncodingsItAlone) {
  const std::vector<std::tuple<TID3v2Encoding, TID3v2VersionToSave, TID3v2Encoding>> cases = {
      {ienUTF_8, ive2_3, ienISO_8859_1}, {ienUTF_16BE, ive2_3, ienISO_8859_1}, {ienUTF_8, ive2_2, ienISO_8859_1},
      {ienUTF_16, ive2_3, ienUTF_16},    {ienUTF_8, ive2_4, ienUTF_8}};
  for (const auto& [encoding, version, expected] : cases) {
    TID3v2Tag tag;
    tag.SetVersionToSave(ive2_4);
    tag.SetEncoding(encoding);
    tag.SetVersionToSave(version);
    EXPECT_EQ(tag.Encoding(), expected) << int(encoding) << " to " << int(version);
    EXPECT_EQ(tag.VersionToSave(), version);
  }
}

TEST(Padding, NeverNegativeAndZeroWithAFooter) {
  TID3v2Tag tag;
  tag.SetPadding(-5);
  EXPECT_EQ(tag.Padding(), 0);
  tag.SetPadding(100);
  EXPECT_EQ(tag.Padding(), 100);
  TMemoryStream footer(Header(4, 0x10, 0));
  tag.Header().LoadFromStream(footer);
  tag.SetPadding(100);
  EXPECT_EQ(tag.Padding(), 0);
}

// --- CalcPadding -------------------------------------------------------------------------------

struct TCalcCase {
  uint32_t Old, New, Padding;
};

class CalcPaddingCase : public testing::TestWithParam<TCalcCase> {};

TEST_P(CalcPaddingCase, GivesTheExpectedPadding) {
  EXPECT_EQ(CalcPadding(GetParam().Old, GetParam().New), GetParam().Padding);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CalcPaddingCase,
    testing::Values(TCalcCase{0, 0, 2048}, TCalcCase{0, 24, 4072}, TCalcCase{0, 1000, 3096},
                    TCalcCase{0, 2048, 2048}, TCalcCase{0, 2049, 4095}, TCalcCase{1, 1, 4095},
                    TCalcCase{2048, 3000, 3144}, TCalcCase{4096, 4096, 4096}, TCalcCase{4096, 4097, 4095},
                    TCalcCase{10000, 15002, 7526}, TCalcCase{100000, 100001, 51551},
                    TCalcCase{268435455, 268435455, 134217729}),
    [](const auto& info) { return "Old" + std::to_string(info.param.Old) + "New" + std::to_string(info.param.New); });

TEST(CalcPadding, RegionIsWholeBlocksAtLeast2048LargerAndHalfAgainTheOld) {
  for (uint32_t old : {0u, 1u, 100u, 2048u, 4096u, 10000u, 65536u, 1000000u}) {
    for (uint32_t grow : {0u, 1u, 2047u, 2048u, 5000u, 70000u, 3000000u}) {
      const uint32_t fresh = old + grow;
      const uint32_t padding = CalcPadding(old, fresh);
      EXPECT_EQ((uint64_t(fresh) + padding) % 2048, 0u) << old << " " << fresh;
      EXPECT_GE(padding, 2048u) << old << " " << fresh;
      if (old > 0) {
        EXPECT_GT(uint64_t(fresh) + padding, uint64_t(old) + old / 2) << old << " " << fresh;
      }
    }
  }
}

// --- Reading -----------------------------------------------------------------------------------

TEST_F(TagFileTest, ReadsHeaderFramesAndPadding) {
  WriteFile(Path, Cat({builders::Tag(3, 0, Cat({Frame23("TIT2", Text("t")), Frame23("TPE1", Text("a"))}), 1000),
                       TailBytes}));
  std::vector<std::string> events;
  Tag.SetOnFileOpen([&](void* s) { events.push_back(s == &Tag ? "open" : "open?"); });
  Tag.SetOnReadTag([&](void* s) { events.push_back(s == &Tag.Frames() ? "read" : "read?"); });
  Tag.SetOnFileClose([&](void* s) { events.push_back(s == &Tag ? "close" : "close?"); });
  OpenFile();
  EXPECT_TRUE(Tag.Active());
  EXPECT_TRUE(Tag.Header().Exists());
  EXPECT_EQ(Tag.Version(), "2.3.0");
  EXPECT_EQ(Tag.TagSize(), 1000u);
  EXPECT_EQ(Tag.Frames().Count(), 2);
  EXPECT_EQ(Tag.Padding(), 1000 - 10 - 24);
  EXPECT_EQ(events, (std::vector<std::string>{"open", "read", "close"}));

  Tag.Close();
  EXPECT_FALSE(Tag.Active());
  EXPECT_EQ(Tag.Version(), "");
  EXPECT_EQ(Tag.TagSize(), 0u);
  EXPECT_EQ(Tag.Frames().Count(), 0);
  EXPECT_EQ(Tag.Padding(), 0);
}

TEST_F(TagFileTest, VersionShowsMajorAndRevision) {
  WriteFile(Path, Cat({Header(4, 0, 20, 1), Frame24("TIT2", Text("a")), Zeros(8), TailBytes}));
  OpenFile();
  EXPECT_EQ(Tag.Version(), "2.4.1");
}

TEST_F(TagFileTest, FileWithoutTag) {
  WriteFile(Path, TailBytes);
  OpenFile();
  EXPECT_TRUE(Tag.Active());
  EXPECT_FALSE(Tag.Header().Exists());
  EXPECT_EQ(Tag.TagSize(), 0u);
  EXPECT_EQ(Tag.Version(), "");
  EXPECT_EQ(Tag.Frames().Count(), 0);
}

TEST_F(TagFileTest, TinyFilesHaveNoTag) {
  for (const Bytes& content : {Bytes{}, Str("ID3"), Cat({Str("ID3"), {3}, Zeros(5)})}) {
    WriteFile(Path, content);
    Tag.Close();
    OpenFile();
    EXPECT_TRUE(Tag.Active());
    EXPECT_FALSE(Tag.Header().Exists());
  }
}

TEST_F(TagFileTest, MissingFileStaysInactiveAndNothingIsWritten) {
  OpenFile();
  EXPECT_FALSE(Tag.Active());
  AddFrame(fiTitle, Text("abc"));
  Tag.Commit();
  Tag.Erase();
  EXPECT_TRUE(Folder.List().empty());
}

TEST_F(TagFileTest, CommitAndEraseNeedAnOpenTag) {
  WriteFile(Path, TaggedFile(3, 2048, TailBytes));
  Tag.SetFileName(Path);
  AddFrame(fiTitle, Text("abc"));
  Tag.Commit();
  Tag.Erase();
  EXPECT_EQ(ReadFile(Path), TaggedFile(3, 2048, TailBytes));
}

TEST_F(TagFileTest, NewFileNameForgetsWhatWasRead) {
  WriteFile(Path, TaggedFile(3, 2048, TailBytes));
  OpenFile();
  ASSERT_EQ(Tag.Frames().Count(), 1);
  Tag.SetFileName(Path);
  EXPECT_EQ(Tag.Frames().Count(), 1) << "the same name changes nothing";
  Tag.SetFileName(Folder.File("other.mp3"));
  EXPECT_EQ(Tag.Frames().Count(), 0);
  EXPECT_FALSE(Tag.Header().Exists());
  EXPECT_TRUE(Tag.Active());
}

TEST_F(TagFileTest, TagRunningPastTheEndOfTheFileThrows) {
  WriteFile(Path, Cat({Header(3, 0, 5000), Frame23("TIT2", Text("t")), Zeros(100)}));
  Tag.SetFileName(Path);
  EXPECT_THROW(Tag.Open(), EReadError);
}

TEST_F(TagFileTest, CorruptCompressedFrameReachesTheCaller) {
  const Bytes area = Cat({Frame23("TPE1", Text("a")), Frame23("TIT2", Str("not zlib"), 0, 0x80, BE(50, 4))});
  WriteFile(Path, Cat({builders::Tag(3, 0, area, 1024), TailBytes}));
  bool closed = false;
  Tag.SetOnFileClose([&](void*) { closed = true; });
  Tag.SetFileName(Path);
  EXPECT_THROW(Tag.Open(), EDecompressionError);
  EXPECT_FALSE(closed);
  EXPECT_EQ(Tag.Frames().Count(), 1);
}

TEST_F(TagFileTest, ExtendedHeader23IsReadAndWrittenBack) {
  const Bytes ext = Cat({BE(6, 4), {0, 0}, BE(1234, 4)});
  WriteFile(Path, Cat({builders::Tag(3, 0x40, Cat({ext, Frame23("TIT2", Text("t"))}), 2048), TailBytes}));
  OpenFile();
  ASSERT_EQ(Tag.Frames().Count(), 1);
  EXPECT_EQ(Payload(Tag.Frames()[0]), Text("t"));
  EXPECT_EQ(Tag.ExtendedHeader().SizeOfPadding(), 1234u);
  Tag.Commit();
  const Bytes file = ReadFile(Path);
  EXPECT_EQ(file[5], 0x40);
  EXPECT_EQ(Bytes(file.begin() + 10, file.begin() + 32), Cat({ext, Frame23("TIT2", Text("t"))}));
}

TEST_F(TagFileTest, UnsynchronisedExtendedHeader23RoundTrips) {
  // Before 2.4 the extended header is inside the unsynchronised data: a padding size
  // of FF E0 is stored as FF 00 E0.
  const Bytes plain = Cat({BE(6, 4), {0, 0}, BE(0xFFE0, 4), Frame23("TIT2", Text("t"))});
  TMemoryStream packed(plain);
  ASSERT_TRUE(Unsynchronise(packed));
  WriteFile(Path, Cat({builders::Tag(3, 0xC0, packed.Bytes(), 1024), TailBytes}));
  for (int pass = 0; pass < 2; ++pass) {
    Tag.Close();
    OpenFile();
    EXPECT_EQ(Tag.ExtendedHeader().SizeOfPadding(), 0xFFE0u) << "pass " << pass;
    ASSERT_EQ(Tag.Frames().Count(), 1) << "pass " << pass;
    EXPECT_EQ(Payload(Tag.Frames()[0]), Text("t"));
    Tag.Commit();
    const Bytes file = ReadFile(Path);
    EXPECT_EQ(file[5], 0xC0);
    EXPECT_EQ(Bytes(file.begin() + 10, file.begin() + 10 + std::ptrdiff_t(packed.Size())), packed.Bytes());
  }
}

TEST_F(TagFileTest, Restrictions24AreWrittenBack) {
  const Bytes ext = Cat({SyncSafe(8), {1, 0x10}, {1, 0x80}});
  WriteFile(Path, Cat({builders::Tag(4, 0x40, Cat({ext, Frame24("TIT2", Text("t"))}), 2048), TailBytes}));
  OpenFile();
  ASSERT_EQ(Tag.Frames().Count(), 1);
  EXPECT_EQ(Tag.ExtendedHeader().TagRestrictions().TagSize, tsr32Frames_40KB);
  Tag.SetVersionToSave(ive2_4);
  Tag.Commit();
  const Bytes file = ReadFile(Path);
  EXPECT_EQ(file[5], 0x40);
  EXPECT_EQ(Bytes(file.begin() + 10, file.begin() + 18), ext);
  EXPECT_EQ(file[17] >> 6, 2);
}

// --- Writing: the exact layout and the padding rule ------------------------------------------

TEST_F(TagFileTest, TitleAbcOnAnUntaggedFileHasThisExactLayout) {
  WriteFile(Path, TailBytes);
  OpenFile();
  AddFrame(fiTitle, Text("abc"));
  int written = 0;
  Tag.SetOnWriteTag([&](void* s) { written += s == &Tag; });
  Tag.Commit();
  const Bytes expected = Cat({{0x49, 0x44, 0x33, 0x03, 0x00, 0x00, 0x00, 0x00, 0x1F, 0x76},
                              {0x54, 0x49, 0x54, 0x32, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x61, 0x62, 0x63},
                              Zeros(4072), TailBytes});
  EXPECT_EQ(ReadFile(Path), expected);
  EXPECT_EQ(Tag.Padding(), 4072);
  EXPECT_EQ(written, 1);
  EXPECT_TRUE(Errors.Messages().empty());
}

struct TPaddingCase {
  const char* Name;
  uint32_t OldRegion;  // 0: the file has no tag
  uint32_t Content;    // header and frames of the new tag
  uint32_t Padding;
  bool InPlace;
};

class PaddingRule : public TagFileTest, public testing::WithParamInterface<TPaddingCase> {};

TEST_P(PaddingRule, ReusesTheOldRegionOrGrowsItThroughANewFile) {
  const TPaddingCase& c = GetParam();
  WriteFile(Path, c.OldRegion ? TaggedFile(3, c.OldRegion, TailBytes) : TailBytes);
  const ino_t inode = StatOf(Path).st_ino;
  OpenFile();
  SetOnlyTitle(c.Content - 20);
  Tag.Commit();

  const Bytes file = ReadFile(Path);
  EXPECT_EQ(Tag.Padding(), int(c.Padding));
  ASSERT_EQ(RegionOf(file), c.Content + c.Padding);
  EXPECT_EQ(file.size(), c.Content + c.Padding + TailBytes.size());
  EXPECT_EQ(Crc32(file, RegionOf(file)), Crc32(TailBytes));
  EXPECT_EQ(Bytes(file.begin() + c.Content, file.begin() + c.Content + c.Padding), Zeros(c.Padding));
  EXPECT_EQ(StatOf(Path).st_ino == inode, c.InPlace) << "in place keeps the file, a rewrite replaces it";

  TID3v2Tag reader;
  reader.SetFileName(Path);
  reader.Open();
  ASSERT_EQ(reader.Frames().Count(), 1);
  EXPECT_EQ(reader.Frames()[0].DataSize(), c.Content - 20);
  EXPECT_EQ(reader.Padding(), int(c.Padding));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PaddingRule,
    testing::Values(TPaddingCase{"UntaggedFileGetsAFullBlockAndMore", 0, 1000, 3096, false},
                    TPaddingCase{"FitsTheOldRegion", 4096, 3000, 1096, true},
                    TPaddingCase{"OneByteToSpare", 4096, 4095, 1, true},
                    TPaddingCase{"ExactlyTheOldRegionGrows", 4096, 4096, 4096, false},
                    TPaddingCase{"GrowsByHalf", 10000, 15002, 7526, false},
                    TPaddingCase{"ShrinksInPlace", 10000, 100, 9900, true}),
    [](const auto& info) { return std::string(info.param.Name); });

// --- Writing: what follows the tag ----------------------------------------------------------

struct TTailCase {
  int SourceMajor;  // 0: no tag
  TID3v2VersionToSave Version;
  bool Grow;  // past the old region: through a new file
};
using TTailParam = std::tuple<int, TID3v2VersionToSave, bool>;

class TailIsKept : public TagFileTest, public testing::WithParamInterface<TTailParam> {};

TEST_P(TailIsKept, ThroughCommitSecondCommitAndErase) {
  const TTailCase c{std::get<0>(GetParam()), std::get<1>(GetParam()), std::get<2>(GetParam())};
  WriteFile(Path, c.SourceMajor ? TaggedFile(c.SourceMajor, 2048, TailBytes) : TailBytes);
  const ino_t inode = StatOf(Path).st_ino;
  const uint32_t tailCrc = Crc32(TailBytes);

  OpenFile();
  Tag.SetVersionToSave(c.Version);
  Tag.Frames().Clear();
  const Bytes title = c.Grow ? Cat({{0}, testutil::RandomBytes(5000, 5)}) : Text("new title");
  AddFrame(fiTitle, title);
  AddFrame(fiArtist, Text("artist"));
  Tag.Commit();
  Bytes file = ReadFile(Path);
  ASSERT_EQ(file.size() - RegionOf(file), TailBytes.size());
  EXPECT_EQ(Crc32(file, RegionOf(file)), tailCrc);
  EXPECT_EQ(file[3], c.Version + 2);
  EXPECT_EQ(StatOf(Path).st_ino == inode, c.SourceMajor != 0 && !c.Grow);

  // Again without reopening: the old region is measured on disk, not taken from memory.
  Tag.Frames()[0].SetData(Cat({{0}, testutil::RandomBytes(9000, 6)}));
  Tag.Commit();
  file = ReadFile(Path);
  ASSERT_EQ(file.size() - RegionOf(file), TailBytes.size());
  EXPECT_EQ(Crc32(file, RegionOf(file)), tailCrc);
  Tag.Frames()[0].SetData(Text("short"));
  Tag.Commit();
  file = ReadFile(Path);
  ASSERT_EQ(file.size() - RegionOf(file), TailBytes.size());
  EXPECT_EQ(Crc32(file, RegionOf(file)), tailCrc);

  TID3v2Tag reader;
  reader.SetFileName(Path);
  reader.Open();
  EXPECT_EQ(reader.Version(), "2." + std::to_string(c.Version + 2) + ".0");
  ASSERT_EQ(reader.Frames().Count(), 2);
  EXPECT_EQ(reader.Frames()[0].FrameID(), fiTitle);
  EXPECT_EQ(Payload(reader.Frames()[0]), Text("short"));
  EXPECT_EQ(Payload(reader.Frames()[1]), Text("artist"));

  Tag.Erase();
  EXPECT_EQ(ReadFile(Path), TailBytes);
  EXPECT_TRUE(Tag.Active());
  EXPECT_EQ(Tag.Frames().Count(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Matrix, TailIsKept,
    testing::Combine(testing::Values(0, 2, 3, 4), testing::Values(ive2_2, ive2_3, ive2_4), testing::Bool()),
    [](const auto& info) {
      const int source = std::get<0>(info.param);
      const int version = std::get<1>(info.param);
      const bool grow = std::get<2>(info.param);
      return std::string(source ? "From2" + std::to_string(source) : "Untagged") + "To2" +
             std::to_string(version + 2) + (grow ? "Rewrite" : "InPlace");
    });

TEST_F(TagFileTest, EraseRemovesExactlyTheTagRegion) {
  WriteFile(Path, TaggedFile(4, 3000, TailBytes));
  int erased = 0;
  Tag.SetOnEraseTag([&](void* s) { erased += s == &Tag; });
  OpenFile();
  Tag.Erase();
  EXPECT_EQ(ReadFile(Path), TailBytes);
  EXPECT_EQ(erased, 1);
  EXPECT_FALSE(Tag.Header().Exists());
  EXPECT_EQ(Tag.TagSize(), 0u);

  // Nothing left to remove: nothing happens.
  const ino_t inode = StatOf(Path).st_ino;
  Tag.Erase();
  EXPECT_EQ(erased, 1);
  EXPECT_EQ(StatOf(Path).st_ino, inode);
}

TEST_F(TagFileTest, CommitWithoutFramesRemovesTheTag) {
  WriteFile(Path, TaggedFile(3, 4096, TailBytes));
  int written = 0, erased = 0;
  Tag.SetOnWriteTag([&](void*) { ++written; });
  Tag.SetOnEraseTag([&](void*) { ++erased; });
  OpenFile();
  Tag.Frames()[0].SetData(Bytes{});
  Tag.Commit();
  EXPECT_EQ(ReadFile(Path), TailBytes);
  EXPECT_EQ(written, 0);
  EXPECT_EQ(erased, 1);
}

TEST_F(TagFileTest, FooterGoesWithTheOldRegionAndIsNotWrittenAgain) {
  const Bytes frames = Frame24("TIT2", Text("t"));
  Bytes body = frames;
  body.resize(500, 0);
  const Bytes footer = Cat({Str("3DI"), {4, 0, 0x10}, SyncSafe(500)});
  WriteFile(Path, Cat({Header(4, 0x10, 500), body, footer, TailBytes}));
  OpenFile();
  ASSERT_EQ(Tag.Frames().Count(), 1);
  EXPECT_EQ(Tag.Padding(), 0);
  Tag.SetVersionToSave(ive2_4);
  Tag.Commit();
  Bytes file = ReadFile(Path);
  EXPECT_EQ(file[5] & 0x10, 0);
  EXPECT_EQ(RegionOf(file), 520u) << "the footer's bytes become padding";
  EXPECT_EQ(Crc32(file, RegionOf(file)), Crc32(TailBytes));

  WriteFile(Path, Cat({Header(4, 0x10, 500), body, footer, TailBytes}));
  Tag.Close();
  OpenFile();
  Tag.Erase();
  EXPECT_EQ(ReadFile(Path), TailBytes);
}

// --- Writing: header options ---------------------------------------------------------------------

TEST_F(TagFileTest, ExtendedHeaderIsNotWrittenFor22) {
  WriteFile(Path, TailBytes);
  OpenFile();
  Tag.Header().SetFlags({hfExtendedHeader});
  ASSERT_TRUE(Tag.Header().Flags().Has(hfExtendedHeader));
  Tag.SetVersionToSave(ive2_2);
  AddFrame(fiTitle, Text("abc"));
  Tag.Commit();
  const Bytes file = ReadFile(Path);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 6), (Bytes{'I', 'D', '3', 2, 0, 0}));
  const Bytes frame = Frame22("TT2", Text("abc"));
  EXPECT_EQ(Bytes(file.begin() + 10, file.begin() + 10 + std::ptrdiff_t(frame.size())), frame);
}

TEST_F(TagFileTest, WholeTagUnsynchronisationIn23And22) {
  for (TID3v2VersionToSave version : {ive2_3, ive2_2}) {
    WriteFile(Path, TailBytes);
    Tag.Close();
    OpenFile();
    Tag.SetVersionToSave(version);
    Tag.Header().SetFlags({hfUnsynchronisation});
    const Bytes payload = {0x00, 0x41, 0xFF, 0xE0, 0x42};
    AddFrame(fiTitle, payload);
    Tag.Commit();
    const Bytes file = ReadFile(Path);
    EXPECT_EQ(file[5], 0x80);
    const size_t header = version == ive2_2 ? 6 : 10;
    EXPECT_EQ(Bytes(file.begin() + 10 + header, file.begin() + 10 + header + 6),
              (Bytes{0x00, 0x41, 0xFF, 0x00, 0xE0, 0x42}));
    EXPECT_EQ(Crc32(file, RegionOf(file)), Crc32(TailBytes));

    TID3v2Tag reader;
    reader.SetFileName(Path);
    reader.Open();
    ASSERT_EQ(reader.Frames().Count(), 1) << int(version);
    EXPECT_EQ(Payload(reader.Frames()[0]), payload);
  }
}

TEST_F(TagFileTest, Unsynchronisation24IsPerFrameAndTheHeaderFlagNeedsEveryFrame) {
  const Bytes needs = {0x00, 0xFF, 0xE0};
  const Bytes plain = Text("plain");
  for (bool allNeedIt : {true, false}) {
    WriteFile(Path, TailBytes);
    Tag.Close();
    OpenFile();
    Tag.SetVersionToSave(ive2_4);
    Tag.Header().SetFlags({hfUnsynchronisation});
    AddFrame(fiTitle, needs);
    AddFrame(fiArtist, allNeedIt ? needs : plain);
    Tag.Commit();
    const Bytes file = ReadFile(Path);
    EXPECT_EQ(file[5], allNeedIt ? 0x80 : 0x00);
    const Bytes first = Frame24("TIT2", {0x00, 0xFF, 0x00, 0xE0}, 0, 0x02);
    EXPECT_EQ(Bytes(file.begin() + 10, file.begin() + 10 + first.size()), first);
    const Bytes second = allNeedIt ? Frame24("TPE1", {0x00, 0xFF, 0x00, 0xE0}, 0, 0x02) : Frame24("TPE1", plain);
    EXPECT_EQ(Bytes(file.begin() + 10 + first.size(), file.begin() + 10 + first.size() + second.size()), second);

    TID3v2Tag reader;
    reader.SetFileName(Path);
    reader.Open();
    ASSERT_EQ(reader.Frames().Count(), 2);
    EXPECT_EQ(Payload(reader.Frames()[0]), needs);
    EXPECT_EQ(Payload(reader.Frames()[1]), allNeedIt ? needs : plain);
  }
}

TEST_F(TagFileTest, UnknownFramesSurviveASaveInTheirOwnVersion) {
  const Bytes unknown = Frame23("ZZZZ", Str("private bytes"), 0x20, 0);
  WriteFile(Path, Cat({builders::Tag(3, 0, Cat({unknown, Frame23("TIT2", Text("t"))}), 1024), TailBytes}));
  OpenFile();
  Tag.Commit();
  Bytes file = ReadFile(Path);
  EXPECT_EQ(Bytes(file.begin() + 10, file.begin() + 10 + unknown.size()), unknown);

  Tag.Close();
  OpenFile();
  Tag.SetVersionToSave(ive2_4);
  Tag.Commit();
  file = ReadFile(Path);
  EXPECT_EQ(Bytes(file.begin() + 10, file.begin() + 22), Frame24("TIT2", Text("t")));
  EXPECT_EQ(Tag.Frames().Count(), 1);
}

TEST_F(TagFileTest, TooLargeTagIsRefusedAndTheFileIsUntouched) {
  WriteFile(Path, TailBytes);
  OpenFile();
  // The file on disk now holds the largest region a size field can describe; rewriting
  // it would need more. Built sparse, so the test stays small on disk and in memory.
  const Bytes header = Header(3, 0, kMaxTagSize);
  {
    const int fd = ::open(Path.c_str(), O_WRONLY | O_TRUNC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, header.data(), header.size(), 0), ssize_t(header.size()));
    ASSERT_EQ(::pwrite(fd, TailBytes.data(), TailBytes.size(), off_t(10) + kMaxTagSize),
              ssize_t(TailBytes.size()));
    ::close(fd);
  }
  const struct stat before = StatOf(Path);
  int written = 0;
  Tag.SetOnWriteTag([&](void*) { ++written; });
  AddFrame(fiTitle, Text("abc"));
  Tag.Commit();

  EXPECT_EQ(Errors.Texts(), std::vector<std::string>{"ID3v2Tag: Tag size more than 256 MB"});
  EXPECT_EQ(written, 0);
  const struct stat after = StatOf(Path);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_size, before.st_size);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  Bytes head(10), tail(TailBytes.size());
  const int fd = ::open(Path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(::pread(fd, head.data(), head.size(), 0), 10);
  EXPECT_EQ(::pread(fd, tail.data(), tail.size(), off_t(10) + kMaxTagSize), ssize_t(tail.size()));
  ::close(fd);
  EXPECT_EQ(head, header);
  EXPECT_EQ(tail, TailBytes);
}

TEST_F(TagFileTest, HeaderAsReadIsKeptAfterCommit) {
  WriteFile(Path, TaggedFile(3, 2048, TailBytes));
  OpenFile();
  SetOnlyTitle(5000);
  Tag.Commit();
  EXPECT_EQ(Tag.TagSize(), 2048u);
  EXPECT_EQ(Tag.Header().MajorVersion(), 3);
  EXPECT_GT(RegionOf(ReadFile(Path)), 2048u);
}

// --- Writing: the file itself --------------------------------------------------------------------

TEST_F(TagFileTest, ReadOnlyFileIsWrittenAndEndsOwnerWritable) {
  for (bool grow : {false, true}) {
    WriteFile(Path, TaggedFile(3, 4096, TailBytes));
    ASSERT_EQ(::chmod(Path.c_str(), 0444), 0);
    Tag.Close();
    OpenFile();
    SetOnlyTitle(grow ? 6000 : 100);
    Tag.Commit();
    const Bytes file = ReadFile(Path);
    EXPECT_EQ(RegionOf(file), grow ? 8192u : 4096u);
    EXPECT_EQ(StatOf(Path).st_mode & 07777, 0644u) << (grow ? "rewrite" : "in place");
    EXPECT_EQ(Crc32(file, RegionOf(file)), Crc32(TailBytes));
  }
  ASSERT_EQ(::chmod(Path.c_str(), 0444), 0);
  Tag.Close();
  OpenFile();
  Tag.Erase();
  EXPECT_EQ(ReadFile(Path), TailBytes);
  EXPECT_EQ(StatOf(Path).st_mode & 07777, 0644u);
}

class PermissionBits : public TagFileTest, public testing::WithParamInterface<mode_t> {};

TEST_P(PermissionBits, SurviveRewriteAndErase) {
  WriteFile(Path, TaggedFile(3, 2048, TailBytes));
  ASSERT_EQ(::chmod(Path.c_str(), GetParam()), 0);
  OpenFile();
  SetOnlyTitle(5000);
  Tag.Commit();
  EXPECT_EQ(StatOf(Path).st_mode & 07777, GetParam());
  Tag.Erase();
  EXPECT_EQ(StatOf(Path).st_mode & 07777, GetParam());
  EXPECT_EQ(ReadFile(Path), TailBytes);
}

INSTANTIATE_TEST_SUITE_P(Modes, PermissionBits, testing::Values(0644, 0600, 0640, 0604, 0660, 0755, 0700),
                         [](const auto& info) {
                           char name[8];
                           std::snprintf(name, sizeof name, "Mode%o", unsigned(info.param));
                           return std::string(name);
                         });

TEST_F(TagFileTest, OwnerAndGroupSurviveARewrite) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file to another owner";
  WriteFile(Path, TaggedFile(3, 2048, TailBytes));
  ASSERT_EQ(::chown(Path.c_str(), 1234, 5678), 0);
  OpenFile();
  SetOnlyTitle(5000);
  Tag.Commit();
  EXPECT_EQ(StatOf(Path).st_uid, 1234u);
  EXPECT_EQ(StatOf(Path).st_gid, 5678u);
}

TEST_F(TagFileTest, SymlinkStaysALinkAndItsTargetIsReplaced) {
  ASSERT_EQ(::mkdir(Folder.File("real").c_str(), 0755), 0);
  const std::string target = Folder.File("real/song.mp3");
  const std::string link = Folder.File("link.mp3");
  WriteFile(target, TaggedFile(3, 2048, TailBytes));
  ASSERT_EQ(::symlink("real/song.mp3", link.c_str()), 0);

  OpenFile(link);
  SetOnlyTitle(5000);
  Tag.Commit();
  struct stat st {};
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  char buffer[256] = {};
  ASSERT_GT(::readlink(link.c_str(), buffer, sizeof buffer - 1), 0);
  EXPECT_STREQ(buffer, "real/song.mp3");
  Bytes file = ReadFile(target);
  EXPECT_EQ(RegionOf(file), 8192u);
  EXPECT_EQ(Crc32(file, RegionOf(file)), Crc32(TailBytes));
  EXPECT_EQ(Folder.List(), (std::vector<std::string>{"link.mp3", "real"}));
  EXPECT_EQ(Folder.List("real"), std::vector<std::string>{"song.mp3"});

  Tag.Erase();
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(ReadFile(target), TailBytes);
}

}  // namespace
