#include "webframes.h"

#include <algorithm>

#include "id3v2tag.h"
#include "textcodec.h"

namespace tags {
namespace {

constexpr TWebFrameProperty kWebProperties[] = {
    {"AudioFile", fiWWWAudioFile}, {"AudioSource", fiWWWAudioSource},
    {"Copyright", fiWWWCopyright}, {"Payment", fiWWWPayment},
    {"Publisher", fiWWWPublisher}, {"RadioStation", fiWWWRadioStation},
};

}  // namespace

std::span<const TWebFrameProperty> WebFrameProperties() { return kWebProperties; }

std::string BytesUpToZero(const TBytes& payload, size_t offset) {
  if (offset >= payload.size()) return {};
  const auto begin = payload.begin() + std::ptrdiff_t(offset);
  return std::string(begin, std::find(begin, payload.end(), uint8_t(0)));
}

int TID3v2URLList::Add(std::string url, int index) const {
  TID3v2Frame* frame = PrepareAdd(url.empty(), index);
  if (frame == nullptr) return -1;
  return FinishAdd(*frame, TBytes(url.begin(), url.end()));
}

bool TID3v2URLList::Find(std::string& url, int index) const {
  if (const TID3v2Frame* frame = NthFrame(Kind(), index)) url = BytesUpToZero(frame->Data().Bytes(), 0);
  return ItemCount() > 0;
}

std::string TID3v2URLList::URL() const {
  std::string url;
  if (ItemIndex() >= 0) Find(url, ItemIndex());
  return url;
}

void TID3v2URLList::SetURL(std::string url) const {
  if (ItemIndex() >= 0) Add(std::move(url), ItemIndex());
}

std::u16string TID3v2WebFrames::GetURL(TID3v2FrameID kind) const {
  const TID3v2Frame* frame = FirstFrame(kind);
  if (frame == nullptr) return {};
  TMemoryStream payload(frame->Data().Bytes());
  return ReadEncodedText(payload, ienISO_8859_1);
}

void TID3v2WebFrames::SetURL(TID3v2FrameID kind, std::u16string_view url) const {
  const std::string bytes = WideToAnsi(url);
  SetFirstFrame(kind, TBytes(bytes.begin(), bytes.end()));
}

}  // namespace tags
