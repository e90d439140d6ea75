#pragma once

#include <chrono>
#include <functional>
#include <string_view>

#include "platform/FileSystem.h"

namespace tagkana {

// The time a wait for a busy file runs on; tests bring their own.
class WaitClock {
 public:
  virtual ~WaitClock() = default;
  virtual std::chrono::steady_clock::time_point now() = 0;
  // Sleeps one short step of a wait.
  virtual void pause() = 0;
};

WaitClock& systemWaitClock();

enum class FileWait {
  Free,     // nobody holds the file now
  Busy,     // still held after as long as the tag library would wait
  Stopped,  // the user stopped the wait
};

// The tag library waits for a file another program holds within one call,
// where nothing else can happen. So the program waits first, in short steps,
// asking `goOn` after each (the window lives there; false stops the wait).
// A file taken between this wait and the call is left to the library's own.
FileWait waitWhileBusy(platform::FileSystem& files, std::u16string_view path, bool forWrite,
                       const std::function<bool()>& goOn, WaitClock& clock);

}  // namespace tagkana
