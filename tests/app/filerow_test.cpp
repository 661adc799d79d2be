// The cells of one row, the helpers that format them, their ordering and the totals.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "filerow.h"
#include "mp3builder.h"
#include "testutil.h"

namespace {

using app::TFileRow;
using app::TScanMessage;
using mp3::Bytes;

// The record the folder search would make for a file written here.
app::TFileRecord RecordFor(const testutil::TTempFolder& folder, const std::string& name) {
  struct stat st;
  stat(folder.File(name).c_str(), &st);
  app::TFileRecord r;
  r.Name = QString::fromStdString(name);
  r.Path = QString::fromStdString(folder.Path()) + u'/';
  r.Size = st.st_size;
  r.Time = QDateTime(QDate(2024, 3, 7), QTime(9, 5));
  r.ImageIndex = 2;
  return r;
}

struct TReadCase {
  const char* Name;
  Bytes Content;
  int ReadTag;
  // Expected cells by column; columns not named must be empty.
  std::vector<std::pair<int, QString>> Cells;
};

const Bytes kFullV2 = mp3::V2Tag({{"TPE1", "V2 Artist"}, {"TIT2", "V2 Title"}, {"TYER", "1999"},
                                  {"TRCK", "3/12"}, {"TCON", "Rock"}, {"COMM", "v2 comment"}, {"TBPM", "120"},
                                  {"TPOS", "1/2"}, {"TCOM", "Composer"}, {"TOPE", "Orig"}, {"WXXX", "http://x.example"},
                                  {"TENC", "Enc"}, {"TCOP", "(c)"}, {"TPUB", "Pub"}});
const Bytes kFullV1 = mp3::V1Tag({"V1 Title", "V1 Artist", "V1 Album", "1980", "v1 comment", 7, 17});

std::vector<std::pair<int, QString>> StreamCells() {
  // 100 frames of 417 bytes at 128 kbit/s: 41700 * 8 / 128000 = 2.6 s.
  return {{app::fcDuration, "00:03"}, {app::fcBitrate, "128"}, {app::fcSampleRate, "44100"}};
}

std::vector<std::pair<int, QString>> With(std::vector<std::pair<int, QString>> a,
                                          const std::vector<std::pair<int, QString>>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const std::vector<std::pair<int, QString>> kV2Cells = {
    {app::fcArtist, "V2 Artist"}, {app::fcTitle, "V2 Title"}, {app::fcYear, "1999"}, {app::fcTrack, "3/12"},
    {app::fcGenre, "Rock"}, {app::fcComment, "v2 comment"}, {app::fcBPM, "120"}, {app::fcDisk, "1/2"},
    {app::fcComposer, "Composer"}, {app::fcOriginalArtist, "Orig"}, {app::fcURL, "http://x.example"},
    {app::fcEncodedBy, "Enc"}, {app::fcCopyright, "(c)"}, {app::fcPublisher, "Pub"}};
const std::vector<std::pair<int, QString>> kV1Cells = {
    {app::fcArtist, "V1 Artist"}, {app::fcTitle, "V1 Title"}, {app::fcAlbum, "V1 Album"}, {app::fcYear, "1980"},
    {app::fcTrack, "7"}, {app::fcGenre, "Rock"}, {app::fcComment, "v1 comment"}};

std::vector<TReadCase> ReadCases() {
  return {
      {"V2OnlyBoth", mp3::Cat({kFullV2, mp3::Frames(100)}), 2, With(kV2Cells, StreamCells())},
      {"V1OnlyBoth", mp3::Cat({mp3::Frames(100), kFullV1}), 2, With(kV1Cells, StreamCells())},
      // ID3v2 wins where it has a value; the album it lacks comes from ID3v1.
      {"BothTagsBoth", mp3::Cat({kFullV2, mp3::Frames(100), kFullV1}), 2,
       With(With(kV2Cells, {{app::fcAlbum, "V1 Album"}}), StreamCells())},
      {"BothTagsV2Only", mp3::Cat({kFullV2, mp3::Frames(100), kFullV1}), 1, With(kV2Cells, StreamCells())},
      {"BothTagsV1Only", mp3::Cat({kFullV2, mp3::Frames(100), kFullV1}), 0, With(kV1Cells, StreamCells())},
      {"BothTagsNoTagRead", mp3::Cat({kFullV2, mp3::Frames(100), kFullV1}), 7, StreamCells()},
      {"NoTags", mp3::Frames(100), 2, StreamCells()},
      // A track of 0 and the "no genre" byte leave their cells empty.
      {"V1TrackZero", mp3::Cat({mp3::Frames(100), mp3::V1Tag({"T", "", "", "", "", 0, 255})}), 2,
       With({{app::fcTitle, "T"}}, StreamCells())},
      // In a 2.4 tag the year column shows the recording time.
      {"V24RecordingTime", mp3::Cat({mp3::V2Tag({{"TDRC", "2001-05-06"}, {"TYER", "1990"}}, 4), mp3::Frames(100)}),
       1, With({{app::fcYear, "2001-05-06"}}, StreamCells())},
      {"NotAudio", testutil::ToBytes("just some text, no frames at all"), 2, {}},
      {"Empty", {}, 2, {}},
  };
}

class ReadFileRowTest : public testing::TestWithParam<TReadCase> {};

TEST_P(ReadFileRowTest, FillsTheCellsTheTagsAndStreamGive) {
  const TReadCase& c = GetParam();
  testutil::TTempFolder folder;
  testutil::WriteFile(folder.File("a.mp3"), c.Content);
  const app::TFileRecord record = RecordFor(folder, "a.mp3");
  app::TFileReader reader;
  std::vector<TScanMessage> messages;
  const TFileRow row = app::ReadFileRow(reader, record, c.ReadTag, messages);

  std::array<QString, app::kFileColumnCount> expected;
  expected[app::fcFileName] = "a.mp3";
  expected[app::fcFileSize] = QString::number(c.Content.size());
  expected[app::fcDate] = "07/03/2024 09:05";
  for (const auto& [column, text] : c.Cells) expected[size_t(column)] = text;
  for (int i = 0; i < app::kFileColumnCount; ++i)
    EXPECT_EQ(row.Cells[size_t(i)].toStdString(), expected[size_t(i)].toStdString())
        << "column " << app::FileListColumns()[size_t(i)].Caption;
  EXPECT_EQ(row.Data.Path, record.Path + "a.mp3");
  EXPECT_EQ(row.Data.Size, int64_t(c.Content.size()));
  EXPECT_EQ(row.ImageIndex, 2);
  EXPECT_TRUE(messages.empty()) << messages.front().Text.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Files, ReadFileRowTest, testing::ValuesIn(ReadCases()),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(ReadFileRow, DurationOfAValidStream) {
  testutil::TTempFolder folder;
  testutil::WriteFile(folder.File("a.mp3"), mp3::Frames(100));
  app::TFileReader reader;
  std::vector<TScanMessage> messages;
  const TFileRow row = app::ReadFileRow(reader, RecordFor(folder, "a.mp3"), 2, messages);
  EXPECT_NEAR(row.Data.Duration, 2.6, 0.05);
}

TEST(ReadFileRow, ATagRunningPastTheEndIsAnErrorButTheRowKeepsTheRest) {
  testutil::TTempFolder folder;
  // The header promises a 1 MB tag in a file of a few hundred bytes.
  Bytes broken{'I', 'D', '3', 3, 0, 0, 0, 0x40, 0, 0};
  broken.resize(300, 0);
  testutil::WriteFile(folder.File("broken.mp3"), mp3::Cat({broken, mp3::V1Tag({"Only v1", "", "", "", ""})}));
  app::TFileReader reader;
  std::vector<TScanMessage> messages;
  const TFileRow row = app::ReadFileRow(reader, RecordFor(folder, "broken.mp3"), 2, messages);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].Kind, TScanMessage::mkError);
  EXPECT_EQ(messages[0].Path, row.Data.Path);
  EXPECT_TRUE(messages[0].Text.contains("past the end")) << messages[0].Text.toStdString();
  EXPECT_EQ(row.Cells[app::fcTitle], "Only v1");
  EXPECT_EQ(row.Cells[app::fcFileName], "broken.mp3");
}

TEST(ReadFileRow, AVanishedFileIsOneErrorAndItsRowHasNoTagCells) {
  testutil::TTempFolder folder;
  testutil::WriteFile(folder.File("gone.mp3"), mp3::Cat({kFullV2, mp3::Frames(10)}));
  const app::TFileRecord record = RecordFor(folder, "gone.mp3");
  std::remove(folder.File("gone.mp3").c_str());
  app::TFileReader reader;
  std::vector<TScanMessage> messages;
  const TFileRow row = app::ReadFileRow(reader, record, 2, messages);
  ASSERT_EQ(messages.size(), 1u) << "one message per file, not one per tag component";
  EXPECT_EQ(messages[0].Kind, TScanMessage::mkError);
  EXPECT_TRUE(row.Cells[app::fcArtist].isEmpty());
  EXPECT_TRUE(row.Cells[app::fcDuration].isEmpty());
  EXPECT_EQ(row.Data.Duration, 0);
}

TEST(ReadFileRow, NothingOfOneFileLeaksIntoTheNext) {
  testutil::TTempFolder folder;
  testutil::WriteFile(folder.File("full.mp3"), mp3::Cat({kFullV2, mp3::Frames(100), kFullV1}));
  testutil::WriteFile(folder.File("bare.mp3"), testutil::ToBytes("no audio"));
  app::TFileReader reader;
  std::vector<TScanMessage> messages;
  app::ReadFileRow(reader, RecordFor(folder, "full.mp3"), 2, messages);
  const TFileRow bare = app::ReadFileRow(reader, RecordFor(folder, "bare.mp3"), 2, messages);
  for (int c = app::fcArtist; c <= app::fcPublisher; ++c) EXPECT_TRUE(bare.Cells[size_t(c)].isEmpty()) << c;
  EXPECT_EQ(bare.Data.Duration, 0);
}

TEST(ID3RefreshInformation, RereadsSizeTagsAndDateButKeepsTheStreamColumns) {
  testutil::TTempFolder folder;
  testutil::WriteFile(folder.File("a.mp3"), mp3::Cat({kFullV2, mp3::Frames(100), kFullV1}));
  app::TFileReader reader;
  std::vector<TScanMessage> messages;
  TFileRow row = app::ReadFileRow(reader, RecordFor(folder, "a.mp3"), 2, messages);
  const QString duration = row.Cells[app::fcDuration];

  // The tags are removed: with ReadTag 0 the ID3v1 columns are set even though no tag
  // exists, so they empty.
  const Bytes rewritten = mp3::Frames(50);
  testutil::WriteFile(folder.File("a.mp3"), rewritten);
  ASSERT_TRUE(app::ID3RefreshInformation(reader, row.Data.Path, row, 0, messages));
  EXPECT_EQ(row.Data.Size, int64_t(rewritten.size()));
  EXPECT_EQ(row.Cells[app::fcFileSize], QString::number(rewritten.size()));
  for (int c = app::fcArtist; c <= app::fcComment; ++c) EXPECT_TRUE(row.Cells[size_t(c)].isEmpty()) << c;
  EXPECT_EQ(row.Cells[app::fcComposer], "Composer") << "ReadTag 0 leaves the ID3v2-only columns";
  EXPECT_EQ(row.Cells[app::fcDuration], duration) << "the stream columns are not refreshed";
  EXPECT_FALSE(row.Cells[app::fcDate].isEmpty());

  ASSERT_TRUE(app::ID3RefreshInformation(reader, row.Data.Path, row, 2, messages));
  EXPECT_TRUE(row.Cells[app::fcComposer].isEmpty());
  EXPECT_TRUE(messages.empty());
}

TEST(ID3RefreshInformation, AMissingFileIsReported) {
  testutil::TTempFolder folder;
  app::TFileReader reader;
  std::vector<TScanMessage> messages;
  TFileRow row;
  EXPECT_FALSE(app::ID3RefreshInformation(reader, QString::fromStdString(folder.File("none.mp3")), row, 2, messages));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].Kind, TScanMessage::mkError);
}

