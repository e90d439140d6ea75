#include "Id3v2.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "record/Utf8.h"

namespace vbmp3::id3v2 {
namespace {

std::uint32_t bigEndian(std::string_view b, std::size_t n) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < n; ++i) {
    v = (v << 8) | static_cast<unsigned char>(b[i]);
  }
  return v;
}

std::uint32_t syncSafe(std::string_view b) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    v = (v << 7) | (static_cast<unsigned char>(b[i]) & 0x7F);
  }
  return v;
}

void putSyncSafe(char* out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) {
    out[i] = static_cast<char>((v >> (7 * (3 - i))) & 0x7F);
  }
}

bool validId(std::string_view id, std::size_t length) {
  return id.size() == length && std::all_of(id.begin(), id.end(), [](char c) {
           return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
         });
}

std::size_t frameHeaderSize(int major) {
  return major < 3 ? 6 : 10;
}

// Unsynchronisation removes the zero after each 0xFF; `removed` gets the
// decoded positions where one was, so that decoded offsets map back to raw.
std::string decodeUnsync(std::string_view raw, std::vector<std::size_t>* removed) {
  std::string out;
  out.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i) {
    out += raw[i];
    if (static_cast<unsigned char>(raw[i]) == 0xFF && i + 1 < raw.size() && raw[i + 1] == '\0') {
      if (removed) {
        removed->push_back(out.size());
      }
      ++i;
    }
  }
  return out;
}

std::string encodeUnsync(std::string_view data) {
  std::string out;
  out.reserve(data.size() + data.size() / 64 + 1);
  for (std::size_t i = 0; i < data.size(); ++i) {
    out += data[i];
    if (static_cast<unsigned char>(data[i]) == 0xFF &&
        (i + 1 == data.size() || data[i + 1] == '\0' ||
         static_cast<unsigned char>(data[i + 1]) >= 0xE0)) {
      out += '\0';
    }
  }
  return out;
}

// One frame header as TagLib reads it at `pos` of `data`; none where TagLib
// stops (padding, a bad id, an impossible size).
struct FrameHead {
  std::string_view id;
  std::size_t size = 0;  // header and body, within `data`
  std::uint8_t status = 0;
  std::uint8_t format = 0;
  // Too small for TagLib, which stops its walk there; the frames after it are
  // the tag's all the same and are handed to TagLib without it.
  bool empty = false;
};

std::optional<FrameHead> frameAt(std::string_view data, std::size_t pos, int major) {
  const std::size_t headerSize = frameHeaderSize(major);
  if (pos >= data.size() || data.size() - pos < headerSize || data[pos] == '\0') {
    return std::nullopt;
  }
  const std::string_view h = data.substr(pos);
  FrameHead head;
  std::uint32_t size = 0;
  if (major < 3) {
    head.id = h.substr(0, 3);
    size = bigEndian(h.substr(3), 3);
  } else {
    head.id = h.substr(0, 4);
    head.status = static_cast<std::uint8_t>(h[8]);
    head.format = static_cast<std::uint8_t>(h[9]);
    size = major == 3 ? bigEndian(h.substr(4), 4) : syncSafe(h.substr(4));
    // iTunes writes 2.4 frames with 2.3 sizes; TagLib takes the plain size
    // when only it lands on a frame id.
    if (major >= 4 && size > 127 &&
        !validId(h.substr(std::min<std::size_t>(size + 10, h.size()), 4), 4)) {
      const std::uint32_t plain = bigEndian(h.substr(4), 4);
      if (validId(h.substr(std::min<std::size_t>(std::size_t{plain} + 10, h.size()), 4), 4)) {
        size = plain;
      }
    }
  }
  const bool lengthIndicator = major >= 4 && (head.format & 0x01) != 0;
  if (!validId(head.id, major < 3 ? 3 : 4) || size > h.size() - headerSize) {
    return std::nullopt;
  }
  head.empty = size <= (lengthIndicator ? 4u : 0u);
  head.size = headerSize + size;
  return head;
}

// The frames TagLib reads in data[pos, end), each handed to `visit` until it
// answers false; `pos` is left where the walk stopped. False when `visit` was.
template <typename Visit>
bool forEachFrame(std::string_view data, std::size_t& pos, std::size_t end, int major,
                  Visit visit) {
  while (pos < end && end - pos > frameHeaderSize(major)) {
    const auto head = frameAt(data, pos, major);
    if (!head) {
      return true;
    }
    if (!visit(pos, *head)) {
      return false;
    }
    pos += head->size;
  }
  return true;
}

