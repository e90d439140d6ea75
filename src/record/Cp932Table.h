#pragma once

#include <array>
#include <cstdint>

// Code page 932 as data (Cp932Table.cpp, made by scripts/cp932-table).
namespace tagkana::record::cp932 {

// No character decodes to this noncharacter.
inline constexpr std::uint16_t kNone = 0xFFFF;

// Lead bytes 0x81-0x9F and 0xE0-0xFC; trail bytes 0x40-0xFC (0x7F is none).
inline constexpr std::size_t kLeads = 60;
inline constexpr std::size_t kTrails = 0xFD - 0x40;

// The character of each byte from 0x80 (kNone for lead bytes and bytes that
// are none), and of each lead/trail pair.
extern const std::array<std::uint16_t, 128> kSingleBytes;
extern const std::array<std::array<std::uint16_t, kTrails>, kLeads> kPairs;

// A character is encoded as the first code (single bytes, then pairs in
// order) that decodes to it, "?" when there is none; except these.
struct Encoding {
  std::uint16_t character;
  std::uint16_t code;
};
extern const std::array<Encoding, 383> kOtherEncodings;

}  // namespace tagkana::record::cp932
