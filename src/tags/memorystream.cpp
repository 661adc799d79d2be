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
  if (Position_ + count > Bytes_.size()) Bytes_.resize(Position_ + count);
  std::memcpy(Bytes_.data() + Position_, data, count);
  Position_ += count;
}

}  // namespace tags
