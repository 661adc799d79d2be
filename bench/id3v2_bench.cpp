// The ID3v2 engine's file work against what the same bytes cost through plain system
// calls. Each floor moves exactly the bytes its engine case moves, so the ratio shows
// what parsing, building and the engine's extra safety steps add on top of the I/O.

#include "id3v2_bench.h"

#include <benchmark/benchmark.h>
#include <fcntl.h>

#include <chrono>
#include <exception>
#include <memory>
#include <stdexcept>

#include "id3v2tag.h"

namespace bench {
namespace {

using TClock = std::chrono::steady_clock;

double SecondsSince(TClock::time_point start) {
  return std::chrono::duration<double>(TClock::now() - start).count();
}

// Two titles of different length, both well inside the padding of the 1 MB fixture, so
// alternating them keeps every in-place commit a real change.
const std::string kTitleA = "A Benchmark Title of Moderate Length";
const std::string kTitleB = "Another Title, a Little Longer Than That";

constexpr size_t kLargeFileSize = 5 * 1024 * 1024;
// Far beyond the 1 KB padding of the 5 MB fixture: the tag must grow, so the file is
// rewritten.
constexpr size_t kLongTitleLength = 4096;

struct TFixtures {
  std::string OpenPath;
  TTaggedFile Small;     // cases 1 and 2: the tag, 1 MB of audio
  TTaggedFile Large;     // case 3: the tag with less padding, 5 MB in all
  TBytes InPlaceRegion;  // what the in-place commit writes over the old region
  TBytes Rewritten;      // the whole 5 MB file as the growing commit leaves it
  std::string LongTitle;
};

void Retitle(tags::TID3v2Tag& tag, const std::string& path, const std::string& title) {
  tag.SetFileName(path);
  tag.Open();
  tags::TID3v2Frame* frame = tag.Frames().GetFrame(tags::fiTitle);
  if (frame == nullptr) throw std::runtime_error("the fixture " + path + " has no title frame");
  frame->SetData(TextPayload(title));
}

// Platform errors become a failed benchmark instead of ending the whole run.
template <class Body>
void Guarded(benchmark::State& state, Body&& body) {
  try {
    body();
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
}

// --- Case 1: reading the tag --------------------------------------------------------------

void OpenEngine(benchmark::State& state, const TFixtures& f) {
  Guarded(state, [&] {
    tags::TID3v2Tag tag;
    tag.SetFileName(f.OpenPath);
    tag.Open();
    if (tag.Frames().Count() != 13) {
      state.SkipWithError("the fixture did not read as 13 frames");
      return;
    }
    tag.Close();
    for (auto _ : state) {
      tag.SetFileName(f.OpenPath);
      tag.Open();
      benchmark::DoNotOptimize(tag.Frames().Count());
      tag.Close();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.Small.TagRegion));
  });
}

void OpenRaw(benchmark::State& state, const TFixtures& f) {
  Guarded(state, [&] {
    for (auto _ : state) {
      const int fd = OpenOrThrow(f.OpenPath, O_RDONLY);
      uint8_t header[10];
      ReadFully(fd, header, sizeof header);
      const size_t size = DecodeSyncSafe(header + 6);
      std::unique_ptr<uint8_t[]> region(new uint8_t[size]);
      ReadFully(fd, region.get(), size);
      benchmark::DoNotOptimize(region.get());
      benchmark::ClobberMemory();
      CloseOrThrow(fd);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.Small.TagRegion));
  });
}

// --- Case 2: a commit that fits the old region ---------------------------------------------

void CommitInPlaceEngine(benchmark::State& state, const TFixtures& f, const std::string& path) {
  Guarded(state, [&] {
    RestoreFile(path, f.Small.Bytes);
    tags::TID3v2Tag tag;
    bool second = false;
    for (auto _ : state) {
      Retitle(tag, path, second ? kTitleB : kTitleA);
      second = !second;
      const auto start = TClock::now();
      tag.Commit();
      state.SetIterationTime(SecondsSince(start));
      tag.Close();
    }
    if (FileSize(path) != f.Small.Bytes.size()) state.SkipWithError("the commit did not stay in place");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.InPlaceRegion.size()));
  });
}

void CommitInPlaceRaw(benchmark::State& state, const TFixtures& f, const std::string& path) {
  Guarded(state, [&] {
    RestoreFile(path, f.Small.Bytes);
    for (auto _ : state) {
      const auto start = TClock::now();
      const int fd = OpenOrThrow(path, O_WRONLY);
      PWriteFully(fd, f.InPlaceRegion.data(), f.InPlaceRegion.size(), 0);
      CloseOrThrow(fd);
      state.SetIterationTime(SecondsSince(start));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.InPlaceRegion.size()));
  });
}

// --- Case 3: a commit that outgrows the padding and rewrites the file ----------------------

