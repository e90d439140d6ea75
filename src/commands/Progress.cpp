#include "commands/Progress.h"

namespace tagkana {
namespace {

class NoProgress final : public Progress {
 public:
  bool next(int, int, std::u16string_view) override { return true; }
};

}  // namespace

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
