#include "faultsweep.h"

#include <algorithm>
#include <string>
#include <vector>

namespace tags::test {

std::string FirstDifference(const testutil::Bytes& actual, const testutil::Bytes& expected) {
  const size_t common = std::min(actual.size(), expected.size());
  for (size_t i = 0; i < common; ++i)
    if (actual[i] != expected[i])
      return "first difference at byte " + std::to_string(i) + " of " + std::to_string(expected.size());
  return "sizes " + std::to_string(actual.size()) + " and " + std::to_string(expected.size());
}

std::vector<uint64_t> WriteBudgets(uint64_t cleanBytes, const std::vector<uint64_t>& edges) {
  std::vector<uint64_t> budgets;
  const uint64_t step = std::max<uint64_t>(1, cleanBytes / 400);
  for (uint64_t b = 0; b <= cleanBytes; b += step) budgets.push_back(b);
  // cleanBytes - 1 wraps round when nothing was written, and is dropped below with the
  // edges the clean run never reached.
  std::vector<uint64_t> exact{1, cleanBytes - 1, cleanBytes};
  exact.insert(exact.end(), edges.begin(), edges.end());
  for (const uint64_t b : exact)
    if (b <= cleanBytes) budgets.push_back(b);
  return budgets;
}

}  // namespace tags::test
