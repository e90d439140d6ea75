#pragma once

#include <array>
#include <cstddef>

#include "vbmp3.h"

namespace tagkana {

// The tag record exchanged with the tag library, in its ANSI form; the
// library's C header lays it out.
using AnsiTagRecord = std::array<unsigned char, VBMP3_RECORD_SIZE>;

namespace record {
inline constexpr std::size_t kTitleLength = VBMP3_TITLE_LENGTH;
struct TextSlot {
  std::size_t offset;
  std::size_t length;
};
inline constexpr std::array<TextSlot, 6> kTextSlots{{
    {VBMP3_TITLE_OFFSET, VBMP3_TITLE_LENGTH},
    {VBMP3_ARTIST_OFFSET, VBMP3_ARTIST_LENGTH},
    {VBMP3_ALBUM_OFFSET, VBMP3_ALBUM_LENGTH},
    {VBMP3_YEAR_OFFSET, VBMP3_YEAR_LENGTH},
    {VBMP3_COMMENT_OFFSET, VBMP3_COMMENT_LENGTH},
    {VBMP3_GENRE_NAME_OFFSET, VBMP3_GENRE_NAME_LENGTH},
}};
inline constexpr std::size_t kPaddingOffset = VBMP3_PADDING_OFFSET;
inline constexpr std::size_t kGenreNumberOffset = VBMP3_GENRE_NUMBER_OFFSET;
inline constexpr std::size_t kTrackNumberOffset = VBMP3_TRACK_NUMBER_OFFSET;

// The slots follow one another without gaps except for the padding before the
// genre number, and the values sit on 4-byte boundaries.
static_assert(sizeof(AnsiTagRecord) == 656 && kTitleLength == 128);
static_assert(kTextSlots[0].offset == 0 && kTextSlots[0].length == kTitleLength);
static_assert(kTextSlots[1].offset == kTextSlots[0].offset + kTextSlots[0].length);
static_assert(kTextSlots[2].offset == kTextSlots[1].offset + kTextSlots[1].length);
static_assert(kTextSlots[3].offset == kTextSlots[2].offset + kTextSlots[2].length);
static_assert(kTextSlots[4].offset == kTextSlots[3].offset + kTextSlots[3].length);
static_assert(kPaddingOffset == kTextSlots[4].offset + kTextSlots[4].length);
static_assert(kGenreNumberOffset == kPaddingOffset + 3 && kGenreNumberOffset % 4 == 0);
static_assert(kTextSlots[5].offset == kGenreNumberOffset + 4);
static_assert(kTrackNumberOffset == kTextSlots[5].offset + kTextSlots[5].length);
static_assert(kTrackNumberOffset % 4 == 0 && kTrackNumberOffset + 4 == sizeof(AnsiTagRecord));
}  // namespace record

}  // namespace tagkana
