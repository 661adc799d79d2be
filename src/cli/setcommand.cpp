#include "setcommand.h"

#include <algorithm>
#include <cstdio>
#include <exception>

#include "id3v1tag.h"
#include "id3v2tag.h"
#include "jsonwriter.h"
#include "textcodec.h"

namespace cli {

using namespace tags;

namespace {

constexpr const char* kV1FieldNames[] = {"Title", "Artist", "Album", "Year", "Comment", "Track", "Genre"};

bool IsV1FieldName(const std::string& name) {
  for (const char* n : kV1FieldNames)
    if (name == n) return true;
  return false;
}

}  // namespace

std::string ParseSetArguments(const std::vector<std::string>& args, TSetRequest& request) {
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const auto next = [&](std::string& value) {
      if (i + 1 >= args.size()) return false;
      value = args[++i];
      return true;
    };
    std::string value;
    if (optionsEnded || a.empty() || a[0] != '-' || a == "-") {
      request.Files.push_back(a);
    } else if (a == "--") {
      optionsEnded = true;
    } else if (a == "--field") {
      if (!next(value)) return "--field needs NAME=VALUE";
      const size_t eq = value.find('=');
      if (eq == std::string::npos) return "--field needs NAME=VALUE, got " + value;
      TFieldAssignment field{value.substr(0, eq), value.substr(eq + 1)};
      if (FindTextFrameProperty(field.Name) == nullptr) return "unknown field " + field.Name;
      request.Fields.push_back(std::move(field));
    } else if (a == "--v1") {
      if (!next(value)) return "--v1 needs NAME=VALUE";
      const size_t eq = value.find('=');
      if (eq == std::string::npos) return "--v1 needs NAME=VALUE, got " + value;
      TFieldAssignment field{value.substr(0, eq), value.substr(eq + 1)};
      if (!IsV1FieldName(field.Name)) return "unknown ID3v1 field " + field.Name;
      request.V1Fields.push_back(std::move(field));
    } else if (a == "--remove") {
      if (!next(value)) return "--remove needs v1, v2 or lyrics3";
      if (value == "v1") request.RemoveV1 = true;
      else if (value == "v2") request.RemoveV2 = true;
      else if (value == "lyrics3") request.RemoveLyrics3 = true;
      else return "--remove needs v1, v2 or lyrics3, got " + value;
    } else if (a == "--version") {
      if (!next(value) || !(request.Options.Version = ParseVersion(value)))
        return "--version needs 2.2, 2.3 or 2.4";
    } else if (a == "--encoding") {
      if (!next(value) || !(request.Options.Encoding = ParseEncoding(value)))
        return "--encoding needs latin1, utf16, utf16be or utf8";
    } else {
      return "unknown option " + a;
    }
  }
  if (request.Files.empty()) return "set needs at least one FILE";
  if (request.Fields.empty() && request.V1Fields.empty() && !request.RemoveV1 && !request.RemoveV2 &&
      !request.RemoveLyrics3)
    return "set needs at least one --field, --v1 or --remove";
  if (request.RemoveV2 && !request.Fields.empty()) return "--remove v2 and --field contradict each other";
  if (request.RemoveV1 && !request.V1Fields.empty()) return "--remove v1 and --v1 contradict each other";
  if (request.Options.Version && request.Options.Encoding &&
      !VersionAllows(*request.Options.Version, *request.Options.Encoding))
    return std::string("ID3v2 ") + VersionName(*request.Options.Version) + " cannot hold " +
           EncodingName(*request.Options.Encoding) + " text";
  return {};
}

namespace {

// Throws what the file cannot take, before anything is changed.
std::string Apply(TID3v2Tag& tag, const TSetRequest& request, std::vector<std::string>& warnings) {
  for (const TFieldAssignment& field : request.Fields) {
    const TTextFrameProperty& property = *FindTextFrameProperty(field.Name);
    const std::u16string value = Utf8ToUtf16(field.Value);
    // Only encoded properties follow the tag's encoding; every other form is byte text.
    const uint8_t encoding = property.Form == TTextForm::Encoded ? uint8_t(tag.Encoding()) : uint8_t(ienISO_8859_1);
    if (!CanEncode(value, encoding))
      return field.Name + ": the text has characters that " +
             EncodingName(TID3v2Encoding(encoding)) + " cannot hold";
    const size_t before = warnings.size();
    if (!tag.TextFrames().Set(property, value))
      return field.Name + ": " + (warnings.size() > before ? warnings.back() : "the value was refused");
  }
  return {};
}

// The ID3v1 fields, checked and stored in memory. ID3v1 is single-byte text of fixed
// widths: a longer text is cut by the format (and reported); a character the code page
// cannot hold is an error.
std::string ApplyV1(TID3v1Tag& v1, const TSetRequest& request, std::vector<std::string>& warnings) {
  for (const TFieldAssignment& field : request.V1Fields) {
    const std::u16string value = Utf8ToUtf16(field.Value);
    if (field.Name == "Track" || field.Name == "Genre") {
      int number = -1;
      if (!value.empty() && value.size() <= 3 && std::all_of(value.begin(), value.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; }))
        number = std::stoi(field.Value);
      if (field.Name == "Track") {
        if (value.empty()) number = 0;
        if (number < 0 || number > 255) return "Track: ID3v1 holds a track number from 0 to 255, not " + field.Value;
        v1.SetTrack(uint8_t(number));
      } else if (number >= 0) {
        if (number > 255) return "Genre: ID3v1 holds a genre number from 0 to 255, not " + field.Value;
        v1.SetGenre(uint8_t(number));
      } else if (value.empty()) {
        v1.SetGenre(255);
      } else {
        const uint8_t before = v1.Genre();
        v1.SetGenre(255);
        v1.SetGenreAsString(value);
        if (v1.Genre() == 255) {
          v1.SetGenre(before);
          return "Genre: \"" + field.Value + "\" is not an ID3v1 genre name";
        }
      }
      continue;
    }
    if (!IsAnsiRepresentable(value)) return field.Name + ": the text has characters that ID3v1 cannot hold";
    const std::string bytes = WideToAnsi(value);
    const size_t width = field.Name == "Year" ? 4 : 30;
    if (bytes.size() > width)
      warnings.push_back(field.Name + ": ID3v1 keeps the first " + std::to_string(width) + " bytes");
    if (field.Name == "Title") v1.SetTitle(bytes);
    else if (field.Name == "Artist") v1.SetArtist(bytes);
    else if (field.Name == "Album") v1.SetAlbum(bytes);
    else if (field.Name == "Year") v1.SetYear(bytes);
    else if (field.Name == "Comment") v1.SetComment(bytes);
  }
  return {};
}

}  // namespace

