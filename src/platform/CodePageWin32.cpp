#include <windows.h>

#include <array>
#include <cstdint>
#include <cstring>

#include "platform/CodePage.h"

namespace tagkana::platform {
namespace {

constexpr UINT kCp932 = 932;

bool isLeadByte(unsigned char b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

bool isTrailByte(unsigned char b) {
  return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

bool isSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDFFF;
}

// Windows gives these single bytes C1 and private-use meanings (0x80 is
// U+0080, 0xA0 and 0xFD to 0xFF are U+F8F0 to U+F8F3) that other code page 932
// converters reject. They count as invalid both ways here, so that a slot
// reads and writes alike on every OS.
bool isOddByte(unsigned char b) {
  return b == 0x80 || b == 0xA0 || b >= 0xFD;
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

std::size_t putCode(std::uint16_t code, std::array<char, 2>& out) {
  if (code < 0x100) {
    out[0] = static_cast<char>(code);
    return 1;
  }
  out[0] = static_cast<char>(code >> 8);
  out[1] = static_cast<char>(code & 0xFF);
  return 2;
}

// Encodes the character starting at text[i] into `out` (up to 2 bytes).
// Returns the bytes written; `units` receives the code units it took.
std::size_t encodeChar(std::u16string_view text, std::size_t i, std::size_t& units,
                       std::array<char, 2>& out) {
  const char16_t c = text[i];
  units = 1;
  if (c < 0x80) {
    out[0] = static_cast<char>(c);
    return 1;
  }
  if (isSurrogate(c)) {
    // Code page 932 has nothing beyond the BMP: a pair is one "?", and so is a
    // surrogate on its own.
    if (c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      units = 2;
    }
    out[0] = '?';
    return 1;
  }
  if (isOddCharacter(c)) {
    out[0] = '?';
    return 1;
  }
  for (const Fold& fold : kFolds) {
    if (fold.character == c) {
      return putCode(fold.code, out);
    }
  }
  const auto wide = static_cast<wchar_t>(c);
  std::array<char, 4> bytes{};
  BOOL usedDefault = FALSE;
  // Without best fit, "é" does not quietly become "e".
  const int size = WideCharToMultiByte(kCp932, WC_NO_BEST_FIT_CHARS, &wide, 1, bytes.data(),
                                       static_cast<int>(bytes.size()), "?", &usedDefault);
  if (size < 1 || size > 2 || usedDefault) {
    out[0] = '?';
    return 1;
  }
  out[0] = bytes[0];
  out[1] = bytes[1];
  return static_cast<std::size_t>(size);
}

// The UTF-16 code unit of one character's bytes, or false when code page 932
// assigns none.
bool decodeBytes(const char* bytes, int size, char16_t& c) {
  std::array<wchar_t, 2> wide{};
  if (MultiByteToWideChar(kCp932, MB_ERR_INVALID_CHARS, bytes, size, wide.data(),
                          static_cast<int>(wide.size())) != 1) {
    return false;
  }
  c = static_cast<char16_t>(wide[0]);
  return true;
}

// Decodes the character at the start of `bytes` into `out`. Returns the bytes
// it took, or 0 when they start no valid character; then `skip` is how many
// bytes the replacement character stands for. A pair of lead and trail byte
// that code page 932 leaves unassigned is one bad character, unless its trail
// byte is ASCII: that byte is read again on its own, so a bad lead byte never
// swallows a NUL, a quote or a letter.
std::size_t decodeChar(std::string_view bytes, std::u16string& out, std::size_t& skip) {
  const auto b0 = static_cast<unsigned char>(bytes[0]);
  skip = 1;
  char16_t c = 0;
  if (b0 < 0x80) {
    out += static_cast<char16_t>(b0);
    return 1;
  }
  if (!isLeadByte(b0)) {
    if (isOddByte(b0) || !decodeBytes(bytes.data(), 1, c)) {
      return 0;
    }
    out += c;
    return 1;
  }
  if (bytes.size() < 2) {
    return 0;
  }
  const auto b1 = static_cast<unsigned char>(bytes[1]);
  if (!isTrailByte(b1)) {
    return 0;
  }
  if (!decodeBytes(bytes.data(), 2, c)) {
    skip = b1 < 0x80 ? 1 : 2;
    return 0;
  }
  out += c;
  return 2;
}

}  // namespace

std::string encodeCp932(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  std::array<char, 2> buf{};
  for (std::size_t i = 0; i < text.size();) {
    std::size_t units = 0;
    out.append(buf.data(), encodeChar(text, i, units, buf));
    i += units;
  }
  return out;
}

std::size_t encodeCp932Slot(std::u16string_view text, std::span<char> slot) {
  std::size_t used = 0;
  std::array<char, 2> buf{};
  for (std::size_t i = 0; i < text.size() && used < slot.size();) {
    std::size_t units = 0;
    const std::size_t size = encodeChar(text, i, units, buf);
    if (used + size > slot.size()) {
      break;
    }
    std::memcpy(slot.data() + used, buf.data(), size);
    used += size;
    i += units;
  }
  std::memset(slot.data() + used, 0, slot.size() - used);
  return used;
}

std::u16string decodeCp932(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  while (!bytes.empty()) {
    std::size_t skip = 0;
    std::size_t taken = decodeChar(bytes, out, skip);
    if (taken == 0) {
      out += u'\uFFFD';
      taken = skip;
    }
    bytes.remove_prefix(taken);
  }
  return out;
}

bool isValidCp932(std::string_view bytes) {
  std::u16string scratch;
  while (!bytes.empty()) {
    std::size_t skip = 0;
    const std::size_t taken = decodeChar(bytes, scratch, skip);
    if (taken == 0) {
      return false;
    }
    bytes.remove_prefix(taken);
  }
  return true;
}

}  // namespace tagkana::platform
