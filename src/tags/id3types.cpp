#include "id3types.h"

namespace tags {

TBytes EncodeSyncSafe(uint64_t value, int count) {
  TBytes out(count > 0 ? size_t(count) : 0);
  for (int i = count - 1; i >= 0; --i) {
    out[size_t(i)] = uint8_t(value & 0x7F);
    value >>= 7;
  }
  return out;
}

uint32_t DecodeSyncSafe(std::span<const uint8_t> bytes) {
  uint64_t v = 0;
  for (uint8_t b : bytes) v = (v << 7) | (b & 0x7F);
  return uint32_t(v);
}

uint32_t ReadBigEndian(std::span<const uint8_t> bytes) {
  uint32_t v = 0;
  for (uint8_t b : bytes) v = (v << 8) | b;
  return v;
}

void WriteBigEndian(TMemoryStream& stream, uint32_t value, int count) {
  uint8_t buf[4];
  for (int i = count - 1; i >= 0; --i) {
    buf[i] = uint8_t(value & 0xFF);
    value >>= 8;
  }
  stream.Write(buf, size_t(count));
}

void WriteSyncSafe(TMemoryStream& stream, uint64_t value, int count) {
  stream.Write(EncodeSyncSafe(value, count));
}

bool Unsynchronise(TMemoryStream& stream) {
  const TBytes& in = stream.Bytes();
  // Most payloads need no insertion at all: look first, so they are not copied.
  bool needed = false;
  for (size_t i = 1; i < in.size() && !needed; ++i)
    needed = in[i - 1] == 0xFF && (in[i] == 0x00 || in[i] >= 0xE0);
  stream.Seek(0);
  if (!needed) return false;
  TBytes out;
  out.reserve(in.size() + in.size() / 16 + 16);
  bool previousFF = false;
  for (uint8_t b : in) {
    if (previousFF && (b == 0x00 || b >= 0xE0)) out.push_back(0x00);
    out.push_back(b);
    previousFF = b == 0xFF;
  }
  stream.Assign(std::move(out));
  return true;
}

void Resynchronise(TMemoryStream& stream) {
  TBytes& data = stream.Bytes();
  size_t w = 0;
  bool previousFF = false;
  for (size_t r = 0; r < data.size(); ++r) {
    const uint8_t b = data[r];
    if (!(previousFF && b == 0x00)) data[w++] = b;
    previousFF = b == 0xFF;
  }
  data.resize(w);
  stream.Seek(0);
}

}  // namespace tags
