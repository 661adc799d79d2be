#pragma once
// A fault sweep runs one operation on an MP3 (read a tag, commit it, erase it, ...) over
// and over through a TFaultyFileSystem: first cleanly, to measure the operations and
// bytes it needs, then with a fault at every operation, with the writes cut off at
// (nearly) every byte, and with every read cut short. Whatever failed, a run must end
// in success or in an ETagError, must leave no stray file in the folder, and must leave
// the MP3 either as the clean run made it or exactly as it was. Both halves matter: a
// caught error that still tore the file loses a user's music, and a fault that slipped
// through unnoticed tells the user a save worked when it did not.
//
// The sweep itself is the same for every operation, so it lives here once. A sweep file
// derives a fixture from TFaultSweep, supplies its table of scenarios and says
//   - which file the run starts from (BuildFile),
//   - how to run a scenario against the faulty file system (Perform), and
//   - what it accepts beyond the common rules (AcceptSuccess, AcceptFailure,
//     FilesAfterFailure, ...),
// then expands SONIVEX_FAULT_SWEEP_TESTS to get the sweeps under their usual names.
// Checks of the clean run itself stay with the sweep file, as only it knows what the
// operation should have done.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <concepts>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "faultyfilesystem.h"
#include "tagerror.h"
#include "testutil.h"

namespace tags::test {

// What a scenario table row must offer the harness; anything else in it is the sweep's
// own. Plain members keep the tables aggregate-initialised, one readable line a row.
template <class T>
concept CSweepScenario = requires(const T& scenario) {
  // The case name ctest shows: letters and digits only.
  { scenario.Name } -> std::convertible_to<const char*>;
  // The permission bits the MP3 is given before each run: read-only files take another
  // path through the engine (made writable for the write, given their bits back).
  { scenario.Mode } -> std::convertible_to<uint32_t>;
  // The operation is given a symbolic link to the MP3 instead of its path; the link
  // must survive and its target be the file that changes.
  { scenario.ThroughLink } -> std::convertible_to<bool>;
};

// The fault a run was armed with, for rules that only hold for some faults: a device
// that fails every write after the first lost byte cannot put back what it overwrote,
// a full disk still can.
enum class TSweepFault {
  None,
  FailedOperation,
  FailingDevice,  // TSpaceAccounting::EveryByte
  FullDisk,       // TSpaceAccounting::NewBytesOnly
  ShortRead,
};

// What one run left behind. `TState` is what the sweep takes from the tag object after
// the run (frames, fields, whether it is active), as a failed read must not leave
// half-read data looking valid.
template <class TState>
struct TSweepOutcome {
  bool Failed = false;
  std::string Error;
  testutil::Bytes File;
  uint32_t Mode = 0;
  std::vector<std::string> Entries;
  bool LinkKept = true;
  uint64_t BytesWritten = 0;
  TState Tag{};
};

// "first difference at byte 17 of 5000" or "sizes 4000 and 4128": enough to find the
// torn spot in a hex dump without printing kilobytes into the log.
std::string FirstDifference(const testutil::Bytes& actual, const testutil::Bytes& expected);

// The write budgets a sweep tries for a clean run that wrote `cleanBytes`: about 400
// evenly spread (enough to hit every write and block), plus 1, the last byte short of
// success, success itself and the sweep's own `edges` (where its structures begin and
// end, where off-by-one faults hide). Budgets past `cleanBytes` are dropped, so edges
// may be given without checking that the clean run reached them.
std::vector<uint64_t> WriteBudgets(uint64_t cleanBytes, const std::vector<uint64_t>& edges);

template <CSweepScenario TScenario>
std::string SweepScenarioName(const ::testing::TestParamInfo<TScenario>& info) {
  return info.param.Name;
}

template <CSweepScenario TScenario, class TState>
class TFaultSweep : public ::testing::TestWithParam<TScenario> {
 protected:
  using TOutcome = TSweepOutcome<TState>;
  using TArm = std::function<void(TFaultyFileSystem&)>;

  // --- What the sweep file supplies -------------------------------------------------

  // The MP3 every run starts from.
  virtual testutil::Bytes BuildFile() const = 0;
  // Runs the scenario on `file` through Faulty_ (Attempt catches what the engine
  // throws) and records in out.Tag what the tag object holds afterwards. The harness
  // fills in the rest of the outcome.
  virtual void Perform(const std::string& file, TOutcome& out) = 0;
  // Further rules for a run that succeeded, e.g. that a read found what the clean run
  // found; the file, its mode and the folder are checked already.
  virtual ::testing::AssertionResult AcceptSuccess(const TOutcome&) const { return ::testing::AssertionSuccess(); }
  // Further rules for a run that failed, e.g. that a failed read leaves no tag active.
  virtual ::testing::AssertionResult AcceptFailure(const TOutcome&) const { return ::testing::AssertionSuccess(); }
  // The contents the MP3 may have after a failed run. Only the original, unless the
  // operation overwrites in place: bytes a device took before it failed cannot always
  // be taken back, and the sweep says exactly which torn file that leaves.
  virtual std::vector<testutil::Bytes> FilesAfterFailure(const TOutcome&, TSweepFault) const { return {Original_}; }
  // Where the write budgets need every byte (see WriteBudgets).
  virtual std::vector<uint64_t> BudgetEdges() const { return {}; }
  // Whether the scenario writes only over bytes the file already has: then a full disk
  // must not stop it, as it needs no new blocks.
  virtual bool OverwritesInPlace() const { return false; }
  // Whether a fault at this operation of the clean run may go unreported. Flushing the
  // folder after the rename is the one such step: the new file is complete and in
  // place by then, and failing the save would make the user redo what is done.
  virtual bool MayFailQuietly(TFaultOperation operation) const { return operation == TFaultOperation::SyncFolder; }