std::string SetFile(const std::string& path, const TSetRequest& request, bool& ok) {
  std::vector<std::string> warnings;
  const TTagErrorHandler previous = SetTagErrorHandler(
      [&](const std::string&, const std::string& text) { warnings.push_back(text); });
  std::string error;
  TID3v2Tag tag;
  TID3v2VersionToSave version = ive2_3;
  TID3v2Encoding encoding = ienUTF_16;
  try {
    const TFileStatus status = SystemFileSystem().Status(path);
    if (!status.Exists) error = "File not found";
    else if (!status.IsRegular) error = "Not a regular file";
    else {
      tag.SetFileName(path);
      tag.Open();
      version = request.Options.Version.value_or(DefaultVersion(tag.Header().Exists() ? tag.Header().MajorVersion() : 0));
      encoding = request.Options.Encoding.value_or(DefaultEncoding(version));
      if (!VersionAllows(version, encoding)) {
        error = std::string("ID3v2 ") + VersionName(version) + " cannot hold " + EncodingName(encoding) + " text";
      } else {
        // The version first: it resets encodings it cannot carry.
        tag.SetVersionToSave(version);
        tag.SetEncoding(encoding);
        TID3v1Tag v1;
        v1.SetName("ID3v1Tag");
        v1.SetFileName(path);
        v1.Open();
        // Everything is checked in memory before the file is touched, so a refused
        // value leaves it as it was.
        error = Apply(tag, request, warnings);
        if (error.empty()) error = ApplyV1(v1, request, warnings);
        if (error.empty()) {
          // The end of the file first, then the tag at its start, as the editor saves.
          if (request.RemoveV1) {
            v1.SetEditLyrics(request.RemoveLyrics3);
            v1.Erase();
          } else if (request.RemoveLyrics3) {
            v1.SetEditLyrics(true);
            if (v1.Exists() || !request.V1Fields.empty()) {
              v1.Lyrics().Fields().Clear();
              v1.Commit();
            } else {
              v1.Erase();
            }
          } else if (!request.V1Fields.empty()) {
            v1.Commit();
          }
          if (request.RemoveV2) tag.Erase();
          else if (!request.Fields.empty()) tag.Commit();
        }
      }
    }
  } catch (const std::exception& e) {
    error = e.what();
  }
  SetTagErrorHandler(previous);

  ok = error.empty();
  TJsonWriter json;
  json.BeginObject();
  json.Key("file").Value(path);
  if (ok) {
    json.Key("ok").Value(true);
    json.Key("version").Value(VersionName(version));
    json.Key("encoding").Value(EncodingName(encoding));
    json.Key("fields").BeginArray();
    for (const TFieldAssignment& field : request.Fields) json.Value(field.Name);
    json.EndArray();
    json.Key("v1").BeginArray();
    for (const TFieldAssignment& field : request.V1Fields) json.Value(field.Name);
    json.EndArray();
    json.Key("removed").BeginArray();
    if (request.RemoveV1) json.Value("v1");
    if (request.RemoveV2) json.Value("v2");
    if (request.RemoveLyrics3) json.Value("lyrics3");
    json.EndArray();
  } else {
    json.Key("error").Value(error);
  }
  if (!warnings.empty()) {
    json.Key("warnings").BeginArray();
    for (const std::string& w : warnings) json.Value(w);
    json.EndArray();
  }
  json.EndObject();
  return json.Text();
}

int RunSet(const TSetRequest& request) {
  bool allOk = true;
  for (const std::string& file : request.Files) {
    bool ok = false;
    const std::string line = SetFile(file, request, ok);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    allOk = allOk && ok;
  }
  return allOk ? 0 : 1;
}

}  // namespace cli
