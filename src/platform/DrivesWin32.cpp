#include <windows.h>

#include <algorithm>

#include "platform/Drives.h"
#include "platform/WideTextWin32.h"

namespace tagkana::platform {

std::u16string systemDrive() {
  return u"C:\\";
}

std::vector<std::u16string> listDrives() {
  std::vector<std::u16string> drives;
  std::wstring buffer(128, L'\0');
  DWORD size = GetLogicalDriveStringsW(static_cast<DWORD>(buffer.size()), buffer.data());
  if (size > buffer.size()) {
    // The drives changed size between the calls; the second call says anew.
    buffer.assign(size, L'\0');
    size = GetLogicalDriveStringsW(static_cast<DWORD>(buffer.size()), buffer.data());
  }
  if (size == 0 || size > buffer.size()) {
    return {systemDrive()};
  }
  // "A:\<NUL>C:\<NUL>...<NUL>"
  for (std::wstring_view rest(buffer.data(), size); !rest.empty();) {
    const std::size_t end = std::min(rest.find(L'\0'), rest.size());
    if (end > 0) {
      drives.push_back(fromWide(rest.substr(0, end)));
    }
    rest.remove_prefix(std::min(end + 1, rest.size()));
  }
  const auto system = std::find_if(drives.begin(), drives.end(), [](const std::u16string& d) {
    return CompareStringOrdinal(toWide(d).c_str(), -1, L"C:\\", -1, TRUE) == CSTR_EQUAL;
  });
  if (system != drives.end()) {
    std::rotate(drives.begin(), system, system + 1);
  }
  return drives;
}

}  // namespace tagkana::platform
