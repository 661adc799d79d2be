#include "faultyfilesystem.h"

#include <algorithm>
#include <cerrno>

#include "tagerror.h"

namespace tags::test {

const char* FaultOperationName(TFaultOperation operation) {
  static constexpr const char* kNames[kFaultOperationCount] = {
      "Open",  "CreateUnique", "Rename",   "Remove", "Status",        "SetMode",
      "ResolveLinks", "SyncFolder", "Read", "Write", "Seek", "Size", "Truncate", "Sync",
      "File SetMode", "TrySetOwner", "Close",
  };
  return kNames[size_t(operation)];
}

// Wraps one file of the wrapped file system. It keeps its own idea of the position so
// that a full disk can tell bytes that extend the file from bytes that overwrite it.
class TFaultyFile final : public TFile {
 public:
  TFaultyFile(TFaultyFileSystem& fs, std::unique_ptr<TFile> inner, std::string path)
      : Fs_(fs), Inner_(std::move(inner)), Path_(std::move(path)) {}

  size_t Read(void* buffer, size_t count) override {
    const uint64_t index = Fs_.Enter(TFaultOperation::Read, Path_);
    const size_t n = Inner_->Read(buffer, Fs_.ReadLimit(index, count));
    Position_ += n;
    return n;
  }

  void Write(const void* data, size_t count) override {
    Fs_.Enter(TFaultOperation::Write, Path_);
    uint64_t newBytes = count;
    if (Fs_.Fault_ == TFaultyFileSystem::TFault::DiskFull &&
        Fs_.Accounting_ == TSpaceAccounting::NewBytesOnly) {
      const uint64_t size = Inner_->Size();
      const uint64_t end = Position_ + count;
      newBytes = end > std::max(size, Position_) ? end - std::max(size, Position_) : 0;
    }
    const size_t allowed = Fs_.Allow(count, newBytes);
    Inner_->Write(data, allowed);
    Fs_.BytesWritten_ += allowed;
    Position_ += allowed;
    if (allowed < count) throw EFileError("write", Path_, ENOSPC);
  }

  void Seek(uint64_t position) override {
    Fs_.Enter(TFaultOperation::Seek, Path_);
    Inner_->Seek(position);
    Position_ = position;
  }

  uint64_t Size() override {
    Fs_.Enter(TFaultOperation::Size, Path_);
    return Inner_->Size();
  }

  void Truncate(uint64_t size) override {
    Fs_.Enter(TFaultOperation::Truncate, Path_);
    Inner_->Truncate(size);
  }

  void Sync() override {
    Fs_.Enter(TFaultOperation::Sync, Path_);
    Inner_->Sync();
  }

  void SetMode(uint32_t mode) override {
    Fs_.Enter(TFaultOperation::FileSetMode, Path_);
    Inner_->SetMode(mode);
  }

  void TrySetOwner(uint32_t uid, uint32_t gid) override {
    Fs_.Enter(TFaultOperation::TrySetOwner, Path_);
    Inner_->TrySetOwner(uid, gid);
  }

  void Close() override {
    try {
      Fs_.Enter(TFaultOperation::Close, Path_);
    } catch (const EFileError&) {
      // close(2) releases the descriptor even when it reports an error.
      try {
        Inner_->Close();
      } catch (const EFileError&) {
      }
      throw;
    }
    Inner_->Close();
  }

