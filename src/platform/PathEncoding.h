#pragma once

#include <string>
#include <string_view>

namespace tagkana::platform {

// A path in the file system's own encoding, as C library calls take it:
// UTF-8 on POSIX, the ANSI code page on Windows. On POSIX the lone surrogates
// U+DC80..U+DCFF that decodePath() makes turn back into the bytes they stand
// for, so a name that is not valid UTF-8 reaches the file it came from.
std::string encodePath(std::u16string_view path);

#ifndef _WIN32
// A name or path as the OS gives it, in UTF-16; each byte that is not part of
// valid UTF-8 becomes the lone surrogate U+DC00 + byte.
std::u16string decodePath(std::string_view path);
#endif

}  // namespace tagkana::platform
