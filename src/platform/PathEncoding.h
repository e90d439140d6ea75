#pragma once

#include <string>
#include <string_view>

namespace tagkana::platform {

// A path in the file system's own encoding, as C library calls take it:
// UTF-8 on POSIX, the ANSI code page on Windows.
std::string encodePath(std::u16string_view path);

}  // namespace tagkana::platform
