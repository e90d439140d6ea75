#pragma once

#include <string>
#include <string_view>

namespace tagkana::test {

// RtoK done literally, as the reference for the fast one: at each 1-based
// position a hyphen-enclosed key is built from the text and searched for, by a
// plain substring search that folds only A-Z to a-z, in the table strings; the
// kana slot at the position found is trimmed of its end spaces. Length and
// position are signed 16-bit: a length above 32767, or an advance past it,
// throws RuntimeError (overflow).
std::u16string literalRtoK(std::u16string_view Romaji);

}  // namespace tagkana::test
