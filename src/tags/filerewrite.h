#pragma once
// The one way the engine replaces a file's content: a new file beside the original,
// flushed, given the original's permissions, renamed over it in one step. The original
// stays byte for byte as it was whenever anything fails on the way.

#include <cstdint>
#include <span>
#include <string>

#include "fileio.h"

namespace tags {

// Gives the file owner write permission when it lacks it, as writing needs; returns its
// status afterwards (Exists false for a missing file). A refusal is an EFileError, not
// a silent skip: the caller would otherwise take an unsaved file for a saved one.
TFileStatus MakeOwnerWritable(TFileSystem& fs, const std::string& path);

// Replaces the file at `path` (a symbolic link is followed and its target replaced) by
// `head`, then the bytes [keepFrom, keepTo) of the file as it is now, then `tail`.
// `keepTo` is clamped to the file's size. `status` gives the mode, owner and group of
// the new file. Throws ETagError on failure, with the original untouched and no
// temporary file left.
void RewriteFile(TFileSystem& fs, const std::string& path, std::span<const uint8_t> head, uint64_t keepFrom,
                 uint64_t keepTo, std::span<const uint8_t> tail, const TFileStatus& status);

}  // namespace tags
