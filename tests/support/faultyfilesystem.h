#pragma once
// A file system that fails on purpose. It wraps another one (the real disk or a memory
// file system) and every TFile that one opens, counts and records every operation, and
// can be armed with one fault per run:
//   - the operation with a given index throws EFileError with EIO (a failing device);
//   - writes stop once a number of bytes have gone out: the part that fits is written,
//     then ENOSPC is thrown (a full disk);
//   - a Read with a given index returns fewer bytes than asked (a file that shrank, or a
//     file system that returns short reads).
// A clean run measures the operations and bytes; a sweep then arms each index in turn.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fileio.h"

namespace tags::test {

enum class TFaultOperation : uint8_t {
  // of the file system
  Open,
  CreateUnique,
  Rename,
  Remove,
  Status,
  SetMode,
  ResolveLinks,
  SyncFolder,
  // of an open file
  Read,
  Write,
  Seek,
  Size,
  Truncate,
  Sync,
  FileSetMode,
  TrySetOwner,
  Close,
};
constexpr int kFaultOperationCount = int(TFaultOperation::Close) + 1;

// "Open", "Write", "File SetMode", ...: for the messages of failing sweeps.
const char* FaultOperationName(TFaultOperation operation);

// Which written bytes use up the space of an armed full disk.
enum class TSpaceAccounting {
  // Every byte written, wherever it goes: a device that fails after so many bytes.
  EveryByte,
  // Only bytes that extend a file, as on a real full disk, where overwriting bytes a
  // file already holds needs no new blocks.
  NewBytesOnly,
};

class TFaultyFileSystem final : public TFileSystem {
 public:
  explicit TFaultyFileSystem(TFileSystem& inner) : Inner_(inner) {}
  TFaultyFileSystem(const TFaultyFileSystem&) = delete;
  TFaultyFileSystem& operator=(const TFaultyFileSystem&) = delete;

  // --- Measuring -------------------------------------------------------------------

  // Operations since construction or the last Reset, in the order they were called.
  const std::vector<TFaultOperation>& Trace() const { return Trace_; }
  uint64_t Operations() const { return Trace_.size(); }
  uint64_t Count(TFaultOperation operation) const { return Counts_[size_t(operation)]; }
  // Bytes that reached the wrapped file system through Write.
  uint64_t BytesWritten() const { return BytesWritten_; }
  // Clears counts, trace and byte total, and disarms.
  void Reset();

  // --- Arming (each call replaces the previous fault) -------------------------------

  // The operation with this index (0 = the first after Reset) throws EIO without
  // reaching the wrapped file system; a failing Close still releases the file.
  void FailOperation(uint64_t index);
  // Room for `bytes` more bytes; the write that needs more writes what fits, then throws
  // ENOSPC, and so does every later write that needs room.
  void FailWritesAfter(uint64_t bytes, TSpaceAccounting accounting = TSpaceAccounting::EveryByte);
  // If the operation with this index is a Read, it returns at most `maxBytes` bytes
  // (0: a premature end of file). Any other operation there is unaffected.
  void ShortenRead(uint64_t index, size_t maxBytes);
  void Disarm();

  // Whether the armed fault was met, and where ("Write #3 (operation 17)").
  bool Fired() const { return !FiredAt_.empty(); }
  const std::string& FiredAt() const { return FiredAt_; }

  // --- TFileSystem -------------------------------------------------------------------

  std::unique_ptr<TFile> Open(const std::string& path, TOpenMode mode) override;
  std::unique_ptr<TFile> CreateUnique(const std::string& folder, const std::string& prefix,
                                      std::string& path) override;
  void Rename(const std::string& from, const std::string& to) override;
  void Remove(const std::string& path) override;
  TFileStatus Status(const std::string& path) override;
  void SetMode(const std::string& path, uint32_t mode) override;
  std::string ResolveLinks(const std::string& path) override;
  void SyncFolder(const std::string& folder) override;

 private:
  friend class TFaultyFile;
  enum class TFault { None, Operation, DiskFull, ShortRead };

  // Records the operation; throws EIO when it is the one armed to fail. Returns its index.
  uint64_t Enter(TFaultOperation operation, const std::string& path);
  void NoteFired(TFaultOperation operation, uint64_t index);
  // The number of bytes of a write that may go out; `newBytes` of them extend the file.
  size_t Allow(size_t count, uint64_t newBytes);
  // The most bytes the Read with this index may return.
  size_t ReadLimit(uint64_t index, size_t count);

  TFileSystem& Inner_;
  std::vector<TFaultOperation> Trace_;
  uint64_t Counts_[kFaultOperationCount] = {};
  uint64_t BytesWritten_ = 0;

  TFault Fault_ = TFault::None;
  uint64_t FaultIndex_ = 0;
  uint64_t SpaceLeft_ = 0;
  TSpaceAccounting Accounting_ = TSpaceAccounting::EveryByte;
  size_t ShortReadBytes_ = 0;
  std::string FiredAt_;
};

}  // namespace tags::test
