#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace TagLib {
class String;
namespace MPEG {
class File;
}
namespace ID3v2 {
class Tag;
class TextIdentificationFrame;
class CommentsFrame;
}  // namespace ID3v2
}  // namespace TagLib

namespace vbmp3 {

// The record's fields in the order of its text slots.
enum TextField : std::size_t { kTitle, kArtist, kAlbum, kYear, kComment, kGenreName };
inline constexpr std::size_t kTextFieldCount = 6;
inline constexpr std::int32_t kNoGenre = 255;

// A file's tag as the record carries it: each field from the first tag that
// has it, ID3v2 before APE before ID3v1.
struct TagFields {
  std::array<std::u16string, kTextFieldCount> text;
  std::int32_t genreNumber = kNoGenre;
  std::int32_t trackNumber = 0;
};

TagFields readFields(TagLib::MPEG::File& file);

// ID3v1 and ID3v2 ISO-8859-1 text that Japanese Windows wrote in code page
// 932: taken as code page 932 when valid there and holding a byte 0x81-0x9F,
// which real ISO-8859-1 text never holds; otherwise as ISO-8859-1.
std::u16string decodeLegacy(std::string_view bytes);

// The 656-byte record from the fields: text in code page 932, cut before a
// character that does not fit whole. Leaves nothing of the old record.
void storeFields(const TagFields& fields, unsigned char* record);

// The text of a record slot: up to its first NUL or its end, without the
// spaces at its end, which are padding.
std::string_view slotText(const unsigned char* record, TextField field);
std::int32_t genreNumberOf(const unsigned char* record);
std::int32_t trackNumberOf(const unsigned char* record);

// The frames a field is read from and written to: the first text frame of
// the id, and the first comment without a description (one with a
// description, like iTunNORM, is data rather than the comment a user sees).
TagLib::ID3v2::TextIdentificationFrame* firstTextFrame(const TagLib::ID3v2::Tag& tag,
                                                       const char* id);
TagLib::ID3v2::CommentsFrame* plainComment(const TagLib::ID3v2::Tag& tag);

std::u16string toUtf16(const TagLib::String& s);
TagLib::String toTagString(std::u16string_view s);

}  // namespace vbmp3
