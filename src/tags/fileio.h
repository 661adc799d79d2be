#pragma once
// Every file access of the engine goes through TFileSystem, so that tests can replace
// the operating system with a fault-injecting or in-memory one. Failures are thrown as
// EFileError; nothing here reports an error by return value.

#include <cstdint>
#include <memory>
#include <string>

namespace tags {

class TFile {
 public:
  virtual ~TFile() = default;
  // Reads at the current position; returns the bytes read, fewer only at the end.
  virtual size_t Read(void* buffer, size_t count) = 0;
  // Writes everything at the current position or throws.
  virtual void Write(const void* data, size_t count) = 0;
  virtual void Seek(uint64_t position) = 0;
  virtual uint64_t Size() = 0;
  virtual void Truncate(uint64_t size) = 0;
  // Flushes the content to the device (fsync).
  virtual void Sync() = 0;
  // Gives the file these permission bits and, where permitted, this owner and group.
  virtual void SetMode(uint32_t mode) = 0;
  virtual void TrySetOwner(uint32_t uid, uint32_t gid) = 0;
  // Closing can report a delayed write error, so it is explicit; the destructor closes
  // quietly when Close was not called.
  virtual void Close() = 0;
};

enum class TOpenMode {
  Read,       // existing file, read only
  ReadWrite,  // existing file, read and write, not truncated
};

struct TFileStatus {
  bool Exists = false;
  bool IsRegular = false;
  uint32_t Mode = 0;  // permission bits
  uint32_t Uid = 0;
  uint32_t Gid = 0;
  uint64_t Size = 0;
};

class TFileSystem {
 public:
  virtual ~TFileSystem() = default;
  virtual std::unique_ptr<TFile> Open(const std::string& path, TOpenMode mode) = 0;
  // Creates a new, empty file with a unique name that starts with `prefix` in `folder`
  // (readable and writable by the owner only); returns the file and sets `path`.
  virtual std::unique_ptr<TFile> CreateUnique(const std::string& folder, const std::string& prefix,
                                              std::string& path) = 0;
  // Replaces `to` with `from` in one step.
  virtual void Rename(const std::string& from, const std::string& to) = 0;
  virtual void Remove(const std::string& path) = 0;
  // Follows symbolic links; a missing file reports Exists false rather than throwing.
  virtual TFileStatus Status(const std::string& path) = 0;
  virtual void SetMode(const std::string& path, uint32_t mode) = 0;
  // The path with every symbolic link resolved (the file a link points to).
  virtual std::string ResolveLinks(const std::string& path) = 0;
  // Makes a rename inside `folder` durable.
  virtual void SyncFolder(const std::string& folder) = 0;
};

// The operating system's file system.
TFileSystem& SystemFileSystem();

// The folder part of a path ("." for a bare name).
std::string FolderOf(const std::string& path);

}  // namespace tags
