// The two file systems the engine tests stand on: the memory one must behave like the
// disk where the engine relies on it, and the faulty one must fail exactly where it is
// armed, or the fault sweep and the fuzzer would prove nothing.

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

#include "faultyfilesystem.h"
#include "id3v2tag.h"
#include "memoryfilesystem.h"
#include "testutil.h"

namespace {

using tags::EFileError;
using tags::TBytes;
using tags::TOpenMode;
using tags::test::TFaultOperation;
using tags::test::TFaultyFileSystem;
using tags::test::TMemoryFileSystem;
using tags::test::TSpaceAccounting;

TBytes B(std::string_view text) { return TBytes(text.begin(), text.end()); }

// The errno of the EFileError `action` throws, or 0 when it throws none.
int ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EFileError& e) {
    return e.Error();
  }
  return 0;
}

TBytes ReadAll(tags::TFile& file) {
  TBytes out(size_t(file.Size()));
  file.Seek(0);
  out.resize(file.Read(out.data(), out.size()));
  return out;
}

// --- TMemoryFileSystem ---------------------------------------------------------------

TEST(MemoryFileSystem, FilesReadWriteSeekAndTruncateLikeTheDisk) {
  TMemoryFileSystem fs;
  fs.WriteFile("/m/a.mp3", B("abcdef"));
  auto file = fs.Open("/m/a.mp3", TOpenMode::ReadWrite);
  uint8_t buffer[4];
  EXPECT_EQ(file->Read(buffer, 4), 4u);
  file->Seek(8);  // past the end: the gap fills with zeros
  file->Write("XY", 2);
  EXPECT_EQ(fs.ReadFile("/m/a.mp3"), (TBytes{'a', 'b', 'c', 'd', 'e', 'f', 0, 0, 'X', 'Y'}));
  file->Truncate(3);
  EXPECT_EQ(file->Size(), 3u);
  file->Seek(5);
  EXPECT_EQ(file->Read(buffer, 4), 0u);
  file->Close();
  EXPECT_EQ(ErrorOf([&] { file->Read(buffer, 1); }), EBADF);
  EXPECT_EQ(ErrorOf([&] { fs.Open("/m/a.mp3", TOpenMode::Read)->Write("x", 1); }), EBADF);
}

TEST(MemoryFileSystem, MissingFilesAndFoldersGiveTheSystemsErrors) {
  TMemoryFileSystem fs;
  fs.WriteFile("/m/a.mp3", B("a"));
  EXPECT_FALSE(fs.Status("/m/b.mp3").Exists);
  EXPECT_TRUE(fs.Status("/m").Exists);
  EXPECT_FALSE(fs.Status("/m").IsRegular);
  EXPECT_EQ(ErrorOf([&] { fs.Open("/m/b.mp3", TOpenMode::Read); }), ENOENT);
  EXPECT_EQ(ErrorOf([&] { fs.Open("/m", TOpenMode::Read); }), EISDIR);
  EXPECT_EQ(ErrorOf([&] { fs.Rename("/m/b.mp3", "/m/a.mp3"); }), ENOENT);
  EXPECT_EQ(ErrorOf([&] { fs.Remove("/m/b.mp3"); }), ENOENT);
  std::string path;
  EXPECT_EQ(ErrorOf([&] { fs.CreateUnique("/nowhere", "tmp", path); }), ENOENT);
  EXPECT_EQ(ErrorOf([&] { fs.ResolveLinks("/m/b.mp3"); }), ENOENT);
}

TEST(MemoryFileSystem, RenameReplacesWhileOpenFilesKeepTheirContent) {
  TMemoryFileSystem fs;
  fs.WriteFile("/m/a.mp3", B("old"));
  fs.WriteFile("/m/tmp1", B("new"));
  auto reader = fs.Open("/m/a.mp3", TOpenMode::Read);
  fs.Rename("/m/tmp1", "/m/a.mp3");
  EXPECT_EQ(fs.ReadFile("/m/a.mp3"), B("new"));
  EXPECT_EQ(ReadAll(*reader), B("old"));  // as an open inode does
  EXPECT_EQ(fs.List("/m"), std::vector<std::string>{"a.mp3"});
  fs.Remove("/m/a.mp3");
  EXPECT_TRUE(fs.List("/m").empty());
}

