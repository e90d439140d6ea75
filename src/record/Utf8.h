#pragma once

#include <string>
#include <string_view>

namespace tagkana {

// What becomes of text that does not convert: U+FFFD, or (for file names)
// each undecodable byte b kept as the lone surrogate U+DC00 + b and turned
// back into that byte, so any name the OS gives survives the round trip.
enum class Undecodable { Replace, Escape };

// UTF-16 <-> UTF-8 without any OS or Qt help. Unpaired surrogates and invalid
// UTF-8 become U+FFFD (or escapes, above), so the conversions never fail.
inline std::string toUtf8(std::u16string_view text, Undecodable mode = Undecodable::Replace) {
  std::string out;
  out.reserve(text.size() * 3);
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (mode == Undecodable::Escape && c >= 0xDC80 && c <= 0xDCFF) {
      out += static_cast<char>(c & 0xFF);
      continue;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

inline std::u16string fromUtf8(std::string_view text, Undecodable mode = Undecodable::Replace) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    int extra = b0 < 0x80           ? 0
                : (b0 >> 5) == 0x6  ? 1
                : (b0 >> 4) == 0xE  ? 2
                : (b0 >> 3) == 0x1E ? 3
                                    : -1;
    char32_t c = extra == 0   ? b0
                 : extra == 1 ? (b0 & 0x1F)
                 : extra == 2 ? (b0 & 0x0F)
                              : (b0 & 0x07);
    bool ok = extra >= 0 && i + static_cast<std::size_t>(extra) < text.size();
    for (int k = 1; ok && k <= extra; ++k) {
      const auto b = static_cast<unsigned char>(text[i + k]);
      ok = (b & 0xC0) == 0x80;
      c = (c << 6) | (b & 0x3F);
    }
    // Reject overlong forms, surrogates and values past U+10FFFF.
    ok = ok && !(extra == 1 && c < 0x80) && !(extra == 2 && c < 0x800) &&
         !(extra == 3 && c < 0x10000) && !(c >= 0xD800 && c <= 0xDFFF) && c <= 0x10FFFF;
    if (!ok) {
      out += mode == Undecodable::Escape ? static_cast<char16_t>(0xDC00 + b0) : u'\uFFFD';
      ++i;
      continue;
    }
    i += static_cast<std::size_t>(extra) + 1;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

}  // namespace tagkana
