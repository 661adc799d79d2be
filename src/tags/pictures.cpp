#include "pictures.h"

#include <algorithm>

#include "id3v2tag.h"
#include "textcodec.h"
#include "webframes.h"

namespace tags {

const std::array<const char*, 21> PictureTypeNames = {
    "Other",
    "32x32 pixels 'file icon' (PNG only)",
    "Other file icon",
    "Cover (front)",
    "Cover (back)",
    "Leaflet page",
    "Media (e.g. lable side of CD)",
    "Lead artist/lead performer/soloist",
    "Artist/performer",
    "Conductor",
    "Band/Orchestra",
    "Composer",
    "Lyricist/text writer",
    "Recording location",
    "During recording",
    "During performance",
    "Movie/video screen capture",
    "A bright coloured fish",
    "Illustration",
    "Band/artist logotype",
    "Publisher/Studio logotype",
};

const std::array<TImageMIMERow, 12> ImageMIMETable = {{
    {mtBitmap, "image/bmp", "BMP"},
    {mtBitmap, "image/x-ms-bmp", "BMP"},
    {mtBitmap, "image/ms-bmp", "BMP"},
    {mtBitmap, "image/x-bmp", "BMP"},
    {mtJpeg, "image/jpeg", "JPG"},
    {mtJpeg, "image/jpg", "JPG"},
    {mtGif, "image/gif", "GIF"},
    {mtPng, "image/png", "PNG"},
    {mtPng, "image/x-png", "PNG"},
    {mtTiff, "image/tiff", "TIF"},
    {mtTiff, "image/tif", "TIF"},
    {mtTiff, "image/x-tif", "TIF"},
}};

int TID3v2Pictures::Add(std::string mimeType, TID3v2PictureType pictureType, std::u16string description,
                        const TMemoryStream& pictureData, int index) const {
  TID3v2Frame* frame = PrepareAdd(pictureData.Size() == 0, index);
  if (frame == nullptr) return -1;
  const TID3v2Encoding encoding = TagEncoding();
  TMemoryStream payload;
  payload.WriteByte(encoding);
  payload.Write(mimeType.data(), mimeType.size());
  // 2.2 has a fixed 3-byte image format where the later versions have a terminated MIME type.
  if (Owner()->VersionToSave() != ive2_2) payload.WriteByte(0);
  payload.WriteByte(pictureType);
  if (!description.empty()) WriteEncodedText(payload, encoding, description);
  WriteTerminator(payload, encoding);
  payload.Write(pictureData.Span());
  return FinishAdd(*frame, std::move(payload.Bytes()));
}

bool TID3v2Pictures::Find(std::string& mimeType, TID3v2PictureType& pictureType, std::u16string& description,
                          TMemoryStream& pictureData, int index) const {
  if (ItemCount() == 0) return false;
  if (const TID3v2Frame* frame = NthFrame(Kind(), index)) {
    TMemoryStream payload(frame->Data().Bytes());
    uint8_t encoding = 0;
    payload.ReadByte(encoding);
    // Reading follows the version of the tag as read.
    if (Owner()->Header().MajorVersion() == 2) {
      char format[3];
      mimeType.assign(format, payload.Read(format, 3));
    } else {
      mimeType = BytesUpToZero(payload.Bytes(), payload.Position());
      payload.Seek(std::min(payload.Size(), payload.Position() + mimeType.size() + 1));
    }
    uint8_t type = 0;
    payload.ReadByte(type);
    pictureType = TID3v2PictureType(type);
    description = ReadTerminatedText(payload, encoding);
    if (!payload.AtEnd()) pictureData.Write(payload.Data() + payload.Position(), payload.Remaining());
  }
  pictureData.Seek(0);
  return pictureData.Size() > 0;
}

bool TID3v2Pictures::Current(TFields& f) const {
  return ItemIndex() >= 0 && Find(f.MIMEType, f.PictureType, f.Description, f.Data, ItemIndex());
}

void TID3v2Pictures::Rewrite(const TFields& f) const {
  if (ItemIndex() >= 0) Add(f.MIMEType, f.PictureType, f.Description, f.Data, ItemIndex());
}

std::string TID3v2Pictures::MIMEType() const {
  TFields f;
  Current(f);
  return f.MIMEType;
}

TID3v2PictureType TID3v2Pictures::PictureType() const {
  TFields f;
  Current(f);
  return f.PictureType;
}

std::u16string TID3v2Pictures::Description() const {
  TFields f;
  Current(f);
  return f.Description;
}

std::unique_ptr<TMemoryStream> TID3v2Pictures::PictureData() const {
  if (ItemIndex() < 0) return nullptr;
  TFields f;
  Current(f);
  return std::make_unique<TMemoryStream>(std::move(f.Data));
}

void TID3v2Pictures::SetMIMEType(std::string mimeType) const {
  TFields f;
  Current(f);
  f.MIMEType = std::move(mimeType);
  Rewrite(f);
}

void TID3v2Pictures::SetPictureType(TID3v2PictureType pictureType) const {
  TFields f;
  Current(f);
  f.PictureType = pictureType;
  Rewrite(f);
}

void TID3v2Pictures::SetDescription(std::u16string description) const {
  TFields f;
  Current(f);
  f.Description = std::move(description);
  Rewrite(f);
}

void TID3v2Pictures::SetPictureData(const TMemoryStream& pictureData) const {
  if (ItemIndex() < 0) return;
  TFields f;
  Current(f);
  Add(f.MIMEType, f.PictureType, f.Description, pictureData, ItemIndex());
}

std::string TID3v2Pictures::ImageTypeToMIMEType(TImageMIMEType type) const {
  for (const TImageMIMERow& row : ImageMIMETable)
    if (row.Type == type)
      return (Owner() != nullptr && Owner()->VersionToSave() == ive2_2) ? row.Format22 : row.MIMEType;
  return {};
}

TImageMIMEType TID3v2Pictures::MIMETypeToImageType(std::string_view mimeType) {
  std::string lower(mimeType), upper(mimeType);
  for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
  for (char& c : upper) c = (c >= 'a' && c <= 'z') ? char(c - 32) : c;
  for (const TImageMIMERow& row : ImageMIMETable)
    if (lower == row.MIMEType || upper == row.Format22) return row.Type;
  return mtUnknown;
}

}  // namespace tags
