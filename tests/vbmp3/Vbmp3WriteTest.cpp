#include <errno.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <cstdio>
#include <filesystem>
#include <map>
#include <tuple>

#include "Mp3Fixture.h"
#include "Vbmp3TestSupport.h"
#include "vbmp3.h"

namespace vbmp3test {
namespace {

const std::string kKonnichiwa = "\x82\xB1\x82\xF1\x82\xC9\x82\xBF\x82\xCD";  // こんにちは

std::map<std::string, std::string> framesById(const std::string& file) {
  std::map<std::string, std::string> out;
  for (auto& [id, body] : id3v2Frames(file)) {
    out.emplace(id, body);  // the first of each id
  }
  return out;
}

const std::string kPicture = std::string("\0image/png\0\x03\0", 13) + "\x89PNG\r\n\x1A\n\xFF\0\xFF";
const std::string kLyrics =
    std::string("\x01jpn\xFF\xFE\0\0\xFF\xFE", 10) + std::string("L\0a\0", 4);

TEST(Vbmp3Write, Id3v23TitleInUtf16OtherFramesByteForByte) {
  TempDir dir;
  const std::string path = dir.file("v23.mp3");
  const std::string audio = mpegFrames(400);
  writeFile(path, Id3v2(3).frame("TIT2", latin1Text("konnichiwa"))
                          .frame("TPE1", latin1Text("\x83\x65\x83\x58\x83\x67"))
                          .frame("APIC", kPicture)
                          .frame("USLT", kLyrics)
                          .frame("TXXX", std::string("\0replaygain_track_gain\0-6.5 dB", 30))
                          .padding(2000)
                          .render() +
                      audio);
  const std::string before = readFile(path);
  const std::uint64_t inode = fileId(path);

  ASSERT_TRUE(writeTitle(path, kKonnichiwa));
  const std::string after = readFile(path);
  // Fits the old tag's space: written in place, same size, same file.
  EXPECT_EQ(after.size(), before.size());
  EXPECT_EQ(fileId(path), inode);
  EXPECT_TRUE(after.substr(after.size() - audio.size()) == audio);
  EXPECT_EQ(after[3], 3);
  auto frames = framesById(after);
  EXPECT_EQ(frames["TIT2"], utf16Text(u"こんにちは"));
  EXPECT_EQ(frames["TPE1"], latin1Text("\x83\x65\x83\x58\x83\x67"));
  EXPECT_EQ(frames["APIC"], kPicture);
  EXPECT_EQ(frames["USLT"], kLyrics);
  EXPECT_EQ(frames["TXXX"], std::string("\0replaygain_track_gain\0-6.5 dB", 30));

  Record r{};
  ASSERT_TRUE(readRecord(path, r));
  EXPECT_EQ(slot(r, kTitle), kKonnichiwa);
  EXPECT_EQ(slot(r, kArtist), "\x83\x65\x83\x58\x83\x67");
}

// Tags written byte by byte, each with frames that a re-rendering would
// change: after a title write, the bytes before the title frame, every frame
// after it and the audio are exactly as they were, and the rest is zeros.
struct RawTag {
  int version;
  std::uint8_t flags = 0;
  std::string before;  // extended header and frames before the title
  std::string title;   // the title frame as it stands, empty for none
  std::string after;   // frames after it, and anything that is not padding
  std::size_t padding = 0;
  std::string behind;  // between the tag and the audio

