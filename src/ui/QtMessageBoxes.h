#pragma once

#include "commands/MessageBoxes.h"

class QWidget;

namespace tagkana {

// Message boxes on QMessageBox, with Japanese button texts. A box shown while
// a busy cursor is up shows the normal pointer over it.
class QtMessageBoxes final : public MessageBoxes {
 public:
  explicit QtMessageBoxes(QWidget* parent = nullptr) : m_parent(parent) {}

  BoxAnswer show(std::u16string_view text, std::u16string_view title, BoxButtons buttons,
                 BoxIcon icon) override;
  BoxAnswer showAt(std::u16string_view text, std::size_t inView, std::u16string_view title,
                   BoxButtons buttons, BoxIcon icon) override;

 private:
  QWidget* m_parent;
};

}  // namespace tagkana
