#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/Drives.h"
#include "platform/MountTable.h"
#include "platform/PathEncoding.h"

namespace tagkana::platform {
namespace {

// Kernel and memory file systems: nothing a user keeps music on.
constexpr std::array<std::string_view, 30> kPseudoTypes = {
    "autofs",    "binfmt_misc",     "bpf",         "cgroup",        "cgroup2",
    "configfs",  "debugfs",         "devpts",      "devtmpfs",      "efivarfs",
    "fusectl",   "hugetlbfs",       "mqueue",      "nsfs",          "overlay",
    "proc",      "pstore",          "ramfs",       "rpc_pipefs",    "securityfs",
    "selinuxfs", "squashfs",        "sysfs",       "tmpfs",         "tracefs",
    "nfsd",      "fuse.gvfsd-fuse", "fuse.portal", "fuse.snapfuse", "zfs_internal"};

// System folders whose mounts belong to the machine, not to the user.
constexpr std::array<std::string_view, 7> kSystemFolders = {"/proc", "/sys",  "/dev", "/run",
                                                            "/boot", "/snap", "/etc"};

bool under(std::string_view path, std::string_view folder) {
  return path.substr(0, folder.size()) == folder &&
         (path.size() == folder.size() || path[folder.size()] == '/');
}

// Mount tables write a space as \040, a tab as \011, and so on.
std::string unescape(std::string_view field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const std::string_view digits = field.substr(i + 1, 3);
      if (std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '7'; })) {
        out += static_cast<char>(((digits[0] - '0') << 6) | ((digits[1] - '0') << 3) |
                                 (digits[2] - '0'));
        i += 3;
        continue;
      }
    }
    out += field[i];
  }
  return out;
}

bool offered(std::string_view mountPoint, std::string_view type) {
  if (mountPoint.empty() || mountPoint.front() != '/' || mountPoint == "/") {
    return false;
  }
  if (std::find(kPseudoTypes.begin(), kPseudoTypes.end(), type) != kPseudoTypes.end()) {
    return false;
  }
  // Removable media mount below /run/media; the rest of /run is the system's.
  if (under(mountPoint, "/run/media")) {
    return true;
  }
  return std::none_of(kSystemFolders.begin(), kSystemFolders.end(),
                      [&](std::string_view folder) { return under(mountPoint, folder); });
}

}  // namespace

std::vector<std::u16string> drivesFromMountTable(std::string_view table) {
  std::vector<std::string> points;
  std::istringstream lines{std::string(table)};
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string device;
    std::string mountPoint;
    std::string type;
    if (!(fields >> device >> mountPoint >> type)) {
      continue;
    }
    std::string point = unescape(mountPoint);
    if (offered(point, type)) {
      points.push_back(std::move(point));
    }
  }
  std::sort(points.begin(), points.end());
  points.erase(std::unique(points.begin(), points.end()), points.end());

  std::vector<std::u16string> drives{u"/"};
  for (const std::string& point : points) {
    drives.push_back(decodePath(point));
  }
  return drives;
}

std::u16string systemDrive() {
  return u"/";
}

std::vector<std::u16string> listDrives() {
  std::ifstream mounts("/proc/self/mounts");
  if (!mounts) {
    return {u"/"};
  }
  const std::string table{std::istreambuf_iterator<char>(mounts), std::istreambuf_iterator<char>()};
  return drivesFromMountTable(table);
}

}  // namespace tagkana::platform
