#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// ID3v2 tags as bytes: the walk of a tag's own frame headers, the bounds a
// tag must keep before TagLib may parse it, and the edit that replaces frames
// while every other byte stays where and as it was.
namespace vbmp3::id3v2 {

inline constexpr std::size_t kHeaderSize = 10;
// TagLib holds a tag several times over while it parses it, spends about a
// kilobyte on each frame, inflates compressed frames without bound and recurses
// into chapter frames: past these a tag is refused.
inline constexpr std::uint32_t kMaxTagSize = 32u << 20;
// An unsynchronised tag costs a write more copies: past this it is refused,
// so that a write peaks well under 256 MB.
inline constexpr std::uint32_t kMaxUnsynchronisedTagSize = 16u << 20;
inline constexpr std::size_t kMaxFrames = 50'000;
inline constexpr int kMaxNesting = 8;
inline constexpr std::size_t kMaxInflated = 32u << 20;
// Fresh padding of a tag that had to grow, so that later edits fit in place.
inline constexpr std::size_t kGrowthPadding = 2048;

struct Header {
  int major = 0;
  std::uint8_t flags = 0;
  std::uint32_t bodySize = 0;  // between header and footer

  bool unsynchronised() const { return (flags & 0x80) != 0; }
  bool extended() const { return (flags & 0x40) != 0; }
  bool footer() const { return major == 4 && (flags & 0x10) != 0; }
  std::size_t completeSize() const { return kHeaderSize + bodySize + (footer() ? 10 : 0); }
};

// A tag header of version 2.2, 2.3 or 2.4 at the start of `bytes`.
std::optional<Header> parseHeader(std::string_view bytes);

// True when TagLib may parse this body: within the frame count, nesting and
// inflated size bounds, as TagLib itself would walk it.
bool vet(const Header& header, std::string_view body);

struct Frame {
  std::string id;
  std::size_t begin = 0;  // raw offsets in the complete tag
  std::size_t end = 0;
  std::uint8_t status = 0;
  std::uint8_t format = 0;
  bool empty = false;  // a header without a body, where TagLib stops
};

// Where everything lies in a complete tag: header and extended header before
// `framesBegin`, the frames as TagLib walks them (given forTagLib's view, so
// empty frames are among them), bytes after them that are
// not padding (kept as they are) up to `keptEnd`, padding up to `spaceEnd`,
// then the footer.
struct Layout {
  Header header;
  std::size_t framesBegin = 0;
  std::vector<Frame> frames;
  std::size_t framesEnd = 0;
  std::size_t keptEnd = 0;
  std::size_t spaceEnd = 0;
};

std::optional<Layout> walk(std::string_view tag);

// The complete tag as TagLib must be given it to read every frame the tag
// holds: empty frames left out (zeros fill the body to its size) and a 2.3
// extended header's size put the way TagLib reads it. None when TagLib reads
// the tag right as it is, or when it cannot be walked.
std::optional<std::string> forTagLib(std::string_view tag);

// The frame a field is read from: the first of its id that is not encrypted
// (for a comment, also without a description). npos when there is none.
inline constexpr std::size_t npos = static_cast<std::size_t>(-1);
std::size_t findFrame(std::string_view tag, const Layout& layout, std::string_view id,
                      bool comment);

// A complete frame for this tag: header with the replaced frame's status
// flags, body as given (unsynchronised where the tag asks for it).
std::string renderFrame(const Layout& layout, std::string_view id, std::string_view body,
                        std::uint8_t status);

struct Replacement {
  std::size_t frame = npos;          // npos: added after the last frame
  std::optional<std::string> bytes;  // complete frame; none removes it
};

// The tag with the replacements made. Same size when the frames fit the
// tag's space (the rest is zeros); otherwise grown once with fresh padding,
// or to the frames' size where a footer forbids padding.
std::string edit(std::string_view tag, const Layout& layout,
                 const std::vector<Replacement>& replacements);

// A new tag of `major` version holding `frames` (complete frames).
std::string newTag(int major, const std::string& frames);

// Text frame and comment bodies in the encoding changed text is written in:
// UTF-16 with a BOM up to 2.3, UTF-8 in 2.4. Big-endian UTF-16 (BOM FE FF)
// suits unsynchronised tags: kana and kanji then hold no byte that needs it.
std::string textBody(int major, std::u16string_view text, bool bigEndian = false);
std::string commentBody(int major, std::string_view language, std::u16string_view text,
                        bool bigEndian = false);

}  // namespace vbmp3::id3v2
