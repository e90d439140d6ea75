#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "taglib/TagRecord.h"

namespace tagkana {
namespace {

using namespace std::string_literals;
using namespace std::string_view_literals;

// `text` followed by NULs to `length` code units.
std::u16string field(std::u16string_view text, std::size_t length) {
  std::u16string f(text);
  f.resize(length, u'\0');
  return f;
}

std::string bytes(const AnsiTagRecord& ansi, std::size_t offset, std::size_t size) {
  return std::string(reinterpret_cast<const char*>(ansi.data()) + offset, size);
}

void put(AnsiTagRecord& ansi, std::size_t offset, std::string_view text) {
  std::memcpy(ansi.data() + offset, text.data(), text.size());
}

std::u16string repeat(std::u16string_view text, std::size_t times) {
  std::u16string out;
  for (std::size_t i = 0; i < times; ++i) {
    out += text;
  }
  return out;
}

TEST(TagRecord, AnsiFormPutsEachFieldAtItsOffset) {
  TagRecord record;
  record.Title = field(u"T", 128);
  record.Artist = field(u"A", 128);
  record.Album = field(u"B", 128);
  record.Year = u"1999\0"s;
  record.Comment = field(u"C", 128);
  record.GenreNumber = {0x11, 0x22, 0x33, 0x44};
  record.GenreName = field(u"G", 128);
  record.TrackNumber = {0x01, 0x02, 0x03, 0x04};

  AnsiTagRecord ansi;
  ansi.fill(0xEE);  // whatever the buffer held before, every byte is rewritten
  record.toAnsi(ansi);

  EXPECT_EQ(bytes(ansi, 0, 2), "T\0"sv);
  EXPECT_EQ(bytes(ansi, 127, 3), "\0A\0"sv);
  EXPECT_EQ(bytes(ansi, 255, 3), "\0B\0"sv);
  EXPECT_EQ(bytes(ansi, 383, 7),
            "\0"
            "1999\0C"sv);
  EXPECT_EQ(bytes(ansi, 516, 4), "\0\0\0\0"sv);  // padding 517 to 519
  EXPECT_EQ(bytes(ansi, 520, 5), "\x11\x22\x33\x44G"sv);
  EXPECT_EQ(bytes(ansi, 651, 5), "\0\x01\x02\x03\x04"sv);
  EXPECT_EQ(std::count(ansi.begin(), ansi.end(), 0xEE), 0);

  TagRecord back;
  back.fromAnsi(ansi);
  EXPECT_EQ(back, record);
}

TEST(TagRecord, ValidBytesRoundTripUnchanged) {
  AnsiTagRecord ansi{};
  // A slot need not end in a NUL, and bytes after a NUL are kept too.
  for (std::size_t i = 0; i < 64; ++i) {
    put(ansi, 2 * i, "\x82\xA0");  // あ fills the whole title slot
  }
  put(ansi, 128, "Artist\0junk after the NUL"sv);
  put(ansi, 256, "\x93\xFA\x96\x7B\xB1\xB2 \x87\x40\xFA\x40");  // 日本ｱｲ ①ⅰ
  put(ansi, 384, "2024\0"sv);
  put(ansi, 389, std::string(128, '~'));
  put(ansi, 520, "\xFF\x00\x80\x7F"sv);
  put(ansi, 524, "Pop\0"sv);
  put(ansi, 652, "\x0C\x00\x00\x00"sv);

  TagRecord record;
  record.fromAnsi(ansi);
  EXPECT_EQ(record.Title, repeat(u"あ", 64) + std::u16string(64, u'\0'));
  EXPECT_EQ(record.Year.size(), 5u);
  EXPECT_EQ(record.Comment, std::u16string(128, u'~'));
  EXPECT_EQ(record.GenreNumber, (std::array<unsigned char, 4>{0xFF, 0x00, 0x80, 0x7F}));

  AnsiTagRecord again;
  again.fill(0xEE);
  record.toAnsi(again);
  EXPECT_EQ(again, ansi);
}

TEST(TagRecord, FreshRecordIsAllNul) {
  TagRecord record;
  record.assignTitle(u"sakura");
  record.Comment = field(u"x", 128);
  record.TrackNumber = {1, 0, 0, 0};
  record = TagRecord{};

  EXPECT_EQ(record.Title, std::u16string(128, u'\0'));
  EXPECT_EQ(TrimNul(record.Title), u"");
  EXPECT_EQ(record.Year, std::u16string(5, u'\0'));
  AnsiTagRecord ansi;
  ansi.fill(0xEE);
  record.toAnsi(ansi);
  EXPECT_EQ(ansi, AnsiTagRecord{});
}

TEST(TagRecord, NulTerminatedSlotReadsAsItsText) {
  AnsiTagRecord ansi{};
  put(ansi, 0, "\x82\xB3\x82\xAD\x82\xE7 Sakura\0garbage"sv);  // さくら Sakura
  put(ansi, 128, std::string(128, 'x'));
  TagRecord record;
  record.fromAnsi(ansi);
  EXPECT_EQ(record.Title.size(), 128u);
  EXPECT_EQ(TrimNul(record.Title), u"さくら Sakura");

  // A slot that the text fills to its end has no NUL; 64 two-byte characters
  // decode to 64 code units and the rest of the field is NUL.
  for (std::size_t i = 0; i < 64; ++i) {
    put(ansi, 2 * i, "\x82\xA9");
  }
  record.fromAnsi(ansi);
  EXPECT_EQ(record.Title.size(), 128u);
  EXPECT_EQ(TrimNul(record.Title), repeat(u"か", 64));
  EXPECT_EQ(record.Artist, std::u16string(128, u'x'));
}

TEST(TagRecord, AssignTitleIsFixedLength) {
  TagRecord record;
  record.assignTitle(u"abc");
  EXPECT_EQ(record.Title, u"abc" + std::u16string(125, u' '));

  const std::u16string longText = repeat(u"0123456789", 13);  // 130
  record.assignTitle(longText);
  EXPECT_EQ(record.Title, longText.substr(0, 128));

  record.assignTitle(u"");
  EXPECT_EQ(record.Title, std::u16string(128, u' '));

  record.assignTitle(u"a\0b"sv);  // a NUL only when the text holds one
  EXPECT_EQ(record.Title, u"a\0b"s + std::u16string(125, u' '));
  EXPECT_EQ(TrimNul(record.Title), u"a");

  EXPECT_EQ(record.Artist, std::u16string(128, u'\0'));
}

TEST(TagRecord, KanaTitleFillsSlotWithSpacesAndNoNul) {
  for (const std::size_t k : {1u, 2u, 10u, 63u, 64u}) {
    TagRecord record;
    record.assignTitle(repeat(u"か", k));
    AnsiTagRecord ansi{};
    record.toAnsi(ansi);
    std::string expected;
    for (std::size_t i = 0; i < k; ++i) {
      expected += "\x82\xA9";
    }
    expected += std::string(128 - 2 * k, ' ');
    EXPECT_EQ(bytes(ansi, 0, 128), expected) << k << " kana";
  }

  // The 65th kana has no room and is lost; the next slot stays untouched.
  TagRecord record;
  record.assignTitle(repeat(u"か", 64) + u"き");
  record.Artist = field(u"Z", 128);
  AnsiTagRecord ansi{};
  record.toAnsi(ansi);
  std::string expected;
  for (std::size_t i = 0; i < 64; ++i) {
    expected += "\x82\xA9";
  }
  EXPECT_EQ(bytes(ansi, 0, 129), expected + "Z");
}

TEST(TagRecord, CharacterNeverStraddlesSlotEnd) {
  TagRecord record;
  // 1 + 63 * 2 = 127 bytes; the 64th kana would need bytes 127 and 128.
  record.assignTitle(u"a" + repeat(u"か", 64));
  record.Artist = field(u"Z", 128);
  record.Year = u"あいう\0\0"s;
  record.Comment = field(u"C", 128);
  AnsiTagRecord ansi{};
  record.toAnsi(ansi);

  std::string title = "a";
  for (std::size_t i = 0; i < 63; ++i) {
    title += "\x82\xA9";
  }
  EXPECT_EQ(bytes(ansi, 0, 129), title + "\0Z"s);
  EXPECT_EQ(bytes(ansi, 384, 6), "\x82\xA0\x82\xA2\0C"sv);  // う left out of the year
}

TEST(TrimNul, CutsBeforeTheFirstNul) {
  EXPECT_EQ(TrimNul(u""), u"");
  EXPECT_EQ(TrimNul(u"Sakura  "), u"Sakura  ");
  EXPECT_EQ(TrimNul(u"\0Sakura"sv), u"");
  EXPECT_EQ(TrimNul(u"ab\0cd\0ef"sv), u"ab");
  EXPECT_EQ(TrimNul(u"ab\0\0\0"sv), u"ab");
  // Only code unit 0 ends the text: not the ideographic space, not U+2400.
  EXPECT_EQ(TrimNul(u"a\u3000b\u2400c"), u"a\u3000b\u2400c");

  const std::u16string argument = u"abc\0def"s;
  EXPECT_EQ(TrimNul(argument), u"abc");
  EXPECT_EQ(argument, u"abc\0def"s);
}

}  // namespace
}  // namespace tagkana
