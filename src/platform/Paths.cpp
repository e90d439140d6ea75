#include "platform/Paths.h"

namespace tagkana::platform {
namespace {

#ifdef _WIN32
bool isDriveRoot(std::u16string_view path) {
  const char16_t letter = path.size() >= 2 ? (path[0] | 0x20) : 0;
  return letter >= u'a' && letter <= u'z' && path[1] == u':';
}
#endif

// The length of the root at the start of `path`; 0 for a relative path.
std::size_t rootLength(std::u16string_view path) {
#ifdef _WIN32
  if (isDriveRoot(path)) {
    return path.size() > 2 && isSeparator(path[2]) ? 3 : 2;
  }
  if (path.size() > 2 && isSeparator(path[0]) && isSeparator(path[1])) {
    // \\server\share\ is the root of a network path.
    std::size_t end = 2;
    for (int part = 0; part < 2 && end < path.size(); ++part) {
      while (end < path.size() && !isSeparator(path[end])) {
        ++end;
      }
      if (end < path.size()) {
        ++end;
      }
    }
    return end;
  }
  return 0;
#else
  return !path.empty() && path.front() == u'/' ? 1 : 0;
#endif
}

std::u16string nativeRoot(std::u16string_view root) {
  std::u16string out(root);
  for (char16_t& c : out) {
    if (isSeparator(c)) {
      c = kPathSeparator;
    }
  }
  if (!out.empty() && !isSeparator(out.back())) {
    out += kPathSeparator;
  }
  return out;
}

}  // namespace

bool isSeparator(char16_t c) {
#ifdef _WIN32
  return c == u'\\' || c == u'/';
#else
  return c == u'/';
#endif
}

std::u16string_view namePart(std::u16string_view path) {
  for (std::size_t i = path.size(); i > 0; --i) {
    if (isSeparator(path[i - 1])) {
      return path.substr(i);
    }
  }
  return path;
}

std::u16string joinPath(std::u16string_view folder, std::u16string_view name) {
  std::u16string out(folder);
  if (out.empty() || !isSeparator(out.back())) {
    out += kPathSeparator;
  }
  out += name;
  return out;
}

std::u16string absoluteFolder(std::u16string_view base, std::u16string_view path) {
  const std::u16string joined = rootLength(path) == 0 ? joinPath(base, path) : std::u16string(path);
  const std::size_t root = rootLength(joined);
  std::vector<std::u16string_view> steps;
  const std::u16string_view rest = std::u16string_view(joined).substr(root);
  std::size_t start = 0;
  while (start <= rest.size()) {
    std::size_t end = start;
    while (end < rest.size() && !isSeparator(rest[end])) {
      ++end;
    }
    const std::u16string_view step = rest.substr(start, end - start);
    if (step == u"..") {
      if (!steps.empty()) {
        steps.pop_back();
      }
    } else if (!step.empty() && step != u".") {
      steps.push_back(step);
    }
    start = end + 1;
  }
  std::u16string out = nativeRoot(std::u16string_view(joined).substr(0, root));
  for (std::size_t i = 0; i < steps.size(); ++i) {
    if (i > 0) {
      out += kPathSeparator;
    }
    out += steps[i];
  }
  return out;
}

std::vector<std::u16string> folderChain(std::u16string_view folder) {
  const std::size_t root = rootLength(folder);
  std::vector<std::u16string> chain{std::u16string(folder.substr(0, root))};
  for (std::size_t i = root; i <= folder.size(); ++i) {
    if (i > root && (i == folder.size() || isSeparator(folder[i]))) {
      chain.emplace_back(folder.substr(0, i));
    }
  }
  return chain;
}

}  // namespace tagkana::platform