void CommitRewriteEngine(benchmark::State& state, const TFixtures& f, const std::string& path) {
  Guarded(state, [&] {
    tags::TID3v2Tag tag;
    for (auto _ : state) {
      // Every iteration starts from the original file: after one rewrite the tag would
      // have room to spare and the next commit would stay in place.
      RestoreFile(path, f.Large.Bytes);
      Retitle(tag, path, f.LongTitle);
      const auto start = TClock::now();
      tag.Commit();
      state.SetIterationTime(SecondsSince(start));
      tag.Close();
    }
    if (FileSize(path) != f.Rewritten.size()) state.SkipWithError("the commit did not rewrite the file");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.Rewritten.size()));
  });
}

void CommitRewriteRaw(benchmark::State& state, const TFixtures& f, const std::string& path) {
  Guarded(state, [&] {
    const std::string temp = path + ".new";
    for (auto _ : state) {
      // The same starting point as the engine: the rename replaces an equal 5 MB file.
      RestoreFile(path, f.Large.Bytes);
      const auto start = TClock::now();
      const int fd = OpenOrThrow(temp, O_WRONLY | O_CREAT | O_EXCL, 0644);
      WriteFully(fd, f.Rewritten.data(), f.Rewritten.size());
      SyncOrThrow(fd);
      CloseOrThrow(fd);
      RenameOrThrow(temp, path);
      state.SetIterationTime(SecondsSince(start));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.Rewritten.size()));
  });
}

// Runs the engine once on a scratch copy to learn the bytes each floor has to move.
std::shared_ptr<TFixtures> PrepareFixtures(const TBenchFolder& folder) {
  auto f = std::make_shared<TFixtures>();
  f->Small = BuildTaggedFile({});
  f->OpenPath = folder.File("open.mp3");
  WriteFile(f->OpenPath, f->Small.Bytes, true);

  const std::string scratch = folder.File("prepare.mp3");
  tags::TID3v2Tag tag;
  RestoreFile(scratch, f->Small.Bytes);
  Retitle(tag, scratch, kTitleB);
  tag.Commit();
  tag.Close();
  TBytes committed = ReadFile(scratch);
  if (committed.size() != f->Small.Bytes.size())
    throw std::runtime_error("the in-place fixture was rewritten instead of updated in place");
  f->InPlaceRegion.assign(committed.begin(), committed.begin() + std::ptrdiff_t(f->Small.TagRegion));

  TTaggedFileLayout large;
  large.Padding = 1024;
  large.AudioSize = 0;
  const size_t tagRegion = BuildTaggedFile(large).TagRegion;
  large.AudioSize = kLargeFileSize - tagRegion;
  f->Large = BuildTaggedFile(large);

  f->LongTitle.reserve(kLongTitleLength);
  while (f->LongTitle.size() < kLongTitleLength) f->LongTitle += "A title that will not fit. ";
  f->LongTitle.resize(kLongTitleLength);
  RestoreFile(scratch, f->Large.Bytes);
  Retitle(tag, scratch, f->LongTitle);
  tag.Commit();
  tag.Close();
  f->Rewritten = ReadFile(scratch);
  if (f->Rewritten.size() <= f->Large.Bytes.size())
    throw std::runtime_error("the growing commit did not rewrite the file");
  ::unlink(scratch.c_str());
  return f;
}

}  // namespace

std::vector<TBenchPair> RegisterID3v2Benchmarks(const TBenchFolder& folder) {
  const std::shared_ptr<TFixtures> f = PrepareFixtures(folder);
  const std::string inPlace = folder.File("inplace.mp3");
  const std::string inPlaceRaw = folder.File("inplace-raw.mp3");
  const std::string rewrite = folder.File("rewrite.mp3");
  const std::string rewriteRaw = folder.File("rewrite-raw.mp3");

  benchmark::RegisterBenchmark("Open/engine", [f](benchmark::State& s) { OpenEngine(s, *f); })
      ->UseRealTime()
      ->ComputeStatistics("min", MinOf)
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("Open/raw", [f](benchmark::State& s) { OpenRaw(s, *f); })
      ->UseRealTime()
      ->ComputeStatistics("min", MinOf)
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("CommitInPlace/engine",
                               [f, inPlace](benchmark::State& s) { CommitInPlaceEngine(s, *f, inPlace); })
      ->UseManualTime()
      ->ComputeStatistics("min", MinOf)
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("CommitInPlace/raw",
                               [f, inPlaceRaw](benchmark::State& s) { CommitInPlaceRaw(s, *f, inPlaceRaw); })
      ->UseManualTime()
      ->ComputeStatistics("min", MinOf)
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("CommitRewrite/engine",
                               [f, rewrite](benchmark::State& s) { CommitRewriteEngine(s, *f, rewrite); })
      ->UseManualTime()
      ->ComputeStatistics("min", MinOf)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("CommitRewrite/raw",
                               [f, rewriteRaw](benchmark::State& s) { CommitRewriteRaw(s, *f, rewriteRaw); })
      ->UseManualTime()
      ->ComputeStatistics("min", MinOf)
      ->Unit(benchmark::kMillisecond);

  return {
      {"Open", "Open/engine", "Open/raw", 2.0},
      {"CommitInPlace", "CommitInPlace/engine", "CommitInPlace/raw", 2.0},
      {"CommitRewrite", "CommitRewrite/engine", "CommitRewrite/raw", 1.5},
  };
}

}  // namespace bench
