#include "conversion/RomajiTables.h"

// The layout that RtoK relies on, checked once at compile time: the converter
// itself never re-checks its tables.

namespace tagkana {
namespace {

constexpr bool isSmallLetter(char16_t c) {
  return c >= u'a' && c <= u'z';
}

constexpr bool isKanaCharacter(char16_t c) {
  return (c >= u'\u3041' && c <= u'\u3093') || c == u'\u309B' || c == u'\u30FC';
}

constexpr bool isKanaText(std::u16string_view text) {
  for (char16_t c : text) {
    if (!isKanaCharacter(c)) {
      return false;
    }
  }
  return true;
}

// A hyphen opens every entry and closes the last; small letters fill the rest.
// So hyphens stand exactly `width` apart and never side by side.
constexpr bool hasEntryLayout(std::u16string_view keys, std::size_t width) {
  if (keys.size() % width != 1) {
    return false;
  }
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const bool opensEntry = i % width == 0;
    if (opensEntry ? keys[i] != u'-' : !isSmallLetter(keys[i])) {
      return false;
    }
  }
  return true;
}

// Each key's first occurrence is its own entry, so no key stands twice.
constexpr bool keysAreUnique(std::u16string_view keys, std::size_t width) {
  for (std::size_t at = 0; at + width < keys.size(); at += width) {
    if (keys.find(keys.substr(at, width + 1)) != at) {
      return false;
    }
  }
  return true;
}

// One slot per entry; each holds 1 to maxKana kana characters, then spaces only.
constexpr bool slotsFit(std::u16string_view keys, std::u16string_view slots, std::size_t width,
                        std::size_t maxKana) {
  if (slots.size() != keys.size() - 1) {
    return false;
  }
  for (std::size_t at = 0; at < slots.size(); at += width) {
    std::u16string_view slot = slots.substr(at, width);
    while (!slot.empty() && slot.back() == u' ') {
      slot.remove_suffix(1);
    }
    if (slot.empty() || slot.size() > maxKana) {
      return false;
    }
    if (!isKanaText(slot)) {
      return false;
    }
  }
  return true;
}

constexpr bool holdsOnly(std::u16string_view text, std::u16string_view allowed) {
  for (char16_t c : text) {
    if (allowed.find(c) == std::u16string_view::npos) {
      return false;
    }
  }
  return true;
}

constexpr std::size_t count(std::u16string_view text, std::u16string_view part) {
  std::size_t found = 0;
  for (std::size_t at = text.find(part); at != std::u16string_view::npos;
       at = text.find(part, at + 1)) {
    ++found;
  }
  return found;
}

static_assert(Romaji3Keys.size() == 465 && Kana3Slots.size() == 464);
static_assert(Romaji2Keys.size() == 319 && Kana2Slots.size() == 318);
static_assert(DoubledKeys.size() == 63);
static_assert(SingleKeys.size() == 7 && SingleKana.size() == 7);

static_assert(hasEntryLayout(Romaji3Keys, Romaji3Width));
static_assert(hasEntryLayout(Romaji2Keys, Romaji2Width));
static_assert(keysAreUnique(Romaji3Keys, Romaji3Width));
static_assert(keysAreUnique(Romaji2Keys, Romaji2Width));
static_assert(slotsFit(Romaji3Keys, Kana3Slots, Romaji3Width, Romaji3Width - 2));
static_assert(slotsFit(Romaji2Keys, Kana2Slots, Romaji2Width, Romaji2Width));

static_assert(holdsOnly(DoubledKeys, u"-abcdefghijklmnopqrstuvwxyz"));
static_assert(count(DoubledKeys, u"---") == 1 && count(DoubledKeys, u"nn") == 0);
static_assert(holdsOnly(SingleKeys, u"-abcdefghijklmnopqrstuvwxyz"));
static_assert(isKanaText(SingleKana) && isKanaCharacter(SmallTsu));

}  // namespace
}  // namespace tagkana
