#include "win32/SystemMessageBoxes.h"

#include "commands/WindowTexts.h"
#include "win32/ListControls.h"

namespace tagkana::win32 {

BoxAnswer SystemMessageBoxes::show(std::u16string_view text, std::u16string_view title,
                                   BoxButtons buttons, BoxIcon icon) {
  const std::wstring shownTitle = wide(title.empty() ? texts::kApplication : title);
  UINT type = MB_APPLMODAL | MB_DEFBUTTON1 | MB_SETFOREGROUND;
  type |= buttons == BoxButtons::OkCancel ? MB_OKCANCEL : MB_OK;
  type |= icon == BoxIcon::Stop ? MB_ICONSTOP : 0;
  // Closing a box with OK alone answers OK; with Cancel, Cancel.
  return MessageBoxW(m_owner(), wide(text).c_str(), shownTitle.c_str(), type) == IDOK
             ? BoxAnswer::Ok
             : BoxAnswer::Cancel;
}

}  // namespace tagkana::win32
