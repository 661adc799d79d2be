// Every way the disk can fail while the ID3v1 tag and the Lyrics3 block are read,
// written or removed: a clean run measures the operations and bytes, then the run is
// repeated with a fault at every operation, at (nearly) every byte written and at every
// read cut short. Each run must end in success or in an ETagError, leave no temporary
// file, and leave the MP3 either as the clean run made it or exactly as it was.
//
// One exception cannot be helped: when a device fails every write, a cut-short 128-byte
// overwrite in place cannot be written back either, so the new bytes that went out stay
// in front of the old ones. The audio and the Lyrics3 block are untouched even then. A
// full disk cannot cause it, as overwriting needs no new space.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "faultyfilesystem.h"
#include "id3v1builders.h"
#include "id3v1tag.h"
#include "testutil.h"

namespace {

using builders::Bytes;
using builders::Cat;
using id3v1builders::Audio;
using id3v1builders::Lyrics3Block;
using id3v1builders::Lyrics3Field;
using id3v1builders::V11;
using tags::TID3v1Tag;
using tags::test::TFaultOperation;
using tags::test::TFaultyFileSystem;
using tags::test::TSpaceAccounting;

enum class TFixture { Full, TagOnly, NoTags };

Bytes Fixture(TFixture fixture) {
  const Bytes audio = Audio(4000, 31);
  const Bytes lyrics = Lyrics3Block(Cat({Lyrics3Field("IND", "100"), Lyrics3Field("LYR", "Line one\r\nLine two"),
                                         Lyrics3Field("EAR", "The Quiet Ones")}));
  switch (fixture) {
    case TFixture::Full:
      return Cat({audio, lyrics, V11("Morning Walk", 3, 12)});
    case TFixture::TagOnly:
      return Cat({audio, V11("Morning Walk", 3, 12)});
    case TFixture::NoTags:
      break;
  }
  return audio;
}

// How the clean run changes the file.
enum class TKind { Read, Overwrite, Append, Truncate, Rewrite, Unchanged };

struct TScenario {
  const char* Name;
  TKind Kind;
  TFixture Fixture;
  bool EditLyrics;
  bool Erase;
  void (*Edit)(TID3v1Tag& tag);
  uint32_t Mode = 0644;
  bool ThroughLink = false;
};

void NoEdit(TID3v1Tag&) {}
void Retitle(TID3v1Tag& tag) { tag.SetTitle("Evening Walk"); }
void NewLyrics(TID3v1Tag& tag) {
  Retitle(tag);
  tag.Lyrics().SetLyricsText("Another line, longer than the one before");
}
void NoLyrics(TID3v1Tag& tag) { tag.Lyrics().Fields().Clear(); }

const TScenario kScenarios[] = {
    {"Open", TKind::Read, TFixture::Full, true, false, NoEdit},
    {"CommitOverwrite", TKind::Overwrite, TFixture::Full, false, false, Retitle},
    {"CommitOverwriteReadOnly", TKind::Overwrite, TFixture::Full, false, false, Retitle, 0444},
    {"CommitAppend", TKind::Append, TFixture::NoTags, false, false, Retitle},
    {"CommitLyricsUnchanged", TKind::Overwrite, TFixture::Full, true, false, Retitle},
    {"CommitLyricsChanged", TKind::Rewrite, TFixture::Full, true, false, NewLyrics},
    {"CommitLyricsChangedReadOnly", TKind::Rewrite, TFixture::Full, true, false, NewLyrics, 0444},
    {"CommitLyricsAdded", TKind::Rewrite, TFixture::TagOnly, true, false, NewLyrics},
    {"CommitLyricsRemoved", TKind::Rewrite, TFixture::Full, true, false, NoLyrics},
    {"CommitLyricsThroughLink", TKind::Rewrite, TFixture::Full, true, false, NewLyrics, 0644, true},
    {"Erase", TKind::Truncate, TFixture::Full, false, true, NoEdit},
    {"EraseWithLyrics", TKind::Truncate, TFixture::Full, true, true, NoEdit},
    {"EraseWithoutTags", TKind::Unchanged, TFixture::NoTags, true, true, NoEdit},
};

void PrintTo(const TScenario& c, std::ostream* os) { *os << c.Name; }

// What one run left behind.
struct TOutcome {
  bool Failed = false;
  std::string Error;
  bool Active = false;
  std::vector<std::string> Fields;  // as read, for the Read scenario
  Bytes File;
  uint32_t Mode = 0;
  std::vector<std::string> Entries;
  bool LinkKept = true;
  uint64_t BytesWritten = 0;
};

std::vector<std::string> FieldsOf(const TID3v1Tag& tag) {
  std::vector<std::string> out{tag.Title(), tag.Artist(), tag.Version(), std::to_string(tag.Track()),
                               std::to_string(tag.Genre()), std::to_string(tag.Lyrics().Size())};
  for (int i = 0; i < tag.Lyrics().Fields().Count(); ++i) {
    const auto& field = tag.Lyrics().Fields()[i];
    out.push_back(field.Name() + "=" + field.Text());
  }
  return out;
}

class ID3v1FaultSweep : public ::testing::TestWithParam<TScenario> {
 protected:
  void SetUp() override {
    Path_ = Folder_.File("song.mp3");
    Original_ = Fixture(Scenario().Fixture);
    if (Scenario().ThroughLink) {
      std::filesystem::create_symlink("song.mp3", Folder_.File("link.mp3"));
      ExpectedEntries_.insert(ExpectedEntries_.begin(), "link.mp3");
    }
    Clean_ = Run([](TFaultyFileSystem&) {});
    CleanTrace_ = Faulty_.Trace();
    CleanBytes_ = Faulty_.BytesWritten();
    CleanCreates_ = Faulty_.Count(TFaultOperation::CreateUnique);
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
    TID3v1Tag tag(&Faulty_);
    tag.SetFileName(Scenario().ThroughLink ? Folder_.File("link.mp3") : Path_);
    tag.SetEditLyrics(Scenario().EditLyrics);
    try {
      tag.Open();
      Scenario().Edit(tag);
      if (Scenario().Erase) tag.Erase();
      else if (Scenario().Kind != TKind::Read) tag.Commit();
    } catch (const tags::ETagError& e) {
      out.Failed = true;
      out.Error = e.what();
    }
    out.Active = tag.Active();
    out.Fields = FieldsOf(tag);
    out.BytesWritten = Faulty_.BytesWritten();
    out.File = testutil::ReadFile(Path_);
    struct stat st {};
    ::stat(Path_.c_str(), &st);
    out.Mode = st.st_mode & 07777;
    out.Entries = Folder_.List();
    out.LinkKept = !Scenario().ThroughLink || std::filesystem::is_symlink(Folder_.File("link.mp3"));
    return out;
  }

