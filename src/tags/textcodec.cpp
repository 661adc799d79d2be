#include "textcodec.h"

#include <algorithm>
#include <array>

namespace tags {
namespace {

// Windows-1252 bytes 80-9F. The five bytes the code page leaves undefined map to the C1
// control with the same value, as the system converters do, so every byte round-trips.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

int CharToAnsi(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return c;
  for (size_t i = 0; i < kCp1252High.size(); ++i)
    if (kCp1252High[i] == c) return int(0x80 + i);
  return -1;
}

constexpr char16_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | (cp >> 6));
    out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += char(0xE0 | (cp >> 12));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xF0 | (cp >> 18));
    out += char(0x80 | ((cp >> 12) & 0x3F));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  }
}

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out += char16_t(cp);
  } else {
    cp -= 0x10000;
    out += char16_t(0xD800 + (cp >> 10));
    out += char16_t(0xDC00 + (cp & 0x3FF));
  }
}

// Reads 16-bit units from the position up to the end (or up to a zero unit when
// `terminated`, which is consumed). `littleEndian` picks the byte order.
std::u16string ReadUnits(TMemoryStream& stream, bool littleEndian, bool terminated,
                         bool skipMarks) {
  std::u16string out;
  const uint8_t* p = stream.Data();
  size_t pos = stream.Position();
  const size_t size = stream.Size();
  while (pos + 2 <= size) {
    const char16_t lo = p[pos], hi = p[pos + 1];
    pos += 2;
    // The unit as it reads low byte first; a mark FF FE reads FEFF, FE FF reads FFFE.
    const char16_t asLittle = char16_t(lo | (hi << 8));
    if (terminated && asLittle == 0) break;
    if (skipMarks && asLittle == (littleEndian ? 0xFEFF : 0xFFFE)) continue;
    out += littleEndian ? asLittle : char16_t((lo << 8) | hi);
  }
  // An odd last byte is ignored but consumed, so nothing after it is read as text.
  if (!terminated && pos < size) pos = size;
  stream.Seek(pos);
  return out;
}

}  // namespace

std::string WideToAnsi(std::u16string_view text) {
  if (!text.empty() && text.front() == 0xFEFF) text.remove_prefix(1);
  std::string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    const int b = CharToAnsi(c);
    out += b < 0 ? '?' : char(b);
  }
  return out;
}

