#include "commands/Progress.h"

#include <chrono>
#include <future>

namespace tagkana {
namespace {

class NoProgress final : public Progress {
 public:
  bool next(int, int, std::u16string_view) override { return true; }
};

}  // namespace

bool alongsideWork(Progress& progress, const std::function<void()>& work) {
  // Short beside the window's 25 ms between events.
  constexpr auto kPulse = std::chrono::milliseconds(20);
  std::future<void> done = std::async(std::launch::async, work);
  bool goOn = true;
  while (done.wait_for(kPulse) != std::future_status::ready) {
    goOn = progress.pulse() && goOn;
  }
  done.get();
  return goOn;
}

Progress& noProgress() {
  static NoProgress none;
  return none;
}

std::u16string groupedDecimal(int value) {
  const std::string digits = std::to_string(value);
  const std::size_t first = digits.front() == '-' ? 1 : 0;
  std::u16string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > first && (digits.size() - i) % 3 == 0) {
      out += u',';
    }
    out += static_cast<char16_t>(digits[i]);
  }
  return out;
}

}  // namespace tagkana