  std::string body() const { return before + title + after + std::string(padding, '\0'); }
  std::string render() const {
    const std::string b = body();
    std::string sizeBytes;
    for (int i = 3; i >= 0; --i) {
      sizeBytes += static_cast<char>((b.size() >> (7 * i)) & 0x7F);
    }
    const std::string head = std::string("ID3") + static_cast<char>(version) + '\0' +
                             static_cast<char>(flags) + sizeBytes;
    const bool footer = (flags & 0x10) != 0;
    return head + b + (footer ? "3DI" + head.substr(3) : std::string()) + behind;
  }
};

std::string rawFrame(int version, std::string_view id, std::string_view body,
                     std::uint8_t format = 0) {
  std::string out(id);
  const auto size = static_cast<std::uint32_t>(body.size());
  for (int i = version == 2 ? 2 : 3; i >= 0; --i) {
    out += static_cast<char>(version == 4 ? (size >> (7 * i)) & 0x7F : size >> (8 * i));
  }
  if (version > 2) {
    out += '\0';
    out += static_cast<char>(format);
  }
  return out.append(body);
}

std::string unsynchronised(std::string_view data) {
  std::string out;
  for (std::size_t i = 0; i < data.size(); ++i) {
    out += data[i];
    const auto next = i + 1 < data.size() ? static_cast<unsigned char>(data[i + 1]) : 0;
    if (static_cast<unsigned char>(data[i]) == 0xFF && (next == 0 || next >= 0xE0)) {
      out += '\0';
    }
  }
  return out;
}

std::string zlibPacked(std::string_view plain) {
  uLongf size = compressBound(plain.size());
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size,
            reinterpret_cast<const Bytef*>(plain.data()), plain.size(), 9);
  out.resize(size);
  return std::string("\0\0\x9C\x40", 4) + out;  // the inflated size first
}

TEST(Vbmp3Write, EveryOtherFrameKeepsItsBytes) {
  const std::string png = std::string("\0image/png\0\x03\0", 13) + std::string(3000, '\xFF');
  const std::string packed = rawFrame(3, "PRIV", zlibPacked(std::string(40000, 'p')), 0x80);
  const std::map<std::string, RawTag> cases{
      {"compressed, encrypted, grouped, unknown, duplicates",
       {3, 0, rawFrame(3, "TPE1", latin1Text("Artist")), rawFrame(3, "TIT2", latin1Text("old")),
        packed +
            rawFrame(3, "TALB",
                     std::string("\x01\0\x01"
                                 "abc",
                                 6),
                     0x40) +
            rawFrame(3, "TCOM", std::string("\x07\0x", 3), 0x20) + rawFrame(3, "XYZW", "mine") +
            rawFrame(3, "TXXX", std::string("\0a\0b", 4)) +
            rawFrame(3, "TXXX", std::string("\0a\0b", 4)) + rawFrame(3, "APIC", png),
        1000, ""}},
      {"trailing NUL and a genre reference",
       {3, 0, "", rawFrame(3, "TIT2", latin1Text("old")),
        rawFrame(3, "TPE1", latin1Text(std::string("Artist\0", 7))) +
            rawFrame(3, "TCON", latin1Text("(17)Rock")),
        400, ""}},
      {"2.4 footer with a small last frame",
       {4, 0x10, rawFrame(4, "TPE1", utf8Text("a")), rawFrame(4, "TIT2", utf8Text("old")),
        rawFrame(4, "TDRC", latin1Text("2001")), 0, ""}},
      {"2.4 extended header, unsynchronised frame",
       {4, 0x40, std::string("\0\0\0\x06\x01\0", 6), rawFrame(4, "TIT2", utf8Text("old")),
        rawFrame(4, "APIC", unsynchronised(png), 0x02), 300, ""}},
      {"2.2 with date and time",
       {2, 0, rawFrame(2, "TP1", latin1Text("Artist")), rawFrame(2, "TT2", latin1Text("old")),
        rawFrame(2, "TDA", latin1Text("0105")) + rawFrame(2, "TIM", latin1Text("1230")), 300, ""}},
      {"2.3 unsynchronised tag",
       {3, 0x80, "", unsynchronised(rawFrame(3, "TIT2", latin1Text("old"))),
        unsynchronised(rawFrame(3, "APIC", png)), 400, ""}},
      {"no title, a frame of impossible size",
       {3, 0, rawFrame(3, "TPE1", latin1Text("a")), "",
        std::string("TALB\x7F\0\0\0\0\0\x01xyz", 14), 600, ""}},
      {"2.3 title of the new one's size, no padding",
       {3, 0, rawFrame(3, "TPE1", latin1Text("a")), rawFrame(3, "TIT2", latin1Text("twelve chars")),
        rawFrame(3, "APIC", png), 0, ""}},
      {"2.4 title of the new one's size, no padding",
       {4, 0, "", rawFrame(4, "TIT2", latin1Text("fifteen letters")),
        rawFrame(4, "APIC", png) + rawFrame(4, "TPE1", utf8Text("a")), 0, ""}},
      {"a second tag behind the first",
       {3, 0, "", rawFrame(3, "TIT2", latin1Text("old")), rawFrame(3, "TPE1", latin1Text("a")), 300,
        Id3v2(3).frame("TIT2", latin1Text("second")).padding(20).render()}},
  };
  const std::string audio = mpegFrames(40);
  TempDir dir;
  for (const auto& [name, tag] : cases) {
    SCOPED_TRACE(name);
    const std::string path = dir.file("case.mp3");
    const std::string before = tag.render();
    writeFile(path, before + audio);
    if (!writeTitle(path, kKonnichiwa)) {
      ADD_FAILURE() << "not written";
      continue;
    }
    const std::string after = readFile(path);

    // An unsynchronised tag gets big-endian UTF-16, which needs no unsynchronisation.
    const std::string body = tag.version == 4   ? utf8Text("こんにちは")
                             : tag.flags & 0x80 ? utf16BeText(u"こんにちは")
                                                : utf16Text(u"こんにちは");
    std::string title = rawFrame(tag.version, tag.version == 2 ? "TT2" : "TIT2", body,
                                 tag.version == 4 && (tag.flags & 0x80) ? 0x02 : 0);
    if (tag.flags & 0x80) {
      title = unsynchronised(title);
    }
    const std::size_t footer = (tag.flags & 0x10) ? 10 : 0;
    const std::size_t size = id3v2Size(after);
    const std::string newBody = after.substr(10, size - 10);
    EXPECT_EQ(after.substr(0, 4), before.substr(0, 4));
    EXPECT_EQ(newBody.substr(0, tag.before.size()), tag.before);
    EXPECT_EQ(newBody.substr(tag.before.size(), title.size()), title);
    EXPECT_EQ(newBody.substr(tag.before.size() + title.size(), tag.after.size()), tag.after);
    EXPECT_EQ(newBody.find_first_not_of('\0', tag.before.size() + title.size() + tag.after.size()),
              std::string::npos);
    if (title.size() <= tag.title.size() + tag.padding) {
      EXPECT_EQ(after.size(), before.size() + audio.size());
    } else {
      // Fresh padding for later edits, but none beside a footer.
      EXPECT_EQ(size - 10 - tag.before.size() - title.size() - tag.after.size() >= 1024, !footer);
    }
    if (footer) {
      EXPECT_EQ(after.substr(size, 3), "3DI");
      EXPECT_EQ(after.substr(size + 3, 7), after.substr(3, 7));
    }
    EXPECT_TRUE(after.substr(size + footer) == tag.behind + audio);

    Record r{};
    ASSERT_TRUE(readRecord(path, r));
    EXPECT_EQ(slot(r, kTitle), kKonnichiwa);
    if (const auto foreign = readWithMutagen(path)) {
      EXPECT_EQ(foreign->title, "こんにちは");
    }
  }
}

// A 2.4 extended header's CRC covers frames and padding, a 2.3 one's the
// frames alone beside the padding's size: after an edit in place, of a frame
// of the same size, or one that grows the tag they match the new bytes.
TEST(Vbmp3Write, ExtendedHeaderCrcStaysValid) {
  const auto crcOf = [](std::string_view tag, std::size_t at) {
    const uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(tag.data() + at), tag.size() - at);
    std::string out;
    for (int i = 4; i >= 0; --i) {
      out += static_cast<char>((crc >> (7 * i)) & 0x7F);
    }
    return out;
  };
  const std::string png = std::string("\0image/png\0\x03\0", 13) + std::string(3000, 'p');
  const std::string audio = mpegFrames(40);
  TempDir dir;
  // Flags: CRC alone, and after the update flag, which comes first.
  for (const std::string& ext :
       {std::string("\0\0\0\x0C\x01\x20\x05", 7), std::string("\0\0\0\x0D\x01\x60\x00\x05", 8)}) {
    for (const std::size_t padding : {std::size_t{500}, std::size_t{0}}) {
      SCOPED_TRACE(std::to_string(ext.size()) + "-byte header, padding " + std::to_string(padding));
      const std::string frames = rawFrame(4, "TIT2", utf8Text("old")) + rawFrame(4, "APIC", png);
      const std::string body = frames + std::string(padding, '\0');
      RawTag tag{4, 0x40, ext + crcOf(body, 0), "", body, 0, ""};
      const std::string path = dir.file("crc.mp3");
      writeFile(path, tag.render() + audio);
      ASSERT_TRUE(writeTitle(path, kKonnichiwa));
      const std::string after = readFile(path);
      const std::string newTag = after.substr(0, id3v2Size(after));
      const std::size_t framesAt = 10 + ext.size() + 5;
      EXPECT_EQ(newTag.substr(10, ext.size()), ext);
      EXPECT_EQ(newTag.substr(10 + ext.size(), 5), crcOf(newTag, framesAt));
      EXPECT_EQ(after.size() == tag.render().size() + audio.size(), padding != 0);
      Record r{};
      ASSERT_TRUE(readRecord(path, r));
      EXPECT_EQ(slot(r, kTitle), kKonnichiwa);
    }
  }
  const auto bigEndian = [](std::uint32_t value) {
    return std::string{static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                       static_cast<char>(value >> 8), static_cast<char>(value)};
  };
  for (const std::size_t padding : {std::size_t{500}, std::size_t{0}}) {
    SCOPED_TRACE("2.3, padding " + std::to_string(padding));
    // The old title's frame has the size of the new one's.
    const std::string frames = rawFrame(3, "TIT2", utf16Text(u"abcde")) + rawFrame(3, "APIC", png);
    const auto crc = static_cast<std::uint32_t>(
        crc32(0L, reinterpret_cast<const Bytef*>(frames.data()), frames.size()));
    const std::string ext = std::string("\0\0\0\x0A\x80\0", 6) +
                            bigEndian(static_cast<std::uint32_t>(padding)) + bigEndian(crc);
    RawTag tag{3, 0x40, ext, "", frames, padding, ""};
    const std::string path = dir.file("crc3.mp3");
    writeFile(path, tag.render() + audio);
    ASSERT_TRUE(writeTitle(path, kKonnichiwa));
    const std::string after = readFile(path);
    const std::string newTag = after.substr(0, id3v2Size(after));
    const std::size_t zeros = newTag.size() - newTag.find_last_not_of('\0') - 1;
    EXPECT_EQ(newTag.substr(16, 4), bigEndian(static_cast<std::uint32_t>(zeros)));
    const std::string_view newFrames(newTag.data() + 24, newTag.size() - 24 - zeros);
    EXPECT_EQ(newTag.substr(20, 4),
              bigEndian(static_cast<std::uint32_t>(
                  crc32(0L, reinterpret_cast<const Bytef*>(newFrames.data()), newFrames.size()))));
    EXPECT_NE(newFrames.find(rawFrame(3, "APIC", png)), std::string_view::npos);
    Record r{};
    ASSERT_TRUE(readRecord(path, r));
    EXPECT_EQ(slot(r, kTitle), kKonnichiwa);
  }
}

