#include <gtest/gtest.h>

#include <array>
#include <string>
#include <string_view>
#include <utility>

#include "platform/CodePage.h"

namespace tagkana::platform {
namespace {

using namespace std::string_literals;
using namespace std::string_view_literals;

TEST(CodePage932, EncodesAsGlibcCp932Does) {
  const std::pair<std::u16string, std::string> cases[] = {
      {u"Sakura 123", "Sakura 123"},
      {u"\\~", "\x5C\x7E"},  // ASCII stays ASCII, backslash and tilde included
      {u"\0a"s, "\0a"s},
      {u"さくら", "\x82\xB3\x82\xAD\x82\xE7"},
      {u"カナ", "\x83\x4A\x83\x69"},
      {u"ｱｰｯﾟ", "\xB1\xB0\xAF\xDF"},          // half-width katakana: one byte each
      {u"\u301C\uFF5E", "\x81\x60\x81\x60"},  // wave dash and full-width tilde
      {u"\u2212\uFF0D", "\x81\x7C\x81\x7C"},  // minus sign and full-width hyphen-minus
      {u"\u00A5\u203E", "\x5C\x7E"},          // yen sign and overline fold into ASCII
      {u"\u2460\u2160", "\x87\x40\x87\x54"},  // NEC row 13: ①, Ⅰ
      {u"\u2170\u7E8A", "\xFA\x40\xFA\x5C"},  // IBM extension wins over the NEC-selected row
      {u"\uFFE2", "\x81\xCA"},
      {u"\uE000", "\xF0\x40"},  // user-defined area
      // What code page 932 lacks: one "?" per character, a surrogate pair included.
      {u"caf\u00E9", "caf?"},
      {u"\u0080\uFFFD", "??"},
      {u"a\U0001F600b", "a?b"},
      {u"\xD800"s + u"a" + u"\xDC00", "?a?"},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(encodeCp932(text), expected) << encodeCp932(text);
  }
}

TEST(CodePage932, DecodesAsGlibcCp932Does) {
  const std::pair<std::string, std::u16string> cases[] = {
      {"Sakura\x5C\x7E", u"Sakura\\~"},        {"a\0\0b"s, u"a\0\0b"s},
      {"\x82\xB3\x82\xAD\x82\xE7", u"さくら"}, {"\xA1\xB1\xDF", u"\uFF61ｱﾟ"},
      {"\x81\x60\x81\x7C", u"\uFF5E\uFF0D"},   {"\x87\x40\x87\x54", u"①Ⅰ"},
      {"\xED\x40\xFA\x5C", u"\u7E8A\u7E8A"},  // NEC-selected IBM row and IBM row alike
      {"\xEE\xEF\xFA\x40", u"\u2170\u2170"},   {"\x81\xCA\xEE\xF9\xFA\x54", u"\uFFE2\uFFE2\uFFE2"},
      {"\xF0\x40\xF9\xFC", u"\uE000\uE757"},
  };
  for (const auto& [bytes, expected] : cases) {
    EXPECT_EQ(decodeCp932(bytes), expected);
    EXPECT_TRUE(isValidCp932(bytes));
  }
  EXPECT_TRUE(isValidCp932(""));
}

TEST(CodePage932, InvalidBytesDecodeToReplacementCharacter) {
  const std::pair<std::string, std::u16string> cases[] = {
      {"\x80", u"\uFFFD"},
      {"\xA0", u"\uFFFD"},
      {"\xFD\xFE\xFF", u"\uFFFD\uFFFD\uFFFD"},
      {"ab\x82", u"ab\uFFFD"},      // lead byte at the end
      {"\x82\0c"s, u"\uFFFD\0c"s},  // a NUL is never swallowed
      {"\x82 c", u"\uFFFD c"},      // nor a byte that cannot trail
      {"\x85\x40z", u"\uFFFD@z"},   // unassigned: an ASCII trail byte is read again
      {"\x85\x9Fz", u"\uFFFDz"},    // unassigned: one character for both bytes
      {"\x82\xA0\x80\x82\xA0", u"あ\uFFFDあ"},
  };
  for (const auto& [bytes, expected] : cases) {
    EXPECT_EQ(decodeCp932(bytes), expected);
    EXPECT_FALSE(isValidCp932(bytes));
  }
}

TEST(CodePage932, KanaAndAsciiRoundTrip) {
  std::u16string text;
  for (char16_t c = 0; c < 0x80; ++c) {
    text += c;
  }
  for (char16_t c = u'ぁ'; c <= u'ん'; ++c) {
    text += c;
  }
  for (char16_t c = u'ァ'; c <= u'ヶ'; ++c) {
    text += c;
  }
  for (char16_t c = 0xFF61; c <= 0xFF9F; ++c) {
    text += c;
  }
  text += u"ー、。「」　漢字";
  const std::string bytes = encodeCp932(text);
  EXPECT_EQ(bytes.find('?'), 63u);  // the only "?" is the ASCII one
  EXPECT_EQ(bytes.find('?', 64), std::string::npos);
  EXPECT_EQ(decodeCp932(bytes), text);
  EXPECT_EQ(decodeCp932(encodeCp932(text)), text);  // a second time, from what is kept
}

TEST(CodePage932, SlotHoldsOnlyWholeCharacters) {
  struct Case {
    std::u16string text;
    std::string slot;
    std::size_t used;
  };
  const Case cases[] = {
      {u"", "\0\0\0\0\0"s, 0},
      {u"ab", "ab\0\0\0"s, 2},
      {u"abcde", "abcde", 5},
      {u"abcdef", "abcde", 5},
      {u"あいう", "\x82\xA0\x82\xA2\0"s, 4},  // う would straddle the end
      {u"aあいう", "a\x82\xA0\x82\xA2", 5},
      {u"abcdあe", "abcd\0"s, 4},  // nothing follows a left-out character
      {u"ｱｲｳｴｵｶ", "\xB1\xB2\xB3\xB4\xB5", 5},
      {u"abcd\U0001F600", "abcd?", 5},
  };
  for (const auto& [text, expected, expectedUsed] : cases) {
    std::array<char, 6> buffer;
    buffer.fill('#');
    const std::size_t used = encodeCp932Slot(text, std::span(buffer.data(), 5));
    EXPECT_EQ(std::string(buffer.data(), 5), expected);
    EXPECT_EQ(used, expectedUsed);
    EXPECT_EQ(buffer[5], '#');  // nothing past the slot
  }
  EXPECT_EQ(encodeCp932Slot(u"a", std::span<char>()), 0u);
}

}  // namespace
}  // namespace tagkana::platform
