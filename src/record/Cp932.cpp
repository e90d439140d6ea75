#include "record/Cp932.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>

#include "record/Cp932Table.h"

namespace tagkana::record {
namespace {

bool isLeadByte(unsigned char b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

bool isTrailByte(unsigned char b) {
  return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

bool isSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDFFF;
}

std::uint16_t leadIndex(unsigned char b) {
  return static_cast<std::uint16_t>(b <= 0x9F ? b - 0x81 : b - 0xE0 + 0x1F);
}

std::uint16_t decodeCode(std::uint16_t code) {
  if (code < 0x100) {
    return cp932::kSingleBytes[code - 0x80];
  }
  return cp932::kPairs[leadIndex(static_cast<unsigned char>(code >> 8))][(code & 0xFF) - 0x40];
}

// Every character's code, "?" for those that code page 932 lacks.
const std::array<std::uint16_t, 0x10000>& encodings() {
  static const auto table = [] {
    auto codes = std::make_unique<std::array<std::uint16_t, 0x10000>>();
    codes->fill('?');
    for (int c = 0; c < 0x80; ++c) {
      (*codes)[c] = static_cast<std::uint16_t>(c);
    }
    std::array<bool, 0x10000> taken{};
    const auto offer = [&](std::uint16_t unit, std::uint16_t code) {
      if (unit != cp932::kNone && unit >= 0x80 && !taken[unit]) {
        taken[unit] = true;
        (*codes)[unit] = code;
      }
    };
    for (unsigned b = 0x80; b < 0x100; ++b) {
      offer(cp932::kSingleBytes[b - 0x80], static_cast<std::uint16_t>(b));
    }
    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
      for (unsigned trail = 0x40; isLeadByte(static_cast<unsigned char>(lead)) && trail <= 0xFC;
           ++trail) {
        offer(decodeCode(static_cast<std::uint16_t>(lead << 8 | trail)),
              static_cast<std::uint16_t>(lead << 8 | trail));
      }
    }
    for (const cp932::Encoding& other : cp932::kOtherEncodings) {
      (*codes)[other.character] = other.code;
    }
    return codes;
  }();
  return *table;
}

std::uint16_t encodeBmp(char16_t c) {
  return encodings()[c];
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
  const std::uint16_t code = encodeBmp(c);
  if (code < 0x100) {
    out[0] = static_cast<char>(code);
    return 1;
  }
  out[0] = static_cast<char>(code >> 8);
  out[1] = static_cast<char>(code & 0xFF);
  return 2;
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
  if (b0 < 0x80) {
    out += static_cast<char16_t>(b0);
    return 1;
  }
  if (!isLeadByte(b0)) {
    const std::uint16_t c = decodeCode(b0);
    if (c == cp932::kNone) {
      return 0;
    }
    out += static_cast<char16_t>(c);
    return 1;
  }
  if (bytes.size() < 2) {
    return 0;
  }
  const auto b1 = static_cast<unsigned char>(bytes[1]);
  if (!isTrailByte(b1)) {
    return 0;
  }
  const std::uint16_t c = decodeCode(static_cast<std::uint16_t>(b0 << 8 | b1));
  if (c == cp932::kNone) {
    skip = b1 < 0x80 ? 1 : 2;
    return 0;
  }
  out += static_cast<char16_t>(c);
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
  if (used < slot.size()) {
    std::memset(slot.data() + used, 0, slot.size() - used);
  }
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
    scratch.clear();
  }
  return true;
}

}  // namespace tagkana::record
