// RtoK against the literal form of the conversion on generated texts.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "common/RuntimeError.h"
#include "conversion/RomajiTables.h"
#include "conversion/RtoK.h"
#include "support/LiteralRtoK.h"

namespace tagkana {
namespace {

using namespace std::string_view_literals;

// Printable ASCII as it is, everything else as \uXXXX, so that lone
// surrogates show in a failure message.
std::string describe(std::u16string_view text) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out = "\"";
  for (const char16_t c : text) {
    if (c >= 0x20 && c < 0x7F && c != u'\\') {
      out += static_cast<char>(c);
    } else {
      out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) {
        out += hex[(c >> shift) & 0xF];
      }
    }
  }
  return out + "\"";
}

// Compares the two forms and counts mismatches, so that one broken rule does
// not flood the output.
class Differ {
 public:
  void check(std::u16string_view text) {
    ++m_checked;
    const std::u16string expected = test::literalRtoK(text);
    const std::u16string actual = RtoK(text);
    if (actual != expected && ++m_failed <= 20) {
      ADD_FAILURE() << "RtoK(" << describe(text) << ") = " << describe(actual) << ", literal form "
                    << describe(expected);
    }
  }
  ~Differ() { EXPECT_EQ(m_failed, 0u) << "of " << m_checked << " texts"; }

 private:
  std::size_t m_checked = 0;
  std::size_t m_failed = 0;
};

// The keys of all four tables, each once.
std::vector<std::u16string> allKeys() {
  std::vector<std::u16string> keys;
  for (const std::u16string_view table : {Romaji3Keys, Romaji2Keys, DoubledKeys}) {
    std::size_t from = 0;
    for (std::size_t at = 0; at <= table.size(); ++at) {
      if (at == table.size() || table[at] == u'-') {
        if (at > from) {
          keys.emplace_back(table.substr(from, at - from));
        }
        from = at + 1;
      }
    }
  }
  for (const char16_t c : SingleKeys) {
    keys.emplace_back(1, c);
  }
  return keys;
}

// Every case mix of a text's letters.
std::vector<std::u16string> caseMixes(const std::u16string& text) {
  std::vector<std::u16string> mixes;
  for (unsigned mask = 0; mask < (1u << text.size()); ++mask) {
    std::u16string mixed = text;
    for (std::size_t i = 0; i < mixed.size(); ++i) {
      if ((mask >> i & 1u) && mixed[i] >= u'a' && mixed[i] <= u'z') {
        mixed[i] = static_cast<char16_t>(mixed[i] - u'a' + u'A');
      }
    }
    if (mask == 0 || mixed != text) {
      mixes.push_back(mixed);
    }
  }
  return mixes;
}

// Every key in every case mix, whole between a few neighbours, and cut short
// at the end of the text.
TEST(RtoKDifferential, EveryKeyInEveryCaseAndContext) {
  const std::u16string_view befores[] = {u"", u"k", u"n", u"-"};
  const std::u16string_view afters[] = {u"", u"a", u"y", u"-", u"'"};
  Differ differ;
  for (const auto& key : allKeys()) {
    for (const auto& mixed : caseMixes(key)) {
      for (const auto before : befores) {
        for (const auto after : afters) {
          differ.check(std::u16string(before) + mixed + std::u16string(after));
        }
        for (std::size_t cut = 1; cut < mixed.size(); ++cut) {
          differ.check(std::u16string(before) + mixed.substr(0, cut));
        }
      }
    }
  }
}

// Every text of up to three characters over the small letters and the
// hyphen, and of four over letters that begin many keys.
TEST(RtoKDifferential, EveryShortText) {
  Differ differ;
  const std::u16string_view wide = u"abcdefghijklmnopqrstuvwxyz-";
  std::u16string text;
  for (const char16_t a : wide) {
    differ.check(std::u16string{a});
    for (const char16_t b : wide) {
      differ.check(std::u16string{a, b});
      for (const char16_t c : wide) {
        differ.check(std::u16string{a, b, c});
      }
    }
  }
  const std::u16string_view narrow = u"chnstyaK-'";
  for (const char16_t a : narrow) {
    for (const char16_t b : narrow) {
      for (const char16_t c : narrow) {
        for (const char16_t d : narrow) {
          differ.check(std::u16string{a, b, c, d});
        }
      }
    }
  }
}

// Random texts mixing romaji with everything a title may hold: capitals,
// hyphens, apostrophes, digits, spaces, kana, kanji, full-width letters,
// characters that Unicode case folding would take for letters, surrogates
// alone and in pairs, and the neighbours of the ASCII letters.
class TextGenerator {
 public:
  explicit TextGenerator(std::uint32_t seed) : m_random(seed) {}

  std::u16string text(std::size_t maxLength) {
    std::u16string out;
    const std::size_t length = pick(maxLength + 1);
    while (out.size() < length) {
      append(out);
    }
    return out;
  }

  std::size_t pick(std::size_t bound) { return static_cast<std::size_t>(m_random() % bound); }

 private:
  void append(std::u16string& out) {
    static constexpr std::u16string_view lower = u"abcdefghijklmnopqrstuvwxyz";
    static constexpr std::u16string_view romaji = u"kstnhmyrwgzdbpaiueonnnyyhhtsc";
    // Ends in a NUL, which only a view literal keeps.
    static constexpr std::u16string_view others =
        u"-'0123456789 \u3042\u3093\u30FC\u3063\u6F22\uFF21\uFF4B\uFF2E\u212A\u017F\u0131\u0130"
        u"\u00C0\u0141\u0160@[`{\t\0"sv;
    switch (pick(12)) {
      case 0:
        out += static_cast<char16_t>(lower[pick(lower.size())] - u'a' + u'A');
        break;
      case 1:
      case 2:
        out += others[pick(others.size())];
        break;
      case 3:
        out += u'-';
        break;
      case 4: {
        static constexpr char16_t surrogates[][2] = {
            {0xD83D, 0xDE00}, {0xD842, 0xDFB7}, {0xD800, 0}, {0xDC00, 0}, {0xDBFF, 0}, {0xDFFF, 0}};
        const auto& s = surrogates[pick(std::size(surrogates))];
        out += s[0];
        if (s[1] != 0) {
          out += s[1];
        }
        break;
      }
      default:
        out += romaji[pick(romaji.size())];
        break;
    }
  }

  std::mt19937 m_random;
};

TEST(RtoKDifferential, RandomTexts) {
  TextGenerator generator(20240611);
  Differ differ;
  for (int i = 0; i < 3000; ++i) {
    differ.check(generator.text(i % 3 == 0 ? 6 : 64));
  }
}

TEST(RtoKDifferential, HyphensAtTheEnds) {
  TextGenerator generator(7);
  Differ differ;
  for (int i = 0; i < 1000; ++i) {
    const std::u16string hyphens(generator.pick(4), u'-');
    const std::u16string trailing(generator.pick(4), u'-');
    differ.check(hyphens + generator.text(12) + trailing);
  }
}

TEST(RtoKDifferential, TextAtTheSixteenBitLimit) {
  TextGenerator generator(32766);
  std::u16string text;
  while (text.size() < 32766) {
    text += generator.text(64);
  }
  text.resize(32765);
  text += u'-';
  Differ().check(text);
  text += u'a';
  EXPECT_THROW(RtoK(text), RuntimeError);
  EXPECT_THROW(test::literalRtoK(text), RuntimeError);
}

}  // namespace
}  // namespace tagkana
