#include "Mp3Fixture.h"

namespace vbmp3test {
namespace {

std::string syncSafe(std::uint32_t v) {
  return {static_cast<char>((v >> 21) & 0x7F), static_cast<char>((v >> 14) & 0x7F),
          static_cast<char>((v >> 7) & 0x7F), static_cast<char>(v & 0x7F)};
}

std::string bigEndian(std::uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}

std::string littleEndian(std::uint32_t v) {
  return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
          static_cast<char>(v >> 24)};
}

std::uint32_t readSyncSafe(std::string_view b) {
  std::uint32_t v = 0;
  for (const char c : b.substr(0, 4)) {
    v = (v << 7) | (static_cast<unsigned char>(c) & 0x7F);
  }
  return v;
}

std::string field(std::string_view text, std::size_t size) {
  std::string out(text.substr(0, size));
  out.resize(size, '\0');
  return out;
}

}  // namespace

std::string mpegFrames(std::size_t count, std::uint32_t seed) {
  constexpr std::size_t kFrameSize = 417;
  std::string out;
  out.reserve(count * kFrameSize);
  std::uint32_t state = seed * 2654435761u + 12345u;
  for (std::size_t f = 0; f < count; ++f) {
    out.append("\xFF\xFB\x90\x00", 4);
    for (std::size_t i = 4; i < kFrameSize; ++i) {
      state = state * 1664525u + 1013904223u;
      out += static_cast<char>((state >> 24) % 0xFF);
    }
  }
  return out;
}

std::string latin1Text(std::string_view bytes) {
  std::string out(1, '\0');
  out.append(bytes);
  return out;
}

std::string utf16Text(std::u16string_view text) {
  std::string out = "\x01\xFF\xFE";
  for (const char16_t c : text) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

std::string utf16BeText(std::u16string_view text) {
  std::string out = "\x01\xFE\xFF";
  for (const char16_t c : text) {
    out += static_cast<char>(c >> 8);
    out += static_cast<char>(c & 0xFF);
  }
  return out;
}

std::string utf8Text(std::string_view text) {
  std::string out(1, '\x03');
  out.append(text);
  return out;
}

Id3v2& Id3v2::frame(std::string_view id, std::string body) {
  m_frames.emplace_back(std::string(id), std::move(body));
  return *this;
}

Id3v2& Id3v2::padding(std::size_t bytes) {
  m_padding = bytes;
  return *this;
}

Id3v2& Id3v2::claimSize(std::uint32_t size) {
  m_claimedSize = size;
  return *this;
}

std::string Id3v2::render() const {
  std::string body;
  for (const auto& [id, data] : m_frames) {
    const auto size = static_cast<std::uint32_t>(data.size());
    body.append(id);
    body.append(m_version == 4 ? syncSafe(size) : bigEndian(size));
    body.append(2, '\0');
    body.append(data);
  }
  body.append(m_padding, '\0');
  const auto size = m_claimedSize ? m_claimedSize : static_cast<std::uint32_t>(body.size());
  std::string out = "ID3";
  out += static_cast<char>(m_version);
  out.append(2, '\0');
  out.append(syncSafe(size));
  out.append(body);
  return out;
}

std::string id3v1(std::string_view title, std::string_view artist, std::string_view album,
                  std::string_view year, std::string_view comment, int track, int genre) {
  std::string out = "TAG" + field(title, 30) + field(artist, 30) + field(album, 30) +
                    field(year, 4) + field(comment, track ? 28 : 30);
  if (track) {
    out += '\0';
    out += static_cast<char>(track);
  }
  out += static_cast<char>(genre);
  return out;
}

std::string ape(const std::vector<std::pair<std::string, std::string>>& items) {
  std::string body;
  for (const auto& [key, value] : items) {
    body += littleEndian(static_cast<std::uint32_t>(value.size())) + littleEndian(0) + key + '\0' +
            value;
  }
  const auto size = static_cast<std::uint32_t>(body.size() + 32);
  const auto count = static_cast<std::uint32_t>(items.size());
  const auto part = [&](std::uint32_t flags) {
    return "APETAGEX" + littleEndian(2000) + littleEndian(size) + littleEndian(count) +
           littleEndian(flags) + std::string(8, '\0');
  };
  return part(0xA0000000u) + body + part(0x80000000u);
}

std::size_t id3v2Size(std::string_view file) {
  if (file.size() < 10 || file.substr(0, 3) != "ID3") {
    return 0;
  }
  return 10 + readSyncSafe(file.substr(6));
}

std::vector<std::pair<std::string, std::string>> id3v2Frames(std::string_view file) {
  std::vector<std::pair<std::string, std::string>> frames;
  const std::size_t end = std::min(id3v2Size(file), file.size());
  const bool v4 = file.size() > 3 && file[3] == 4;
  std::size_t at = 10;
  while (at + 10 <= end && file[at] != '\0') {
    const std::string_view sizeBytes = file.substr(at + 4, 4);
    std::uint32_t size = 0;
    if (v4) {
      size = readSyncSafe(sizeBytes);
    } else {
      for (const char c : sizeBytes) {
        size = (size << 8) | static_cast<unsigned char>(c);
      }
    }
    if (at + 10 + size > end) {
      break;
    }
    frames.emplace_back(std::string(file.substr(at, 4)), std::string(file.substr(at + 10, size)));
    at += 10 + size;
  }
  return frames;
}

}  // namespace vbmp3test
