#pragma once
// Small MP3 files built in code: a run of MPEG frames between an optional ID3v2.3 tag
// and an optional ID3v1.1 tag.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "testutil.h"

namespace mp3 {

using testutil::Bytes;

// MPEG-1 Layer III, 128 kbit/s, 44.1 kHz: 417 bytes a frame, 1152 samples.
inline constexpr uint32_t kHeader = 0xFFFB9064;
inline constexpr size_t kFrameLength = 417;

inline Bytes Frames(int count) {
  Bytes out;
  for (int i = 0; i < count; ++i) {
    Bytes frame(kFrameLength, 0);
    frame[0] = 0xFF, frame[1] = 0xFB, frame[2] = 0x90, frame[3] = 0x64;
    out.insert(out.end(), frame.begin(), frame.end());
  }
  return out;
}

// An ID3v2.3 (or .4) tag of text frames in ISO-8859-1; `id` "COMM" and "WXXX" get
// their own layouts.
inline Bytes V2Tag(const std::vector<std::pair<std::string, std::string>>& frames, int major = 3) {
  Bytes body;
  for (const auto& [id, text] : frames) {
    Bytes payload{0};
    if (id == "COMM") payload.insert(payload.end(), {'e', 'n', 'g', 0});
    if (id == "WXXX") payload.push_back(0);
    payload.insert(payload.end(), text.begin(), text.end());
    const uint32_t size = uint32_t(payload.size());
    body.insert(body.end(), id.begin(), id.end());
    if (major == 4)
      body.insert(body.end(), {uint8_t(size >> 21 & 127), uint8_t(size >> 14 & 127), uint8_t(size >> 7 & 127),
                               uint8_t(size & 127)});
    else
      body.insert(body.end(), {uint8_t(size >> 24), uint8_t(size >> 16), uint8_t(size >> 8), uint8_t(size)});
    body.insert(body.end(), {0, 0});
    body.insert(body.end(), payload.begin(), payload.end());
  }
  body.resize(body.size() + 64, 0);  // padding
  const uint32_t size = uint32_t(body.size());
  Bytes tag{'I', 'D', '3', uint8_t(major), 0, 0, uint8_t(size >> 21 & 127), uint8_t(size >> 14 & 127),
            uint8_t(size >> 7 & 127), uint8_t(size & 127)};
  tag.insert(tag.end(), body.begin(), body.end());
  return tag;
}

struct TV1 {
  std::string Title, Artist, Album, Year, Comment;
  uint8_t Track = 0;
  uint8_t Genre = 255;
};

inline Bytes V1Tag(const TV1& v) {
  Bytes out{'T', 'A', 'G'};
  const auto slot = [&out](const std::string& text, size_t width) {
    Bytes s(width, 0);
    std::copy_n(text.begin(), std::min(width, text.size()), s.begin());
    out.insert(out.end(), s.begin(), s.end());
  };
  slot(v.Title, 30);
  slot(v.Artist, 30);
  slot(v.Album, 30);
  slot(v.Year, 4);
  slot(v.Comment, 28);
  out.push_back(0);
  out.push_back(v.Track);
  out.push_back(v.Genre);
  return out;
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

}  // namespace mp3
