#include "TagFields.h"

#include <taglib/apetag.h>
#include <taglib/commentsframe.h>
#include <taglib/id3v1genres.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <span>

#include "Id3v1.h"
#include "record/Cp932.h"
#include "record/RecordLayout.h"
#include "record/Utf8.h"
#include "vbmp3.h"

namespace vbmp3 {
namespace {

using TagLib::String;

// The record's text slots, in the order of TextField.
constexpr const auto& kSlots = tagkana::record::kTextSlots;

// Damaged frames hold encoding values outside the enumeration, so the value
// is compared as the number it is.
template <class Frame>
bool isLatin1(const Frame& frame) {
  return static_cast<int>(frame.textEncoding()) == static_cast<int>(String::Latin1);
}

// TagLib reads ISO-8859-1 frames one byte to one character, so the bytes as
// written come back whole.
std::u16string frameText(const String& s, bool latin1) {
  if (!latin1 || std::any_of(s.begin(), s.end(), [](wchar_t c) { return c > 0xFF; })) {
    return toUtf16(s);
  }
  return decodeLegacy(s.to8Bit(false));
}

// Only the leading digits count: "3/12" is track 3.
std::int32_t leadingNumber(const std::u16string& text) {
  std::int64_t n = 0;
  for (const char16_t c : text) {
    if (c < u'0' || c > u'9') {
      break;
    }
    n = std::min<std::int64_t>(n * 10 + (c - u'0'), INT32_MAX);
  }
  return static_cast<std::int32_t>(n);
}

std::int32_t genreIndexOf(const std::u16string& name) {
  return name.empty() ? kNoGenre : TagLib::ID3v1::genreIndex(toTagString(name));
}

struct Collected {
  TagFields fields;
  bool haveGenreNumber = false;
  bool haveTrack = false;

  void offer(TextField field, std::u16string text) {
    if (fields.text[field].empty()) {
      fields.text[field] = std::move(text);
    }
  }
  void offerGenreNumber(std::int32_t number) {
    if (!haveGenreNumber && number != kNoGenre) {
      fields.genreNumber = number;
      haveGenreNumber = true;
    }
  }
  void offerTrack(std::int32_t track) {
    if (!haveTrack && track > 0) {
      fields.trackNumber = track;
      haveTrack = true;
    }
  }
};

std::u16string id3v2Text(const TagLib::ID3v2::Tag& tag, const char* id) {
  const auto* frame = firstTextFrame(tag, id);
  return frame ? frameText(frame->toString(), isLatin1(*frame)) : std::u16string();
}

void collectId3v2(const TagLib::ID3v2::Tag& tag, Collected& c) {
  c.offer(kTitle, id3v2Text(tag, "TIT2"));
  c.offer(kArtist, id3v2Text(tag, "TPE1"));
  c.offer(kAlbum, id3v2Text(tag, "TALB"));
  std::u16string year = id3v2Text(tag, "TDRC");
  if (year.empty()) {
    year = id3v2Text(tag, "TYER");
  }
  c.offer(kYear, year.substr(0, 4));
  if (const auto* comment = plainComment(tag)) {
    c.offer(kComment, frameText(comment->text(), isLatin1(*comment)));
  }
  // genre() turns "(17)" and "17" into the genre's name.
  if (const auto* tcon = firstTextFrame(tag, "TCON")) {
    const std::u16string genre = frameText(tag.genre(), isLatin1(*tcon));
    c.offer(kGenreName, genre);
    c.offerGenreNumber(genreIndexOf(genre));
  }
  c.offerTrack(leadingNumber(id3v2Text(tag, "TRCK")));
}

void collectApe(const TagLib::APE::Tag& tag, Collected& c) {
  const auto& items = tag.itemListMap();
  const auto item = [&](const char* key) {
    const auto it = items.find(key);
    return it == items.end() ? std::u16string() : toUtf16(it->second.toString());
  };
  c.offer(kTitle, item("TITLE"));
  c.offer(kArtist, item("ARTIST"));
  c.offer(kAlbum, item("ALBUM"));
  c.offer(kYear, item("YEAR").substr(0, 4));
  c.offer(kComment, item("COMMENT"));
  const std::u16string genre = item("GENRE");
  c.offer(kGenreName, genre);
  c.offerGenreNumber(genreIndexOf(genre));
  c.offerTrack(leadingNumber(item("TRACK")));
}

// ID3v1 text fields are NUL- or space-padded.
std::u16string id3v1Text(std::string_view block, std::size_t offset, std::size_t size) {
  std::string_view bytes = block.substr(offset, size);
  bytes = bytes.substr(0, bytes.find('\0'));
  while (!bytes.empty() && bytes.back() == ' ') {
    bytes.remove_suffix(1);
  }
  return decodeLegacy(bytes);
}

void collectId3v1(TagLib::MPEG::File& file, Collected& c) {
  // The raw bytes, since TagLib's ID3v1 reader knows only ISO-8859-1.
  file.seek(-static_cast<long>(id3v1::kSize), TagLib::File::End);
  const TagLib::ByteVector data = file.readBlock(id3v1::kSize);
  const std::string_view block(data.data(), data.size());
  if (!id3v1::isTag(block)) {
    return;
  }
  for (std::size_t i = 0; i < id3v1::kText.size(); ++i) {
    const auto [offset, size] = id3v1::kText[i];
    c.offer(static_cast<TextField>(i),
            id3v1Text(block, offset, i == id3v1::kComment ? id3v1::commentSize(block) : size));
  }
  const auto genre = static_cast<unsigned char>(block[id3v1::kGenre]);
  c.offer(kGenreName, toUtf16(TagLib::ID3v1::genre(genre)));
  c.offerGenreNumber(genre);
  if (id3v1::hasTrack(block)) {
    c.offerTrack(static_cast<unsigned char>(block[id3v1::kTrack]));
  }
}

void putValue(unsigned char* record, std::size_t offset, std::int32_t value) {
  const auto v = static_cast<std::uint32_t>(value);
  for (std::size_t i = 0; i < 4; ++i) {
    record[offset + i] = static_cast<unsigned char>(v >> (8 * i));
  }
}

std::int32_t getValue(const unsigned char* record, std::size_t offset) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    v |= static_cast<std::uint32_t>(record[offset + i]) << (8 * i);
  }
  return static_cast<std::int32_t>(v);
}

}  // namespace

