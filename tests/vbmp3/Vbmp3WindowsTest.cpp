// The write path on Windows: what the sharing modes, the attributes, the
// links and the names of a file ask of it.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "FileLayer.h"
#include "Mp3Fixture.h"
#include "TagFile.h"
#include "Vbmp3TestSupport.h"

namespace vbmp3test {
namespace {

// Long enough that the tag must grow, so that the write makes a new file.
const std::string kLongTitle(80, 'L');

std::string song(std::string_view title, std::size_t padding = 0) {
  return Id3v2(3).frame("TIT2", latin1Text(title)).padding(padding).render() + mpegFrames(30);
}

std::string titleOf(const std::string& path) {
  Record r{};
  return readRecord(path, r) ? slot(r, kTitle) : "(unreadable)";
}

TEST(Vbmp3Windows, FilesOthersHoldOrProtectAreLeftAlone) {
  TempDir dir;
  const std::string content = song("t");

  const std::string readOnly = dir.file("read-only.mp3");
  writeFile(readOnly, content);
  ASSERT_TRUE(SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(titleOf(readOnly), "t");
  EXPECT_FALSE(writeTitle(readOnly, "x"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(readFile(readOnly), content);
  ASSERT_TRUE(SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL));

  // Another program has the file open, sharing everything: it still reads,
  // but the write fails rather than edit under it, and succeeds once the
  // file is let go.
  const std::string held = dir.file("held.mp3");
  writeFile(held, content);
  const HANDLE other = CreateFileA(held.c_str(), GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  EXPECT_EQ(titleOf(held), "t");
  EXPECT_FALSE(writeTitle(held, kLongTitle));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(readFile(held), content);
  CloseHandle(other);
  EXPECT_TRUE(writeTitle(held, kLongTitle));
  EXPECT_EQ(titleOf(held), kLongTitle);
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"held.mp3", "read-only.mp3"}));
}

// Another program writes the file at the moments around the replace: when
// our handle on it goes, and once the file is held for the replace. The
// write never replaces what that program wrote.
TEST(Vbmp3Windows, AnotherProgramsChangeDuringTheReplaceIsKept) {
  TempDir dir;
  static std::string path;
  static vbmp3::ReplaceStage when;
  static DWORD otherOpen;
  path = dir.file("song.mp3");
  const auto otherProgram = [](vbmp3::ReplaceStage stage) {
    if (stage != when) {
      return;
    }
    const HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    otherOpen = h == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    if (h != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      WriteFile(h, "!", 1, &written, nullptr);  // the tag's first byte
      CloseHandle(h);
    }
  };
  vbmp3::g_replaceHook = otherProgram;

  // Its change while the file is not held: the write fails busy and the
  // file is as that program left it.
  writeFile(path, song("t"));
  when = vbmp3::ReplaceStage::kReleased;
  Record r{};
  ASSERT_TRUE(readRecord(path, r));
  assignSlot(r, kTitle, kLongTitle);
  EXPECT_FALSE(vbmp3::writeTag(path.c_str(), r.data(), 0, true));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(otherOpen, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(readFile(path), "!" + song("t").substr(1));
  EXPECT_EQ(dir.names(), std::vector<std::string>{"song.mp3"});

  // Once it is held for the replace, no other program may write it.
  writeFile(path, song("t"));
  when = vbmp3::ReplaceStage::kHeld;
  EXPECT_TRUE(vbmp3::writeTag(path.c_str(), r.data(), 0, true));
  EXPECT_EQ(otherOpen, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(titleOf(path), kLongTitle);
  EXPECT_EQ(dir.names(), std::vector<std::string>{"song.mp3"});
  vbmp3::g_replaceHook = nullptr;
}

TEST(Vbmp3Windows, HardLinksAreNeverSplit) {
  TempDir dir;
  const std::string first = dir.file("first.mp3");
  const std::string second = dir.file("second.mp3");
  writeFile(first, song("t", 20));
  ASSERT_TRUE(CreateHardLinkA(second.c_str(), first.c_str(), nullptr));
  // In place, both names see it.
  EXPECT_TRUE(writeTitle(first, "x"));
  EXPECT_EQ(titleOf(second), "x");
  // A new file would leave the other name behind.
  const std::string before = readFile(first);
  EXPECT_FALSE(writeTitle(first, kLongTitle));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TOO_MANY_LINKS));
  EXPECT_EQ(readFile(first), before);
  EXPECT_EQ(readFile(second), before);
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"first.mp3", "second.mp3"}));
}

