#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/Drives.h"
#include "platform/PathEncoding.h"

namespace tagkana::platform {
namespace {

TEST(DrivesWin32, SystemDriveComesFirst) {
  EXPECT_EQ(systemDrive(), u"C:\\");
  const auto drives = listDrives();
  ASSERT_FALSE(drives.empty());
  EXPECT_EQ(drives.front(), u"C:\\");
  for (const auto& drive : drives) {
    ASSERT_EQ(drive.size(), 3u);
    EXPECT_TRUE(drive[0] >= u'A' && drive[0] <= u'Z');
    EXPECT_EQ(drive.substr(1), u":\\");
  }
  // Every drive that Windows reports, each once: a count of the bits.
  int count = 0;
  for (DWORD mask = GetLogicalDrives(); mask != 0; mask &= mask - 1) {
    ++count;
  }
  EXPECT_EQ(static_cast<int>(drives.size()), count);
}

TEST(PathEncodingWin32, PathsCrossInTheAnsiCodePage) {
  ASSERT_EQ(GetACP(), 932u) << "run with the Japanese ANSI code page (LC_ALL=ja_JP.UTF-8)";
  EXPECT_EQ(encodePath(u""), "");
  EXPECT_EQ(encodePath(u"C:\\\\a.mp3"), "C:\\\\a.mp3");
  EXPECT_EQ(encodePath(u"C:\\曲\\さくら.mp3"), "C:\\\x8B\xC8\\\x82\xB3\x82\xAD\x82\xE7.mp3");
  // A character the code page lacks must not turn into another file's name:
  // best fit would give "cafe.mp3", and "?" is in no file name.
  EXPECT_EQ(encodePath(u"C:\\caf\u00E9.mp3"), "C:\\caf?.mp3");
}

}  // namespace
}  // namespace tagkana::platform
