#include "taglib/fake/FakeVbmp3.h"

#include <errno.h>

#include <cstring>
#ifdef _WIN32
#include <windows.h>
#endif

#include "vbmp3/vbmp3.h"

namespace {

FakeVbmp3State state;

void leaveError(unsigned long error) {
#ifdef _WIN32
  SetLastError(error);
#else
  errno = static_cast<int>(error);
#endif
}

void recordPath(const char* path) {
  std::strncpy(state.lastPath, path, sizeof state.lastPath - 1);
  state.lastPath[sizeof state.lastPath - 1] = '\0';
}

}  // namespace

extern "C" VBMP3_API FakeVbmp3State* fake_vbmp3_state(void) {
  return &state;
}

int32_t VBMP3_CALL vbmp3_init(void) {
  ++state.initCalls;
  return 1;
}

int32_t VBMP3_CALL vbmp3_free(void) {
  ++state.freeCalls;
  return 1;
}

int32_t VBMP3_CALL vbmp3_getFileTagInfoEX(const char* path, void* record656) {
  ++state.readCalls;
  recordPath(path);
  std::memcpy(state.readReceived, record656, 656);
  std::memcpy(record656, state.readFill, 656);
  if ((state.readResult & 0xFFFF) == 0) {
    leaveError(state.readError);
  }
  return state.readResult;
}

// The second test library leaves this one out, to be missing an entry point.
#ifndef FAKE_VBMP3_WITHOUT_SET
int32_t VBMP3_CALL vbmp3_setTagInfoEX(const char* path, void* record656, int32_t version,
                                      int32_t keepV1) {
  ++state.writeCalls;
  recordPath(path);
  std::memcpy(state.writeReceived, record656, 656);
  state.writeVersion = version;
  state.writeKeepV1 = keepV1;
  if (state.writeLeavesFill != 0) {
    std::memcpy(record656, state.writeFill, 656);
  }
  if (state.writeResult == 0) {
    leaveError(state.writeError);
  }
  return state.writeResult;
}
#endif
