#pragma once
// The one table of frame kinds: identifiers per version, the versions a kind is saved
// in, and the description shown to users. Every lookup goes through it.

#include <array>
#include <string>
#include <string_view>

#include "id3types.h"

namespace tags {

// The 4-byte name field of a frame; a 3-character 2.2 name is followed by a zero byte.
using TID3v2FrameName = std::array<char, 4>;

struct TFrameTableRow {
  TID3v2FrameID ID;
  const char* Name22;    // nullptr when 2.2 has no identifier for the kind
  const char* Name2324;  // nullptr when 2.3 and 2.4 have none
  uint8_t SavedIn;       // bit v set: written when saving with version-to-save v
  const char* Description;
};

const TFrameTableRow& FrameTableRow(TID3v2FrameID id);
// The enumeration name, "fiTitle", as scripts and logs show it.
const char* FrameIDToString(TID3v2FrameID id);

// First 3 bytes (major version 2) or all 4 must each be A-Z or 0-9.
bool IsValidFrameName(const TID3v2FrameName& name, int majorVersion);
TID3v2FrameID FrameNameToID(const TID3v2FrameName& name, int majorVersion);
TID3v2FrameName FrameIDToName(TID3v2FrameID id, int majorVersion);
bool IsFrameSupported(TID3v2FrameID id, TID3v2VersionToSave versionToSave);

// The name as text, up to its first zero byte.
std::string FrameNameText(const TID3v2FrameName& name);
TID3v2FrameName MakeFrameName(std::string_view text);

}  // namespace tags
