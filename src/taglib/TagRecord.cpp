#include "taglib/TagRecord.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "platform/CodePage.h"

namespace tagkana {
namespace {

std::array<std::u16string*, 6> textFields(TagRecord& r) {
  return {&r.Title, &r.Artist, &r.Album, &r.Year, &r.Comment, &r.GenreName};
}

std::array<const std::u16string*, 6> textFields(const TagRecord& r) {
  return {&r.Title, &r.Artist, &r.Album, &r.Year, &r.Comment, &r.GenreName};
}

}  // namespace

void TagRecord::toAnsi(AnsiTagRecord& ansi) const {
  const auto fields = textFields(*this);
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const auto slot = record::kTextSlots[i];
    platform::encodeCp932Slot(
        *fields[i], std::span(reinterpret_cast<char*>(ansi.data()) + slot.offset, slot.length));
  }
  std::fill(ansi.begin() + record::kPaddingOffset, ansi.begin() + record::kGenreNumberOffset, 0);
  std::memcpy(ansi.data() + record::kGenreNumberOffset, GenreNumber.data(), 4);
  std::memcpy(ansi.data() + record::kTrackNumberOffset, TrackNumber.data(), 4);
}

void TagRecord::fromAnsi(const AnsiTagRecord& ansi) {
  const auto fields = textFields(*this);
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const auto slot = record::kTextSlots[i];
    std::u16string text = platform::decodeCp932(
        std::string_view(reinterpret_cast<const char*>(ansi.data()) + slot.offset, slot.length));
    // Two-byte characters decode to one code unit each, so the text is never
    // longer than the field; the rest stays NUL.
    text.resize(slot.length, u'\0');
    *fields[i] = std::move(text);
  }
  std::memcpy(GenreNumber.data(), ansi.data() + record::kGenreNumberOffset, 4);
  std::memcpy(TrackNumber.data(), ansi.data() + record::kTrackNumberOffset, 4);
}

void TagRecord::assignTitle(std::u16string_view text) {
  Title.assign(text.substr(0, record::kTitleLength));
  Title.resize(record::kTitleLength, u' ');
}

bool fitsTitleSlot(std::u16string_view text) {
  text = text.substr(0, text.find_last_not_of(u' ') + 1);
  return text.size() <= record::kTitleLength &&
         platform::encodeCp932(text).size() <= record::kTitleLength;
}

std::u16string TrimNul(std::u16string_view text) {
  return std::u16string(text.substr(0, text.find(u'\0')));
}

}  // namespace tagkana