// Where TagLib stops looking for frames: it takes a footer's size off a body
// that never held the footer, so a small last frame goes unseen.
std::size_t framesLimit(const Header& header, std::size_t bodySize) {
  return header.footer() && bodySize >= 10 ? bodySize - 10 : bodySize;
}

// Where the frames begin in the decoded body: after the extended header,
// whose 2.3 size is plain and leaves out its own four bytes. None when the
// extended header does not fit.
std::optional<std::size_t> framesStart(const Header& header, std::string_view data) {
  if (!header.extended()) {
    return 0;
  }
  if (data.size() < 4) {
    return std::nullopt;
  }
  const std::size_t size = header.major == 3 ? std::size_t{bigEndian(data, 4)} + 4 : syncSafe(data);
  if (size > data.size() || size < 4) {
    return std::nullopt;
  }
  return size;
}

bool compressed(const FrameHead& f, int major) {
  return major == 3 ? (f.format & 0x80) != 0 : major >= 4 && (f.format & 0x08) != 0;
}

bool encrypted(const FrameHead& f, int major) {
  return major == 3 ? (f.format & 0x40) != 0 : major >= 4 && (f.format & 0x04) != 0;
}

// Inflates at most `budget` bytes, keeping the output when `out` is given.
// False when the data would inflate past the budget.
bool inflateBounded(std::string_view in, std::size_t& budget, std::string* out) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) {
    return false;
  }
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  z.avail_in = static_cast<uInt>(in.size());
  std::array<char, 16384> chunk{};
  bool within = true;
  for (;;) {
    z.next_out = reinterpret_cast<Bytef*>(chunk.data());
    z.avail_out = chunk.size();
    const int rc = inflate(&z, Z_NO_FLUSH);
    const std::size_t produced = chunk.size() - z.avail_out;
    if (produced > budget) {
      within = false;
      break;
    }
    budget -= produced;
    if (out) {
      out->append(chunk.data(), produced);
    }
    if (rc != Z_OK || produced == 0) {
      break;  // the end, or damage TagLib also gives up on
    }
  }
  inflateEnd(&z);
  return within;
}

struct Vetting {
  int major;
  bool tagUnsync;
  std::size_t frames = 0;
  std::size_t inflateBudget = kMaxInflated;
  // Chapters nest: what their unsynchronised bodies cost us in copies counts.
  std::size_t copyBudget = 2 * std::size_t{kMaxTagSize};

  // The walk TagLib makes over `data` from `pos` to `end`, chapter frames'
  // embedded frames included.
  bool walk(std::string_view data, std::size_t pos, std::size_t end, int depth) {
    if (depth > kMaxNesting) {
      return false;
    }
    return forEachFrame(data, pos, end, major, [&](std::size_t at, const FrameHead& head) {
      return ++frames <= kMaxFrames &&
             (head.empty || frame(data.substr(at, head.size), head, depth));
    });
  }

  bool frame(std::string_view bytes, const FrameHead& head, int depth) {
    const std::size_t headerSize = frameHeaderSize(major);
    const bool chapter = major >= 3 && (head.id == "CHAP" || head.id == "CTOC");
    const bool packed = compressed(head, major) && !encrypted(head, major);
    if (!chapter && !packed) {
      return true;
    }
    std::string decoded;
    std::string_view body = bytes.substr(headerSize);
    if (major >= 4 && (tagUnsync || (head.format & 0x02) != 0)) {
      if (body.size() > copyBudget) {
        return false;
      }
      copyBudget -= body.size();
      decoded = decodeUnsync(body, nullptr);
      body = decoded;
    }
    std::string inflated;
    if (packed) {
      if (body.size() <= 4) {
        return true;
      }
      if (!inflateBounded(body.substr(4), inflateBudget, chapter ? &inflated : nullptr)) {
        return false;
      }
      body = inflated;
    } else if (major >= 4 && (head.format & 0x01) != 0) {
      body = body.substr(std::min<std::size_t>(4, body.size()));
    }
    if (!chapter || encrypted(head, major)) {
      return true;
    }
    return embedded(body, head.id == "CTOC", depth);
  }

