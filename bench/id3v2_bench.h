#pragma once

#include <vector>

#include "benchfiles.h"
#include "ratioreporter.h"

namespace bench {

// Builds the fixtures in `folder` and registers each ID3v2 case with its raw-I/O floor;
// returns the pairs for the summary. `folder` must outlive the benchmark run.
std::vector<TBenchPair> RegisterID3v2Benchmarks(const TBenchFolder& folder);

}  // namespace bench