// The reasons a refusal leaves, by platform.
#ifdef _WIN32
unsigned long lastReason() {
  return GetLastError();
}
void clearReason() {
  SetLastError(0);
}
constexpr unsigned long kNotMpeg = ERROR_BAD_FORMAT, kLostCharacters = ERROR_NO_UNICODE_TRANSLATION,
                        kTitleCut = ERROR_ARITHMETIC_OVERFLOW, kMisjudged = ERROR_INVALID_DATA;
#else
unsigned long lastReason() {
  return static_cast<unsigned long>(errno);
}
void clearReason() {
  errno = 0;
}
constexpr unsigned long kNotMpeg = ENOEXEC, kLostCharacters = EILSEQ, kTitleCut = EOVERFLOW,
                        kMisjudged = EBADMSG;
#endif

std::size_t count(std::string_view in, std::string_view what) {
  std::size_t n = 0;
  for (auto at = in.find(what); at != std::string_view::npos; at = in.find(what, at + 1)) {
    ++n;
  }
  return n;
}

// Files as other tools write them: each read as its frames are, written with
// exactly one title frame that other programs read, or refused unchanged.
TEST(Vbmp3Write, FilesOtherToolsMade) {
  const std::string audio = mpegFrames(30);
  const std::string artist = rawFrame(3, "TPE1", latin1Text("Artist"));
  const std::string extended(std::string("\0\0\0\x06\0\0\0\0\0\0", 10));
  const std::string picture = rawFrame(3, "APIC", std::string("\0image/png\0\x03\0\xFF\xFB", 15));
  struct Case {
    std::string name;
    std::string file;
    std::vector<std::string> keptFrames;  // bytes the written tag must still hold
  };
  const std::vector<Case> cases{
      {"empty frames before the title",
       RawTag{3, 0, std::string("TENC\0\0\0\0\0\0TCOP\0\0\0\0\0\0", 20),
              rawFrame(3, "TIT2", latin1Text("old")), artist, 300, ""}
           .render(),
       {std::string("TENC\0\0\0\0\0\0TCOP\0\0\0\0\0\0", 20), artist}},
      {"2.3 extended header",
       RawTag{3, 0x40, extended, rawFrame(3, "TIT2", latin1Text("old")), artist, 8, ""}.render(),
       {artist}},
      {"2.3 unsynchronised tag",
       RawTag{3, 0x80, "", unsynchronised(rawFrame(3, "TIT2", latin1Text("old"))),
              unsynchronised(picture + artist), 40, ""}
           .render(),
       {unsynchronised(picture + artist)}},
      {"ID3v1 only", id3v1("old", "Artist", "Album", "1999", "Note", 7, 17), {}},
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.file("case.mp3");
    writeFile(path, c.file.substr(0, 3) == "TAG" ? audio + c.file : c.file + audio);
    Record r{};
    ASSERT_TRUE(readRecord(path, r));
    EXPECT_EQ(slot(r, kTitle), "old");
    EXPECT_EQ(slot(r, kArtist), "Artist");
    ASSERT_TRUE(writeTitle(path, kKonnichiwa));
    const std::string after = readFile(path);
    const std::string tag = after.substr(0, id3v2Size(after));
    EXPECT_EQ(count(tag, "TIT2"), 1u);
    for (const auto& kept : c.keptFrames) {
      EXPECT_NE(tag.find(kept), std::string::npos);
    }
    EXPECT_NE(after.find(audio), std::string::npos);
    ASSERT_TRUE(readRecord(path, r));
    EXPECT_EQ(slot(r, kTitle), kKonnichiwa);
    EXPECT_EQ(slot(r, kArtist), "Artist");
    if (c.name == "2.3 extended header") {
      // Its padding size follows the frames it counts.
      const std::size_t padding =
          static_cast<unsigned char>(tag[16]) << 24 | static_cast<unsigned char>(tag[17]) << 16 |
          static_cast<unsigned char>(tag[18]) << 8 | static_cast<unsigned char>(tag[19]);
      EXPECT_EQ(tag.find_last_not_of('\0') + 1 + padding, tag.size());
    }
    if (c.name == "2.3 unsynchronised tag") {
      EXPECT_NE(tag.find(rawFrame(3, "TIT2", utf16BeText(u"こんにちは"))), std::string::npos);
    }
    if (c.name == "ID3v1 only") {
      // The new tag holds what ID3v1 said, since players then read only it.
      auto frames = framesById(after);
      EXPECT_EQ(frames["TALB"], utf16Text(u"Album"));
      EXPECT_EQ(frames["TYER"], utf16Text(u"1999"));
      EXPECT_EQ(frames["TRCK"], utf16Text(u"7"));
      EXPECT_EQ(frames["TCON"], utf16Text(u"Rock"));
      EXPECT_EQ(frames["COMM"].substr(0, 8), std::string("\x01"
                                                         "eng\xFF\xFE\0\0",
                                                         8));
    }
    if (const auto foreign = readWithMutagen(path)) {
      EXPECT_EQ(foreign->title, "こんにちは");
      EXPECT_EQ(foreign->artist, "Artist");
    } else {
      std::printf("python3-mutagen is missing: no independent read of %s\n", c.name.c_str());
    }
  }

  // A title frame TagLib never reaches (behind a frame it stops at) stays: a
  // new one would make two.
  const std::string hidden =
      RawTag{3,
             0,
             artist,
             "",
             std::string("TALB\x7F\0\0\0\0\0", 10) + rawFrame(3, "TIT2", latin1Text("x")),
             100,
             ""}
          .render() +
      audio;
  // Nor does a second title frame stay beside the written one.
  const std::string twice = Id3v2(3)
                                .frame("TIT2", latin1Text("one"))
                                .frame("TPE1", latin1Text("a"))
                                .frame("TIT2", latin1Text("two"))
                                .render() +
                            audio;
  for (const auto& bytes : {hidden, twice}) {
    const std::string path = dir.file("two titles.mp3");
    writeFile(path, bytes);
    clearReason();
    EXPECT_FALSE(writeTitle(path, kKonnichiwa));
    EXPECT_EQ(lastReason(), kMisjudged);
    EXPECT_TRUE(readFile(path) == bytes);
  }
}

