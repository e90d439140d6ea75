// What both file layers share: the names of their new files, the reasons
// of failures and the edit of a file in place when each change lies within
// one page.
#if defined(_WIN32)
#include <windows.h>
#else
#include <errno.h>
#endif
#if defined(__linux__)
#include <sys/random.h>
#endif

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "FileLayer.h"

namespace vbmp3 {
namespace {

constexpr std::string_view kTempMark = "new-";
constexpr std::size_t kRandomLength = 10;

// ".NAME.vbmp3-new-", or for a name too long to decorate a hash of it.
std::string tempPrefix(std::string_view name) {
  std::string out = ".";
  out.append(name).append(".vbmp3-").append(kTempMark);
  if (out.size() + kRandomLength <= 255) {
    return out;
  }
  std::uint64_t h = 14695981039346656037ull;
  for (const char c : name) {
    h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
  return ".vbmp3-" + std::string(hex) + "-" + std::string(kTempMark);
}

bool g_callerSyncs = false;

}  // namespace

std::string tempName(std::string_view fileName, std::string_view random) {
  return tempPrefix(fileName).append(random);
}

bool isTempName(std::string_view fileName, std::string_view candidate) {
  const std::string prefix = tempPrefix(fileName);
  if (candidate.size() != prefix.size() + kRandomLength || !candidate.starts_with(prefix)) {
    return false;
  }
  return std::all_of(
      candidate.begin() + static_cast<std::ptrdiff_t>(prefix.size()), candidate.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
      });
}

std::string randomPart() {
  static constexpr std::string_view kLetters =
      "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  KeepError keep;
  std::array<unsigned char, kRandomLength> bytes{};
#if defined(__linux__)
  // One call: a random_device costs more to make than the rest of a name.
  const bool got = ::getrandom(bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size());
#else
  const bool got = false;
#endif
  if (!got) {
    std::random_device source;
    for (unsigned char& b : bytes) {
      b = static_cast<unsigned char>(source());
    }
  }
  std::string out;
  for (const unsigned char b : bytes) {
    out += kLetters[b % kLetters.size()];
  }
  return out;
}

unsigned long errorOf(Reason reason) {
#if defined(_WIN32)
  switch (reason) {
    case Reason::kBusy:
      return ERROR_SHARING_VIOLATION;
    case Reason::kReadOnly:
      return ERROR_ACCESS_DENIED;
    case Reason::kTooBig:
      return ERROR_FILE_TOO_LARGE;
    case Reason::kSeveralNames:
      return ERROR_TOO_MANY_LINKS;
    case Reason::kUnencodable:
      return ERROR_NO_UNICODE_TRANSLATION;
    case Reason::kTitleDoesNotFit:
      return ERROR_ARITHMETIC_OVERFLOW;
    case Reason::kNotMpeg:
      return ERROR_BAD_FORMAT;
    case Reason::kBadEdit:
      return ERROR_INVALID_DATA;
    case Reason::kNotDurable:
      return ERROR_IO_PENDING;
    case Reason::kInvalid:
      break;
  }
  return ERROR_INVALID_PARAMETER;
#else
  switch (reason) {
    case Reason::kBusy:
      return EBUSY;
    case Reason::kReadOnly:
      return EACCES;
    case Reason::kTooBig:
      return EFBIG;
    case Reason::kSeveralNames:
      return EMLINK;
    case Reason::kUnencodable:
      return EILSEQ;
    case Reason::kTitleDoesNotFit:
      return EOVERFLOW;
    case Reason::kNotMpeg:
      return ENOEXEC;
    case Reason::kBadEdit:
      return EBADMSG;
    case Reason::kNotDurable:
      return EINPROGRESS;
    case Reason::kInvalid:
      break;
  }
  return EINVAL;
#endif
}

bool fail(Reason reason) {
#if defined(_WIN32)
  SetLastError(static_cast<DWORD>(errorOf(reason)));
#else
  errno = static_cast<int>(errorOf(reason));
#endif
  return false;
}

#if defined(_WIN32)
void clearError() {
  SetLastError(0);
}
bool errorSet() {
  return GetLastError() != 0;
}
KeepError::KeepError() : m_error(GetLastError()) {}
KeepError::~KeepError() {
  SetLastError(static_cast<DWORD>(m_error));
}
#else
void clearError() {
  errno = 0;
}
bool errorSet() {
  return errno != 0;
}
KeepError::KeepError() : m_error(static_cast<unsigned long>(errno)) {}
KeepError::~KeepError() {
  errno = static_cast<int>(m_error);
}
#endif

bool callerSyncs() {
  return g_callerSyncs;
}

void setCallerSyncs(bool value) {
  g_callerSyncs = value;
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

namespace {

constexpr off_t kPage = 4096;

// Where `before` and `after`, which differ at most within [from, to), differ.
std::optional<Range> changedRange(off_t base, std::string_view before, std::string_view after,
                                  std::size_t from, std::size_t to) {
  to = std::min(to, before.size());
  from = std::min(from, to);
  const std::size_t first =
      from + firstDifference(before.substr(from, to - from), after.substr(from, to - from));
  if (first == to) {
    return std::nullopt;
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
  return Range{base + static_cast<off_t>(first), before.substr(first, last - first),
               after.substr(first, last - first)};
}

bool withinOnePage(const Range& r) {
  return r.at / kPage == (r.at + static_cast<off_t>(r.after.size()) - 1) / kPage;
}

}  // namespace

CommitPlan commitPlan(const Edit& edit) {
  CommitPlan how;
  if (!edit.keepsShape()) {
    return how;
  }
  for (auto r :
       {changedRange(edit.tagAt, edit.oldTag, edit.tag, edit.tagChangeFrom, edit.tagChangeTo),
        changedRange(edit.backAt, edit.oldBack, edit.back, 0, edit.oldBack.size())}) {
    if (r) {
      how.ranges.push_back(*r);
    }
  }
  const bool inPlace = std::all_of(how.ranges.begin(), how.ranges.end(), withinOnePage);
  how.kind = how.ranges.empty() ? CommitKind::kNothing
             : inPlace          ? CommitKind::kInPlace
                                : CommitKind::kNewFile;
  return how;
}

bool writeInPlace(int fd, const std::vector<Range>& ranges, bool (*sync)(int)) {
  bool ok = true;
  for (const Range& r : ranges) {
    ok = ok && pwriteExact(fd, r.after.data(), r.after.size(), r.at);
  }
  std::string read;
  for (const Range& r : ranges) {
    read.assign(r.after.size(), '\0');
    ok = ok && (preadExact(fd, read.data(), read.size(), r.at) || fail(Reason::kBadEdit)) &&
         (read == r.after || fail(Reason::kBadEdit));
  }
  if (ok && sync(fd)) {
    return true;
  }
  // Put the old bytes back, for whoever reads the file next.
  KeepError keep;
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
