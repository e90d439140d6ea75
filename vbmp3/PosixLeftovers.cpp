// The new files of ours that a killed write left: found through a listing
// of the folder kept while the folder is unchanged, and removed only when
// they are regular files of the caller's own.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "PosixLayer.h"

namespace vbmp3::posix {
namespace {

// A folder's names of ours as of one listing, kept while the folder's
// timestamps say no name in it has changed since, so that a run of writes in
// one folder lists it once rather than once a file. A listing counts only when
// it began well after the folder's last change: file system clocks tick
// coarsely (two seconds on FAT), and a name made within the tick of the last
// change would not move the folder's time.
struct Listing {
  dev_t dev = 0;
  ino_t ino = 0;
  struct timespec changed {};
  struct timespec modified {};
  std::vector<std::string> ours;
};

constexpr time_t kClockTick = 3;
constexpr std::size_t kListingsKept = 16;

std::mutex g_listingsLock;
std::vector<Listing> g_listings;

bool sameTime(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool unchanged(const Listing& l, const struct stat& st) {
  return l.dev == st.st_dev && l.ino == st.st_ino && sameTime(l.changed, st.st_ctim) &&
         sameTime(l.modified, st.st_mtim);
}

bool longBefore(const struct timespec& t, const struct timespec& now) {
  return t.tv_sec + kClockTick <= now.tv_sec;
}

// Every name in the folder that could be one of ours, for any file.
std::optional<std::vector<std::string>> listOurs(int dir) {
  const int listing = os().openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (listing < 0) {
    return std::nullopt;
  }
  const auto closeListing = [](DIR* d) { os().closedir(d); };
  const std::unique_ptr<DIR, decltype(closeListing)> entries(os().fdopendir(listing), closeListing);
  if (!entries) {
    os().close(listing);
    return std::nullopt;
  }
  std::vector<std::string> ours;
  while (const dirent* entry = os().readdir(entries.get())) {
    if (std::strstr(entry->d_name, ".vbmp3-") != nullptr) {
      ours.emplace_back(entry->d_name);
    }
  }
  return ours;
}

// The names of ours in the folder, from a listing still good or a new one.
std::optional<std::vector<std::string>> namesOfOurs(int dir) {
  struct stat before {};
  if (os().fstat(dir, &before) != 0) {
    return std::nullopt;
  }
  {
    const std::lock_guard<std::mutex> hold(g_listingsLock);
    for (const Listing& l : g_listings) {
      if (unchanged(l, before)) {
        return l.ours;
      }
    }
  }
  struct timespec now {};
  const bool clock = os().clockGettime(CLOCK_REALTIME, &now) == 0;
  auto ours = listOurs(dir);
  struct stat after {};
  if (ours && clock && os().fstat(dir, &after) == 0 && sameFile(before, after) &&
      sameTime(before.st_ctim, after.st_ctim) && sameTime(before.st_mtim, after.st_mtim) &&
      longBefore(before.st_ctim, now) && longBefore(before.st_mtim, now)) {
    const std::lock_guard<std::mutex> hold(g_listingsLock);
    std::erase_if(g_listings, [&](const Listing& l) {
      return l.dev == before.st_dev && l.ino == before.st_ino;
    });
    if (g_listings.size() >= kListingsKept) {
      g_listings.erase(g_listings.begin());
    }
    g_listings.push_back({before.st_dev, before.st_ino, before.st_ctim, before.st_mtim, *ours});
  }
  return ours;
}

}  // namespace

bool removeName(int dir, const std::string& name) {
  KeepError keep;
  return os().unlinkat(dir, name.c_str(), 0) == 0;
}

// New files of ours that a killed write left beside the file. Only regular
// files of the caller's own go; anything else under such a name stays.
void removeLeftovers(int dir, const std::string& name) {
  KeepError keep;
  const auto ours = namesOfOurs(dir);
  if (!ours) {
    return;
  }
  for (const std::string& candidate : *ours) {
    struct stat st {};
    if (isTempName(name, candidate) &&
        os().fstatat(dir, candidate.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(st.st_mode) && st.st_uid == ::geteuid()) {
      os().unlinkat(dir, candidate.c_str(), 0);
    }
  }
}

}  // namespace vbmp3::posix
