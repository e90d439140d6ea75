// The ID3v2 walker and editor on tags written byte by byte: where each part
// lies, and what an edit makes of it.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "Id3v2.h"

namespace vbmp3test {
namespace {

namespace id3v2 = vbmp3::id3v2;

std::string header(int major, std::uint8_t flags, std::size_t bodySize) {
  std::string out = "ID3";
  out += static_cast<char>(major);
  out += '\0';
  out += static_cast<char>(flags);
  for (int i = 3; i >= 0; --i) {
    out += static_cast<char>((bodySize >> (7 * i)) & 0x7F);
  }
  return out;
}

// A frame with a plain (2.3) or syncsafe (2.4) size.
std::string frame(int major, std::string_view id, std::string_view body) {
  std::string out(id);
  for (int i = 3; i >= 0; --i) {
    out += static_cast<char>(major == 4 ? (body.size() >> (7 * i)) & 0x7F : body.size() >> (8 * i));
  }
  out.append(2, '\0');
  return out.append(body);
}

std::string tag(int major, std::uint8_t flags, const std::string& body) {
  const bool footer = (flags & 0x10) != 0;
  const std::string head = header(major, flags, body.size());
  return head + body + (footer ? "3DI" + head.substr(3) : std::string());
}

struct Span {
  std::string id;
  std::size_t begin, end;
  bool empty = false;
  bool operator==(const Span&) const = default;
};

std::vector<Span> spans(const id3v2::Layout& layout) {
  std::vector<Span> out;
  for (const auto& f : layout.frames) {
    out.push_back({f.id, f.begin, f.end, f.empty});
  }
  return out;
}

const std::string kTitle = frame(3, "TIT2", std::string("\0abc", 4));  // 14 bytes
const std::string kArtist = frame(3, "TPE1", std::string("\0x", 2));   // 12 bytes
const std::string kEmpty = frame(3, "TENC", "");                       // 10 bytes
const std::string kExtended3("\0\0\0\x06\0\0\0\0\0\x07", 10);          // padding size 7
const std::string kExtended4("\0\0\0\x06\x01\0", 6);
const std::string kFooterTitle = frame(4, "TIT2", std::string("\0abc", 4));
const std::string kSmallLast = frame(4, "TDRC", "1");  // 11 bytes, within the footer's ten

TEST(Id3v2Walk, EachPartWhereItLies) {
  struct Case {
    std::string name;
    std::string bytes;
    std::size_t framesBegin;
    std::vector<Span> frames;
    std::size_t framesEnd, keptEnd, spaceEnd;
  };
  const std::vector<Case> cases{
      {"2.3",
       tag(3, 0, kTitle + kArtist + std::string(20, '\0')),
       10,
       {{"TIT2", 10, 24}, {"TPE1", 24, 36}},
       36,
       36,
       56},
      {"empty frame before the title",
       tag(3, 0, kEmpty + kTitle + std::string(10, '\0')),
       10,
       {{"TENC", 10, 20, true}, {"TIT2", 20, 34}},
       34,
       34,
       44},
      {"2.3 extended header",
       tag(3, 0x40, kExtended3 + kTitle + std::string(7, '\0')),
       20,
       {{"TIT2", 20, 34}},
       34,
       34,
       41},
      {"2.4 extended header",
       tag(4, 0x40, kExtended4 + kFooterTitle + std::string(5, '\0')),
       16,
       {{"TIT2", 16, 30}},
       30,
       30,
       35},
      // TagLib takes the footer off a body that never held it: the small last
      // frame is not a frame to it, but bytes to keep.
      {"2.4 footer, small last frame",
       tag(4, 0x10, kFooterTitle + kSmallLast),
       10,
       {{"TIT2", 10, 24}},
       24,
       35,
       35},
      // iTunes writes 2.4 frames with 2.3 sizes: the plain size is taken
      // when only it lands on a frame id (the syncsafe one, 172, would not).
      {"2.4 frame with a 2.3 size",
       tag(4, 0,
           std::string("TIT2\0\0\x01\x2C\0\0\0", 11) + std::string(299, 'a') +
               frame(4, "TPE1", std::string("\0x", 2)) + std::string(20, '\0')),
       10,
       {{"TIT2", 10, 320}, {"TPE1", 320, 332}},
       332,
       332,
       352},
      // 0xFF before 0xFE gains a zero: raw offsets count it.
      {"2.3 unsynchronised",
       tag(3, 0x80,
           std::string("TIT2\0\0\0\x05\0\0\x01\xFF\0\xFE"
                       "a\0",
                       16) +
               kArtist + std::string(4, '\0')),
       10,
       {{"TIT2", 10, 26}, {"TPE1", 26, 38}},
       38,
       38,
       42},
      // Its stuffed zero belongs to the frame that ends in 0xFF.
      {"2.3 unsynchronised, a frame ending in 0xFF",
       tag(3, 0x80, kTitle + std::string("TPE1\0\0\0\x03\0\0\0x\xFF\0", 14) + std::string(4, '\0')),
       10,
       {{"TIT2", 10, 24}, {"TPE1", 24, 38}},
       38,
       38,
       42},
      // Unseen up to 20 bytes, seen from 21.
      {"2.4 footer, last frame of 20 bytes",
       tag(4, 0x10, kFooterTitle + frame(4, "TDRC", "2001-02-03")),
       10,
       {{"TIT2", 10, 24}},
       24,
       44,
       44},
      {"2.4 footer, last frame of 21 bytes",
       tag(4, 0x10, kFooterTitle + frame(4, "TDRC", "2001-02-03T")),
       10,
       {{"TIT2", 10, 24}, {"TDRC", 24, 45}},
       45,
       45,
       45},
      {"bytes after a frame TagLib stops at",
       tag(3, 0, kTitle + std::string("TALB\x7F\0\0\0\0\0", 10) + "z" + std::string(3, '\0')),
       10,
       {{"TIT2", 10, 24}},
       24,
       35,
       38},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto layout = id3v2::walk(c.bytes);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->framesBegin, c.framesBegin);
    EXPECT_EQ(spans(*layout), c.frames);
    EXPECT_EQ(layout->framesEnd, c.framesEnd);
    EXPECT_EQ(layout->keptEnd, c.keptEnd);
    EXPECT_EQ(layout->spaceEnd, c.spaceEnd);
  }
  // An extended header larger than the body, a tag shorter than its size.
  EXPECT_FALSE(id3v2::walk(tag(3, 0x40, std::string("\0\0\0\x20\0\0", 6) + kTitle)));
  EXPECT_FALSE(id3v2::walk(tag(3, 0, kTitle).substr(0, 20)));
}

TEST(Id3v2Edit, ReplacesFramesAndKeepsTheRest) {
  const std::string longTitle = frame(3, "TIT2", std::string(40, 'n'));  // 50 bytes

  // Grows with fresh padding; the 2.3 extended header counts it.
  const std::string extended = tag(3, 0x40, kExtended3 + kTitle + kArtist + std::string(7, '\0'));
  auto layout = id3v2::walk(extended);
  ASSERT_TRUE(layout);
  std::string out = id3v2::edit(extended, *layout, {{0, longTitle}});
  const std::size_t grownBody = 10 + 50 + 12 + id3v2::kGrowthPadding;
  EXPECT_EQ(out.substr(0, 20), header(3, 0x40, grownBody) + kExtended3.substr(0, 6) +
                                   std::string("\0\0\x08\0", 4));  // 2048
  EXPECT_EQ(out.substr(20, 62), longTitle + kArtist);
  EXPECT_EQ(out.size(), 10 + grownBody);
  EXPECT_EQ(out.find_first_not_of('\0', 82), std::string::npos);

  // With a CRC of its frames, kept right.
  std::string checked = kExtended3;
  checked[3] = 10;
  checked[4] = '\x80';
  checked += std::string(4, '\0');
  const std::string crcTag = tag(3, 0x40, checked + kTitle + std::string(30, '\0'));
  layout = id3v2::walk(crcTag);
  ASSERT_TRUE(layout);
  out = id3v2::edit(crcTag, *layout, {{0, kArtist}, {id3v2::npos, kTitle}});
  const std::string frames = kArtist + kTitle;
  const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(frames.data()), frames.size());
  EXPECT_EQ(out.substr(24, frames.size()), frames);
  EXPECT_EQ(out.substr(20, 4),
            std::string({static_cast<char>(crc >> 24), static_cast<char>(crc >> 16),
                         static_cast<char>(crc >> 8), static_cast<char>(crc)}));
  // 58 bytes of body: 14 of extended header, 26 of frames, 18 of padding.
  EXPECT_EQ(out.substr(16, 4), std::string("\0\0\0\x12", 4));
  EXPECT_EQ(out.size(), crcTag.size());

