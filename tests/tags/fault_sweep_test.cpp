// Every way the disk can fail during Open, Commit and Erase: a clean run measures the
// operations and bytes each one needs, then the run is repeated with a fault at every
// operation, at (nearly) every byte the writes put out and at every read cut short.
// Each run must end in success or in an ETagError, and must leave no temporary file
// behind. After success the MP3 must be exactly what the clean run made of it; after a
// failure exactly what it was, with one exception that cannot be helped: an overwrite
// in place that a failing device cuts short leaves the new bytes that went out in front
// of the old ones (the audio behind the tag region is untouched even then). A full disk
// cannot cause that, as overwriting needs no new space.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "builders.h"
#include "faultyfilesystem.h"
#include "id3v2tag.h"
#include "testutil.h"

namespace {

using builders::Cat;
using builders::Str;
using builders::Text;
using tags::TID3v2Tag;
using tags::test::TFaultOperation;
using tags::test::TFaultyFileSystem;
using tags::test::TSpaceAccounting;
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

struct TFrameCopy {
  std::string Name;
  Bytes Payload;
  bool operator==(const TFrameCopy&) const = default;
};

// What one run left behind.
struct TOutcome {
  bool Failed = false;
  std::string Error;
  Bytes File;
  uint32_t Mode = 0;
  std::vector<std::string> Entries;
  std::vector<TFrameCopy> Frames;  // as read, for the Read scenario
  uint64_t BytesWritten = 0;
  bool LinkKept = true;
};

std::string FirstDifference(const Bytes& actual, const Bytes& expected) {
  const size_t common = std::min(actual.size(), expected.size());
  for (size_t i = 0; i < common; ++i)
    if (actual[i] != expected[i])
      return "first difference at byte " + std::to_string(i) + " of " + std::to_string(expected.size());
  return "sizes " + std::to_string(actual.size()) + " and " + std::to_string(expected.size());
}

class FaultSweep : public ::testing::TestWithParam<TScenario> {
 protected:
  void SetUp() override {
    Path_ = Folder_.File("song.mp3");
    Original_ = Mp3Fixture(Scenario().Fixture);
    if (Scenario().ThroughLink) {
      std::filesystem::create_symlink("song.mp3", Folder_.File("link.mp3"));
      ExpectedEntries_.insert(ExpectedEntries_.begin(), "link.mp3");
    }
    Clean_ = Run([](TFaultyFileSystem&) {});
    CleanTrace_ = Faulty_.Trace();
    CleanBytes_ = Faulty_.BytesWritten();
    ASSERT_FALSE(Clean_.Failed) << Clean_.Error;
    ASSERT_EQ(Clean_.Entries, ExpectedEntries_);
  }

  const TScenario& Scenario() const { return GetParam(); }

  TOutcome Run(const std::function<void(TFaultyFileSystem&)>& arm) {
    namespace fs = std::filesystem;
    fs::remove(Path_);
    testutil::WriteFile(Path_, Original_);
    fs::permissions(Path_, fs::perms(Scenario().Mode));
    Faulty_.Reset();
    arm(Faulty_);

    TOutcome out;
    TID3v2Tag tag(&Faulty_);
    tag.SetFileName(Scenario().ThroughLink ? Folder_.File("link.mp3") : Path_);
    try {
      tag.Open();
      Scenario().Edit(tag);
      if (Scenario().Kind == TKind::Erase) tag.Erase();
      else if (Scenario().Kind != TKind::Read) tag.Commit();
    } catch (const tags::ETagError& e) {
      out.Failed = true;
      out.Error = e.what();
    }
    out.BytesWritten = Faulty_.BytesWritten();
    for (int i = 0; i < tag.Frames().Count(); ++i)
      out.Frames.push_back({tag.Frames()[i].Name(), tag.Frames()[i].Data().Bytes()});
    out.File = testutil::ReadFile(Path_);
    struct stat st {};
    ::stat(Path_.c_str(), &st);
    out.Mode = st.st_mode & 07777;
    out.Entries = Folder_.List();
    out.LinkKept = !Scenario().ThroughLink || std::filesystem::is_symlink(Folder_.File("link.mp3"));
    return out;
  }

  // The rules every run must keep, whatever failed.
  ::testing::AssertionResult Acceptable(const TOutcome& out) const {
    if (out.Entries != ExpectedEntries_)
      return ::testing::AssertionFailure() << "the folder holds " << ::testing::PrintToString(out.Entries);
    if (!out.LinkKept) return ::testing::AssertionFailure() << "the link was replaced by a file";
    if (!out.Failed) {
      if (out.File != Clean_.File)
        return ::testing::AssertionFailure() << "succeeded with other content than the clean run: "
                                             << FirstDifference(out.File, Clean_.File);
      if (out.Mode != Clean_.Mode)
        return ::testing::AssertionFailure() << "succeeded with mode " << std::oct << out.Mode;
      if (Scenario().Kind == TKind::Read && out.Frames != Clean_.Frames)
        return ::testing::AssertionFailure() << "succeeded but read " << out.Frames.size()
                                             << " frames instead of " << Clean_.Frames.size();
      return ::testing::AssertionSuccess();
    }
    if (out.Error.empty()) return ::testing::AssertionFailure() << "an error without a message";
    // An overwrite in place cannot be undone: a device error in the middle of it leaves
    // the new bytes that went out in front of the old ones. Everything else must be the
    // original, and the audio behind the tag region always is.
    Bytes expected = Original_;
    if (Scenario().Kind == TKind::InPlace) {
      const size_t written = size_t(std::min<uint64_t>(out.BytesWritten, expected.size()));
      std::copy(Clean_.File.begin(), Clean_.File.begin() + std::ptrdiff_t(written), expected.begin());
    }
    if (out.File != expected)
      return ::testing::AssertionFailure() << "failed (" << out.Error << ") and changed the file: "
                                           << FirstDifference(out.File, expected);
    const uint32_t mode = Scenario().Mode;
    if (out.Mode != mode && out.Mode != (mode | S_IWUSR))
      return ::testing::AssertionFailure() << "failed and left mode " << std::oct << out.Mode;
    return ::testing::AssertionSuccess();
  }

