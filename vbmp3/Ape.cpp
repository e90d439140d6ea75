#include "Ape.h"

#include <algorithm>
#include <cstdint>

namespace vbmp3::ape {
namespace {

constexpr std::uint32_t kHasHeader = 0x80000000u;

std::uint32_t le32(std::string_view b, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t i = 4; i-- > 0;) {
    v = (v << 8) | static_cast<unsigned char>(b[at + i]);
  }
  return v;
}

void putLe32(std::string& b, std::size_t at, std::uint32_t v) {
  for (std::size_t i = 0; i < 4; ++i) {
    b[at + i] = static_cast<char>(v >> (8 * i));
  }
}

bool sameKey(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; };
           return upper(x) == upper(y);
         });
}

}  // namespace

std::size_t declaredSize(std::string_view footer) {
  if (footer.size() != kFooterSize || footer.substr(0, 8) != "APETAGEX") {
    return 0;
  }
  const std::size_t size =
      le32(footer, 12) + ((le32(footer, 20) & kHasHeader) != 0 ? kFooterSize : 0);
  return size >= kFooterSize ? size : 0;
}

std::size_t sizeBefore(std::string_view tail) {
  if (tail.size() < kFooterSize) {
    return 0;
  }
  const std::size_t size = declaredSize(tail.substr(tail.size() - kFooterSize));
  return size <= tail.size() ? size : 0;
}

std::optional<std::string> setItem(std::string_view tag, std::string_view key,
                                   const std::optional<std::string>& value) {
  if (tag.size() < kFooterSize || tag.size() > kMaxTagSize) {
    return std::nullopt;
  }
  const std::string_view footer = tag.substr(tag.size() - kFooterSize);
  const std::uint32_t flags = le32(footer, 20);
  const std::size_t headerSize = (flags & kHasHeader) != 0 ? kFooterSize : 0;
  const std::uint32_t count = le32(footer, 16);
  if (tag.size() < headerSize + kFooterSize) {
    return std::nullopt;
  }
  const std::string_view items = tag.substr(headerSize, tag.size() - headerSize - kFooterSize);

  // Each item: value size, flags, key and its NUL, value. The last of a key
  // is the one TagLib keeps.
  std::vector<std::pair<std::size_t, std::size_t>> spans;
  std::size_t found = spans.max_size();
  std::string_view foundKey = key;  // an item keeps its key's bytes
  std::size_t pos = 0;
  for (std::uint32_t i = 0; i < count && pos < items.size(); ++i) {
    if (items.size() - pos < 9) {
      return std::nullopt;
    }
    const std::size_t keyEnd = items.find('\0', pos + 8);
    const std::uint32_t size = le32(items, pos);
    if (keyEnd == std::string_view::npos || size > items.size() - keyEnd - 1) {
      return std::nullopt;
    }
    const std::size_t end = keyEnd + 1 + size;
    if (sameKey(items.substr(pos + 8, keyEnd - pos - 8), key)) {
      found = spans.size();
      foundKey = items.substr(pos + 8, keyEnd - pos - 8);
    }
    spans.emplace_back(pos, end);
    pos = end;
  }

  std::string item;
  if (value) {
    item.resize(8);
    putLe32(item, 0, static_cast<std::uint32_t>(value->size()));
    // A text item keeps a read-only flag it had; its type is text.
    putLe32(item, 4, found < spans.size() ? le32(items, spans[found].first + 4) & 1u : 0u);
    item += std::string(foundKey) + '\0' + *value;
  }
  std::string body;
  for (std::size_t i = 0; i < spans.size(); ++i) {
    body.append(i == found ? std::string_view(item)
                           : items.substr(spans[i].first, spans[i].second - spans[i].first));
  }
  if (found >= spans.size()) {
    body += item;
  }
  body.append(items.substr(pos));  // what follows the counted items stays

  const std::uint32_t newCount =
      count - (found < spans.size() && !value ? 1 : 0) + (found >= spans.size() && value ? 1 : 0);
  const auto newSize = static_cast<std::uint32_t>(body.size() + kFooterSize);
  std::string out;
  if (headerSize != 0) {
    std::string header(tag.substr(0, kFooterSize));
    putLe32(header, 12, newSize);
    putLe32(header, 16, newCount);
    out += header;
  }
  out += body;
  std::string newFooter(footer);
  putLe32(newFooter, 12, newSize);
  putLe32(newFooter, 16, newCount);
  out += newFooter;
  return out;
}

}  // namespace vbmp3::ape
