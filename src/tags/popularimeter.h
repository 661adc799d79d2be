#pragma once
// Popularimeter (POPM): an e-mail address naming the rater, a rating byte and a play
// counter; any number per tag.

#include <string>

#include "id3persistent.h"

namespace tags {

class TID3v2Popularimeter : public TID3v2MultiFrame {
 public:
  explicit TID3v2Popularimeter(TID3v2Tag* owner) : TID3v2MultiFrame(owner, fiPopularimeter) {}

  // An empty e-mail address deletes frame number `index`. Returns the new item count, or -1.
  int Add(std::string email, uint8_t rating, uint32_t counter, int index) const;
  bool Find(std::string& email, uint8_t& rating, uint32_t& counter, int index) const;

  std::string EMailAddress() const;
  void SetEMailAddress(std::string email) const;
  uint8_t Rating() const;
  void SetRating(uint8_t rating) const;
  uint32_t Counter() const;
  void SetCounter(uint32_t counter) const;

 private:
  struct TFields {
    std::string EMail;
    uint8_t Rating = 0;
    uint32_t Counter = 0;
  };
  TFields Current() const;
  void Rewrite(const TFields& fields) const;
};

// Terms of use (USER): one frame at most is handled.
class TID3v2TermsOfUse : public TID3Persistent {
 public:
  using TID3Persistent::TID3Persistent;

  // Empty text deletes the first USER frame; an empty language is written as "XXX".
  void Add(std::string language, std::u16string text) const;
  // False while the tag is inactive or holds no USER frame.
  bool Find(std::string& language, std::u16string& text) const;

  std::string Language() const;
  void SetLanguage(std::string language) const;
  std::u16string Text() const;
  void SetText(std::u16string text) const;
};

}  // namespace tags
