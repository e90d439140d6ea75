#pragma once

#include <array>
#include <cstddef>
#include <string_view>

// The 128-byte ID3v1.1 tag at the end of a file, for reading and patching.
namespace vbmp3::id3v1 {

inline constexpr std::size_t kSize = 128;

struct Field {
  std::size_t offset;
  std::size_t size;
};
// Title, artist, album, year and comment, in the order of the record's slots.
inline constexpr std::array<Field, 5> kText{{{3, 30}, {33, 30}, {63, 30}, {93, 4}, {97, 30}}};
inline constexpr std::size_t kComment = 4;
// ID3v1.1 keeps a track number in the comment's last two bytes: a zero, then
// the number.
inline constexpr std::size_t kTrackMarker = 125;
inline constexpr std::size_t kTrack = 126;
inline constexpr std::size_t kGenre = 127;

inline bool isTag(std::string_view block) {
  return block.size() == kSize && block.substr(0, 3) == "TAG";
}

inline bool hasTrack(std::string_view block) {
  return block[kTrackMarker] == '\0' && block[kTrack] != '\0';
}

// The comment's size: two bytes shorter when a track number follows it.
inline std::size_t commentSize(std::string_view block) {
  return hasTrack(block) ? kText[kComment].size - 2 : kText[kComment].size;
}

}  // namespace vbmp3::id3v1
