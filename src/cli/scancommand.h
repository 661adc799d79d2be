#pragma once
// `sonivex-cli scan FOLDER`: the rows the file list shows for a folder, as TSV or JSON.

#include <string>
#include <vector>

namespace cli {

struct TScanRequest {
  std::string Folder;
  bool Recursive = false;
  bool Hidden = false;
  int ReadTag = 2;  // both tags, ID3v2 first, as the desktop program does by default
  bool Json = false;
};

// Returns an error text for a usage error, else empty.
std::string ParseScanArguments(const std::vector<std::string>& args, TScanRequest& request);

// Returns the exit status: 0 when every folder and file was read, 1 otherwise.
int RunScan(const TScanRequest& request);

}  // namespace cli
