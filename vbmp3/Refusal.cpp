#include "Refusal.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <errno.h>
#endif

namespace vbmp3 {

bool refuse(Refusal why) {
#if defined(_WIN32)
  static constexpr DWORD kCodes[] = {ERROR_BAD_FORMAT, ERROR_NO_UNICODE_TRANSLATION,
                                     ERROR_ARITHMETIC_OVERFLOW, ERROR_INVALID_DATA};
  SetLastError(kCodes[static_cast<int>(why)]);
#else
  static constexpr int kCodes[] = {ENOEXEC, EILSEQ, EOVERFLOW, EBADMSG};
  errno = kCodes[static_cast<int>(why)];
#endif
  return false;
}

}  // namespace vbmp3
