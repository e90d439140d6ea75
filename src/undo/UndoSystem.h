#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The OS's part of the undo files. Failures throw RuntimeError naming the
// file, with the system's reason.
namespace tagkana::undo_system {

// Where the undo files go, before any of it is made.
std::u16string stateFolder();

// Makes `folder` and each missing step above it, private to the user.
void makeFolders(const std::u16string& folder);

unsigned long processId();

// A file made afresh; it must not exist yet.
class NewFile {
 public:
  explicit NewFile(const std::u16string& path);
  ~NewFile();
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;

  void write(std::string_view bytes);
  void sync();

 private:
  std::intptr_t m_handle;
  std::u16string m_path;
};

// A file read from its start, a piece at a time.
class FileReader {
 public:
  explicit FileReader(const std::u16string& path);
  ~FileReader();
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  // Up to `size` bytes into `into`; 0 at the end.
  std::size_t read(char* into, std::size_t size);

 private:
  std::intptr_t m_handle;
  std::u16string m_path;
};

// False only when `folder` is known not to exist: a listing of anything else
// says why it fails.
bool mayExist(const std::u16string& folder);

[[noreturn]] void fail(std::u16string_view what, std::u16string_view file, unsigned long error);

}  // namespace tagkana::undo_system
