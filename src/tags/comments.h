#pragma once
// Comment (COMM) and unsynchronised lyrics (USLT) frames share one layout: encoding,
// 3-byte language, terminated description, content.

#include <string>

#include "id3persistent.h"

namespace tags {

class TID3v2LanguageText : public TID3v2MultiFrame {
 public:
  using TID3v2MultiFrame::TID3v2MultiFrame;

  // An empty language is written as "XXX"; empty content deletes frame number `index`.
  // Returns the new item count, or -1.
  int Add(std::string language, std::u16string description, std::u16string content, int index) const;
  bool Find(std::string& language, std::u16string& description, std::u16string& content, int index) const;

  std::string Language() const;
  void SetLanguage(std::string language) const;
  std::u16string Description() const;
  void SetDescription(std::u16string description) const;
  std::u16string Content() const;
  void SetContent(std::u16string content) const;

 private:
  struct TFields {
    std::string Language;
    std::u16string Description, Content;
  };
  TFields Current() const;
  void Rewrite(const TFields& fields) const;
};

class TID3v2Comments : public TID3v2LanguageText {
 public:
  explicit TID3v2Comments(TID3v2Tag* owner) : TID3v2LanguageText(owner, fiComments) {}
};

class TID3v2UnsychronizedLyrics : public TID3v2LanguageText {
 public:
  explicit TID3v2UnsychronizedLyrics(TID3v2Tag* owner)
      : TID3v2LanguageText(owner, fiUnsychronizedLyric) {}
};

}  // namespace tags
