#pragma once

#include <string>
#include <vector>

namespace tagkana::platform {

// The system drive: "/" on POSIX, "C:\" on Windows.
std::u16string systemDrive();

// The drives to offer, the system drive first. On POSIX: "/" and the mount
// points of the other real file systems (no proc, sysfs, cgroup and the like).
std::vector<std::u16string> listDrives();

}  // namespace tagkana::platform
