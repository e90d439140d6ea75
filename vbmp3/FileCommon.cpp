// What both file layers share: the names of their leftovers and the edit
// of a file in place when its change lies within one page.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "PosixFile.h"

namespace vbmp3 {
namespace {

std::string decorated(std::string_view name, std::string_view suffix) {
  std::string out = ".";
  out.append(name).append(".vbmp3-").append(suffix);
  if (out.size() <= 255) {
    return out;
  }
  // Too long a name to decorate: a hash of it stands in.
  std::uint64_t h = 14695981039346656037ull;
  for (const char c : name) {
    h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
  return ".vbmp3-" + std::string(hex) + "-" + std::string(suffix);
}

}  // namespace

std::string journalName(std::string_view fileName) {
  return decorated(fileName, "journal");
}

std::string tempName(std::string_view fileName) {
  return decorated(fileName, "new");
}

std::size_t firstDifference(std::string_view a, std::string_view b) {
  // memcmp a block at a time: a picture of megabytes is compared at memory speed.
  constexpr std::size_t kBlock = 4096;
  const std::size_t n = std::min(a.size(), b.size());
  std::size_t at = 0;
  while (at + kBlock <= n && std::memcmp(a.data() + at, b.data() + at, kBlock) == 0) {
    at += kBlock;
  }
  while (at < n && a[at] == b[at]) {
    ++at;
  }
  return at;
}

std::vector<Range> changedRanges(const Edit& edit) {
  std::vector<Range> out;
  // `before` and `after` differ at most within [from, to).
  const auto add = [&](off_t base, std::string_view before, std::string_view after,
                       std::size_t from, std::size_t to) {
    to = std::min(to, before.size());
    from = std::min(from, to);
    const std::size_t first =
        from + firstDifference(before.substr(from, to - from), after.substr(from, to - from));
    if (first == to) {
      return;
    }
    constexpr std::size_t kBlock = 4096;
    std::size_t last = to;
    while (last - first >= kBlock &&
           std::memcmp(before.data() + last - kBlock, after.data() + last - kBlock, kBlock) == 0) {
      last -= kBlock;
    }
    while (before[last - 1] == after[last - 1]) {
      --last;
    }
    out.push_back({base + static_cast<off_t>(first), before.substr(first, last - first),
                   after.substr(first, last - first)});
  };
  add(edit.tagAt, edit.oldTag(), edit.tag(), edit.tagChangeFrom, edit.tagChangeTo);
  add(edit.backAt, edit.oldBack, edit.back, 0, edit.oldBack.size());
  return out;
}

std::optional<bool> writeWithinOnePage(int fd, const std::vector<Range>& ranges,
                                       bool (*sync)(int)) {
  constexpr off_t kPage = 4096;
  const off_t first = ranges.front().at;
  const off_t last = ranges.back().at + static_cast<off_t>(ranges.back().after.size()) - 1;
  if (first / kPage != last / kPage) {
    return std::nullopt;
  }
  bool ok = true;
  for (const Range& r : ranges) {
    ok = ok && pwriteExact(fd, r.after.data(), r.after.size(), r.at);
  }
  if (ok && sync(fd)) {
    return true;
  }
  // Put the old bytes back, for whoever reads the file next.
  for (const Range& undo : ranges) {
    pwriteExact(fd, undo.before.data(), undo.before.size(), undo.at);
  }
  sync(fd);
  return false;
}

bool copyBuffered(int from, off_t fromOffset, int to, off_t toOffset, off_t size) {
  constexpr off_t kChunk = 1 << 20;
  std::vector<char> buffer(static_cast<std::size_t>(std::min(size, kChunk)));
  while (size > 0) {
    const auto n = static_cast<std::size_t>(std::min(size, kChunk));
    if (!preadExact(from, buffer.data(), n, fromOffset) ||
        !pwriteExact(to, buffer.data(), n, toOffset)) {
      return false;
    }
    fromOffset += static_cast<off_t>(n);
    toOffset += static_cast<off_t>(n);
    size -= static_cast<off_t>(n);
  }
  return true;
}

}  // namespace vbmp3
