#pragma once
// The ISO 639-2 language codes as the language choosers show them: a list sorted by
// "Name [code]", and conversions between list positions, codes and names.

#include <string>
#include <string_view>
#include <vector>

namespace tags {

struct TLangCode {
  std::string Code;     // three lower-case letters
  std::u16string Name;  // English name; alternatives separated by "; "
};

class TISO_639_2 {
 public:
  TISO_639_2();

  struct TEntry {
    std::u16string Text;  // "English [eng]"
    TLangCode Lang;
  };
  const std::vector<TEntry>& LanguageList() const { return LanguageList_; }
  // The position of eng.
  int DefaultIndex() const { return DefaultIndex_; }

  // Case-insensitive; -1 when the code is not in the list.
  int CodeToIndex(std::string_view code) const;
  // "XXX" outside the list.
  std::string IndexToCode(int index) const;
  // "Unknown" outside the list.
  std::u16string IndexToName(int index) const;
  // Exact match; the first position in list order, -1 when none.
  int NameToIndex(std::u16string_view name) const;

 private:
  std::vector<TEntry> LanguageList_;
  int DefaultIndex_ = -1;
};

// The table as the standard's code list has it, in its order (504 rows).
struct TLanguageRow {
  const char* Code;
  const char16_t* Name;
};
extern const TLanguageRow kLanguageTable[504];

}  // namespace tags