// Other formats with an MPEG frame sync somewhere inside, named .mp3: never
// read as MP3, never written.
TEST(Vbmp3Write, OnlyMpegAudioIsTagged) {
  const std::string frames = mpegFrames(6);
  const std::vector<std::pair<std::string, std::string>> files{
      {"Ogg", "OggS" + std::string(60, '\0') + frames},
      {"FLAC", std::string("fLaC\x80\0\0\x22", 8) + std::string(34, '\x11') + frames},
      {"RIFF", "RIFF\x10\0\0\0WAVEfmt " + frames},
      {"MP4", std::string("\0\0\0\x18"
                          "ftypM4A ",
                          12) +
                  frames},
      {"two frames, then none", std::string(700, 'x') + mpegFrames(2) + std::string(3000, 'y')},
      {"behind an ID3v2 tag, Ogg",
       Id3v2(3).frame("TIT2", latin1Text("t")).render() + "OggS" + std::string(60, '\0') + frames},
  };
  TempDir dir;
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    const std::string path = dir.file("not.mp3");
    writeFile(path, bytes);
    Record r{};
    clearReason();
    EXPECT_FALSE(readRecord(path, r));
    EXPECT_EQ(lastReason(), kNotMpeg);
    clearReason();
    EXPECT_FALSE(writeTitle(path, kKonnichiwa));
    EXPECT_EQ(lastReason(), kNotMpeg);
    EXPECT_TRUE(readFile(path) == bytes);
  }
  // Real audio in short runs still is: three frames, then ID3v1.
  const std::string path = dir.file("short.mp3");
  writeFile(path, mpegFrames(3) + id3v1("t"));
  Record r{};
  EXPECT_TRUE(readRecord(path, r));
  // Audio whose last frame the tags at the end cut short: frames are never
  // looked for inside those tags, which a title write makes longer.
  const std::string back = ape({{"Title", "Ape"}}) + id3v1("t");
  const std::string cut = dir.file("cut.mp3");
  writeFile(cut, mpegFrames(2).substr(0, 833 - back.size()) + back);
  ASSERT_TRUE(readRecord(cut, r));
  ASSERT_TRUE(writeTitle(cut, kKonnichiwa));
  ASSERT_TRUE(readRecord(cut, r));
  EXPECT_EQ(slot(r, kTitle), kKonnichiwa);
  // Two short frames, the second running into APE tags with stray headers (a
  // fuzzer's find): a write either reads back or leaves the file alone.
  const std::string stray(
      "\xFF\xFB\x10\x64\xDB\x0F\xF0\x72\x01\x41\x80\xA0\x00\x00\x0E\x00\x00\x54\xA4\x69"
      "\x74\x6C\x65\x41\x50\x45\x54\x41\x47\x45\x58\xD0\x07\xFF\xFF\x33\x00\x00\x00\x54"
      "\x49\x54\x4C\x00\x00\x00\x00\x00\x00\x00\x0A\x41\x50\x45\x54\x41\x47\x45\x58\xD0"
      "\x07\x00\x00\x33\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x49\x44\x33\x00\x00\x00"
      "\x00\x00\x00\x33\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x80\x00\x00\x00\x00\x00"
      "\x00\x00\x00\x00\xFF\xFB\x40\x00\x00\x00\x00\x00\x00\x00\x00\x54\x49\x54\x4C\x00"
      "\x00\x00\x00\x00\x00\x00\x0A\x41\x50\x45\x54\x41\x47\x45\x58\xD0\x07\x00\x00\x33"
      "\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x49\x44\x33\x00\x00\x00\x00\x00\x00",
      159);
  const std::string strayPath = dir.file("stray.mp3");
  writeFile(strayPath, stray);
  ASSERT_TRUE(readRecord(strayPath, r));
  if (writeTitle(strayPath, "\x82\xA0\x82\xA2\x82\xA4")) {  // あいう
    EXPECT_TRUE(readRecord(strayPath, r));
  } else {
    EXPECT_TRUE(readFile(strayPath) == stray);
  }
}

