// The new files of ours that a killed write left: found through a listing
// of the folder, kept exact by the system's word of every name made or
// removed in the folder since (a local file system), or kept while the
// folder is unchanged (elsewhere); removed only when they are regular files
// of the caller's own.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#if defined(__linux__)
#include <limits.h>
#include <sys/inotify.h>
#endif

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
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

bool mayBeOurs(const char* name) {
  return std::strstr(name, ".vbmp3-") != nullptr;
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
    if (mayBeOurs(entry->d_name)) {
      ours.emplace_back(entry->d_name);
    }
  }
  return ours;
}

#if defined(__linux__)
// File systems whose every change passes through this system, so that its
// word of them is whole; a network's or a FUSE server's can change unseen.
bool changesOnlyHere(int dir) {
  long type = 0;
  if (os().fileSystemType(dir, &type) != 0) {
    return false;
  }
  constexpr std::array<unsigned long, 12> kLocal{
      0xEF53,      // ext2, ext3, ext4
      0x58465342,  // xfs
      0x9123683E,  // btrfs
      0x01021994,  // tmpfs
      0xF2F52010,  // f2fs
      0x4D44,      // vfat
      0x2011BAB0,  // exfat
      0x5346544E,  // ntfs
      0x7366746E,  // ntfs3
      0x3153464A,  // jfs
      0xCA451A4E,  // bcachefs
      0x2FC12FC1,  // zfs
  };
  const auto magic = static_cast<unsigned long>(type) & 0xFFFFFFFFUL;
  return std::find(kLocal.begin(), kLocal.end(), magic) != kLocal.end();
}

// Folders listed once and then kept exact by inotify: every name made or
// removed since is in the queue by the time the call that did it returns.
// The instance is this process's own; a child after fork() starts afresh
// rather than take its parent's events.
class Watches {
 public:
  std::optional<std::vector<std::string>> names(int dir, const struct stat& st) {
    if (!os().watchInstance || !ready()) {
      return std::nullopt;
    }
    drain();
    if (const Watched* w = find(st)) {
      return std::vector<std::string>(w->ours.begin(), w->ours.end());
    }
    if (!changesOnlyHere(dir)) {
      return std::nullopt;
    }
    const int watch = os().watchNames(m_instance, dir);
    if (watch < 0) {
      return std::nullopt;
    }
    // Watched before it is listed: a name made meanwhile is in both, or in
    // the events that follow, which the set takes in their order.
    auto listed = listOurs(dir);
    if (!listed) {
      os().unwatchNames(m_instance, watch);
      return std::nullopt;
    }
    if (m_watched.size() >= kListingsKept) {
      os().unwatchNames(m_instance, m_watched.front().watch);
      m_watched.erase(m_watched.begin());
    }
    std::erase_if(m_watched, [&](const Watched& w) { return w.watch == watch; });
    m_watched.push_back({st.st_dev, st.st_ino, watch, {listed->begin(), listed->end()}});
    drain();
    const Watched* w = find(st);
    return w ? std::vector<std::string>(w->ours.begin(), w->ours.end()) : std::move(listed);
  }

 private:
  struct Watched {
    dev_t dev;
    ino_t ino;
    int watch;
    std::set<std::string> ours;
  };

  bool ready() {
    const pid_t self = ::getpid();
    if (m_instance >= 0 && m_owner == self) {
      return true;
    }
    if (m_instance >= 0) {
      os().close(m_instance);  // the parent's, shared: never read here
    }
    m_watched.clear();
    m_instance = os().watchInstance();
    m_owner = self;
    return m_instance >= 0;
  }

  const Watched* find(const struct stat& st) const {
    for (const Watched& w : m_watched) {
      if (w.dev == st.st_dev && w.ino == st.st_ino) {
        return &w;
      }
    }
    return nullptr;
  }

  void forgetAll() {
    for (const Watched& w : m_watched) {
      os().unwatchNames(m_instance, w.watch);
    }
    m_watched.clear();
  }

  static constexpr std::size_t kLongestEvent = sizeof(struct inotify_event) + NAME_MAX + 1;

  // Every event queued so far; a lost event loses every folder's account.
  void drain() {
    alignas(struct inotify_event) char buffer[16384];
    while (true) {
      const ssize_t n = os().readEvents(m_instance, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) {
        continue;
      }
      if (n <= 0) {
        if (n < 0 && errno != EAGAIN) {
          forgetAll();
        }
        return;
      }
      for (ssize_t at = 0; at < n;) {
        const auto* event = reinterpret_cast<const struct inotify_event*>(buffer + at);
        at += static_cast<ssize_t>(sizeof(struct inotify_event) + event->len);
        apply(*event);
      }
      // Room was left for the longest event: the queue was empty.
      if (static_cast<std::size_t>(n) + kLongestEvent <= sizeof buffer) {
        return;
      }
    }
  }

  void apply(const struct inotify_event& event) {
    if ((event.mask & IN_Q_OVERFLOW) != 0) {
      forgetAll();
      return;
    }
    const auto w = std::find_if(m_watched.begin(), m_watched.end(),
                                [&](const Watched& x) { return x.watch == event.wd; });
    if (w == m_watched.end()) {
      return;
    }
    if ((event.mask & (IN_IGNORED | IN_DELETE_SELF | IN_UNMOUNT)) != 0) {
      m_watched.erase(w);
    } else if (event.len > 0 && mayBeOurs(event.name)) {
      if ((event.mask & (IN_CREATE | IN_MOVED_TO)) != 0) {
        w->ours.insert(event.name);
      } else if ((event.mask & (IN_DELETE | IN_MOVED_FROM)) != 0) {
        w->ours.erase(event.name);
      }
    }
  }

  int m_instance = -1;
  pid_t m_owner = 0;
  std::vector<Watched> m_watched;
};

Watches g_watches;  // under g_listingsLock
#endif

// The names of ours in the folder, from a listing still good or a new one.
std::optional<std::vector<std::string>> namesOfOurs(int dir) {
  struct stat before {};
  if (os().fstat(dir, &before) != 0) {
    return std::nullopt;
  }
  {
    const std::lock_guard<std::mutex> hold(g_listingsLock);
#if defined(__linux__)
    if (auto watched = g_watches.names(dir, before)) {
      return watched;
    }
#endif
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
