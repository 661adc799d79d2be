#pragma once
// Shared types of the ID3v2 engine: encodings, versions, frame kinds, small flag sets,
// the integer forms of the tag format and unsynchronisation.

#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>

#include "memorystream.h"

namespace tags {

// The text-encoding byte of a frame payload. The underlying type holds every byte value
// because files carry any byte there; values above 3 give empty text.
enum TID3v2Encoding : uint8_t {
  ienISO_8859_1 = 0,
  ienUTF_16 = 1,
  ienUTF_16BE = 2,
  ienUTF_8 = 3,
};

// The version a tag is written in; the major version byte is the value plus 2.
enum TID3v2VersionToSave : uint8_t { ive2_2 = 0, ive2_3 = 1, ive2_4 = 2 };

enum TID3v2FrameID : uint8_t {
  fiUnknown,
  fiAudioEncryption,
  fiAttachedPicture,
  fiAudioSeekPoint,
  fiComments,
  fiCommercial,
  fiEncryptRegistration,
  fiEqualisation2,
  fiEqualization,
  fiEventTimingCodes,
  fiGeneralObject,
  fiGroupIdRegistration,
  fiInvolvedPeople,
  fiLinkedInformation,
  fiMusicCDId,
  fiMPEGLocationTable,
  fiOwnership,
  fiPlayCounter,
  fiPopularimeter,
  fiPositionSynch,
  fiPrivate,
  fiRecommendedBuffer,
  fiRelativeVolume2,
  fiRelativeVolume,
  fiReverb,
  fiSeek,
  fiSignature,
  fiSynchronizedLyric,
  fiSynchronizedTempo,
  fiAlbum,
  fiBPM,
  fiComposer,
  fiGenre,
  fiCopyright,
  fiDate,
  fiEncodingTime,
  fiPlaylistDelay,
  fiOriginalReleaseTime,
  fiRecordingTime,
  fiReleaseTime,
  fiTaggingTime,
  fiEncodedBy,
  fiLyricist,
  fiFileType,
  fiTime,
  fiInvolvedPeople2,
  fiContentGroup,
  fiTitle,
  fiSubtitle,
  fiInitialKey,
  fiLanguage,
  fiLength,
  fiMusicianCredits,
  fiMediaType,
  fiMood,
  fiOriginalAlbum,
  fiOriginalFileName,
  fiOriginalLyricist,
  fiOriginalArtist,
  fiOriginalReleaseYear,
  fiFileOwner,
  fiArtist,
  fiAlbumArtist,
  fiConductor,
  fiRemixArtist,
  fiDisk,
  fiProducedNotice,
  fiPublisher,
  fiTrack,
  fiRecordingDates,
  fiRadioStationName,
  fiRadioStationOwner,
  fiSize,
  fiAlbumSortOrder,
  fiArtistSortOrder,
  fiTitleSortOrder,
  fiISRC,
  fiEncoderSettings,
  fiSetSubtitle,
  fiUserText,
  fiYear,
  fiUniqueFileId,
  fiTermsOfUse,
  fiUnsychronizedLyric,
  fiWWWCommercialInfo,
  fiWWWCopyright,
  fiWWWAudioFile,
  fiWWWArtist,
  fiWWWAudioSource,
  fiWWWRadioStation,
  fiWWWPayment,
  fiWWWPublisher,
  fiWWWUser,
  fiPartOfCompilation,
  fiMetaEncrypted,
  fiMetaCompressed
};

constexpr int kFrameIDCount = int(fiMetaCompressed) + 1;

// A set of enumeration values, the way flag properties are exposed.
template <class E>
class TSet {
 public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> values) {
    for (E v : values) Bits_ |= Bit(v);
  }
  constexpr bool Has(E v) const { return (Bits_ & Bit(v)) != 0; }
  constexpr TSet With(E v) const { TSet s = *this; s.Bits_ |= Bit(v); return s; }
  constexpr TSet Without(E v) const { TSet s = *this; s.Bits_ &= ~Bit(v); return s; }
  constexpr TSet With(E v, bool on) const { return on ? With(v) : Without(v); }
  constexpr void Include(E v) { Bits_ |= Bit(v); }
  constexpr void Exclude(E v) { Bits_ &= ~Bit(v); }
  constexpr bool Empty() const { return Bits_ == 0; }
  constexpr uint32_t Bits() const { return Bits_; }
  constexpr bool operator==(const TSet&) const = default;

 private:
  static constexpr uint32_t Bit(E v) { return uint32_t(1) << unsigned(v); }
  uint32_t Bits_ = 0;
};

// --- Integer forms -------------------------------------------------------------------

// `count` bytes, 7 bits each, most significant first; bits above 7*count are lost.
TBytes EncodeSyncSafe(uint64_t value, int count);
// Bit 7 of each byte is ignored, as the format allows readers to do. At most 5 bytes
// count (the 35-bit CRC); the result keeps the low 32 bits of longer input.
uint32_t DecodeSyncSafe(std::span<const uint8_t> bytes);

uint32_t ReadBigEndian(std::span<const uint8_t> bytes);  // 1 to 4 bytes
void WriteBigEndian(TMemoryStream& stream, uint32_t value, int count);
void WriteSyncSafe(TMemoryStream& stream, uint64_t value, int count);

// --- Unsynchronisation ----------------------------------------------------------------

// Inserts a zero byte after every FF that is followed by 00 or by a byte of E0 or above.
// Returns true when anything was inserted. The position is left at the start.
bool Unsynchronise(TMemoryStream& stream);
// Removes every zero byte that directly follows FF.
void Resynchronise(TMemoryStream& stream);

}  // namespace tags
