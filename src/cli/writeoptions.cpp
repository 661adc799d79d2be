#include "writeoptions.h"

namespace cli {

using namespace tags;

std::optional<TID3v2VersionToSave> ParseVersion(std::string_view text) {
  if (text == "2.2") return ive2_2;
  if (text == "2.3") return ive2_3;
  if (text == "2.4") return ive2_4;
  return std::nullopt;
}

std::optional<TID3v2Encoding> ParseEncoding(std::string_view text) {
  if (text == "latin1") return ienISO_8859_1;
  if (text == "utf16") return ienUTF_16;
  if (text == "utf16be") return ienUTF_16BE;
  if (text == "utf8") return ienUTF_8;
  return std::nullopt;
}

const char* VersionName(TID3v2VersionToSave version) {
  switch (version) {
    case ive2_2: return "2.2";
    case ive2_3: return "2.3";
    case ive2_4: return "2.4";
  }
  return "";
}

const char* EncodingName(TID3v2Encoding encoding) {
  switch (encoding) {
    case ienISO_8859_1: return "latin1";
    case ienUTF_16: return "utf16";
    case ienUTF_16BE: return "utf16be";
    case ienUTF_8: return "utf8";
  }
  return "";
}

TID3v2VersionToSave DefaultVersion(int majorVersion) {
  if (majorVersion == 2) return ive2_2;
  if (majorVersion == 4) return ive2_4;
  return ive2_3;
}

TID3v2Encoding DefaultEncoding(TID3v2VersionToSave version) {
  return version == ive2_4 ? ienUTF_8 : ienUTF_16;
}

bool VersionAllows(TID3v2VersionToSave version, TID3v2Encoding encoding) {
  return version == ive2_4 || encoding == ienISO_8859_1 || encoding == ienUTF_16;
}

}  // namespace cli
