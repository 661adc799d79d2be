#pragma once
// URL frames: the single ones (WOAF, WOAS, WCOP, WPAY, WPUB, WORS) and the two kinds a
// tag may hold several of (WOAR, WCOM). A URL is byte text, stored without encoding
// byte or terminator.

#include <span>
#include <string>

#include "id3persistent.h"

namespace tags {

// Several frames of one URL kind, each holding one URL.
class TID3v2URLList : public TID3v2MultiFrame {
 public:
  using TID3v2MultiFrame::TID3v2MultiFrame;

  // Writes frame number `index` (a new one when there is none); an empty URL deletes it.
  // Returns the new item count, or -1.
  int Add(std::string url, int index) const;
  // True when the tag holds a frame of the kind; `url` is filled when frame number
  // `index` exists.
  bool Find(std::string& url, int index) const;

  std::string URL() const;
  void SetURL(std::string url) const;
};

class TID3v2WebArtist : public TID3v2URLList {
 public:
  explicit TID3v2WebArtist(TID3v2Tag* owner) : TID3v2URLList(owner, fiWWWArtist) {}
};

class TID3v2WebCommercialInfo : public TID3v2URLList {
 public:
  explicit TID3v2WebCommercialInfo(TID3v2Tag* owner) : TID3v2URLList(owner, fiWWWCommercialInfo) {}
};

class TID3v2WebFrames : public TID3Persistent {
 public:
  explicit TID3v2WebFrames(TID3v2Tag* owner)
      : TID3Persistent(owner), Artist_(owner), CommercialInfo_(owner) {}

  // The URL of the first frame of the kind; empty text deletes that frame.
  std::u16string GetURL(TID3v2FrameID kind) const;
  void SetURL(TID3v2FrameID kind, std::u16string_view url) const;

  std::u16string AudioFile() const { return GetURL(fiWWWAudioFile); }
  void SetAudioFile(std::u16string_view v) const { SetURL(fiWWWAudioFile, v); }
  std::u16string AudioSource() const { return GetURL(fiWWWAudioSource); }
  void SetAudioSource(std::u16string_view v) const { SetURL(fiWWWAudioSource, v); }
  std::u16string Copyright() const { return GetURL(fiWWWCopyright); }
  void SetCopyright(std::u16string_view v) const { SetURL(fiWWWCopyright, v); }
  std::u16string Payment() const { return GetURL(fiWWWPayment); }
  void SetPayment(std::u16string_view v) const { SetURL(fiWWWPayment, v); }
  std::u16string Publisher() const { return GetURL(fiWWWPublisher); }
  void SetPublisher(std::u16string_view v) const { SetURL(fiWWWPublisher, v); }
  std::u16string RadioStation() const { return GetURL(fiWWWRadioStation); }
  void SetRadioStation(std::u16string_view v) const { SetURL(fiWWWRadioStation, v); }

  TID3v2WebArtist& Artist() { return Artist_; }
  const TID3v2WebArtist& Artist() const { return Artist_; }
  TID3v2WebCommercialInfo& CommercialInfo() { return CommercialInfo_; }
  const TID3v2WebCommercialInfo& CommercialInfo() const { return CommercialInfo_; }

 private:
  TID3v2WebArtist Artist_;
  TID3v2WebCommercialInfo CommercialInfo_;
};

struct TWebFrameProperty {
  const char* Name;
  TID3v2FrameID Kind;
};
// The six single URL properties by name: AudioFile, AudioSource, Copyright, Payment,
// Publisher, RadioStation.
std::span<const TWebFrameProperty> WebFrameProperties();

// The bytes of `payload` from `offset` up to the first zero byte or the end.
std::string BytesUpToZero(const TBytes& payload, size_t offset);

}  // namespace tags
