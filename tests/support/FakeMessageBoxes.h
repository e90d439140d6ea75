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
};

}  // namespace tagkana::test
