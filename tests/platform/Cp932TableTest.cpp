// Every character and every code at once: the code page 932 conversion agrees
// with glibc's iconv "CP932" on all of them, on every OS. The digests were made
// by a separate program that asks glibc 2.36 iconv directly, one character or
// code at a time, and hashes the answers in the same order with FNV-1a.
// Windows passes only because its conversion follows glibc where the two part
// ways (the wave dash, the yen sign, 0x80 and a few more).
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

#include "platform/CodePage.h"
#include "platform/CodePageSystem.h"

namespace tagkana::platform {
namespace {

class Fnv1a {
 public:
  void byte(unsigned v) {
    m_hash ^= v & 0xFF;
    m_hash *= 0x100000001B3u;
  }
  void unit(unsigned v) {
    byte(v);
    byte(v >> 8);
  }
  std::uint64_t value() const { return m_hash; }

 private:
  std::uint64_t m_hash = 0xCBF29CE484222325u;
};

bool isLead(unsigned b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

bool isTrail(unsigned b) {
  return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

// What decoding a whole character's bytes says: valid or not, and its unit.
void hashDecoded(Fnv1a& hash, unsigned code, const std::string& bytes) {
  const bool valid = isValidCp932(bytes);
  hash.unit(code);
  hash.byte(valid ? 1 : 0);
  if (valid) {
    const std::u16string text = decodeCp932(bytes);
    EXPECT_EQ(text.size(), 1u) << std::hex << code;
    hash.unit(text.empty() ? 0 : text[0]);
  }
}

TEST(Cp932Table, EveryCharacterEncodesAsGlibcDoes) {
  // One digest per block of 4096 characters (surrogates left out).
  constexpr std::array<std::uint64_t, 16> expected{
      0x3D42EF7F9D36957Du, 0x58FA2FB927639125u, 0x2C8AC0B2808024B1u, 0xD227DDE0BCACD643u,
      0x12DB0D71D2BEEF6Eu, 0x7EDA0700761F6D91u, 0x4ED61B1454A09EE3u, 0x9DA9F2FE09D9D470u,
      0xDB16DDBD460DC2EFu, 0xD95CAC72EDDA9686u, 0xC9FB22B89D499D25u, 0x62F6EDACAC439B25u,
      0x1CFFD48B49EF3725u, 0xEACB3747BEF0BB25u, 0xF44F1B18752CC73Du, 0x1A6B48D365F0298Bu};
  for (unsigned block = 0; block < expected.size(); ++block) {
    Fnv1a hash;
    for (unsigned c = block * 0x1000; c < (block + 1) * 0x1000; ++c) {
      if (c >= 0xD800 && c <= 0xDFFF) {
        continue;
      }
      const std::string bytes = encodeCp932(std::u16string(1, static_cast<char16_t>(c)));
      hash.unit(c);
      hash.byte(static_cast<unsigned>(bytes.size()));
      for (const char b : bytes) {
        hash.byte(static_cast<unsigned char>(b));
      }
    }
    EXPECT_EQ(hash.value(), expected[block]) << "characters from U+" << std::hex << block * 0x1000;
  }
}

TEST(Cp932Table, EveryCodeDecodesAsGlibcDoes) {
  // Single bytes from 0x80 that lead no pair, then the pairs by lead byte
  // 0x81-0x8F, 0x90-0x9F, 0xE0-0xEF, 0xF0-0xFC.
  constexpr std::array<std::uint64_t, 5> expected{0x4C8244A805A4D6C3u, 0x2E447EA9FD3DD0D9u,
                                                  0x9C312A07698BBAC0u, 0x1F95D80DF464345Cu,
                                                  0xE1EA0214D1125108u};
  constexpr std::array<std::array<unsigned, 2>, 5> leads{
      {{0x80, 0xFF}, {0x81, 0x8F}, {0x90, 0x9F}, {0xE0, 0xEF}, {0xF0, 0xFC}}};
  for (std::size_t group = 0; group < leads.size(); ++group) {
    Fnv1a hash;
    for (unsigned b0 = leads[group][0]; b0 <= leads[group][1]; ++b0) {
      if (group == 0) {
        if (!isLead(b0)) {
          hashDecoded(hash, b0, std::string(1, static_cast<char>(b0)));
        }
        continue;
      }
      for (unsigned b1 = 0x40; b1 <= 0xFC; ++b1) {
        if (isTrail(b1)) {
          hashDecoded(hash, b0 << 8 | b1,
                      std::string{static_cast<char>(b0), static_cast<char>(b1)});
        }
      }
    }
    EXPECT_EQ(hash.value(), expected[group]) << "group " << group;
  }
}

// The record's table against the system's own converter (iconv here,
// WideCharToMultiByte and MultiByteToWideChar on Windows), character by
// character and code by code.
TEST(Cp932Table, TableIsWhatTheSystemsConverterSays) {
  int checked = 0;
  for (unsigned c = 0x80; c <= 0xFFFF; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) {
      continue;
    }
    std::uint16_t code = system::encodeCharacter(static_cast<char16_t>(c));
    if (code == 0 || (code >= 0x100 && !isLead(code >> 8))) {
      code = '?';
    }
    const std::string expected =
        code < 0x100 ? std::string(1, static_cast<char>(code))
                     : std::string{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
    const std::string bytes = encodeCp932(std::u16string(1, static_cast<char16_t>(c)));
    EXPECT_EQ(bytes, expected) << "U+" << std::hex << c;
    checked += bytes == expected ? 1 : 0;
  }
  for (unsigned code = 0x80; code <= 0xFCFC; ++code) {
    const bool pair = code >= 0x100;
    if ((!pair && isLead(code)) || (pair && (!isLead(code >> 8) || !isTrail(code & 0xFF))) ||
        (code > 0xFF && code < 0x8140)) {
      continue;
    }
    std::uint16_t unit = system::decodeCode(static_cast<std::uint16_t>(code));
    const std::string bytes =
        pair ? std::string{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)}
             : std::string(1, static_cast<char>(code));
    if (unit == 0) {
      unit = system::kNoCharacter;
    }
    EXPECT_EQ(isValidCp932(bytes), unit != system::kNoCharacter) << std::hex << code;
    if (unit != system::kNoCharacter) {
      EXPECT_EQ(decodeCp932(bytes), std::u16string(1, static_cast<char16_t>(unit)))
          << std::hex << code;
    }
  }
  EXPECT_EQ(checked, 0x10000 - 0x80 - 0x800);
}

}  // namespace
}  // namespace tagkana::platform
