#pragma once
// User-defined text (TXXX) and URL (WXXX) frames: a description and a value each, any
// number of them per tag.

#include <string>

#include "id3persistent.h"

namespace tags {

class TID3v2UserText : public TID3v2MultiFrame {
 public:
  explicit TID3v2UserText(TID3v2Tag* owner) : TID3v2MultiFrame(owner, fiUserText) {}

  // Empty text deletes frame number `index`. Returns the new item count, or -1.
  int Add(std::u16string description, std::u16string text, int index) const;
  bool Find(std::u16string& description, std::u16string& text, int index) const;

  std::u16string Description() const;
  void SetDescription(std::u16string description) const;
  std::u16string Text() const;
  void SetText(std::u16string text) const;
};

class TID3v2UserURL : public TID3v2MultiFrame {
 public:
  explicit TID3v2UserURL(TID3v2Tag* owner) : TID3v2MultiFrame(owner, fiWWWUser) {}

  // An empty URL deletes frame number `index`. Returns the new item count, or -1.
  int Add(std::u16string description, std::string url, int index) const;
  bool Find(std::u16string& description, std::string& url, int index) const;

  std::u16string Description() const;
  void SetDescription(std::u16string description) const;
  std::string URL() const;
  void SetURL(std::string url) const;
};

}  // namespace tags
