#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "record/RecordLayout.h"

namespace tagkana {

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
