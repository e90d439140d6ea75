#pragma once

#include <string>

namespace tagkana::platform {

// The system's own text for an error code (errno on POSIX, GetLastError() on
// Windows), in the user's language where the system has it; never empty.
std::u16string systemErrorText(unsigned long code);

// The last error of the calling thread (errno or GetLastError()).
unsigned long lastSystemError();

}  // namespace tagkana::platform
