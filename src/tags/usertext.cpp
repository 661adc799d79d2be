#include "usertext.h"

#include "id3v2tag.h"
#include "textcodec.h"
#include "webframes.h"

namespace tags {
namespace {

// Encoding byte, the description (only when there is one) and its terminator.
TMemoryStream DescribedPayload(TID3v2Encoding encoding, std::u16string_view description) {
  TMemoryStream payload;
  payload.WriteByte(encoding);
  if (!description.empty()) WriteEncodedText(payload, encoding, description);
  WriteTerminator(payload, encoding);
  return payload;
}

}  // namespace

int TID3v2UserText::Add(std::u16string description, std::u16string text, int index) const {
  TID3v2Frame* frame = PrepareAdd(text.empty(), index);
  if (frame == nullptr) return -1;
  TMemoryStream payload = DescribedPayload(TagEncoding(), description);
  WriteEncodedText(payload, TagEncoding(), text);
  return FinishAdd(*frame, std::move(payload.Bytes()));
}

bool TID3v2UserText::Find(std::u16string& description, std::u16string& text, int index) const {
  if (const TID3v2Frame* frame = NthFrame(Kind(), index)) {
    TMemoryStream payload(frame->Data().Bytes());
    uint8_t encoding = 0;
    payload.ReadByte(encoding);
    description = ReadTerminatedText(payload, encoding);
    text = ReadEncodedText(payload, encoding);
  }
  return ItemCount() > 0;
}

std::u16string TID3v2UserText::Description() const {
  std::u16string description, text;
  if (ItemIndex() >= 0) Find(description, text, ItemIndex());
  return description;
}

void TID3v2UserText::SetDescription(std::u16string description) const {
  if (ItemIndex() < 0) return;
  std::u16string old, text;
  Find(old, text, ItemIndex());
  Add(std::move(description), std::move(text), ItemIndex());
}

std::u16string TID3v2UserText::Text() const {
  std::u16string description, text;
  if (ItemIndex() >= 0) Find(description, text, ItemIndex());
  return text;
}

void TID3v2UserText::SetText(std::u16string text) const {
  if (ItemIndex() < 0) return;
  std::u16string description, old;
  Find(description, old, ItemIndex());
  Add(std::move(description), std::move(text), ItemIndex());
}

int TID3v2UserURL::Add(std::u16string description, std::string url, int index) const {
  TID3v2Frame* frame = PrepareAdd(url.empty(), index);
  if (frame == nullptr) return -1;
  TMemoryStream payload = DescribedPayload(TagEncoding(), description);
  payload.Write(url.data(), url.size());
  return FinishAdd(*frame, std::move(payload.Bytes()));
}

bool TID3v2UserURL::Find(std::u16string& description, std::string& url, int index) const {
  if (const TID3v2Frame* frame = NthFrame(Kind(), index)) {
    TMemoryStream payload(frame->Data().Bytes());
    uint8_t encoding = 0;
    payload.ReadByte(encoding);
    description = ReadTerminatedText(payload, encoding);
    url = BytesUpToZero(payload.Bytes(), payload.Position());
  }
  return ItemCount() > 0;
}

std::u16string TID3v2UserURL::Description() const {
  std::u16string description;
  std::string url;
  if (ItemIndex() >= 0) Find(description, url, ItemIndex());
  return description;
}

void TID3v2UserURL::SetDescription(std::u16string description) const {
  if (ItemIndex() < 0) return;
  std::u16string old;
  std::string url;
  Find(old, url, ItemIndex());
  Add(std::move(description), std::move(url), ItemIndex());
}

std::string TID3v2UserURL::URL() const {
  std::u16string description;
  std::string url;
  if (ItemIndex() >= 0) Find(description, url, ItemIndex());
  return url;
}

void TID3v2UserURL::SetURL(std::string url) const {
  if (ItemIndex() < 0) return;
  std::u16string description;
  std::string old;
  Find(description, old, ItemIndex());
  Add(std::move(description), std::move(url), ItemIndex());
}

}  // namespace tags