  // A footer forbids padding: the body is just the frames, and the footer
  // says the same size; the small last frame moves along.
  const std::string footer = tag(4, 0x10, kFooterTitle + kSmallLast);
  layout = id3v2::walk(footer);
  ASSERT_TRUE(layout);
  const std::string bigTitle = frame(4, "TIT2", std::string(30, 'f'));  // 40 bytes
  out = id3v2::edit(footer, *layout, {{0, bigTitle}});
  EXPECT_EQ(out, tag(4, 0x10, bigTitle + kSmallLast));

  // An empty frame stays before the one replaced, in a tag that keeps its size.
  const std::string empty = tag(3, 0, kEmpty + kTitle + std::string(10, '\0'));
  layout = id3v2::walk(empty);
  ASSERT_TRUE(layout);
  const std::string shorter = frame(3, "TIT2", std::string("\0ab", 3));
  out = id3v2::edit(empty, *layout, {{1, shorter}});
  EXPECT_EQ(out, header(3, 0, 34) + kEmpty + shorter + std::string(11, '\0'));
  EXPECT_EQ(id3v2::findFrame(empty, *layout, "TENC", false), id3v2::npos);
  EXPECT_EQ(id3v2::findFrame(empty, *layout, "TIT2", false), 1u);

  // An unsynchronised 2.3 tag: big-endian kana need no zero stuffed in.
  layout = id3v2::walk(tag(3, 0x80, kTitle + std::string(10, '\0')));
  ASSERT_TRUE(layout);
  EXPECT_EQ(id3v2::renderFrame(*layout, "TPE1", id3v2::textBody(3, u"\u3042", true), 0),
            std::string("TPE1\0\0\0\x05\0\0\x01\xFE\xFF\x30\x42", 15));
}

}  // namespace
}  // namespace vbmp3test
