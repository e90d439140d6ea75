#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "commands/Lists.h"

// The four list controls of the Win32 window over the standard combo box and
// list boxes. Each keeps the real texts (paths and names exactly as the OS
// gave them) beside the rows it shows.
namespace tagkana::win32 {

std::wstring wide(std::u16string_view text);
std::u16string fromWide(std::wstring_view text);
std::u16string windowText(HWND window);

// Drive1: a drop-down list of the machine's drives.
class DriveList {
 public:
  explicit DriveList(HWND combo) : m_combo(combo) {}
  // Lists the drives anew; the selected one stays listed.
  void refill();
  const std::u16string& Drive() const { return m_drive; }
  // Selects the drive named by `path` or the one that holds it; false when
  // it names none, or when it is already the selected one.
  bool select(std::u16string_view path);
  // Whether a listed drive is `path` or holds it.
  bool holds(std::u16string_view path) const { return indexOf(path) >= 0; }
  // What the user picked in the list; false when it is the same drive.
  bool takeUserChoice();

 private:
  int indexOf(std::u16string_view path) const;

  HWND m_combo;
  std::vector<std::u16string> m_drives;
  std::u16string m_drive;
};

// Dir1: the folders from the root down to the shown one, then its subfolders.
class DirList {
 public:
  explicit DirList(HWND list) : m_list(list) {}
  const std::u16string& Path() const { return m_path; }
  // Shows `path` (relative ones taken from the shown folder). Returns whether
  // the folder changed. Throws RuntimeError when it cannot be read.
  bool setPath(std::u16string_view path);
  // The folder of the row the user chose; empty when none is.
  std::u16string chosenPath() const;
  // A key typed in the list: the first row on from the chosen one whose
  // name (not its indentation) starts with what was typed in a row is
  // chosen. The same letter again steps on to the next such name.
  void typed(char16_t key);

 private:
  HWND m_list;
  std::u16string m_path;
  std::vector<std::u16string> m_rows;
  std::vector<std::u16string> m_names;
  std::u16string m_typed;
  DWORD m_typedAt = 0;
};

// What File1 and List1 share: rows read and selected by position.
class SelectableList {
 public:
  explicit SelectableList(HWND list) : m_list(list) {}
  int ListCount() const;
  bool Selected(int index) const;
  void setAllSelected(bool selected);

 protected:
  // A position outside the list is a run-time error naming the list.
  void checkIndex(int index, std::u16string_view list) const;
  HWND m_list;
};

// File1: the files of one folder that match the pattern.
class FileListBox final : public SelectableList, public FileList {
 public:
  explicit FileListBox(HWND list) : SelectableList(list) {}
  std::u16string Path() const override { return m_path; }
  // Reads the folder at once; throws RuntimeError when it cannot be read.
  void setPath(std::u16string_view path);
  const std::u16string& Pattern() const { return m_pattern; }
  int ListCount() const override { return SelectableList::ListCount(); }
  std::u16string List(int index) const override;
  bool Selected(int index) const override;

 private:
  std::u16string m_path;
  std::u16string m_pattern = u"*.mp3";
  std::vector<std::u16string> m_names;
};

// List1: unsorted rows; a click toggles a row's selection. The list scrolls
// sideways to its widest row.
class PreviewListBox final : public SelectableList, public PreviewList {
 public:
  explicit PreviewListBox(HWND list) : SelectableList(list) {}
  int ListCount() const override { return SelectableList::ListCount(); }
  bool Selected(int index) const override;
  void Clear() override;
  void AddItem(std::u16string_view text) override;
  void AddItems(const std::vector<std::u16string>& texts) override;
  // The row's whole text when the list's width cuts it (scrolled or too
  // wide), else empty.
  std::u16string cutRow(int index) const;
  // A row's text as drawn, in pixels.
  int textWidth(std::u16string_view text) const;

 private:
  int m_widest = 0;
};

}  // namespace tagkana::win32
