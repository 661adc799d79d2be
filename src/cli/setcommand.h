#pragma once
// `sonivex-cli set FILE... [--field NAME=VALUE...] [--v1 NAME=VALUE...] [--remove v1|v2|lyrics3]`:
// writes ID3v2 text-frame properties and ID3v1 fields, or removes whole tags.

#include <string>
#include <vector>

#include "writeoptions.h"

namespace cli {

struct TFieldAssignment {
  std::string Name;   // a text-frame property name: Title, Artist, Year, ...
  std::string Value;  // UTF-8; empty removes the frame
};

struct TSetRequest {
  std::vector<std::string> Files;
  std::vector<TFieldAssignment> Fields;    // --field: ID3v2 text-frame properties
  std::vector<TFieldAssignment> V1Fields;  // --v1: Title, Artist, Album, Year, Comment, Track, Genre
  bool RemoveV1 = false, RemoveV2 = false, RemoveLyrics3 = false;  // --remove
  TWriteOptions Options;
};

// Parses the arguments after "set"; returns an empty string or the usage error.
std::string ParseSetArguments(const std::vector<std::string>& args, TSetRequest& request);

// Writes one file; returns its JSON line and sets `ok`. A file the engine or the
// chosen encoding refuses is left untouched.
std::string SetFile(const std::string& path, const TSetRequest& request, bool& ok);

int RunSet(const TSetRequest& request);

}  // namespace cli
