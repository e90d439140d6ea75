#include "support/LiteralRtoK.h"

#include <cstdint>
#include <limits>

#include "common/RuntimeError.h"
#include "conversion/RomajiTables.h"

namespace tagkana::test {
namespace {

char16_t foldCase(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

// The 1-based position of the first occurrence of `part` in `text`, ignoring
// the case of A-Z; 0 when it does not occur.
int inStr(std::u16string_view text, std::u16string_view part) {
  for (std::size_t at = 0; at + part.size() <= text.size(); ++at) {
    std::size_t same = 0;
    while (same < part.size() && foldCase(text[at + same]) == foldCase(part[same])) {
      ++same;
    }
    if (same == part.size()) {
      return static_cast<int>(at) + 1;
    }
  }
  return 0;
}

// Up to `length` characters of `text` from the 1-based position `start`.
std::u16string mid(std::u16string_view text, int start, int length) {
  const auto from = static_cast<std::size_t>(start - 1);
  if (from >= text.size()) {
    return {};
  }
  return std::u16string(text.substr(from, static_cast<std::size_t>(length)));
}

std::u16string rTrim(std::u16string text) {
  while (!text.empty() && text.back() == u' ') {
    text.pop_back();
  }
  return text;
}

// "-", the fragment, "-".
std::u16string hyphenKey(std::u16string_view fragment) {
  std::u16string key = u"-";
  key += fragment;
  key += u'-';
  return key;
}

[[noreturn]] void overflow() {
  throw RuntimeError(u"オーバーフローしました。");
}

std::int16_t advance(std::int16_t position, int by) {
  const int next = position + by;
  if (next > std::numeric_limits<std::int16_t>::max()) {
    overflow();
  }
  return static_cast<std::int16_t>(next);
}

}  // namespace

std::u16string literalRtoK(std::u16string_view Romaji) {
  if (Romaji.size() > static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max())) {
    overflow();
  }
  const auto n = static_cast<std::int16_t>(Romaji.size());
  std::u16string result;
  std::int16_t p = 1;
  while (p <= n) {
    const std::u16string key3 = hyphenKey(mid(Romaji, p, 3));
    if (const int q = inStr(Romaji3Keys, key3); q > 0) {
      result += rTrim(mid(Kana3Slots, q, 4));
      p = advance(p, 3);
      continue;
    }
    const std::u16string key2 = hyphenKey(mid(Romaji, p, 2));
    if (const int q = inStr(Romaji2Keys, key2); q > 0) {
      result += rTrim(mid(Kana2Slots, q, 3));
      p = advance(p, 2);
      continue;
    }
    if (inStr(DoubledKeys, key2) > 0) {
      result += SmallTsu;
      p = advance(p, 1);
      continue;
    }
    const std::u16string single = mid(Romaji, p, 1);
    const int q = inStr(SingleKeys, single);
    result += q > 0 ? mid(SingleKana, q, 1) : single;
    p = advance(p, 1);
  }
  return result;
}

}  // namespace tagkana::test
