#pragma once
// Byte builders for ID3v2 fixtures: integers, frames of each version, whole tag regions,
// and the two calls that run the frame parser and writer on such bytes without a file.

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "id3v2tag.h"
#include "testutil.h"

namespace builders {

using testutil::Bytes;

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

inline Bytes Str(std::string_view text) { return Bytes(text.begin(), text.end()); }

inline Bytes BE(uint32_t value, int count) {
  Bytes out(static_cast<size_t>(count));
  for (int i = count - 1; i >= 0; --i, value >>= 8) out[size_t(i)] = uint8_t(value);
  return out;
}

inline Bytes SyncSafe(uint64_t value, int count = 4) {
  Bytes out(static_cast<size_t>(count));
  for (int i = count - 1; i >= 0; --i, value >>= 7) out[size_t(i)] = uint8_t(value & 0x7F);
  return out;
}

inline Bytes Zeros(size_t count) { return Bytes(count, 0); }

// A zlib stream with its header, as frames flagged compressed carry it.
inline Bytes Zlib(const Bytes& plain) {
  uLongf size = compressBound(uLong(plain.size()));
  Bytes out(size);
  compress2(out.data(), &size, plain.data(), uLong(plain.size()), Z_BEST_COMPRESSION);
  out.resize(size);
  return out;
}

inline Bytes Inflate(const Bytes& packed, size_t plainSize) {
  Bytes out(plainSize);
  uLongf size = uLongf(plainSize);
  if (uncompress(out.data(), &size, packed.data(), uLong(packed.size())) != Z_OK) return {};
  out.resize(size);
  return out;
}

// A text frame payload in encoding 0.
inline Bytes Text(std::string_view text) { return Cat({{0}, Str(text)}); }

inline Bytes Frame22(std::string_view name, const Bytes& payload) {
  return Cat({Str(name.substr(0, 3)), BE(uint32_t(payload.size()), 3), payload});
}

// `extras` are the optional header fields (data length, symbols) that sit between the
// flag bytes and the payload; the size counts them, as the format does.
inline Bytes Frame23(std::string_view name, const Bytes& payload, uint8_t status = 0,
                     uint8_t format = 0, const Bytes& extras = {}) {
  return Cat({Str(name), BE(uint32_t(extras.size() + payload.size()), 4), {status, format}, extras,
              payload});
}

inline Bytes Frame24(std::string_view name, const Bytes& payload, uint8_t status = 0,
                     uint8_t format = 0, const Bytes& extras = {}) {
  return Cat({Str(name), SyncSafe(extras.size() + payload.size()), {status, format}, extras,
              payload});
}

// A plain frame of the major version, no flags.
inline Bytes Frame(int major, std::string_view name, const Bytes& payload) {
  if (major == 2) return Frame22(name, payload);
  return major == 3 ? Frame23(name, payload) : Frame24(name, payload);
}

inline Bytes Header(int major, uint8_t flags, uint32_t size, uint8_t revision = 0) {
  return Cat({Str("ID3"), {uint8_t(major), revision, flags}, SyncSafe(size)});
}

// Header and body, zero-padded so that the whole region is `region` bytes (when it is
// larger than the two).
inline Bytes Tag(int major, uint8_t flags, const Bytes& body, size_t region = 0) {
  Bytes padded = body;
  if (region > 10 + body.size()) padded.resize(region - 10, 0);
  return Cat({Header(major, flags, uint32_t(padded.size())), padded});
}

// Makes the tag believe it read a tag of `major` (as the parser and the name setters
// depend on it), then parses `area` as that tag's frames and padding.
inline int LoadFrames(tags::TID3v2Tag& tag, int major, const Bytes& area, uint8_t headerFlags = 0) {
  tags::TMemoryStream header(Header(major, headerFlags, uint32_t(area.size())));
  tag.Header().LoadFromStream(header);
  tags::TMemoryStream stream(area);
  return tag.Frames().LoadFromStream(stream);
}

// Writes the frames as the tag's version to save would, without header or padding.
inline Bytes SaveFrames(tags::TID3v2Tag& tag) {
  tags::TMemoryStream out;
  tag.Frames().SaveToStream(out);
  return out.Bytes();
}

inline Bytes Payload(const tags::TID3v2Frame& frame) { return frame.Data().Bytes(); }

// A test whose tag is active on a file of its own: without an ID3v2 tag, or with the
// tag bytes given to OpenWith; engine messages are captured.
class TActiveTagTest : public ::testing::Test {
 protected:
  void SetUp() override { OpenWith({}); }

  void OpenWith(const Bytes& tagBytes) {
    tag_.Close();
    testutil::WriteFile(path_, Cat({tagBytes, Bytes(64, 0xAA)}));
    tag_.SetFileName("");
    tag_.SetFileName(path_);
    tag_.Open();
    ASSERT_TRUE(tag_.Active());
  }

  void Reopen() {
    tag_.Close();
    tag_.Open();
  }

  // The payload of frame number `nth` of the kind; empty when there is none.
  Bytes PayloadOf(tags::TID3v2FrameID kind, int nth = 0) {
    int seen = 0;
    for (int i = 0; i < tag_.Frames().Count(); ++i)
      if (tag_.Frames()[i].FrameID() == kind && seen++ == nth) return tag_.Frames()[i].Data().Bytes();
    return {};
  }

  testutil::TTempFolder folder_;
  std::string path_ = folder_.File("song.mp3");
  tags::TID3v2Tag tag_;
  testutil::TErrorCapture errors_;
};

}  // namespace builders
