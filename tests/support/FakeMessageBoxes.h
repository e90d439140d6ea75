#pragma once

#include <deque>
#include <string>
#include <vector>

#include "commands/MessageBoxes.h"

namespace tagkana::test {

struct ShownBox {
  std::u16string text;
  std::u16string title;
  BoxButtons buttons;
  BoxIcon icon;
  std::size_t inView = 0;  // where a box that scrolls opens
};

// Records every box. A box with OK and Cancel takes the next queued answer;
// one that finds the queue empty is a test failure and counts as Cancel. A box
// with OK only is answered OK without using the queue.
class ScriptedMessageBoxes : public MessageBoxes {
 public:
  std::deque<BoxAnswer> answers;
  std::vector<ShownBox> shown;

  explicit ScriptedMessageBoxes(std::initializer_list<BoxAnswer> queued = {}) : answers(queued) {}

  BoxAnswer show(std::u16string_view text, std::u16string_view title, BoxButtons buttons,
                 BoxIcon icon) override;
  BoxAnswer showAt(std::u16string_view text, std::size_t inView, std::u16string_view title,
                   BoxButtons buttons, BoxIcon icon) override {
    const BoxAnswer answer = show(text, title, buttons, icon);
    shown.back().inView = inView;
    return answer;
  }
};

}  // namespace tagkana::test
