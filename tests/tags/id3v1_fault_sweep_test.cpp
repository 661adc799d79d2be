// Every way the disk can fail while the ID3v1 tag and the Lyrics3 block are read,
// written or removed, swept by the harness in faultsweep.h. Each run must end in
// success or in an ETagError, leave no temporary file, and leave the MP3 either as the
// clean run made it or exactly as it was.
//
// One exception cannot be helped: when a device fails every write, a cut-short 128-byte
// overwrite in place cannot be written back either, so the new bytes that went out stay
// in front of the old ones. The audio and the Lyrics3 block are untouched even then. A
// full disk cannot cause it, as overwriting needs no new space.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "faultsweep.h"
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
using tags::test::TFaultSweep;
using tags::test::TSweepFault;

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

// What the tag object holds after the run: a failed read must not leave it active,
// and a successful one must find what the clean run found.
struct TTagState {
  bool Active = false;
  std::vector<std::string> Fields;
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

class ID3v1FaultSweep : public TFaultSweep<TScenario, TTagState> {
 protected:
  Bytes BuildFile() const override { return Fixture(Scenario().Fixture); }

  void Perform(const std::string& file, TOutcome& out) override {
    TID3v1Tag tag(&Faulty_);
    tag.SetFileName(file);
    tag.SetEditLyrics(Scenario().EditLyrics);
    Attempt(out, [&] {
      tag.Open();
      Scenario().Edit(tag);
      if (Scenario().Erase) tag.Erase();
      else if (Scenario().Kind != TKind::Read) tag.Commit();
    });
    out.Tag.Active = tag.Active();
    out.Tag.Fields = FieldsOf(tag);
  }

  ::testing::AssertionResult AcceptSuccess(const TOutcome& out) const override {
    if (Scenario().Kind == TKind::Read && out.Tag.Fields != Clean_.Tag.Fields)
      return ::testing::AssertionFailure() << "succeeded but read " << ::testing::PrintToString(out.Tag.Fields);
    return ::testing::AssertionSuccess();
  }

  ::testing::AssertionResult AcceptFailure(const TOutcome& out) const override {
    if (Scenario().Kind == TKind::Read && out.Tag.Active)
      return ::testing::AssertionFailure() << "a failed read left the tag active with "
                                           << ::testing::PrintToString(out.Tag.Fields);
    return ::testing::AssertionSuccess();
  }

  // Only a device that fails every write after the fault keeps the engine from writing
  // the old 128 bytes back; then the bytes that went out stay over the old tag.
  std::vector<Bytes> FilesAfterFailure(const TOutcome& out, TSweepFault fault) const override {
    std::vector<Bytes> files{Original_};
    if (fault == TSweepFault::FailingDevice && Scenario().Kind == TKind::Overwrite &&
        out.File.size() == Original_.size()) {
      Bytes torn = Original_;
      const size_t at = torn.size() - 128;
      const size_t written = size_t(std::min<uint64_t>(out.BytesWritten, 128));
      std::copy(Clean_.File.begin() + std::ptrdiff_t(at), Clean_.File.begin() + std::ptrdiff_t(at + written),
                torn.begin() + std::ptrdiff_t(at));
      files.push_back(torn);
    }
    return files;
  }

  // Around the end of the 128-byte tag.
  std::vector<uint64_t> BudgetEdges() const override { return {127, 128, 129}; }

  // Overwriting the old block needs no new space: a full disk cannot stop it.
  bool OverwritesInPlace() const override { return Scenario().Kind == TKind::Overwrite; }
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
      EXPECT_EQ(CleanCount(TFaultOperation::CreateUnique), 0u);
      break;
    case TKind::Append:
      ASSERT_EQ(file.size(), Original_.size() + 128);
      EXPECT_TRUE(std::equal(Original_.begin(), Original_.end(), file.begin()));
      EXPECT_EQ(CleanBytes_, 128u);
      EXPECT_EQ(CleanCount(TFaultOperation::CreateUnique), 0u);
      break;
    case TKind::Truncate:
      ASSERT_LT(file.size(), Original_.size());
      EXPECT_TRUE(std::equal(file.begin(), file.end(), Original_.begin()));
      EXPECT_EQ(CleanBytes_, 0u);
      EXPECT_EQ(CleanCount(TFaultOperation::CreateUnique), 0u);
      EXPECT_EQ(CleanCount(TFaultOperation::Truncate), 1u);
      break;
    case TKind::Rewrite:
      EXPECT_EQ(CleanCount(TFaultOperation::CreateUnique), 1u);
      EXPECT_EQ(Clean_.Mode, Scenario().Mode | S_IWUSR);
      break;
  }
  if (Scenario().Kind == TKind::Read) {
    EXPECT_EQ(Clean_.Tag.Fields.size(), 9u);
  }
}

SONIVEX_FAULT_SWEEP_TESTS(Tags, ID3v1FaultSweep, kScenarios);

}  // namespace
