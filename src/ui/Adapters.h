#pragma once

#include "commands/Lists.h"
#include "ui/ListControls.h"

namespace tagkana {

// File1 and List1 as the commands see them. A position outside the list is a
// run-time error here, as it is for the commands' own loops.
class File1Adapter final : public FileList {
 public:
  explicit File1Adapter(const FileListBox& list) : m_list(list) {}
  std::u16string Path() const override;
  int ListCount() const override;
  std::u16string List(int index) const override;
  bool Selected(int index) const override;

 private:
  const FileListBox& m_list;
};

class List1Adapter final : public PreviewList {
 public:
  explicit List1Adapter(PreviewListBox& list) : m_list(list) {}
  int ListCount() const override;
  bool Selected(int index) const override;
  void Clear() override;
  void AddItem(std::u16string_view text) override;

 private:
  PreviewListBox& m_list;
};

}  // namespace tagkana
