#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>

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

ino_t inodeOf(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_ino;
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
  const ino_t inode = inodeOf(path);

  ASSERT_TRUE(writeTitle(path, kKonnichiwa));
  const std::string after = readFile(path);
  // Fits the old tag's space: written in place, same size, same file.
  EXPECT_EQ(after.size(), before.size());
  EXPECT_EQ(inodeOf(path), inode);
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

  // One byte more at the front: the 15th kana no longer fits whole.
  ASSERT_TRUE(writeTitle(path, "a" + sixteen));
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
  EXPECT_NE(rest.find("TITLE" + std::string(1, '\0') + "こんにちは"), std::string::npos);
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
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);

  ASSERT_TRUE(writeTitle(path, kKonnichiwa));
  std::string bytes = readFile(path);
  const std::size_t tag = id3v2Size(bytes);
  EXPECT_GT(tag, 21u);
  EXPECT_EQ(bytes.size(), tag + audio.size());
  EXPECT_TRUE(bytes.substr(tag) == audio);
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(dir.names(), std::vector<std::string>{"grow.mp3"});

  // The padding that came with the growth takes the next title in place.
  const ino_t inode = inodeOf(path);
  ASSERT_TRUE(writeTitle(path, "short"));
  bytes = readFile(path);
  EXPECT_EQ(id3v2Size(bytes), tag);
  EXPECT_TRUE(bytes.substr(tag) == audio);
  EXPECT_EQ(inodeOf(path), inode);

  // Ample padding, far above TagLib's own limit, is kept rather than trimmed.
  const std::string padded = dir.file("padded.mp3");
  writeFile(padded, Id3v2(3).frame("TIT2", latin1Text("a")).padding(50000).render() + audio);
  ASSERT_TRUE(writeTitle(padded, kKonnichiwa));
  bytes = readFile(padded);
  EXPECT_EQ(id3v2Size(bytes), 50022u);
  EXPECT_TRUE(bytes.substr(50022) == audio);
}

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

TEST(Vbmp3Write, NothingChangedLeavesTheFileAlone) {
  TempDir dir;
  const std::string path = dir.file("same.mp3");
  writeFile(path, Id3v2(3).frame("TIT2", latin1Text("same  ")).render() + mpegFrames(10) +
                      id3v1("same", "x"));
  struct stat before {};
  ASSERT_EQ(::stat(path.c_str(), &before), 0);
  const std::string bytes = readFile(path);
  Record r{};
  ASSERT_TRUE(readRecord(path, r));
  // The title as the program hands it back: the text, then spaces, no NUL.
  assignSlot(r, kTitle, "same");
  EXPECT_NE(vbmp3_setTagInfoEX(path.c_str(), r.data(), 0, 1), 0);
  EXPECT_NE(vbmp3_setTagInfoEX(path.c_str(), r.data(), 4, 1), 0);
  EXPECT_EQ(readFile(path), bytes);
  struct stat after {};
  ASSERT_EQ(::stat(path.c_str(), &after), 0);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
}

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

}  // namespace
}  // namespace vbmp3test
