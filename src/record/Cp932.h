#pragma once

#include <span>
#include <string>
#include <string_view>

namespace tagkana::record {

// Code page 932 (Shift-JIS as Windows writes it), the encoding of every text
// slot of the tag record on every OS. The mapping is data, the same on every
// OS: glibc iconv's "CP932", which Windows' own conversion follows.

// The whole text in code page 932. A character that code page 932 lacks (a
// surrogate pair counts as one character) becomes one "?". NUL stays NUL.
std::string encodeCp932(std::u16string_view text);

// Fills all of `slot`: as many whole characters of `text` as fit, then NUL
// bytes. A two-byte character that would straddle the end is left out.
// Returns the number of bytes of text written.
std::size_t encodeCp932Slot(std::u16string_view text, std::span<char> slot);

// Decodes every byte, NUL included, to one code unit per character. What is
// not a valid character becomes U+FFFD, so decoding never fails: a byte that
// starts none, a lead byte at the end, and an unassigned two-byte code (one
// U+FFFD for both bytes, unless the second is ASCII, which is then read on its
// own).
std::u16string decodeCp932(std::string_view bytes);

// True when every byte belongs to a valid code page 932 character.
bool isValidCp932(std::string_view bytes);

}  // namespace tagkana::record
