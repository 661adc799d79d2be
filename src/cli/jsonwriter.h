#pragma once
// Builds one JSON value as compact text, in the order keys are written (scripts read
// "file" first). Every text is emitted as valid UTF-8, whatever bytes it came from.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

// `utf8` as a quoted JSON string; malformed UTF-8 becomes U+FFFD.
std::string JsonQuote(std::string_view utf8);

class TJsonWriter {
 public:
  TJsonWriter& BeginObject();
  TJsonWriter& EndObject();
  TJsonWriter& BeginArray();
  TJsonWriter& EndArray();
  TJsonWriter& Key(std::string_view key);

  // UTF-8 text; malformed sequences become U+FFFD.
  TJsonWriter& Value(std::string_view utf8);
  TJsonWriter& Value(const char* utf8) { return Value(std::string_view(utf8)); }
  // UTF-16 text; surrogate pairs are joined, a lone surrogate becomes U+FFFD.
  TJsonWriter& Value(std::u16string_view text);
  TJsonWriter& Value(bool value);
  TJsonWriter& Value(int64_t value);
  TJsonWriter& Value(uint64_t value);
  TJsonWriter& Value(int value) { return Value(int64_t(value)); }
  TJsonWriter& Value(unsigned value) { return Value(uint64_t(value)); }
  TJsonWriter& Value(double value);
  TJsonWriter& Null();

  const std::string& Text() const { return Out_; }

 private:
  void BeforeValue();
  void AppendString(std::string_view utf8);

  std::string Out_;
  // One entry per open container: whether a value has been written in it yet.
  std::vector<bool> HasItems_;
  bool AfterKey_ = false;
};

}  // namespace cli
