#pragma once

#include <string>
#include <string_view>

namespace tagkana {

// Romaji to hiragana by a greedy left-to-right scan: a three-letter syllable,
// a two-letter syllable, a doubled consonant, then a single vowel, "n" or
// hyphen; anything else is copied through. Only ASCII letters fold case.
// Lengths and positions count UTF-16 code units. A text of 32767 code units or
// more throws RuntimeError (overflow) and yields nothing.
std::u16string RtoK(std::u16string_view Romaji);

}  // namespace tagkana
