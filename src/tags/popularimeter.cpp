#include "popularimeter.h"

#include "id3v2tag.h"
#include "textcodec.h"
#include "webframes.h"

namespace tags {

int TID3v2Popularimeter::Add(std::string email, uint8_t rating, uint32_t counter, int index) const {
  TID3v2Frame* frame = PrepareAdd(email.empty(), index);
  if (frame == nullptr) return -1;
  TMemoryStream payload;
  payload.Write(email.data(), email.size());
  payload.WriteByte(0);
  payload.WriteByte(rating);
  WriteBigEndian(payload, counter, 4);
  return FinishAdd(*frame, std::move(payload.Bytes()));
}

bool TID3v2Popularimeter::Find(std::string& email, uint8_t& rating, uint32_t& counter, int index) const {
  if (const TID3v2Frame* frame = NthFrame(Kind(), index)) {
    const TBytes& p = frame->Data().Bytes();
    email = BytesUpToZero(p, 0);
    size_t pos = email.size() + 1;
    rating = pos < p.size() ? p[pos] : 0;
    ++pos;
    // A counter may be longer than 4 bytes; the first 4 are what a 32-bit counter holds.
    counter = pos + 4 <= p.size() ? ReadBigEndian(std::span<const uint8_t>(p.data() + pos, 4)) : 0;
  }
  return ItemCount() > 0;
}

TID3v2Popularimeter::TFields TID3v2Popularimeter::Current() const {
  TFields f;
  if (ItemIndex() >= 0) Find(f.EMail, f.Rating, f.Counter, ItemIndex());
  return f;
}

void TID3v2Popularimeter::Rewrite(const TFields& f) const {
  if (ItemIndex() >= 0) Add(f.EMail, f.Rating, f.Counter, ItemIndex());
}

std::string TID3v2Popularimeter::EMailAddress() const { return Current().EMail; }
uint8_t TID3v2Popularimeter::Rating() const { return Current().Rating; }
uint32_t TID3v2Popularimeter::Counter() const { return Current().Counter; }

void TID3v2Popularimeter::SetEMailAddress(std::string email) const {
  TFields f = Current();
  f.EMail = std::move(email);
  Rewrite(f);
}

void TID3v2Popularimeter::SetRating(uint8_t rating) const {
  TFields f = Current();
  f.Rating = rating;
  Rewrite(f);
}

void TID3v2Popularimeter::SetCounter(uint32_t counter) const {
  TFields f = Current();
  f.Counter = counter;
  Rewrite(f);
}

void TID3v2TermsOfUse::Add(std::string language, std::u16string text) const {
  if (!IsActive()) return;
  if (text.empty()) return SetFirstFrame(fiTermsOfUse, {});
  const TID3v2Encoding encoding = TagEncoding();
  TMemoryStream payload;
  payload.WriteByte(encoding);
  if (language.empty()) language = "XXX";
  payload.Write(language.data(), language.size());
  WriteEncodedText(payload, encoding, text);
  SetFirstFrame(fiTermsOfUse, std::move(payload.Bytes()));
}

bool TID3v2TermsOfUse::Find(std::string& language, std::u16string& text) const {
  const TID3v2Frame* frame = FirstFrame(fiTermsOfUse);
  if (frame == nullptr) return false;
  TMemoryStream payload(frame->Data().Bytes());
  uint8_t encoding = 0;
  payload.ReadByte(encoding);
  char code[3];
  language.assign(code, payload.Read(code, 3));
  text = ReadEncodedText(payload, encoding);
  return true;
}

std::string TID3v2TermsOfUse::Language() const {
  std::string language;
  std::u16string text;
  return Find(language, text) ? language : std::string();
}

std::u16string TID3v2TermsOfUse::Text() const {
  std::string language;
  std::u16string text;
  return Find(language, text) ? text : std::u16string();
}

void TID3v2TermsOfUse::SetLanguage(std::string language) const { Add(std::move(language), Text()); }

void TID3v2TermsOfUse::SetText(std::u16string text) const { Add(Language(), std::move(text)); }

}  // namespace tags
