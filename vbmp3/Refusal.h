#pragma once

#if defined(_WIN32)
#include <windows.h>
#else
#include <errno.h>
#endif

namespace vbmp3 {

// Why the library itself turns a file down, where callers find the reason of
// a 0 result: errno, or GetLastError() on Windows.
enum class Refusal {
  NotMpeg,         // ENOEXEC / ERROR_BAD_FORMAT
  LostCharacters,  // EILSEQ / ERROR_NO_UNICODE_TRANSLATION
  TitleCut,        // EOVERFLOW / ERROR_ARITHMETIC_OVERFLOW
  Misjudged,       // EBADMSG / ERROR_INVALID_DATA
};

// Leaves the reason and returns false, for the caller to return.
inline bool refuse(Refusal why) {
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
