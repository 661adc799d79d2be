#pragma once
// The ID3v1 genre names, index = genre number: the published list (0-79) and its
// common extensions (80-147).

#include <array>
#include <string_view>

namespace tags {

inline constexpr int kGenreCount = 148;
extern const std::array<std::string_view, kGenreCount> kGenreNames;

}  // namespace tags
