#include <windows.h>

#include <array>
#include <cstdint>

#include "platform/CodePageSystem.h"

namespace tagkana::platform::system {
namespace {

constexpr UINT kCp932 = 932;

// Windows gives these single bytes C1 and private-use meanings (0x80 is
// U+0080, 0xA0 and 0xFD to 0xFF are U+F8F0 to U+F8F3) that other code page 932
// converters reject. They count as invalid both ways here, so that a slot
// reads and writes alike on every OS.
bool isOddByte(std::uint16_t code) {
  return code == 0x80 || code == 0xA0 || (code >= 0xFD && code <= 0xFF);
}

bool isOddCharacter(char16_t c) {
  return c == 0x0080 || (c >= 0xF8F0 && c <= 0xF8F3);
}

// Characters that Windows' table lacks but that other code page 932
// converters (glibc among them) fold onto a code of a look-alike: the wave
// dash that Unicode text from outside Windows carries, the yen sign, and a few
// more. A fold beats a "?" in a title.
struct Fold {
  char16_t character;
  std::uint16_t code;
};
constexpr std::array<Fold, 9> kFolds{{
    {0x00A2, 0x8191},  // cent sign
    {0x00A3, 0x8192},  // pound sign
    {0x00A5, 0x005C},  // yen sign
    {0x00AC, 0x81CA},  // not sign
    {0x2014, 0x815C},  // em dash
    {0x2016, 0x8161},  // double vertical line
    {0x203E, 0x007E},  // overline
    {0x2212, 0x817C},  // minus sign
    {0x301C, 0x8160},  // wave dash
}};

}  // namespace

std::uint16_t encodeCharacter(char16_t c) {
  if (isOddCharacter(c)) {
    return '?';
  }
  for (const Fold& fold : kFolds) {
    if (fold.character == c) {
      return fold.code;
    }
  }
  const auto wide = static_cast<wchar_t>(c);
  std::array<unsigned char, 4> bytes{};
  BOOL usedDefault = FALSE;
  // Without best fit, "é" does not quietly become "e".
  const int size = WideCharToMultiByte(kCp932, WC_NO_BEST_FIT_CHARS, &wide, 1,
                                       reinterpret_cast<char*>(bytes.data()),
                                       static_cast<int>(bytes.size()), "?", &usedDefault);
  if (usedDefault || size < 1 || size > 2) {
    return '?';
  }
  return size == 1 ? bytes[0] : static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
}

std::uint16_t decodeCode(std::uint16_t code) {
  if (isOddByte(code)) {
    return kNoCharacter;
  }
  std::array<char, 2> bytes{};
  int size = 1;
  if (code >= 0x100) {
    bytes = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
    size = 2;
  } else {
    bytes[0] = static_cast<char>(code);
  }
  std::array<wchar_t, 2> wide{};
  if (MultiByteToWideChar(kCp932, MB_ERR_INVALID_CHARS, bytes.data(), size, wide.data(),
                          static_cast<int>(wide.size())) != 1) {
    return kNoCharacter;
  }
  return static_cast<std::uint16_t>(wide[0]);
}

}  // namespace tagkana::platform::system