// A title the record could not carry whole is never replaced with what it
// showed: not with lost characters, not cut at the slot's end. Written back
// as read, it changes nothing.
TEST(Vbmp3Write, TitlesTheRecordCannotCarryAreKept) {
  const std::string romaji = [] {
    std::string s;
    for (int i = 0; s.size() < 200; ++i) {
      s += i % 7 == 6 ? ' ' : static_cast<char>('a' + i % 26);
    }
    return s;
  }();
  const std::u16string romaji16(romaji.begin(), romaji.end());
  std::u16string kanji(64, u'\u6F22');
  kanji += u"\u5B57\u5B57";
  const std::string kanji8 = [&] {
    std::string s;
    for (int i = 0; i < 64; ++i) {
      s += "\xE6\xBC\xA2";
    }
    return s + "\xE5\xAD\x97\xE5\xAD\x97";
  }();
  const std::string audio = mpegFrames(20);
  const std::vector<std::tuple<std::string, std::string, unsigned long>> files{
      {"star in 2.3", Id3v2(3).frame("TIT2", utf16Text(u"hoshi \U0001F31F zora")).render(),
       kLostCharacters},
      {"macron in 2.4", Id3v2(4).frame("TIT2", utf8Text("t\xC5\x8Dky\xC5\x8D")).render(),
       kLostCharacters},
      {"romaji in 2.3", Id3v2(3).frame("TIT2", utf16Text(romaji16)).render(), kTitleCut},
      {"romaji in 2.4", Id3v2(4).frame("TIT2", utf8Text(romaji)).render(), kTitleCut},
      {"kanji in 2.4", Id3v2(4).frame("TIT2", utf8Text(kanji8)).render(), kTitleCut},
      {"kanji in 2.3", Id3v2(3).frame("TIT2", utf16Text(kanji)).render(), kTitleCut},
  };
  TempDir dir;
  const std::string path = dir.file("long.mp3");
  const auto writeRecord = [](const std::string& file, Record& r) {
    return vbmp3_setTagInfoEX(file.c_str(), r.data(), 0, 1) != 0;
  };
  const auto check = [&](const std::string& bytes, unsigned long reason) {
    writeFile(path, bytes);
    Record r{};
    ASSERT_TRUE(readRecord(path, r));
    // As read, cut or with "?": nothing to do.
    EXPECT_TRUE(writeRecord(path, r));
    EXPECT_TRUE(readFile(path) == bytes);
    assignSlot(r, kTitle, kKonnichiwa);
    clearReason();
    EXPECT_FALSE(writeRecord(path, r));
    EXPECT_EQ(lastReason(), reason);
    EXPECT_TRUE(readFile(path) == bytes);
  };
  for (const auto& [name, tag, reason] : files) {
    SCOPED_TRACE(name);
    check(tag + audio, reason);
  }
  SCOPED_TRACE("romaji in APE");
  check(audio + ape({{"Title", romaji}}), kTitleCut);
}

