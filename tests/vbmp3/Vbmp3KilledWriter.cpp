// A writer for the kill tests on Windows: gives each file after the event's
// name a title long enough that the tag must grow, so that every write goes
// through a new file, and says through the event when the first is written,
// so that a kill after it never comes before the run, however slow its start.
//   vbmp3_killed_writer EVENT FILE...
#include <windows.h>

#include <string>

#include "Vbmp3TestSupport.h"

int main(int argc, char* argv[]) {
  if (argc < 3) {
    return 2;
  }
  const HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[1]);
  if (ready == nullptr) {
    return 3;
  }
  for (int i = 2; i < argc; ++i) {
    if (!vbmp3test::writeTitle(argv[i], std::string(80, 'L'))) {
      return 4;
    }
    if (i == 2 && !SetEvent(ready)) {
      return 3;
    }
  }
  return 0;
}
