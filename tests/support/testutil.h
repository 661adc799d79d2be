#pragma once
// Small helpers every test program can use: a private temporary folder, capture of the
// engine's messages, whole-file reads and writes, checksums and reproducible bytes.

#include <cstdint>
#include <string>
#include <vector>

#include "tagerror.h"

namespace testutil {

using Bytes = std::vector<uint8_t>;

// A fresh, empty folder under the system's temporary directory, removed with all its
// content when the object goes. One per test keeps tests independent of each other and
// of what a failed earlier run left behind.
class TTempFolder {
 public:
  TTempFolder();
  ~TTempFolder();
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;

  const std::string& Path() const { return Path_; }
  // The full path of `name` inside the folder (nothing is created).
  std::string File(const std::string& name) const;
  // The names of the entries directly inside `subfolder` (the folder itself when
  // empty), sorted; links are listed, not followed.
  std::vector<std::string> List(const std::string& subfolder = {}) const;

 private:
  std::string Path_;
};

// Collects every engine message for as long as it lives, instead of letting them reach
// stderr, and puts the previous handler back afterwards.
class TErrorCapture {
 public:
  struct TMessage {
    std::string Caption;
    std::string Text;
  };

  TErrorCapture();
  ~TErrorCapture();
  TErrorCapture(const TErrorCapture&) = delete;
  TErrorCapture& operator=(const TErrorCapture&) = delete;

  const std::vector<TMessage>& Messages() const { return Messages_; }
  // Only the texts, in the order they were shown.
  std::vector<std::string> Texts() const;
  void Clear() { Messages_.clear(); }

 private:
  std::vector<TMessage> Messages_;
  tags::TTagErrorHandler Previous_;
};

// Whole-file access; failures end the test with a readable assertion message.
Bytes ReadFile(const std::string& path);
void WriteFile(const std::string& path, const Bytes& content);

// zlib's CRC-32, to compare large byte ranges in one readable number.
uint32_t Crc32(const Bytes& bytes, size_t offset = 0, size_t length = SIZE_MAX);

// Deterministic pseudo-random bytes: a failing case can be replayed from its seed.
Bytes RandomBytes(size_t count, uint32_t seed);

// The bytes of a text, without terminator.
Bytes ToBytes(const std::string& text);

}  // namespace testutil
