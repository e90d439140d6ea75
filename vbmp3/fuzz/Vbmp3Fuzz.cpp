// Any bytes as an MP3: a read fails or fills the record; a write then fails
// leaving every byte, or succeeds, reads back its title and every other field
// of the record as before, keeps the tag header's version and flags, and
// leaves every ID3v2 frame but the title's, the audio between the tags, the
// APE items and the ID3v1 fields other than the title as they were.
// Written again in ID3v2.3 and 2.4, the tag has a sound header of the version
// asked for, walks, reads back the same fields, and keeps the APE items and
// ID3v1 fields other than the title.
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Ape.h"
#include "Id3v1.h"
#include "Id3v2.h"
#include "vbmp3.h"

namespace {

const std::string& scratchPath() {
  static const std::string path =
      std::string(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/vbmp3-fuzz-" +
      std::to_string(::getpid()) + ".mp3";
  return path;
}

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The frames of the tag at the start other than the title, as raw bytes.
struct Walked {
  std::size_t end = 0;
  std::vector<std::string> frames;
};

Walked framesOf(const std::string& file) {
  Walked w;
  const auto layout = vbmp3::id3v2::walk(file);
  if (!layout) {
    return w;
  }
  w.end = layout->header.completeSize();
  for (const auto& f : layout->frames) {
    if (f.id != "TIT2" && f.id != "TT2") {
      w.frames.push_back(file.substr(f.begin, f.end - f.begin));
    }
  }
  w.frames.push_back(file.substr(layout->framesEnd, layout->keptEnd - layout->framesEnd));
  return w;
}

// The size of the ID3v1 tag at the end; 0 when there is none. "TAG" there
// that ends an APE tag's "APETAGEX" is none, as TagLib reads it.
std::size_t id3v1Size(const std::string& file) {
  const std::size_t size = vbmp3::id3v1::kSize;
  if (file.size() < size ||
      !vbmp3::id3v1::isTag(std::string_view(file).substr(file.size() - size))) {
    return 0;
  }
  return file.size() >= size + 3 && file.compare(file.size() - size - 3, 8, "APETAGEX") == 0 ? 0
                                                                                             : size;
}

// The size of the APE and ID3v1 tags at the end.
std::size_t backSize(const std::string& file) {
  const std::size_t v1 = id3v1Size(file);
  return v1 + vbmp3::ape::sizeBefore(std::string_view(file).substr(0, file.size() - v1));
}

// The APE items at the end other than the title's, as raw bytes, in order.
std::vector<std::string> apeItems(const std::string& file) {
  std::vector<std::string> items;
  const std::size_t v1 = id3v1Size(file);
  const std::string_view rest = std::string_view(file).substr(0, file.size() - v1);
  const std::size_t size = vbmp3::ape::sizeBefore(rest);
  if (size == 0) {
    return items;
  }
  const std::string_view tag = rest.substr(rest.size() - size);
  // The footer's flag counts a header in the size, whatever bytes stand there.
  const bool header = (static_cast<unsigned char>(tag[tag.size() - 9]) & 0x80) != 0;
  const std::string_view body = tag.substr(header ? 32 : 0, tag.size() - 32 - (header ? 32 : 0));
  const auto le32 = [](std::string_view b, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 4; i-- > 0;) {
      v = (v << 8) | static_cast<unsigned char>(b[at + i]);
    }
    return v;
  };
  for (std::size_t pos = 0; body.size() - pos >= 9;) {
    const std::size_t keyEnd = body.find('\0', pos + 8);
    if (keyEnd == std::string_view::npos || le32(body, pos) > body.size() - keyEnd - 1) {
      break;
    }
    const std::size_t end = keyEnd + 1 + le32(body, pos);
    std::string key(body.substr(pos + 8, keyEnd - pos - 8));
    for (char& c : key) {
      c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
    }
    if (key != "TITLE") {
      items.emplace_back(body.substr(pos, end - pos));
    }
    pos = end;
  }
  return items;
}

// The ID3v1 tag at the end without its title field; empty when there is none.
std::string id3v1Rest(const std::string& file) {
  if (id3v1Size(file) == 0) {
    return {};
  }
  std::string block = file.substr(file.size() - vbmp3::id3v1::kSize);
  const auto title = vbmp3::id3v1::kText[0];
  return block.erase(title.offset, title.size);
}

using Record = std::array<unsigned char, VBMP3_RECORD_SIZE>;

// Every field of the record but the title.
bool sameFields(const Record& a, const Record& b) {
  return std::memcmp(a.data() + VBMP3_ARTIST_OFFSET, b.data() + VBMP3_ARTIST_OFFSET,
                     VBMP3_RECORD_SIZE - VBMP3_ARTIST_OFFSET) == 0;
}

// The tags at the end keep every byte but the title's.
void checkBackTags(const std::string& input, const std::string& output) {
  if (apeItems(output) != apeItems(input)) {
    std::abort();  // an APE item other than the title changed
  }
  if (id3v1Rest(output) != id3v1Rest(input)) {
    std::abort();  // an ID3v1 field other than the title changed
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& path = scratchPath();
  const std::string input(reinterpret_cast<const char*>(data), size);
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(input.data(), static_cast<std::streamsize>(input.size()));
  }
  Record record{};
  const bool read = vbmp3_getFileTagInfoEX(path.c_str(), record.data()) != 0;
  const Record first = record;

  // The title the program writes: kana, then spaces to the end of the slot.
  const char kTitle[] = "\x82\xA0\x82\xA2\x82\xA4";
  std::memset(record.data(), ' ', VBMP3_TITLE_LENGTH);
  std::memcpy(record.data(), kTitle, sizeof kTitle - 1);
  const bool written = vbmp3_setTagInfoEX(path.c_str(), record.data(), 0, 1) != 0;
  const std::string output = readAll(path);
  if (!read && written) {
    std::abort();  // a file that cannot be read must not be written
  }
  if (!written && output != input) {
    std::abort();  // a failed write changed the file
  }
  if (written) {
    Record back{};
    if (vbmp3_getFileTagInfoEX(path.c_str(), back.data()) == 0 ||
        std::memcmp(back.data(), kTitle, sizeof kTitle) != 0) {
      std::abort();  // the written title does not read back
    }
    if (!sameFields(back, first)) {
      std::abort();  // a field other than the title reads back otherwise
    }
    const Walked before = framesOf(input);
    const Walked after = framesOf(output);
    if (before.end != 0 && before.frames != after.frames) {
      std::abort();  // a frame other than the title changed
    }
    if (before.end != 0) {
      const auto was = vbmp3::id3v2::parseHeader(input);
      const auto is = vbmp3::id3v2::parseHeader(output);
      if (!is || is->major != was->major || is->flags != was->flags) {
        std::abort();  // the tag header changed beyond its size
      }
    }
    checkBackTags(input, output);
    // (A tag that TagLib found further in is edited where it stands.)
    const std::size_t back0 = backSize(input);
    if ((before.end != 0 || after.end != 0) && before.end + back0 <= input.size() &&
        input.compare(before.end, input.size() - before.end - back0, output, after.end,
                      input.size() - before.end - back0) != 0) {
      std::abort();  // the audio between the tags changed
    }
  }
  for (const std::int32_t version : {3, 4}) {
    {
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      out.write(input.data(), static_cast<std::streamsize>(input.size()));
    }
    if (vbmp3_getFileTagInfoEX(path.c_str(), record.data()) == 0) {
      break;
    }
    std::memset(record.data(), ' ', VBMP3_TITLE_LENGTH);
    std::memcpy(record.data(), kTitle, sizeof kTitle - 1);
    if (vbmp3_setTagInfoEX(path.c_str(), record.data(), version, 1) == 0) {
      if (readAll(path) != input) {
        std::abort();  // a failed write changed the file
      }
      continue;
    }
    const std::string converted = readAll(path);
    if (converted == input) {
      continue;  // the title was already the one written: nothing to change
    }
    // (A tag TagLib found further in is edited where it stands.)
    const bool tagAtStart =
        input.compare(0, 3, "ID3") == 0 || input.find("ID3") == std::string::npos;
    if (tagAtStart) {
      const auto header = vbmp3::id3v2::parseHeader(converted);
      if (!header || header->major != version || header->completeSize() > converted.size()) {
        std::abort();  // not a sound tag header of the version asked for
      }
      if (!vbmp3::id3v2::walk(std::string_view(converted).substr(0, header->completeSize()))) {
        std::abort();  // the written tag does not walk
      }
    }
    Record back{};
    if (vbmp3_getFileTagInfoEX(path.c_str(), back.data()) == 0 ||
        std::memcmp(back.data(), kTitle, sizeof kTitle) != 0 || !sameFields(back, first)) {
      std::abort();  // the converted tag does not read back as written
    }
    checkBackTags(input, converted);
  }
  ::unlink(path.c_str());
  return 0;
}