// While writes that need a new file replace it again and again, another
// program looking for the file always finds it under its name.
TEST(Vbmp3Windows, TheNameNeverDisappears) {
  TempDir dir;
  const std::string path = dir.file("song.mp3");
  writeFile(path, song("t"));
  std::atomic<bool> done{false};
  std::atomic<int> looks{0};
  std::atomic<int> missing{0};
  std::thread watcher([&] {
    while (!done) {
      ++looks;
      missing += GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
    }
  });
  for (int round = 0; round < 40; ++round) {
    writeFile(path, song("t"));
    EXPECT_TRUE(writeTitle(path, kLongTitle));
  }
  done = true;
  watcher.join();
  EXPECT_GT(looks, 40);
  EXPECT_EQ(missing, 0);
  EXPECT_EQ(titleOf(path), kLongTitle);
}

// A writer killed at varied points while it grows file after file never
// leaves a song without its name: each is there, and reads old or new.
TEST(Vbmp3Windows, KilledWhileGrowingTheNameIsNeverEmpty) {
  char self[MAX_PATH];
  ASSERT_GT(GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
  const std::string writer =
      (std::filesystem::path(self).parent_path() / "vbmp3_killed_writer.exe").string();
  const std::string eventName = "vbmp3-killed-writer-" + std::to_string(GetCurrentProcessId());
  const HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, eventName.c_str());
  ASSERT_NE(ready, nullptr);
  int killedMidway = 0;
  for (int kill = 0; kill < 48; ++kill) {
    SCOPED_TRACE("kill " + std::to_string(kill));
    TempDir dir;
    std::vector<std::string> paths;
    std::string command = "\"" + writer + "\" " + eventName;
    for (int i = 0; i < 12; ++i) {
      paths.push_back(dir.file("song" + std::to_string(i) + ".mp3"));
      writeFile(paths.back(), song("t"));
      command += " \"" + paths.back() + "\"";
    }
    ASSERT_TRUE(ResetEvent(ready));
    STARTUPINFOA start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION child{};
    ASSERT_TRUE(CreateProcessA(writer.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &start, &child));
    EXPECT_EQ(WaitForSingleObject(ready, 30000), WAIT_OBJECT_0);
    // From at once after the first file to well into the run, a little
    // later each time.
    Sleep(static_cast<DWORD>(kill % 16) * 3);
    TerminateProcess(child.hProcess, 9);
    WaitForSingleObject(child.hProcess, INFINITE);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    int renamed = 0;
    for (const std::string& path : paths) {
      const std::string title = titleOf(path);
      ASSERT_TRUE(title == "t" || title == kLongTitle) << path << ": " << title;
      renamed += title == kLongTitle;
    }
    killedMidway += renamed > 0 && renamed < static_cast<int>(paths.size());
  }
  CloseHandle(ready);
  // Kills that came while the songs were being written, not only before or after.
  std::printf("%d of 48 kills came between the first write and the last\n", killedMidway);
  EXPECT_GT(killedMidway, 0);
}

TEST(Vbmp3Windows, AnsiPathsAndLeftoversBesideAFile) {
  TempDir dir;
  // The path arrives in the ANSI code page: "あ" in code page 932 here.
  ASSERT_EQ(GetACP(), 932u);
  const std::string ansi = dir.file("\x82\xA0.mp3");
  const auto wide = std::filesystem::path(dir.path()) / std::filesystem::path(L"\u3042.mp3");
  writeFile(ansi, song("t"));
  ASSERT_TRUE(std::filesystem::exists(wide));
  EXPECT_TRUE(writeTitle(ansi, kLongTitle));
  EXPECT_EQ(titleOf(ansi), kLongTitle);
  EXPECT_EQ(std::filesystem::directory_iterator(dir.path())->path(), wide);

  // A copy of ours beside a missing file never takes its name: a read
  // changes nothing, whatever lies beside the file.
  const std::string path = dir.file("song.mp3");
  const std::string copy = dir.file(".song.mp3.vbmp3-new-0123456789");
  writeFile(copy, song("new"));
  EXPECT_EQ(titleOf(path), "(unreadable)");
  EXPECT_EQ(readFile(copy), song("new"));
  // Beside the file, a leftover stays through reads and goes at the next write.
  writeFile(path, song("t"));
  EXPECT_EQ(titleOf(path), "t");
  EXPECT_TRUE(std::filesystem::exists(copy));
  EXPECT_TRUE(writeTitle(path, kLongTitle));
  EXPECT_FALSE(std::filesystem::exists(copy));
  EXPECT_EQ(titleOf(path), kLongTitle);
}

}  // namespace
}  // namespace vbmp3test
