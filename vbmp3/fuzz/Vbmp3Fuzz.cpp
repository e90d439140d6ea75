// Any bytes as an MP3: a read fails or fills the record; a write then fails
// leaving every byte, or succeeds and reads back its title.
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& path = scratchPath();
  const std::string input(reinterpret_cast<const char*>(data), size);
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(input.data(), static_cast<std::streamsize>(input.size()));
  }
  std::array<unsigned char, 656> record{};
  const bool read = vbmp3_getFileTagInfoEX(path.c_str(), record.data()) != 0;

  // The title the program writes: kana, then spaces to the end of the slot.
  const char kTitle[] = "\x82\xA0\x82\xA2\x82\xA4";
  std::memset(record.data(), ' ', 128);
  std::memcpy(record.data(), kTitle, sizeof kTitle - 1);
  const bool written = vbmp3_setTagInfoEX(path.c_str(), record.data(), 0, 1) != 0;
  if (!read && written) {
    std::abort();  // a file that cannot be read must not be written
  }
  if (!written && readAll(path) != input) {
    std::abort();  // a failed write changed the file
  }
  if (written) {
    std::array<unsigned char, 656> back{};
    if (vbmp3_getFileTagInfoEX(path.c_str(), back.data()) == 0 ||
        std::memcmp(back.data(), kTitle, sizeof kTitle) != 0) {
      std::abort();  // the written title does not read back
    }
  }
  ::unlink(path.c_str());
  return 0;
}