TEST(MemoryFileSystem, UniqueFilesAreNewPrivateAndCarryThePrefix) {
  TMemoryFileSystem fs;
  fs.MakeFolder("/m");
  std::string first, second;
  fs.CreateUnique("/m", "tmp", first)->Write("x", 1);
  fs.CreateUnique("/m", "tmp", second);
  EXPECT_NE(first, second);
  EXPECT_EQ(first.rfind("/m/tmp", 0), 0u);
  EXPECT_EQ(fs.Status(first).Mode, 0600u);
  EXPECT_EQ(fs.ReadFile(first), B("x"));
  EXPECT_EQ(fs.List("/m").size(), 2u);
}

TEST(MemoryFileSystem, ModeOwnerAndGroupAreStored) {
  TMemoryFileSystem fs;
  fs.WriteFile("/m/a.mp3", B("a"), 0444);
  EXPECT_EQ(fs.Status("/m/a.mp3").Mode, 0444u);
  fs.SetMode("/m/a.mp3", 0640);
  auto file = fs.Open("/m/a.mp3", TOpenMode::ReadWrite);
  file->TrySetOwner(1000, 100);
  const tags::TFileStatus status = fs.Status("/m/a.mp3");
  EXPECT_EQ(status.Mode, 0640u);
  EXPECT_EQ(status.Uid, 1000u);
  EXPECT_EQ(status.Gid, 100u);
  EXPECT_EQ(status.Size, 1u);
}

TEST(MemoryFileSystem, PermissionsAreCheckedOnlyOnRequest) {
  TMemoryFileSystem fs;
  fs.WriteFile("/m/a.mp3", B("a"), 0444);
  EXPECT_EQ(ErrorOf([&] { fs.Open("/m/a.mp3", TOpenMode::ReadWrite); }), 0);
  fs.SetEnforcePermissions(true);
  EXPECT_EQ(ErrorOf([&] { fs.Open("/m/a.mp3", TOpenMode::ReadWrite); }), EACCES);
  EXPECT_EQ(ErrorOf([&] { fs.Open("/m/a.mp3", TOpenMode::Read); }), 0);
}

TEST(MemoryFileSystem, LinksAreFollowedButRenamedAsThemselves) {
  TMemoryFileSystem fs;
  fs.WriteFile("/music/real/a.mp3", B("audio"));
  fs.MakeSymlink("/music/a.mp3", "real/a.mp3");
  fs.MakeSymlink("/music/loop", "loop");
  EXPECT_EQ(fs.ResolveLinks("/music/a.mp3"), "/music/real/a.mp3");
  EXPECT_EQ(ReadAll(*fs.Open("/music/./real/../a.mp3", TOpenMode::Read)), B("audio"));
  EXPECT_TRUE(fs.Status("/music/a.mp3").IsRegular);
  EXPECT_EQ(ErrorOf([&] { fs.Status("/music/loop"); }), ELOOP);
  // Replacing the path of a link replaces the link, not the file it points to.
  fs.WriteFile("/music/tmp", B("new"));
  fs.Rename("/music/tmp", "/music/a.mp3");
  EXPECT_EQ(fs.ReadFile("/music/a.mp3"), B("new"));
  EXPECT_EQ(fs.ReadFile("/music/real/a.mp3"), B("audio"));
}

// The memory file system stands in for the disk in the fuzzer: the engine must write
// the same bytes through both.
TEST(MemoryFileSystem, EngineWritesTheSameFileAsOnDisk) {
  testutil::TTempFolder folder;
  const TBytes audio = testutil::RandomBytes(5000, 7);
  const auto commitTitle = [&](tags::TFileSystem& fs, const std::string& path) {
    tags::TID3v2Tag tag(&fs);
    tag.SetFileName(path);
    tag.Open();
    tags::TID3v2Frame& frame = tag.Frames().Add();
    frame.SetFrameID(tags::fiTitle);
    frame.SetData(TBytes{0, 'a', 'b', 'c'});
    tag.Commit();
  };
  TMemoryFileSystem memory;
  memory.WriteFile("/m/a.mp3", audio);
  commitTitle(memory, "/m/a.mp3");
  testutil::WriteFile(folder.File("a.mp3"), audio);
  commitTitle(tags::SystemFileSystem(), folder.File("a.mp3"));
  EXPECT_EQ(memory.ReadFile("/m/a.mp3"), testutil::ReadFile(folder.File("a.mp3")));
  EXPECT_EQ(memory.List("/m"), std::vector<std::string>{"a.mp3"});
}

// --- TFaultyFileSystem ---------------------------------------------------------------

class FaultyFileSystem : public ::testing::Test {
 protected:
  void SetUp() override { Memory_.WriteFile("/m/a.mp3", B("0123456789")); }

