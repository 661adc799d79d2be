// Frames and the frame collection: parsing the frame area of each version, the frame
// flags and their optional fields, compression, unsynchronisation, the 2.2 compressed
// meta frame, the property rules and writing in the version to save.

#include <gtest/gtest.h>

#include <string>
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
using builders::LoadFrames;
using builders::Payload;
using builders::SaveFrames;
using builders::Str;
using builders::SyncSafe;
using builders::Text;
using builders::Zeros;
using builders::Zlib;

using Flags = TID3v2FrameHeaderFlags;

class FramesTest : public testing::Test {
 protected:
  FramesTest() { Tag.SetName("ID3v2Tag"); }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (int i = 0; i < Tag.Frames().Count(); ++i) names.push_back(Tag.Frames()[i].Name());
    return names;
  }

  TID3v2Frame& AddFrame(TID3v2FrameID id, const Bytes& payload) {
    TID3v2Frame& frame = Tag.Frames().Add();
    frame.SetFrameID(id);
    frame.SetData(payload);
    return frame;
  }

  testutil::TErrorCapture Errors;
  TID3v2Tag Tag;
};

// --- The frame area of each version ------------------------------------------------------

struct TAreaCase {
  const char* Name;
  int Major;
  Bytes Area;
  std::vector<std::string> Names;
  std::vector<TID3v2FrameID> IDs;
  std::vector<Bytes> Payloads;
  int Padding;
};

class ParseArea : public FramesTest, public testing::WithParamInterface<TAreaCase> {};

TEST_P(ParseArea, ReadsFramesInOrderThenPadding) {
  const TAreaCase& c = GetParam();
  EXPECT_EQ(LoadFrames(Tag, c.Major, c.Area), int(c.Names.size()));
  EXPECT_EQ(Names(), c.Names);
  for (size_t i = 0; i < c.IDs.size() && int(i) < Tag.Frames().Count(); ++i) {
    EXPECT_EQ(Tag.Frames()[int(i)].FrameID(), c.IDs[i]) << i;
    EXPECT_EQ(Payload(Tag.Frames()[int(i)]), c.Payloads[i]) << i;
  }
  EXPECT_EQ(Tag.Padding(), c.Padding);
  EXPECT_TRUE(Errors.Messages().empty());
}

const Bytes kLong(200, 'x');  // a size above 127 tells sync-safe from big-endian sizes

