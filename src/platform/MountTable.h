#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tagkana::platform {

// The drives that a mount table in the format of /proc/self/mounts offers:
// "/" first, then the mount points of real file systems in name order, with
// the table's octal escapes (\040 for a space) decoded. POSIX only.
std::vector<std::u16string> drivesFromMountTable(std::string_view table);

}  // namespace tagkana::platform
