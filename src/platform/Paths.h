#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/FileSystem.h"

// Path text as the folder and file lists handle it, without touching the disk.
// On Windows both "\" and "/" separate and a root is "C:\" or "\\server\share\";
// on POSIX a root is "/".
namespace tagkana::platform {

bool isSeparator(char16_t c);

// The part after the last separator; the whole path when it has none.
std::u16string_view namePart(std::u16string_view path);

// `folder`, a native separator unless it already ends in one, and `name`.
std::u16string joinPath(std::u16string_view folder, std::u16string_view name);

// `path` made absolute from `base` (itself absolute) when it is relative, with
// its "." and ".." steps resolved and empty steps dropped, in native
// separators; only a root ends in a separator. ".." never leaves the root.
std::u16string absoluteFolder(std::u16string_view base, std::u16string_view path);

// The folders from the root down to `folder`, a result of absoluteFolder():
// "/", "/home", "/home/ann".
std::vector<std::u16string> folderChain(std::u16string_view folder);

}  // namespace tagkana::platform
