// Writes small MP3 files of every kind the tests build, as seeds for the
// fuzz target: vbmp3_seeds <folder>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "Mp3Fixture.h"

using namespace vbmp3test;

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
