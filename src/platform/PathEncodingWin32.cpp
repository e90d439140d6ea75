#include <windows.h>

#include "platform/PathEncoding.h"
#include "platform/WideTextWin32.h"

namespace tagkana::platform {

std::string encodePath(std::u16string_view path) {
  if (path.empty()) {
    return {};
  }
  const std::wstring wide = toWide(path);
  // Best fit would turn "café" into "cafe" and so name another file; without
  // it a missing character becomes "?", which no file name holds. The UTF-8
  // code page takes no flags.
  const UINT codePage = CP_ACP;
  const DWORD flags = GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const int wideSize = static_cast<int>(wide.size());
  const int size =
      WideCharToMultiByte(codePage, flags, wide.data(), wideSize, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(codePage, flags, wide.data(), wideSize, out.data(), size, nullptr, nullptr);
  return out;
}

}  // namespace tagkana::platform
