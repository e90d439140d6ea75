#include <windows.h>

#include <string>

#include "common/Utf.h"
#include "platform/SystemError.h"
#include "platform/WideTextWin32.h"

namespace tagkana::platform {

std::u16string systemErrorText(unsigned long code) {
  wchar_t* text = nullptr;
  const DWORD size = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::u16string result = size == 0 ? std::u16string() : fromWide(std::wstring_view(text, size));
  LocalFree(text);
  // The system's texts end in a line break.
  while (!result.empty() &&
         (result.back() == u'\n' || result.back() == u'\r' || result.back() == u' ')) {
    result.pop_back();
  }
  return result.empty() ? u"Windows error " + fromUtf8(std::to_string(code)) : result;
}

unsigned long lastSystemError() {
  return GetLastError();
}

}  // namespace tagkana::platform
