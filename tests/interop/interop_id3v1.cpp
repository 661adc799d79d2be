// Writes or prints the ID3v1 tag and the Lyrics3 block of a file through the engine's
// public API, for the interoperability test with mutagen.
//
//   interop_id3v1 write FILE < case    opens FILE, applies the case, commits
//   interop_id3v1 dump FILE            prints what the engine reads as one JSON object
//
// A case has one directive per line; byte texts are hex, so that any byte of the code
// page (and an empty value) passes unchanged:
//
//   title|artist|album|year|comment <hex>   an ID3v1 field
//   track <n> / genre <n>                   numbers, decimal
//   editlyrics                              also write the Lyrics3 block
//   lyrics <hex>                            the lyrics text (keeps the indications)
//   artistname|albumname|tracktitle|authorname|information|imagelink <hex>
//   field <letters> <hex>                   one more field as it is, any letters
//
// Any engine message or exception fails the run: a case that silently lost a value
// would test nothing.

#include <cstdio>
#include <iostream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>

#include "id3v1tag.h"
#include "tagerror.h"

namespace {

using tags::TID3v1Tag;
using tags::TLyrics3v2Tag;

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (const unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string Unhex(const std::string& hex) {
  if (hex.size() % 2 != 0) throw std::runtime_error("odd hex length: " + hex);
  std::string out;
  for (size_t i = 0; i < hex.size(); i += 2) out += char(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

void Write(TID3v1Tag& tag) {
  using TextSetter = void (TID3v1Tag::*)(std::string);
  using LyricsSetter = void (TLyrics3v2Tag::*)(std::string_view);
  const std::map<std::string, TextSetter> fields = {{"title", &TID3v1Tag::SetTitle},
                                                    {"artist", &TID3v1Tag::SetArtist},
                                                    {"album", &TID3v1Tag::SetAlbum},
                                                    {"year", &TID3v1Tag::SetYear},
                                                    {"comment", &TID3v1Tag::SetComment}};
  const std::map<std::string, LyricsSetter> lyrics = {{"lyrics", &TLyrics3v2Tag::SetLyricsText},
                                                      {"artistname", &TLyrics3v2Tag::SetArtistName},
                                                      {"albumname", &TLyrics3v2Tag::SetAlbumName},
                                                      {"tracktitle", &TLyrics3v2Tag::SetTrackTitle},
                                                      {"authorname", &TLyrics3v2Tag::SetAuthorName},
                                                      {"information", &TLyrics3v2Tag::SetInformation},
                                                      {"imagelink", &TLyrics3v2Tag::SetImageLink}};
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream words(line);
    std::string directive, first, second;
    words >> directive >> first >> second;
    if (directive.empty()) continue;
    if (auto f = fields.find(directive); f != fields.end()) {
      (tag.*f->second)(Unhex(first));
    } else if (auto l = lyrics.find(directive); l != lyrics.end()) {
      (tag.Lyrics().*l->second)(Unhex(first));
    } else if (directive == "track") {
      tag.SetTrack(uint8_t(std::stoi(first)));
    } else if (directive == "genre") {
      tag.SetGenre(uint8_t(std::stoi(first)));
    } else if (directive == "editlyrics") {
      tag.SetEditLyrics(true);
    } else if (directive == "field") {
      tags::TLyrics3v2Field& field = tag.Lyrics().Fields().Add();
      field.SetName(first);
      field.SetText(Unhex(second));
    } else {
      throw std::runtime_error("unknown directive: " + directive);
    }
  }
  tag.Commit();
}

void Dump(const TID3v1Tag& tag) {
  const TLyrics3v2Tag& lyrics = tag.Lyrics();
  std::printf("{\"exists\": %s, \"version\": \"%s\", \"title\": \"%s\", \"artist\": \"%s\", \"album\": \"%s\", "
              "\"year\": \"%s\", \"comment\": \"%s\", \"track\": %d, \"genre\": %d, \"lyrics_exists\": %s, "
              "\"lyrics_size\": %d, \"fields\": [",
              tag.Exists() ? "true" : "false", tag.Version().c_str(), Hex(tag.Title()).c_str(),
              Hex(tag.Artist()).c_str(), Hex(tag.Album()).c_str(), Hex(tag.Year()).c_str(),
              Hex(tag.Comment()).c_str(), tag.Track(), tag.Genre(), lyrics.Exists() ? "true" : "false",
              int(lyrics.Size()));
  for (int i = 0; i < lyrics.Fields().Count(); ++i) {
    const auto& data = lyrics.Fields()[i].Data().Bytes();
    std::printf("%s[\"%s\", \"%s\"]", i ? ", " : "", lyrics.Fields()[i].Name().c_str(),
                Hex(std::string(data.begin(), data.end())).c_str());
  }
  std::printf("]}\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || (std::string(argv[1]) != "write" && std::string(argv[1]) != "dump")) {
    std::fprintf(stderr, "usage: %s write|dump FILE\n", argv[0]);
    return 2;
  }
  bool messages = false;
  tags::SetTagErrorHandler([&](const std::string&, const std::string& text) {
    std::fprintf(stderr, "engine message: %s\n", text.c_str());
    messages = true;
  });
  try {
    TID3v1Tag tag;
    tag.SetFileName(argv[2]);
    tag.Open();
    if (!tag.Active()) throw std::runtime_error("cannot open the file");
    if (std::string(argv[1]) == "write") Write(tag);
    else Dump(tag);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return messages ? 1 : 0;
}
