#pragma once
// Reading one file through several components (ID3v2, ID3v1, MPEG analysis) opens it
// once: every read-only Open of the same path shares one handle, and reads that fall in
// the first 64 KB or the last 8 KB, where the tags and the first frame header lie, are
// served from those two blocks, each read once. A folder scan thereby does about the
// system calls of a bare read of the file instead of three complete opens.

#include <memory>
#include <string>

#include "fileio.h"
#include "memorystream.h"

namespace tags {

class TReadCache final : public TFileSystem {
 public:
  explicit TReadCache(TFileSystem& inner) : Inner_(inner) {}
  ~TReadCache() override;

  // Closes the shared handle and forgets the blocks: call when done with a file, so
  // that nothing stale is served for it later and no handle stays open.
  void Release();

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
  friend class TCachedFile;
  static constexpr uint64_t kHeadSize = 64 * 1024;
  static constexpr uint64_t kTailSize = 8 * 1024;

  // Copies [position, position + count) into `buffer` from the blocks or the file.
  size_t ReadAt(uint64_t position, void* buffer, size_t count);
  // The block's bytes and how many there are.
  const uint8_t* Block(bool head, size_t& size);

  TFileSystem& Inner_;
  std::string Path_;
  std::unique_ptr<TFile> File_;
  uint64_t Size_ = 0;
  // Not zero-filled first: filling 64 KB for every file of a scan cost more than reading it.
  std::unique_ptr<uint8_t[]> Head_, Tail_;
  size_t HeadSize_ = 0, TailSize_ = 0;
  bool HeadLoaded_ = false, TailLoaded_ = false;
  // The components ask whether the file exists before they open it, and again when
  // they close; while one file is read the answer does not change.
  std::string StatusPath_;
  TFileStatus Status_;
};

}  // namespace tags
