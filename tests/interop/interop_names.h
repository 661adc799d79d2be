#pragma once
// The words the interop programs use for flags, shared by the writer (which reads them
// from a case description) and the dumper (which prints them), so that the Python side
// speaks one vocabulary in both directions.

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "id3v2frame.h"
#include "id3v2header.h"

namespace interop {

inline constexpr std::pair<tags::TID3v2HeaderFlag, const char*> kHeaderFlagNames[] = {
    {tags::hfUnsynchronisation, "unsync"},
    {tags::hfExtendedHeader, "extended"},
    {tags::hfExperimentalIndicator, "experimental"},
    {tags::hfFooterPresent, "footer"},
    {tags::hfCompressed, "compressed"},
};

inline constexpr std::pair<tags::TID3v2ExtendedHeaderFlag, const char*> kExtendedFlagNames[] = {
    {tags::ehfTagIsAnUpdate, "update"},
    {tags::ehfCRCDataPresent, "crc"},
    {tags::ehfTagRestrictions, "restrictions"},
};

inline constexpr std::pair<tags::TID3v2FrameHeaderFlag, const char*> kFrameFlagNames[] = {
    {tags::fhfTagAlterDiscarded, "tagalter"},
    {tags::fhfFileAlterDiscarded, "filealter"},
    {tags::fhfReadOnly, "readonly"},
    {tags::fhfCompressed, "compressed"},
    {tags::fhfEncrypted, "encrypted"},
    {tags::fhfGrouping, "grouping"},
    {tags::fhfUnsynchronisation, "unsync"},
    {tags::fhfDataLengthIndicator, "datalength"},
};

template <class E, size_t N>
std::optional<E> FlagByName(const std::pair<E, const char*> (&table)[N], std::string_view name) {
  for (const auto& [flag, text] : table)
    if (name == text) return flag;
  return std::nullopt;
}

}  // namespace interop
