#pragma once

#include <string>
#include <string_view>
#include <vector>

// What the command line needs of the OS: its arguments, terminals, paths and
// Ctrl+C.
namespace tagkana::cli {

// The program's arguments after its name, in UTF-8 (on Windows from the
// wide command line, so that any name reaches its file).
std::vector<std::string> arguments(int argc, char** argv);

// A path argument as the file system names it: on POSIX its bytes, with
// lone surrogates for those that are not UTF-8.
std::u16string pathArgument(std::string_view argument);

// `path` made absolute against the working folder. Throws RuntimeError.
std::u16string absolutePath(const std::u16string& path);

enum class Stream { Input, Output, Error };
bool isTerminal(Stream stream);

enum class PathKind { Missing, Folder, File, Other };
// Missing leaves the system's error set. A link to a folder counts as one
// only when `followLinks`.
PathKind kindOf(std::u16string_view path, bool followLinks);

// `handler` runs on Ctrl+C, without ending the program; it may run on any
// thread. Also readies the console for UTF-8 output.
void prepareConsole(void (*handler)());

}  // namespace tagkana::cli
