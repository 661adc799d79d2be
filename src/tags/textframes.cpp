#include "textframes.h"

#include "id3v2tag.h"
#include "tagsconsts.h"
#include "textcodec.h"

namespace tags {
namespace {

constexpr TTextFrameProperty kProperties[] = {
#define SONIVEX_TEXT_PROPERTY_ROW(name, kind, form, cut, restricted) \
  {#name, kind, TTextForm::form, cut, restricted},
    SONIVEX_TEXT_FRAME_PROPERTIES(SONIVEX_TEXT_PROPERTY_ROW)
#undef SONIVEX_TEXT_PROPERTY_ROW
};

std::u16string_view Cut(std::u16string_view text, int count) {
  return count > 0 && text.size() > size_t(count) ? text.substr(0, size_t(count)) : text;
}

bool ParseDigits(std::u16string_view text, size_t pos, size_t count, int& value) {
  if (pos + count > text.size()) return false;
  value = 0;
  for (size_t i = pos; i < pos + count; ++i) {
    if (text[i] < u'0' || text[i] > u'9') return false;
    value = value * 10 + (text[i] - u'0');
  }
  return true;
}

bool IsValidDate(std::u16string_view t) {
  int year, month, day;
  if (t.size() != 10 || t[4] != u'-' || t[7] != u'-') return false;
  if (!ParseDigits(t, 0, 4, year) || !ParseDigits(t, 5, 2, month) || !ParseDigits(t, 8, 2, day))
    return false;
  if (year < 1 || month < 1 || month > 12 || day < 1) return false;
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

bool IsValidTime(std::u16string_view t) {
  int hour, minute, second;
  if (t.size() == 2) return ParseDigits(t, 0, 2, hour) && hour < 24;
  if (t.size() != 5 && t.size() != 8) return false;
  if (t[2] != u':' || !ParseDigits(t, 0, 2, hour) || !ParseDigits(t, 3, 2, minute)) return false;
  if (hour > 23 || minute > 59) return false;
  if (t.size() == 5) return true;
  return t[5] == u':' && ParseDigits(t, 6, 2, second) && second < 60;
}

std::string ForMessage(std::u16string_view text) { return Utf16ToUtf8(text); }

}  // namespace

std::span<const TTextFrameProperty> TextFrameProperties() { return kProperties; }

const TTextFrameProperty* FindTextFrameProperty(std::string_view name) {
  for (const TTextFrameProperty& p : kProperties)
    if (name == p.Name) return &p;
  return nullptr;
}

bool IsValidInteger(std::u16string_view text) {
  size_t i = 0;
  bool negative = false;
  if (!text.empty() && (text[0] == u'+' || text[0] == u'-')) {
    negative = text[0] == u'-';
    i = 1;
  }
  if (i == text.size()) return false;
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < u'0' || text[i] > u'9') return false;
    value = value * 10 + (text[i] - u'0');
    if (value > int64_t(INT32_MAX) + (negative ? 1 : 0)) return false;
  }
  return true;
}

bool IsValidTimeStamp(std::u16string_view text) {
  std::u16string test(text);
  if (text.size() == 4) test += u"-01-01";
  else if (text.size() == 7) test += u"-01";
  if (test.size() == 10) return IsValidDate(test);
  if (test.size() < 12 || (test[10] != u' ' && test[10] != u'T')) return false;
  return IsValidDate(std::u16string_view(test).substr(0, 10)) &&
         IsValidTime(std::u16string_view(test).substr(11));
}

std::u16string TID3v2TextFrames::GetText(TID3v2FrameID kind) const {
  const TID3v2Frame* frame = FirstFrame(kind);
  if (frame == nullptr || frame->DataSize() == 0) return {};
  TMemoryStream payload(frame->Data().Bytes());
  uint8_t encoding = 0;
  payload.ReadByte(encoding);
  return ReadEncodedText(payload, encoding);
}

bool TID3v2TextFrames::CheckFrameVersion(TID3v2FrameID kind) {
  if (IsFrameSupported(kind, Owner()->VersionToSave())) return true;
  DeleteAllFrames(kind);
  return false;
}

void TID3v2TextFrames::SetEncodedText(TID3v2FrameID kind, std::u16string_view text) {
  if (text.empty()) return SetFirstFrame(kind, {});
  TMemoryStream payload;
  const TID3v2Encoding encoding = TagEncoding();
  payload.WriteByte(encoding);
  WriteEncodedText(payload, encoding, text);
  SetFirstFrame(kind, std::move(payload.Bytes()));
}

void TID3v2TextFrames::SetByteText(TID3v2FrameID kind, std::u16string_view text) {
  if (text.empty()) return SetFirstFrame(kind, {});
  TMemoryStream payload;
  payload.WriteByte(ienISO_8859_1);
  WriteEncodedText(payload, ienISO_8859_1, text);
  SetFirstFrame(kind, std::move(payload.Bytes()));
}

bool TID3v2TextFrames::SetInteger(TID3v2FrameID kind, std::u16string_view text) {
  if (text.empty()) {
    SetFirstFrame(kind, {});
    return true;
  }
  if (!IsValidInteger(text)) {
    ShowTagErrorFmt(sNotValidInteger, Owner(), ForMessage(text).c_str());
    return false;
  }
  SetByteText(kind, text);
  return true;
}

bool TID3v2TextFrames::SetTimeStamp(TID3v2FrameID kind, std::u16string_view text) {
  if (!IsActive()) return true;
  if (text.empty()) {
    SetFirstFrame(kind, {});
    return true;
  }
  if (!IsValidTimeStamp(text)) {
    ShowTagErrorFmt(sNotValidTimestamp, Owner(), ForMessage(text).c_str());
    return false;
  }
  SetByteText(kind, text);
  return true;
}

bool TID3v2TextFrames::Set(const TTextFrameProperty& property, std::u16string_view text) {
  if (!IsActive()) return true;
  // Year and recording time stand in for each other: each writes the other's frame in
  // a version that cannot carry its own.
  if (property.Kind == fiYear && !CheckFrameVersion(fiYear))
    return SetTimeStamp(fiRecordingTime, Cut(text, 4));
  if (property.Kind == fiRecordingTime && !CheckFrameVersion(fiRecordingTime))
    return SetInteger(fiYear, Cut(text, 4));
  if (property.Restricted && !CheckFrameVersion(property.Kind)) return true;
  text = Cut(text, property.Cut);
  switch (property.Form) {
    case TTextForm::Encoded:
      SetEncodedText(property.Kind, text);
      return true;
    case TTextForm::ByteText:
      SetByteText(property.Kind, text);
      return true;
    case TTextForm::Integer:
      return SetInteger(property.Kind, text);
    case TTextForm::TimeStamp:
      return SetTimeStamp(property.Kind, text);
  }
  return true;
}

}  // namespace tags