TEST(FormatSeconds, Table) {
  const struct {
    double Seconds;
    const char* Text;
  } cases[] = {{0, "00:00"},       {59.4, "00:59"},       {59.5, "01:00"},   {60.5, "01:00"},
               {125, "02:05"},     {3599, "59:59"},       {3600, "01:00:00"}, {3725, "01:02:05"},
               {360000, "100:00:00"}, {-3, "00:00"}};
  for (const auto& c : cases) EXPECT_EQ(app::FormatSeconds(c.Seconds).toStdString(), c.Text) << c.Seconds;
}

TEST(FormatFileDate, Table) {
  const QDateTime when(QDate(2009, 12, 31), QTime(23, 59, 58));
  EXPECT_EQ(app::FormatFileDate(when).toStdString(), "31/12/2009 23:59");
  EXPECT_EQ(app::FormatFileDate(when, {u'.', u'-'}).toStdString(), "31.12.2009 23-59");
  EXPECT_EQ(app::FormatFileDate(QDateTime(QDate(1, 2, 3), QTime(4, 5))).toStdString(), "03/02/0001 04:05");
  EXPECT_EQ(app::FormatFileDate(QDateTime()).toStdString(), "");
}

TEST(FormatMegabytes, TwoDecimalsWithTheGivenSeparator) {
  EXPECT_EQ(app::FormatMegabytes(5000000).toStdString(), "4.77 MB");
  EXPECT_EQ(app::FormatMegabytes(5000000, u',').toStdString(), "4,77 MB");
  EXPECT_EQ(app::FormatMegabytes(0).toStdString(), "0.00 MB");
}

