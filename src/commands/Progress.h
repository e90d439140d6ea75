#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace tagkana {

// Told before each file of a long command and asked whether to go on; the
// place where a window stays alive and the user may stop the run.
class Progress {
 public:
  virtual ~Progress() = default;
  // `done` of `total` files are finished and `path` comes next. False stops
  // the command before that file.
  virtual bool next(int done, int total, std::u16string_view path) = 0;
  // Called often while the file last told of is still at work elsewhere (a
  // sync on another thread); the window lives on as in next. False asks to
  // stop once that work is over.
  virtual bool pulse() { return true; }
  // The loop is over; called before the command shows any box.
  virtual void end() {}
};

// Always goes on and shows nothing.
Progress& noProgress();

// Runs `work` on a thread of its own and pulses `progress` about every 20 ms
// until it is over, however the user answers: what it does is never left
// half done. False when a stop was asked meanwhile. `work` must not touch
// the window; what it throws is thrown here.
bool alongsideWork(Progress& progress, const std::function<void()>& work);

// 20000 as "20,000": counts shown to the user.
std::u16string groupedDecimal(int value);

}  // namespace tagkana
