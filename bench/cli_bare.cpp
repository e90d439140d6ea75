// The tag library alone, for bench/cli.sh to time tagkana-cli against: reads,
// or reads and writes back the converted title of, each file named on a line
// of standard input, with no listing, no output per file and no undo.
//   cli_bare read|write <list
// Writes leave their syncs to the run, as tagkana-cli's do, and one syncfs
// at the end makes them durable.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>

#include "conversion/RtoK.h"
#include "taglib/TagRecord.h"
#include "vbmp3.h"

int main(int argc, char* argv[]) {
  const std::string_view mode = argc == 2 ? argv[1] : "";
  if (mode != "read" && mode != "write") {
    std::fprintf(stderr, "usage: cli_bare read|write <list\n");
    return 2;
  }
  const bool write = mode == "write";
  if (write) {
    ::setenv(VBMP3_SYNC_VARIABLE, VBMP3_SYNC_RUN, 1);
  }
  vbmp3_init();
  tagkana::TagRecord record;
  tagkana::AnsiTagRecord buffer{};
  std::size_t done = 0;
  std::size_t failed = 0;
  std::string last;
  for (std::string path; std::getline(std::cin, path);) {
    if (vbmp3_getFileTagInfoEX(path.c_str(), buffer.data()) == 0) {
      ++failed;
      continue;
    }
    if (write) {
      record.fromAnsi(buffer);
      const std::u16string title = tagkana::TrimNul(record.Title);
      const std::u16string kana = tagkana::RtoK(title);
      if (kana != title) {
        record.assignTitle(kana);
        record.toAnsi(buffer);
        if (vbmp3_setTagInfoEX(path.c_str(), buffer.data(), 0, 1) == 0) {
          ++failed;
          continue;
        }
      }
    }
    ++done;
    last = path;
  }
  if (write && !last.empty()) {
    const int fd = ::open(last.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::syncfs(fd) != 0) {
      std::perror("syncfs");
      return 1;
    }
    ::close(fd);
  }
  vbmp3_free();
  std::fprintf(stderr, "cli_bare: %zu files, %zu failed\n", done, failed);
  return failed == 0 ? 0 : 1;
}
