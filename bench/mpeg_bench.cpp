// The cost of the MPEG analysis of one file, with the page cache warm, as the file list
// pays it for every row: a bare 1 MB stream, the same stream behind an ID3v2.3 tag with
// a 100 KB picture (skipped by its size, never read), and a 1 MB file without any frame
// header (the worst case: read to its end). Each case runs beside a floor that makes the
// plain system calls the analysis needs at the least: open, the first 10 bytes, one
// 3840-byte chunk at the first frame, the last 128 bytes, close.
//
// The cases register themselves; their fixtures are built on first use in a folder of
// their own, removed when the program ends.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <exception>
#include <memory>
#include <stdexcept>
#include <string>

#include "benchfiles.h"
#include "mpegaudio.h"

namespace bench {
namespace {

struct TMPEGFixtures {
  TBenchFolder Folder;
  std::string Bare = Folder.File("bare.mp3");
  std::string Tagged = Folder.File("tagged.mp3");
  std::string NoHeader = Folder.File("noheader.mp3");
  size_t TagRegion = 0;

  TMPEGFixtures() {
    const TTaggedFile tagged = BuildTaggedFile(TTaggedFileLayout{});
    TagRegion = tagged.TagRegion;
    WriteFile(Tagged, tagged.Bytes, true);
    WriteFile(Bare, TBytes(tagged.Bytes.begin() + long(tagged.TagRegion), tagged.Bytes.end()), true);
    WriteFile(NoHeader, TBytes(1024 * 1024, 0x5A), true);
  }
};

const TMPEGFixtures& Fixtures() {
  static const TMPEGFixtures fixtures;
  return fixtures;
}

void AnalyseEngine(benchmark::State& state, const std::string& path, bool expectValid) {
  try {
    tags::TMPEGAudio audio;
    audio.SetFileName(path);
    audio.Open();
    if (audio.Valid() != expectValid || (expectValid && audio.Bitrate() != 128)) {
      state.SkipWithError("the fixture did not analyse as expected");
      return;
    }
    for (auto _ : state) {
      audio.Open();
      benchmark::DoNotOptimize(audio.Duration());
      audio.Close();
    }
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
}

void AnalyseRaw(benchmark::State& state, const std::string& path, size_t firstFrame) {
  try {
    const uint64_t size = FileSize(path);
    for (auto _ : state) {
      const int fd = OpenOrThrow(path, O_RDONLY);
      uint8_t header[10], chunk[3840], tail[128];
      ReadFully(fd, header, sizeof header);
      if (::pread(fd, chunk, sizeof chunk, off_t(firstFrame)) < 0) throw std::runtime_error("pread");
      if (::pread(fd, tail, sizeof tail, off_t(size - sizeof tail)) < 0) throw std::runtime_error("pread");
      benchmark::DoNotOptimize(chunk);
      benchmark::DoNotOptimize(tail);
      CloseOrThrow(fd);
    }
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
}

const bool kRegistered = [] {
  benchmark::RegisterBenchmark("MPEGAnalyse/bare/engine",
                               [](benchmark::State& s) { AnalyseEngine(s, Fixtures().Bare, true); });
  benchmark::RegisterBenchmark("MPEGAnalyse/bare/raw", [](benchmark::State& s) { AnalyseRaw(s, Fixtures().Bare, 0); });
  benchmark::RegisterBenchmark("MPEGAnalyse/id3v2_100KB_picture/engine",
                               [](benchmark::State& s) { AnalyseEngine(s, Fixtures().Tagged, true); });
  benchmark::RegisterBenchmark("MPEGAnalyse/id3v2_100KB_picture/raw",
                               [](benchmark::State& s) { AnalyseRaw(s, Fixtures().Tagged, Fixtures().TagRegion); });
  benchmark::RegisterBenchmark("MPEGAnalyse/no_header_1MB/engine",
                               [](benchmark::State& s) { AnalyseEngine(s, Fixtures().NoHeader, false); });
  return true;
}();

}  // namespace
}  // namespace bench