TagLib::ID3v2::TextIdentificationFrame* firstTextFrame(const TagLib::ID3v2::Tag& tag,
                                                       const char* id) {
  const auto& map = tag.frameListMap();
  const auto it = map.find(id);
  if (it != map.end()) {
    for (auto* frame : it->second) {
      if (auto* text = dynamic_cast<TagLib::ID3v2::TextIdentificationFrame*>(frame)) {
        return text;
      }
    }
  }
  return nullptr;
}

TagLib::ID3v2::CommentsFrame* plainComment(const TagLib::ID3v2::Tag& tag) {
  const auto& map = tag.frameListMap();
  const auto it = map.find("COMM");
  if (it != map.end()) {
    for (auto* frame : it->second) {
      auto* comment = dynamic_cast<TagLib::ID3v2::CommentsFrame*>(frame);
      if (comment && comment->description().isEmpty()) {
        return comment;
      }
    }
  }
  return nullptr;
}

std::u16string toUtf16(const TagLib::String& s) {
  std::u16string out;
  out.reserve(s.size());
  for (const wchar_t wc : s) {
    const auto c = static_cast<char32_t>(wc);
    if (c >= 0x10000 && c <= 0x10FFFF) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c <= 0xFFFF ? c : 0xFFFD);
    }
  }
  return out;
}

TagLib::String toTagString(std::u16string_view s) {
  return TagLib::String(tagkana::toUtf8(s), TagLib::String::UTF8);
}

std::u16string decodeLegacy(std::string_view bytes) {
  const bool japanese = std::any_of(bytes.begin(), bytes.end(), [](char b) {
    const auto u = static_cast<unsigned char>(b);
    return u >= 0x81 && u <= 0x9F;
  });
  if (japanese && tagkana::record::isValidCp932(bytes)) {
    return tagkana::record::decodeCp932(bytes);
  }
  std::u16string out(bytes.size(), u'\0');
  std::transform(bytes.begin(), bytes.end(), out.begin(),
                 [](char b) { return static_cast<char16_t>(static_cast<unsigned char>(b)); });
  return out;
}

TagFields readFields(TagLib::MPEG::File& file) {
  Collected c;
  if (file.hasID3v2Tag()) {
    collectId3v2(*file.ID3v2Tag(), c);
  }
  if (file.hasAPETag()) {
    collectApe(*file.APETag(), c);
  }
  if (file.hasID3v1Tag()) {
    collectId3v1(file, c);
  }
  return std::move(c.fields);
}

void storeFields(const TagFields& fields, unsigned char* record) {
  for (std::size_t i = 0; i < kTextFieldCount; ++i) {
    auto* slot = reinterpret_cast<char*>(record + kSlots[i].offset);
    std::size_t length = kSlots[i].length;
    if (i == kYear) {
      // Four characters and a NUL.
      slot[--length] = '\0';
    }
    tagkana::record::encodeCp932Slot(fields.text[i], std::span(slot, length));
  }
  std::memset(record + VBMP3_PADDING_OFFSET, 0, VBMP3_GENRE_NUMBER_OFFSET - VBMP3_PADDING_OFFSET);
  putValue(record, VBMP3_GENRE_NUMBER_OFFSET, fields.genreNumber);
  putValue(record, VBMP3_TRACK_NUMBER_OFFSET, fields.trackNumber);
}

std::string_view slotText(const unsigned char* record, TextField field) {
  const auto slot = kSlots[field];
  std::string_view text(reinterpret_cast<const char*>(record + slot.offset), slot.length);
  text = text.substr(0, text.find('\0'));
  while (!text.empty() && text.back() == ' ') {
    text.remove_suffix(1);
  }
  return text;
}

std::int32_t genreNumberOf(const unsigned char* record) {
  return getValue(record, VBMP3_GENRE_NUMBER_OFFSET);
}

std::int32_t trackNumberOf(const unsigned char* record) {
  return getValue(record, VBMP3_TRACK_NUMBER_OFFSET);
}

}  // namespace vbmp3