  // The rules every run must keep, whatever failed. `deviceFailing`: every write after
  // the fault fails too, so an overwrite in place cannot be written back.
  ::testing::AssertionResult Acceptable(const TOutcome& out, bool deviceFailing = false) const {
    if (out.Entries != ExpectedEntries_)
      return ::testing::AssertionFailure() << "the folder holds " << ::testing::PrintToString(out.Entries);
    if (!out.LinkKept) return ::testing::AssertionFailure() << "the link was replaced by a file";
    if (!out.Failed) {
      if (out.File != Clean_.File) return ::testing::AssertionFailure() << "succeeded with other content than the clean run";
      if (out.Mode != Clean_.Mode) return ::testing::AssertionFailure() << "succeeded with mode " << std::oct << out.Mode;
      if (Scenario().Kind == TKind::Read && out.Fields != Clean_.Fields)
        return ::testing::AssertionFailure() << "succeeded but read " << ::testing::PrintToString(out.Fields);
      return ::testing::AssertionSuccess();
    }
    if (out.Error.empty()) return ::testing::AssertionFailure() << "an error without a message";
    if (Scenario().Kind == TKind::Read && out.Active)
      return ::testing::AssertionFailure() << "a failed read left the tag active with " << ::testing::PrintToString(out.Fields);
    if (out.File != Original_) {
      bool partialOverwrite = false;
      if (deviceFailing && Scenario().Kind == TKind::Overwrite && out.File.size() == Original_.size()) {
        Bytes expected = Original_;
        const size_t at = expected.size() - 128;
        const size_t written = size_t(std::min<uint64_t>(out.BytesWritten, 128));
        std::copy(Clean_.File.begin() + std::ptrdiff_t(at), Clean_.File.begin() + std::ptrdiff_t(at + written),
                  expected.begin() + std::ptrdiff_t(at));
        partialOverwrite = out.File == expected;
      }
      if (!partialOverwrite)
        return ::testing::AssertionFailure() << "failed (" << out.Error << ") and changed the file (" << out.File.size()
                                             << " bytes, was " << Original_.size() << ")";
    }
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
  uint64_t CleanCreates_ = 0;
};

TEST_P(ID3v1FaultSweep, CleanRunTakesTheExpectedWay) {
  const Bytes& file = Clean_.File;
  const size_t audio = 4000;
  ASSERT_GE(file.size(), audio);
  EXPECT_TRUE(std::equal(Original_.begin(), Original_.begin() + audio, file.begin())) << "the audio changed";
  switch (Scenario().Kind) {
    case TKind::Read:
    case TKind::Unchanged:
      EXPECT_EQ(file, Original_);
      EXPECT_EQ(CleanBytes_, 0u);
      break;
    case TKind::Overwrite:
      ASSERT_EQ(file.size(), Original_.size());
      EXPECT_TRUE(std::equal(file.begin(), file.end() - 128, Original_.begin()));
      EXPECT_EQ(CleanBytes_, 128u);
      EXPECT_EQ(CleanCreates_, 0u);
      break;
    case TKind::Append:
      ASSERT_EQ(file.size(), Original_.size() + 128);
      EXPECT_TRUE(std::equal(Original_.begin(), Original_.end(), file.begin()));
      EXPECT_EQ(CleanBytes_, 128u);
      EXPECT_EQ(CleanCreates_, 0u);
      break;
    case TKind::Truncate:
      ASSERT_LT(file.size(), Original_.size());
      EXPECT_TRUE(std::equal(file.begin(), file.end(), Original_.begin()));
      EXPECT_EQ(CleanBytes_, 0u);
      EXPECT_EQ(CleanCreates_, 0u);
      EXPECT_EQ(Faulty_.Count(TFaultOperation::Truncate), 1u);
      break;
    case TKind::Rewrite:
      EXPECT_EQ(CleanCreates_, 1u);
      EXPECT_EQ(Clean_.Mode, Scenario().Mode | S_IWUSR);
      break;
  }
  if (Scenario().Kind == TKind::Read) {
    EXPECT_EQ(Clean_.Fields.size(), 9u);
  }
}

TEST_P(ID3v1FaultSweep, FailingEachOperation) {
  const uint64_t operations = CleanTrace_.size();
  ASSERT_GT(operations, 0u);
  // One index past the end arms a fault that is never met: that run must equal the clean one.
  for (uint64_t index = 0; index <= operations; ++index) {
    const TOutcome out = Run([&](TFaultyFileSystem& fs) { fs.FailOperation(index); });
    SCOPED_TRACE("operation " + std::to_string(index) + ": " + Where());
    ASSERT_EQ(Faulty_.Fired(), index < operations);
    // Flushing the folder after the rename is the one step allowed to fail quietly: the
    // new file is complete and in place by then.
    if (Faulty_.Fired() && CleanTrace_[index] != TFaultOperation::SyncFolder) {
      ASSERT_TRUE(out.Failed) << "a failed operation went unnoticed";
    }
    ASSERT_TRUE(Acceptable(out));
  }
}

class ID3v1FaultSweepDiskFull : public ID3v1FaultSweep {
 protected:
  void Sweep(TSpaceAccounting accounting) {
    std::vector<uint64_t> budgets;
    const uint64_t step = std::max<uint64_t>(1, CleanBytes_ / 400);
    for (uint64_t b = 0; b <= CleanBytes_; b += step) budgets.push_back(b);
    for (uint64_t b : {uint64_t(1), uint64_t(127), uint64_t(128), uint64_t(129), CleanBytes_ - 1, CleanBytes_})
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
      ASSERT_TRUE(Acceptable(out, accounting == TSpaceAccounting::EveryByte));
    }
  }
};

TEST_P(ID3v1FaultSweepDiskFull, FailingDevice) { Sweep(TSpaceAccounting::EveryByte); }

TEST_P(ID3v1FaultSweepDiskFull, FullDisk) {
  Sweep(TSpaceAccounting::NewBytesOnly);
  // Overwriting the old block needs no new space: a full disk cannot stop it.
  if (Scenario().Kind == TKind::Overwrite) {
    const TOutcome out = Run([](TFaultyFileSystem& fs) { fs.FailWritesAfter(0, TSpaceAccounting::NewBytesOnly); });
    EXPECT_FALSE(out.Failed) << out.Error;
  }
}

TEST_P(ID3v1FaultSweep, CuttingEachReadShort) {
  size_t reads = 0;
  for (uint64_t index = 0; index < CleanTrace_.size(); ++index) {
    if (CleanTrace_[index] != TFaultOperation::Read) continue;
    ++reads;
    // 0: the file seems to end there; 5: a short read from which the rest could follow.
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

INSTANTIATE_TEST_SUITE_P(Tags, ID3v1FaultSweep, ::testing::ValuesIn(kScenarios), ScenarioName);
INSTANTIATE_TEST_SUITE_P(Tags, ID3v1FaultSweepDiskFull, ::testing::ValuesIn(kScenarios), ScenarioName);

}  // namespace
