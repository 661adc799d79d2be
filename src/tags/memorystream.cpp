#include "memorystream.h"

#include <algorithm>
#include <cstring>

namespace tags {

size_t TMemoryStream::Read(void* buffer, size_t count) {
  const size_t n = std::min(count, Remaining());
  if (n > 0) std::memcpy(buffer, Bytes_.data() + Position_, n);
  Position_ += n;
  return n;
}

bool TMemoryStream::ReadByte(uint8_t& value) { return Read(&value, 1) == 1; }

void TMemoryStream::Write(const void* data, size_t count) {
  if (count == 0) return;
  if (Position_ >= Bytes_.size()) {
    // Appending, the way tags and payloads are built: the bytes are copied once, where
    // growing first would zero them and then copy over them.
    const auto* bytes = static_cast<const uint8_t*>(data);
    Bytes_.resize(Position_);  // a gap beyond the end becomes zeros
    Bytes_.insert(Bytes_.end(), bytes, bytes + count);
  } else {
    if (Position_ + count > Bytes_.size()) Bytes_.resize(Position_ + count);
    std::memcpy(Bytes_.data() + Position_, data, count);
  }
  Position_ += count;
}

}  // namespace tags