  // --- Harness ------------------------------------------------------------------------

  void SetUp() override {
    Path_ = Folder_.File("song.mp3");
    Original_ = BuildFile();
    if (Scenario().ThroughLink) {
      std::filesystem::create_symlink("song.mp3", Folder_.File("link.mp3"));
      ExpectedEntries_.insert(ExpectedEntries_.begin(), "link.mp3");
    }
    Clean_ = Run([](TFaultyFileSystem&) {});
    CleanTrace_ = Faulty_.Trace();
    CleanBytes_ = Faulty_.BytesWritten();
    for (int op = 0; op < kFaultOperationCount; ++op) CleanCounts_[size_t(op)] = Faulty_.Count(TFaultOperation(op));
    ASSERT_FALSE(Clean_.Failed) << Clean_.Error;
    ASSERT_EQ(Clean_.Entries, ExpectedEntries_);
  }

  const TScenario& Scenario() const { return this->GetParam(); }
  // How often the clean run called `operation`: how the engine went about the job.
  uint64_t CleanCount(TFaultOperation operation) const { return CleanCounts_[size_t(operation)]; }

  // Catches what the engine throws into the outcome. Anything that is not an ETagError
  // escapes and fails the test, as the engine promises no other kind.
  template <class TStep>
  static void Attempt(TOutcome& out, TStep&& step) {
    try {
      std::forward<TStep>(step)();
    } catch (const tags::ETagError& e) {
      out.Failed = true;
      out.Error = e.what();
    }
  }

  // One run from the original file, with the fault `arm` sets (none for the clean run).
  TOutcome Run(const TArm& arm) {
    namespace fs = std::filesystem;
    fs::remove(Path_);
    testutil::WriteFile(Path_, Original_);
    fs::permissions(Path_, fs::perms(Scenario().Mode));
    Faulty_.Reset();
    arm(Faulty_);

    TOutcome out;
    Perform(Scenario().ThroughLink ? Folder_.File("link.mp3") : Path_, out);
    out.BytesWritten = Faulty_.BytesWritten();
    out.File = testutil::ReadFile(Path_);
    struct stat st {};
    ::stat(Path_.c_str(), &st);
    out.Mode = st.st_mode & 07777;
    out.Entries = Folder_.List();
    out.LinkKept = !Scenario().ThroughLink || std::filesystem::is_symlink(Folder_.File("link.mp3"));
    return out;
  }

  // The rules every run must keep, whatever failed.
  ::testing::AssertionResult Acceptable(const TOutcome& out, TSweepFault fault) const {
    if (out.Entries != ExpectedEntries_)
      return ::testing::AssertionFailure() << "the folder holds " << ::testing::PrintToString(out.Entries);
    if (!out.LinkKept) return ::testing::AssertionFailure() << "the link was replaced by a file";
    if (!out.Failed) {
      if (out.File != Clean_.File)
        return ::testing::AssertionFailure() << "succeeded with other content than the clean run: "
                                             << FirstDifference(out.File, Clean_.File);
      if (out.Mode != Clean_.Mode)
        return ::testing::AssertionFailure() << "succeeded with mode " << std::oct << out.Mode;
      return AcceptSuccess(out);
    }
    if (out.Error.empty()) return ::testing::AssertionFailure() << "an error without a message";
    if (const auto extra = AcceptFailure(out); !extra) return extra;
    const std::vector<testutil::Bytes> allowed = FilesAfterFailure(out, fault);
    if (std::find(allowed.begin(), allowed.end(), out.File) == allowed.end())
      return ::testing::AssertionFailure() << "failed (" << out.Error << ") and changed the file: "
                                           << FirstDifference(out.File, allowed.empty() ? Original_ : allowed.front());
    // The engine may have made the file owner-writable before the fault and not got to
    // give it its bits back; any other change of mode is a fault.
    const uint32_t mode = Scenario().Mode;
    if (out.Mode != mode && out.Mode != (mode | S_IWUSR))
      return ::testing::AssertionFailure() << "failed and left mode " << std::oct << out.Mode;
    return ::testing::AssertionSuccess();
  }

  std::string Where() const { return Faulty_.Fired() ? "fault at " + Faulty_.FiredAt() : "fault not met"; }

  // --- The sweeps -----------------------------------------------------------------------

