#ifndef _WIN32
#include <gtest/gtest.h>

#include "platform/MountTable.h"

namespace tagkana::platform {
namespace {

TEST(Drives, OffersRootFirstThenRealFileSystems) {
  const char* table =
      "proc /proc proc rw,relatime 0 0\n"
      "sysfs /sys sysfs rw 0 0\n"
      "/dev/sda2 / ext4 rw 0 0\n"
      "tmpfs /dev/shm tmpfs rw 0 0\n"
      "cgroup2 /sys/fs/cgroup cgroup2 rw 0 0\n"
      "/dev/sdb1 /run/media/ann/MUSIC\\040DISC vfat rw 0 0\n"
      "/dev/sda1 /boot/efi vfat rw 0 0\n"
      "/dev/sda3 /home ext4 rw 0 0\n"
      "/dev/sda3 /home ext4 rw 0 0\n"
      "/dev/vda /etc/hosts ext4 rw 0 0\n"
      "/dev/sdc1 /mnt/data ntfs3 rw 0 0\n"
      "/dev/loop3 /snap/core/123 squashfs ro 0 0\n"
      "tmpfs /run/user/1000 tmpfs rw 0 0\n"
      "broken line\n"
      "\n";
  const std::vector<std::u16string> expected{u"/", u"/home", u"/mnt/data",
                                             u"/run/media/ann/MUSIC DISC"};
  EXPECT_EQ(drivesFromMountTable(table), expected);
  // A table without the root still offers it, and only once when it has it.
  EXPECT_EQ(drivesFromMountTable(""), std::vector<std::u16string>{u"/"});
  EXPECT_EQ(drivesFromMountTable("overlay / overlay rw 0 0\n/dev/vda / ext4 rw 0 0\n"),
            std::vector<std::u16string>{u"/"});
  // Non-ASCII mount points come through as UTF-8.
  EXPECT_EQ(drivesFromMountTable("/dev/sdd1 /media/\xe9\x9f\xb3\xe6\xa5\xbd vfat rw 0 0\n"),
            (std::vector<std::u16string>{u"/", u"/media/音楽"}));
  // A mount point that is not UTF-8 keeps its bytes, so it can be opened.
  EXPECT_EQ(drivesFromMountTable("/dev/sdd1 /media/caf\\351 vfat rw 0 0\n"),
            (std::vector<std::u16string>{u"/", u"/media/caf\xDCE9"}));
}

}  // namespace
}  // namespace tagkana::platform
#endif
