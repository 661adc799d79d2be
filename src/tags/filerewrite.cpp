#include "filerewrite.h"

#include <sys/stat.h>

#include <algorithm>

#include "memorystream.h"
#include "tagerror.h"

namespace tags {
namespace {

constexpr uint64_t kCopyBlock = 1 << 20;

}  // namespace

TFileStatus MakeOwnerWritable(TFileSystem& fs, const std::string& path) {
  TFileStatus status = fs.Status(path);
  if (status.Exists && !(status.Mode & S_IWUSR)) {
    fs.SetMode(path, status.Mode | S_IWUSR);
    status.Mode |= S_IWUSR;
  }
  return status;
}

void RewriteFile(TFileSystem& fs, const std::string& path, std::span<const uint8_t> head, uint64_t keepFrom,
                 uint64_t keepTo, std::span<const uint8_t> tail, const TFileStatus& status) {
  const std::string target = fs.ResolveLinks(path);
  const std::string folder = FolderOf(target);
  std::string tempPath;
  // Beside the original, so that the final rename cannot cross a device.
  auto temp = fs.CreateUnique(folder, "tmp", tempPath);
  try {
    temp->Write(head.data(), head.size());
    auto source = fs.Open(target, TOpenMode::Read);
    const uint64_t end = std::min(keepTo, source->Size());
    if (keepFrom < end) {
      source->Seek(keepFrom);
      TBytes block(size_t(std::min(end - keepFrom, kCopyBlock)));
      for (uint64_t position = keepFrom; position < end;) {
        const size_t want = size_t(std::min<uint64_t>(block.size(), end - position));
        const size_t n = source->Read(block.data(), want);
        // Short of the measured end: another program cut the file meanwhile, and the
        // copy would lose audio if it went on.
        if (n < want) throw EReadError("\"" + target + "\" changed while it was being read");
        temp->Write(block.data(), n);
        position += n;
      }
    }
    source->Close();
    temp->Write(tail.data(), tail.size());
    // Owner before mode: a change of owner clears the set-id bits.
    temp->TrySetOwner(status.Uid, status.Gid);
    temp->SetMode(status.Mode);
    temp->Sync();
    temp->Close();
    fs.Rename(tempPath, target);
  } catch (...) {
    temp.reset();
    try {
      fs.Remove(tempPath);
    } catch (const EFileError&) {
      // The original is intact; a stray temporary file is the lesser harm.
    }
    throw;
  }
  try {
    fs.SyncFolder(folder);
  } catch (const EFileError&) {
    // The new file is complete and in place; only the durability of the rename across
    // a power cut is left to the file system.
  }
}

}  // namespace tags
