#pragma once

#include <windows.h>

#include <functional>

#include "commands/MessageBoxes.h"

namespace tagkana::win32 {

// MessageBoxW, modal to the window, with the commands' texts, titles and
// buttons; OK is the default button.
class SystemMessageBoxes final : public MessageBoxes {
 public:
  // The window the boxes are modal to, asked at each box.
  explicit SystemMessageBoxes(std::function<HWND()> owner) : m_owner(std::move(owner)) {}
  BoxAnswer show(std::u16string_view text, std::u16string_view title, BoxButtons buttons,
                 BoxIcon icon) override;
  BoxAnswer showAt(std::u16string_view text, std::size_t inView, std::u16string_view title,
                   BoxButtons buttons, BoxIcon icon) override;

 private:
  std::function<HWND()> m_owner;
};

}  // namespace tagkana::win32
