#include "memoryfilesystem.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tagerror.h"

namespace tags::test {
namespace {

// Linux gives up after 40 links in one lookup; a loop of links must end in ELOOP, not hang.
constexpr int kMaxLinkHops = 40;

std::vector<std::string> Components(const std::string& normalized) {
  std::vector<std::string> parts;
  size_t i = 1;
  while (i < normalized.size()) {
    const size_t slash = normalized.find('/', i);
    const size_t end = slash == std::string::npos ? normalized.size() : slash;
    parts.push_back(normalized.substr(i, end - i));
    i = end + 1;
  }
  return parts;
}

std::string Join(const std::string& folder, const std::string& name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

std::string ParentOf(const std::string& normalized) {
  const size_t slash = normalized.find_last_of('/');
  return slash == 0 ? "/" : normalized.substr(0, slash);
}

std::string BaseOf(const std::string& normalized) {
  return normalized.substr(normalized.find_last_of('/') + 1);
}

class TMemoryFile final : public TFile {
 public:
  TMemoryFile(std::shared_ptr<TMemoryFileSystem::TNode> node, std::string path, bool writable)
      : Node_(std::move(node)), Path_(std::move(path)), Writable_(writable) {}

  size_t Read(void* buffer, size_t count) override {
    Check("read");
    const TBytes& content = Node_->Content;
    if (Position_ >= content.size()) return 0;
    const size_t n = size_t(std::min<uint64_t>(count, content.size() - Position_));
    if (n > 0) std::memcpy(buffer, content.data() + Position_, n);
    Position_ += n;
    return n;
  }

  void Write(const void* data, size_t count) override {
    Check("write");
    if (!Writable_) throw EFileError("write", Path_, EBADF);
    TBytes& content = Node_->Content;
    if (Position_ + count > content.size()) content.resize(size_t(Position_ + count), 0);
    if (count > 0) std::memcpy(content.data() + Position_, data, count);
    Position_ += count;
  }

  void Seek(uint64_t position) override {
    Check("seek in");
    Position_ = position;
  }

  uint64_t Size() override {
    Check("examine");
    return Node_->Content.size();
  }

  void Truncate(uint64_t size) override {
    Check("truncate");
    if (!Writable_) throw EFileError("truncate", Path_, EINVAL);
    Node_->Content.resize(size_t(size), 0);
  }

  void Sync() override { Check("flush"); }

  void SetMode(uint32_t mode) override {
    Check("set the permissions of");
    Node_->Mode = mode & 07777;
  }

  void TrySetOwner(uint32_t uid, uint32_t gid) override {
    Check("change the owner of");
    Node_->Uid = uid;
    Node_->Gid = gid;
  }

  void Close() override {
    Check("close");
    Closed_ = true;
  }

 private:
  // A use after Close is a bug of the caller; the system would say EBADF as well.
  void Check(const char* operation) const {
    if (Closed_) throw EFileError(operation, Path_, EBADF);
  }

  std::shared_ptr<TMemoryFileSystem::TNode> Node_;
  std::string Path_;
  bool Writable_;
  bool Closed_ = false;
  uint64_t Position_ = 0;
};

}  // namespace

std::string TMemoryFileSystem::Normalize(const std::string& path) {
  std::vector<std::string> parts;
  size_t i = 0;
  while (i <= path.size()) {
    const size_t slash = path.find('/', i);
    const size_t end = slash == std::string::npos ? path.size() : slash;
    const std::string part = path.substr(i, end - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    i = end + 1;
  }
  std::string result;
  for (const auto& part : parts) result += "/" + part;
  return result.empty() ? "/" : result;
}

const TMemoryFileSystem::TEntry* TMemoryFileSystem::Find(const std::string& normalized) const {
  const auto it = Entries_.find(normalized);
  return it == Entries_.end() ? nullptr : &it->second;
}

bool TMemoryFileSystem::IsFolder(const std::string& normalized) const {
  if (normalized == "/" || Folders_.count(normalized) != 0) return true;
  if (Find(normalized) != nullptr) return false;
  const std::string prefix = normalized + "/";
  const auto startsWithPrefix = [&](const std::string& key) {
    return key.compare(0, prefix.size(), prefix) == 0;
  };
  const auto entry = Entries_.lower_bound(prefix);
  if (entry != Entries_.end() && startsWithPrefix(entry->first)) return true;
  const auto folder = Folders_.lower_bound(prefix);
  return folder != Folders_.end() && startsWithPrefix(*folder);
}

std::string TMemoryFileSystem::Resolve(const std::string& path) const {
  std::vector<std::string> pending = Components(Normalize(path));
  std::reverse(pending.begin(), pending.end());  // a stack: next component at the back
  std::string current = "/";
  int hops = 0;
  while (!pending.empty()) {
    const std::string name = pending.back();
    pending.pop_back();
    const std::string candidate = Join(current, name);
    const TEntry* entry = Find(candidate);
    if (entry == nullptr || entry->File) {
      current = candidate;
      continue;
    }
    if (++hops > kMaxLinkHops) throw EFileError("resolve", path, ELOOP);
    const std::string& target = entry->LinkTarget;
    const std::string resolvedTarget = Normalize(target.starts_with("/") ? target : Join(current, target));
    std::vector<std::string> parts = Components(resolvedTarget);
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) pending.push_back(*it);
    current.resize(1);  // back to "/": the target is absolute now
  }
  return current;
}

void TMemoryFileSystem::RequireFolder(const std::string& folder, const std::string& forPath) const {
  if (IsFolder(folder)) return;
  throw EFileError("find the folder of", forPath, Find(folder) != nullptr ? ENOTDIR : ENOENT);
}

void TMemoryFileSystem::WriteFile(const std::string& path, const TBytes& content, uint32_t mode) {
  const std::string resolved = Resolve(path);
  auto it = Entries_.find(resolved);
  if (it != Entries_.end() && it->second.File) {
    it->second.File->Content = content;
    it->second.File->Mode = mode & 07777;
    return;
  }
  if (IsFolder(resolved)) throw EFileError("create", path, EISDIR);
  auto node = std::make_shared<TNode>();
  node->Content = content;
  node->Mode = mode & 07777;
  Entries_[resolved] = TEntry{std::move(node), {}};
}

TBytes TMemoryFileSystem::ReadFile(const std::string& path) const {
  const std::string resolved = Resolve(path);
  const TEntry* entry = Find(resolved);
  if (entry == nullptr) throw EFileError("open", path, IsFolder(resolved) ? EISDIR : ENOENT);
  return entry->File->Content;
}

bool TMemoryFileSystem::Exists(const std::string& path) const {
  const std::string resolved = Resolve(path);
  return Find(resolved) != nullptr || IsFolder(resolved);
}

void TMemoryFileSystem::MakeFolder(const std::string& path) {
  const std::string resolved = Resolve(path);
  if (Find(resolved) != nullptr) throw EFileError("create the folder", path, EEXIST);
  Folders_.insert(resolved);
}

void TMemoryFileSystem::MakeSymlink(const std::string& linkPath, const std::string& target) {
  const std::string link = Join(Resolve(ParentOf(Normalize(linkPath))), BaseOf(Normalize(linkPath)));
  if (Find(link) != nullptr || IsFolder(link)) throw EFileError("create the link", linkPath, EEXIST);
  Entries_[link] = TEntry{nullptr, target};
}

void TMemoryFileSystem::SetOwner(const std::string& path, uint32_t uid, uint32_t gid) {
  const TEntry* entry = Find(Resolve(path));
  if (entry == nullptr) throw EFileError("change the owner of", path, ENOENT);
  entry->File->Uid = uid;
  entry->File->Gid = gid;
}

std::vector<std::string> TMemoryFileSystem::List(const std::string& folder) const {
  const std::string resolved = Resolve(folder);
  const std::string prefix = resolved == "/" ? "/" : resolved + "/";
  std::set<std::string> names;
  const auto add = [&](const std::string& key) {
    if (key.size() <= prefix.size() || key.compare(0, prefix.size(), prefix) != 0) return;
    names.insert(key.substr(prefix.size(), key.find('/', prefix.size()) - prefix.size()));
  };
  for (const auto& [key, entry] : Entries_) add(key);
  for (const auto& key : Folders_) add(key);
  return {names.begin(), names.end()};
}

std::unique_ptr<TFile> TMemoryFileSystem::Open(const std::string& path, TOpenMode mode) {
  const std::string resolved = Resolve(path);
  const TEntry* entry = Find(resolved);
  if (entry == nullptr) throw EFileError("open", path, IsFolder(resolved) ? EISDIR : ENOENT);
  const bool writable = mode == TOpenMode::ReadWrite;
  if (EnforcePermissions_) {
    const uint32_t m = entry->File->Mode;
    if (!(m & S_IRUSR) || (writable && !(m & S_IWUSR))) throw EFileError("open", path, EACCES);
  }
  return std::make_unique<TMemoryFile>(entry->File, path, writable);
}

std::unique_ptr<TFile> TMemoryFileSystem::CreateUnique(const std::string& folder, const std::string& prefix,
                                                       std::string& path) {
  const std::string resolved = Resolve(folder);
  RequireFolder(resolved, folder);
  // A counter rather than random letters: runs are then repeatable, which the fuzzer
  // needs to replay an input exactly.
  static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  for (;;) {
    uint64_t n = UniqueCounter_++;
    std::string suffix(6, '0');
    for (int i = 5; i >= 0; --i, n /= 36) suffix[size_t(i)] = kDigits[n % 36];
    const std::string candidate = Join(resolved, prefix + suffix);
    if (Find(candidate) != nullptr || IsFolder(candidate)) continue;
    auto node = std::make_shared<TNode>();
    node->Mode = 0600;
    Entries_[candidate] = TEntry{node, {}};
    path = (folder.empty() ? std::string(".") : folder) + "/" + prefix + suffix;
    return std::make_unique<TMemoryFile>(node, path, true);
  }
}

void TMemoryFileSystem::Rename(const std::string& from, const std::string& to) {
  // Like rename(2): links in the folders are followed, the last component is the entry
  // itself (a link is moved, not its target).
  const std::string source = Join(Resolve(ParentOf(Normalize(from))), BaseOf(Normalize(from)));
  const std::string target = Join(Resolve(ParentOf(Normalize(to))), BaseOf(Normalize(to)));
  if (Find(source) == nullptr) throw EFileError("replace", to, IsFolder(source) ? EISDIR : ENOENT);
  if (IsFolder(target)) throw EFileError("replace", to, EISDIR);
  RequireFolder(ParentOf(target), to);
  if (source == target) return;
  Entries_[target] = Entries_[source];
  Entries_.erase(source);
}

void TMemoryFileSystem::Remove(const std::string& path) {
  const std::string entry = Join(Resolve(ParentOf(Normalize(path))), BaseOf(Normalize(path)));
  if (Find(entry) == nullptr) throw EFileError("delete", path, IsFolder(entry) ? EISDIR : ENOENT);
  Entries_.erase(entry);
}

TFileStatus TMemoryFileSystem::Status(const std::string& path) {
  TFileStatus status;
  const std::string resolved = Resolve(path);
  if (const TEntry* entry = Find(resolved)) {
    status.Exists = true;
    status.IsRegular = true;
    status.Mode = entry->File->Mode;
    status.Uid = entry->File->Uid;
    status.Gid = entry->File->Gid;
    status.Size = entry->File->Content.size();
  } else if (IsFolder(resolved)) {
    status.Exists = true;
    status.Mode = 0755;
  }
  return status;
}

void TMemoryFileSystem::SetMode(const std::string& path, uint32_t mode) {
  const std::string resolved = Resolve(path);
  if (const TEntry* entry = Find(resolved)) entry->File->Mode = mode & 07777;
  else if (!IsFolder(resolved)) throw EFileError("set the permissions of", path, ENOENT);
}

std::string TMemoryFileSystem::ResolveLinks(const std::string& path) {
  const std::string resolved = Resolve(path);
  if (Find(resolved) == nullptr && !IsFolder(resolved)) throw EFileError("resolve", path, ENOENT);
  return resolved;
}

void TMemoryFileSystem::SyncFolder(const std::string& folder) {
  const std::string resolved = Resolve(folder);
  RequireFolder(resolved, folder);
}

}  // namespace tags::test
