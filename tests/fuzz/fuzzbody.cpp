#include "fuzzbody.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "id3v1tag.h"
#include "id3v2tag.h"
#include "mpegaudio.h"
#include "memoryfilesystem.h"

namespace fuzz {
namespace {

using tags::TBytes;
using tags::TID3v2Tag;

constexpr const char* kFolder = "/music";
constexpr const char* kPath = "/music/input.mp3";

// Messages shown since the run began: "Tag size more than 256 MB" means nothing was
// written, which the checks must allow for.
int MessagesShown = 0;

[[noreturn]] void Broken(const char* invariant, const std::string& step, int line) {
  std::fprintf(stderr, "fuzz: invariant broken (%s, line %d): %s\n", step.c_str(), line, invariant);
  std::abort();
}

#define FUZZ_CHECK(condition, step) ((condition) ? void(0) : Broken(#condition, step, __LINE__))

// The tag region as the engine measures it on disk: header and size, and a 2.4 footer
// when its flag is set and "3DI" stands where the region ends; never past the file end.
size_t TagRegion(const TBytes& file) {
  if (file.size() < 10 || file[0] != 'I' || file[1] != 'D' || file[2] != '3') return 0;
  uint64_t region = 10 + uint64_t(tags::DecodeSyncSafe(std::span<const uint8_t>(file.data() + 6, 4)));
  if (file[3] == 4 && (file[5] & 0x10) && region + 3 <= file.size() && file[region] == '3' &&
      file[region + 1] == 'D' && file[region + 2] == 'I')
    region += 10;
  return size_t(std::min<uint64_t>(region, file.size()));
}

bool EndsWith(const TBytes& bytes, const TBytes& tail) {
  return bytes.size() >= tail.size() && std::equal(tail.begin(), tail.end(), bytes.end() - std::ptrdiff_t(tail.size()));
}

// Every typed reader over every frame of its kind: whatever the lengths, terminators and
// encodings in a damaged payload, none may read past it (the sanitizers watch).
size_t ReadTypedView(const TID3v2Tag& tag) {
  size_t seen = 0;
  for (const tags::TTextFrameProperty& p : tags::TextFrameProperties()) seen += tag.TextFrames().Get(p).size();
  for (const tags::TWebFrameProperty& p : tags::WebFrameProperties()) seen += tag.WebFrames().GetURL(p.Kind).size();
  for (const tags::TID3v2URLList* list : {static_cast<const tags::TID3v2URLList*>(&tag.WebFrames().Artist()),
                                          static_cast<const tags::TID3v2URLList*>(&tag.WebFrames().CommercialInfo())})
    for (int i = 0; i < list->ItemCount(); ++i) {
      std::string url;
      list->Find(url, i);
      seen += url.size();
    }
  for (int i = 0; i < tag.UserText().ItemCount(); ++i) {
    std::u16string description, text;
    tag.UserText().Find(description, text, i);
    seen += description.size() + text.size();
  }
  for (int i = 0; i < tag.UserURL().ItemCount(); ++i) {
    std::u16string description;
    std::string url;
    tag.UserURL().Find(description, url, i);
    seen += description.size() + url.size();
  }
  for (const tags::TID3v2LanguageText* list : {static_cast<const tags::TID3v2LanguageText*>(&tag.Comments()),
                                               static_cast<const tags::TID3v2LanguageText*>(&tag.UnsychronizedLyrics())})
    for (int i = 0; i < list->ItemCount(); ++i) {
      std::string language;
      std::u16string description, content;
      list->Find(language, description, content, i);
      FUZZ_CHECK(language.size() <= 3, "typed view: language");
      seen += description.size() + content.size();
    }
  for (int i = 0; i < tag.Pictures().ItemCount(); ++i) {
    std::string mime;
    tags::TID3v2PictureType type = tags::ptOther;
    std::u16string description;
    tags::TMemoryStream data;
    tag.Pictures().Find(mime, type, description, data, i);
    seen += mime.size() + description.size() + data.Size();
  }
  for (int i = 0; i < tag.Popularimeter().ItemCount(); ++i) {
    std::string email;
    uint8_t rating = 0;
    uint32_t counter = 0;
    tag.Popularimeter().Find(email, rating, counter, i);
    seen += email.size() + rating + (counter & 1);
  }
  std::string language;
  std::u16string text;
  if (tag.TermsOfUse().Find(language, text)) seen += language.size() + text.size();
  return seen + tag.PlayCounter();
}

// Text read from any frame, written back through its property in UTF-16 (which holds
// every code unit), must read back the same.
void RewriteTypedText(TID3v2Tag& tag) {
  tag.SetVersionToSave(tags::ive2_4);
  tag.SetEncoding(tags::ienUTF_16);
  for (const tags::TTextFrameProperty& p : tags::TextFrameProperties()) {
    if (p.Form != tags::TTextForm::Encoded) continue;
    const std::u16string value = tag.TextFrames().Get(p);
    // A leading mark is taken for the byte-order mark when read back.
    if (value.empty() || value.front() == 0xFEFF || !tags::IsFrameSupported(p.Kind, tags::ive2_4)) continue;
    tag.TextFrames().Set(p, value);
    FUZZ_CHECK(tag.TextFrames().Get(p) == value, std::string("typed rewrite of ") + p.Name);
  }
}

void Reopen(TID3v2Tag& tag, const std::string& step) {
  tag.Close();
  try {
    tag.Open();
  } catch (const tags::ETagError& e) {
    // The file is either the input, which opened before, or what the engine wrote.
    Broken(e.what(), step + ": reopening", __LINE__);
  }
  FUZZ_CHECK(tag.Active(), step);
}

void Commit(TID3v2Tag& tag, const std::string& step) {
  try {
    tag.Commit();
  } catch (const tags::ETagError& e) {
    // A memory file system cannot fail: any error here is the engine's own fault.
    Broken(e.what(), step, __LINE__);
  }
}

// What a commit left on disk must hold exactly the frames the tag kept in memory.
void CheckWritten(TID3v2Tag& tag, tags::test::TMemoryFileSystem& fs, const TBytes& before, int major,
                  const std::string& step) {
  const TBytes after = fs.ReadFile(kPath);
  const TBytes tail(before.begin() + std::ptrdiff_t(TagRegion(before)), before.end());
  FUZZ_CHECK(fs.List(kFolder) == std::vector<std::string>{"input.mp3"}, step);

  if (tag.Frames().Count() == 0) {
    // Nothing the version can carry: the tag was removed instead.
    FUZZ_CHECK(after == tail, step);
    return;
  }
  FUZZ_CHECK(EndsWith(after, tail), step);
  const size_t region = after.size() - tail.size();
  const size_t oldRegion = TagRegion(before);
  // In place, or a new region of whole 2048-byte blocks.
  FUZZ_CHECK(region == oldRegion || (region > oldRegion && region % 2048 == 0), step);
  FUZZ_CHECK(region >= 10 && after[0] == 'I' && after[1] == 'D' && after[2] == '3', step);
  FUZZ_CHECK(after[3] == major && after[4] == 0, step);
  FUZZ_CHECK((after[5] & 0x10) == 0, step + ": a footer flag without a footer");
  FUZZ_CHECK(TagRegion(after) == region, step);
  for (int i = 6; i < 10; ++i) FUZZ_CHECK(after[size_t(i)] < 0x80, step + ": size not sync-safe");

  TID3v2Tag check(&fs);
  check.SetFileName(kPath);
  try {
    check.Open();
  } catch (const tags::ETagError& e) {
    Broken(e.what(), step + ": reading back", __LINE__);
  }
  FUZZ_CHECK(check.Header().Exists() && check.Header().MajorVersion() == major, step);
  FUZZ_CHECK(check.TagSize() == region, step);
  const tags::TID3v2Frames& written = tag.Frames();
  const tags::TID3v2Frames& read = check.Frames();
  FUZZ_CHECK(read.Count() == written.Count(), step + ": frame count read back");
  // Across versions a picture's image field is converted, so the views differ there.
  if (tag.Header().MajorVersion() == major)
    FUZZ_CHECK(ReadTypedView(check) == ReadTypedView(tag), step + ": typed view read back");
  else
    ReadTypedView(check);
  for (int i = 0; i < read.Count(); ++i) {
    FUZZ_CHECK(read[i].NameBytes() == written[i].NameBytes(), step + ": frame " + std::to_string(i));
    FUZZ_CHECK(read[i].FrameID() == written[i].FrameID(), step + ": frame " + std::to_string(i));
    // The one payload that follows the version is a picture's image field.
    if (written[i].FrameID() != tags::fiAttachedPicture || tag.Header().MajorVersion() == major ||
        (tag.Header().MajorVersion() != 2 && major != 2))
      FUZZ_CHECK(read[i].Data().Bytes() == written[i].Data().Bytes(), step + ": payload of " + written[i].Name());
  }
  // Whole-tag unsynchronisation may swallow a zero byte of the padding behind a final FF.
  if (!(after[5] & 0x80)) FUZZ_CHECK(check.Padding() == tag.Padding(), step + ": padding read back");
}

struct TEndFields {
  bool Exists = false;
  std::string Title, Artist, Album, Year, Comment;
  uint8_t Track = 0, Genre = 255;
  std::vector<std::pair<std::string, TBytes>> Lyrics;
  bool operator==(const TEndFields&) const = default;
};

TEndFields ReadEnd(tags::TID3v1Tag& v1) {
  TEndFields f;
  f.Exists = v1.Exists();
  f.Title = v1.Title();
  f.Artist = v1.Artist();
  f.Album = v1.Album();
  f.Year = v1.Year();
  f.Comment = v1.Comment();
  f.Track = v1.Track();
  f.Genre = v1.Genre();
  for (int i = 0; i < v1.Lyrics().Fields().Count(); ++i)
    f.Lyrics.emplace_back(v1.Lyrics().Fields()[i].Name(), v1.Lyrics().Fields()[i].Data().Bytes());
  (void)v1.GenreAsString();
  (void)v1.Version();
  (void)v1.Lyrics().LyricsText();
  return f;
}

// The end of the file: the ID3v1 tag and the Lyrics3 block in front of it, read, written
// back with and without the Lyrics3 block, and erased. Whatever the input, nothing before
// the old end may change, and what was written must read back.
void RunEndOfFile(tags::test::TMemoryFileSystem& fs, const TBytes& input) {
  for (const bool editLyrics : {false, true}) {
    const std::string step = editLyrics ? "id3v1 commit with lyrics3" : "id3v1 commit";
    fs.WriteFile(kPath, input);
    tags::TID3v1Tag v1(&fs);
    v1.SetFileName(kPath);
    try {
      v1.Open();
    } catch (const tags::ETagError&) {
      FUZZ_CHECK(fs.ReadFile(kPath) == input, step + ": failed open");
      return;
    }
    FUZZ_CHECK(v1.Active(), step);
    TEndFields before = ReadEnd(v1);
    v1.SetEditLyrics(editLyrics);
    // A title of full width and a track: every byte of the block is in use.
    v1.SetTitle(std::string(30, 'x'));
    v1.SetTrack(7);
    const int messages = MessagesShown;
    try {
      v1.Commit();
    } catch (const tags::ETagError& e) {
      Broken(e.what(), step, __LINE__);
    }
    if (MessagesShown != messages) {
      // An oversized Lyrics3 field was refused: nothing may have changed.
      FUZZ_CHECK(fs.ReadFile(kPath) == input, step + ": refused commit");
      continue;
    }
    const TBytes after = fs.ReadFile(kPath);
    FUZZ_CHECK(after.size() >= 128, step);
    tags::TID3v1Tag check(&fs);
    check.SetFileName(kPath);
    try {
      check.Open();
    } catch (const tags::ETagError& e) {
      Broken(e.what(), step + ": reading back", __LINE__);
    }
    TEndFields expected = before;
    expected.Exists = true;
    expected.Title = std::string(30, 'x');
    expected.Track = 7;
    // A comment longer than 28 bytes gives way to the track number.
    if (expected.Comment.size() > 28) expected.Comment.resize(28);
    TEndFields read = ReadEnd(check);
    if (!editLyrics) {
      // The Lyrics3 block was left alone; what reads back of it is not this step's.
      read.Lyrics.clear();
      expected.Lyrics.clear();
    } else {
      // A lone IND field is no block at all; then empty fields are not written (in this
      // order: an IND beside an empty field survives).
      if (expected.Lyrics.size() == 1 && expected.Lyrics[0].first == "IND") expected.Lyrics.clear();
      std::erase_if(expected.Lyrics, [](const auto& f) { return f.second.empty(); });
    }
    FUZZ_CHECK(read == expected, step + ": fields read back");
    FUZZ_CHECK(fs.List(kFolder) == std::vector<std::string>{"input.mp3"}, step);
  }

  fs.WriteFile(kPath, input);
  tags::TID3v1Tag v1(&fs);
  v1.SetFileName(kPath);
  v1.Open();
  v1.SetEditLyrics(true);
  try {
    v1.Erase();
  } catch (const tags::ETagError& e) {
    Broken(e.what(), "id3v1 erase", __LINE__);
  }
  const TBytes after = fs.ReadFile(kPath);
  FUZZ_CHECK(after.size() <= input.size(), "id3v1 erase");
  FUZZ_CHECK(std::equal(after.begin(), after.end(), input.begin()), "id3v1 erase keeps everything before the end");
}

// The stream analysis only reads: it must never fail on content, and what it reports
// must lie inside the file.
void RunMpeg(tags::test::TMemoryFileSystem& fs, const TBytes& input) {
  fs.WriteFile(kPath, input);
  tags::TMPEGAudio mpeg(&fs);
  mpeg.SetFileName(kPath);
  try {
    mpeg.Open();
  } catch (const tags::ETagError& e) {
    Broken(e.what(), "mpeg", __LINE__);
  }
  FUZZ_CHECK(mpeg.FileSize() == int64_t(input.size()), "mpeg");
  FUZZ_CHECK(mpeg.HeaderFoundAt() < int64_t(input.size()), "mpeg");
  if (mpeg.HeaderFoundAt() >= 0) FUZZ_CHECK(input[size_t(mpeg.HeaderFoundAt())] == 0xFF, "mpeg: header sync");
  FUZZ_CHECK(mpeg.Duration() >= 0 && mpeg.Duration() == mpeg.Duration(), "mpeg: duration");
  FUZZ_CHECK(!mpeg.DurationToTime().empty(), "mpeg");
  if (mpeg.Valid()) FUZZ_CHECK(mpeg.SamplingRate() >= 0, "mpeg");
  FUZZ_CHECK(fs.ReadFile(kPath) == input, "mpeg only reads");
}

}  // namespace

void SilenceEngineMessages() {
  tags::SetTagErrorHandler([](const std::string&, const std::string&) { ++MessagesShown; });
}

void RunInput(const uint8_t* data, size_t size) {
  MessagesShown = 0;
  const TBytes input(data, data + size);
  tags::test::TMemoryFileSystem fs;
  // The end of the file and the stream analysis first: a broken ID3v2 tag ends the run.
  RunEndOfFile(fs, input);
  RunMpeg(fs, input);
  fs.WriteFile(kPath, input);

  TID3v2Tag tag(&fs);
  tag.SetFileName(kPath);
  try {
    tag.Open();
  } catch (const tags::ETagError&) {
    FUZZ_CHECK(fs.ReadFile(kPath) == input, "failed open");
    return;
  }
  FUZZ_CHECK(fs.ReadFile(kPath) == input, "open");
  FUZZ_CHECK(tag.Active(), "open");
  FUZZ_CHECK(tag.TagSize() <= input.size(), "open");
  FUZZ_CHECK(tag.Padding() >= 0, "open");
  ReadTypedView(tag);

  // Each version starts from the input itself: a chain 2.2, 2.3, 2.4 would lose what
  // 2.2 cannot carry (extended headers, frame flags, most frame kinds) before the
  // other versions are written.
  static constexpr tags::TID3v2VersionToSave kVersions[] = {tags::ive2_2, tags::ive2_3, tags::ive2_4};
  for (const tags::TID3v2VersionToSave version : kVersions) {
    const int major = version + 2;
    const std::string step = "commit as 2." + std::to_string(major);
    fs.WriteFile(kPath, input);
    Reopen(tag, step);
    tag.SetVersionToSave(version);
    const int messages = MessagesShown;
    Commit(tag, step);
    if (MessagesShown != messages) {
      // The tag would pass the largest size: nothing may have been written.
      FUZZ_CHECK(fs.ReadFile(kPath) == input, step + ": refused commit");
      continue;
    }
    CheckWritten(tag, fs, input, major, step);
    // The tag was removed: what is left is whatever followed it, as arbitrary as any
    // input (it may start with a broken tag of its own), and the fuzzer tries such
    // files as inputs in their own right.
    if (tag.Frames().Count() == 0) continue;

    // A second commit without reopening measures the region anew and finds the frames
    // as they were written: it must change nothing.
    const TBytes once = fs.ReadFile(kPath);
    Commit(tag, step + ": second commit");
    FUZZ_CHECK(fs.ReadFile(kPath) == once, step + ": second commit");
    // Nor may reading what was written and writing it again in the same version.
    Reopen(tag, step + ": again");
    tag.SetVersionToSave(version);
    Commit(tag, step + ": again");
    FUZZ_CHECK(fs.ReadFile(kPath) == once, step + ": again after reopening");
  }

  fs.WriteFile(kPath, input);
  Reopen(tag, "typed rewrite");
  RewriteTypedText(tag);

  fs.WriteFile(kPath, input);
  Reopen(tag, "erase");
  try {
    tag.Erase();
  } catch (const tags::ETagError& e) {
    Broken(e.what(), "erase", __LINE__);
  }
  FUZZ_CHECK(fs.ReadFile(kPath) == TBytes(input.begin() + std::ptrdiff_t(TagRegion(input)), input.end()), "erase");
  FUZZ_CHECK(fs.List(kFolder) == std::vector<std::string>{"input.mp3"}, "erase");
}

}  // namespace fuzz