  // A chapter's element id and times, or a table of contents' id, flags and
  // child ids, then frames.
  bool embedded(std::string_view data, bool toc, int depth) {
    if (data.size() < (toc ? 2u : 18u)) {
      return true;
    }
    std::size_t pos = std::min(data.find('\0'), data.size());
    pos = std::min(pos + 1, data.size());
    if (toc) {
      if (data.size() - pos < 2) {
        return true;
      }
      const auto entries = static_cast<unsigned char>(data[pos + 1]);
      pos += 2;
      for (unsigned i = 0; i < entries && pos < data.size(); ++i) {
        pos = std::min(data.find('\0', pos), data.size());
        pos = std::min(pos + 1, data.size());
      }
    } else {
      pos = std::min(pos + 16, data.size());
    }
    return walk(data, pos, data.size(), depth + 1);
  }
};

}  // namespace

std::optional<Header> parseHeader(std::string_view bytes) {
  if (bytes.size() < kHeaderSize || bytes.substr(0, 3) != "ID3") {
    return std::nullopt;
  }
  Header h;
  h.major = static_cast<unsigned char>(bytes[3]);
  h.flags = static_cast<std::uint8_t>(bytes[5]);
  for (std::size_t i = 6; i < 10; ++i) {
    if (static_cast<unsigned char>(bytes[i]) >= 0x80) {
      return std::nullopt;
    }
  }
  h.bodySize = syncSafe(bytes.substr(6));
  return h;
}

bool vet(const Header& header, std::string_view body) {
  if (header.bodySize > (header.unsynchronised() ? kMaxUnsynchronisedTagSize : kMaxTagSize)) {
    return false;
  }
  const int major = std::clamp(header.major, 2, 4);
  std::string decoded;
  std::string_view data = body;
  if (header.unsynchronised() && major <= 3) {
    decoded = decodeUnsync(body, nullptr);
    data = decoded;
  }
  Header h = header;
  h.major = major;
  std::size_t pos = 0;
  if (const auto start = framesStart(h, data)) {
    pos = *start;
  } else if (header.extended() && data.size() >= 4 && syncSafe(data) <= data.size()) {
    pos = syncSafe(data);  // where TagLib then starts
  }
  Vetting v{major, header.unsynchronised()};
  return v.walk(data, pos, framesLimit(header, data.size()), 0);
}

std::optional<Layout> walk(std::string_view tag) {
  const auto header = parseHeader(tag);
  if (!header || header->major < 2 || header->major > 4 ||
      header->bodySize > (header->unsynchronised() ? kMaxUnsynchronisedTagSize : kMaxTagSize) ||
      tag.size() < kHeaderSize + header->bodySize || (header->major == 2 && header->extended())) {
    return std::nullopt;
  }
  const int major = header->major;
  const std::string_view raw = tag.substr(kHeaderSize, header->bodySize);
  std::vector<std::size_t> removed;
  std::string decoded;
  std::string_view data = raw;
  if (header->unsynchronised() && major <= 3) {
    decoded = decodeUnsync(raw, &removed);
    data = decoded;
  }
  const auto rawAt = [&](std::size_t d) {
    const auto shifted = std::upper_bound(removed.begin(), removed.end(), d) - removed.begin();
    return kHeaderSize + d + static_cast<std::size_t>(shifted);
  };

  Layout layout;
  layout.header = *header;
  const auto start = framesStart(*header, data);
  if (!start) {
    return std::nullopt;
  }
  std::size_t pos = *start;
  layout.framesBegin = rawAt(pos);
  const bool bounded = forEachFrame(
      data, pos, framesLimit(*header, data.size()), major,
      [&](std::size_t at, const FrameHead& head) {
        layout.frames.push_back({std::string(head.id), rawAt(at), rawAt(at + head.size),
                                 head.status, head.format, head.empty});
        return layout.frames.size() <= kMaxFrames;
      });
  if (!bounded) {
    return std::nullopt;
  }
  layout.framesEnd = rawAt(std::min(pos, data.size()));
  layout.spaceEnd = kHeaderSize + raw.size();
  // Back over the padding, a block of zeros at a time: it can be megabytes.
  static constexpr std::array<char, 256> kZeros{};
  std::size_t end = layout.spaceEnd;
  while (end - layout.framesEnd >= kZeros.size() &&
         std::memcmp(tag.data() + end - kZeros.size(), kZeros.data(), kZeros.size()) == 0) {
    end -= kZeros.size();
  }
  while (end > layout.framesEnd && tag[end - 1] == '\0') {
    --end;
  }
  layout.keptEnd = end;
  return layout;
}

