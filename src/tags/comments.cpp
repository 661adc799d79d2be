#include "comments.h"

#include "id3v2tag.h"
#include "textcodec.h"

namespace tags {

int TID3v2LanguageText::Add(std::string language, std::u16string description, std::u16string content,
                            int index) const {
  TID3v2Frame* frame = PrepareAdd(content.empty(), index);
  if (frame == nullptr) return -1;
  const TID3v2Encoding encoding = TagEncoding();
  TMemoryStream payload;
  payload.WriteByte(encoding);
  // Written as given: the choosers pass three-letter codes.
  if (language.empty()) language = "XXX";
  payload.Write(language.data(), language.size());
  if (!description.empty()) WriteEncodedText(payload, encoding, description);
  WriteTerminator(payload, encoding);
  WriteEncodedText(payload, encoding, content);
  return FinishAdd(*frame, std::move(payload.Bytes()));
}

bool TID3v2LanguageText::Find(std::string& language, std::u16string& description, std::u16string& content,
                              int index) const {
  if (const TID3v2Frame* frame = NthFrame(Kind(), index)) {
    TMemoryStream payload(frame->Data().Bytes());
    uint8_t encoding = 0;
    payload.ReadByte(encoding);
    char code[3];
    language.assign(code, payload.Read(code, 3));
    description = ReadTerminatedText(payload, encoding);
    content = ReadEncodedText(payload, encoding);
  }
  return ItemCount() > 0;
}

TID3v2LanguageText::TFields TID3v2LanguageText::Current() const {
  TFields f;
  if (ItemIndex() >= 0) Find(f.Language, f.Description, f.Content, ItemIndex());
  return f;
}

void TID3v2LanguageText::Rewrite(const TFields& f) const {
  if (ItemIndex() >= 0) Add(f.Language, f.Description, f.Content, ItemIndex());
}

std::string TID3v2LanguageText::Language() const { return Current().Language; }
std::u16string TID3v2LanguageText::Description() const { return Current().Description; }
std::u16string TID3v2LanguageText::Content() const { return Current().Content; }

void TID3v2LanguageText::SetLanguage(std::string language) const {
  TFields f = Current();
  f.Language = std::move(language);
  Rewrite(f);
}

void TID3v2LanguageText::SetDescription(std::u16string description) const {
  TFields f = Current();
  f.Description = std::move(description);
  Rewrite(f);
}

void TID3v2LanguageText::SetContent(std::u16string content) const {
  TFields f = Current();
  f.Content = std::move(content);
  Rewrite(f);
}

}  // namespace tags
