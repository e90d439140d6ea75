#include "conversion/RomajiTables.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tagkana {
namespace {

struct PairedTable {
  const char* name;
  std::u16string_view keys;
  std::u16string_view slots;
  std::size_t width;
};

const std::vector<PairedTable>& pairedTables() {
  static const std::vector<PairedTable> tables = {
      {"three-letter", Romaji3Keys, Kana3Slots, 4},
      {"two-letter", Romaji2Keys, Kana2Slots, 3},
  };
  return tables;
}

std::size_t count(std::u16string_view text, std::u16string_view part) {
  std::size_t found = 0;
  for (auto at = text.find(part); at != std::u16string_view::npos; at = text.find(part, at + 1)) {
    ++found;
  }
  return found;
}

TEST(RomajiTables, Lengths) {
  EXPECT_EQ(Romaji3Keys.size(), 465u);
  EXPECT_EQ(Kana3Slots.size(), 464u);
  EXPECT_EQ(Romaji2Keys.size(), 319u);
  EXPECT_EQ(Kana2Slots.size(), 318u);
  EXPECT_EQ(DoubledKeys.size(), 63u);
  EXPECT_EQ(SingleKeys.size(), 7u);
  EXPECT_EQ(SingleKana.size(), 7u);
}

TEST(RomajiTables, KyaStandsAt193WithItsKana) {
  EXPECT_EQ(Romaji3Keys.find(u"-kya-") + 1, 193u);
  EXPECT_EQ(Kana3Slots.substr(192, 4), u"きゃ  ");
}

// Each hyphen-enclosed key is found first at its own entry, which is where its
// slot begins, and the slot with its end spaces removed is a kana without spaces.
TEST(RomajiTables, EveryKeyIsFoundAtTheFirstPositionOfItsSlot) {
  for (const auto& table : pairedTables()) {
    SCOPED_TRACE(table.name);
    ASSERT_EQ(table.keys.size(), table.slots.size() + 1);
    for (std::size_t at = 0; at < table.slots.size(); at += table.width) {
      const std::u16string_view key = table.keys.substr(at, table.width + 1);
      EXPECT_EQ(table.keys.find(key), at) << "entry at " << at;
      EXPECT_EQ(key.front(), u'-');
      EXPECT_EQ(key.back(), u'-');
      std::u16string_view slot = table.slots.substr(at, table.width);
      while (!slot.empty() && slot.back() == u' ') {
        slot.remove_suffix(1);
      }
      EXPECT_FALSE(slot.empty()) << "entry at " << at;
      EXPECT_EQ(slot.find(u' '), std::u16string_view::npos) << "entry at " << at;
    }
  }
}

TEST(RomajiTables, ThreeLetterKanaLeaveTwoSpaces) {
  for (std::size_t at = 0; at < Kana3Slots.size(); at += 4) {
    EXPECT_EQ(Kana3Slots.substr(at + 2, 2), u"  ") << "entry at " << at;
  }
}

TEST(RomajiTables, KeyStringsHoldSmallLettersAndSingleHyphens) {
  for (const std::u16string_view keys : {Romaji3Keys, Romaji2Keys, DoubledKeys, SingleKeys}) {
    for (const char16_t c : keys) {
      EXPECT_TRUE(c == u'-' || (c >= u'a' && c <= u'z')) << static_cast<int>(c);
    }
  }
  EXPECT_EQ(Romaji3Keys.find(u"--"), std::u16string_view::npos);
  EXPECT_EQ(Romaji2Keys.find(u"--"), std::u16string_view::npos);
}

TEST(RomajiTables, KanaStringsHoldHiraganaAndTheirMarks) {
  for (const std::u16string_view kana : {Kana3Slots, Kana2Slots}) {
    for (const char16_t c : kana) {
      EXPECT_TRUE(c == u' ' || (c >= u'\u3041' && c <= u'\u3093') || c == u'\u309B')
          << static_cast<int>(c);
    }
  }
  EXPECT_NE(Kana2Slots.find(u"う\u309Bぁう\u309Bぃう\u309B う\u309Bぇう\u309Bぉ"),
            std::u16string_view::npos);
  EXPECT_EQ(SingleKana, u"\u30FCんあいうえお");
  EXPECT_EQ(SmallTsu, u'\u3063');
}

TEST(RomajiTables, DoubledKeysHoldTwentyPairsAndOneTripleHyphen) {
  EXPECT_EQ(count(DoubledKeys, u"---"), 1u);
  EXPECT_EQ(count(DoubledKeys, u"nn"), 0u);
  EXPECT_EQ(DoubledKeys.find(u"-mm---pp-"), 27u);
  for (const char16_t c : std::u16string_view(u"bcdfghjklmpqrstvwxyz")) {
    const std::u16string key = {u'-', c, c, u'-'};
    EXPECT_EQ(count(DoubledKeys, key), 1u) << static_cast<char>(c);
  }
}

}  // namespace
}  // namespace tagkana