  // Open, Read, Seek, Write, Close, Rename: one of each kind the sweeps meet most.
  void Sequence() {
    auto file = Faulty_.Open("/m/a.mp3", TOpenMode::ReadWrite);
    uint8_t buffer[4];
    file->Read(buffer, 4);
    file->Seek(0);
    file->Write("abcd", 4);
    file->Close();
    Faulty_.Rename("/m/a.mp3", "/m/b.mp3");
  }

  TMemoryFileSystem Memory_;
  TFaultyFileSystem Faulty_{Memory_};
};

TEST_F(FaultyFileSystem, CountsAndRecordsEveryOperation) {
  Sequence();
  EXPECT_EQ(Faulty_.Trace(), (std::vector<TFaultOperation>{TFaultOperation::Open, TFaultOperation::Read,
                                                            TFaultOperation::Seek, TFaultOperation::Write,
                                                            TFaultOperation::Close, TFaultOperation::Rename}));
  EXPECT_EQ(Faulty_.Count(TFaultOperation::Write), 1u);
  EXPECT_EQ(Faulty_.BytesWritten(), 4u);
  EXPECT_FALSE(Faulty_.Fired());
  Faulty_.Reset();
  EXPECT_EQ(Faulty_.Operations(), 0u);
}

TEST_F(FaultyFileSystem, FailsExactlyTheArmedOperationBeforeItHappens) {
  Faulty_.FailOperation(5);  // the Rename
  EXPECT_EQ(ErrorOf([&] { Sequence(); }), EIO);
  EXPECT_EQ(Faulty_.FiredAt(), "Rename #1 (operation 5)");
  EXPECT_EQ(Memory_.ReadFile("/m/a.mp3"), B("abcd456789"));  // everything before it happened
  EXPECT_FALSE(Memory_.Exists("/m/b.mp3"));

  Faulty_.Reset();
  Faulty_.FailOperation(3);  // the Write
  EXPECT_EQ(ErrorOf([&] { Sequence(); }), EIO);
  EXPECT_EQ(Faulty_.BytesWritten(), 0u);
}

TEST_F(FaultyFileSystem, AFailingDeviceWritesWhatFitsThenFailsEveryWrite) {
  Faulty_.FailWritesAfter(6);
  auto file = Faulty_.Open("/m/a.mp3", TOpenMode::ReadWrite);
  file->Write("ab", 2);
  EXPECT_EQ(ErrorOf([&] { file->Write("cdefgh", 6); }), ENOSPC);
  EXPECT_EQ(ErrorOf([&] { file->Write("x", 1); }), ENOSPC);
  EXPECT_EQ(Memory_.ReadFile("/m/a.mp3"), B("abcdef6789"));
  EXPECT_EQ(Faulty_.BytesWritten(), 6u);
  EXPECT_TRUE(Faulty_.Fired());
}

TEST_F(FaultyFileSystem, AFullDiskStillOverwritesWhatTheFileHolds) {
  Faulty_.FailWritesAfter(2, TSpaceAccounting::NewBytesOnly);
  auto file = Faulty_.Open("/m/a.mp3", TOpenMode::ReadWrite);
  file->Write("abcdefgh", 8);  // inside the file: no new space
  EXPECT_FALSE(Faulty_.Fired());
  // 2 bytes overwrite, 2 extend the file (that is the room left), then the disk is full.
  EXPECT_EQ(ErrorOf([&] { file->Write("WXYZ!", 5); }), ENOSPC);
  EXPECT_EQ(Memory_.ReadFile("/m/a.mp3"), B("abcdefghWXYZ"));
}

TEST_F(FaultyFileSystem, CutsOnlyTheArmedRead) {
  Faulty_.ShortenRead(1, 2);
  auto file = Faulty_.Open("/m/a.mp3", TOpenMode::Read);
  uint8_t buffer[8];
  EXPECT_EQ(file->Read(buffer, 8), 2u);
  EXPECT_EQ(file->Read(buffer, 8), 8u);  // the next one goes on where the short one ended
  EXPECT_EQ(buffer[0], '2');
  EXPECT_EQ(Faulty_.FiredAt(), "Read #1 (operation 1)");

  Faulty_.Reset();
  Faulty_.ShortenRead(0, 0);  // an Open: not a read, nothing happens
  Faulty_.Open("/m/a.mp3", TOpenMode::Read);
  EXPECT_FALSE(Faulty_.Fired());
}

}  // namespace