TEST(Vbmp3Write, Id3v23OnlyFramesSurviveATitle) {
  TempDir dir;
  const std::string rvad("\x03\x10\x00\x20\x00\x30\x00\x00\x00\x00", 10);
  const std::string equa("\x10\x80\x10\x00\x05", 5);
  const std::string path = dir.file("v23.mp3");
  writeFile(path, Id3v2(3).frame("TIT2", latin1Text("a"))
                          .frame("RVAD", rvad)
                          .frame("EQUA", equa)
                          .frame("TSIZ", latin1Text("1234"))
                          .frame("TDAT", latin1Text("0105"))
                          .frame("TIME", latin1Text("1230"))
                          .padding(200)
                          .render() +
                      mpegFrames(10));
  ASSERT_TRUE(writeTitle(path, kKonnichiwa));
  auto frames = framesById(readFile(path));
  EXPECT_EQ(frames["TIT2"], utf16Text(u"こんにちは"));
  EXPECT_EQ(frames["RVAD"], rvad);
  EXPECT_EQ(frames["EQUA"], equa);
  EXPECT_EQ(frames["TSIZ"], latin1Text("1234"));
  EXPECT_EQ(frames["TDAT"], latin1Text("0105"));
  EXPECT_EQ(frames["TIME"], latin1Text("1230"));

  // With a year, the date and time come back from it, once each.
  const std::string dated = dir.file("dated.mp3");
  writeFile(dated, Id3v2(3).frame("TIT2", latin1Text("a"))
                           .frame("TYER", latin1Text("2001"))
                           .frame("TDAT", latin1Text("0105"))
                           .frame("TIME", latin1Text("1230"))
                           .padding(200)
                           .render() +
                       mpegFrames(10));
  ASSERT_TRUE(writeTitle(dated, kKonnichiwa));
  std::multimap<std::string, std::string> all;
  for (auto& [id, body] : id3v2Frames(readFile(dated))) {
    all.emplace(id, body);
  }
  EXPECT_EQ(all.count("TDAT"), 1u);
  EXPECT_EQ(all.count("TIME"), 1u);
  EXPECT_EQ(all.find("TYER")->second, latin1Text("2001"));
  EXPECT_EQ(all.find("TDAT")->second, latin1Text("0105"));
  EXPECT_EQ(all.find("TIME")->second, latin1Text("1230"));
}

