#pragma once
// The files the benchmarks work on: a private folder, the bytes of tagged MP3 files
// built in code, and the plain POSIX calls the raw-I/O floors are made of.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace bench {

using TBytes = std::vector<uint8_t>;

// A fresh folder inside $SONIVEX_BENCH_DIR (or /tmp when unset), removed with everything
// in it when the object goes. Only what was created here is ever removed.
class TBenchFolder {
 public:
  TBenchFolder();
  ~TBenchFolder();
  TBenchFolder(const TBenchFolder&) = delete;
  TBenchFolder& operator=(const TBenchFolder&) = delete;

  const std::string& Path() const { return Path_; }
  std::string File(const std::string& name) const { return Path_ + "/" + name; }

 private:
  std::string Path_;
};

// An MP3 file with an ID3v2.3 tag at its start: `textFrames` text frames (at most 12)
// with Latin-1 text, one APIC frame holding a JPEG-like picture of `pictureSize` bytes,
// `padding` zero bytes, then `audioSize` bytes of MPEG-like frames.
struct TTaggedFileLayout {
  int TextFrames = 12;
  size_t PictureSize = 100 * 1024;
  size_t Padding = 2048;
  size_t AudioSize = 1024 * 1024;
};

struct TTaggedFile {
  TBytes Bytes;
  size_t TagRegion = 0;  // header, frames and padding
};

TTaggedFile BuildTaggedFile(const TTaggedFileLayout& layout);

// The payload of a text frame: encoding byte 0 (ISO-8859-1) and the text.
TBytes TextPayload(const std::string& text);

// Every write below ends with the data on disk when `durable` is set, so that writeback
// left over from preparing a fixture does not fall into the next timed region.
void WriteFile(const std::string& path, const TBytes& bytes, bool durable);
// Replaces the file by a new one (unlink, then create) with these bytes, synced.
void RestoreFile(const std::string& path, const TBytes& bytes);
TBytes ReadFile(const std::string& path);
uint64_t FileSize(const std::string& path);

// Thin wrappers over the system calls that throw std::system_error on failure and
// complete short reads and writes.
int OpenOrThrow(const std::string& path, int flags, unsigned mode = 0);
void ReadFully(int fd, void* buffer, size_t count);
void WriteFully(int fd, const void* data, size_t count);
void PWriteFully(int fd, const void* data, size_t count, uint64_t offset);
void SyncOrThrow(int fd);
void CloseOrThrow(int fd);
void RenameOrThrow(const std::string& from, const std::string& to);

uint32_t DecodeSyncSafe(const uint8_t* bytes);

}  // namespace bench
