#include "platform/Listing.h"

#include <algorithm>

namespace tagkana::platform {
namespace {

char16_t folded(char16_t c) {
  const bool upper = (c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7);
  if (upper) {
    return static_cast<char16_t>(c + 0x20);
  }
  if (c >= 0xFF21 && c <= 0xFF3A) {  // full-width A-Z
    return static_cast<char16_t>(c + 0x20);
  }
  return c;
}

bool matchesOne(std::u16string_view name, std::u16string_view pattern) {
  // Greedy match with one remembered star: linear enough for names.
  std::size_t n = 0, p = 0, starAt = std::u16string_view::npos, resumeAt = 0;
  while (n < name.size()) {
    if (p < pattern.size() &&
        (pattern[p] == u'?' || (pattern[p] != u'*' && folded(pattern[p]) == folded(name[n])))) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == u'*') {
      starAt = p++;
      resumeAt = n;
    } else if (starAt != std::u16string_view::npos) {
      p = starAt + 1;
      n = ++resumeAt;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') {
    ++p;
  }
  return p == pattern.size();
}

std::u16string_view trimmed(std::u16string_view text) {
  while (!text.empty() && text.front() == u' ') {
    text.remove_prefix(1);
  }
  while (!text.empty() && text.back() == u' ') {
    text.remove_suffix(1);
  }
  return text;
}

std::vector<std::u16string> visibleSorted(std::vector<FolderEntry>& entries, FolderEntry::Kind kind,
                                          std::u16string_view pattern = u"") {
  std::vector<std::u16string> rows;
  for (FolderEntry& entry : entries) {
    if (entry.kind == kind && !entry.hidden && matchesPattern(entry.name, pattern)) {
      rows.push_back(std::move(entry.name));
    }
  }
  std::sort(rows.begin(), rows.end(), [](const std::u16string& a, const std::u16string& b) {
    return lessIgnoringCase(a, b);
  });
  return rows;
}

}  // namespace

bool matchesPattern(std::u16string_view name, std::u16string_view pattern) {
  bool any = false;
  while (true) {
    const std::size_t end = std::min(pattern.find(u';'), pattern.size());
    const std::u16string_view one = trimmed(pattern.substr(0, end));
    if (!one.empty()) {
      any = true;
      if (matchesOne(name, one)) {
        return true;
      }
    }
    if (end == pattern.size()) {
      return !any;
    }
    pattern.remove_prefix(end + 1);
  }
}

bool lessIgnoringCase(std::u16string_view a, std::u16string_view b) {
  const auto less = [](char16_t x, char16_t y) { return folded(x) < folded(y); };
  if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), less)) {
    return true;
  }
  if (std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), less)) {
    return false;
  }
  return a < b;
}

std::vector<std::u16string> fileRows(std::vector<FolderEntry> entries,
                                     std::u16string_view pattern) {
  return visibleSorted(entries, FolderEntry::Kind::File, pattern);
}

std::vector<std::u16string> folderRows(std::vector<FolderEntry> entries) {
  return visibleSorted(entries, FolderEntry::Kind::Folder);
}

}  // namespace tagkana::platform
