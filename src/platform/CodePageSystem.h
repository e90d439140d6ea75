#pragma once

#include <cstdint>

// What each OS's own converter answers for one character; the common code in
// CodePage.cpp asks each question once per process and does the rest.
namespace tagkana::platform::system {

// No character decodes to this noncharacter.
inline constexpr std::uint16_t kNoCharacter = 0xFFFF;

// The code page 932 code of a BMP character that is neither ASCII nor a
// surrogate: below 0x100 one byte, from 0x8140 on two bytes (lead byte high);
// "?" when code page 932 lacks it.
std::uint16_t encodeCharacter(char16_t c);

// The UTF-16 code unit of a one-byte code (>= 0x80) or a lead/trail pair, or
// kNoCharacter when code page 932 assigns none.
std::uint16_t decodeCode(std::uint16_t code);

}  // namespace tagkana::platform::system