 private:
  TFaultyFileSystem& Fs_;
  std::unique_ptr<TFile> Inner_;
  std::string Path_;
  uint64_t Position_ = 0;
};

void TFaultyFileSystem::Reset() {
  Trace_.clear();
  std::fill(std::begin(Counts_), std::end(Counts_), 0);
  BytesWritten_ = 0;
  Disarm();
}

void TFaultyFileSystem::FailOperation(uint64_t index) {
  Disarm();
  Fault_ = TFault::Operation;
  FaultIndex_ = index;
}

void TFaultyFileSystem::FailWritesAfter(uint64_t bytes, TSpaceAccounting accounting) {
  Disarm();
  Fault_ = TFault::DiskFull;
  SpaceLeft_ = bytes;
  Accounting_ = accounting;
}

void TFaultyFileSystem::ShortenRead(uint64_t index, size_t maxBytes) {
  Disarm();
  Fault_ = TFault::ShortRead;
  FaultIndex_ = index;
  ShortReadBytes_ = maxBytes;
}

void TFaultyFileSystem::Disarm() {
  Fault_ = TFault::None;
  FaultIndex_ = 0;
  SpaceLeft_ = 0;
  Accounting_ = TSpaceAccounting::EveryByte;
  ShortReadBytes_ = 0;
  FiredAt_.clear();
}

uint64_t TFaultyFileSystem::Enter(TFaultOperation operation, const std::string& path) {
  const uint64_t index = Trace_.size();
  Trace_.push_back(operation);
  ++Counts_[size_t(operation)];
  if (Fault_ == TFault::Operation && index == FaultIndex_) {
    NoteFired(operation, index);
    throw EFileError(std::string("perform the operation ") + FaultOperationName(operation) + " on", path, EIO);
  }
  return index;
}

void TFaultyFileSystem::NoteFired(TFaultOperation operation, uint64_t index) {
  if (!FiredAt_.empty()) return;
  FiredAt_ = std::string(FaultOperationName(operation)) + " #" + std::to_string(Count(operation)) +
             " (operation " + std::to_string(index) + ")";
}

size_t TFaultyFileSystem::Allow(size_t count, uint64_t newBytes) {
  if (Fault_ != TFault::DiskFull || newBytes <= SpaceLeft_) {
    if (Fault_ == TFault::DiskFull) SpaceLeft_ -= newBytes;
    return count;
  }
  // The bytes in front of the first one that needs room still fit.
  const size_t allowed = size_t(count - (newBytes - SpaceLeft_));
  SpaceLeft_ = 0;
  NoteFired(TFaultOperation::Write, Trace_.size() - 1);
  return allowed;
}

size_t TFaultyFileSystem::ReadLimit(uint64_t index, size_t count) {
  if (Fault_ != TFault::ShortRead || index != FaultIndex_ || count <= ShortReadBytes_) return count;
  NoteFired(TFaultOperation::Read, index);
  return ShortReadBytes_;
}

std::unique_ptr<TFile> TFaultyFileSystem::Open(const std::string& path, TOpenMode mode) {
  Enter(TFaultOperation::Open, path);
  return std::make_unique<TFaultyFile>(*this, Inner_.Open(path, mode), path);
}

std::unique_ptr<TFile> TFaultyFileSystem::CreateUnique(const std::string& folder, const std::string& prefix,
                                                       std::string& path) {
  Enter(TFaultOperation::CreateUnique, folder);
  auto file = Inner_.CreateUnique(folder, prefix, path);
  return std::make_unique<TFaultyFile>(*this, std::move(file), path);
}

void TFaultyFileSystem::Rename(const std::string& from, const std::string& to) {
  Enter(TFaultOperation::Rename, to);
  Inner_.Rename(from, to);
}

void TFaultyFileSystem::Remove(const std::string& path) {
  Enter(TFaultOperation::Remove, path);
  Inner_.Remove(path);
}

TFileStatus TFaultyFileSystem::Status(const std::string& path) {
  Enter(TFaultOperation::Status, path);
  return Inner_.Status(path);
}

void TFaultyFileSystem::SetMode(const std::string& path, uint32_t mode) {
  Enter(TFaultOperation::SetMode, path);
  Inner_.SetMode(path, mode);
}

std::string TFaultyFileSystem::ResolveLinks(const std::string& path) {
  Enter(TFaultOperation::ResolveLinks, path);
  return Inner_.ResolveLinks(path);
}

void TFaultyFileSystem::SyncFolder(const std::string& folder) {
  Enter(TFaultOperation::SyncFolder, folder);
  Inner_.SyncFolder(folder);
}

}  // namespace tags::test
