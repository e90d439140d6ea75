#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Undo files: one per run that wrote files, a line for each written file.
// Both front ends write them; the command line reads them back.
namespace tagkana {

// Which file a path named when it was written: a file replaced or changed
// since no longer matches.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  // The status change time: file numbers are reused, and a write that keeps
  // the size still moves it.
  std::int64_t changed = 0;
  bool operator==(const FileIdentity&) const = default;
};

// Empty, with the system's error set, when the path names nothing.
std::optional<FileIdentity> identityOf(std::u16string_view path);

struct UndoEntry {
  std::u16string path;  // lone surrogates stand for the name's undecodable bytes
  FileIdentity identity;
  std::map<std::string, std::u16string> oldValues;  // by field name
  std::map<std::string, std::u16string> newValues;
};

// $XDG_STATE_HOME/tagkana or ~/.local/state/tagkana; %LOCALAPPDATA%\Tagkana
// on Windows. Throws RuntimeError when neither can be told.
std::u16string undoFolder();

namespace undo_system {
class NewFile;
class FileReader;
}  // namespace undo_system

// Collects entries as they come; sync() puts those added so far on stable
// storage, so an interrupted run keeps what it wrote. The file is made on the
// first entry. Failures throw RuntimeError naming the file.
class UndoWriter {
 public:
  UndoWriter();
  ~UndoWriter();  // writes what sync() has not, without a sync
  UndoWriter(const UndoWriter&) = delete;
  UndoWriter& operator=(const UndoWriter&) = delete;

  void add(const UndoEntry& entry);
  void sync();
  // The file's path, empty while nothing was added.
  const std::u16string& name() const { return m_name; }

 private:
  std::unique_ptr<undo_system::NewFile> m_file;
  std::string m_pending;
  std::u16string m_name;
};

// An undo file read an entry at a time, whatever its length. Throws
// RuntimeError naming the file when it cannot be read or is not an undo file
// (a line that is no entry is found when it is reached).
class UndoReader {
 public:
  explicit UndoReader(const std::u16string& path);
  ~UndoReader();
  UndoReader(const UndoReader&) = delete;
  UndoReader& operator=(const UndoReader&) = delete;

  // Empty at the end.
  std::optional<UndoEntry> next();

 private:
  bool nextLine(std::string_view& line);

  std::u16string m_path;
  std::unique_ptr<undo_system::FileReader> m_file;
  std::string m_buffer;
  std::size_t m_at = 0;
  bool m_end = false;
};

// The undo files in undoFolder(), newest first.
std::vector<std::u16string> undoFiles();

}  // namespace tagkana
