#include "infocommand.h"

#include <algorithm>
#include <cstdio>
#include <exception>

#include "id3v1tag.h"
#include "id3v2tag.h"
#include "mpegaudio.h"
#include "jsonwriter.h"
#include "textcodec.h"

namespace cli {
namespace {

using namespace tags;

constexpr const char* kHeaderFlagNames[] = {"hfUnsynchronisation", "hfExtendedHeader",
                                            "hfExperimentalIndicator", "hfFooterPresent",
                                            "hfCompressed"};
constexpr const char* kExtendedHeaderFlagNames[] = {"ehfTagIsAnUpdate", "ehfCRCDataPresent",
                                                    "ehfTagRestrictions"};
constexpr const char* kFrameFlagNames[] = {
    "fhfTagAlterDiscarded", "fhfFileAlterDiscarded", "fhfReadOnly",          "fhfCompressed",
    "fhfEncrypted",         "fhfGrouping",           "fhfUnsynchronisation", "fhfDataLengthIndicator"};
constexpr const char* kTagSizeNames[] = {"tsr128Frames_1MB", "tsr64Frames_128KB", "tsr32Frames_40KB",
                                         "tsr32Frames_4KB"};
constexpr const char* kTextEncodingNames[] = {"terNoRestrictions", "terOnlyISO_8859_1orUTF8"};
constexpr const char* kTextSizeNames[] = {"tfszNoRestrictions", "tfszMax1024Char", "tfszMax128Char",
                                          "tfszMax30Char"};
constexpr const char* kImageEncodingNames[] = {"ierNoRestrictions", "ierOnlyPNGorJPEG"};
constexpr const char* kImageSizeNames[] = {"isrNoRestrictions", "isrMax256x256", "isrMax64x64",
                                           "isr64x64UnlessRequired"};

template <class Set, size_t N>
void WriteFlags(TJsonWriter& json, Set flags, const char* const (&names)[N]) {
  json.BeginArray();
  for (size_t i = 0; i < N; ++i)
    if (flags.Bits() & (1u << i)) json.Value(names[i]);
  json.EndArray();
}

void WriteExtendedHeader(TJsonWriter& json, const TID3v2Tag& tag) {
  const TID3v2ExtendedHeader& ext = tag.ExtendedHeader();
  json.BeginObject();
  json.Key("flags");
  WriteFlags(json, ext.Flags(), kExtendedHeaderFlagNames);
  json.Key("padding_size").Value(uint64_t(ext.SizeOfPadding()));
  json.Key("crc").Value(uint64_t(ext.CRCData()));
  json.Key("restrictions");
  if (ext.Flags().Has(ehfTagRestrictions)) {
    const TID3v2TagRestrictions& r = ext.TagRestrictions();
    json.BeginObject()
        .Key("tag_size").Value(kTagSizeNames[r.TagSize & 3])
        .Key("text_encoding").Value(kTextEncodingNames[r.TextEncoding & 1])
        .Key("text_size").Value(kTextSizeNames[r.TextSize & 3])
        .Key("image_encoding").Value(kImageEncodingNames[r.ImageEncoding & 1])
        .Key("image_size").Value(kImageSizeNames[r.ImageSize & 3])
        .EndObject();
  } else {
    json.Null();
  }
  json.EndObject();
}

// Byte text (URLs, e-mail addresses, languages, MIME types) is single-byte text in the
// engine's code page.
std::u16string Bytes(const std::string& bytes) { return AnsiToWide(bytes); }

// What the frame-kind objects read, the way the editor shows it. Keys are absent when
// there is nothing to show.
void WriteTypedView(TJsonWriter& json, const TID3v2Tag& tag) {
  bool any = false;
  for (const TTextFrameProperty& p : TextFrameProperties()) {
    const std::u16string value = tag.TextFrames().Get(p);
    if (value.empty()) continue;
    if (!any) json.Key("fields").BeginObject();
    any = true;
    json.Key(p.Name).Value(value);
  }
  if (any) json.EndObject();

  any = false;
  for (const TWebFrameProperty& p : WebFrameProperties()) {
    const std::u16string value = tag.WebFrames().GetURL(p.Kind);
    if (value.empty()) continue;
    if (!any) json.Key("web").BeginObject();
    any = true;
    json.Key(p.Name).Value(value);
  }
  if (any) json.EndObject();

  const auto urlList = [&](const char* key, const TID3v2URLList& list) {
    if (list.ItemCount() == 0) return;
    json.Key(key).BeginArray();
    for (int i = 0; i < list.ItemCount(); ++i) {
      std::string url;
      list.Find(url, i);
      json.Value(Bytes(url));
    }
    json.EndArray();
  };
  urlList("web_artist", tag.WebFrames().Artist());
  urlList("web_commercial", tag.WebFrames().CommercialInfo());

  if (const TID3v2UserText& list = tag.UserText(); list.ItemCount() > 0) {
    json.Key("user_text").BeginArray();
    for (int i = 0; i < list.ItemCount(); ++i) {
      std::u16string description, text;
      list.Find(description, text, i);
      json.BeginObject().Key("description").Value(description).Key("text").Value(text).EndObject();
    }
    json.EndArray();
  }
  if (const TID3v2UserURL& list = tag.UserURL(); list.ItemCount() > 0) {
    json.Key("user_url").BeginArray();
    for (int i = 0; i < list.ItemCount(); ++i) {
      std::u16string description;
      std::string url;
      list.Find(description, url, i);
      json.BeginObject().Key("description").Value(description).Key("url").Value(Bytes(url)).EndObject();
    }
    json.EndArray();
  }
  const auto languageTexts = [&](const char* key, const TID3v2LanguageText& list) {
    if (list.ItemCount() == 0) return;
    json.Key(key).BeginArray();
    for (int i = 0; i < list.ItemCount(); ++i) {
      std::string language;
      std::u16string description, content;
      list.Find(language, description, content, i);
      json.BeginObject()
          .Key("language").Value(Bytes(language))
          .Key("description").Value(description)
          .Key("content").Value(content)
          .EndObject();
    }
    json.EndArray();
  };
  languageTexts("comments", tag.Comments());
  languageTexts("lyrics", tag.UnsychronizedLyrics());

  if (const TID3v2Pictures& list = tag.Pictures(); list.ItemCount() > 0) {
    json.Key("pictures").BeginArray();
    for (int i = 0; i < list.ItemCount(); ++i) {
      std::string mime;
      TID3v2PictureType type = ptOther;
      std::u16string description;
      TMemoryStream data;
      list.Find(mime, type, description, data, i);
      json.BeginObject()
          .Key("mime").Value(Bytes(mime))
          .Key("picture_type").Value(unsigned(type))
          .Key("description").Value(description)
          .Key("size").Value(uint64_t(data.Size()))
          .EndObject();
    }
    json.EndArray();
  }
  if (const TID3v2Popularimeter& list = tag.Popularimeter(); list.ItemCount() > 0) {
    json.Key("popularimeter").BeginArray();
    for (int i = 0; i < list.ItemCount(); ++i) {
      std::string email;
      uint8_t rating = 0;
      uint32_t counter = 0;
      list.Find(email, rating, counter, i);
      json.BeginObject()
          .Key("email").Value(Bytes(email))
          .Key("rating").Value(unsigned(rating))
          .Key("counter").Value(uint64_t(counter))
          .EndObject();
    }
    json.EndArray();
  }
  std::string language;
  std::u16string text;
  if (tag.TermsOfUse().Find(language, text))
    json.Key("terms_of_use").BeginObject().Key("language").Value(Bytes(language)).Key("text").Value(text).EndObject();
  if (tag.PlayCounter() != 0) json.Key("play_counter").Value(uint64_t(tag.PlayCounter()));
}

void WriteId3v2(TJsonWriter& json, const TID3v2Tag& tag) {
  const TID3v2Header& header = tag.Header();
  json.BeginObject();
  json.Key("exists").Value(header.Exists());
  json.Key("version").Value(tag.Version());
  json.Key("size").Value(uint64_t(tag.TagSize()));
  json.Key("padding").Value(tag.Padding());
  json.Key("flags");
  WriteFlags(json, header.Flags(), kHeaderFlagNames);
  json.Key("extended_header");
  const bool hasExtended = header.Flags().Has(hfExtendedHeader) &&
                           (header.MajorVersion() == 3 || header.MajorVersion() == 4);
  if (hasExtended) WriteExtendedHeader(json, tag);
  else json.Null();
  json.Key("frames").BeginArray();
  for (int i = 0; i < tag.Frames().Count(); ++i) {
    const TID3v2Frame& frame = tag.Frames()[i];
    json.BeginObject();
    json.Key("id").Value(frame.Name());
    json.Key("kind").Value(FrameIDToString(frame.FrameID()));
    json.Key("flags");
    WriteFlags(json, frame.Flags(), kFrameFlagNames);
    json.Key("size").Value(uint64_t(frame.DataSize()));
    json.Key("data_length").Value(uint64_t(frame.DataLength()));
    json.EndObject();
  }
  json.EndArray();
  WriteTypedView(json, tag);
  json.EndObject();
}

// ID3v1 and Lyrics3 texts are single-byte text in the engine's code page.
void WriteId3v1(TJsonWriter& json, const TID3v1Tag& v1) {
  json.BeginObject();
  json.Key("exists").Value(v1.Exists());
  json.Key("version").Value(v1.Version());
  json.Key("title").Value(AnsiToWide(v1.Title()));
  json.Key("artist").Value(AnsiToWide(v1.Artist()));
  json.Key("album").Value(AnsiToWide(v1.Album()));
  json.Key("year").Value(AnsiToWide(v1.Year()));
  json.Key("comment").Value(AnsiToWide(v1.Comment()));
  json.Key("track").Value(unsigned(v1.Track()));
  json.Key("genre").Value(unsigned(v1.Genre()));
  json.Key("genre_name").Value(v1.GenreAsString());
  json.EndObject();
}

void WriteLyrics3(TJsonWriter& json, const TLyrics3v2Tag& lyrics) {
  json.BeginObject();
  json.Key("exists").Value(lyrics.Exists());
  json.Key("size").Value(int64_t(lyrics.Size()));
  json.Key("fields").BeginObject();
  std::vector<std::string> seen;
  for (int i = 0; i < lyrics.Fields().Count(); ++i) {
    const TLyrics3v2Field& field = lyrics.Fields()[i];
    // A JSON object holds each key once; a repeated field shows its first occurrence.
    if (std::find(seen.begin(), seen.end(), field.Name()) != seen.end()) continue;
    seen.push_back(field.Name());
    json.Key(field.Name()).Value(AnsiToWide(field.Text()));
  }
  json.EndObject();
  json.EndObject();
}

void WriteMpeg(TJsonWriter& json, const TMPEGAudio& mpeg) {
  static constexpr const char* kBitNames[] = {"mbProtection", "mbPrivate", "mbCopyrighted", "mbOriginal"};
  json.BeginObject();
  json.Key("valid").Value(mpeg.Valid());
  json.Key("version").Value(MPEGVersionText(mpeg.Version()));
  json.Key("layer").Value(MPEGLayerText(mpeg.Layer()));
  json.Key("bitrate").Value(int64_t(mpeg.Bitrate()));
  json.Key("sampling_rate").Value(int64_t(mpeg.SamplingRate()));
  json.Key("channel_mode").Value(MPEGChannelModeText(mpeg.ChannelMode()));
  json.Key("mode_extension").Value(MPEGModeExtensionText(mpeg.ModeExtension()));
  json.Key("emphasis").Value(MPEGEmphasisText(mpeg.Emphasis()));
  json.Key("encoded_type").Value(mpeg.EncodedType());
  json.Key("frame_count").Value(uint64_t(mpeg.FrameCount()));
  json.Key("frame_length").Value(int64_t(mpeg.FrameLength()));
  json.Key("header_found_at").Value(int64_t(mpeg.HeaderFoundAt()));
  json.Key("audio_size").Value(int64_t(mpeg.AudioSize()));
  json.Key("duration").Value(mpeg.Duration());
  json.Key("duration_text").Value(mpeg.DurationToTime());
  json.Key("bits");
  WriteFlags(json, mpeg.Bits(), kBitNames);
  json.EndObject();
}

void WriteWarnings(TJsonWriter& json, const std::vector<std::string>& warnings) {
  if (warnings.empty()) return;
  json.Key("warnings").BeginArray();
  for (const std::string& w : warnings) json.Value(w);
  json.EndArray();
}

}  // namespace

std::string DescribeFile(const std::string& path, bool& ok) {
  std::vector<std::string> warnings;
  const TTagErrorHandler previous = SetTagErrorHandler(
      [&](const std::string&, const std::string& text) { warnings.push_back(text); });
  TJsonWriter json;
  std::string error;
  TID3v2Tag tag;
  tag.SetName("ID3v2Tag");
  TID3v1Tag v1;
  v1.SetName("ID3v1Tag");
  TMPEGAudio mpeg;
  mpeg.SetName("MPEGAudio");
  try {
    const TFileStatus status = SystemFileSystem().Status(path);
    if (!status.Exists) error = "File not found";
    else if (!status.IsRegular) error = "Not a regular file";
    else {
      tag.SetFileName(path);
      tag.Open();
      v1.SetFileName(path);
      v1.Open();
      mpeg.SetFileName(path);
      mpeg.Open();
    }
  } catch (const std::exception& e) {
    error = e.what();
  }
  SetTagErrorHandler(previous);

  ok = error.empty();
  json.BeginObject();
  json.Key("file").Value(path);
  if (ok) {
    json.Key("id3v2");
    WriteId3v2(json, tag);
    json.Key("id3v1");
    WriteId3v1(json, v1);
    json.Key("lyrics3");
    WriteLyrics3(json, v1.Lyrics());
    json.Key("mpeg");
    WriteMpeg(json, mpeg);
  } else {
    json.Key("error").Value(error);
  }
  WriteWarnings(json, warnings);
  json.EndObject();
  return json.Text();
}

int RunInfo(const std::vector<std::string>& files) {
  bool allOk = true;
  for (const std::string& file : files) {
    bool ok = false;
    const std::string line = DescribeFile(file, ok);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    allOk = allOk && ok;
  }
  std::fflush(stdout);
  return allOk ? 0 : 1;
}

}  // namespace cli
