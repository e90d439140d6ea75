#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// MP3 files made from bytes: MPEG frames and ID3v2.3/2.4, ID3v1 and APE tags.
namespace vbmp3test {

// `count` MPEG-1 Layer III frames (128 kbit/s, 44.1 kHz, 417 bytes each)
// whose payload never holds 0xFF, so no false frame sync appears in it.
std::string mpegFrames(std::size_t count, std::uint32_t seed = 1);

// Text frame bodies: the encoding byte, then the text.
std::string latin1Text(std::string_view bytes);
std::string utf16Text(std::u16string_view text);    // with a little-endian BOM
std::string utf16BeText(std::u16string_view text);  // with a big-endian BOM
std::string utf8Text(std::string_view text);

class Id3v2 {
 public:
  explicit Id3v2(int version) : m_version(version) {}
  Id3v2& frame(std::string_view id, std::string body);
  Id3v2& padding(std::size_t bytes);
  // A header size larger than the tag really is.
  Id3v2& claimSize(std::uint32_t size);
  std::string render() const;

 private:
  int m_version;
  std::vector<std::pair<std::string, std::string>> m_frames;
  std::size_t m_padding = 0;
  std::uint32_t m_claimedSize = 0;
};

// A 128-byte ID3v1.1 tag; fields are cut or NUL-filled to their size.
std::string id3v1(std::string_view title, std::string_view artist = {}, std::string_view album = {},
                  std::string_view year = {}, std::string_view comment = {}, int track = 0,
                  int genre = 255);

// An APEv2 tag with header and footer; values are UTF-8.
std::string ape(const std::vector<std::pair<std::string, std::string>>& items);

// The frames of the ID3v2 tag at the start of `file`, id and body, in order.
std::vector<std::pair<std::string, std::string>> id3v2Frames(std::string_view file);
// The complete size of that tag, 0 when there is none.
std::size_t id3v2Size(std::string_view file);

}  // namespace vbmp3test