  std::string Where() const { return Faulty_.Fired() ? "fault at " + Faulty_.FiredAt() : "fault not met"; }

  testutil::TTempFolder Folder_;
  testutil::TErrorCapture Messages_;
  TFaultyFileSystem Faulty_{tags::SystemFileSystem()};
  std::string Path_;
  std::vector<std::string> ExpectedEntries_{"song.mp3"};
  Bytes Original_;
  TOutcome Clean_;
  std::vector<TFaultOperation> CleanTrace_;
  uint64_t CleanBytes_ = 0;
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
      EXPECT_EQ(Clean_.Frames.size(), 5u);
      EXPECT_EQ(CleanBytes_, 0u);
      break;
    case TKind::InPlace:
      EXPECT_EQ(region, oldRegion);
      EXPECT_EQ(Faulty_.Count(TFaultOperation::CreateUnique), 0u);
      break;
    case TKind::Rewrite:
      EXPECT_GT(region, oldRegion);
      EXPECT_EQ(region % 2048, 0u);
      EXPECT_EQ(Faulty_.Count(TFaultOperation::CreateUnique), 1u);
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

TEST_P(FaultSweep, FailingEachOperation) {
  const uint64_t operations = CleanTrace_.size();
  ASSERT_GT(operations, 0u);
  // One index past the end arms a fault that is never met: that run must equal the clean one.
  for (uint64_t index = 0; index <= operations; ++index) {
    const TOutcome out = Run([&](TFaultyFileSystem& fs) { fs.FailOperation(index); });
    SCOPED_TRACE("operation " + std::to_string(index) + ": " + Where());
    ASSERT_EQ(Faulty_.Fired(), index < operations);
    ASSERT_TRUE(Acceptable(out));
  }
}

// A cut write must never pass as success. Counting every byte, each budget below what
// the clean run wrote must therefore fail, and each budget at or above it succeed.
class FaultSweepDiskFull : public FaultSweep {
 protected:
  void Sweep(TSpaceAccounting accounting) {
    std::vector<uint64_t> budgets;
    // Every byte around the starts of the header, the frames and the region's end;
    // elsewhere about 400 steps are enough to hit every write and block.
    const uint64_t step = std::max<uint64_t>(1, CleanBytes_ / 400);
    for (uint64_t b = 0; b <= CleanBytes_; b += step) budgets.push_back(b);
    const uint64_t region = OldRegion(Scenario().Fixture);
    for (uint64_t b : {uint64_t(1), uint64_t(9), uint64_t(10), uint64_t(11), region - 1, region, region + 1,
                       CleanBytes_ - 1, CleanBytes_})
      if (b <= CleanBytes_) budgets.push_back(b);
    for (const uint64_t budget : budgets) {
      const TOutcome out = Run([&](TFaultyFileSystem& fs) { fs.FailWritesAfter(budget, accounting); });
      SCOPED_TRACE("budget " + std::to_string(budget) + " of " + std::to_string(CleanBytes_) + ": " + Where());
      if (Faulty_.Fired()) {
        ASSERT_TRUE(out.Failed) << "a write cut short went unnoticed";
      }
      if (accounting == TSpaceAccounting::EveryByte) {
        ASSERT_EQ(Faulty_.Fired(), budget < CleanBytes_);
      }
      ASSERT_TRUE(Acceptable(out));
    }
  }
};

TEST_P(FaultSweepDiskFull, FailingDevice) { Sweep(TSpaceAccounting::EveryByte); }

TEST_P(FaultSweepDiskFull, FullDisk) {
  Sweep(TSpaceAccounting::NewBytesOnly);
  // Overwriting the old region needs no new space: a full disk cannot stop it.
  if (Scenario().Kind == TKind::InPlace) {
    const TOutcome out = Run([](TFaultyFileSystem& fs) { fs.FailWritesAfter(0, TSpaceAccounting::NewBytesOnly); });
    EXPECT_FALSE(out.Failed) << out.Error;
  }
}

TEST_P(FaultSweep, CuttingEachReadShort) {
  size_t reads = 0;
  for (uint64_t index = 0; index < CleanTrace_.size(); ++index) {
    if (CleanTrace_[index] != TFaultOperation::Read) continue;
    ++reads;
    // 0: the file seems to end there; 5: a short read from which the rest can follow.
    for (const size_t keep : {size_t(0), size_t(5)}) {
      const TOutcome out = Run([&](TFaultyFileSystem& fs) { fs.ShortenRead(index, keep); });
      SCOPED_TRACE("read at operation " + std::to_string(index) + " cut to " + std::to_string(keep) +
                   " bytes: " + Where());
      ASSERT_TRUE(Acceptable(out));
    }
  }
  EXPECT_GT(reads, 0u);
}

std::string ScenarioName(const ::testing::TestParamInfo<TScenario>& info) { return info.param.Name; }

INSTANTIATE_TEST_SUITE_P(Tags, FaultSweep, ::testing::ValuesIn(kScenarios), ScenarioName);
INSTANTIATE_TEST_SUITE_P(Tags, FaultSweepDiskFull, ::testing::ValuesIn(kScenarios), ScenarioName);

}  // namespace