TEST(CompareCells, Table) {
  const struct {
    app::TSortMethod Method;
    const char* A;
    const char* B;
    int Expected;
  } cases[] = {
      {app::smNumeric, "9", "10", -1},          {app::smNumeric, "3000000000", "100", 1},
      {app::smNumeric, "abc", "0", 0},          {app::smAlphaNoCase, "10", "9", -1},
      {app::smAlphaNoCase, "abc", "ABC", 0},    {app::smAlphaNoCase, "a_", "A.", 1},  // '_' > '.'
      {app::smAlphaNoCase, "ab", "abc", -1},    {app::smAlphaNoCase, "Z", "a", 1},
      {app::smAlphabetic, "Z", "a", -1},        {app::smTime, "00:59", "01:00", -1},
      {app::smTime, "59:59", "01:00:00", -1},   {app::smTime, "100:00:00", "99:59:59", 1},
      {app::smTime, "x", "00:00", 0},           {app::smDateTime, "31/12/2009 23:59", "01/01/2010 00:00", -1},
      {app::smDateTime, "01.02.2010 10-00", "31/01/2010 10:00", 1},
      {app::smFloat, "1.5", "1.25", 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(app::CompareCells(c.Method, QString(c.A), QString(c.B)), c.Expected) << c.A << " vs " << c.B;
    EXPECT_EQ(app::CompareCells(c.Method, QString(c.B), QString(c.A)), -c.Expected) << c.B << " vs " << c.A;
  }
}

TEST(SortRows, ByNumericColumnBothWaysAndNoneKeepsOrder) {
  std::vector<TFileRow> rows(3);
  const char* sizes[] = {"10", "9", "100"};
  for (int i = 0; i < 3; ++i) rows[size_t(i)].Cells[app::fcFileSize] = sizes[i];
  const auto order = [&rows] {
    std::string s;
    for (const auto& r : rows) s += r.Cells[app::fcFileSize].toStdString() + " ";
    return s;
  };
  app::SortRows(rows, app::fcFileSize, app::soNone);
  EXPECT_EQ(order(), "10 9 100 ");
  app::SortRows(rows, app::fcFileSize, app::soAscending);
  EXPECT_EQ(order(), "9 10 100 ");
  app::SortRows(rows, app::fcFileSize, app::soDescending);
  EXPECT_EQ(order(), "100 10 9 ");
}

TEST(UpdateSelectionTotals, FollowsSelectionChanges) {
  app::TFileData a{60, 0, "a", 1000}, b{60, 1, "b", 500};
  app::TFileTotals t;
  auto u = app::UpdateSelectionTotals(t, a, true, 1);
  EXPECT_EQ(u.Editor, app::euShowFile);
  u = app::UpdateSelectionTotals(u.Totals, b, true, 2);
  EXPECT_EQ(u.Editor, app::euClearAll);
  EXPECT_EQ(app::FormatSeconds(u.Totals.SelectedTime), "02:00");
  EXPECT_EQ(u.Totals.SelectedSize, 1500);
  u = app::UpdateSelectionTotals(u.Totals, a, false, 1);
  EXPECT_EQ(u.Editor, app::euShowFile);
  EXPECT_EQ(app::FormatSeconds(u.Totals.SelectedTime), "01:00");
  EXPECT_EQ(u.Totals.SelectedSize, 500);
  // The last deselection resets the sums exactly, whatever rounding gathered.
  u.Totals.SelectedTime = 1e-9;
  u = app::UpdateSelectionTotals(u.Totals, b, false, 0);
  EXPECT_EQ(u.Editor, app::euNone);
  EXPECT_EQ(u.Totals.SelectedTime, 0);
  EXPECT_EQ(u.Totals.SelectedSize, 0);
}

TEST(SumTotals, AddsSizeAndDurationOfEveryRow) {
  std::vector<TFileRow> rows(2);
  rows[0].Data = {2.5, 0, "a", 5000000};
  rows[1].Data = {0, 1, "b", 10};
  const app::TFileTotals t = app::SumTotals(rows);
  EXPECT_EQ(t.TotalSize, 5000010);
  EXPECT_DOUBLE_EQ(t.TotalTime, 2.5);
  EXPECT_EQ(t.SelectedSize, 0);
}

TEST(FileListColumns, CaptionsInOrder) {
  std::string all;
  for (const auto& c : app::FileListColumns()) all += std::string(c.Caption) + "|";
  EXPECT_EQ(all,
            "File name|File size|Artist|Title|Album|Year|Track|Genre|Comment|Duration|Bitrate|Sample rate|BPM|"
            "Disk|Composer|Original artist|URL|Encoded by|Copyright|Publisher|Date|");
}

}  // namespace