INSTANTIATE_TEST_SUITE_P(
    Versions, ParseArea,
    testing::Values(
        TAreaCase{"V22", 2, Cat({Frame22("TT2", Text("abc")), Frame22("TP1", Text("x")), Zeros(5)}),
                  {"TT2", "TP1"}, {fiTitle, fiArtist}, {Text("abc"), Text("x")}, 5},
        TAreaCase{"V23", 3, Cat({Frame23("TIT2", Text("abc")), Frame23("TPE1", kLong), Zeros(7)}),
                  {"TIT2", "TPE1"}, {fiTitle, fiArtist}, {Text("abc"), kLong}, 7},
        TAreaCase{"V24SyncSafeSize", 4, Cat({Frame24("TPE1", kLong), Frame24("TIT2", Text("abc")), Zeros(1)}),
                  {"TPE1", "TIT2"}, {fiArtist, fiTitle}, {kLong, Text("abc")}, 1},
        TAreaCase{"V22LongFrame", 2, Cat({Frame22("COM", kLong)}), {"COM"}, {fiComments}, {kLong}, 0},
        TAreaCase{"OnlyPadding", 3, Zeros(100), {}, {}, {}, 100},
        TAreaCase{"Empty", 4, {}, {}, {}, {}, 0},
        TAreaCase{"UnknownIdentifierKept", 3, Cat({Frame23("ZZZZ", Str("raw")), Frame23("TIT2", Text("a"))}),
                  {"ZZZZ", "TIT2"}, {fiUnknown, fiTitle}, {Str("raw"), Text("a")}, 0},
        // Garbage where a frame should start is where the padding begins.
        TAreaCase{"InvalidNameEndsFrames", 3,
                  Cat({Frame23("TIT2", Text("a")), Frame23("tpe1", Text("b")), Frame23("TALB", Text("c"))}),
                  {"TIT2"}, {fiTitle}, {Text("a")}, 24},
        // A frame that runs past the end ends the area; the frames before it stay.
        TAreaCase{"TruncatedFrameV23", 3,
                  Cat({Frame23("TIT2", Text("a")), Str("TPE1"), BE(100, 4), Zeros(2), Text("short")}),
                  {"TIT2"}, {fiTitle}, {Text("a")}, 16},
        TAreaCase{"TruncatedFrameV22", 2, Cat({Frame22("TT2", Text("a")), Str("TP1"), BE(50, 3), Text("b")}),
                  {"TT2"}, {fiTitle}, {Text("a")}, 8},
        TAreaCase{"TruncatedFrameV24", 4,
                  Cat({Frame24("TIT2", Text("a")), Frame24("TALB", Text("b")), Str("TPE1"), SyncSafe(1000), Zeros(2)}),
                  {"TIT2", "TALB"}, {fiTitle, fiAlbum}, {Text("a"), Text("b")}, 10},
        // The optional fields must fit in the size: four bytes of decompressed size
        // cannot live in a frame of two.
        TAreaCase{"OptionalFieldsLargerThanFrame", 3,
                  Cat({Frame23("TIT2", Text("a")), Str("TPE1"), BE(2, 4), {0, 0x80}, BE(9, 4)}),
                  {"TIT2"}, {fiTitle}, {Text("a")}, 14},
        TAreaCase{"UnknownMajorVersionHasNoFrames", 5, Frame23("TIT2", Text("a")), {}, {}, {}, 12}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(FramesTest, FooterTagReportsNoPadding) {
  LoadFrames(Tag, 4, Cat({Frame24("TIT2", Text("a")), Zeros(50)}), 0x10);
  EXPECT_EQ(Tag.Frames().Count(), 1);
  EXPECT_EQ(Tag.Padding(), 0);
}

TEST_F(FramesTest, ParsingTellsTheTagWithTheCollectionAsSender) {
  std::vector<void*> senders;
  Tag.SetOnReadTag([&](void* sender) { senders.push_back(sender); });
  LoadFrames(Tag, 3, Frame23("TIT2", Text("a")));
  EXPECT_EQ(senders, std::vector<void*>{&Tag.Frames()});
}

TEST_F(FramesTest, ParsingReplacesTheFramesHeldBefore) {
  LoadFrames(Tag, 3, Cat({Frame23("TIT2", Text("a")), Frame23("TPE1", Text("b"))}));
  LoadFrames(Tag, 3, Frame23("TALB", Text("c")));
  EXPECT_EQ(Names(), std::vector<std::string>{"TALB"});
}

// --- Frame header flags ------------------------------------------------------------------

struct TFlagsCase {
  const char* Name;
  int Major;
  uint8_t Status, Format;
  Bytes Extras;
  Flags Expected;
  uint8_t GroupID = 0, EncryptionID = 0;
  uint32_t DataLength = 0;
};

class ParseFlags : public FramesTest, public testing::WithParamInterface<TFlagsCase> {};

TEST_P(ParseFlags, MapsBitsAndReadsTheOptionalFieldsInOrder) {
  const TFlagsCase& c = GetParam();
  const Bytes payload = Str("payload");
  const auto frame = c.Major == 3 ? Frame23 : Frame24;
  ASSERT_EQ(LoadFrames(Tag, c.Major, Cat({frame("TIT2", payload, c.Status, c.Format, c.Extras),
                                          frame("TPE1", Text("next"), 0, 0, {})})),
            2);
  const TID3v2Frame& f = Tag.Frames()[0];
  EXPECT_EQ(f.Flags(), c.Expected);
  EXPECT_EQ(f.GroupID(), c.GroupID);
  EXPECT_EQ(f.EncryptionID(), c.EncryptionID);
  EXPECT_EQ(f.DataLength(), c.DataLength);
  // Encrypted payloads are carried as they are, even when flagged compressed.
  EXPECT_EQ(Payload(f), payload);
  // The size counts the optional fields: the next frame is found where it is.
  EXPECT_EQ(Payload(Tag.Frames()[1]), Text("next"));
}

INSTANTIATE_TEST_SUITE_P(
    Bits, ParseFlags,
    testing::Values(
        TFlagsCase{"V23TagAlterDiscarded", 3, 0x80, 0, {}, {fhfTagAlterDiscarded}},
        TFlagsCase{"V23FileAlterDiscarded", 3, 0x40, 0, {}, {fhfFileAlterDiscarded}},
        TFlagsCase{"V23ReadOnly", 3, 0x20, 0, {}, {fhfReadOnly}},
        TFlagsCase{"V23UnlistedBitsIgnored", 3, 0x1F, 0x1F, {}, {}},
        TFlagsCase{"V23Encrypted", 3, 0, 0x40, {0x81}, {fhfEncrypted}, 0, 0x81},
        TFlagsCase{"V23Grouping", 3, 0, 0x20, {0x07}, {fhfGrouping}, 0x07},
        TFlagsCase{"V23EncryptionBeforeGroup", 3, 0, 0x60, {0x81, 0x07}, {fhfEncrypted, fhfGrouping}, 0x07, 0x81},
        TFlagsCase{"V23CompressedEncrypted", 3, 0, 0xC0, Cat({BE(100, 4), {0x81}}),
                   {fhfCompressed, fhfEncrypted}, 0, 0x81, 100},
        TFlagsCase{"V24TagAlterDiscarded", 4, 0x40, 0, {}, {fhfTagAlterDiscarded}},
        TFlagsCase{"V24FileAlterDiscarded", 4, 0x20, 0, {}, {fhfFileAlterDiscarded}},
        TFlagsCase{"V24ReadOnly", 4, 0x10, 0, {}, {fhfReadOnly}},
        TFlagsCase{"V24UnlistedBitsIgnored", 4, 0x8F, 0xB0, {}, {}},
        TFlagsCase{"V24Grouping", 4, 0, 0x40, {0x07}, {fhfGrouping}, 0x07},
        TFlagsCase{"V24Encrypted", 4, 0, 0x04, {0x81}, {fhfEncrypted}, 0, 0x81},
        TFlagsCase{"V24GroupBeforeEncryption", 4, 0, 0x44, {0x07, 0x81}, {fhfGrouping, fhfEncrypted}, 0x07, 0x81},
        TFlagsCase{"V24DataLengthIndicator", 4, 0, 0x01, SyncSafe(300), {fhfDataLengthIndicator}, 0, 0, 300},
        TFlagsCase{"V24AllFields", 4, 0, 0x45, Cat({{0x07, 0x81}, SyncSafe(300)}),
                   {fhfGrouping, fhfEncrypted, fhfDataLengthIndicator}, 0x07, 0x81, 300},
        TFlagsCase{"V24CompressedEncrypted", 4, 0, 0x0D, Cat({{0x81}, SyncSafe(100)}),
                   {fhfCompressed, fhfEncrypted, fhfDataLengthIndicator}, 0, 0x81, 100}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(FramesTest, StatusFlagsAndSymbolsAreWrittenInTheLayoutOfTheVersionToSave) {
  const Bytes payload = Text("abc");
  LoadFrames(Tag, 3, Frame23("TIT2", payload, 0xE0, 0x60, {0x81, 0x07}));
  const Bytes as23 = SaveFrames(Tag);
  EXPECT_EQ(as23, Frame23("TIT2", payload, 0xE0, 0x60, {0x81, 0x07}));

  Tag.SetVersionToSave(ive2_4);
  EXPECT_EQ(SaveFrames(Tag), Frame24("TIT2", payload, 0x70, 0x44, {0x07, 0x81}));

  // 2.2 frame headers have no flags at all.
  Tag.SetVersionToSave(ive2_2);
  EXPECT_EQ(SaveFrames(Tag), Frame22("TT2", payload));
}

TEST_F(FramesTest, SymbolSettersTurnTheirFlagOn) {
  TID3v2Frame& frame = AddFrame(fiTitle, Text("abc"));
  frame.SetEncryptionID(0x81);
  frame.SetGroupID(0x07);
  EXPECT_EQ(frame.Flags(), (Flags{fhfEncrypted, fhfGrouping}));
  EXPECT_TRUE(Errors.Messages().empty());
  EXPECT_EQ(SaveFrames(Tag), Frame23("TIT2", Text("abc"), 0, 0x60, {0x81, 0x07}));
}

// --- Compression ---------------------------------------------------------------------------

Bytes Compressible() {
  Bytes plain = Text("");
  for (int i = 0; i < 300; ++i) plain.push_back(uint8_t('a' + i % 7));
  return plain;
}

TEST_F(FramesTest, CompressedFrameV23ReadsInflatedAndIsCompressedAgainWhenSaved) {
  const Bytes plain = Compressible();
  LoadFrames(Tag, 3, Frame23("TIT2", Zlib(plain), 0, 0x80, BE(uint32_t(plain.size()), 4)));
  TID3v2Frame& frame = Tag.Frames()[0];
  EXPECT_EQ(Payload(frame), plain);
  EXPECT_EQ(frame.DataLength(), 0u);
  EXPECT_TRUE(frame.Flags().Has(fhfCompressed));

  const Bytes written = SaveFrames(Tag);
  ASSERT_GT(written.size(), 14u);
  const uint32_t size = tags::ReadBigEndian(std::span(written).subspan(4, 4));
  EXPECT_EQ(size, written.size() - 10) << "the size counts the 4-byte decompressed size";
  EXPECT_EQ(written[8], 0);
  EXPECT_EQ(written[9], 0x80);
  EXPECT_EQ(tags::ReadBigEndian(std::span(written).subspan(10, 4)), plain.size());
  EXPECT_EQ(builders::Inflate(Bytes(written.begin() + 14, written.end()), plain.size()), plain);
  EXPECT_LT(written.size(), plain.size());
  EXPECT_EQ(frame.DataLength(), plain.size());

  // The payload in memory stays plain, so a second save is the same, not compressed twice.
  EXPECT_EQ(Payload(frame), plain);
  EXPECT_EQ(SaveFrames(Tag), written);
}

TEST_F(FramesTest, CompressedFrameV24ReadsThroughTheDataLengthIndicator) {
  const Bytes plain = Compressible();
  LoadFrames(Tag, 4, Frame24("TIT2", Zlib(plain), 0, 0x09, SyncSafe(plain.size())));
  EXPECT_EQ(Payload(Tag.Frames()[0]), plain);
  EXPECT_EQ(Tag.Frames()[0].Flags(), (Flags{fhfCompressed, fhfDataLengthIndicator}));
}

TEST_F(FramesTest, CompressedFrameSavedAs24AlwaysGetsADataLengthIndicator) {
  const Bytes plain = Compressible();
  LoadFrames(Tag, 3, Frame23("TIT2", Zlib(plain), 0, 0x80, BE(uint32_t(plain.size()), 4)));
  Tag.SetVersionToSave(ive2_4);
  const Bytes written = SaveFrames(Tag);
  ASSERT_GT(written.size(), 14u);
  EXPECT_EQ(tags::DecodeSyncSafe(std::span(written).subspan(4, 4)), written.size() - 10);
  EXPECT_EQ(written[9], 0x09);
  EXPECT_EQ(tags::DecodeSyncSafe(std::span(written).subspan(10, 4)), plain.size());
  EXPECT_EQ(builders::Inflate(Bytes(written.begin() + 14, written.end()), plain.size()), plain);
}

TEST_F(FramesTest, CompressedFrameSavedAs22IsWrittenPlain) {
  const Bytes plain = Compressible();
  LoadFrames(Tag, 3, Frame23("TIT2", Zlib(plain), 0, 0x80, BE(uint32_t(plain.size()), 4)));
  Tag.SetVersionToSave(ive2_2);
  EXPECT_EQ(SaveFrames(Tag), Frame22("TT2", plain));
}

TEST_F(FramesTest, SettingCompressionCompressesOnSave) {
  const Bytes plain = Compressible();
  TID3v2Frame& frame = AddFrame(fiTitle, plain);
  frame.SetFlags({fhfCompressed});
  const Bytes written = SaveFrames(Tag);
  ASSERT_GT(written.size(), 14u);
  EXPECT_EQ(written[9], 0x80);
  EXPECT_EQ(builders::Inflate(Bytes(written.begin() + 14, written.end()), plain.size()), plain);
}

TEST_F(FramesTest, InflatedSizeDifferentFromDeclaredKeepsTheStoredBytes) {
  const Bytes plain = Compressible();
  const Bytes stored = Frame23("TIT2", Zlib(plain), 0, 0x80, BE(uint32_t(plain.size() + 1), 4));
  LoadFrames(Tag, 3, stored);
  const TID3v2Frame& frame = Tag.Frames()[0];
  EXPECT_EQ(Payload(frame), Zlib(plain));
  EXPECT_EQ(frame.DataLength(), plain.size() + 1);
  EXPECT_TRUE(frame.Flags().Has(fhfCompressed));
  EXPECT_TRUE(frame.StoredCompressed());
  // Written back as it stood, never compressed a second time.
  EXPECT_EQ(SaveFrames(Tag), stored);
}

TEST_F(FramesTest, EncryptedCompressedFrameIsNeverInflated) {
  int decompressCalls = 0;
  Tag.SetOnFrameDecompress([&](TID3v2Frame*, TMemoryStream&) { ++decompressCalls; });
  const Bytes secret = testutil::RandomBytes(40, 3);
  const Bytes stored = Frame23("TIT2", secret, 0, 0xC0, Cat({BE(1000, 4), {0x81}}));
  LoadFrames(Tag, 3, stored);
  EXPECT_EQ(decompressCalls, 0);
  EXPECT_EQ(Payload(Tag.Frames()[0]), secret);
  EXPECT_EQ(SaveFrames(Tag), stored);
}

TEST_F(FramesTest, DecompressNotificationSeesTheCompressedPayload) {
  const Bytes plain = Compressible();
  std::vector<Bytes> seen;
  TID3v2Frame* seenFrame = nullptr;
  Tag.SetOnFrameDecompress([&](TID3v2Frame* frame, TMemoryStream& stream) {
    seenFrame = frame;
    seen.push_back(stream.Bytes());
  });
  LoadFrames(Tag, 3, Frame23("TIT2", Zlib(plain), 0, 0x80, BE(uint32_t(plain.size()), 4)));
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], Zlib(plain));
  EXPECT_NE(seenFrame, nullptr);
}

struct TCorruptCase {
  const char* Name;
  Bytes Packed;
};

class CorruptZlib : public FramesTest, public testing::WithParamInterface<TCorruptCase> {};

TEST_P(CorruptZlib, ThrowsAndKeepsTheFramesBefore) {
  const Bytes area = Cat({Frame23("TPE1", Text("before")),
                          Frame23("TIT2", GetParam().Packed, 0, 0x80, BE(300, 4)),
                          Frame23("TALB", Text("after"))});
  EXPECT_THROW(LoadFrames(Tag, 3, area), EDecompressionError);
  EXPECT_EQ(Names(), std::vector<std::string>{"TPE1"});
}

Bytes Truncated(Bytes bytes) {
  bytes.resize(bytes.size() / 2);
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CorruptZlib,
    testing::Values(TCorruptCase{"NotZlib", Str("this is not a zlib stream")},
                    TCorruptCase{"CutShort", Truncated(Zlib(Compressible()))},
                    TCorruptCase{"Empty", {}}),
    [](const auto& info) { return std::string(info.param.Name); });

// --- Unsynchronisation and the data-length indicator in 2.4 ------------------------------------

TEST_F(FramesTest, UnsynchronisedFrameV24IsResynchronisedOnRead) {
  LoadFrames(Tag, 4, Cat({Frame24("TIT2", {0xFF, 0x00, 0xFB}, 0, 0x02), Frame24("TPE1", Text("b"))}));
  ASSERT_EQ(Tag.Frames().Count(), 2);
  EXPECT_EQ(Payload(Tag.Frames()[0]), (Bytes{0xFF, 0xFB}));
  EXPECT_TRUE(Tag.Frames()[0].Flags().Has(fhfUnsynchronisation));
  EXPECT_EQ(Payload(Tag.Frames()[1]), Text("b"));
}

TEST_F(FramesTest, UnsynchronisedFrameV24WithIndicator) {
  LoadFrames(Tag, 4, Frame24("TIT2", {0xFF, 0x00, 0xE0, 0x41}, 0, 0x03, SyncSafe(3)));
  EXPECT_EQ(Payload(Tag.Frames()[0]), (Bytes{0xFF, 0xE0, 0x41}));
  EXPECT_EQ(Tag.Frames()[0].DataLength(), 3u);
}

TEST_F(FramesTest, FrameThatNeedsNoUnsynchronisationLosesTheFlagAndTheTagHeaderToo) {
  LoadFrames(Tag, 4, Frame24("TIT2", {0xFF, 0x00, 0xFB}, 0, 0x02), 0x80);
  ASSERT_TRUE(Tag.Header().Flags().Has(hfUnsynchronisation));
  Tag.SetVersionToSave(ive2_4);
  Tag.Frames()[0].SetData(Text("plain"));
  EXPECT_EQ(SaveFrames(Tag), Frame24("TIT2", Text("plain")));
  EXPECT_FALSE(Tag.Frames()[0].Flags().Has(fhfUnsynchronisation));
  EXPECT_FALSE(Tag.Header().Flags().Has(hfUnsynchronisation));
}

TEST_F(FramesTest, FrameThatNeedsUnsynchronisationIsWrittenWithItAndStaysPlainInMemory) {
  LoadFrames(Tag, 4, Frame24("TIT2", {0x41, 0xFF, 0x00, 0xE0}, 0, 0x02), 0x80);
  Tag.SetVersionToSave(ive2_4);
  const Bytes written = Frame24("TIT2", {0x41, 0xFF, 0x00, 0xE0}, 0, 0x02);
  EXPECT_EQ(SaveFrames(Tag), written);
  EXPECT_EQ(Payload(Tag.Frames()[0]), (Bytes{0x41, 0xFF, 0xE0}));
  EXPECT_TRUE(Tag.Header().Flags().Has(hfUnsynchronisation));
  EXPECT_EQ(SaveFrames(Tag), written) << "a second save must not unsynchronise twice";
}

TEST_F(FramesTest, IndicatorFrameV24SavedAs23HasNoIndicatorAndAMatchingSize) {
  LoadFrames(Tag, 4, Frame24("TIT2", Text("abc"), 0, 0x01, SyncSafe(4)));
  ASSERT_EQ(Tag.VersionToSave(), ive2_3);
  EXPECT_EQ(SaveFrames(Tag), Frame23("TIT2", Text("abc")));
}

TEST_F(FramesTest, UnsynchronisedFrameV24SavedAs23IsWrittenPlain) {
  LoadFrames(Tag, 4, Frame24("TIT2", {0x41, 0xFF, 0x00, 0xE0}, 0, 0x02));
  EXPECT_EQ(SaveFrames(Tag), Frame23("TIT2", {0x41, 0xFF, 0xE0}));
}

TEST_F(FramesTest, IndicatorFollowsTheNewPayloadWhenSavedAs24) {
  LoadFrames(Tag, 4, Frame24("TIT2", Text("abc"), 0, 0x01, SyncSafe(4)));
  Tag.SetVersionToSave(ive2_4);
  Tag.Frames()[0].SetData(Text("longer text"));
  EXPECT_EQ(SaveFrames(Tag), Frame24("TIT2", Text("longer text"), 0, 0x01, SyncSafe(12)));
}

// --- The 2.2 compressed meta frame ------------------------------------------------------------

Bytes MetaFrame(uint8_t method, uint32_t declared, const Bytes& packed) {
  return Frame22("CDM", Cat({{method}, BE(declared, 4), packed}));
}

TEST_F(FramesTest, CompressedMetaFrameIsReplacedByTheFrameInside) {
  const Bytes inner = Frame22("TT2", Text("Hidden"));
  LoadFrames(Tag, 2, Cat({MetaFrame('z', uint32_t(inner.size()), Zlib(inner)), Frame22("TP1", Text("Next")), Zeros(3)}));
  ASSERT_EQ(Names(), (std::vector<std::string>{"TT2", "TP1"}));
  const TID3v2Frame& frame = Tag.Frames()[0];
  EXPECT_EQ(frame.FrameID(), fiTitle);
  EXPECT_EQ(Payload(frame), Text("Hidden"));
  EXPECT_EQ(frame.DataLength(), Text("Hidden").size());
  EXPECT_EQ(Payload(Tag.Frames()[1]), Text("Next"));
  EXPECT_EQ(Tag.Padding(), 3);

  // The inner frame is an ordinary title from here on.
  EXPECT_EQ(SaveFrames(Tag), Cat({Frame23("TIT2", Text("Hidden")), Frame23("TPE1", Text("Next"))}));
}

TEST_F(FramesTest, CompressedMetaFrameOfAnotherMethodIsSkippedWhole) {
  const Bytes meta = MetaFrame('x', 99, Str("opaque"));
  LoadFrames(Tag, 2, Cat({meta, Frame22("TP1", Text("Next"))}));
  ASSERT_EQ(Names(), (std::vector<std::string>{"CDM", "TP1"}));
  EXPECT_EQ(Tag.Frames()[0].FrameID(), fiMetaCompressed);
  EXPECT_EQ(Payload(Tag.Frames()[1]), Text("Next"));
  // No version can carry it.
  Tag.SetVersionToSave(ive2_2);
  EXPECT_EQ(SaveFrames(Tag), Frame22("TP1", Text("Next")));
}

TEST_F(FramesTest, CompressedMetaFrameOfWrongSizeStaysAMetaFrame) {
  const Bytes inner = Frame22("TT2", Text("Hidden"));
  LoadFrames(Tag, 2, Cat({MetaFrame('z', uint32_t(inner.size() + 5), Zlib(inner)), Frame22("TP1", Text("Next"))}));
  ASSERT_EQ(Names(), (std::vector<std::string>{"CDM", "TP1"}));
  EXPECT_EQ(Tag.Frames()[0].FrameID(), fiMetaCompressed);
}

TEST_F(FramesTest, CorruptCompressedMetaFrameThrows) {
  EXPECT_THROW(LoadFrames(Tag, 2, Cat({Frame22("TP1", Text("a")), MetaFrame('z', 20, Str("garbage data"))})),
               EDecompressionError);
  EXPECT_EQ(Names(), std::vector<std::string>{"TP1"});
}

// --- Writing and version conversion -------------------------------------------------------------

TEST_F(FramesTest, IdentifiersFollowTheVersionToSaveWithTheSamePayloads) {
  const Bytes kComment = Cat({{0}, Str("eng"), {0}, Str("c")});
  LoadFrames(Tag, 2, Cat({Frame22("TT2", Text("t")), Frame22("TP1", Text("a")), Frame22("COM", kComment)}));
  Tag.SetVersionToSave(ive2_3);
  const Bytes as23 = SaveFrames(Tag);
  EXPECT_EQ(as23, Cat({Frame23("TIT2", Text("t")), Frame23("TPE1", Text("a")), Frame23("COMM", kComment)}));
  Tag.SetVersionToSave(ive2_2);
  EXPECT_EQ(SaveFrames(Tag), Cat({Frame22("TT2", Text("t")), Frame22("TP1", Text("a")), Frame22("COM", kComment)}));
}

struct TConversionCase {
  const char* Name;
  int Major;
  const char* Identifier;
  TID3v2VersionToSave Version;
  const char* Written;  // empty: the frame is dropped
};

class VersionConversion : public FramesTest, public testing::WithParamInterface<TConversionCase> {};

TEST_P(VersionConversion, KeepsTheKindOrDropsIt) {
  const TConversionCase& c = GetParam();
  const Bytes payload = Text("1999");
  LoadFrames(Tag, c.Major, Cat({builders::Frame(c.Major, c.Identifier, payload), builders::Frame(c.Major, c.Major == 2 ? "TT2" : "TIT2", Text("t"))}));
  Tag.SetVersionToSave(c.Version);
  const Bytes written = SaveFrames(Tag);
  const std::string title = c.Version == ive2_2 ? "TT2" : "TIT2";
  const int major = c.Version + 2;
  if (*c.Written) {
    EXPECT_EQ(written, Cat({builders::Frame(major, c.Written, payload), builders::Frame(major, title, Text("t"))}));
    EXPECT_EQ(Tag.Frames().Count(), 2);
  } else {
    EXPECT_EQ(written, builders::Frame(major, title, Text("t")));
    // Dropped from memory too, not only from the file.
    EXPECT_EQ(Names(), std::vector<std::string>{title});
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VersionConversion,
    testing::Values(
        TConversionCase{"YearTo24", 3, "TYER", ive2_4, ""},
        TConversionCase{"DateTo24", 3, "TDAT", ive2_4, ""},
        TConversionCase{"TimeTo24", 3, "TIME", ive2_4, ""},
        TConversionCase{"OriginalYearTo24", 3, "TORY", ive2_4, ""},
        TConversionCase{"RecordingDatesTo24", 3, "TRDA", ive2_4, ""},
        TConversionCase{"SizeTo24", 3, "TSIZ", ive2_4, ""},
        TConversionCase{"InvolvedPeopleTo24", 3, "IPLS", ive2_4, ""},
        TConversionCase{"EqualizationTo24", 3, "EQUA", ive2_4, ""},
        TConversionCase{"RelativeVolumeTo24", 3, "RVAD", ive2_4, ""},
        TConversionCase{"RecordingTimeTo23", 4, "TDRC", ive2_3, ""},
        TConversionCase{"InvolvedPeople2To23", 4, "TIPL", ive2_3, ""},
        TConversionCase{"MoodTo22", 4, "TMOO", ive2_2, ""},
        TConversionCase{"PositionSynchTo22", 3, "POSS", ive2_2, ""},
        TConversionCase{"RadioStationTo22", 3, "TRSN", ive2_2, ""},
        TConversionCase{"RadioOwnerTo22", 3, "TRSO", ive2_2, ""},
        TConversionCase{"RadioPageTo22", 3, "WORS", ive2_2, ""},
        TConversionCase{"PaymentTo22", 3, "WPAY", ive2_2, ""},
        TConversionCase{"PositionSynchFrom22", 2, "POS", ive2_3, "POSS"},
        TConversionCase{"RadioStationFrom22", 2, "TRN", ive2_4, "TRSN"},
        TConversionCase{"PaymentFrom22", 2, "WPY", ive2_3, "WPAY"},
        TConversionCase{"PositionSynchDropped22", 2, "POS", ive2_2, ""},
        TConversionCase{"EncryptedMetaKept22", 2, "CRM", ive2_2, "CRM"},
        TConversionCase{"EncryptedMetaTo23", 2, "CRM", ive2_3, ""},
        TConversionCase{"YearFrom22", 2, "TYE", ive2_3, "TYER"},
        TConversionCase{"YearStays23", 3, "TYER", ive2_3, "TYER"},
        TConversionCase{"RecordingTimeStays24", 4, "TDRC", ive2_4, "TDRC"},
        // Frames nobody knows are carried within their own version only: their layout
        // may differ in another.
        TConversionCase{"UnknownKept23", 3, "ZZZZ", ive2_3, "ZZZZ"},
        TConversionCase{"UnknownKept24", 4, "ZZZZ", ive2_4, "ZZZZ"},
        TConversionCase{"UnknownKept22", 2, "ZZZ", ive2_2, "ZZZ"},
        TConversionCase{"UnknownDropped23To24", 3, "ZZZZ", ive2_4, ""},
        TConversionCase{"UnknownDropped24To23", 4, "ZZZZ", ive2_3, ""},
        TConversionCase{"UnknownDropped22To23", 2, "ZZZ", ive2_3, ""}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(FramesTest, EmptyFramesAreNeitherWrittenNorKept) {
  AddFrame(fiTitle, {});
  AddFrame(fiArtist, Text("a"));
  AddFrame(fiAlbum, {});
  EXPECT_EQ(SaveFrames(Tag), Frame23("TPE1", Text("a")));
  EXPECT_EQ(Tag.Frames().Count(), 1);
}

TEST_F(FramesTest, SaveReturnsTheFramesLeft) {
  AddFrame(fiTitle, {});
  AddFrame(fiRecordingTime, Text("2001"));
  TMemoryStream out;
  EXPECT_EQ(Tag.Frames().SaveToStream(out), 0);
  EXPECT_EQ(out.Size(), 0u);
}

TEST_F(FramesTest, OversizedFrameIn22IsDroppedWithAMessage) {
  Tag.SetVersionToSave(ive2_2);
  AddFrame(fiTitle, Text("before"));
  AddFrame(fiAttachedPicture, Bytes(16777216, 0x55));
  AddFrame(fiArtist, Text("after"));
  const Bytes written = SaveFrames(Tag);
  EXPECT_EQ(written, Cat({Frame22("TT2", Text("before")), Frame22("TP1", Text("after"))}));
  EXPECT_EQ(Errors.Texts(), std::vector<std::string>{"ID3v2Tag: Frame size more than 16 MB"});
  EXPECT_EQ(Tag.Frames().Count(), 2);
}

TEST_F(FramesTest, LargestFrameFor22IsStillWritten) {
  Tag.SetVersionToSave(ive2_2);
  AddFrame(fiAttachedPicture, Bytes(16777215, 0x55));
  const Bytes written = SaveFrames(Tag);
  EXPECT_EQ(written.size(), 16777215u + 6);
  EXPECT_EQ(Bytes(written.begin(), written.begin() + 6), (Bytes{'P', 'I', 'C', 0xFF, 0xFF, 0xFF}));
  EXPECT_TRUE(Errors.Messages().empty());
}

// --- Frame properties ---------------------------------------------------------------------------

TEST_F(FramesTest, NewFrameIsBlank) {
  const TID3v2Frame& frame = Tag.Frames().Add();
  EXPECT_EQ(frame.FrameID(), fiUnknown);
  EXPECT_EQ(frame.NameBytes(), TID3v2FrameName{});
  EXPECT_TRUE(frame.Flags().Empty());
  EXPECT_EQ(frame.DataSize(), 0u);
  EXPECT_EQ(frame.DataLength(), 0u);
}

struct TSetFlagsCase {
  const char* Name;
  TID3v2VersionToSave Version;
  Flags Initial;  // set while saving 2.4, before switching to Version
  bool Encrypted;
  Flags Requested;
  Flags Expected;
  const char* Message;
};

class SetFlags : public FramesTest, public testing::WithParamInterface<TSetFlagsCase> {};

TEST_P(SetFlags, FollowsTheRulesOfTheVersionToSave) {
  const TSetFlagsCase& c = GetParam();
  Tag.SetVersionToSave(ive2_4);
  TID3v2Frame& frame = AddFrame(fiTitle, Text("abc"));
  frame.SetFlags(c.Initial);
  if (c.Encrypted) frame.SetEncryptionID(1);
  Tag.SetVersionToSave(c.Version);
  Errors.Clear();

  frame.SetFlags(c.Requested);
  EXPECT_EQ(frame.Flags(), c.Expected);
  // Frame messages carry no component name.
  EXPECT_EQ(Errors.Texts(), *c.Message ? std::vector<std::string>{c.Message} : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SetFlags,
    testing::Values(
        TSetFlagsCase{"RefusedFor22", ive2_2, {}, false, {fhfReadOnly}, {}, sNotApplicable},
        TSetFlagsCase{"RefusedFor22EvenUnchanged", ive2_2, {}, false, {}, {}, sNotApplicable},
        TSetFlagsCase{"Unchanged", ive2_3, {fhfReadOnly}, false, {fhfReadOnly}, {fhfReadOnly}, ""},
        TSetFlagsCase{"Compress23", ive2_3, {}, false, {fhfCompressed}, {fhfCompressed}, ""},
        TSetFlagsCase{"Compress24AddsIndicator", ive2_4, {}, false, {fhfCompressed},
                      {fhfCompressed, fhfDataLengthIndicator}, ""},
        TSetFlagsCase{"Uncompress24DropsIndicator", ive2_4, {fhfCompressed}, false, {}, {}, ""},
        TSetFlagsCase{"IndicatorIsNotSetDirectly", ive2_4, {}, false, {fhfDataLengthIndicator}, {}, ""},
        TSetFlagsCase{"IndicatorStaysWhileCompressed", ive2_4, {fhfCompressed}, false,
                      {fhfCompressed, fhfReadOnly}, {fhfCompressed, fhfReadOnly, fhfDataLengthIndicator}, ""},
        // Compression of an unsynchronised payload cannot change: the order of the two
        // transformations would be lost.
        TSetFlagsCase{"CompressionLockedWhileUnsynchronised", ive2_4, {fhfUnsynchronisation}, false,
                      {fhfUnsynchronisation, fhfCompressed, fhfReadOnly}, {fhfUnsynchronisation}, ""},
        TSetFlagsCase{"UnsynchronisationDroppedFor23", ive2_3, {}, false, {fhfUnsynchronisation, fhfReadOnly},
                      {fhfReadOnly}, ""},
        TSetFlagsCase{"UnsynchronisationKeptFor24", ive2_4, {}, false, {fhfUnsynchronisation},
                      {fhfUnsynchronisation}, ""},
        TSetFlagsCase{"EncryptionRefused", ive2_3, {fhfReadOnly}, false, {fhfEncrypted}, {fhfReadOnly},
                      sEncryptionNotSupported},
        TSetFlagsCase{"EncryptionWithCompressionRefused", ive2_4, {}, false, {fhfEncrypted, fhfCompressed}, {},
                      sEncryptionNotSupported},
        TSetFlagsCase{"EncryptionAlreadyOn", ive2_3, {}, true, {fhfEncrypted, fhfGrouping},
                      {fhfEncrypted, fhfGrouping}, ""},
        TSetFlagsCase{"EncryptionTurnedOff", ive2_3, {}, true, {}, {}, ""}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(FramesTest, SwitchingTo23Or22RemovesUnsynchronisationAndIndicator) {
  Tag.SetVersionToSave(ive2_4);
  TID3v2Frame& frame = AddFrame(fiTitle, Text("abc"));
  frame.SetFlags({fhfCompressed, fhfUnsynchronisation, fhfReadOnly});
  ASSERT_EQ(frame.Flags(), (Flags{fhfCompressed, fhfUnsynchronisation, fhfReadOnly, fhfDataLengthIndicator}));
  Tag.SetVersionToSave(ive2_3);
  EXPECT_EQ(frame.Flags(), (Flags{fhfCompressed, fhfReadOnly}));
}

TEST_F(FramesTest, NameAndKindFollowTheVersionOfTheTagAsRead) {
  TID3v2Frame& fresh = Tag.Frames().Add();
  // No tag read yet: there is no version to name a kind in.
  fresh.SetFrameID(fiTitle);
  EXPECT_EQ(fresh.FrameID(), fiTitle);
  EXPECT_EQ(fresh.Name(), "");
  fresh.SetName("TIT2");
  EXPECT_EQ(fresh.Name(), "TIT2");
  EXPECT_EQ(fresh.FrameID(), fiUnknown);

  LoadFrames(Tag, 3, {});
  TID3v2Frame& frame = Tag.Frames().Add();
  frame.SetName("TIT2");
  EXPECT_EQ(frame.FrameID(), fiTitle);
  frame.SetName("TT2");
  EXPECT_EQ(frame.NameBytes(), (TID3v2FrameName{'T', 'T', '2', 0}));
  EXPECT_EQ(frame.FrameID(), fiUnknown);
  frame.SetName("TPE1");
  frame.SetName("TOOLONG");
  EXPECT_EQ(frame.Name(), "TPE1");
  EXPECT_EQ(frame.FrameID(), fiArtist);
  frame.SetName("TI");
  EXPECT_EQ(frame.Name(), "TPE1");
  frame.SetFrameID(fiComments);
  EXPECT_EQ(frame.Name(), "COMM");

  LoadFrames(Tag, 2, {});
  TID3v2Frame& old = Tag.Frames().Add();
  old.SetFrameID(fiTitle);
  EXPECT_EQ(old.NameBytes(), (TID3v2FrameName{'T', 'T', '2', 0}));
  old.SetName("TP1");
  EXPECT_EQ(old.FrameID(), fiArtist);
  old.SetFrameID(fiRecordingTime);
  EXPECT_EQ(old.NameBytes(), TID3v2FrameName{});
}

TEST_F(FramesTest, KindDecidesTheNameWritten) {
  TID3v2Frame& frame = AddFrame(fiTitle, Text("abc"));
  ASSERT_EQ(frame.Name(), "");
  EXPECT_EQ(SaveFrames(Tag), Frame23("TIT2", Text("abc")));
  EXPECT_EQ(frame.Name(), "TIT2");
}

TEST_F(FramesTest, DisplayNameIsNameAndDescription) {
  LoadFrames(Tag, 3, Cat({Frame23("COMM", Str("x")), Frame23("TIT2", Str("x")), Frame23("ZZZZ", Str("x"))}));
  EXPECT_EQ(Tag.Frames()[0].GetDisplayName(), "COMM - Comments");
  EXPECT_EQ(Tag.Frames()[1].GetDisplayName(), "TIT2 - Title/songname/content description");
  EXPECT_EQ(Tag.Frames()[2].GetDisplayName(), "ZZZZ - Unknown frame");
  LoadFrames(Tag, 2, Frame22("TT2", Str("x")));
  EXPECT_EQ(Tag.Frames()[0].GetDisplayName(), "TT2 - Title/songname/content description");
  EXPECT_EQ(Tag.Frames().Add().GetDisplayName(), "TID3v2Frame");
}

TEST_F(FramesTest, AssignCopiesEverythingAndSharesNothing) {
  LoadFrames(Tag, 4, Frame24("TIT2", Text("abc"), 0x10, 0x45, Cat({{0x07, 0x81}, SyncSafe(4)})));
  const TID3v2Frame& source = Tag.Frames()[0];
  TID3v2Tag other;
  TID3v2Frame& copy = other.Frames().Add();
  copy.Assign(source);
  EXPECT_EQ(copy.Name(), "TIT2");
  EXPECT_EQ(copy.FrameID(), fiTitle);
  EXPECT_EQ(copy.Flags(), source.Flags());
  EXPECT_EQ(copy.GroupID(), 0x07);
  EXPECT_EQ(copy.EncryptionID(), 0x81);
  EXPECT_EQ(copy.DataLength(), 4u);
  EXPECT_EQ(Payload(copy), Text("abc"));
  EXPECT_EQ(copy.Collection(), &other.Frames());

  Tag.Frames()[0].SetData(Text("changed"));
  EXPECT_EQ(Payload(copy), Text("abc"));
}

TEST_F(FramesTest, AssigningFramesReplacesTheCollectionWithCopies) {
  LoadFrames(Tag, 3, Cat({Frame23("TIT2", Text("a")), Frame23("TPE1", Text("b"))}));
  TID3v2Tag other;
  other.Frames().Add().SetFrameID(fiAlbum);
  other.SetFrames(Tag.Frames());
  ASSERT_EQ(other.Frames().Count(), 2);
  EXPECT_EQ(other.Frames()[1].FrameID(), fiArtist);
  EXPECT_EQ(Payload(other.Frames()[1]), Text("b"));
  EXPECT_NE(&other.Frames()[1], &Tag.Frames()[1]);
  other.SetFrames(other.Frames());
  EXPECT_EQ(other.Frames().Count(), 2);
}

TEST_F(FramesTest, CollectionLookups) {
  LoadFrames(Tag, 3, Cat({Frame23("COMM", Str("1")), Frame23("TIT2", Str("2")), Frame23("COMM", Str("3"))}));
  EXPECT_EQ(Tag.CountFrames(fiComments), 2);
  EXPECT_EQ(Tag.CountFrames(fiAlbum), 0);
  ASSERT_NE(Tag.Frames().GetFrame(fiComments), nullptr);
  EXPECT_EQ(Payload(*Tag.Frames().GetFrame(fiComments)), Str("1"));
  EXPECT_EQ(Tag.Frames().GetFrame(fiAlbum), nullptr);
  EXPECT_EQ(Tag.Frames()[2].Index(), 2);

  TID3v2Tag other;
  LoadFrames(other, 3, Frame23("TALB", Str("x")));
  Tag.Frames().SetItems(1, other.Frames()[0]);
  EXPECT_EQ(Names(), (std::vector<std::string>{"COMM", "TALB", "COMM"}));

  Tag.Frames().Delete(0);
  Tag.Frames().Delete(7);
  Tag.Frames().Delete(-1);
  EXPECT_EQ(Names(), (std::vector<std::string>{"TALB", "COMM"}));
  EXPECT_EQ(Tag.Frames()[1].Index(), 1);
}

}  // namespace
