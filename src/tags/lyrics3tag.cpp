#include "lyrics3tag.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "id3v1tag.h"
#include "tagsconsts.h"

namespace tags {
namespace {

struct TFieldRow {
  TLyrics3v2FieldID ID;
  const char* Letters;
  const char* Description;
  // The longest text the tag's property for this field stores.
  size_t MaxText;
};

constexpr TFieldRow kFieldTable[] = {
    {lfUnknown, "", "Unknown field", kLyrics3MaxFieldSize},
    {lfIndications, "IND", "Indications field", 3},
    {lfLyricsText, "LYR", "Lyrics multi line text", kLyrics3MaxFieldSize},
    {lfInformation, "INF", "Additional information multi line text", kLyrics3MaxFieldSize},
    {lfAuthorName, "AUT", "Lyrics/Music author name", 250},
    {lfAlbumName, "EAL", "Extended album name", 250},
    {lfArtistName, "EAR", "Extended artist name", 250},
    {lfTrackTitle, "ETT", "Extended track title", 250},
    {lfImageLink, "IMG", "Link to an image files", kLyrics3MaxFieldSize},
};

const TFieldRow& Row(TLyrics3v2FieldID id) {
  const size_t index = size_t(id);
  return index < std::size(kFieldTable) ? kFieldTable[index] : kFieldTable[0];
}

constexpr std::string_view kBeginMarker = "LYRICSBEGIN";
constexpr std::string_view kEndMarker = "LYRICS200";

bool IsFieldLetter(uint8_t c) { return c >= 'A' && c <= 'Z'; }

// The block's numbers are plain decimal digits; anything else reads as 0, so that a
// damaged size can never claim more bytes than are there.
uint32_t ParseDigits(const uint8_t* digits, size_t count) {
  uint32_t value = 0;
  for (size_t i = 0; i < count; ++i) {
    if (digits[i] < '0' || digits[i] > '9') return 0;
    value = value * 10 + uint32_t(digits[i] - '0');
  }
  return value;
}

void WriteDigits(TMemoryStream& stream, size_t value, int count) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%0*zu", count, value);
  stream.Write(digits, size_t(count));
}

void WriteText(TMemoryStream& stream, std::string_view text) { stream.Write(text.data(), text.size()); }

}  // namespace

std::string_view Lyrics3FieldLetters(TLyrics3v2FieldID id) { return Row(id).Letters; }

const char* Lyrics3FieldDescription(TLyrics3v2FieldID id) { return Row(id).Description; }

TLyrics3v2FieldID Lyrics3FieldIDOf(std::string_view letters) {
  for (const TFieldRow& row : kFieldTable)
    if (row.ID != lfUnknown && letters == row.Letters) return row.ID;
  return lfUnknown;
}

// --- TLyrics3v2Field -----------------------------------------------------------------

int TLyrics3v2Field::Index() const { return Collection_ ? Collection_->IndexOf(this) : -1; }

void TLyrics3v2Field::SetFieldID(TLyrics3v2FieldID id) {
  FieldID_ = id;
  Letters_ = {};
  const std::string_view letters = Lyrics3FieldLetters(id);
  std::copy(letters.begin(), letters.end(), Letters_.begin());
}

std::string TLyrics3v2Field::Name() const {
  const auto end = std::find(Letters_.begin(), Letters_.end(), '\0');
  return std::string(Letters_.begin(), end);
}

void TLyrics3v2Field::SetName(std::string_view name) {
  if (name.size() == 3) std::copy(name.begin(), name.end(), Letters_.begin());
  FieldID_ = Lyrics3FieldIDOf(std::string_view(Letters_.data(), Letters_.size()));
}

std::string TLyrics3v2Field::Text() const {
  const TBytes& bytes = Data_.Bytes();
  const auto end = std::find(bytes.begin(), bytes.end(), uint8_t(0));
  return std::string(bytes.begin(), end);
}

void TLyrics3v2Field::SetText(std::string_view text) { Data_.Assign(TBytes(text.begin(), text.end())); }

void TLyrics3v2Field::Assign(const TLyrics3v2Field& source) {
  if (&source == this) return;
  Data_.Assign(source.Data_.Bytes());
  FieldID_ = source.FieldID_;
  Letters_ = source.Letters_;
  SizeRead_ = source.SizeRead_;
}

std::string TLyrics3v2Field::GetDisplayName() const {
  const std::string name = Name();
  if (name.empty()) return "TLyrics3v2Field";
  return name + " - " + Lyrics3FieldDescription(FieldID_);
}

// --- TLyrics3v2Fields ----------------------------------------------------------------

TLyrics3v2Field& TLyrics3v2Fields::Add() {
  Items_.push_back(std::make_unique<TLyrics3v2Field>(this));
  return *Items_.back();
}

void TLyrics3v2Fields::Delete(int index) {
  if (index >= 0 && index < Count()) Items_.erase(Items_.begin() + index);
}

void TLyrics3v2Fields::Move(int from, int to) {
  if (from < 0 || from >= Count() || to < 0 || to >= Count() || from == to) return;
  auto field = std::move(Items_[size_t(from)]);
  Items_.erase(Items_.begin() + from);
  Items_.insert(Items_.begin() + to, std::move(field));
}

int TLyrics3v2Fields::IndexOf(const TLyrics3v2Field* field) const {
  for (size_t i = 0; i < Items_.size(); ++i)
    if (Items_[i].get() == field) return int(i);
  return -1;
}

void TLyrics3v2Fields::Assign(const TLyrics3v2Fields& source) {
  if (&source == this) return;
  Items_.clear();
  for (const auto& field : source.Items_) Add().Assign(*field);
}

