// Prints what the engine's MPEG analysis reports for each file as one JSON object per
// line, every property under its own name, the enumerations both as their value and as
// the text the program shows.
//
// Usage: mpeg_dump FILE...

#include <cstdio>
#include <exception>
#include <string>

#include "mpegaudio.h"

#include "jsonwriter.h"

namespace {

std::string JsonString(const std::string& utf8) { return cli::JsonQuote(utf8); }

const char* Bool(bool value) { return value ? "true" : "false"; }

std::string Dump(const std::string& path) {
  tags::TMPEGAudio audio;
  audio.SetFileName(path);
  audio.Open();
  char duration[32];
  std::snprintf(duration, sizeof duration, "%.6f", audio.Duration());
  std::string bits = "[";
  const std::pair<tags::TMPEGBit, const char*> kBits[] = {{tags::mbProtection, "protection"},
                                                          {tags::mbPrivate, "private"},
                                                          {tags::mbCopyrighted, "copyrighted"},
                                                          {tags::mbOriginal, "original"}};
  for (const auto& [bit, name] : kBits) {
    if (!audio.Bits().Has(bit)) continue;
    if (bits.size() > 1) bits += ",";
    bits += JsonString(name);
  }
  bits += "]";

  std::string out = "{\"file\":" + JsonString(path);
  out += ",\"active\":" + std::string(Bool(audio.Active()));
  out += ",\"valid\":" + std::string(Bool(audio.Valid()));
  out += ",\"file_size\":" + std::to_string(audio.FileSize());
  out += ",\"header_found_at\":" + std::to_string(audio.HeaderFoundAt());
  out += ",\"audio_size\":" + std::to_string(audio.AudioSize());
  out += ",\"bitrate\":" + std::to_string(audio.Bitrate());
  out += ",\"sampling_rate\":" + std::to_string(audio.SamplingRate());
  out += ",\"frame_length\":" + std::to_string(audio.FrameLength());
  out += ",\"frame_count\":" + std::to_string(audio.FrameCount());
  out += ",\"duration\":" + std::string(duration);
  out += ",\"duration_text\":" + JsonString(audio.DurationToTime());
  out += ",\"version\":" + std::to_string(int(audio.Version()));
  out += ",\"version_text\":" + JsonString(tags::MPEGVersionText(audio.Version()));
  out += ",\"layer\":" + std::to_string(int(audio.Layer()));
  out += ",\"layer_text\":" + JsonString(tags::MPEGLayerText(audio.Layer()));
  out += ",\"channel_mode\":" + std::to_string(int(audio.ChannelMode()));
  out += ",\"channel_mode_text\":" + JsonString(tags::MPEGChannelModeText(audio.ChannelMode()));
  out += ",\"mode_extension_text\":" + JsonString(tags::MPEGModeExtensionText(audio.ModeExtension()));
  out += ",\"emphasis_text\":" + JsonString(tags::MPEGEmphasisText(audio.Emphasis()));
  out += ",\"bits\":" + bits;
  out += ",\"encoded_type\":" + JsonString(audio.EncodedType());
  out += ",\"padding_length\":" + std::to_string(audio.PaddingLength());
  out += ",\"id3v2\":" + std::string(Bool(audio.ID3v2TagExists()));
  out += ",\"id3v1\":" + std::string(Bool(audio.ID3v1TagExists()));
  out += ",\"lyrics3\":" + std::string(Bool(audio.Lyrics3v2Exists()));
  out += ",\"lyrics3_size\":" + std::to_string(audio.Lyrics3Size());
  return out + "}";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: mpeg_dump FILE...\n");
    return 2;
  }
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    try {
      std::printf("%s\n", Dump(argv[i]).c_str());
    } catch (const std::exception& e) {
      std::fprintf(stderr, "mpeg_dump: %s\n", e.what());
      status = 1;
    }
  }
  return status;
}
