#pragma once
// Byte builders for the end of an MP3 file: the 128-byte ID3v1 block, Lyrics3 v2 fields
// and blocks, and audio to put in front of them.

#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "builders.h"
#include "testutil.h"

namespace id3v1builders {

using builders::Bytes;
using builders::Cat;
using builders::Str;

// The slots as raw bytes, each zero-padded to its width (longer text is cut, so a test
// can also build a slot that fills its width without a terminator).
struct TV1Slots {
  std::string Title, Artist, Album, Year, Comment;
  // Bytes 125 and 126: a zero then the track for 1.1, comment bytes for 1.0.
  uint8_t Byte125 = 0;
  uint8_t Byte126 = 0;
  uint8_t Genre = 255;
};

inline Bytes Slot(std::string_view text, size_t width) {
  Bytes out(text.begin(), text.begin() + std::ptrdiff_t(std::min(width, text.size())));
  out.resize(width, 0);
  return out;
}

inline Bytes V1Block(const TV1Slots& s) {
  // The comment slot holds 28 bytes; 125 and 126 are given separately.
  return Cat({Str("TAG"), Slot(s.Title, 30), Slot(s.Artist, 30), Slot(s.Album, 30), Slot(s.Year, 4),
              Slot(s.Comment, 28), {s.Byte125, s.Byte126, s.Genre}});
}

// A 1.1 tag with a track number.
inline Bytes V11(std::string title, uint8_t track = 0, uint8_t genre = 255) {
  TV1Slots s;
  s.Title = std::move(title);
  s.Byte126 = track;
  s.Genre = genre;
  return V1Block(s);
}

inline Bytes Lyrics3Field(std::string_view letters, std::string_view data) {
  char size[8];
  std::snprintf(size, sizeof size, "%05zu", data.size());
  return Cat({Str(letters), Str(size), Str(data)});
}

// "LYRICSBEGIN", the fields, the six size digits and "LYRICS200".
inline Bytes Lyrics3Block(const Bytes& fields) {
  char size[8];
  std::snprintf(size, sizeof size, "%06zu", fields.size() + 11);
  return Cat({Str("LYRICSBEGIN"), fields, Str(size), Str("LYRICS200")});
}

// MPEG-like noise with sync words; it ends in bytes that look like neither block.
inline Bytes Audio(size_t size = 5000, uint32_t seed = 77) {
  Bytes audio = testutil::RandomBytes(size, seed);
  for (size_t i = 0; i + 4 < audio.size(); i += 417) {
    audio[i] = 0xFF;
    audio[i + 1] = 0xFB;
  }
  return audio;
}

}  // namespace id3v1builders
