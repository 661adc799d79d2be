// Every way the disk can fail during Open, Commit and Erase of an ID3v2 tag, swept by
// the harness in faultsweep.h. Each run must end in success or in an ETagError, and
// must leave no temporary file behind. After success the MP3 must be exactly what the
// clean run made of it; after a failure exactly what it was, with one exception that
// cannot be helped: an overwrite in place that a failing device cuts short leaves the
// new bytes that went out in front of the old ones (the audio behind the tag region is
// untouched even then). A full disk cannot cause that, as overwriting needs no new space.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "builders.h"
#include "faultsweep.h"
#include "id3v2tag.h"
#include "testutil.h"

namespace {

using builders::Cat;
using builders::Str;
using builders::Text;
using tags::TID3v2Tag;
using tags::test::TFaultOperation;
using tags::test::TFaultSweep;
using tags::test::TSweepFault;
using testutil::Bytes;

// The tag region of the fixtures before the edit: header, frames and padding.
constexpr size_t kTagRegion = 1024;

// Ten MPEG-1 layer III frames (128 kbit/s, 44.1 kHz, 417 bytes each) of noise: the
// sync words make a torn copy easy to spot in a hex dump.
Bytes FakeAudio() {
  Bytes audio;
  for (uint32_t i = 0; i < 10; ++i) {
    const Bytes body = testutil::RandomBytes(417 - 4, 1000 + i);
    audio.insert(audio.end(), {0xFF, 0xFB, 0x90, 0x64});
    audio.insert(audio.end(), body.begin(), body.end());
  }
  return audio;
}

Bytes Padded(const std::string& text, size_t size) {
  Bytes out = Str(text);
  out.resize(size, 0);
  return out;
}

// ID3v1.1: the engine must carry it over untouched as part of the audio.
Bytes Id3v1Block() {
  return Cat({Str("TAG"), Padded("Morning Walk", 30), Padded("The Quiet Ones", 30),
              Padded("Field Recordings", 30), Str("2004"), Padded("recorded outside", 28), {0, 3, 12}});
}

enum class TFixture {
  Id3v23,
  // A 2.4 tag with a footer: the footer belongs to the old region and goes with it.
  Id3v24WithFooter,
};

Bytes OriginalFrames(int major) {
  const auto frame = [&](const char* name, const char* text) { return builders::Frame(major, name, Text(text)); };
  return Cat({frame("TIT2", "Morning Walk"), frame("TPE1", "The Quiet Ones"), frame("TALB", "Field Recordings"),
              frame("TRCK", "3"), frame(major == 3 ? "TYER" : "TDRC", "2004")});
}

Bytes Mp3Fixture(TFixture fixture) {
  if (fixture == TFixture::Id3v23)
    return Cat({builders::Tag(3, 0, OriginalFrames(3), kTagRegion), FakeAudio(), Id3v1Block()});
  const Bytes tag = builders::Tag(4, 0x10, OriginalFrames(4), kTagRegion);
  const Bytes footer = Cat({Str("3DI"), Bytes(tag.begin() + 3, tag.begin() + 10)});
  return Cat({tag, footer, FakeAudio(), Id3v1Block()});
}

size_t OldRegion(TFixture fixture) { return fixture == TFixture::Id3v23 ? kTagRegion : kTagRegion + 10; }

// --- What is done to the file ------------------------------------------------------

enum class TKind { Read, InPlace, Rewrite, Erase };

struct TScenario {
  const char* Name;
  TKind Kind;
  void (*Edit)(TID3v2Tag& tag);  // between Open and the write
  TFixture Fixture = TFixture::Id3v23;
  uint32_t Mode = 0644;
  // The tag is given a symbolic link to the MP3, whose target must be the file replaced.
  bool ThroughLink = false;
};

// As an editor would: the frame of the kind if the tag has one, else a new one. (A run
// whose read went wrong may have found no frames at all.)
void SetFrame(TID3v2Tag& tag, tags::TID3v2FrameID id, const Bytes& payload) {
  tags::TID3v2Frame* frame = tag.Frames().GetFrame(id);
  if (frame == nullptr) {
    frame = &tag.Frames().Add();
    frame->SetFrameID(id);
  }
  frame->SetData(payload);
}

void RetitleOnly(TID3v2Tag& tag) { SetFrame(tag, tags::fiTitle, Text("Evening Walk, remastered")); }

// A long comment makes the tag outgrow its region, so the file is rewritten.
void AddLongComment(TID3v2Tag& tag) {
  RetitleOnly(tag);
  SetFrame(tag, tags::fiComments, Cat({Text("eng"), {0}, Bytes(3000, 'x')}));
}

void NoEdit(TID3v2Tag&) {}

const TScenario kScenarios[] = {
    {"Open", TKind::Read, NoEdit},
    {"CommitInPlace", TKind::InPlace, RetitleOnly},
    {"CommitRewrite", TKind::Rewrite, AddLongComment},
    {"CommitRewriteReadOnlyFile", TKind::Rewrite, AddLongComment, TFixture::Id3v23, 0444},
    {"CommitRewriteThroughLink", TKind::Rewrite, AddLongComment, TFixture::Id3v23, 0644, true},
    {"Erase", TKind::Erase, NoEdit},
    {"OpenWithFooter", TKind::Read, NoEdit, TFixture::Id3v24WithFooter},
    {"CommitInPlaceWithFooter", TKind::InPlace, RetitleOnly, TFixture::Id3v24WithFooter},
    {"EraseWithFooter", TKind::Erase, NoEdit, TFixture::Id3v24WithFooter},
};

void PrintTo(const TScenario& c, std::ostream* os) { *os << c.Name; }

struct TFrameCopy {
  std::string Name;
  Bytes Payload;
  bool operator==(const TFrameCopy&) const = default;
};

// The frames the tag object holds after the run, compared after a successful read.
using TFrames = std::vector<TFrameCopy>;

class FaultSweep : public TFaultSweep<TScenario, TFrames> {
 protected:
  Bytes BuildFile() const override { return Mp3Fixture(Scenario().Fixture); }

