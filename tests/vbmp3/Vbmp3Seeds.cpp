// Writes small MP3 files of every kind the tests build, as seeds for the
// fuzz target: vbmp3_seeds <folder>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "Mp3Fixture.h"

using namespace vbmp3test;

namespace {

std::string syncSafe(std::size_t n) {
  std::string out(4, '\0');
  for (int i = 3; i >= 0; --i, n >>= 7) {
    out[static_cast<std::size_t>(i)] = static_cast<char>(n & 0x7F);
  }
  return out;
}

// A rendered tag given header flags and an extended header before its frames:
// unsynchronised as a whole (2.3) or with a footer (2.4) when the flags say so.
std::string reflag(const std::string& tag, unsigned char flags, const std::string& extended = {}) {
  std::string body = extended + tag.substr(10);
  if (flags & 0x80) {
    std::string unsynced;
    for (std::size_t i = 0; i < body.size(); ++i) {
      unsynced += body[i];
      const auto next = i + 1 < body.size() ? static_cast<unsigned char>(body[i + 1]) : 0;
      if (static_cast<unsigned char>(body[i]) == 0xFF && (next >= 0xE0 || next == 0)) {
        unsynced += '\0';
      }
    }
    body = unsynced;
  }
  const std::string header = tag.substr(0, 5) + static_cast<char>(flags) + syncSafe(body.size());
  return header + body + ((flags & 0x10) ? "3DI" + header.substr(3) : "");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: vbmp3_seeds <folder>\n";
    return 2;
  }
  const std::string frames = mpegFrames(3);
  const std::string sjis = "\x83\x7C\x83\x50\x83\x82\x83\x93";
  const std::vector<std::pair<std::string, std::string>> seeds{
      {"v23-utf16", Id3v2(3).frame("TIT2", utf16Text(u"あいう"))
                            .frame("TCON", latin1Text("(17)"))
                            .frame("TRCK", latin1Text("3/12"))
                            .padding(64)
                            .render() +
                        frames},
      {"v24-utf8",
       Id3v2(4).frame("TIT2", utf8Text("テスト")).frame("TDRC", latin1Text("2024")).render() +
           frames},
      {"v1", frames + id3v1("Title", "Artist", "Album", "1999", "Note", 7, 12)},
      {"v1-v2", Id3v2(3).frame("TIT2", latin1Text(sjis)).render() + frames + id3v1(sjis)},
      {"ape-v1", frames + ape({{"Title", "Ape"}, {"Genre", "Rock"}}) + id3v1("V1")},
      {"latin1", Id3v2(3).frame("TPE1", latin1Text("Pok\xE9mon")).render() + frames},
      {"picture", Id3v2(3).frame("APIC", std::string("\0image/png\0\x03\0\x89PNG", 17))
                          .frame("USLT", std::string("\0eng\0lyrics", 11))
                          .render() +
                      frames},
      {"no-padding", Id3v2(3).frame("TIT2", latin1Text("a")).render() + frames},
      {"no-tag", frames},
      {"empty-frame", Id3v2(3).frame("TENC", "")
                              .frame("TIT2", latin1Text("Title"))
                              .frame("TPE1", latin1Text("Artist"))
                              .render() +
                          frames},
      {"v23-unsync",
       reflag(
           Id3v2(3).frame("TIT2", utf16Text(u"さくら")).frame("TPE1", utf16Text(u"ひと")).render(),
           0x80) +
           frames},
      {"v23-extended", reflag(Id3v2(3).frame("TIT2", latin1Text("Title")).padding(16).render(),
                              0x40, std::string("\0\0\0\x06\0\0\0\0\0\x10", 10)) +
                           frames},
      {"v24-extended-crc", reflag(Id3v2(4).frame("TIT2", utf8Text("Title")).render(), 0x40,
                                  std::string("\0\0\0\x0C\x01\x20\x05\x01\x02\x03\x04\x05", 12)) +
                               frames},
      {"v24-footer", reflag(Id3v2(4).frame("TPE1", utf8Text("Artist")).render(), 0x10) + frames},
      {"flac", std::string("fLaC\x80\0\0\x22", 8) + std::string(34, '\0') + mpegFrames(1)},
      {"ogg", std::string("OggS\0\x02", 6) + std::string(22, '\0') + mpegFrames(1)},
  };
  for (const auto& [name, bytes] : seeds) {
    std::ofstream out(std::string(argv[1]) + "/" + name + ".mp3", std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
      std::cerr << "cannot write " << name << "\n";
      return 1;
    }
  }
  return 0;
}