TEST(Vbmp3Write, VersionKeptOrForced) {
  TempDir dir;
  const std::string path = dir.file("v24.mp3");
  writeFile(path, Id3v2(4).frame("TIT2", utf8Text("old")).padding(500).render() + mpegFrames(20));
  ASSERT_TRUE(writeTitle(path, "\x82\xA0"));  // あ
  std::string bytes = readFile(path);
  EXPECT_EQ(bytes[3], 4);
  EXPECT_EQ(framesById(bytes)["TIT2"], utf8Text("あ"));

  ASSERT_TRUE(writeTitle(path, "\x82\xA2", 3));  // い, forced to 2.3
  bytes = readFile(path);
  EXPECT_EQ(bytes[3], 3);
  EXPECT_EQ(framesById(bytes)["TIT2"], utf16Text(u"い"));

  ASSERT_TRUE(writeTitle(path, "\x82\xA4", 4));  // う, forced to 2.4
  bytes = readFile(path);
  EXPECT_EQ(bytes[3], 4);
  EXPECT_EQ(framesById(bytes)["TIT2"], utf8Text("う"));

  Record r{};
  ASSERT_TRUE(readRecord(path, r));
  EXPECT_EQ(vbmp3_setTagInfoEX(path.c_str(), r.data(), 2, 1), 0);
  EXPECT_EQ(vbmp3_setTagInfoEX(path.c_str(), r.data(), 5, 1), 0);

  // Not converted, the file left alone: a tag with an encrypted frame (its
  // flag would be lost), or with a second title frame.
  std::string encrypted = Id3v2(4)
                              .frame("TIT2", utf8Text("old"))
                              .frame("TRCK", std::string("\0\0\0\0\x0B\x60", 6))
                              .frame("TRCK", latin1Text("10/13"))
                              .render() +
                          mpegFrames(20);
  encrypted[10 + 14 + 9] = 0x04;  // the first TRCK's format flags
  const std::string twoTitles = Id3v2(4)
                                    .frame("TIT2", utf8Text("old"))
                                    .frame("TPE1", utf8Text("artist"))
                                    .frame("TIT2", utf8Text("second"))
                                    .render() +
                                mpegFrames(20);
  for (const std::string& file : {encrypted, twoTitles}) {
    writeFile(path, file);
    ASSERT_TRUE(readRecord(path, r));
    EXPECT_FALSE(writeTitle(path, "\x82\xA0", 3));
    EXPECT_TRUE(readFile(path) == file) << "the file changed";
  }
}

TEST(Vbmp3Write, Id3v1KeptInStepInCodePage932) {
  TempDir dir;
  const std::string audio = mpegFrames(20);
  const std::string v1 = id3v1("romaji", "Artist", "", "1999", "", 4, 12);
  const std::string path = dir.file("v1.mp3");
  writeFile(path, audio + v1);

  // 16 kana are 32 bytes: ID3v1 keeps 15 of them; a 2.3 tag is created.
  std::string sixteen;
  for (int i = 0; i < 16; ++i) {
    sixteen += "\x82\xA0";
  }
  ASSERT_TRUE(writeTitle(path, sixteen));
  std::string bytes = readFile(path);
  ASSERT_EQ(bytes.substr(0, 4), std::string("ID3\x03", 4));
  EXPECT_EQ(framesById(bytes)["TIT2"], utf16Text(std::u16string(16, u'あ')));
  const std::size_t tag = id3v2Size(bytes);
  EXPECT_TRUE(bytes.substr(tag, audio.size()) == audio);
  std::string block = bytes.substr(bytes.size() - 128);
  EXPECT_EQ(block.substr(3, 30), sixteen.substr(0, 30));
  EXPECT_EQ(block.substr(33), v1.substr(33));  // artist, year, track, genre

  // One byte more at the front: the 15th kana no longer fits whole. Both tags
  // change in place, each with one write within a page: the file stays the
  // same file.
  const std::uint64_t inode = fileId(path);
  ASSERT_TRUE(writeTitle(path, "a" + sixteen));
  EXPECT_EQ(fileId(path), inode);
  block = readFile(path).substr(readFile(path).size() - 128);
  EXPECT_EQ(block.substr(3, 30), "a" + sixteen.substr(0, 28) + std::string(1, '\0'));

  // keepV1 0 leaves ID3v1 as it is.
  ASSERT_TRUE(writeTitle(path, "plain", 0, 0));
  bytes = readFile(path);
  EXPECT_EQ(bytes.substr(bytes.size() - 128), block);
  EXPECT_EQ(framesById(bytes)["TIT2"], utf16Text(u"plain"));
}

TEST(Vbmp3Write, ApeAndId3v1KeptInStep) {
  TempDir dir;
  const std::string audio = mpegFrames(20);
  const std::string path = dir.file("ape.mp3");
  writeFile(path, audio + ape({{"Title", "Old"}, {"Artist", "Someone"}}) + id3v1("Old", "Someone"));
  ASSERT_TRUE(writeTitle(path, kKonnichiwa));
  const std::string bytes = readFile(path);
  const std::size_t tag = id3v2Size(bytes);
  ASSERT_GT(tag, 0u);
  EXPECT_TRUE(bytes.substr(tag, audio.size()) == audio);
  const std::string rest = bytes.substr(tag + audio.size());
  // The item keeps its key as the file spelt it.
  EXPECT_NE(rest.find("Title" + std::string(1, '\0') + "こんにちは"), std::string::npos);
  EXPECT_EQ(rest.find("TITLE"), std::string::npos);
  // The new ID3v2 tag carries what the APE tag said, not only the title.
  EXPECT_EQ(framesById(bytes)["TPE1"], utf16Text(u"Someone"));
  EXPECT_NE(rest.find("Someone"), std::string::npos);
  EXPECT_EQ(rest.substr(rest.size() - 125, 30), kKonnichiwa + std::string(20, '\0'));
  Record r{};
  ASSERT_TRUE(readRecord(path, r));
  EXPECT_EQ(slot(r, kTitle), kKonnichiwa);
  EXPECT_EQ(slot(r, kArtist), "Someone");
}