  void Perform(const std::string& file, TOutcome& out) override {
    TID3v2Tag tag(&Faulty_);
    tag.SetFileName(file);
    Attempt(out, [&] {
      tag.Open();
      Scenario().Edit(tag);
      if (Scenario().Kind == TKind::Erase) tag.Erase();
      else if (Scenario().Kind != TKind::Read) tag.Commit();
    });
    for (int i = 0; i < tag.Frames().Count(); ++i)
      out.Tag.push_back({tag.Frames()[i].Name(), tag.Frames()[i].Data().Bytes()});
  }

  ::testing::AssertionResult AcceptSuccess(const TOutcome& out) const override {
    if (Scenario().Kind == TKind::Read && out.Tag != Clean_.Tag)
      return ::testing::AssertionFailure() << "succeeded but read " << out.Tag.size() << " frames instead of "
                                           << Clean_.Tag.size();
    return ::testing::AssertionSuccess();
  }

  // An overwrite in place cannot be undone: a device error in the middle of it leaves
  // the new bytes that went out in front of the old ones. Everything else must be the
  // original, and the audio behind the tag region always is.
  std::vector<Bytes> FilesAfterFailure(const TOutcome& out, TSweepFault) const override {
    Bytes expected = Original_;
    if (Scenario().Kind == TKind::InPlace) {
      const size_t written = size_t(std::min<uint64_t>(out.BytesWritten, expected.size()));
      std::copy(Clean_.File.begin(), Clean_.File.begin() + std::ptrdiff_t(written), expected.begin());
    }
    return {expected};
  }

  // Every byte around the starts of the header and the frames and around the region's end.
  std::vector<uint64_t> BudgetEdges() const override {
    const uint64_t region = OldRegion(Scenario().Fixture);
    return {9, 10, 11, region - 1, region, region + 1};
  }

  // Overwriting the old region needs no new space: a full disk cannot stop it.
  bool OverwritesInPlace() const override { return Scenario().Kind == TKind::InPlace; }
};

TEST_P(FaultSweep, CleanRunKeepsEverythingBehindTheTag) {
  const size_t oldRegion = OldRegion(Scenario().Fixture);
  const Bytes tail(Original_.begin() + std::ptrdiff_t(oldRegion), Original_.end());
  const Bytes& file = Clean_.File;
  ASSERT_GE(file.size(), tail.size());
  EXPECT_TRUE(std::equal(tail.begin(), tail.end(), file.end() - std::ptrdiff_t(tail.size())));
  const size_t region = file.size() - tail.size();
  switch (Scenario().Kind) {
    case TKind::Read:
      EXPECT_EQ(file, Original_);
      EXPECT_EQ(Clean_.Tag.size(), 5u);
      EXPECT_EQ(CleanBytes_, 0u);
      break;
    case TKind::InPlace:
      EXPECT_EQ(region, oldRegion);
      EXPECT_EQ(CleanCount(TFaultOperation::CreateUnique), 0u);
      break;
    case TKind::Rewrite:
      EXPECT_GT(region, oldRegion);
      EXPECT_EQ(region % 2048, 0u);
      EXPECT_EQ(CleanCount(TFaultOperation::CreateUnique), 1u);
      EXPECT_EQ(Clean_.Mode, Scenario().Mode | S_IWUSR);
      break;
    case TKind::Erase:
      EXPECT_EQ(file, tail);
      break;
  }
  if (Scenario().Kind == TKind::InPlace || Scenario().Kind == TKind::Rewrite) {
    tags::TMemoryStream header(Bytes(file.begin(), file.begin() + 10));
    TID3v2Tag written;
    ASSERT_TRUE(written.Header().LoadFromStream(header));
    EXPECT_EQ(written.Header().Size() + 10, region);
  }
}

SONIVEX_FAULT_SWEEP_TESTS(Tags, FaultSweep, kScenarios);

}  // namespace
