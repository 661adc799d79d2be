#pragma once
// An in-memory byte stream with a read/write position: the shape in which the engine
// handles a frame payload and the tag buffer. Every read is bounded by the content.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tags {

using TBytes = std::vector<uint8_t>;

class TMemoryStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(TBytes bytes) : Bytes_(std::move(bytes)) {}
  TMemoryStream(const void* data, size_t size) { Write(data, size); Position_ = 0; }

  const TBytes& Bytes() const { return Bytes_; }
  TBytes& Bytes() { return Bytes_; }
  std::span<const uint8_t> Span() const { return Bytes_; }
  const uint8_t* Data() const { return Bytes_.data(); }
  size_t Size() const { return Bytes_.size(); }
  size_t Position() const { return Position_; }
  size_t Remaining() const { return Position_ < Bytes_.size() ? Bytes_.size() - Position_ : 0; }
  bool AtEnd() const { return Position_ >= Bytes_.size(); }

  // Positions beyond the end are allowed, as with any stream; reads there give nothing
  // and a write there fills the gap with zero bytes.
  void Seek(size_t position) { Position_ = position; }
  void Clear() { Bytes_.clear(); Position_ = 0; }
  // Replaces the content and rewinds.
  void Assign(TBytes bytes) { Bytes_ = std::move(bytes); Position_ = 0; }

  // Copies up to `count` bytes from the position; returns how many were copied.
  size_t Read(void* buffer, size_t count);
  // Reads one byte; false at the end.
  bool ReadByte(uint8_t& value);
  // Writes at the position, overwriting and growing as needed.
  void Write(const void* data, size_t count);
  void Write(std::span<const uint8_t> data) { Write(data.data(), data.size()); }
  void WriteByte(uint8_t value) { Write(&value, 1); }

 private:
  TBytes Bytes_;
  size_t Position_ = 0;
};

}  // namespace tags
