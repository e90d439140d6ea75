#pragma once

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
  // The loop is over; called before the command shows any box.
  virtual void end() {}
};

// Always goes on and shows nothing.
Progress& noProgress();

// 20000 as "20,000": counts shown to the user.
std::u16string groupedDecimal(int value);

}  // namespace tagkana
