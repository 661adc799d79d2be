#include "fileio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <random>

#include "tagerror.h"

namespace tags {
namespace {

class TSystemFile final : public TFile {
 public:
  TSystemFile(int fd, std::string path) : Fd_(fd), Path_(std::move(path)) {}
  ~TSystemFile() override {
    if (Fd_ >= 0) ::close(Fd_);
  }

  size_t Read(void* buffer, size_t count) override {
    size_t done = 0;
    while (done < count) {
      const ssize_t n = ::read(Fd_, static_cast<char*>(buffer) + done, count - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        throw EFileError("read", Path_, errno);
      }
      if (n == 0) break;
      done += size_t(n);
    }
    return done;
  }

  void Write(const void* data, size_t count) override {
    size_t done = 0;
    while (done < count) {
      const ssize_t n = ::write(Fd_, static_cast<const char*>(data) + done, count - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        throw EFileError("write", Path_, errno);
      }
      done += size_t(n);
    }
  }

  void Seek(uint64_t position) override {
    if (::lseek(Fd_, off_t(position), SEEK_SET) < 0) throw EFileError("seek in", Path_, errno);
  }

  uint64_t Size() override {
    struct stat st;
    if (::fstat(Fd_, &st) != 0) throw EFileError("examine", Path_, errno);
    return uint64_t(st.st_size);
  }

  void Truncate(uint64_t size) override {
    if (::ftruncate(Fd_, off_t(size)) != 0) throw EFileError("truncate", Path_, errno);
  }

  void Sync() override {
    if (::fsync(Fd_) != 0) throw EFileError("flush", Path_, errno);
  }

  void SetMode(uint32_t mode) override {
    if (::fchmod(Fd_, mode_t(mode)) != 0) throw EFileError("set the permissions of", Path_, errno);
  }

  void TrySetOwner(uint32_t uid, uint32_t gid) override {
    // Only root may give a file away; anyone may pick one of their own groups.
    if (::fchown(Fd_, uid, gid) != 0) (void)!::fchown(Fd_, uid_t(-1), gid);
  }

  void Close() override {
    const int fd = Fd_;
    Fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) throw EFileError("close", Path_, errno);
  }

 private:
  int Fd_;
  std::string Path_;
};

class TSystemFileSystem final : public TFileSystem {
 public:
  std::unique_ptr<TFile> Open(const std::string& path, TOpenMode mode) override {
    const int flags = (mode == TOpenMode::Read ? O_RDONLY : O_RDWR) | O_CLOEXEC;
    const int fd = ::open(path.c_str(), flags);
    if (fd < 0) throw EFileError("open", path, errno);
    return std::make_unique<TSystemFile>(fd, path);
  }

  std::unique_ptr<TFile> CreateUnique(const std::string& folder, const std::string& prefix,
                                      std::string& path) override {
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string name = prefix;
      for (int i = 0; i < 8; ++i) name += kChars[random() % (sizeof kChars - 1)];
      const std::string candidate = folder + "/" + name;
      const int fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
      if (fd >= 0) {
        path = candidate;
        return std::make_unique<TSystemFile>(fd, candidate);
      }
      if (errno != EEXIST) throw EFileError("create a temporary file in", folder, errno);
    }
    throw EFileError("create a temporary file in", folder, EEXIST);
  }

  void Rename(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) throw EFileError("replace", to, errno);
  }

  void Remove(const std::string& path) override {
    if (::unlink(path.c_str()) != 0) throw EFileError("delete", path, errno);
  }

  TFileStatus Status(const std::string& path) override {
    TFileStatus status;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
      if (errno == ENOENT || errno == ENOTDIR) return status;
      throw EFileError("examine", path, errno);
    }
    status.Exists = true;
    status.IsRegular = S_ISREG(st.st_mode);
    status.Mode = st.st_mode & 07777;
    status.Uid = st.st_uid;
    status.Gid = st.st_gid;
    status.Size = uint64_t(st.st_size);
    return status;
  }

  void SetMode(const std::string& path, uint32_t mode) override {
    if (::chmod(path.c_str(), mode_t(mode)) != 0)
      throw EFileError("set the permissions of", path, errno);
  }

  std::string ResolveLinks(const std::string& path) override {
    char buffer[PATH_MAX];
    if (::realpath(path.c_str(), buffer) == nullptr) throw EFileError("resolve", path, errno);
    return buffer;
  }

  void SyncFolder(const std::string& folder) override {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) throw EFileError("open the folder", folder, errno);
    const int rc = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    // Some file systems cannot sync a folder; the rename itself has happened.
    if (rc != 0 && error != EINVAL && error != ENOTSUP) throw EFileError("flush the folder", folder, error);
  }
};

}  // namespace

TFileSystem& SystemFileSystem() {
  static TSystemFileSystem fs;
  return fs;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace tags
