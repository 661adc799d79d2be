// Writes an ID3v2 tag onto an existing file through the engine's public API, from a
// small case description read on standard input, one directive per line:
//
//   version 2|3|4                      the version to save
//   header  <flag>...                  header flags (unsync extended experimental)
//   extended <flag>...                 extended-header flags (update restrictions)
//   restrictions <byte>                the 2.4 restrictions byte, decimal
//   frame <ID> <hex payload> [<flag>...] [group=<byte>]
//                                      a frame, ID in the version to save; flags as
//                                      the dumper prints them (compressed unsync ...)
//
// and, through the typed frame access the editor uses:
//
//   encoding latin1|utf16|utf16be|utf8 the tag's encoding (after version: the version
//                                      resets encodings it cannot carry)
//   text <property> <text>             a text property by name (Title, Track, ...)
//   url <property> <url>               a single URL property (AudioFile, ...)
//   artist_url <url>                   one more WOAR frame
//   commercial_url <url>               one more WCOM frame
//   user_text <description> <text>     one more TXXX frame
//   user_url <description> <url>       one more WXXX frame
//   comment <language> <description> <content>
//   lyrics <language> <description> <content>
//   picture <MIME type> <picture type> <description> <hex bytes>
//   popularimeter <e-mail> <rating> <counter>
//   terms <language> <text>            the terms of use
//   play_counter <count>
//
// The arguments of these are UTF-8, percent-encoded, separated by single blanks, so
// that a value can hold blanks and line breaks, and an empty one is simply nothing
// between two blanks. Byte-text arguments (URLs, languages, MIME types, e-mail) must
// fit the engine's single-byte code page.
//
// The file is opened first, so frames already in it stay (and go through the engine's
// rules for the version to save). Any message the engine raises, or a flag it does not
// take, fails the run: a case that silently lost a flag would test nothing.
//
// Usage: interop_write FILE < case

#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "frametable.h"
#include "id3v2tag.h"
#include "interop_names.h"
#include "tagerror.h"
#include "textcodec.h"

