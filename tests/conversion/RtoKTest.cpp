#include "conversion/RtoK.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <string_view>

#include "common/RuntimeError.h"
#include "common/Utf.h"
#include "conversion/RomajiTables.h"
#include "support/LiteralRtoK.h"

namespace tagkana {
namespace {

struct Case {
  std::u16string_view romaji;
  std::u16string_view kana;
};

TEST(RtoK, EdgeCases) {
  const Case cases[] = {
      {u"", u""},
      {u"kakko", u"かっこ"},
      {u"kk", u"っk"},
      {u"konnichiwa", u"こんいちわ"},
      {u"shinbun", u"しんぶん"},
      {u"kan'i", u"かん'い"},
      {u"nnya", u"んや"},
      {u"KYOUTO", u"きょうと"},
      {u"Shi", u"し"},
      {u"ra-men-", u"らーめんっ"},
      {u"-", u"っ"},
      {u"--", u"ーっ"},
      {u"matcha", u"まtちゃ"},
      {u"xtsu", u"xつ"},
      {u"vu", u"う゛"},
      {u"va", u"う゛ぁ"},
      {u"K", u"K"},
      {u"2001", u"2001"},
      {u"あ", u"あ"},
  };
  for (const auto& [romaji, kana] : cases) {
    SCOPED_TRACE(toUtf8(romaji));
    EXPECT_EQ(RtoK(romaji), kana);
    EXPECT_EQ(test::literalRtoK(romaji), kana);
  }
}

TEST(RtoK, MatchOrderCaseAndPassThrough) {
  const Case cases[] = {
      {u"kya", u"きゃ"},  // three letters before "ky" is tried
      {u"Kya kYA KyA", u"きゃ きゃ きゃ"},
      {u"NN", u"ん"},  // "nn" is a two-letter key, not a doubled one
      {u"n", u"ん"},
      {u"N", u"ん"},
      {u"nk", u"んk"},
      {u"ka", u"か"},  // a pair at the end reaches the two-letter table
      {u"ky", u"ky"},
      {u"ttsu", u"っつ"},
      {u"TTA", u"った"},
      {u"a-i", u"あーい"},
      {u"ー-", u"ーっ"},
      {u"tokyo 2020", u"ときょ 2020"},
      {u"ｋａ", u"ｋａ"},         // full-width letters do not fold
      {u"\u212Aa", u"\u212Aあ"},  // nor does the Kelvin sign
      {u"\u0131", u"\u0131"},     // nor the dotless i
      {u"a\xD83D\xDE00i", u"あ\xD83D\xDE00い"},
      {u"\xD800\x0061\xDC00", u"\xD800あ\xDC00"},
      {u"A@[`{Z", u"あ@[`{Z"},
  };
  for (const auto& [romaji, kana] : cases) {
    SCOPED_TRACE(toUtf8(romaji));
    EXPECT_EQ(RtoK(romaji), kana);
  }
}

// The kana of every entry, written as the tables give them: a row's first
// letters, then its kana for a, i, u, e, o (and n), empty where there is none.
struct Row {
  std::u16string_view letters;
  std::array<std::u16string_view, 6> kana;
};

constexpr std::u16string_view Columns = u"aiueon";

// Checks RtoK on every key of a table, in both cases, and rebuilds the key
// and kana strings from the rows, in table order.
template <std::size_t N>
void expectTable(const Row (&rows)[N], std::size_t width, std::u16string_view keys,
                 std::u16string_view slots) {
  std::u16string builtKeys;
  std::u16string builtSlots;
  for (const auto& row : rows) {
    for (std::size_t column = 0; column < Columns.size(); ++column) {
      const std::u16string_view kana = row.kana[column];
      if (kana.empty()) {
        continue;
      }
      std::u16string key = std::u16string(row.letters) + Columns[column];
      SCOPED_TRACE(toUtf8(key));
      builtKeys += u'-';
      builtKeys += key;
      builtSlots += std::u16string(kana) + std::u16string(width - kana.size(), u' ');
      EXPECT_EQ(RtoK(key), kana);
      for (auto& c : key) {
        c = static_cast<char16_t>(c - u'a' + u'A');
      }
      EXPECT_EQ(RtoK(key), kana);
    }
  }
  builtKeys += u"-";
  EXPECT_EQ(builtKeys, keys);
  EXPECT_EQ(builtSlots, slots);
}

TEST(RtoK, EveryThreeLetterEntry) {
  const Row rows[] = {
      {u"by", {u"びゃ", u"びぃ", u"びゅ", u"びぇ", u"びょ"}},
      {u"ch", {u"ちゃ", u"ち", u"ちゅ", u"ちぇ", u"ちょ"}},
      {u"cy", {u"ちゃ", u"ちぃ", u"ちゅ", u"ちぇ", u"ちょ"}},
      {u"dh", {u"でゃ", u"でぃ", u"でゅ", u"でぇ", u"でょ"}},
      {u"dw", {u"", u"", u"どぅ", u"", u""}},
      {u"dy", {u"ぢゃ", u"ぢぃ", u"ぢゅ", u"ぢぇ", u"ぢょ"}},
      {u"fy", {u"ふゃ", u"ふぃ", u"ふゅ", u"ふぇ", u"ふょ"}},
      {u"gw", {u"ぐぁ", u"", u"", u"", u""}},
      {u"gy", {u"ぎゃ", u"ぎぃ", u"ぎゅ", u"ぎぇ", u"ぎょ"}},
      {u"hy", {u"ひゃ", u"ひぃ", u"ひゅ", u"ひぇ", u"ひょ"}},
      {u"jy", {u"じゃ", u"じぃ", u"じゅ", u"じぇ", u"じょ"}},
      {u"kw", {u"くぁ", u"", u"", u"", u""}},
      {u"ky", {u"きゃ", u"きぃ", u"きゅ", u"きぇ", u"きょ"}},
      {u"lt", {u"", u"", u"っ", u"", u""}},
      {u"ly", {u"ゃ", u"ぃ", u"ゅ", u"ぇ", u"ょ"}},
      {u"my", {u"みゃ", u"みぃ", u"みゅ", u"みぇ", u"みょ"}},
      {u"ny", {u"にゃ", u"にぃ", u"にゅ", u"にぇ", u"にょ"}},
      {u"py", {u"ぴゃ", u"ぴぃ", u"ぴゅ", u"ぴぇ", u"ぴょ"}},
      {u"ry", {u"りゃ", u"りぃ", u"りゅ", u"りぇ", u"りょ"}},
      {u"sh", {u"しゃ", u"し", u"しゅ", u"しぇ", u"しょ"}},
      {u"sy", {u"しゃ", u"しぃ", u"しゅ", u"しぇ", u"しょ"}},
      {u"th", {u"てゃ", u"てぃ", u"てゅ", u"てぇ", u"てょ"}},
      {u"ts", {u"つぁ", u"つぃ", u"つ", u"つぇ", u"つぉ"}},
      {u"tw", {u"", u"", u"とぅ", u"", u""}},
      {u"ty", {u"ちゃ", u"ちぃ", u"ちゅ", u"ちぇ", u"ちょ"}},
      {u"xt", {u"", u"", u"っ", u"", u""}},
      {u"xy", {u"ゃ", u"ぃ", u"ゅ", u"ぇ", u"ょ"}},
      {u"zy", {u"じゃ", u"じぃ", u"じゅ", u"じぇ", u"じょ"}},
  };
  expectTable(rows, 4, Romaji3Keys, Kana3Slots);
}

TEST(RtoK, EveryTwoLetterEntry) {
  const Row rows[] = {
      {u"b", {u"ば", u"び", u"ぶ", u"べ", u"ぼ"}},
      {u"c", {u"か", u"し", u"く", u"せ", u"こ"}},
      {u"d", {u"だ", u"ぢ", u"づ", u"で", u"ど"}},
      {u"f", {u"ふぁ", u"ふぃ", u"ふ", u"ふぇ", u"ふぉ"}},
      {u"g", {u"が", u"ぎ", u"ぐ", u"げ", u"ご"}},
      {u"h", {u"は", u"ひ", u"ふ", u"へ", u"ほ"}},
      {u"j", {u"じゃ", u"じ", u"じゅ", u"じぇ", u"じょ"}},
      {u"k", {u"か", u"き", u"く", u"け", u"こ"}},
      {u"l", {u"ぁ", u"ぃ", u"ぅ", u"ぇ", u"ぉ"}},
      {u"m", {u"ま", u"み", u"む", u"め", u"も"}},
      {u"n", {u"な", u"に", u"ぬ", u"ね", u"の", u"ん"}},
      {u"p", {u"ぱ", u"ぴ", u"ぷ", u"ぺ", u"ぽ"}},
      {u"q", {u"くぁ", u"くぃ", u"く", u"くぇ", u"くぉ"}},
      {u"r", {u"ら", u"り", u"る", u"れ", u"ろ"}},
      {u"s", {u"さ", u"し", u"す", u"せ", u"そ"}},
      {u"t", {u"た", u"ち", u"つ", u"て", u"と"}},
      {u"v", {u"う゛ぁ", u"う゛ぃ", u"う゛", u"う゛ぇ", u"う゛ぉ"}},
      {u"w", {u"わ", u"うぃ", u"う", u"うぇ", u"を"}},
      {u"x", {u"ぁ", u"ぃ", u"ぅ", u"ぇ", u"ぉ"}},
      {u"y", {u"や", u"い", u"ゆ", u"いぇ", u"よ"}},
      {u"z", {u"ざ", u"じ", u"ず", u"ぜ", u"ぞ"}},
  };
  expectTable(rows, 3, Romaji2Keys, Kana2Slots);
}

TEST(RtoK, DoubledConsonantsAndSingleCharacters) {
  for (const char16_t c : std::u16string_view(u"bcdfghjklmpqrstvwxyz")) {
    const std::u16string pair = {c, c};
    SCOPED_TRACE(toUtf8(pair));
    EXPECT_EQ(RtoK(pair), std::u16string(u"っ") + c);
  }
  EXPECT_EQ(RtoK(u"- n a i u e o"), u"ー ん あ い う え お");
  EXPECT_EQ(RtoK(u"- N A I U E O -"), u"ー ん あ い う え お っ");
}

TEST(RtoK, SixteenBitLimit) {
  const std::u16string longest(32766, u'a');
  EXPECT_EQ(RtoK(longest), std::u16string(32766, u'あ'));

  std::u16string syllables;
  while (syllables.size() < 32766) {
    syllables += u"kya";
  }
  EXPECT_EQ(RtoK(syllables).size(), 32766u / 3 * 2);

  std::u16string endsInHyphen(32765, u'-');
  endsInHyphen += u'-';
  EXPECT_EQ(RtoK(endsInHyphen), std::u16string(32765, u'ー') + u"っ");

  for (const std::size_t length : {32767u, 32768u, 40000u}) {
    SCOPED_TRACE(length);
    try {
      RtoK(std::u16string(length, u'a'));
      ADD_FAILURE() << "no overflow";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.description(), u"オーバーフローしました。");
    }
    EXPECT_THROW(test::literalRtoK(std::u16string(length, u'a')), RuntimeError);
  }
}

}  // namespace
}  // namespace tagkana
