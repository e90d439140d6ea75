#include "commands/FileWait.h"

#include <thread>

namespace tagkana {
namespace {

// As long as the tag library waits for a lock.
constexpr auto kPatience = std::chrono::seconds(10);
// Short beside the window's 25 ms between events.
constexpr auto kStep = std::chrono::milliseconds(10);

class SystemWaitClock final : public WaitClock {
 public:
  std::chrono::steady_clock::time_point now() override { return std::chrono::steady_clock::now(); }
  void pause() override { std::this_thread::sleep_for(kStep); }
};

}  // namespace

WaitClock& systemWaitClock() {
  static SystemWaitClock clock;
  return clock;
}

FileWait waitWhileBusy(platform::FileSystem& files, std::u16string_view path, bool forWrite,
                       const std::function<bool()>& goOn, WaitClock& clock) {
  if (!files.busy(path, forWrite)) {
    return FileWait::Free;
  }
  const auto deadline = clock.now() + kPatience;
  for (;;) {
    if (!goOn()) {
      return FileWait::Stopped;
    }
    if (clock.now() >= deadline) {
      return FileWait::Busy;
    }
    clock.pause();
    if (!files.busy(path, forWrite)) {
      return FileWait::Free;
    }
  }
}

}  // namespace tagkana