  void SweepOperations() {
    const uint64_t operations = CleanTrace_.size();
    ASSERT_GT(operations, 0u);
    // One index past the end arms a fault that is never met: that run must equal the clean one.
    for (uint64_t index = 0; index <= operations; ++index) {
      const TOutcome out = Run([&](TFaultyFileSystem& fs) { fs.FailOperation(index); });
      SCOPED_TRACE("operation " + std::to_string(index) + ": " + Where());
      ASSERT_EQ(Faulty_.Fired(), index < operations);
      if (Faulty_.Fired() && !MayFailQuietly(CleanTrace_[index])) {
        ASSERT_TRUE(out.Failed) << "a failed operation went unnoticed";
      }
      ASSERT_TRUE(Acceptable(out, TSweepFault::FailedOperation));
    }
  }

  // A cut write must never pass as success. Counting every byte, each budget below what
  // the clean run wrote must therefore fail, and each budget at or above it succeed;
  // counting only new bytes, some budgets below it suffice (the overwritten ones).
  void SweepWriteBudgets(TSpaceAccounting accounting) {
    const TSweepFault fault =
        accounting == TSpaceAccounting::EveryByte ? TSweepFault::FailingDevice : TSweepFault::FullDisk;
    for (const uint64_t budget : WriteBudgets(CleanBytes_, BudgetEdges())) {
      const TOutcome out = Run([&](TFaultyFileSystem& fs) { fs.FailWritesAfter(budget, accounting); });
      SCOPED_TRACE("budget " + std::to_string(budget) + " of " + std::to_string(CleanBytes_) + ": " + Where());
      if (Faulty_.Fired()) {
        ASSERT_TRUE(out.Failed) << "a write cut short went unnoticed";
      }
      if (accounting == TSpaceAccounting::EveryByte) {
        ASSERT_EQ(Faulty_.Fired(), budget < CleanBytes_);
      }
      ASSERT_TRUE(Acceptable(out, fault));
    }
  }

  void SweepFullDisk() {
    SweepWriteBudgets(TSpaceAccounting::NewBytesOnly);
    if (OverwritesInPlace()) {
      const TOutcome out = Run([](TFaultyFileSystem& fs) { fs.FailWritesAfter(0, TSpaceAccounting::NewBytesOnly); });
      EXPECT_FALSE(out.Failed) << "a full disk stopped an overwrite in place: " << out.Error;
    }
  }

  void SweepShortReads() {
    size_t reads = 0;
    for (uint64_t index = 0; index < CleanTrace_.size(); ++index) {
      if (CleanTrace_[index] != TFaultOperation::Read) continue;
      ++reads;
      // 0: the file seems to end there; 5: a short read from which the rest can follow.
      for (const size_t keep : {size_t(0), size_t(5)}) {
        const TOutcome out = Run([&](TFaultyFileSystem& fs) { fs.ShortenRead(index, keep); });
        SCOPED_TRACE("read at operation " + std::to_string(index) + " cut to " + std::to_string(keep) +
                     " bytes: " + Where());
        ASSERT_TRUE(Acceptable(out, TSweepFault::ShortRead));
      }
    }
    EXPECT_GT(reads, 0u);
  }

  testutil::TTempFolder Folder_;
  testutil::TErrorCapture Messages_;
  TFaultyFileSystem Faulty_{tags::SystemFileSystem()};
  std::string Path_;
  std::vector<std::string> ExpectedEntries_{"song.mp3"};
  testutil::Bytes Original_;
  TOutcome Clean_;
  std::vector<TFaultOperation> CleanTrace_;
  uint64_t CleanBytes_ = 0;

 private:
  std::array<uint64_t, kFaultOperationCount> CleanCounts_{};
};

}  // namespace tags::test

// The sweeps every fault sweep runs, under the names test filters and ctest use:
//   prefix/Suite.FailingEachOperation/<scenario>, prefix/Suite.CuttingEachReadShort/...,
//   prefix/SuiteDiskFull.FailingDevice/..., prefix/SuiteDiskFull.FullDisk/...
// The byte-budget sweeps, by far the longest, get a suite of their own so that a
// filter can leave them out. `Suite` is the sweep file's TFaultSweep fixture; expand
// this at namespace scope in the same file, after the fixture.
#define SONIVEX_FAULT_SWEEP_TESTS(prefix, Suite, scenarios)                                                 \
  class Suite##DiskFull : public Suite {};                                                                  \
  TEST_P(Suite, FailingEachOperation) { SweepOperations(); }                                                \
  TEST_P(Suite, CuttingEachReadShort) { SweepShortReads(); }                                                \
  TEST_P(Suite##DiskFull, FailingDevice) { SweepWriteBudgets(::tags::test::TSpaceAccounting::EveryByte); } \
  TEST_P(Suite##DiskFull, FullDisk) { SweepFullDisk(); }                                                    \
  INSTANTIATE_TEST_SUITE_P(prefix, Suite, ::testing::ValuesIn(scenarios),                                   \
                           ::tags::test::SweepScenarioName<Suite::ParamType>);                              \
  INSTANTIATE_TEST_SUITE_P(prefix, Suite##DiskFull, ::testing::ValuesIn(scenarios),                         \
                           ::tags::test::SweepScenarioName<Suite::ParamType>)
