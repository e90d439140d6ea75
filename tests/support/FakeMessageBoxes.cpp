#include "support/FakeMessageBoxes.h"

#include <gtest/gtest.h>

#include "common/Utf.h"

namespace tagkana::test {

BoxAnswer ScriptedMessageBoxes::show(std::u16string_view text, std::u16string_view title,
                                     BoxButtons buttons, BoxIcon icon) {
  shown.push_back({std::u16string(text), std::u16string(title), buttons, icon});
  if (buttons == BoxButtons::Ok) {
    return BoxAnswer::Ok;
  }
  if (answers.empty()) {
    ADD_FAILURE() << "unexpected question: " << toUtf8(text);
    return BoxAnswer::Cancel;
  }
  const BoxAnswer answer = answers.front();
  answers.pop_front();
  return answer;
}

}  // namespace tagkana::test