TEST(Vbmp3Write, UntouchedFieldsKeepTheirBytes) {
  TempDir dir;
  const std::string path = dir.file("keep.mp3");
  const std::string artist = latin1Text("Pok\xE9mon");
  const std::string album = utf16Text(u"\u015Cuper");  // Ŝ has no code page 932 form
  const std::string v1 = id3v1("title", "Beyonc\xE9", "album");
  writeFile(path, Id3v2(3).frame("TIT2", latin1Text("title"))
                          .frame("TPE1", artist)
                          .frame("TALB", album)
                          .padding(100)
                          .render() +
                      mpegFrames(10) + v1);
  ASSERT_TRUE(writeTitle(path, kKonnichiwa));
  const std::string bytes = readFile(path);
  auto frames = framesById(bytes);
  EXPECT_EQ(frames["TPE1"], artist);
  EXPECT_EQ(frames["TALB"], album);
  EXPECT_EQ(bytes.substr(bytes.size() - 128 + 33), v1.substr(33));
}

TEST(Vbmp3Write, TagGrowsOnlyWhenItMust) {
  TempDir dir;
  const std::string audio = mpegFrames(600);
  const std::string path = dir.file("grow.mp3");
  writeFile(path, Id3v2(3).frame("TIT2", latin1Text("a")).render() + audio);
#ifndef _WIN32
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
#endif

  ASSERT_TRUE(writeTitle(path, kKonnichiwa));
  std::string bytes = readFile(path);
  const std::size_t tag = id3v2Size(bytes);
  EXPECT_GT(tag, 21u);
  EXPECT_EQ(bytes.size(), tag + audio.size());
  EXPECT_TRUE(bytes.substr(tag) == audio);
#ifndef _WIN32
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
#endif
  EXPECT_EQ(dir.names(), std::vector<std::string>{"grow.mp3"});

  // The padding that came with the growth takes the next title in place.
  const std::uint64_t inode = fileId(path);
  ASSERT_TRUE(writeTitle(path, "short"));
  bytes = readFile(path);
  EXPECT_EQ(id3v2Size(bytes), tag);
  EXPECT_TRUE(bytes.substr(tag) == audio);
  EXPECT_EQ(fileId(path), inode);

  // Ample padding, far above TagLib's own limit, is kept rather than trimmed.
  const std::string padded = dir.file("padded.mp3");
  writeFile(padded, Id3v2(3).frame("TIT2", latin1Text("a")).padding(50000).render() + audio);
  ASSERT_TRUE(writeTitle(padded, kKonnichiwa));
  bytes = readFile(padded);
  EXPECT_EQ(id3v2Size(bytes), 50022u);
  EXPECT_TRUE(bytes.substr(50022) == audio);
}

#ifndef _WIN32
// The new file is made under the umask; what the umask takes away must come back.
TEST(Vbmp3Write, ReplaceKeepsModeBitsTheUmaskWouldDrop) {
  TempDir dir;
  const mode_t oldMask = ::umask(022);
  for (const mode_t mode : {0640, 0666, 0664}) {
    const std::string path = dir.file("mode.mp3");
    writeFile(path, Id3v2(3).frame("TIT2", latin1Text("a")).render() + mpegFrames(20));
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
    EXPECT_TRUE(writeTitle(path, kKonnichiwa));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode);
  }
  ::umask(oldMask);
}
#endif

TEST(Vbmp3Write, NothingChangedLeavesTheFileAlone) {
  TempDir dir;
  const std::string path = dir.file("same.mp3");
  writeFile(path, Id3v2(3).frame("TIT2", latin1Text("same  ")).render() + mpegFrames(10) +
                      id3v1("same", "x"));
  const auto before = std::filesystem::last_write_time(path);
  const std::string bytes = readFile(path);
  Record r{};
  ASSERT_TRUE(readRecord(path, r));
  // The title as the program hands it back: the text, then spaces, no NUL.
  assignSlot(r, kTitle, "same");
  EXPECT_NE(vbmp3_setTagInfoEX(path.c_str(), r.data(), 0, 1), 0);
  EXPECT_NE(vbmp3_setTagInfoEX(path.c_str(), r.data(), 4, 1), 0);
  EXPECT_EQ(readFile(path), bytes);
  EXPECT_EQ(std::filesystem::last_write_time(path), before);
}

#ifndef _WIN32
TEST(Vbmp3Write, ThroughASymbolicLinkTheLinkStays) {
  TempDir dir;
  const std::string target = dir.file("real.mp3");
  writeFile(target, Id3v2(3).frame("TIT2", latin1Text("a")).render() + mpegFrames(10));
  const std::string link = dir.file("link.mp3");
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  ASSERT_TRUE(writeTitle(link, kKonnichiwa));
  struct stat st {};
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  Record r{};
  ASSERT_TRUE(readRecord(target, r));
  EXPECT_EQ(slot(r, kTitle), kKonnichiwa);
}
#endif

}  // namespace
}  // namespace vbmp3test
