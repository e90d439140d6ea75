#pragma once

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
bool refuse(Refusal why);

}  // namespace vbmp3
