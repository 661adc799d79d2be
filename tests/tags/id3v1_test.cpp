// The ID3v1 tag on real files: reading the 128-byte block (1.0 and 1.1), writing it
// over an old one or behind the audio, removing it, the genre names, and the Lyrics3
// block in front of it when EditLyrics is on. Everything in front of the blocks must
// survive every write byte for byte.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "id3v1builders.h"
#include "id3v1tag.h"
#include "tagsconsts.h"
#include "testutil.h"

namespace {

using namespace tags;
using builders::Bytes;
using builders::Cat;
using builders::Str;
using id3v1builders::Audio;
using id3v1builders::Lyrics3Block;
using id3v1builders::Lyrics3Field;
using id3v1builders::TV1Slots;
using id3v1builders::V11;
using id3v1builders::V1Block;
using testutil::ReadFile;
using testutil::WriteFile;

uint32_t ModeOf(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_mode & 07777;
}

Bytes Tail(const Bytes& file, size_t count) { return Bytes(file.end() - std::ptrdiff_t(count), file.end()); }

class ID3v1File : public ::testing::Test {
 protected:
  // Writes `content` as the test's MP3 and opens it.
  void OpenWith(const Bytes& content, bool editLyrics = false) {
    WriteFile(Path_, content);
    Tag_.SetFileName(Path_);
    Tag_.SetEditLyrics(editLyrics);
    Tag_.Open();
    ASSERT_TRUE(Tag_.Active());
  }

