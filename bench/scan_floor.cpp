// The floor of the scan benchmark: walks a folder tree and, for every .mp3 file, opens
// it and reads its first 64 KB and its last 128 bytes, which is the least any scan that
// reads the ID3v2 tag, the stream start and the ID3v1 tag must do.
// Usage: scan_floor ROOT

#include <cstdio>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: scan_floor ROOT\n");
    return 2;
  }
  std::vector<char> buffer(64 * 1024);
  long files = 0, bytes = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[1])) {
    if (!entry.is_regular_file() || entry.path().extension() != ".mp3") continue;
    const int fd = open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st;
    fstat(fd, &st);
    bytes += read(fd, buffer.data(), buffer.size());
    if (st.st_size > 128) bytes += pread(fd, buffer.data(), 128, st.st_size - 128);
    close(fd);
    ++files;
  }
  std::fprintf(stderr, "files: %ld, bytes read: %ld\n", files, bytes);
  return 0;
}
