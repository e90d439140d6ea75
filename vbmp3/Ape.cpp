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

namespace {

// The items of a tag: where each lies and which one has the key looked for
// (the last of a key is the one TagLib keeps), with that item's key bytes.
struct Items {
  std::vector<std::pair<std::size_t, std::size_t>> spans;
  std::size_t found;
  std::string_view foundKey;
  std::size_t end = 0;  // what follows the counted items stays
};

// Each item: value size, flags, key and its NUL, value.
std::optional<Items> itemsOf(std::string_view items, std::uint32_t count, std::string_view key) {
  Items out{{}, static_cast<std::size_t>(-1), key};
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
      out.found = out.spans.size();
      out.foundKey = items.substr(pos + 8, keyEnd - pos - 8);
    }
    out.spans.emplace_back(pos, end);
    pos = end;
  }
  out.end = pos;
  return out;
}

// The items with the one found replaced, removed or added.
std::string itemsWith(std::string_view items, const Items& found,
                      const std::optional<std::string>& value) {
  const bool had = found.found < found.spans.size();
  std::string item;
  if (value) {
    item.resize(8);
    putLe32(item, 0, static_cast<std::uint32_t>(value->size()));
    // A text item keeps a read-only flag it had; its type is text.
    putLe32(item, 4, had ? le32(items, found.spans[found.found].first + 4) & 1u : 0u);
    item += std::string(found.foundKey) + '\0' + *value;
  }
  std::string body;
  for (std::size_t i = 0; i < found.spans.size(); ++i) {
    const auto [from, to] = found.spans[i];
    body.append(i == found.found ? std::string_view(item) : items.substr(from, to - from));
  }
  if (!had) {
    body += item;
  }
  return body.append(items.substr(found.end));
}

}  // namespace

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
  const auto found = itemsOf(items, count, key);
  if (!found) {
    return std::nullopt;
  }
  const std::string body = itemsWith(items, *found, value);
  const bool had = found->found < found->spans.size();
  const std::uint32_t newCount = count - (had && !value ? 1 : 0) + (!had && value ? 1 : 0);
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
  return out + newFooter;
}

}  // namespace vbmp3::ape
