#pragma once
// A complete file system in memory, for tests and the fuzzer: no disk, no fsync, no
// clean-up, and every run starts from exactly the bytes it was given.
//
// It behaves like a POSIX file system seen by root: files are byte vectors held by
// their path; folders exist when made explicitly or when a file lies below them; an
// open file keeps its content when it is renamed over or removed (as an open inode
// does); Rename replaces its target in one step; permission bits, owner and group are
// stored. Permissions are enforced only on request, as root would ignore them.
// Symbolic links are supported; ResolveLinks follows them.

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "fileio.h"
#include "memorystream.h"

namespace tags::test {

class TMemoryFileSystem final : public TFileSystem {
 public:
  TMemoryFileSystem() = default;
  TMemoryFileSystem(const TMemoryFileSystem&) = delete;
  TMemoryFileSystem& operator=(const TMemoryFileSystem&) = delete;

  // --- Setting up and inspecting, for tests ----------------------------------------

  // Creates or replaces a regular file (and implies its folders).
  void WriteFile(const std::string& path, const TBytes& content, uint32_t mode = 0644);
  // The content of a regular file, links followed; throws EFileError when missing.
  TBytes ReadFile(const std::string& path) const;
  bool Exists(const std::string& path) const;
  void MakeFolder(const std::string& path);
  // `target` is stored as given: relative targets resolve against the link's folder.
  void MakeSymlink(const std::string& linkPath, const std::string& target);
  void SetOwner(const std::string& path, uint32_t uid, uint32_t gid);
  // Names (not paths) of the files, links and folders directly inside `folder`, sorted.
  std::vector<std::string> List(const std::string& folder) const;
  // With true, Open checks the owner's read and write bits as an ordinary user's
  // process would meet them.
  void SetEnforcePermissions(bool enforce) { EnforcePermissions_ = enforce; }

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

  // The shared state of a file: what every open handle and the path entry point to.
  struct TNode {
    TBytes Content;
    uint32_t Mode = 0644;
    uint32_t Uid = 0;
    uint32_t Gid = 0;
  };

 private:
  struct TEntry {
    std::shared_ptr<TNode> File;  // null for a symbolic link
    std::string LinkTarget;
  };

  // Absolute, without "." and ".." components or repeated slashes; relative paths are
  // taken from "/".
  static std::string Normalize(const std::string& path);
  // Follows links in every component; throws ELOOP after too many.
  std::string Resolve(const std::string& path) const;
  bool IsFolder(const std::string& normalized) const;
  const TEntry* Find(const std::string& normalized) const;
  void RequireFolder(const std::string& folder, const std::string& forPath) const;

  std::map<std::string, TEntry> Entries_;  // by normalized path
  std::set<std::string> Folders_;          // made explicitly
  uint64_t UniqueCounter_ = 0;
  bool EnforcePermissions_ = false;
};

}  // namespace tags::test
