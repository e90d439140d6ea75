#pragma once

#include <initializer_list>
#include <set>
#include <string>
#include <vector>

#include "commands/Lists.h"

namespace tagkana::test {

class FakeFileList : public FileList {
 public:
  struct Entry {
    std::u16string name;
    bool selected = false;
  };

  std::u16string folder;
  std::vector<Entry> entries;

  FakeFileList(std::u16string folderPath, std::initializer_list<std::u16string> names);
  void select(std::initializer_list<int> positions);

  std::u16string Path() const override { return folder; }
  int ListCount() const override { return static_cast<int>(entries.size()); }
  std::u16string List(int index) const override { return entries.at(index).name; }
  bool Selected(int index) const override { return entries.at(index).selected; }
};

class FakePreviewList : public PreviewList {
 public:
  std::vector<std::u16string> rows;
  std::set<int> selected;
  int clears = 0;

  void select(std::initializer_list<int> positions) { selected.insert(positions); }

  int ListCount() const override { return static_cast<int>(rows.size()); }
  bool Selected(int index) const override;
  void Clear() override;
  void AddItem(std::u16string_view text) override { rows.emplace_back(text); }
};

}  // namespace tagkana::test