TLyrics3v2Field* TLyrics3v2Fields::GetField(std::string_view letters) {
  return const_cast<TLyrics3v2Field*>(std::as_const(*this).GetField(letters));
}

const TLyrics3v2Field* TLyrics3v2Fields::GetField(std::string_view letters) const {
  if (letters.size() != 3) return nullptr;
  for (const auto& field : Items_)
    if (std::equal(letters.begin(), letters.end(), field->Letters_.begin())) return field.get();
  return nullptr;
}

TLyrics3v2Field* TLyrics3v2Fields::GetFieldID(TLyrics3v2FieldID id) {
  return const_cast<TLyrics3v2Field*>(std::as_const(*this).GetFieldID(id));
}

const TLyrics3v2Field* TLyrics3v2Fields::GetFieldID(TLyrics3v2FieldID id) const {
  for (const auto& field : Items_)
    if (field->FieldID_ == id) return field.get();
  return nullptr;
}

int TLyrics3v2Fields::LoadFromStream(TMemoryStream& stream) {
  Clear();
  stream.Seek(0);
  // Signed: a header cut short by the end of the area must not wrap around.
  int64_t remaining = int64_t(stream.Size());
  while (remaining != 0) {
    uint8_t letters[3] = {};
    stream.Read(letters, 3);
    // Taggers pad the area after the last field; what follows is no field.
    if (!IsFieldLetter(letters[0]) || !IsFieldLetter(letters[1]) || !IsFieldLetter(letters[2])) break;
    TLyrics3v2Field& field = Add();
    field.SetName(std::string_view(reinterpret_cast<const char*>(letters), 3));
    uint8_t digits[5] = {};
    stream.Read(digits, 5);
    const uint32_t size = ParseDigits(digits, 5);
    field.SizeRead_ = size;
    // A size past the end means the sizes cannot be trusted, so neither can the
    // fields read with them.
    if (remaining - 8 < int64_t(size)) {
      Clear();
      break;
    }
    TBytes data(size);
    stream.Read(data.data(), size);
    field.Data_.Assign(std::move(data));
    remaining -= 8 + int64_t(size);
  }
  return Count();
}

bool TLyrics3v2Fields::OwnerActive() const { return MainOwner_ != nullptr && MainOwner_->Active(); }

const TComponent* TLyrics3v2Fields::MessageSource() const {
  if (MainOwner_ == nullptr) return nullptr;
  // The user knows the ID3v1 tag that owns the block rather than the block itself.
  if (MainOwner_->Owner() != nullptr) return MainOwner_->Owner();
  return MainOwner_;
}

int TLyrics3v2Fields::SaveToStream(TMemoryStream& stream) {
  // Checked before anything changes, so that a refused save leaves list and file as
  // they were: a size of six digits or more would be read back as another number and
  // take the bytes after it for fields.
  size_t total = kBeginMarker.size();
  for (const auto& field : Items_) {
    if (field->Size() > kLyrics3MaxFieldSize) {
      ShowTagErrorFmt(sLyrics3FieldTooLarge, MessageSource(), field->Name().c_str(), int(kLyrics3MaxFieldSize));
      return -1;
    }
    if (field->Size() != 0) total += 8 + field->Size();
  }
  if (total > kLyrics3MaxBlockSize) {
    ShowTagErrorFmt(sLyrics3BlockTooLarge, MessageSource(), int(kLyrics3MaxBlockSize));
    return -1;
  }

  // Indications alone say nothing about any content: no block is worth writing for them.
  if (Count() == 1 && Items_[0]->FieldID_ == lfIndications && OwnerActive()) Delete(0);
  const int count = Count();
  if (count == 0) return 0;

  WriteText(stream, kBeginMarker);
  for (size_t i = 0; i < Items_.size();) {
    const TLyrics3v2Field& field = *Items_[i];
    if (field.Size() == 0) {
      Items_.erase(Items_.begin() + std::ptrdiff_t(i));
      continue;
    }
    stream.Write(field.Letters_.data(), field.Letters_.size());
    WriteDigits(stream, field.Size(), 5);
    stream.Write(field.Data_.Data(), field.Size());
    ++i;
  }
  WriteDigits(stream, total, 6);
  WriteText(stream, kEndMarker);
  return count;
}

// --- TLyrics3v2Tag -------------------------------------------------------------------

bool TLyrics3v2Tag::Active() const { return Owner_ != nullptr && Owner_->Active(); }

void TLyrics3v2Tag::Reset() {
  Exists_ = false;
  Size_ = 0;
  Fields_.Clear();
}

std::string TLyrics3v2Tag::GetText(TLyrics3v2FieldID id) const {
  if (!Active()) return {};
  const TLyrics3v2Field* field = Fields_.GetFieldID(id);
  return field ? field->Text() : std::string();
}

void TLyrics3v2Tag::SetText(TLyrics3v2FieldID id, std::string_view text) {
  if (!Active()) return;
  text = text.substr(0, Row(id).MaxText);
  // Readers look at the indications first to learn what the block holds.
  if (const TLyrics3v2Field* indications = Fields_.GetFieldID(lfIndications))
    Fields_.Move(indications->Index(), 0);
  TLyrics3v2Field* field = Fields_.GetFieldID(id);
  if (text.empty()) {
    if (field != nullptr) Fields_.Delete(field->Index());
    return;
  }
  if (field == nullptr) {
    field = &Fields_.Add();
    field->SetFieldID(id);
  }
  field->SetText(text);
}

void TLyrics3v2Tag::SetLyricsText(std::string_view text) {
  if (!Active()) return;
  std::string indications = Indications();
  if (indications.empty()) indications = "000";
  indications[0] = text.empty() ? '0' : '1';
  SetIndications(indications);
  SetText(lfLyricsText, text);
}

}  // namespace tags
