#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "vbmp3/vbmp3.h"

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

// The program's own UTF-16 form: every text field holds exactly its length in
// code units, always.
struct TagRecord {
  std::u16string Title = std::u16string(128, u'\0');
  std::u16string Artist = std::u16string(128, u'\0');
  std::u16string Album = std::u16string(128, u'\0');
  std::u16string Year = std::u16string(5, u'\0');
  std::u16string Comment = std::u16string(128, u'\0');
  std::array<unsigned char, 4> GenreNumber{};
  std::u16string GenreName = std::u16string(128, u'\0');
  std::array<unsigned char, 4> TrackNumber{};

  // The ANSI form, built into a caller-owned buffer. Each field's code units
  // are encoded in code page 932 ("?" for what it lacks) and as many whole
  // characters as fit reach the slot: one that would straddle the slot's end
  // is left out with all that follows it, and the bytes left over are NUL. The
  // padding is set to zero.
  void toAnsi(AnsiTagRecord& ansi) const;

  // Replaces every field from an ANSI form. A slot decodes to at most its
  // length in code units (bytes that are no character become U+FFFD); the
  // rest of the field is NUL.
  void fromAnsi(const AnsiTagRecord& ansi);

  // Fixed-length assignment of the title: left-aligned, filled with spaces to
  // 128 code units or cut to 128; no NUL is added.
  void assignTitle(std::u16string_view text);

  bool operator==(const TagRecord&) const = default;
};

// True when `text` reaches the record's title slot whole: its code page 932
// form, without the spaces at its end (padding), within the slot's bytes.
bool fitsTitleSlot(std::u16string_view text);

// The text cut before its first NUL (code unit 0, compared exactly); without a
// NUL the whole text, trailing spaces included.
std::u16string TrimNul(std::u16string_view text);

}  // namespace tagkana
