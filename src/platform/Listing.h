#pragma once

#include <string>
#include <string_view>
#include <vector>

// What the folder list (Dir1) and the file list (File1) show of a folder.
namespace tagkana::platform {

struct FolderEntry {
  enum class Kind { File, Folder, Other };
  std::u16string name;      // as decodePath() gives it on POSIX
  Kind kind = Kind::Other;  // links count as what they point at
  bool hidden = false;      // hidden or system
};

// The entries of `folder` without "." and "..", in the OS's order. Throws
// RuntimeError naming the folder, with the system's reason, when it cannot
// be read.
std::vector<FolderEntry> readFolder(std::u16string_view folder);

// File1's rows: the files whose names match one of the ';'-separated
// wildcard patterns ("*.mp3"; an empty pattern admits every file), hidden
// and system files left out, in case-insensitive name order.
std::vector<std::u16string> fileRows(std::vector<FolderEntry> entries, std::u16string_view pattern);

// Dir1's subfolders: the folders, hidden and system ones left out, in
// case-insensitive name order.
std::vector<std::u16string> folderRows(std::vector<FolderEntry> entries);

inline std::vector<std::u16string> listFiles(std::u16string_view folder,
                                             std::u16string_view pattern) {
  return fileRows(readFolder(folder), pattern);
}

inline std::vector<std::u16string> listFolders(std::u16string_view folder) {
  return folderRows(readFolder(folder));
}

// '*' any run of characters, '?' one UTF-16 unit; letters compare as by
// lessIgnoringCase().
bool matchesPattern(std::u16string_view name, std::u16string_view pattern);

// Name order without regard to case: Latin letters (ASCII, Latin-1 and the
// full-width ones) fold, and names equal but for case keep a fixed order.
bool lessIgnoringCase(std::u16string_view a, std::u16string_view b);

}  // namespace tagkana::platform
