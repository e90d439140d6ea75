#include <gtest/gtest.h>

#include "Mp3Fixture.h"
#include "Vbmp3TestSupport.h"
#include "vbmp3.h"

namespace vbmp3test {
namespace {

// "ID3v2 comment": encoding, language, empty description, text.
std::string comment(std::string_view description, std::string_view text) {
  return std::string("\0eng", 4) + std::string(description) + std::string(1, '\0') +
         std::string(text);
}

std::string readOk(const std::string& path, Record& r) {
  r.fill(0xAB);
  return readRecord(path, r) ? "" : "read failed for " + path;
}

TEST(Vbmp3Read, Id3v23Utf16AndId3v24Utf8) {
  TempDir dir;
  const std::string v23 = dir.file("v23.mp3");
  writeFile(v23, Id3v2(3).frame("TIT2", utf16Text(u"あいう"))
                         .frame("TPE1", utf16Text(u"Artist"))
                         .frame("TALB", latin1Text("Album"))
                         .frame("TYER", latin1Text("2001"))
                         .frame("COMM", comment("iTunNORM", " 0000"))
                         .frame("COMM", comment("", "Nice"))
                         .frame("TCON", latin1Text("(17)"))
                         .frame("TRCK", latin1Text("3/12"))
                         .padding(64)
                         .render() +
                     mpegFrames(4));
  Record r{};
  ASSERT_EQ(readOk(v23, r), "");
  EXPECT_EQ(slot(r, kTitle), "\x82\xA0\x82\xA2\x82\xA4");
  EXPECT_EQ(slot(r, kArtist), "Artist");
  EXPECT_EQ(slot(r, kAlbum), "Album");
  EXPECT_EQ(slot(r, kYear, 5), "2001");
  EXPECT_EQ(slot(r, kComment), "Nice");
  EXPECT_EQ(slot(r, kGenreName), "Rock");
  EXPECT_EQ(genreNumber(r), 17);
  EXPECT_EQ(trackNumber(r), 3);
  EXPECT_EQ(r[517] | r[518] | r[519], 0);

  const std::string v24 = dir.file("v24.mp3");
  writeFile(v24, Id3v2(4).frame("TIT2", utf8Text("テスト"))
                         .frame("TDRC", latin1Text("2024-05-01"))
                         .frame("TCON", utf8Text("Visual Kei"))
                         .render() +
                     mpegFrames(4));
  ASSERT_EQ(readOk(v24, r), "");
  EXPECT_EQ(slot(r, kTitle), "\x83\x65\x83\x58\x83\x67");
  EXPECT_EQ(slot(r, kArtist), "");
  EXPECT_EQ(slot(r, kYear, 5), "2024");
  EXPECT_EQ(r[kYear + 4], 0);
  EXPECT_EQ(slot(r, kComment), "");
  EXPECT_EQ(slot(r, kGenreName), "Visual Kei");
  EXPECT_EQ(genreNumber(r), 255);
  EXPECT_EQ(trackNumber(r), 0);
}

TEST(Vbmp3Read, EachFieldFromTheFirstTagThatHasIt) {
  TempDir dir;
  const std::string v1only = dir.file("v1.mp3");
  writeFile(v1only, mpegFrames(4) + id3v1("Title", "Artist", "Album", "1999", "Note", 7, 12));
  Record r{};
  ASSERT_EQ(readOk(v1only, r), "");
  EXPECT_EQ(slot(r, kTitle), "Title");
  EXPECT_EQ(slot(r, kArtist), "Artist");
  EXPECT_EQ(slot(r, kYear, 5), "1999");
  EXPECT_EQ(slot(r, kComment), "Note");
  EXPECT_EQ(slot(r, kGenreName), "Other");
  EXPECT_EQ(genreNumber(r), 12);
  EXPECT_EQ(trackNumber(r), 7);

  // ID3v2, then APE, then ID3v1, field by field.
  const std::string all = dir.file("all.mp3");
  writeFile(all, Id3v2(3).frame("TIT2", latin1Text("V2 title")).render() + mpegFrames(4) +
                     ape({{"Title", "Ape title"}, {"Artist", "Ape artist"}, {"Track", "9"}}) +
                     id3v1("V1 title", "V1 artist", "V1 album", "1980", "", 5, 8));
  ASSERT_EQ(readOk(all, r), "");
  EXPECT_EQ(slot(r, kTitle), "V2 title");
  EXPECT_EQ(slot(r, kArtist), "Ape artist");
  EXPECT_EQ(slot(r, kAlbum), "V1 album");
  EXPECT_EQ(slot(r, kYear, 5), "1980");
  EXPECT_EQ(slot(r, kGenreName), "Jazz");
  EXPECT_EQ(genreNumber(r), 8);
  EXPECT_EQ(trackNumber(r), 9);

  const std::string none = dir.file("none.mp3");
  writeFile(none, mpegFrames(4));
  ASSERT_EQ(readOk(none, r), "");
  for (const std::size_t offset : {kTitle, kArtist, kAlbum, kComment, kGenreName}) {
    EXPECT_EQ(slot(r, offset), "");
  }
  EXPECT_EQ(slot(r, kYear, 5), "");
  EXPECT_EQ(genreNumber(r), 255);
  EXPECT_EQ(trackNumber(r), 0);
}

TEST(Vbmp3Read, LegacyCodePage932AndRealLatin1) {
  TempDir dir;
  const std::string sjis = "\x83\x7C\x83\x50\x83\x82\x83\x93";  // ポケモン
  const std::string path = dir.file("legacy.mp3");
  writeFile(path, Id3v2(3).frame("TIT2", latin1Text(sjis))
                          .frame("TPE1", latin1Text("Pok\xE9mon"))
                          .frame("TALB", latin1Text("25\xB0"
                                                    "C"))
                          .render() +
                      mpegFrames(4) +
                      id3v1("", "", "", "", "\x93\xFA\x96\x7B\x8C\xEA", 0, 255));  // 日本語
  Record r{};
  ASSERT_EQ(readOk(path, r), "");
  EXPECT_EQ(slot(r, kTitle), sjis);
  // é has no code page 932 form; read as code page 932 it would be a kanji.
  EXPECT_EQ(slot(r, kArtist), "Pok?mon");
  EXPECT_EQ(slot(r, kAlbum),
            "25\x81\x8B"
            "C");
  EXPECT_EQ(slot(r, kComment), "\x93\xFA\x96\x7B\x8C\xEA");

  // An encoding byte outside the four ID3v2 knows.
  const std::string odd = dir.file("odd.mp3");
  writeFile(odd, Id3v2(3).frame("TIT2", std::string("\xDE"
                                                    "B0D0F0",
                                                    7))
                         .render() +
                     mpegFrames(4));
  ASSERT_EQ(readOk(odd, r), "");

  const std::string v1 = dir.file("v1.mp3");
  writeFile(v1, mpegFrames(4) + id3v1(sjis, "Beyonc\xE9", "\x81\x9F"));
  ASSERT_EQ(readOk(v1, r), "");
  EXPECT_EQ(slot(r, kTitle), sjis);
  EXPECT_EQ(slot(r, kArtist), "Beyonc?");
  EXPECT_EQ(slot(r, kAlbum), "\x81\x9F");  // ◆
}

TEST(Vbmp3Read, SlotsHoldWholeCharacters) {
  TempDir dir;
  std::u16string seventy(70, u'あ');
  std::u16string oddStart = u"a" + std::u16string(64, u'い');
  const std::string path = dir.file("long.mp3");
  writeFile(path, Id3v2(3).frame("TIT2", utf16Text(seventy))
                          .frame("TPE1", utf16Text(oddStart))
                          .frame("TYER", latin1Text("19999"))
                          .render() +
                      mpegFrames(4));
  Record r{};
  ASSERT_EQ(readOk(path, r), "");
  std::string title(reinterpret_cast<const char*>(r.data()), 128);
  std::string expected;
  for (int i = 0; i < 64; ++i) {
    expected += "\x82\xA0";
  }
  EXPECT_EQ(title, expected);
  std::string artist = "a";
  for (int i = 0; i < 63; ++i) {
    artist += "\x82\xA2";
  }
  EXPECT_EQ(slot(r, kArtist), artist);
  EXPECT_EQ(r[kArtist + 127], 0);
  EXPECT_EQ(slot(r, kYear, 5), "1999");
}

TEST(Vbmp3Read, FailureLeavesTheRecordAlone) {
  TempDir dir;
  writeFile(dir.file("text.mp3"), "just some text, no audio at all\n");
  Record r;
  r.fill(0xAB);
  EXPECT_EQ(vbmp3_getFileTagInfoEX(dir.file("text.mp3").c_str(), r.data()), 0);
  EXPECT_EQ(r[0], 0xAB);
  EXPECT_EQ(r[655], 0xAB);
  EXPECT_EQ(vbmp3_getFileTagInfoEX(nullptr, r.data()), 0);
  EXPECT_EQ(vbmp3_getFileTagInfoEX(dir.file("text.mp3").c_str(), nullptr), 0);
  EXPECT_NE(vbmp3_init(), 0);
  EXPECT_NE(vbmp3_free(), 0);
}

}  // namespace
}  // namespace vbmp3test
