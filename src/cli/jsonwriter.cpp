#include "jsonwriter.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "textcodec.h"

namespace cli {

void TJsonWriter::BeforeValue() {
  if (AfterKey_) {
    AfterKey_ = false;
    return;
  }
  if (!HasItems_.empty()) {
    if (HasItems_.back()) Out_ += ',';
    HasItems_.back() = true;
  }
}

TJsonWriter& TJsonWriter::BeginObject() {
  BeforeValue();
  Out_ += '{';
  HasItems_.push_back(false);
  return *this;
}

TJsonWriter& TJsonWriter::EndObject() {
  Out_ += '}';
  HasItems_.pop_back();
  return *this;
}

TJsonWriter& TJsonWriter::BeginArray() {
  BeforeValue();
  Out_ += '[';
  HasItems_.push_back(false);
  return *this;
}

TJsonWriter& TJsonWriter::EndArray() {
  Out_ += ']';
  HasItems_.pop_back();
  return *this;
}

TJsonWriter& TJsonWriter::Key(std::string_view key) {
  BeforeValue();
  AppendString(key);
  Out_ += ':';
  AfterKey_ = true;
  return *this;
}

std::string JsonQuote(std::string_view utf8) {
  // A round trip through UTF-16 replaces whatever is not well-formed UTF-8.
  const std::string clean = tags::Utf16ToUtf8(tags::Utf8ToUtf16(utf8));
  std::string out = "\"";
  for (char ch : clean) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += ch;
        }
    }
  }
  return out + '"';
}

void TJsonWriter::AppendString(std::string_view utf8) { Out_ += JsonQuote(utf8); }

TJsonWriter& TJsonWriter::Value(std::string_view utf8) {
  BeforeValue();
  AppendString(utf8);
  return *this;
}

TJsonWriter& TJsonWriter::Value(std::u16string_view text) {
  BeforeValue();
  AppendString(tags::Utf16ToUtf8(text));
  return *this;
}

TJsonWriter& TJsonWriter::Value(bool value) {
  BeforeValue();
  Out_ += value ? "true" : "false";
  return *this;
}

TJsonWriter& TJsonWriter::Value(int64_t value) {
  BeforeValue();
  Out_ += std::to_string(value);
  return *this;
}

TJsonWriter& TJsonWriter::Value(uint64_t value) {
  BeforeValue();
  Out_ += std::to_string(value);
  return *this;
}

TJsonWriter& TJsonWriter::Value(double value) {
  BeforeValue();
  if (!std::isfinite(value)) {
    Out_ += "null";
    return *this;
  }
  // The shortest form that reads back as the same number.
  char buf[32];
  for (int precision = 15; precision <= 17; ++precision) {
    std::snprintf(buf, sizeof buf, "%.*g", precision, value);
    if (std::strtod(buf, nullptr) == value) break;
  }
  Out_ += buf;
  return *this;
}

TJsonWriter& TJsonWriter::Null() {
  BeforeValue();
  Out_ += "null";
  return *this;
}

}  // namespace cli