std::u16string AnsiToWide(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (char ch : bytes) {
    const uint8_t b = uint8_t(ch);
    out += (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : char16_t(b);
  }
  return out;
}

bool IsAnsiRepresentable(std::u16string_view text) {
  if (!text.empty() && text.front() == 0xFEFF) text.remove_prefix(1);
  for (char16_t c : text)
    if (CharToAnsi(c) < 0) return false;
  return true;
}

std::u16string Utf8ToUtf16(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  const auto* s = reinterpret_cast<const uint8_t*>(bytes.data());
  const size_t n = bytes.size();
  size_t i = 0;
  while (i < n) {
    const uint8_t b = s[i];
    if (b < 0x80) {
      out += char16_t(b);
      ++i;
      continue;
    }
    int extra;
    char32_t cp;
    if (b >= 0xC2 && b <= 0xDF) { extra = 1; cp = b & 0x1F; }
    else if (b >= 0xE0 && b <= 0xEF) { extra = 2; cp = b & 0x0F; }
    else if (b >= 0xF0 && b <= 0xF4) { extra = 3; cp = b & 0x07; }
    else { out += kReplacement; ++i; continue; }
    // The range of the second byte is what rules out overlong forms, surrogates and
    // code points above U+10FFFF, so they end the sequence right after the lead byte.
    const uint8_t low = b == 0xE0 ? 0xA0 : b == 0xF0 ? 0x90 : 0x80;
    const uint8_t high = b == 0xED ? 0x9F : b == 0xF4 ? 0x8F : 0xBF;
    size_t j = i + 1;
    int k = 0;
    for (; k < extra && j < n && s[j] >= (k == 0 ? low : 0x80) && s[j] <= (k == 0 ? high : 0xBF); ++k, ++j)
      cp = (cp << 6) | (s[j] & 0x3F);
    if (k < extra) {
      // One replacement per maximal ill-formed subpart, as Unicode recommends; resume
      // at the first byte that did not belong to it.
      out += kReplacement;
      i = j;
      continue;
    }
    AppendUtf16(out, cp);
    i = j;
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      AppendUtf8(out, 0x10000 + ((char32_t(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, c);
    }
  }
  return out;
}

bool CanEncode(std::u16string_view text, uint8_t encoding) {
  switch (encoding) {
    case ienISO_8859_1:
      return IsAnsiRepresentable(text);
    case ienUTF_16:
    case ienUTF_16BE:
      return true;
    case ienUTF_8:
      // Lone surrogates have no UTF-8 form.
      for (size_t i = 0; i < text.size(); ++i) {
        if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) ++i;
        else if (IsHighSurrogate(text[i]) || IsLowSurrogate(text[i])) return false;
      }
      return true;
    default:
      return text.empty();
  }
}

void WriteEncodedText(TMemoryStream& stream, uint8_t encoding, std::u16string_view text) {
  switch (encoding) {
    case ienISO_8859_1: {
      const std::string bytes = WideToAnsi(text);
      stream.Write(bytes.data(), bytes.size());
      break;
    }
    case ienUTF_16: {
      std::string bytes = "\xFF\xFE";
      for (char16_t c : text) {
        bytes += char(c & 0xFF);
        bytes += char(c >> 8);
      }
      stream.Write(bytes.data(), bytes.size());
      break;
    }
    case ienUTF_16BE: {
      std::string bytes;
      for (char16_t c : text) {
        bytes += char(c >> 8);
        bytes += char(c & 0xFF);
      }
      stream.Write(bytes.data(), bytes.size());
      break;
    }
    case ienUTF_8: {
      const std::string bytes = Utf16ToUtf8(text);
      stream.Write(bytes.data(), bytes.size());
      break;
    }
    default:
      break;
  }
}

void WriteTerminator(TMemoryStream& stream, uint8_t encoding) {
  static constexpr uint8_t kZeros[2] = {0, 0};
  if (encoding == ienISO_8859_1 || encoding == ienUTF_8) stream.Write(kZeros, 1);
  else if (encoding == ienUTF_16 || encoding == ienUTF_16BE) stream.Write(kZeros, 2);
}

std::u16string ReadEncodedText(TMemoryStream& stream, uint8_t encoding) {
  if (stream.AtEnd()) return {};
  std::u16string text;
  const auto rest = [&] {
    std::string_view bytes(reinterpret_cast<const char*>(stream.Data() + stream.Position()),
                           stream.Remaining());
    stream.Seek(stream.Size());
    return bytes;
  };
  switch (encoding) {
    case ienISO_8859_1:
      text = AnsiToWide(rest());
      break;
    case ienUTF_16:
      text = ReadUnits(stream, true, false, false);
      if (!text.empty() && text.front() == 0xFEFF) text.erase(0, 1);
      break;
    case ienUTF_16BE: {
      const size_t start = stream.Position();
      const bool marked = stream.Remaining() >= 2 && stream.Data()[start] == 0xFE &&
                          stream.Data()[start + 1] == 0xFF;
      if (marked) stream.Seek(start + 2);
      text = ReadUnits(stream, false, false, false);
      break;
    }
    case ienUTF_8:
      text = Utf8ToUtf16(rest());
      break;
    default:
      stream.Seek(stream.Size());
      return {};
  }
  while (!text.empty() && text.back() <= 0x20) text.pop_back();
  return text;
}

std::u16string ReadTerminatedText(TMemoryStream& stream, uint8_t encoding) {
  switch (encoding) {
    case ienISO_8859_1:
    case ienUTF_8: {
      if (stream.AtEnd()) return {};
      const uint8_t* p = stream.Data();
      const size_t start = stream.Position();
      size_t pos = start;
      while (pos < stream.Size() && p[pos] != 0) ++pos;
      std::string_view bytes(reinterpret_cast<const char*>(p + start), pos - start);
      stream.Seek(pos < stream.Size() ? pos + 1 : pos);
      return encoding == ienISO_8859_1 ? AnsiToWide(bytes) : Utf8ToUtf16(bytes);
    }
    case ienUTF_16:
      return ReadUnits(stream, true, true, true);
    case ienUTF_16BE:
      return ReadUnits(stream, false, true, true);
    default:
      return {};
  }
}

}  // namespace tags
