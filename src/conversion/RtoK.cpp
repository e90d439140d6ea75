#include "conversion/RtoK.h"

#include <array>
#include <cstddef>
#include <cstdint>

#include "common/RuntimeError.h"
#include "conversion/RomajiTables.h"

namespace tagkana {
namespace {

// The converter is a greedy scan that looks keys up by substring search in the
// strings of RomajiTables.h. Searching those strings at every position is slow,
// so the same answers are derived from them here, at compile time, as tables
// indexed by letters.
//
// Why a letter index is enough. The key strings hold only small letters and
// hyphens, and only A-Z fold to them, so a fragment with any other character
// can never be found. In Romaji3Keys and Romaji2Keys the hyphens stand exactly
// one entry width apart (RomajiTables.cpp checks it), so a hyphen-enclosed key
// can only be found as a whole entry: its fragment is exactly one key of
// letters, and the place found is that entry's first occurrence, which is the
// entry itself because no key stands twice. DoubledKeys has no such layout; its
// hits are read from its windows, below.

constexpr int LetterCount = 26;
constexpr int NoLetter = -1;

// A-Z and a-z give 0 to 25; every other code unit, full-width letters
// included, has no letter index.
constexpr int letterIndex(char16_t c) {
  const unsigned folded = static_cast<unsigned>(c | 0x20) - u'a';
  return folded < LetterCount ? static_cast<int>(folded) : NoLetter;
}

constexpr char16_t foldCase(char16_t c) {
  return letterIndex(c) == NoLetter ? c : static_cast<char16_t>(c | 0x20);
}

constexpr std::size_t entryCount(std::u16string_view keys, std::size_t width) {
  return keys.size() / width;
}

constexpr int pairIndex(int first, int second) {
  return first * LetterCount + second;
}

constexpr int pairIndexAt(std::u16string_view keys, std::size_t at) {
  return pairIndex(letterIndex(keys[at + 1]), letterIndex(keys[at + 2]));
}

// The distinct first two letters of the three-letter keys, each a row of
// `threeLetters` below.
constexpr std::size_t countThreeLetterRows() {
  std::array<bool, LetterCount * LetterCount> seen{};
  std::size_t rows = 0;
  for (std::size_t at = 0; at + Romaji3Width < Romaji3Keys.size(); at += Romaji3Width) {
    bool& row = seen[static_cast<std::size_t>(pairIndexAt(Romaji3Keys, at))];
    rows += row ? 0 : 1;
    row = true;
  }
  return rows;
}

constexpr std::size_t Entries3 = entryCount(Romaji3Keys, Romaji3Width);
constexpr std::size_t Entries2 = entryCount(Romaji2Keys, Romaji2Width);
constexpr std::size_t ThreeLetterRows = countThreeLetterRows();
// Three letters or two give at most three characters (a longer slot fails to
// compile in trimmedSlot), one character gives one: the result is at most one
// and a half times as long as the text.
constexpr std::size_t MaxKana = 3;
constexpr std::size_t AsciiCount = 128;

// Entries are stored as index + 1 in a byte, 0 meaning none.
static_assert(Entries3 < 256 && Entries2 < 256 && ThreeLetterRows < 256);

// A slot with the spaces at its end removed.
struct Kana {
  std::array<char16_t, MaxKana> text{};
  std::uint8_t size = 0;
};

constexpr Kana trimmedSlot(std::u16string_view slots, std::size_t at, std::size_t width) {
  std::u16string_view slot = slots.substr(at, width);
  while (!slot.empty() && slot.back() == u' ') {
    slot.remove_suffix(1);
  }
  Kana kana;
  for (char16_t c : slot) {
    kana.text[kana.size++] = c;
  }
  return kana;
}

// What rules 1 to 3 give for a fragment that begins with two letters.
struct LetterPair {
  std::uint8_t threeLetterRow = 0;  // row + 1 when a three-letter key begins with the pair
  std::uint8_t twoLetterEntry = 0;  // entry + 1 in Romaji2Keys
  bool doubled = false;             // the two-letter key occurs in DoubledKeys
};

struct Lookup {
  std::array<LetterPair, LetterCount * LetterCount> pairs{};
  std::array<std::array<std::uint8_t, LetterCount>, ThreeLetterRows> threeLetters{};  // entry + 1
  std::array<Kana, Entries3> kana3{};
  std::array<Kana, Entries2> kana2{};
  bool finalHyphenDoubled = false;            // "---" occurs in DoubledKeys
  bool lastLetterDoubled = false;             // "-" + a letter + "-" does
  bool hyphenPairDoubled = false;             // a two-character key with a hyphen in it does
  std::array<char16_t, AsciiCount> single{};  // rule 4 for ASCII; other code units are copied
};

constexpr Lookup buildLookup() {
  Lookup lookup;

  std::size_t rows = 0;
  for (std::size_t entry = 0; entry < Entries3; ++entry) {
    const std::size_t at = entry * Romaji3Width;
    LetterPair& pair = lookup.pairs[static_cast<std::size_t>(pairIndexAt(Romaji3Keys, at))];
    if (pair.threeLetterRow == 0) {
      pair.threeLetterRow = static_cast<std::uint8_t>(++rows);
    }
    const auto third = static_cast<std::size_t>(letterIndex(Romaji3Keys[at + 3]));
    lookup.threeLetters[pair.threeLetterRow - 1u][third] = static_cast<std::uint8_t>(entry + 1);
    lookup.kana3[entry] = trimmedSlot(Kana3Slots, at, Romaji3Width);
  }

  for (std::size_t entry = 0; entry < Entries2; ++entry) {
    const std::size_t at = entry * Romaji2Width;
    lookup.pairs[static_cast<std::size_t>(pairIndexAt(Romaji2Keys, at))].twoLetterEntry =
        static_cast<std::uint8_t>(entry + 1);
    lookup.kana2[entry] = trimmedSlot(Kana2Slots, at, Romaji2Width);
  }

  // A key occurs in DoubledKeys exactly when it equals one of its windows of
  // the key's length, so the windows that look like keys are all the hits.
  for (std::size_t at = 0; at + 3 <= DoubledKeys.size(); ++at) {
    const std::u16string_view window = DoubledKeys.substr(at, 3);
    if (window == u"---") {
      lookup.finalHyphenDoubled = true;
    } else if (window.front() == u'-' && window.back() == u'-') {
      lookup.lastLetterDoubled = true;
    }
  }
  for (std::size_t at = 0; at + 4 <= DoubledKeys.size(); ++at) {
    const std::u16string_view window = DoubledKeys.substr(at, 4);
    if (window.front() == u'-' && window.back() == u'-') {
      const int first = letterIndex(window[1]);
      const int second = letterIndex(window[2]);
      if (first != NoLetter && second != NoLetter) {
        lookup.pairs[static_cast<std::size_t>(pairIndex(first, second))].doubled = true;
      } else {
        lookup.hyphenPairDoubled = true;
      }
    }
  }

  for (std::size_t c = 0; c < AsciiCount; ++c) {
    const auto character = static_cast<char16_t>(c);
    std::size_t q = 0;
    while (q < SingleKeys.size() && foldCase(SingleKeys[q]) != foldCase(character)) {
      ++q;
    }
    lookup.single[c] = q < SingleKeys.size() ? SingleKana[q] : character;
  }
  return lookup;
}

constexpr Lookup romajiLookup = buildLookup();

// The other keys that rule 3 builds never occur in DoubledKeys: a letter
// alone at the end of the text, or a pair with a hyphen in it. The key
// strings hold only small letters and hyphens, so nothing else can occur.
static_assert(!romajiLookup.lastLetterDoubled && !romajiLookup.hyphenPairDoubled);

// A rule that advances the position by k matches only when k characters
// remain, so the last step leaves the 1-based position at n + 1. Its signed
// 16-bit advance therefore overflows exactly when n is 32767 or more; checking
// that first gives the same outcome without building a result to throw away.
constexpr std::size_t OverflowLength = 32767;

inline char16_t* append(char16_t* out, const Kana& kana) {
  for (std::size_t i = 0; i < kana.size; ++i) {
    out[i] = kana.text[i];
  }
  return out + kana.size;
}

}  // namespace

std::u16string RtoK(std::u16string_view Romaji) {
  const std::size_t n = Romaji.size();
  if (n >= OverflowLength) {
    throw RuntimeError(u"オーバーフローしました。");
  }
  std::u16string result(n + n / 2, u'\0');
  const char16_t* in = Romaji.data();
  char16_t* const begin = result.data();
  char16_t* out = begin;
  const Lookup& lookup = romajiLookup;

  std::size_t p = 0;
  while (p < n) {
    const char16_t c = in[p];
    const std::size_t remaining = n - p;
    const int first = letterIndex(c);
    if (first != NoLetter && remaining >= 2) {
      const int second = letterIndex(in[p + 1]);
      if (second != NoLetter) {
        const LetterPair& pair = lookup.pairs[static_cast<std::size_t>(pairIndex(first, second))];
        if (pair.threeLetterRow != 0 && remaining >= 3) {
          const int third = letterIndex(in[p + 2]);
          if (third != NoLetter) {
            const std::uint8_t entry =
                lookup.threeLetters[pair.threeLetterRow - 1u][static_cast<std::size_t>(third)];
            if (entry != 0) {
              out = append(out, lookup.kana3[entry - 1u]);
              p += 3;
              continue;
            }
          }
        }
        if (pair.twoLetterEntry != 0) {
          out = append(out, lookup.kana2[pair.twoLetterEntry - 1u]);
          p += 2;
          continue;
        }
        if (pair.doubled) {
          *out++ = SmallTsu;
          p += 1;
          continue;
        }
      }
    } else if (c == u'-' && remaining == 1 && lookup.finalHyphenDoubled) {
      *out++ = SmallTsu;
      p += 1;
      continue;
    }
    *out++ = c < AsciiCount ? lookup.single[c] : c;
    p += 1;
  }
  result.resize(static_cast<std::size_t>(out - begin));
  return result;
}

}  // namespace tagkana
