#pragma once
// The options every writing command shares: the version and encoding a tag is saved in.

#include <optional>
#include <string>
#include <string_view>

#include "id3types.h"

namespace cli {

struct TWriteOptions {
  std::optional<tags::TID3v2VersionToSave> Version;  // --version; unset: as read
  std::optional<tags::TID3v2Encoding> Encoding;      // --encoding; unset: by version
};

// "2.2", "2.3", "2.4".
std::optional<tags::TID3v2VersionToSave> ParseVersion(std::string_view text);
// "latin1", "utf16", "utf16be", "utf8".
std::optional<tags::TID3v2Encoding> ParseEncoding(std::string_view text);
const char* VersionName(tags::TID3v2VersionToSave version);
const char* EncodingName(tags::TID3v2Encoding encoding);

// The version a tag read in `majorVersion` (0: none) is saved in: the same, else 2.3.
tags::TID3v2VersionToSave DefaultVersion(int majorVersion);
// UTF-16 where 2.2 and 2.3 allow nothing wider, UTF-8 for 2.4.
tags::TID3v2Encoding DefaultEncoding(tags::TID3v2VersionToSave version);
// Whether the version can carry the encoding (2.2 and 2.3 know Latin-1 and UTF-16 only).
bool VersionAllows(tags::TID3v2VersionToSave version, tags::TID3v2Encoding encoding);

}  // namespace cli
