#include "benchfiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <filesystem>
#include <system_error>

namespace bench {
namespace {

[[noreturn]] void ThrowErrno(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

// Deterministic filler, so every run measures the same bytes.
class TXorShift {
 public:
  explicit TXorShift(uint64_t seed) : State_(seed) {}
  uint8_t Next() {
    State_ ^= State_ << 13;
    State_ ^= State_ >> 7;
    State_ ^= State_ << 17;
    return uint8_t(State_ >> 24);
  }

 private:
  uint64_t State_;
};

// Plain resize and copy: GCC 12 reports false out-of-bounds writes for vector::insert
// into a freshly built small vector.
void Append(TBytes& out, const void* data, size_t count) {
  const size_t at = out.size();
  out.resize(at + count);
  if (count > 0) std::memcpy(out.data() + at, data, count);
}

void Append(TBytes& out, std::initializer_list<uint8_t> bytes) { Append(out, bytes.begin(), bytes.size()); }

void AppendBigEndian(TBytes& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(value >> shift));
}

void AppendFrame(TBytes& out, const char* id, const TBytes& payload) {
  Append(out, id, 4);
  AppendBigEndian(out, uint32_t(payload.size()));
  Append(out, {0, 0});
  Append(out, payload.data(), payload.size());
}

}  // namespace

TBenchFolder::TBenchFolder() {
  const char* base = std::getenv("SONIVEX_BENCH_DIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/sonivex-bench-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) ThrowErrno("create a folder from " + pattern);
  Path_ = pattern;
}

TBenchFolder::~TBenchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(Path_, ignored);
}

TBytes TextPayload(const std::string& text) {
  TBytes payload(1 + text.size(), 0);
  std::memcpy(payload.data() + 1, text.data(), text.size());
  return payload;
}

TTaggedFile BuildTaggedFile(const TTaggedFileLayout& layout) {
  static const std::array<std::pair<const char*, const char*>, 12> kTexts = {{
      {"TIT2", "A Benchmark Title of Moderate Length"},
      {"TPE1", "The Measured Ensemble"},
      {"TALB", "Numbers Without Noise"},
      {"TYER", "2024"},
      {"TCON", "(17)Rock"},
      {"TRCK", "7/12"},
      {"TCOM", "A. Composer"},
      {"TPE2", "Various Artists"},
      {"TCOP", "2024 Nobody in Particular"},
      {"TENC", "An Encoder Person"},
      {"TPUB", "Quiet Label"},
      {"TPOS", "1/2"},
  }};
  TXorShift random(0x5eed1234abcdULL);

  TBytes frames;
  for (int i = 0; i < layout.TextFrames && i < int(kTexts.size()); ++i)
    AppendFrame(frames, kTexts[size_t(i)].first, TextPayload(kTexts[size_t(i)].second));

  // APIC: encoding, MIME type, picture type 3 (front cover), empty description, image.
  TBytes picture;
  const std::string mime = "image/jpeg";
  Append(picture, {0});
  Append(picture, mime.data(), mime.size());
  Append(picture, {0, 3, 0});
  const size_t imageStart = picture.size();
  Append(picture, {0xFF, 0xD8, 0xFF, 0xE0});
  while (picture.size() - imageStart < layout.PictureSize) picture.push_back(random.Next());
  AppendFrame(frames, "APIC", picture);

  const uint32_t size = uint32_t(frames.size() + layout.Padding);
  TTaggedFile file;
  file.Bytes = {'I', 'D', '3', 3, 0, 0, uint8_t((size >> 21) & 0x7F), uint8_t((size >> 14) & 0x7F),
                uint8_t((size >> 7) & 0x7F), uint8_t(size & 0x7F)};
  Append(file.Bytes, frames.data(), frames.size());
  file.Bytes.resize(file.Bytes.size() + layout.Padding, 0);
  file.TagRegion = file.Bytes.size();

  // MPEG-1 layer III, 128 kbit/s, 44.1 kHz frames: 417 bytes each behind a sync word.
  constexpr size_t kFrameLength = 417;
  const size_t end = file.TagRegion + layout.AudioSize;
  file.Bytes.reserve(end);
  while (file.Bytes.size() < end) {
    if ((file.Bytes.size() - file.TagRegion) % kFrameLength == 0)
      Append(file.Bytes, {0xFF, 0xFB, 0x90, 0x64});
    else
      file.Bytes.push_back(random.Next());
  }
  file.Bytes.resize(end);
  return file;
}

int OpenOrThrow(const std::string& path, int flags, unsigned mode) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
  if (fd < 0) ThrowErrno("open " + path);
  return fd;
}

void ReadFully(int fd, void* buffer, size_t count) {
  size_t done = 0;
  while (done < count) {
    const ssize_t n = ::read(fd, static_cast<char*>(buffer) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ThrowErrno("read");
    if (n == 0) throw std::runtime_error("unexpected end of file");
    done += size_t(n);
  }
}

void WriteFully(int fd, const void* data, size_t count) {
  size_t done = 0;
  while (done < count) {
    const ssize_t n = ::write(fd, static_cast<const char*>(data) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ThrowErrno("write");
    done += size_t(n);
  }
}

void PWriteFully(int fd, const void* data, size_t count, uint64_t offset) {
  size_t done = 0;
  while (done < count) {
    const ssize_t n = ::pwrite(fd, static_cast<const char*>(data) + done, count - done, off_t(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ThrowErrno("write");
    done += size_t(n);
  }
}

void SyncOrThrow(int fd) {
  if (::fsync(fd) != 0) ThrowErrno("fsync");
}

void CloseOrThrow(int fd) {
  if (::close(fd) != 0 && errno != EINTR) ThrowErrno("close");
}

void RenameOrThrow(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) ThrowErrno("rename " + from + " to " + to);
}

void WriteFile(const std::string& path, const TBytes& bytes, bool durable) {
  const int fd = OpenOrThrow(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  WriteFully(fd, bytes.data(), bytes.size());
  if (durable) SyncOrThrow(fd);
  CloseOrThrow(fd);
}

void RestoreFile(const std::string& path, const TBytes& bytes) {
  // A new inode rather than a truncated one: ext4 treats truncate-and-rewrite specially
  // (it starts writeback at close), which would leak into the measurement.
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) ThrowErrno("delete " + path);
  WriteFile(path, bytes, true);
}

TBytes ReadFile(const std::string& path) {
  const int fd = OpenOrThrow(path, O_RDONLY);
  struct stat st;
  if (::fstat(fd, &st) != 0) ThrowErrno("examine " + path);
  TBytes bytes(size_t(st.st_size));
  ReadFully(fd, bytes.data(), bytes.size());
  CloseOrThrow(fd);
  return bytes;
}

uint64_t FileSize(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) ThrowErrno("examine " + path);
  return uint64_t(st.st_size);
}

uint32_t DecodeSyncSafe(const uint8_t* bytes) {
  return (uint32_t(bytes[0] & 0x7F) << 21) | (uint32_t(bytes[1] & 0x7F) << 14) |
         (uint32_t(bytes[2] & 0x7F) << 7) | uint32_t(bytes[3] & 0x7F);
}

}  // namespace bench
