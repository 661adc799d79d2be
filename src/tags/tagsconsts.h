#pragma once
// The engine's own message texts. Placeholders follow printf.

namespace tags {

inline constexpr const char* kErrorCaption = "Error";
inline constexpr const char* sTagSizeMoreThan = "Tag size more than %d MB";
inline constexpr const char* sFrameSizeMoreThan = "Frame size more than %d MB";
inline constexpr const char* sEncryptionNotSupported = "Encryption is not supported";
inline constexpr const char* sNotValidInteger = "\"%s\" is not a valid integer value";
inline constexpr const char* sNotValidTimestamp = "\"%s\" is not a valid timestamp";
inline constexpr const char* sNoOwner = "No owner specified";
inline constexpr const char* sNotApplicable = "Not applicable to this ID3 tag version";
inline constexpr const char* sNotImplemented = "Not implemented yet";
inline constexpr const char* sNotSupported = "Not supported";
inline constexpr const char* sFrameNotSupported = "This frame is not supported in this ID3 tag version";
inline constexpr const char* sLyrics3FieldTooLarge = "Lyrics3 field %s is larger than %d bytes";
inline constexpr const char* sLyrics3BlockTooLarge = "Lyrics3 block is larger than %d bytes";

}  // namespace tags
