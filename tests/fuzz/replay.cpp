// Runs the fuzz body over the built-in seeds and over every file in the folders given,
// so that the corpus and each input that once crashed the fuzzer are checked by every
// build's tests, without clang or libFuzzer. A broken invariant aborts: the last
// "replay:" line names the input.
//
//   id3v2_fuzz_replay FOLDER...             replay the built-in inputs and every file in the folders
//   id3v2_fuzz_replay --write-seeds FOLDER  write the built-in inputs there as files (the corpus)

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzzbody.h"
#include "seeds.h"

namespace {

namespace fs = std::filesystem;

int WriteSeeds(const fs::path& folder) {
  fs::create_directories(folder);
  for (const fuzz::TSeed& seed : fuzz::Seeds()) {
    std::ofstream out(folder / seed.Name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(seed.Bytes.data()), std::streamsize(seed.Bytes.size()));
    if (!out) {
      std::fprintf(stderr, "replay: cannot write %s\n", (folder / seed.Name).c_str());
      return 1;
    }
  }
  return 0;
}

void Replay(const std::string& name, const std::vector<uint8_t>& bytes) {
  std::fprintf(stderr, "replay: %s\n", name.c_str());
  fuzz::RunInput(bytes.data(), bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--write-seeds") return WriteSeeds(argv[2]);
  fuzz::SilenceEngineMessages();

  size_t inputs = 0;
  for (const fuzz::TSeed& seed : fuzz::Seeds()) {
    Replay("seed " + seed.Name, seed.Bytes);
    ++inputs;
  }
  for (int i = 1; i < argc; ++i) {
    std::error_code error;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(argv[i], error))
      if (entry.is_regular_file() && entry.path().filename() != "README.md") files.push_back(entry.path());
    if (error) {
      std::fprintf(stderr, "replay: cannot list %s: %s\n", argv[i], error.message().c_str());
      return 1;
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
      std::ifstream in(file, std::ios::binary);
      const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      Replay(file.string(), bytes);
      ++inputs;
    }
  }
  std::fprintf(stderr, "replay: %zu inputs, all invariants held\n", inputs);
  return 0;
}
