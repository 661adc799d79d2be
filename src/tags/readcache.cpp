#include "readcache.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tagerror.h"

namespace tags {

class TCachedFile final : public TFile {
 public:
  explicit TCachedFile(TReadCache& cache) : Cache_(cache) {}

  size_t Read(void* buffer, size_t count) override {
    const size_t n = Cache_.ReadAt(Position_, buffer, count);
    Position_ += n;
    return n;
  }
  void Write(const void*, size_t) override { throw EFileError("write", Cache_.Path_, EBADF); }
  void Seek(uint64_t position) override { Position_ = position; }
  uint64_t Size() override { return Cache_.Size_; }
  void Truncate(uint64_t) override { throw EFileError("truncate", Cache_.Path_, EBADF); }
  void Sync() override {}
  void SetMode(uint32_t) override { throw EFileError("set the permissions of", Cache_.Path_, EBADF); }
  void TrySetOwner(uint32_t, uint32_t) override {}
  void Close() override {}

 private:
  TReadCache& Cache_;
  uint64_t Position_ = 0;
};

TReadCache::~TReadCache() {
  try {
    Release();
  } catch (...) {
    // A handle that was only read cannot lose data on close.
  }
}

void TReadCache::Release() {
  std::unique_ptr<TFile> file = std::move(File_);
  Path_.clear();
  HeadSize_ = TailSize_ = 0;
  HeadLoaded_ = TailLoaded_ = false;
  StatusPath_.clear();
  if (file) file->Close();
}

std::unique_ptr<TFile> TReadCache::Open(const std::string& path, TOpenMode mode) {
  if (mode != TOpenMode::Read) {
    // Whoever writes gets the real file, and nothing read before is trusted after.
    Release();
    return Inner_.Open(path, mode);
  }
  if (!File_ || path != Path_) {
    Release();
    File_ = Inner_.Open(path, TOpenMode::Read);
    Path_ = path;
    Size_ = File_->Size();
  }
  return std::make_unique<TCachedFile>(*this);
}

const uint8_t* TReadCache::Block(bool head, size_t& size) {
  std::unique_ptr<uint8_t[]>& block = head ? Head_ : Tail_;
  size_t& blockSize = head ? HeadSize_ : TailSize_;
  bool& loaded = head ? HeadLoaded_ : TailLoaded_;
  if (!loaded) {
    const uint64_t start = head ? 0 : (Size_ > kTailSize ? Size_ - kTailSize : 0);
    const uint64_t length = head ? std::min(Size_, kHeadSize) : Size_ - start;
    if (!block) block = std::make_unique_for_overwrite<uint8_t[]>(head ? kHeadSize : kTailSize);
    File_->Seek(start);
    blockSize = File_->Read(block.get(), size_t(length));
    loaded = true;
  }
  size = blockSize;
  return block.get();
}

size_t TReadCache::ReadAt(uint64_t position, void* buffer, size_t count) {
  if (position >= Size_ || count == 0) return 0;
  count = size_t(std::min<uint64_t>(count, Size_ - position));
  const uint64_t tailStart = Size_ > kTailSize ? Size_ - kTailSize : 0;
  if (position + count <= kHeadSize) {
    size_t size = 0;
    const uint8_t* head = Block(true, size);
    const size_t n = size_t(std::min<uint64_t>(count, size > position ? size - position : 0));
    if (n > 0) std::memcpy(buffer, head + position, n);
    return n;
  }
  if (position >= tailStart) {
    size_t size = 0;
    const uint8_t* tail = Block(false, size);
    const uint64_t offset = position - tailStart;
    const size_t n = size_t(std::min<uint64_t>(count, size > offset ? size - offset : 0));
    if (n > 0) std::memcpy(buffer, tail + offset, n);
    return n;
  }
  File_->Seek(position);
  return File_->Read(buffer, count);
}

std::unique_ptr<TFile> TReadCache::CreateUnique(const std::string& folder, const std::string& prefix,
                                                std::string& path) {
  Release();
  return Inner_.CreateUnique(folder, prefix, path);
}

void TReadCache::Rename(const std::string& from, const std::string& to) {
  Release();
  Inner_.Rename(from, to);
}

void TReadCache::Remove(const std::string& path) {
  Release();
  Inner_.Remove(path);
}

TFileStatus TReadCache::Status(const std::string& path) {
  if (path != StatusPath_ || path.empty()) {
    Status_ = Inner_.Status(path);
    StatusPath_ = path;
  }
  return Status_;
}

void TReadCache::SetMode(const std::string& path, uint32_t mode) {
  Release();
  Inner_.SetMode(path, mode);
}

std::string TReadCache::ResolveLinks(const std::string& path) { return Inner_.ResolveLinks(path); }

void TReadCache::SyncFolder(const std::string& folder) { Inner_.SyncFolder(folder); }

}  // namespace tags
