#pragma once
// Attached pictures (APIC, PIC in 2.2): MIME type (a 3-letter image format in 2.2),
// picture type, description and the image bytes.

#include <array>
#include <memory>
#include <string>

#include "id3persistent.h"

namespace tags {

enum TImageMIMEType { mtBitmap, mtJpeg, mtGif, mtPng, mtTiff, mtUnknown };

// The byte read from a file is kept as it is, also above ptPublisherLogotype.
enum TID3v2PictureType : uint8_t {
  ptOther, ptFileIcon, ptOtherFileIcon, ptCoverFront, ptCoverBack, ptLeafletPage, ptMedia,
  ptLeadArtist, ptArtist, ptConductor, ptBand, ptComposer, ptLyricist, ptRecordingLocation,
  ptDuringRecording, ptDuringPerformance, ptMovieScreenCapture, ptBrightColouredFish,
  ptIllustration, ptBandLogotype, ptPublisherLogotype,
};

// What the user interface shows for each picture type, in this order.
extern const std::array<const char*, 21> PictureTypeNames;

struct TImageMIMERow {
  TImageMIMEType Type;
  const char* MIMEType;
  const char* Format22;
};
extern const std::array<TImageMIMERow, 12> ImageMIMETable;

class TID3v2Pictures : public TID3v2MultiFrame {
 public:
  explicit TID3v2Pictures(TID3v2Tag* owner) : TID3v2MultiFrame(owner, fiAttachedPicture) {}

  // An empty picture deletes frame number `index`. Returns the new item count, or -1.
  int Add(std::string mimeType, TID3v2PictureType pictureType, std::u16string description,
          const TMemoryStream& pictureData, int index) const;
  // Writes the picture bytes into `pictureData` at its position and rewinds it. False
  // when the tag holds no picture; otherwise whether `pictureData` is not empty.
  bool Find(std::string& mimeType, TID3v2PictureType& pictureType, std::u16string& description,
            TMemoryStream& pictureData, int index) const;

  std::string MIMEType() const;
  void SetMIMEType(std::string mimeType) const;
  TID3v2PictureType PictureType() const;
  void SetPictureType(TID3v2PictureType pictureType) const;
  std::u16string Description() const;
  void SetDescription(std::u16string description) const;
  // The current picture in a new stream; nullptr while there is no current item.
  std::unique_ptr<TMemoryStream> PictureData() const;
  void SetPictureData(const TMemoryStream& pictureData) const;

  // The MIME type of the first row of the type (its 2.2 format while the version to
  // save is 2.2); empty for mtUnknown.
  std::string ImageTypeToMIMEType(TImageMIMEType type) const;
  static TImageMIMEType MIMETypeToImageType(std::string_view mimeType);

 private:
  struct TFields {
    std::string MIMEType;
    TID3v2PictureType PictureType = ptOther;
    std::u16string Description;
    TMemoryStream Data;
  };
  bool Current(TFields& fields) const;
  void Rewrite(const TFields& fields) const;
};

}  // namespace tags
