#include "infocommand.h"

#include <cstdio>
#include <exception>

#include "id3v2tag.h"
#include "jsonwriter.h"

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
  try {
    const TFileStatus status = SystemFileSystem().Status(path);
    if (!status.Exists) error = "File not found";
    else if (!status.IsRegular) error = "Not a regular file";
    else {
      tag.SetFileName(path);
      tag.Open();
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