namespace {

struct TFailure {
  std::string Text;
};

[[noreturn]] void Fail(const std::string& text) { throw TFailure{text}; }

tags::TBytes ParseHex(const std::string& hex) {
  if (hex.size() % 2 != 0) Fail("odd-length hex payload");
  tags::TBytes out;
  out.reserve(hex.size() / 2);
  for (size_t i = 0; i < hex.size(); i += 2) {
    size_t used = 0;
    const unsigned long byte = std::stoul(hex.substr(i, 2), &used, 16);
    if (used != 2) Fail("bad hex payload near \"" + hex.substr(i, 2) + "\"");
    out.push_back(uint8_t(byte));
  }
  return out;
}

uint8_t ParseByte(const std::string& text) {
  const unsigned long value = std::stoul(text, nullptr, 0);
  if (value > 255) Fail("byte out of range: " + text);
  return uint8_t(value);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecode(const std::string& word) {
  std::string out;
  for (size_t i = 0; i < word.size(); ++i) {
    if (word[i] != '%') {
      out += word[i];
      continue;
    }
    const bool complete = i + 2 < word.size();
    const int high = complete ? HexDigit(word[i + 1]) : -1;
    const int low = complete ? HexDigit(word[i + 2]) : -1;
    if (high < 0 || low < 0) Fail("bad percent escape in \"" + word + "\"");
    out += char(high * 16 + low);
    i += 2;
  }
  return out;
}

// The typed directives' arguments: what follows the directive, split at every single
// blank (so two blanks in a row stand for an empty argument), then decoded.
std::vector<std::u16string> TypedArguments(const std::string& line, const std::string& directive) {
  std::vector<std::u16string> args;
  size_t start = line.find(directive) + directive.size();
  if (start == line.size()) return args;
  if (line[start] != ' ') Fail("arguments must follow one blank: " + line);
  while (start != std::string::npos) {
    const size_t end = line.find(' ', start + 1);
    const std::string word = line.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
    args.push_back(tags::Utf8ToUtf16(PercentDecode(word)));
    start = end;
  }
  return args;
}

std::string ByteText(const std::u16string& text) {
  // A '?' the engine put in place of a character would make the case test the
  // replacement instead of the frame.
  if (!tags::IsAnsiRepresentable(text)) Fail("not single-byte text: " + tags::Utf16ToUtf8(text));
  return tags::WideToAnsi(text);
}

uint32_t ParseCount(const std::u16string& text) {
  const std::string digits = tags::Utf16ToUtf8(text);
  size_t used = 0;
  const unsigned long long value = std::stoull(digits, &used, 10);
  if (used != digits.size() || value > 0xFFFFFFFFull) Fail("not a 32-bit count: " + digits);
  return uint32_t(value);
}

void NeedArguments(const std::vector<std::u16string>& args, size_t count, const std::string& directive) {
  if (args.size() != count)
    Fail(directive + " takes " + std::to_string(count) + " arguments, got " + std::to_string(args.size()));
}

// Add answers -1 when it wrote nothing, which a case never asks for.
void CheckAdded(int result, const std::string& directive) {
  if (result < 0) Fail("the engine did not add the " + directive + " frame");
}

// True when the directive is one of the typed ones (and was carried out).
bool ApplyTypedLine(tags::TID3v2Tag& tag, const std::string& directive, const std::string& line) {
  static const char* const kTyped[] = {"encoding", "text", "url", "artist_url", "commercial_url",
                                       "user_text", "user_url", "comment", "lyrics", "picture",
                                       "popularimeter", "terms", "play_counter"};
  bool typed = false;
  for (const char* name : kTyped) typed = typed || directive == name;
  if (!typed) return false;
  const std::vector<std::u16string> args = TypedArguments(line, directive);

  if (directive == "encoding") {
    NeedArguments(args, 1, directive);
    static const std::pair<const char16_t*, tags::TID3v2Encoding> kEncodings[] = {
        {u"latin1", tags::ienISO_8859_1}, {u"utf16", tags::ienUTF_16},
        {u"utf16be", tags::ienUTF_16BE}, {u"utf8", tags::ienUTF_8}};
    for (const auto& [name, encoding] : kEncodings) {
      if (args[0] != name) continue;
      tag.SetEncoding(encoding);
      if (tag.Encoding() != encoding) Fail("the engine refused the encoding: " + line);
      return true;
    }
    Fail("unknown encoding: " + line);
  } else if (directive == "text") {
    NeedArguments(args, 2, directive);
    const tags::TTextFrameProperty* property = tags::FindTextFrameProperty(tags::Utf16ToUtf8(args[0]));
    if (property == nullptr) Fail("unknown text property: " + line);
    // Only the encoded form follows the tag's encoding; the others are byte text.
    const uint8_t encoding = property->Form == tags::TTextForm::Encoded ? uint8_t(tag.Encoding()) : 0;
    if (!tags::CanEncode(args[1], encoding)) Fail("the text does not fit the encoding: " + line);
    if (!tag.TextFrames().Set(*property, args[1])) Fail("the engine refused the text: " + line);
  } else if (directive == "url") {
    NeedArguments(args, 2, directive);
    const std::string name = tags::Utf16ToUtf8(args[0]);
    const tags::TWebFrameProperty* property = nullptr;
    for (const tags::TWebFrameProperty& p : tags::WebFrameProperties())
      if (name == p.Name) property = &p;
    if (property == nullptr) Fail("unknown URL property: " + line);
    tag.WebFrames().SetURL(property->Kind, tags::AnsiToWide(ByteText(args[1])));
  } else if (directive == "artist_url") {
    NeedArguments(args, 1, directive);
    CheckAdded(tag.WebFrames().Artist().Add(ByteText(args[0]), -1), directive);
  } else if (directive == "commercial_url") {
    NeedArguments(args, 1, directive);
    CheckAdded(tag.WebFrames().CommercialInfo().Add(ByteText(args[0]), -1), directive);
  } else if (directive == "user_text") {
    NeedArguments(args, 2, directive);
    CheckAdded(tag.UserText().Add(args[0], args[1], -1), directive);
  } else if (directive == "user_url") {
    NeedArguments(args, 2, directive);
    CheckAdded(tag.UserURL().Add(args[0], ByteText(args[1]), -1), directive);
  } else if (directive == "comment" || directive == "lyrics") {
    NeedArguments(args, 3, directive);
    const tags::TID3v2LanguageText& list =
        directive == "comment" ? static_cast<const tags::TID3v2LanguageText&>(tag.Comments())
                               : tag.UnsychronizedLyrics();
    CheckAdded(list.Add(ByteText(args[0]), args[1], args[2], -1), directive);
  } else if (directive == "picture") {
    NeedArguments(args, 4, directive);
    const tags::TMemoryStream data(ParseHex(tags::Utf16ToUtf8(args[3])));
    const uint32_t type = ParseCount(args[1]);
    if (type > 255) Fail("picture type out of range: " + line);
    CheckAdded(tag.Pictures().Add(ByteText(args[0]), tags::TID3v2PictureType(type), args[2], data, -1),
               directive);
  } else if (directive == "popularimeter") {
    NeedArguments(args, 3, directive);
    const uint32_t rating = ParseCount(args[1]);
    if (rating > 255) Fail("rating out of range: " + line);
    CheckAdded(tag.Popularimeter().Add(ByteText(args[0]), uint8_t(rating), ParseCount(args[2]), -1),
               directive);
  } else if (directive == "terms") {
    NeedArguments(args, 2, directive);
    tag.TermsOfUse().Add(ByteText(args[0]), args[1]);
  } else if (directive == "play_counter") {
    NeedArguments(args, 1, directive);
    tag.SetPlayCounter(ParseCount(args[0]));
  }
  return true;
}

void ApplyLine(tags::TID3v2Tag& tag, const std::string& line) {
  std::istringstream in(line);
  std::string directive;
  if (!(in >> directive) || directive[0] == '#') return;
  if (ApplyTypedLine(tag, directive, line)) return;
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);

  if (directive == "version") {
    if (words.size() != 1) Fail("version takes one value");
    const int major = std::stoi(words[0]);
    if (major < 2 || major > 4) Fail("version must be 2, 3 or 4");
    tag.SetVersionToSave(tags::TID3v2VersionToSave(major - 2));
  } else if (directive == "header") {
    tags::TID3v2HeaderFlags flags = tag.Header().Flags();
    for (const auto& w : words) {
      const auto flag = interop::FlagByName(interop::kHeaderFlagNames, w);
      if (!flag) Fail("unknown header flag " + w);
      flags.Include(*flag);
    }
    tag.Header().SetFlags(flags);
    if (!(tag.Header().Flags() == flags)) Fail("the engine refused header flags: " + line);
  } else if (directive == "extended") {
    tags::TID3v2ExtendedHeaderFlags flags = tag.ExtendedHeader().Flags();
    for (const auto& w : words) {
      const auto flag = interop::FlagByName(interop::kExtendedFlagNames, w);
      if (!flag) Fail("unknown extended-header flag " + w);
      flags.Include(*flag);
    }
    tag.ExtendedHeader().SetFlags(flags);
    if (!(tag.ExtendedHeader().Flags() == flags)) Fail("the engine refused extended-header flags: " + line);
  } else if (directive == "restrictions") {
    if (words.size() != 1) Fail("restrictions takes one byte");
    tag.ExtendedHeader().TagRestrictions().FromByte(ParseByte(words[0]));
  } else if (directive == "frame") {
    if (words.size() < 2) Fail("frame needs an ID and a payload");
    const int major = tag.VersionToSave() + 2;
    const tags::TID3v2FrameID id = tags::FrameNameToID(tags::MakeFrameName(words[0]), major);
    // New frames can only be of a known kind: the engine writes unknown ones solely
    // when they came from a tag of the same version.
    if (id == tags::fiUnknown) Fail("not a known frame in 2." + std::to_string(major) + ": " + words[0]);
    tags::TID3v2Frame& frame = tag.Frames().Add();
    frame.SetFrameID(id);
    frame.SetData(ParseHex(words[1]));
    tags::TID3v2FrameHeaderFlags flags;
    bool group = false;
    uint8_t groupID = 0;
    for (size_t i = 2; i < words.size(); ++i) {
      if (words[i].rfind("group=", 0) == 0) {
        group = true;
        groupID = ParseByte(words[i].substr(6));
        continue;
      }
      const auto flag = interop::FlagByName(interop::kFrameFlagNames, words[i]);
      if (!flag) Fail("unknown frame flag " + words[i]);
      flags.Include(*flag);
    }
    if (!flags.Empty()) {
      frame.SetFlags(flags);
      // The engine adds the data-length indicator to 2.4 compressed frames by itself.
      if (!(frame.Flags().Without(tags::fhfDataLengthIndicator) == flags.Without(tags::fhfDataLengthIndicator)))
        Fail("the engine refused frame flags: " + line);
    }
    if (group) frame.SetGroupID(groupID);
  } else {
    Fail("unknown directive " + directive);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FILE < case\n", argv[0]);
    return 2;
  }
  std::vector<std::string> messages;
  tags::SetTagErrorHandler(
      [&](const std::string&, const std::string& text) { messages.push_back(text); });
  try {
    tags::TID3v2Tag tag;
    tag.SetName("ID3v2Tag");
    tag.SetFileName(argv[1]);
    tag.Open();
    if (!tag.Active()) Fail(std::string("no such file: ") + argv[1]);
    for (std::string line; std::getline(std::cin, line);) ApplyLine(tag, line);
    tag.Commit();
  } catch (const TFailure& failure) {
    std::fprintf(stderr, "interop_write: %s\n", failure.Text.c_str());
    return 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "interop_write: %s\n", error.what());
    return 1;
  }
  for (const auto& m : messages) std::fprintf(stderr, "interop_write: engine message: %s\n", m.c_str());
  return messages.empty() ? 0 : 1;
}
