#pragma once

#include <string>
#include <string_view>

namespace tagkana::platform {

// UTF-16 as the W functions take it. wchar_t is 16 bits on Windows; copying
// avoids aliasing char16_t storage as wchar_t.
inline std::wstring toWide(std::u16string_view text) {
  return std::wstring(text.begin(), text.end());
}

inline std::u16string fromWide(std::wstring_view text) {
  return std::u16string(text.begin(), text.end());
}

}  // namespace tagkana::platform
