// Reading a file through the shared read cache gives exactly what reading it directly
// gives, for every component, while opening it once.

#include <gtest/gtest.h>

#include "builders.h"
#include "faultyfilesystem.h"
#include "id3v1tag.h"
#include "id3v2tag.h"
#include "mpegaudio.h"
#include "readcache.h"

using namespace tags;
using tags::test::TFaultOperation;
using tags::test::TFaultyFileSystem;
using builders::Bytes;
using builders::Cat;
using builders::Str;

namespace {

struct TView {
  std::vector<Bytes> Frames;
  std::string V1Title;
  uint8_t V1Track = 0;
  std::string Lyrics;
  int64_t HeaderAt = 0;
  int32_t Bitrate = 0;
  double Duration = 0;
  bool operator==(const TView&) const = default;
};

TView ReadAll(TFileSystem& fs, const std::string& path) {
  TView view;
  TID3v2Tag v2(&fs);
  v2.SetFileName(path);
  v2.Open();
  for (int i = 0; i < v2.Frames().Count(); ++i) view.Frames.push_back(v2.Frames()[i].Data().Bytes());
  v2.Close();
  TID3v1Tag v1(&fs);
  v1.SetFileName(path);
  v1.Open();
  view.V1Title = v1.Title();
  view.V1Track = v1.Track();
  view.Lyrics = v1.Lyrics().LyricsText();
  v1.Close();
  TMPEGAudio mpeg(&fs);
  mpeg.SetFileName(path);
  mpeg.Open();
  view.HeaderAt = mpeg.HeaderFoundAt();
  view.Bitrate = mpeg.Bitrate();
  view.Duration = mpeg.Duration();
  mpeg.Close();
  return view;
}

Bytes Audio(size_t frames) {
  Bytes audio;
  for (size_t f = 0; f < frames; ++f) {
    Bytes frame = {0xFF, 0xFB, 0x90, 0x64};
    frame.resize(417, uint8_t(f));
    audio.insert(audio.end(), frame.begin(), frame.end());
  }
  return audio;
}

// Pictures of several sizes put the tag's end and the first frame inside the first
// block, across its edge, and far behind it; short files lie inside the last block.
class ReadCache : public ::testing::TestWithParam<size_t> {};

TEST_P(ReadCache, GivesWhatTheFileGivesAndOpensItOnce) {
  testutil::TTempFolder folder;
  const std::string path = folder.File("song.mp3");
  const Bytes picture = testutil::RandomBytes(GetParam(), 7);
  const Bytes lyrics = Cat({Str("LYRICSBEGIN"), Str("IND00003100"), Str("LYR00005la la"), Str("000035"), Str("LYRICS200")});
  Bytes v1 = Cat({Str("TAG"), Str("Title"), Bytes(120, 0)});
  v1[126] = 4;
  const Bytes tag = builders::Tag(3, 0, Cat({builders::Frame23("TIT2", builders::Text("t")),
                                             builders::Frame23("APIC", Cat({{0}, Str("image/png"), {0, 3, 0}, picture}))}));
  testutil::WriteFile(path, Cat({tag, Audio(GetParam() > 0 ? 30 : 2), lyrics, v1}));

  const TView direct = ReadAll(SystemFileSystem(), path);
  TFaultyFileSystem counting(SystemFileSystem());
  TReadCache cache(counting);
  const TView cached = ReadAll(cache, path);
  EXPECT_EQ(cached, direct);
  EXPECT_EQ(direct.V1Title, "Title");
  EXPECT_EQ(direct.Lyrics, "la la");
  EXPECT_GE(direct.HeaderAt, int64_t(tag.size()));
  EXPECT_EQ(counting.Count(TFaultOperation::Open), 1u);
  EXPECT_LE(counting.Count(TFaultOperation::Status), 1u);
  cache.Release();
  EXPECT_EQ(counting.Count(TFaultOperation::Close), 1u);
}

INSTANTIATE_TEST_SUITE_P(PictureSizes, ReadCache, ::testing::Values(0, 1000, 65000, 65536, 200000));

TEST(ReadCacheWrites, AWriterGetsTheRealFileAndNothingStaleIsServed) {
  testutil::TTempFolder folder;
  const std::string path = folder.File("song.mp3");
  testutil::WriteFile(path, Cat({builders::Tag(3, 0, builders::Frame23("TIT2", builders::Text("old"))), Audio(2)}));
  TReadCache cache(SystemFileSystem());
  TID3v2Tag tag(&cache);
  tag.SetFileName(path);
  tag.Open();
  EXPECT_EQ(tag.TextFrames().Title(), u"old");
  tag.TextFrames().SetTitle(u"new and longer than the padding allows, so the file is rewritten" + std::u16string(5000, u'x'));
  tag.Commit();
  tag.Close();
  tag.Open();
  EXPECT_EQ(tag.TextFrames().Title().substr(0, 7), u"new and");
}

}  // namespace