  testutil::TTempFolder Folder_;
  testutil::TErrorCapture Messages_;
  std::string Path_ = Folder_.File("song.mp3");
  TID3v1Tag Tag_;
};

// --- Reading -------------------------------------------------------------------------

struct TReadCase {
  const char* Name;
  Bytes Content;
  bool Exists;
  std::string Version, Title, Comment;
  uint8_t Track, Genre;
};
void PrintTo(const TReadCase& c, std::ostream* os) { *os << c.Name; }

std::vector<TReadCase> ReadCases() {
  TV1Slots v10;
  v10.Title = "Title";
  v10.Comment = std::string(28, 'c');
  v10.Byte125 = 'd';
  v10.Byte126 = 'e';
  v10.Genre = 17;
  TV1Slots fullTitle;
  fullTitle.Title = std::string(30, 'T');
  fullTitle.Genre = 0;
  TV1Slots spaces;
  spaces.Title = "  padded  ";
  spaces.Comment = "note ";
  TV1Slots oddGenre;
  oddGenre.Genre = 200;
  TV1Slots latin;
  latin.Title = "Caf\xE9 \x80";  // code-page bytes stay bytes
  return {
      {"ShorterThanATag", Str("TAG short file"), false, "", "", "", 0, 255},
      {"EmptyFile", {}, false, "", "", "", 0, 255},
      {"NoMarker", Cat({Audio(500), Bytes(128, 'x')}), false, "", "", "", 0, 255},
      {"LowerCaseMarker", Cat({Audio(500), Str("tag"), Bytes(125, 0)}), false, "", "", "", 0, 255},
      {"Version11WithTrack", Cat({Audio(500), V11("Song", 7, 12)}), true, "1.1", "Song", "", 7, 12},
      {"Version11TrackZero", Cat({Audio(500), V11("Song")}), true, "1.1", "Song", "", 0, 255},
      {"Version10LongComment", Cat({Audio(500), V1Block(v10)}), true, "1.0", "Title", std::string(28, 'c') + "de", 0,
       17},
      {"TitleFillsItsSlot", Cat({Audio(500), V1Block(fullTitle)}), true, "1.1", std::string(30, 'T'), "", 0, 0},
      {"SpacesAreKept", V1Block(spaces), true, "1.1", "  padded  ", "note ", 0, 255},
      {"GenreWithoutName", V1Block(oddGenre), true, "1.1", "", "", 0, 200},
      {"CodePageBytes", V1Block(latin), true, "1.1", "Caf\xE9 \x80", "", 0, 255},
      {"OnlyTheLastBlockCounts", Cat({V11("Old", 1), V11("New", 2)}), true, "1.1", "New", "", 2, 255},
  };
}

class ID3v1Read : public ID3v1File, public ::testing::WithParamInterface<TReadCase> {};

TEST_P(ID3v1Read, Fields) {
  const TReadCase& c = GetParam();
  OpenWith(c.Content);
  EXPECT_EQ(Tag_.Exists(), c.Exists);
  EXPECT_EQ(Tag_.Version(), c.Version);
  EXPECT_EQ(Tag_.Title(), c.Title);
  EXPECT_EQ(Tag_.Comment(), c.Comment);
  EXPECT_EQ(Tag_.Track(), c.Track);
  EXPECT_EQ(Tag_.Genre(), c.Genre);
  EXPECT_FALSE(Tag_.Lyrics().Exists());
  EXPECT_EQ(ReadFile(Path_), c.Content) << "reading changed the file";
}

INSTANTIATE_TEST_SUITE_P(Tags, ID3v1Read, ::testing::ValuesIn(ReadCases()),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(ID3v1File, AllSlotsAreRead) {
  TV1Slots s{"Title", "Artist", "Album", "1999", "Comment", 0, 4, 80};
  OpenWith(Cat({Audio(300), V1Block(s)}));
  EXPECT_EQ(Tag_.Title(), "Title");
  EXPECT_EQ(Tag_.Artist(), "Artist");
  EXPECT_EQ(Tag_.Album(), "Album");
  EXPECT_EQ(Tag_.Year(), "1999");
  EXPECT_EQ(Tag_.Comment(), "Comment");
  EXPECT_EQ(Tag_.Track(), 4);
  EXPECT_EQ(Tag_.GenreAsString(), u"Folk");
}

TEST_F(ID3v1File, MissingFileLeavesTheTagInactive) {
  Tag_.SetFileName(Folder_.File("absent.mp3"));
  Tag_.Open();
  EXPECT_FALSE(Tag_.Active());
  EXPECT_EQ(Tag_.Version(), "");
  Tag_.Commit();
  Tag_.Erase();
  EXPECT_FALSE(std::filesystem::exists(Folder_.File("absent.mp3")));
}

TEST_F(ID3v1File, FileGoneAfterOpenIsNotCreated) {
  OpenWith(Cat({Audio(300), V11("Song")}));
  std::filesystem::remove(Path_);
  Tag_.SetTitle("Other");
  Tag_.Commit();
  Tag_.Erase();
  EXPECT_FALSE(std::filesystem::exists(Path_));
}

TEST_F(ID3v1File, VersionIsEmptyOnceClosed) {
  OpenWith(V11("Song"));
  EXPECT_EQ(Tag_.Version(), "1.1");
  Tag_.Close();
  EXPECT_FALSE(Tag_.Active());
  EXPECT_EQ(Tag_.Version(), "");
  EXPECT_EQ(Tag_.Title(), "");
  EXPECT_EQ(Tag_.Genre(), 255);
}

TEST_F(ID3v1File, NewFileNameClearsEverythingButActive) {
  OpenWith(Cat({Audio(300), Lyrics3Block(Lyrics3Field("LYR", "words")), V11("Song", 3, 5)}));
  ASSERT_TRUE(Tag_.Lyrics().Exists());
  Tag_.SetFileName(Folder_.File("other.mp3"));
  EXPECT_TRUE(Tag_.Active());
  EXPECT_EQ(Tag_.Title(), "");
  EXPECT_EQ(Tag_.Track(), 0);
  EXPECT_EQ(Tag_.Genre(), 255);
  EXPECT_FALSE(Tag_.Exists());
  EXPECT_FALSE(Tag_.Lyrics().Exists());
  EXPECT_EQ(Tag_.Lyrics().Size(), 0);
  EXPECT_EQ(Tag_.Lyrics().Fields().Count(), 0);
}

TEST_F(ID3v1File, SameFileNameKeepsTheFields) {
  OpenWith(V11("Song"));
  Tag_.SetFileName(Path_);
  EXPECT_EQ(Tag_.Title(), "Song");
}

TEST_F(ID3v1File, ReopeningForgetsABlockThatIsGone) {
  const Bytes audio = Audio(300);
  OpenWith(Cat({audio, Lyrics3Block(Lyrics3Field("LYR", "words")), V11("Song")}));
  ASSERT_EQ(Tag_.Lyrics().Fields().Count(), 1);
  WriteFile(Path_, Cat({audio, V11("Song")}));
  Tag_.Open();
  EXPECT_FALSE(Tag_.Lyrics().Exists());
  EXPECT_EQ(Tag_.Lyrics().Fields().Count(), 0);
}

TEST_F(ID3v1File, NotificationsInOrder) {
  std::vector<std::string> events;
  const auto note = [&](const char* name) {
    return [&events, name, this](void* sender) {
      EXPECT_EQ(sender, &Tag_);
      events.push_back(name);
    };
  };
  Tag_.SetOnFileOpen(note("open"));
  Tag_.SetOnReadTag(note("read"));
  Tag_.SetOnFileClose(note("close"));
  Tag_.SetOnWriteTag(note("write"));
  Tag_.SetOnEraseTag(note("erase"));
  OpenWith(Audio(300));
  Tag_.Commit();
  Tag_.Erase();
  EXPECT_EQ(events, (std::vector<std::string>{"open", "read", "close", "write", "erase"}));
}

// --- Genres --------------------------------------------------------------------------

TEST(ID3v1Genre, List) {
  TID3v1Tag tag;
  const auto& list = tag.GenreList();
  ASSERT_EQ(list.size(), 148u);
  EXPECT_EQ(list[0], u"Blues");
  EXPECT_EQ(list[17], u"Rock");
  EXPECT_EQ(list[79], u"Hard Rock");
  EXPECT_EQ(list[80], u"Folk");
  EXPECT_EQ(list[147], u"Synthpop");
}

TEST(ID3v1Genre, NamesOfNumbers) {
  TID3v1Tag tag;
  for (const auto& [genre, name] : std::vector<std::pair<int, std::u16string>>{
           {0, u"Blues"}, {147, u"Synthpop"}, {148, u""}, {200, u""}, {254, u""}, {255, u""}}) {
    tag.SetGenre(uint8_t(genre));
    EXPECT_EQ(tag.GenreAsString(), name) << genre;
  }
}

TEST(ID3v1Genre, NumbersOfNames) {
  struct TCase {
    std::u16string Name;
    uint8_t Before, After;
  };
  for (const TCase& c : std::vector<TCase>{{u"rock", 0, 17},
                                           {u"ROCK & ROLL", 0, 78},
                                           {u"Blues", 30, 0},
                                           {u"Synthpop", 255, 147},
                                           {u"Rockabilly", 9, 9},
                                           {u"", 9, 9},
                                           {u"rock ", 9, 9}}) {
    TID3v1Tag tag;
    tag.SetGenre(c.Before);
    tag.SetGenreAsString(c.Name);
    EXPECT_EQ(tag.Genre(), c.After) << std::string(c.Name.begin(), c.Name.end());
  }
}

// --- Writing the 128-byte block ------------------------------------------------------

struct TWriteCase {
  const char* Name;
  std::string Title, Comment, Year;
  uint8_t Track, Genre;
  Bytes Expected;
};
void PrintTo(const TWriteCase& c, std::ostream* os) { *os << c.Name; }

std::vector<TWriteCase> WriteCases() {
  TV1Slots trackCutsComment;
  trackCutsComment.Comment = std::string(30, 'c');  // the builder keeps 28
  trackCutsComment.Byte126 = 5;
  TV1Slots fullComment;
  fullComment.Comment = std::string(28, 'c');
  fullComment.Byte125 = 'c';
  fullComment.Byte126 = 'c';
  TV1Slots longTitle;
  longTitle.Title = std::string(30, 'a');
  longTitle.Year = "2024";
  longTitle.Genre = 147;
  TV1Slots oddGenre;
  oddGenre.Genre = 222;
  return {
      {"TrackCutsTheCommentTo28", "", std::string(30, 'c'), "", 5, 255, V1Block(trackCutsComment)},
      {"NoTrackCommentUses30", "", std::string(30, 'c'), "", 0, 255, V1Block(fullComment)},
      {"LongTextIsCut", std::string(31, 'a'), "", "20245", 0, 147, V1Block(longTitle)},
      {"GenreWithoutNameIsWritten", "", "", "", 0, 222, V1Block(oddGenre)},
      {"Empty", "", "", "", 0, 255, V1Block({})},
  };
}

class ID3v1Write : public ID3v1File, public ::testing::WithParamInterface<TWriteCase> {};

TEST_P(ID3v1Write, Block) {
  const TWriteCase& c = GetParam();
  const Bytes audio = Audio(1000);
  OpenWith(Cat({audio, V11("Old title", 9, 9)}));
  Tag_.SetTitle(c.Title);
  Tag_.SetComment(c.Comment);
  Tag_.SetYear(c.Year);
  Tag_.SetTrack(c.Track);
  Tag_.SetGenre(c.Genre);
  Tag_.Commit();
  EXPECT_EQ(ReadFile(Path_), Cat({audio, c.Expected}));
  EXPECT_TRUE(Messages_.Texts().empty());
}

INSTANTIATE_TEST_SUITE_P(Tags, ID3v1Write, ::testing::ValuesIn(WriteCases()),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(ID3v1File, WrittenFieldsReadBack) {
  OpenWith(Audio(1000));
  Tag_.SetTitle(std::string(30, 't'));
  Tag_.SetArtist("Artist \xE9");
  Tag_.SetAlbum("Album ");
  Tag_.SetYear("1987");
  Tag_.SetComment(std::string(28, 'k'));
  Tag_.SetTrack(255);
  Tag_.SetGenreAsString(u"jpop");
  Tag_.Commit();
  TID3v1Tag again;
  again.SetFileName(Path_);
  again.Open();
  EXPECT_EQ(again.Version(), "1.1");
  EXPECT_EQ(again.Title(), std::string(30, 't'));
  EXPECT_EQ(again.Artist(), "Artist \xE9");
  EXPECT_EQ(again.Album(), "Album ");
  EXPECT_EQ(again.Year(), "1987");
  EXPECT_EQ(again.Comment(), std::string(28, 'k'));
  EXPECT_EQ(again.Track(), 255);
  EXPECT_EQ(again.Genre(), 146);
}

// Whatever the engine can read as it stands, it writes back unchanged.
TEST_F(ID3v1File, RoundTripIsByteForByte) {
  TV1Slots v10{"Title", "", "Album", "2001", std::string(28, 'c'), 'x', 'y', 31};
  TV1Slots full{std::string(30, 'T'), std::string(30, 'A'), std::string(30, 'B'), "1234", std::string(28, 'C'), 0, 99,
                0};
  TV1Slots spaces{" a ", "b  ", "", "  ", " ", 0, 0, 254};
  for (const Bytes& block : {V1Block(v10), V1Block(full), V1Block(spaces), V11("Song", 1, 1), V1Block({})}) {
    const Bytes file = Cat({Audio(700), block});
    OpenWith(file);
    Tag_.Commit();
    EXPECT_EQ(ReadFile(Path_), file) << Tag_.Title();
  }
}

TEST_F(ID3v1File, AppendedBehindTheAudio) {
  for (const Bytes& audio : {Bytes{}, Str("short"), Bytes(127, 0x55), Audio(3000)}) {
    OpenWith(audio);
    EXPECT_FALSE(Tag_.Exists());
    Tag_.SetTitle("New");
    Tag_.Commit();
    EXPECT_EQ(ReadFile(Path_), Cat({audio, V11("New")})) << audio.size();
  }
}

TEST_F(ID3v1File, SecondCommitOverwritesTheFirst) {
  const Bytes audio = Audio(900);
  OpenWith(audio);
  Tag_.SetTitle("One");
  Tag_.Commit();
  Tag_.SetTitle("Two");
  Tag_.Commit();
  EXPECT_EQ(ReadFile(Path_), Cat({audio, V11("Two")}));
}

TEST_F(ID3v1File, CommitWhileInactiveDoesNothing) {
  const Bytes audio = Audio(900);
  WriteFile(Path_, audio);
  Tag_.SetFileName(Path_);
  Tag_.SetTitle("Never");
  Tag_.Commit();
  Tag_.Erase();
  EXPECT_EQ(ReadFile(Path_), audio);
}

TEST_F(ID3v1File, Erase) {
  const Bytes audio = Audio(900);
  OpenWith(Cat({audio, V11("Song", 1, 2)}));
  Tag_.Erase();
  EXPECT_EQ(ReadFile(Path_), audio);
  EXPECT_TRUE(Tag_.Active());
  EXPECT_EQ(Tag_.Title(), "");
  EXPECT_EQ(Tag_.Genre(), 255);
  // Nothing left to remove: the audio stays whole.
  Tag_.Erase();
  EXPECT_EQ(ReadFile(Path_), audio);
}

TEST_F(ID3v1File, ReadOnlyFileIsWrittenAndMadeWritable) {
  const Bytes audio = Audio(900);
  for (const bool erase : {false, true}) {
    OpenWith(Cat({audio, V11("Song")}));
    std::filesystem::permissions(Path_, std::filesystem::perms(0444));
    Tag_.SetTitle("Changed");
    if (erase) Tag_.Erase();
    else Tag_.Commit();
    EXPECT_EQ(ReadFile(Path_), erase ? audio : Cat({audio, V11("Changed")}));
    EXPECT_EQ(ModeOf(Path_), 0644u);
  }
}

// --- With the Lyrics3 block ----------------------------------------------------------

const Bytes kLyricsFields = Cat({Lyrics3Field("IND", "110"), Lyrics3Field("LYR", "First line\r\nSecond line"),
                                 Lyrics3Field("XYZ", "kept as it is"), Lyrics3Field("ETT", "A longer title")});

TEST_F(ID3v1File, LyricsBlockIsRead) {
  OpenWith(Cat({Audio(900), Lyrics3Block(kLyricsFields), V11("Song")}));
  const TLyrics3v2Tag& lyrics = Tag_.Lyrics();
  EXPECT_TRUE(lyrics.Exists());
  EXPECT_EQ(lyrics.Size(), int32_t(11 + kLyricsFields.size()));
  ASSERT_EQ(lyrics.Fields().Count(), 4);
  EXPECT_EQ(lyrics.Fields()[2].Name(), "XYZ");
  EXPECT_EQ(lyrics.LyricsText(), "First line\r\nSecond line");
  EXPECT_EQ(lyrics.TrackTitle(), "A longer title");
  EXPECT_EQ(lyrics.Indications(), "110");
}

struct TLyricsReadCase {
  const char* Name;
  Bytes Content;
  bool Exists;
  int32_t Size;
  int Fields;
};
void PrintTo(const TLyricsReadCase& c, std::ostream* os) { *os << c.Name; }

std::vector<TLyricsReadCase> LyricsReadCases() {
  const Bytes audio = Audio(600);
  const Bytes block = Lyrics3Block(Lyrics3Field("LYR", "words"));
  Bytes badDigits = block;
  badDigits[badDigits.size() - 15] = 'x';
  Bytes noBegin = block;
  noBegin[0] = 'l';
  Bytes sizeTooLarge = Cat({Str("LYRICSBEGIN"), Str("999999"), Str("LYRICS200")});
  return {
      {"BeforeTheID3v1Tag", Cat({audio, block, V11("Song")}), true, int32_t(block.size() - 15), 1},
      {"AtTheEndWithoutID3v1", Cat({audio, block}), true, int32_t(block.size() - 15), 1},
      {"NoFields", Cat({audio, Lyrics3Block({}), V11("Song")}), true, 11, 0},
      {"SizeNotANumber", Cat({audio, badDigits, V11("Song")}), false, 0, 0},
      {"NoBeginMarker", Cat({audio, noBegin, V11("Song")}), false, 0, 0},
      {"SizePastTheStart", Cat({sizeTooLarge, V11("Song")}), false, 0, 0},
      {"JustTheEndMarker", Str("LYRICS200"), false, 0, 0},
  };
}

class ID3v1LyricsRead : public ID3v1File, public ::testing::WithParamInterface<TLyricsReadCase> {};

TEST_P(ID3v1LyricsRead, Block) {
  const TLyricsReadCase& c = GetParam();
  OpenWith(c.Content);
  EXPECT_EQ(Tag_.Lyrics().Exists(), c.Exists);
  EXPECT_EQ(Tag_.Lyrics().Size(), c.Size);
  EXPECT_EQ(Tag_.Lyrics().Fields().Count(), c.Fields);
}

INSTANTIATE_TEST_SUITE_P(Tags, ID3v1LyricsRead, ::testing::ValuesIn(LyricsReadCases()),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(ID3v1File, WithoutEditLyricsOnlyTheLast128BytesChange) {
  const Bytes front = Cat({Audio(900), Lyrics3Block(kLyricsFields)});
  OpenWith(Cat({front, V11("Song")}));
  Tag_.Lyrics().SetLyricsText("");  // not written: EditLyrics is off
  Tag_.SetTitle("Retitled");
  Tag_.Commit();
  EXPECT_EQ(ReadFile(Path_), Cat({front, V11("Retitled")}));
}

TEST_F(ID3v1File, WithoutEditLyricsEraseKeepsTheLyrics) {
  const Bytes front = Cat({Audio(900), Lyrics3Block(kLyricsFields)});
  OpenWith(Cat({front, V11("Song")}));
  Tag_.Erase();
  EXPECT_EQ(ReadFile(Path_), front);
}

TEST_F(ID3v1File, WithoutEditLyricsTagGoesBehindALoneLyricsBlock) {
  const Bytes front = Cat({Audio(900), Lyrics3Block(kLyricsFields)});
  OpenWith(front);
  Tag_.SetTitle("New");
  Tag_.Commit();
  EXPECT_EQ(ReadFile(Path_), Cat({front, V11("New")}));
}

TEST_F(ID3v1File, EditLyricsRoundTripIsByteForByte) {
  for (const Bytes& file : {Cat({Audio(900), Lyrics3Block(kLyricsFields), V11("Song", 2, 3)}),
                            Cat({Audio(900), Lyrics3Block(Lyrics3Field("INF", std::string(99999, 'i'))), V11("x")})}) {
    OpenWith(file, true);
    Tag_.Commit();
    EXPECT_EQ(ReadFile(Path_), file);
  }
}

TEST_F(ID3v1File, EditLyricsWithoutFieldsRemovesTheBlock) {
  const Bytes audio = Audio(900);
  OpenWith(Cat({audio, Lyrics3Block(kLyricsFields), V11("Song")}), true);
  Tag_.Lyrics().Fields().Clear();
  Tag_.Commit();
  EXPECT_EQ(ReadFile(Path_), Cat({audio, V11("Song")}));
}

TEST_F(ID3v1File, EditLyricsWritesTheBlockInFrontOfTheTag) {
  const Bytes audio = Audio(900);
  OpenWith(Cat({audio, Lyrics3Block(kLyricsFields), V11("Song")}), true);
  Tag_.Lyrics().SetLyricsText("la la");
  Tag_.Lyrics().SetArtistName("The Band");
  Tag_.SetTrack(4);
  Tag_.Commit();
  const Bytes fields = Cat({Lyrics3Field("IND", "110"), Lyrics3Field("LYR", "la la"),
                            Lyrics3Field("XYZ", "kept as it is"), Lyrics3Field("ETT", "A longer title"),
                            Lyrics3Field("EAR", "The Band")});
  EXPECT_EQ(ReadFile(Path_), Cat({audio, Lyrics3Block(fields), V11("Song", 4)}));
}

TEST_F(ID3v1File, EditLyricsOnAFileWithoutTags) {
  const Bytes audio = Audio(900);
  OpenWith(audio, true);
  Tag_.Lyrics().SetLyricsText("la la");
  Tag_.SetTitle("Song");
  Tag_.Commit();
  EXPECT_EQ(ReadFile(Path_),
            Cat({audio, Str("LYRICSBEGININD00003100LYR00005la la000035LYRICS200"), V11("Song")}));
}

// The blocks are found again on every Commit: a second one without a new Open must
// replace the block the first one wrote, not leave it in front of a new one.
TEST_F(ID3v1File, EditLyricsTwiceWithoutReopening) {
  const Bytes audio = Audio(900);
  OpenWith(Cat({audio, Lyrics3Block(Lyrics3Field("LYR", "a")), V11("Song")}), true);
  Tag_.Lyrics().SetLyricsText("a much longer text than before");
  Tag_.Commit();
  Tag_.Lyrics().SetLyricsText("short");
  Tag_.Commit();
  EXPECT_EQ(ReadFile(Path_), Cat({audio, Lyrics3Block(Cat({Lyrics3Field("IND", "100"), Lyrics3Field("LYR", "short")})),
                                  V11("Song")}));
  Tag_.Erase();
  EXPECT_EQ(ReadFile(Path_), audio);
}

TEST_F(ID3v1File, EditLyricsErase) {
  const Bytes audio = Audio(900);
  for (const Bytes& file : {Cat({audio, Lyrics3Block(kLyricsFields), V11("Song")}),
                            Cat({audio, Lyrics3Block(kLyricsFields)}), Cat({audio, V11("Song")}), audio}) {
    OpenWith(file, true);
    Tag_.Erase();
    EXPECT_EQ(ReadFile(Path_), audio);
    EXPECT_FALSE(Tag_.Lyrics().Exists());
    EXPECT_EQ(Tag_.Lyrics().Fields().Count(), 0);
  }
}

// An earlier ID3v1 block in front of the Lyrics3 block (as some taggers leave it) is
// the one the new tag replaces once the blocks behind it are gone.
TEST_F(ID3v1File, EditLyricsReplacesAnOlderTagInFrontOfTheBlock) {
  const Bytes audio = Audio(900);
  OpenWith(Cat({audio, V11("Older"), Lyrics3Block(kLyricsFields), V11("Song")}), true);
  Tag_.Lyrics().Fields().Clear();
  Tag_.Commit();
  EXPECT_EQ(ReadFile(Path_), Cat({audio, V11("Song")}));
}

TEST_F(ID3v1File, OversizedLyricsFieldIsRefusedAndTheFileUntouched) {
  const Bytes file = Cat({Audio(900), Lyrics3Block(kLyricsFields), V11("Song")});
  OpenWith(file, true);
  std::filesystem::permissions(Path_, std::filesystem::perms(0444));
  Tag_.SetName("ID3v1Tag");
  bool written = false;
  Tag_.SetOnWriteTag([&](void*) { written = true; });
  Tag_.Lyrics().Fields().GetFieldID(lfLyricsText)->SetText(std::string(100000, 'x'));
  Tag_.SetTitle("Not written either");
  Tag_.Commit();
  EXPECT_EQ(Messages_.Texts(), std::vector<std::string>{"ID3v1Tag: Lyrics3 field LYR is larger than 99999 bytes"});
  EXPECT_EQ(ReadFile(Path_), file);
  EXPECT_EQ(ModeOf(Path_), 0444u);
  EXPECT_FALSE(written);
  // Without EditLyrics the block is not written, so nothing stands in the way.
  Tag_.SetEditLyrics(false);
  Tag_.Commit();
  EXPECT_EQ(Tail(ReadFile(Path_), 128), V11("Not written either"));
}

TEST_F(ID3v1File, CommitThroughASymlinkKeepsTheLink) {
  const Bytes audio = Audio(900);
  WriteFile(Path_, Cat({audio, V11("Song")}));
  const std::string link = Folder_.File("link.mp3");
  std::filesystem::create_symlink("song.mp3", link);
  Tag_.SetFileName(link);
  Tag_.SetEditLyrics(true);
  Tag_.Open();
  Tag_.Lyrics().SetLyricsText("la la");
  Tag_.Commit();
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadFile(Path_),
            Cat({audio, Str("LYRICSBEGININD00003100LYR00005la la000035LYRICS200"), V11("Song")}));
  EXPECT_EQ(Folder_.List(), (std::vector<std::string>{"link.mp3", "song.mp3"}));
}

}  // namespace
