// The folder search, the subfolder walk and the folder load.

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

#include "folderscan.h"
#include "mp3builder.h"
#include "testutil.h"

namespace {

namespace fs = std::filesystem;
using app::TScanMessage;

void Touch(const testutil::TTempFolder& root, const std::string& relative,
           const mp3::Bytes& content = mp3::Frames(3)) {
  const fs::path path = fs::path(root.Path()) / relative;
  fs::create_directories(path.parent_path());
  testutil::WriteFile(path.string(), content);
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

std::string Names(const std::vector<app::TFileRecord>& list) {
  std::string s;
  for (const auto& r : list) s += r.Name.toStdString() + " ";
  return s;
}

std::string Names(const std::vector<app::TFileRow>& rows) {
  std::string s;
  for (const auto& r : rows) s += r.Cells[app::fcFileName].toStdString() + " ";
  return s;
}

TEST(LoadFolder, GroupsByExtensionThenSortsByName) {
  testutil::TTempFolder root;
  Touch(root, "b.mp3");
  Touch(root, "a.mp1");
  Touch(root, "c.mp2");
  Touch(root, "D.MP3");          // the match ignores case
  Touch(root, "notes.txt");      // not audio
  Touch(root, "e.mp3.bak");      // not audio
  fs::create_directory(root.File("folder.mp3"));  // a folder is never a file
  app::TFileReader reader;
  const app::TFolderLoad load = app::LoadFolder(Q(root.Path()), {}, reader);
  // Within a folder all .mp1 come first, then .mp2, then .mp3.
  std::string search = Names(load.FileList);
  EXPECT_EQ(search.substr(0, 12), "a.mp1 c.mp2 ");
  EXPECT_EQ(Names(load.Rows), "a.mp1 b.mp3 c.mp2 D.MP3 ");
  for (size_t i = 0; i < load.Rows.size(); ++i) EXPECT_EQ(load.Rows[i].Data.ItemIndex, int(i));
  EXPECT_EQ(load.Rows[0].ImageIndex, 0);
  EXPECT_EQ(load.Rows[2].ImageIndex, 1);
  EXPECT_EQ(load.Rows[1].ImageIndex, 2);
  EXPECT_TRUE(load.Messages.empty());
  EXPECT_FALSE(load.Cancelled);
  EXPECT_EQ(load.Totals.TotalSize, int64_t(4 * 3 * mp3::kFrameLength));
}

TEST(LoadFolder, TotalsAddUpEveryRow) {
  testutil::TTempFolder root;
  Touch(root, "a.mp3", mp3::Frames(100));
  Touch(root, "b.mp3", mp3::Frames(100));
  Touch(root, "junk.mp3", testutil::ToBytes("junk"));  // no stream: counts with 0 s
  app::TFileReader reader;
  const app::TFolderLoad load = app::LoadFolder(Q(root.Path()), {}, reader);
  ASSERT_EQ(load.Rows.size(), 3u);
  EXPECT_NEAR(load.Totals.TotalTime, 5.2, 0.1);
  EXPECT_EQ(load.Totals.TotalSize, int64_t(2 * 100 * mp3::kFrameLength + 4));
}

struct THiddenCase {
  const char* Name;
  bool SearchSubDir;
  bool ShowHiddenFiles;
  const char* Expected;
};

class HiddenAndRecursion : public testing::TestWithParam<THiddenCase> {};

TEST_P(HiddenAndRecursion, ListsWhatTheSettingsAsk) {
  const THiddenCase& c = GetParam();
  testutil::TTempFolder root;
  Touch(root, "top.mp3");
  Touch(root, ".hidden.mp3");
  Touch(root, "sub/inner.mp3");
  Touch(root, "sub/deeper/deep.mp3");
  Touch(root, ".secret/insecret.mp3");  // a hidden folder is searched with the subfolders
  app::TFileReader reader;
  app::TLoadOptions options;
  options.SearchSubDir = c.SearchSubDir;
  options.ShowHiddenFiles = c.ShowHiddenFiles;
  const app::TFolderLoad load = app::LoadFolder(Q(root.Path()), options, reader);
  EXPECT_EQ(Names(load.Rows), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, HiddenAndRecursion,
    testing::Values(THiddenCase{"FolderOnly", false, false, "top.mp3 "},
                    THiddenCase{"FolderWithHidden", false, true, ".hidden.mp3 top.mp3 "},
                    THiddenCase{"Subfolders", true, false, "deep.mp3 inner.mp3 insecret.mp3 top.mp3 "},
                    THiddenCase{"SubfoldersWithHidden", true, true,
                                ".hidden.mp3 deep.mp3 inner.mp3 insecret.mp3 top.mp3 "}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(CollectSubfolders, DepthFirstEachFolderFollowedByItsOwn) {
  testutil::TTempFolder root;
  for (const char* d : {"a/a1/a11", "a/a2", "b"}) fs::create_directories(fs::path(root.Path()) / d);
  std::vector<QString> list;
  std::vector<TScanMessage> messages;
  app::TVisitedFolders visited;
  ASSERT_TRUE(app::CollectSubfolders(Q(root.Path()), list, messages, visited));
  ASSERT_EQ(list.size(), 5u);
  const QString base = Q(root.Path()) + u'/';
  // Siblings come in listing order, so only the nesting is fixed.
  for (size_t i = 0; i < list.size(); ++i) {
    const QString rel = list[i].mid(base.size());
    if (rel == "a/a1") {
      EXPECT_EQ(list[i + 1], base + "a/a1/a11");
    }
    if (rel == "a") {
      EXPECT_TRUE(list[i + 1].startsWith(base + "a/"));
    }
  }
}

TEST(LoadFolder, SymlinkLoopEndsAndEachFolderIsSearchedOnce) {
  testutil::TTempFolder root;
  Touch(root, "music/x.mp3");
  Touch(root, "music/sub/y.mp3");
  fs::create_directory_symlink("..", fs::path(root.Path()) / "music/sub/up");      // back to music
  fs::create_directory_symlink(".", fs::path(root.Path()) / "music/self");         // to itself
  fs::create_directory_symlink(root.File("music/sub"), root.File("music/subagain"));  // a second way in
  fs::create_symlink(root.File("music/x.mp3"), root.File("music/link.mp3"));      // a link to a file is that file
  app::TFileReader reader;
  app::TLoadOptions options;
  options.SearchSubDir = true;
  const app::TFolderLoad load = app::LoadFolder(Q(root.File("music")), options, reader);
  const std::string names = Names(load.Rows);
  EXPECT_EQ(names, "link.mp3 x.mp3 y.mp3 ");
  EXPECT_TRUE(load.Messages.empty());
}

TEST(LoadFolder, DanglingLinkIsAnErrorOfThatFileOnly) {
  testutil::TTempFolder root;
  Touch(root, "ok.mp3");
  fs::create_symlink(root.File("nowhere.mp3"), root.File("dangling.mp3"));
  app::TFileReader reader;
  const app::TFolderLoad load = app::LoadFolder(Q(root.Path()), {}, reader);
  EXPECT_EQ(Names(load.Rows), "ok.mp3 ");
  ASSERT_EQ(load.Messages.size(), 1u);
  EXPECT_EQ(load.Messages[0].Kind, TScanMessage::mkError);
  EXPECT_TRUE(load.Messages[0].Path.endsWith("dangling.mp3"));
}

TEST(LoadFolder, UnreadableFolderIsOneMessageAndTheRestIsRead) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads any folder whatever its permissions";
  testutil::TTempFolder root;
  Touch(root, "open/a.mp3");
  Touch(root, "locked/b.mp3");
  ASSERT_EQ(chmod(root.File("locked").c_str(), 0), 0);
  app::TFileReader reader;
  app::TLoadOptions options;
  options.SearchSubDir = true;
  const app::TFolderLoad load = app::LoadFolder(Q(root.Path()), options, reader);
  chmod(root.File("locked").c_str(), 0755);
  EXPECT_EQ(Names(load.Rows), "a.mp3 ");
  ASSERT_EQ(load.Messages.size(), 1u);
  EXPECT_TRUE(load.Messages[0].Path.contains("locked"));
  EXPECT_TRUE(load.Messages[0].Text.contains("Permission denied")) << load.Messages[0].Text.toStdString();
}

TEST(LoadFolder, UnreadableFileKeepsItsRowWithAnError) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads any file whatever its permissions";
  testutil::TTempFolder root;
  Touch(root, "locked.mp3", mp3::Cat({mp3::V2Tag({{"TIT2", "x"}}), mp3::Frames(5)}));
  ASSERT_EQ(chmod(root.File("locked.mp3").c_str(), 0), 0);
  app::TFileReader reader;
  const app::TFolderLoad load = app::LoadFolder(Q(root.Path()), {}, reader);
  ASSERT_EQ(load.Rows.size(), 1u);
  EXPECT_TRUE(load.Rows[0].Cells[app::fcTitle].isEmpty());
  ASSERT_EQ(load.Messages.size(), 1u);
  EXPECT_EQ(load.Messages[0].Kind, TScanMessage::mkError);
}

TEST(LoadFolder, MissingFolderGivesNothing) {
  testutil::TTempFolder root;
  app::TFileReader reader;
  app::TLoadOptions options;
  options.SearchSubDir = true;
  const app::TFolderLoad load = app::LoadFolder(Q(root.File("absent")), options, reader);
  EXPECT_TRUE(load.Rows.empty());
  EXPECT_FALSE(load.Cancelled);
}

TEST(LoadFolder, CancelAfterTheFirstOfTenKeepsOneRow) {
  testutil::TTempFolder root;
  for (int i = 0; i < 10; ++i) Touch(root, "f" + std::to_string(i) + ".mp3");
  app::TFileReader reader;
  std::vector<app::TScanProgress> seen;
  const app::TFolderLoad load = app::LoadFolder(Q(root.Path()), {}, reader, [&](const app::TScanProgress& p) {
    seen.push_back(p);
    return p.Phase != app::TScanProgress::spReading;
  });
  EXPECT_TRUE(load.Cancelled);
  ASSERT_EQ(load.Rows.size(), 1u);
  EXPECT_EQ(load.Rows[0].Data.ItemIndex, 0);
  EXPECT_EQ(load.Totals.TotalSize, int64_t(3 * mp3::kFrameLength));
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back().Done, 1);
  EXPECT_EQ(seen.back().Total, 10);
}

TEST(LoadFolder, ProgressCountsEveryFile) {
  testutil::TTempFolder root;
  for (int i = 0; i < 4; ++i) Touch(root, "f" + std::to_string(i) + ".mp3");
  app::TFileReader reader;
  std::vector<int> done;
  app::LoadFolder(Q(root.Path()), {}, reader, [&](const app::TScanProgress& p) {
    if (p.Phase == app::TScanProgress::spReading) done.push_back(p.Done);
    return true;
  });
  EXPECT_EQ(done, (std::vector<int>{1, 2, 3, 4}));
}

TEST(LoadFolder, CancelWhileSearchingALargeFolderStopsTheSearch) {
  testutil::TTempFolder root;
  // Enough entries for the search to ask between entries, not only between folders.
  for (int i = 0; i < 300; ++i) Touch(root, "big/n" + std::to_string(i) + ".txt", {});
  Touch(root, "big/a.mp3");
  app::TFileReader reader;
  app::TLoadOptions options;
  options.SearchSubDir = true;
  int searchingCalls = 0;
  const app::TFolderLoad load = app::LoadFolder(Q(root.Path()), options, reader, [&](const app::TScanProgress& p) {
    if (p.Phase == app::TScanProgress::spSearching) ++searchingCalls;
    return p.Phase != app::TScanProgress::spSearching;
  });
  EXPECT_TRUE(load.Cancelled);
  EXPECT_TRUE(load.Rows.empty());
  EXPECT_EQ(searchingCalls, 1);
}

TEST(FindFiles, OnePatternAndTheRecordFields) {
  testutil::TTempFolder root;
  Touch(root, "one.mp2", mp3::Frames(2));
  Touch(root, "two.mp3");
  std::vector<app::TFileRecord> list;
  std::vector<TScanMessage> messages;
  ASSERT_TRUE(app::FindFiles(Q(root.Path()), u"*.MP2", false, 1, list, messages));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].Name, "one.mp2");
  EXPECT_EQ(list[0].Path, Q(root.Path()) + u'/');
  EXPECT_EQ(list[0].Size, int64_t(2 * mp3::kFrameLength));
  EXPECT_EQ(list[0].ImageIndex, 1);
  EXPECT_TRUE(S_ISREG(list[0].Attr));
  EXPECT_LT(std::abs(list[0].Time.secsTo(QDateTime::currentDateTime())), 600);
}

}  // namespace