std::optional<std::string> forTagLib(std::string_view tag) {
  const auto layout = walk(tag);
  if (!layout) {
    return std::nullopt;
  }
  const Header& header = layout->header;
  const bool misread = header.major == 3 && header.extended();
  const bool empty = std::any_of(layout->frames.begin(), layout->frames.end(),
                                 [](const Frame& f) { return f.empty; });
  if (!misread && !empty) {
    return std::nullopt;
  }
  std::string out;
  out.reserve(tag.size());
  std::size_t from = 0;
  for (const Frame& f : layout->frames) {
    if (f.empty) {
      out.append(tag.substr(from, f.begin - from));
      from = f.end;
    }
  }
  out.append(tag.substr(from, layout->spaceEnd - from));
  out.resize(layout->spaceEnd, '\0');
  out.append(tag.substr(layout->spaceEnd, header.completeSize() - layout->spaceEnd));
  if (misread) {
    // TagLib takes the size as syncsafe and as counting its own four bytes;
    // 2.3 sizes are 6 or 10, so one byte carries it.
    const std::size_t size = bigEndian(tag.substr(kHeaderSize), 4) + 4;
    if (size > 0x7F) {
      return std::nullopt;
    }
    out[kHeaderSize + 3] = static_cast<char>(size);
  }
  return out;
}

std::size_t findFrame(std::string_view tag, const Layout& layout, std::string_view id,
                      bool comment) {
  const int major = layout.header.major;
  const std::size_t headerSize = frameHeaderSize(major);
  for (std::size_t i = 0; i < layout.frames.size(); ++i) {
    const Frame& f = layout.frames[i];
    const bool encrypted =
        (major == 3 && (f.format & 0x40) != 0) || (major >= 4 && (f.format & 0x04) != 0);
    if (f.id != id || encrypted || f.empty) {
      continue;
    }
    if (!comment) {
      return i;
    }
    // A comment without a description: encoding, language, then at once the
    // description's terminator. Packed comments are not looked into.
    if (f.format != 0 || layout.header.unsynchronised()) {
      continue;
    }
    const std::string_view body = tag.substr(f.begin + headerSize, f.end - f.begin - headerSize);
    if (body.size() < 4) {
      continue;
    }
    const bool wide = body[0] == 1 || body[0] == 2;
    std::string_view description = body.substr(4);
    if (body[0] == 1 &&
        (description.substr(0, 2) == "\xFF\xFE" || description.substr(0, 2) == "\xFE\xFF")) {
      description.remove_prefix(2);
    }
    if ((wide && description.substr(0, 2) == std::string_view("\0\0", 2)) ||
        (!wide && !description.empty() && description[0] == '\0')) {
      return i;
    }
  }
  return npos;
}

std::string renderFrame(const Layout& layout, std::string_view id, std::string_view body,
                        std::uint8_t status) {
  const int major = layout.header.major;
  const bool unsync = layout.header.unsynchronised();
  // In 2.4 only the body is unsynchronised and the size counts it so; before,
  // the whole frame is, and the size counts the plain body.
  const std::string data = unsync && major >= 4 ? encodeUnsync(body) : std::string(body);
  const auto size = static_cast<std::uint32_t>(data.size());
  std::string out(id);
  if (major < 3) {
    out += static_cast<char>(size >> 16);
    out += static_cast<char>(size >> 8);
    out += static_cast<char>(size);
  } else {
    char sizeBytes[4];
    if (major == 3) {
      for (int i = 0; i < 4; ++i) {
        sizeBytes[i] = static_cast<char>(size >> (8 * (3 - i)));
      }
    } else {
      putSyncSafe(sizeBytes, size);
    }
    out.append(sizeBytes, 4);
    out += static_cast<char>(status);
    out += static_cast<char>(major >= 4 && unsync ? 0x02 : 0x00);
  }
  out += data;
  return unsync && major <= 3 ? encodeUnsync(out) : out;
}

