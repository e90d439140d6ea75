#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

// The progress of a long run on standard error: count, rate and the file at
// hand on one line, redrawn in place and cleared at the end. Nothing at all
// when standard error is not a terminal.
namespace tagkana::cli {

class ProgressLine {
 public:
  // A total of 0 is not known: the count is shown alone.
  ProgressLine(std::u16string_view what, std::size_t total);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // `done` files (of the total) are through; `path` is the last of them.
  void step(std::size_t done, std::u16string_view path);
  // Takes the line away, before other text goes to the terminal.
  void clear();

  // The line now shown, if any: what writes to the terminal clears it first.
  static ProgressLine* shown();

 private:
  void draw(const std::u16string& text);

  std::u16string m_what;
  std::size_t m_total;
  bool m_enabled;
  std::size_t m_width = 0;  // columns drawn
  std::chrono::steady_clock::time_point m_start;
  std::chrono::steady_clock::time_point m_drawn;
};

}  // namespace tagkana::cli
