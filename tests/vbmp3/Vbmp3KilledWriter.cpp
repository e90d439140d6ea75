// A writer for the kill tests on Windows: says it is ready through the
// event named first, then gives each file after it a title long enough
// that the tag must grow, so that every write goes through a new file.
//   vbmp3_killed_writer EVENT FILE...
#include <windows.h>

#include <string>

#include "Vbmp3TestSupport.h"

int main(int argc, char* argv[]) {
  if (argc < 3) {
    return 2;
  }
  const HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[1]);
  if (ready == nullptr || !SetEvent(ready)) {
    return 3;
  }
  for (int i = 2; i < argc; ++i) {
    if (!vbmp3test::writeTitle(argv[i], std::string(80, 'L'))) {
      return 4;
    }
  }
  return 0;
}
