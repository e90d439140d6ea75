#include "Mpeg.h"

#include <taglib/mpegfile.h>
#include <taglib/tfile.h>

#include <array>
#include <cstdint>

#include "Ape.h"
#include "Id3v2.h"

namespace vbmp3::mpeg {
namespace {

// Kilobits per second by bit rate index, for MPEG-1 layers I-III and then
// MPEG-2/2.5 layer I and layers II-III.
constexpr std::array<std::array<int, 15>, 5> kBitRates{{
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
}};
constexpr std::array<int, 3> kSampleRates{44100, 48000, 32000};

// Frames this many in a row are MPEG audio; a chance sync hardly ever has
// even a second frame after it.
constexpr int kFramesInARow = 4;

// Version, layer and sample rate: what stays the same from frame to frame.
constexpr std::uint32_t kKindMask = 0xFFFE0C00u;

std::uint32_t bigEndian(std::string_view b) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    v = (v << 8) | static_cast<unsigned char>(b[i]);
  }
  return v;
}

bool otherFormat(std::string_view head) {
  static constexpr std::array<std::string_view, 8> kSignatures{
      "OggS", "fLaC", "RIFF", "FORM", "MThd", "wvpk", "MAC ", "\x30\x26\xB2\x75"};
  for (const auto signature : kSignatures) {
    if (head.substr(0, signature.size()) == signature) {
      return true;
    }
  }
  return head.size() >= 8 && head.substr(4, 4) == "ftyp";  // MP4
}

// Where the tags at the end (ID3v1, then APE before it) begin. A write
// changes them, so frames are never looked for inside them.
long audioEnd(TagLib::File& file) {
  long end = file.length();
  if (end >= 128) {
    file.seek(end - 128);
    if (file.readBlock(3) == TagLib::ByteVector("TAG", 3)) {
      end -= 128;
    }
  }
  if (end >= static_cast<long>(ape::kFooterSize)) {
    file.seek(end - static_cast<long>(ape::kFooterSize));
    const TagLib::ByteVector footer = file.readBlock(ape::kFooterSize);
    const std::size_t size = ape::declaredSize(std::string_view(footer.data(), footer.size()));
    if (size != 0 && size <= static_cast<std::size_t>(end)) {
      end -= static_cast<long>(size);
    }
  }
  return end;
}

}  // namespace

std::size_t frameLength(std::string_view header) {
  if (header.size() < 4) {
    return 0;
  }
  const std::uint32_t h = bigEndian(header);
  const unsigned version = (h >> 19) & 3;  // 0: 2.5, 2: 2, 3: 1
  const unsigned layer = (h >> 17) & 3;    // 1: III, 2: II, 3: I
  const unsigned rateIndex = (h >> 12) & 15;
  const unsigned sampleIndex = (h >> 10) & 3;
  if ((h >> 21) != 0x7FF || version == 1 || layer == 0 || rateIndex == 0 || rateIndex == 15 ||
      sampleIndex == 3) {
    return 0;
  }
  const bool mpeg1 = version == 3;
  const std::size_t table = mpeg1 ? 3 - layer : (layer == 3 ? 3 : 4);
  const std::size_t bitRate = static_cast<std::size_t>(kBitRates[table][rateIndex]) * 1000;
  const std::size_t sampleRate =
      static_cast<std::size_t>(kSampleRates[sampleIndex]) >> (mpeg1          ? 0
                                                              : version == 2 ? 1
                                                                             : 2);
  const std::size_t padding = (h >> 9) & 1;
  if (layer == 3) {
    return (12 * bitRate / sampleRate + padding) * 4;
  }
  // Layer III of MPEG-2 and 2.5 holds half the samples per frame.
  const std::size_t samples = layer == 1 && !mpeg1 ? 72 : 144;
  return samples * bitRate / sampleRate + padding;
}

bool startsAudio(TagLib::File& file, long audioStart, long firstFrame) {
  file.seek(audioStart);
  const TagLib::ByteVector head = file.readBlock(8);
  if (firstFrame < audioStart || otherFormat(std::string_view(head.data(), head.size()))) {
    return false;
  }
  const long length = audioEnd(file);
  long at = firstFrame;
  std::uint32_t kind = 0;
  for (int n = 0; n < kFramesInARow; ++n) {
    file.seek(at);
    const TagLib::ByteVector bytes = file.readBlock(4);
    const std::string_view header(bytes.data(), bytes.size());
    if (n >= 2 && (at + 4 > length || header == "LYRI")) {
      return true;  // the audio ends here, and the tags at its end begin
    }
    if (at + 4 > length) {
      return false;
    }
    const std::size_t size = frameLength(header);
    if (size == 0 || (n > 0 && (bigEndian(header) & kKindMask) != kind)) {
      return false;
    }
    kind = bigEndian(header) & kKindMask;
    at += static_cast<long>(size);
  }
  return true;
}

bool isMpegFile(TagLib::MPEG::File& file) {
  const long first = file.firstFrameOffset();
  if (first < 0) {
    return false;
  }
  file.seek(0);
  const TagLib::ByteVector head = file.readBlock(id3v2::kHeaderSize);
  const auto header = id3v2::parseHeader(std::string_view(head.data(), head.size()));
  return startsAudio(file, header ? static_cast<long>(header->completeSize()) : 0, first);
}

}  // namespace vbmp3::mpeg
