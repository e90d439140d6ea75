#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/FileSystem.h"

namespace tagkana {

// The file list (File1) as the commands see it. Positions are 0-based.
class FileList {
 public:
  virtual ~FileList() = default;
  virtual std::u16string Path() const = 0;  // the folder whose files are listed
  virtual int ListCount() const = 0;
  virtual std::u16string List(int index) const = 0;  // the entry's file name
  virtual bool Selected(int index) const = 0;
};

// A listed file's full path: the folder exactly as File1 gives it, the native
// separator, the name. A root folder already ends in a separator and so gives
// two in a row, which name the same file.
inline std::u16string fullPath(const FileList& File1, int index) {
  return File1.Path() + platform::kPathSeparator + File1.List(index);
}

// The preview list (List1) as the commands see it.
class PreviewList {
 public:
  virtual ~PreviewList() = default;
  virtual int ListCount() const = 0;
  virtual bool Selected(int index) const = 0;
  virtual void Clear() = 0;
  virtual void AddItem(std::u16string_view text) = 0;
  // Rows at the end in one change, which a window lays out once.
  virtual void AddItems(const std::vector<std::u16string>& texts) {
    for (const std::u16string& text : texts) {
      AddItem(text);
    }
  }
};

// How many entries of File1 or rows of List1 are selected.
template <typename SelectableList>
int selectedCount(const SelectableList& list) {
  int selected = 0;
  for (int i = 0; i < list.ListCount(); ++i) {
    selected += list.Selected(i) ? 1 : 0;
  }
  return selected;
}

}  // namespace tagkana
