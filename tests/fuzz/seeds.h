#pragma once
// The starting corpus, built in code: one small file for each path through the reader the
// fuzzer should start from (each version, header and frame flags, extended headers,
// footers, compression, unsynchronisation, damaged sizes). tests/fuzz/corpus holds the
// same inputs as files, written by `id3v2_fuzz_replay --write-seeds`.

#include <string>
#include <vector>

#include "memorystream.h"

namespace fuzz {

struct TSeed {
  std::string Name;  // also the file name in the corpus folder
  tags::TBytes Bytes;
};

std::vector<TSeed> Seeds();

}  // namespace fuzz
