#pragma once

#include <stdint.h>

// A stand-in for the tag library that records what it is handed. The tests
// reach the same state through fake_vbmp3_state() of the loaded library.
struct FakeVbmp3State {
  int initCalls;
  int freeCalls;
  int readCalls;
  int writeCalls;
  char lastPath[1024];  // NUL-terminated, cut to fit

  // Read: what it was handed, what it leaves in the record, what it returns.
  unsigned char readReceived[656];
  unsigned char readFill[656];
  int32_t readResult;

  // Write: what it was handed; when writeLeavesFill is set it leaves
  // writeFill in the record, as a library that reports back would.
  unsigned char writeReceived[656];
  int32_t writeVersion;
  int32_t writeKeepV1;
  int writeLeavesFill;
  unsigned char writeFill[656];
  int32_t writeResult;
  // The reason a failed write leaves: errno, or GetLastError() on Windows.
  unsigned long writeError;
  // The same for a failed read.
  unsigned long readError;
};

extern "C" FakeVbmp3State* fake_vbmp3_state(void);
