#include "commands/MessageBoxes.h"

namespace tagkana {

bool fitsPlainBox(std::u16string_view text) {
  constexpr std::size_t kMaxLines = 25;
  constexpr std::size_t kMaxLineLength = 160;
  std::size_t lines = 1;
  std::size_t lineStart = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == u'\n') {
      if (i - lineStart > kMaxLineLength || lines > kMaxLines) {
        return false;
      }
      ++lines;
      lineStart = i + 1;
    }
  }
  return true;
}

}  // namespace tagkana