namespace {

// The frames in order, each from the tag or from its replacement, then
// what follows the frames.
std::vector<std::string_view> editedParts(std::string_view tag, const Layout& layout,
                                          const std::vector<Replacement>& replacements) {
  std::vector<std::string_view> parts;
  parts.reserve(layout.frames.size() + replacements.size() + 1);
  for (std::size_t i = 0; i < layout.frames.size(); ++i) {
    const auto r = std::find_if(replacements.begin(), replacements.end(),
                                [&](const Replacement& x) { return x.frame == i; });
    if (r == replacements.end()) {
      const Frame& f = layout.frames[i];
      parts.push_back(tag.substr(f.begin, f.end - f.begin));
    } else if (r->bytes) {
      parts.push_back(*r->bytes);
    }
  }
  for (const auto& r : replacements) {
    if (r.frame == npos && r.bytes) {
      parts.push_back(*r.bytes);
    }
  }
  parts.push_back(tag.substr(layout.framesEnd, layout.keptEnd - layout.framesEnd));
  return parts;
}

// The 2.3 extended header counts the padding and may check the frames.
void fixExtended3(std::string& out, const Layout& layout, std::size_t frames) {
  const Header& h = layout.header;
  if (h.major != 3 || !h.extended() || h.unsynchronised()) {
    return;
  }
  char* ext = out.data() + kHeaderSize;
  const std::size_t padding = out.size() - (layout.framesBegin + frames);
  for (int i = 0; i < 4; ++i) {
    ext[6 + i] = static_cast<char>(padding >> (8 * (3 - i)));
  }
  if ((static_cast<unsigned char>(ext[4]) & 0x80) != 0 && layout.framesBegin >= kHeaderSize + 14) {
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(out.data() + layout.framesBegin),
                            static_cast<uInt>(frames));
    for (int i = 0; i < 4; ++i) {
      ext[10 + i] = static_cast<char>(crc >> (8 * (3 - i)));
    }
  }
}

}  // namespace

std::string edit(std::string_view tag, const Layout& layout,
                 const std::vector<Replacement>& replacements) {
  const std::vector<std::string_view> parts = editedParts(tag, layout, replacements);
  std::size_t frames = 0;
  for (const auto part : parts) {
    frames += part.size();
  }

  const std::size_t space = layout.spaceEnd - layout.framesBegin;
  std::size_t bodySize = layout.header.bodySize;
  if (frames > space) {
    // A tag with a footer may have no padding.
    bodySize =
        (layout.framesBegin - kHeaderSize) + frames + (layout.header.footer() ? 0 : kGrowthPadding);
  }
  std::string out;
  out.reserve(kHeaderSize + bodySize + 10);
  out.append(tag.substr(0, layout.framesBegin));
  putSyncSafe(out.data() + 6, static_cast<std::uint32_t>(bodySize));
  for (const auto part : parts) {
    out.append(part);
  }
  out.resize(kHeaderSize + bodySize, '\0');
  fixExtended3(out, layout, frames);
  if (layout.header.footer()) {
    std::string footer(tag.substr(layout.spaceEnd, 10));
    putSyncSafe(footer.data() + 6, static_cast<std::uint32_t>(bodySize));
    out += footer;
  }
  return out;
}

std::string newTag(int major, const std::string& frames) {
  std::string out("ID3", 3);
  out += static_cast<char>(major);
  out.append(3, '\0');
  out.resize(kHeaderSize, '\0');
  const std::size_t bodySize = frames.size() + kGrowthPadding;
  putSyncSafe(out.data() + 6, static_cast<std::uint32_t>(bodySize));
  out += frames;
  out.resize(kHeaderSize + bodySize, '\0');
  return out;
}

std::string textBody(int major, std::u16string_view text, bool bigEndian) {
  if (major >= 4) {
    return '\x03' + tagkana::toUtf8(text);
  }
  std::string out = bigEndian ? "\x01\xFE\xFF" : "\x01\xFF\xFE";
  for (const char16_t c : text) {
    const auto high = static_cast<char>(c >> 8);
    const auto low = static_cast<char>(c & 0xFF);
    out += bigEndian ? high : low;
    out += bigEndian ? low : high;
  }
  return out;
}

std::string commentBody(int major, std::string_view language, std::u16string_view text,
                        bool bigEndian) {
  std::string body = textBody(major, text, bigEndian);
  const std::string description = major >= 4
                                      ? std::string(1, '\0')
                                      : std::string(bigEndian ? "\xFE\xFF\0\0" : "\xFF\xFE\0\0", 4);
  std::string out(1, body[0]);
  out += language.size() == 3 ? std::string(language) : std::string("eng");
  out += description;
  out.append(body, 1);
  return out;
}

}  // namespace vbmp3::id3v2
