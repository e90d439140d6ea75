#include <gtest/gtest.h>
#include <zlib.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <random>

#include "Mp3Fixture.h"
#include "Vbmp3TestSupport.h"
#include "vbmp3.h"

namespace vbmp3test {
namespace {

std::string growingTitle(int n) {
  std::string title;
  for (int i = 0; i < n; ++i) {
    title += "\x82\xA0";
  }
  return title;
}

// A write that fails must leave exactly the bytes that were there.
// The reason a call of the library left, and the one for a tag too big or
// hostile to parse.
unsigned long lastReason() {
#ifdef _WIN32
  return GetLastError();
#else
  return static_cast<unsigned long>(errno);
#endif
}
#ifdef _WIN32
constexpr unsigned long kTooBig = ERROR_FILE_TOO_LARGE;
#else
constexpr unsigned long kTooBig = EFBIG;
#endif

// Returns the reason the refusal left.
unsigned long expectWriteRefused(const std::string& path) {
  const std::string before = readFile(path);
  Record r{};
  assignSlot(r, kTitle, growingTitle(40));
  EXPECT_EQ(vbmp3_setTagInfoEX(path.c_str(), r.data(), 0, 1), 0) << path;
  const unsigned long reason = lastReason();
  EXPECT_EQ(readFile(path), before) << path;
  return reason;
}

TEST(Vbmp3Safety, BadInputsReadAsFailure) {
  TempDir dir;
  const std::string tag = Id3v2(3).frame("TIT2", latin1Text("cut")).padding(300).render();
  std::mt19937 random(7);
  std::string noise(5000, '\0');
  for (char& c : noise) {
    c = static_cast<char>(random());
  }
  const std::vector<std::pair<std::string, std::string>> files{
      {"empty.mp3", ""},
      {"text.mp3", "This is a text file, not an MP3.\n"},
      {"noise.mp3", noise},
      {"past-end.mp3",
       Id3v2(3).frame("TIT2", latin1Text("x")).claimSize(90000).render() + mpegFrames(3)},
      {"cut.mp3", tag.substr(0, tag.size() / 2)},
      {"one-frame.mp3", mpegFrames(1)},
      {"tag-only.mp3", tag},
  };
  for (const auto& [name, bytes] : files) {
    const std::string path = dir.file(name);
    writeFile(path, bytes);
    Record r{};
    EXPECT_FALSE(readRecord(path, r)) << name;
    expectWriteRefused(path);
  }
  Record r{};
  EXPECT_FALSE(readRecord(dir.path(), r));
  EXPECT_FALSE(readRecord(dir.file("missing.mp3"), r));
  EXPECT_EQ(vbmp3_setTagInfoEX(dir.path().c_str(), r.data(), 0, 1), 0);
  EXPECT_EQ(vbmp3_setTagInfoEX(dir.file("missing.mp3").c_str(), r.data(), 0, 1), 0);
#ifdef _WIN32
  // A device is no file.
  EXPECT_FALSE(readRecord("NUL", r));
  EXPECT_EQ(vbmp3_setTagInfoEX("NUL", r.data(), 0, 1), 0);
#else
  // A FIFO must neither block the read nor count as a file.
  ASSERT_EQ(::mkfifo(dir.file("fifo.mp3").c_str(), 0644), 0);
  EXPECT_FALSE(readRecord(dir.file("fifo.mp3"), r));
  EXPECT_EQ(vbmp3_setTagInfoEX(dir.file("fifo.mp3").c_str(), r.data(), 0, 1), 0);
#endif
}

std::string bigEndian32(std::uint32_t v, bool syncSafe = false) {
  const int shift = syncSafe ? 7 : 8;
  std::string out;
  for (int i = 3; i >= 0; --i) {
    out += static_cast<char>((v >> (shift * i)) & (syncSafe ? 0x7F : 0xFF));
  }
  return out;
}

std::string tagOf(const std::string& frames) {
  return std::string("ID3\x03\0\0", 6) +
         bigEndian32(static_cast<std::uint32_t>(frames.size()), true) + frames;
}

std::string compressedTitle(std::size_t plainSize) {
  const std::string plain = std::string(1, '\0') + std::string(plainSize, 'A');
  uLongf packedSize = compressBound(plain.size());
  std::string packed(packedSize, '\0');
  compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
            reinterpret_cast<const Bytef*>(plain.data()), plain.size(), 9);
  packed.resize(packedSize);
  const std::string body = bigEndian32(static_cast<std::uint32_t>(plain.size())) + packed;
  return "TIT2" + bigEndian32(static_cast<std::uint32_t>(body.size())) + std::string("\0\x80", 2) +
         body;
}

// Chapters nested `depth` deep around one title, made outside in.
std::string nestedChapters(std::size_t depth) {
  const std::string inner = "TIT2" + bigEndian32(2) + std::string("\0\0\0x", 4);
  constexpr std::size_t kHead = 10 + 2 + 16;  // header, element id "c" and its NUL, times
  std::string out;
  out.reserve(depth * kHead + inner.size());
  for (std::size_t level = 0; level < depth; ++level) {
    const auto size = static_cast<std::uint32_t>((depth - level) * kHead - 10 + inner.size());
    out += "CHAP" + bigEndian32(size) + std::string("\0\0c\0", 4) + std::string(16, '\0');
  }
  return out + inner;
}

// Tags that would make TagLib inflate without bound, recurse until the stack
// overflows, or spend gigabytes on tiny frames are refused, quickly and whole;
// a genuine big compressed frame is not.
TEST(Vbmp3Safety, HostileTagsAreRefusedInBoundedWork) {
  std::string tiny;
  for (int i = 0; i < 200'000; ++i) {
    tiny += "TXXX" + bigEndian32(3) + std::string("\0\0\0a\0", 5);
  }
  std::vector<std::pair<std::string, std::string>> hostile{
      {"bomb.mp3", tagOf(compressedTitle(80u << 20))},
      {"chapters.mp3", tagOf(nestedChapters(17'500))},
      {"tiny-frames.mp3", tagOf(tiny)},
      {"huge.mp3", tagOf("TIT2" + bigEndian32(2) + std::string("\0\0\0x", 4) +
                         std::string((32u << 20) + 1, '\0'))},
  };
  // Unsynchronised tags cost more copies: half the size is the bound.
  const auto unsynchronised = [](std::size_t padding) {
    std::string tag =
        tagOf("TIT2" + bigEndian32(2) + std::string("\0\0\0x", 4) + std::string(padding, '\0'));
    tag[5] = '\x80';
    return tag;
  };
  constexpr std::size_t kUnsyncBound = (16u << 20) - 12;  // the frame is 12 bytes
  hostile.emplace_back("unsynchronised.mp3", unsynchronised(kUnsyncBound + 1));
  TempDir dir;
  for (const auto& [name, tag] : hostile) {
    const std::string path = dir.file(name);
    writeFile(path, tag + mpegFrames(4));
    Record r{};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(readRecord(path, r)) << name;
    EXPECT_EQ(lastReason(), kTooBig) << name;
    EXPECT_EQ(expectWriteRefused(path), kTooBig) << name;
    (void)start;
  }
  // Chapters a few deep, and a megabyte of compressed title, read as usual.
  const std::string fine = dir.file("fine.mp3");
  writeFile(fine, tagOf(nestedChapters(4) + compressedTitle(1u << 20)) + mpegFrames(4));
  Record r{};
  EXPECT_TRUE(readRecord(fine, r));
  EXPECT_EQ(slot(r, kTitle), std::string(128, 'A'));
  writeFile(fine, unsynchronised(kUnsyncBound) + mpegFrames(4));
  EXPECT_TRUE(readRecord(fine, r));
  EXPECT_EQ(slot(r, kTitle), "x");
}

#ifndef _WIN32
TEST(Vbmp3Safety, PermissionsAreHonoured) {
  TempDir dir;
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  const std::string content = Id3v2(3).frame("TIT2", latin1Text("t")).render() + mpegFrames(30);

  // Owner without write permission: refused, even for root.
  const std::string readOnly = dir.file("read-only.mp3");
  writeFile(readOnly, content);
  ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
  expectWriteRefused(readOnly);

  // No read permission: root reads anything, so look as user nobody.
  const std::string unreadable = dir.file("unreadable.mp3");
  writeFile(unreadable, content);
  ASSERT_EQ(::chmod(unreadable.c_str(), 0200), 0);
  const bool asNobody = runningAsRoot();
  EXPECT_EQ(inChild(
                [&] {
                  Record r{};
                  return readRecord(unreadable, r) ? 1 : 0;
                },
                asNobody),
            0);

  if (!asNobody) {
    GTEST_SKIP() << "the cases below need a second user";
  }
  // A folder that takes no new file: the growing write cannot make its copy.
  const std::string owned = dir.file("nobody.mp3");
  const std::string padded =
      Id3v2(3).frame("TIT2", latin1Text("t")).padding(20).render() + mpegFrames(30);
  writeFile(owned, padded);
  ASSERT_EQ(::chown(owned.c_str(), nobodyUid(), nobodyGid()), 0);
  EXPECT_EQ(inChild([&] { return writeTitle(owned, growingTitle(40)) ? 1 : 0; }, true), 0);
  EXPECT_EQ(readFile(owned), padded);
  // ...while a title that fits is written in place.
  EXPECT_EQ(inChild([&] { return writeTitle(owned, "x") ? 1 : 0; }, true), 1);

  // A folder that takes new files must not let the replace get round the
  // file's own permissions.
  TempDir open;
  ASSERT_EQ(::chmod(open.path().c_str(), 0777), 0);
  const std::string foreign = open.file("root.mp3");
  writeFile(foreign, content);
  ASSERT_EQ(::chmod(foreign.c_str(), 0644), 0);
  EXPECT_EQ(inChild([&] { return writeTitle(foreign, growingTitle(40)) ? 1 : 0; }, true), 0);
  EXPECT_EQ(readFile(foreign), content);
  const std::string mine = open.file("mine.mp3");
  writeFile(mine, content);
  ASSERT_EQ(::chown(mine.c_str(), nobodyUid(), nobodyGid()), 0);
  EXPECT_EQ(inChild([&] { return writeTitle(mine, growingTitle(40)) ? 1 : 0; }, true), 1);
  EXPECT_EQ(open.names(), (std::vector<std::string>{"mine.mp3", "root.mp3"}));
  EXPECT_EQ(dir.names(),
            (std::vector<std::string>{"nobody.mp3", "read-only.mp3", "unreadable.mp3"}));
}

TEST(Vbmp3Safety, DiskFullPartWayLeavesTheOldFile) {
  TempDir dir;
  const std::string path = dir.file("full.mp3");
  const std::string content =
      Id3v2(3).frame("TIT2", latin1Text("t")).render() + mpegFrames(2000);  // 834 KB
  writeFile(path, content);
  const int result = inChild([&] {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{400000, 400000};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
      return 100;
    }
    return writeTitle(path, growingTitle(40)) ? 1 : 0;
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(readFile(path), content);
  EXPECT_EQ(dir.names(), std::vector<std::string>{"full.mp3"});
}

#endif

// A frame whose flags say compressed, encrypted and grouped renders into
// something that no longer reads back: the write fails and writes nothing.
TEST(Vbmp3Safety, RenderThatDoesNotReadBackIsNotWritten) {
  TempDir dir;
  const std::string path = dir.file("flags.mp3");
  std::string tag(
      "ID3\x03\0\0\0\0\0\x71TIT2\0\0\0\x09\0\xDE\x05\xFF\xFE"
      "B0D0F0"
      "TCON\0\0\0\x05\0\0(17)TRCK\0\0\0\x05\0\0"
      "3/12",
      58);
  tag.resize(123, '\0');
  const std::string content = tag + mpegFrames(4);
  writeFile(path, content);
  Record r{};
  ASSERT_TRUE(readRecord(path, r));
  assignSlot(r, kTitle, "\x82\xA0\x82\xA2\x82\xA4");
  if (vbmp3_setTagInfoEX(path.c_str(), r.data(), 0, 1) == 0) {
    EXPECT_EQ(readFile(path), content);
  } else {
    Record back{};
    ASSERT_TRUE(readRecord(path, back));
    EXPECT_EQ(slot(back, kTitle), "\x82\xA0\x82\xA2\x82\xA4");
  }
  EXPECT_EQ(dir.names(), std::vector<std::string>{"flags.mp3"});
}

// TagLib's own odd files: a read fails or fills the record; a write fails
// leaving the bytes, or succeeds and reads back.
TEST(Vbmp3Safety, TagLibSampleFiles) {
  const std::filesystem::path corpus = VBMP3_CORPUS_DIR;
  if (!std::filesystem::is_directory(corpus)) {
    GTEST_SKIP() << "no sample files at " << corpus;
  }
  TempDir dir;
  int read = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    if (entry.path().extension() != ".mp3") {
      continue;
    }
    const std::string path = dir.file(entry.path().filename().string());
    writeFile(path, readFile(entry.path().string()));
    Record r{};
    if (!readRecord(path, r)) {
      expectWriteRefused(path);
      continue;
    }
    ++read;
    const std::string before = readFile(path);
    assignSlot(r, kTitle, "\x82\xA0\x82\xA2");
    if (vbmp3_setTagInfoEX(path.c_str(), r.data(), 0, 1) == 0) {
      EXPECT_EQ(readFile(path), before) << path;
      continue;
    }
    Record back{};
    ASSERT_TRUE(readRecord(path, back)) << path;
    EXPECT_EQ(slot(back, kTitle), "\x82\xA0\x82\xA2") << path;
  }
  EXPECT_GT(read, 10);
}

}  // namespace
}  // namespace vbmp3test
