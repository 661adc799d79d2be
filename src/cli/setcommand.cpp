#include "setcommand.h"

#include <cstdio>
#include <exception>

#include "id3v2tag.h"
#include "jsonwriter.h"
#include "textcodec.h"

namespace cli {

using namespace tags;

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
  if (request.Fields.empty()) return "set needs at least one --field NAME=VALUE";
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
        error = Apply(tag, request, warnings);
        if (error.empty()) tag.Commit();
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
