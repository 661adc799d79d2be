#pragma once
// `sonivex-cli info FILE...`: what the tags of each file hold, one JSON object per line.

#include <string>
#include <vector>

namespace cli {

// The JSON line for one file (without the newline); `ok` is false when the file could
// not be read.
std::string DescribeFile(const std::string& path, bool& ok);

// Returns the exit status: 0 when every file was read, 1 when some was not.
int RunInfo(const std::vector<std::string>& files);

}  // namespace cli
