// Prints what the engine reads from a file's ID3v2 tag as one JSON object: the header,
// the extended header, and every frame in file order with its name, kind, flags, the
// header fields that go with them and the payload in hex, as the engine holds it after
// Open (resynchronised and inflated). Text frames also carry their text as the engine
// decodes it, so that the codec is compared too, not only the bytes.
//
// Usage: interop_dump FILE

#include <cstdio>
#include <string>
#include <vector>

#include "id3v2tag.h"
#include "interop_names.h"
#include "tagerror.h"
#include "textcodec.h"

#include "jsonwriter.h"

namespace {

std::string JsonString(const std::string& utf8) { return cli::JsonQuote(utf8); }

std::string Hex(const tags::TBytes& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const uint8_t b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

template <class Set, class Table>
std::string FlagList(const Set& set, const Table& table) {
  std::string out = "[";
  for (const auto& [flag, name] : table) {
    if (!set.Has(flag)) continue;
    if (out.size() > 1) out += ",";
    out += JsonString(name);
  }
  return out + "]";
}

// Text frames are every T-frame but the user-defined one, whose payload starts with a
// description instead of the text.
bool IsTextFrame(const std::string& name) {
  return !name.empty() && name[0] == 'T' && name != "TXXX" && name != "TXX";
}

std::string FrameJson(const tags::TID3v2Frame& frame) {
  std::string out = "{\"name\":" + JsonString(frame.Name());
  out += ",\"kind\":" + std::to_string(int(frame.FrameID()));
  out += ",\"flags\":" + FlagList(frame.Flags(), interop::kFrameFlagNames);
  out += ",\"group_id\":" + std::to_string(frame.GroupID());
  out += ",\"data_length\":" + std::to_string(frame.DataLength());
  out += ",\"stored_compressed\":" + std::string(frame.StoredCompressed() ? "true" : "false");
  out += ",\"data\":\"" + Hex(frame.Data().Bytes()) + "\"";
  if (IsTextFrame(frame.Name()) && frame.DataSize() > 0) {
    tags::TMemoryStream payload(frame.Data().Bytes());
    payload.Seek(1);
    const std::u16string text = tags::ReadEncodedText(payload, frame.Data().Bytes()[0]);
    out += ",\"text\":" + JsonString(tags::Utf16ToUtf8(text));
  }
  return out + "}";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
    return 2;
  }
  std::vector<std::string> messages;
  tags::SetTagErrorHandler(
      [&](const std::string&, const std::string& text) { messages.push_back(text); });
  tags::TID3v2Tag tag;
  try {
    tag.SetFileName(argv[1]);
    tag.Open();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "interop_dump: %s\n", error.what());
    return 1;
  }
  if (!tag.Active()) {
    std::fprintf(stderr, "interop_dump: no such file: %s\n", argv[1]);
    return 1;
  }

  const tags::TID3v2Header& header = tag.Header();
  const tags::TID3v2ExtendedHeader& extended = tag.ExtendedHeader();
  std::string out = "{\"exists\":" + std::string(header.Exists() ? "true" : "false");
  out += ",\"major\":" + std::to_string(header.MajorVersion());
  out += ",\"revision\":" + std::to_string(header.RevisionNumber());
  out += ",\"header_flags\":" + FlagList(header.Flags(), interop::kHeaderFlagNames);
  out += ",\"tag_size\":" + std::to_string(tag.TagSize());
  out += ",\"padding\":" + std::to_string(tag.Padding());
  out += ",\"extended_flags\":" + FlagList(extended.Flags(), interop::kExtendedFlagNames);
  out += ",\"restrictions\":" + std::to_string(extended.TagRestrictions().ToByte());
  out += ",\"frames\":[";
  for (int i = 0; i < tag.Frames().Count(); ++i) {
    if (i > 0) out += ",";
    out += FrameJson(tag.Frames()[i]);
  }
  out += "],\"messages\":[";
  for (size_t i = 0; i < messages.size(); ++i) {
    if (i > 0) out += ",";
    out += JsonString(messages[i]);
  }
  out += "]}\n";
  std::fputs(out.c_str(), stdout);
  return 0;
}
