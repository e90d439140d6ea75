#include "support/FakeLists.h"

#include <stdexcept>

namespace tagkana::test {

FakeFileList::FakeFileList(std::u16string folderPath, std::initializer_list<std::u16string> names)
    : folder(std::move(folderPath)) {
  for (const auto& name : names) {
    entries.push_back({name, false});
  }
}

void FakeFileList::select(std::initializer_list<int> positions) {
  for (const int i : positions) {
    entries.at(i).selected = true;
  }
}

bool FakePreviewList::Selected(int index) const {
  if (index < 0 || index >= ListCount()) {
    throw std::out_of_range("FakePreviewList::Selected past the rows");
  }
  return selected.count(index) != 0;
}

void FakePreviewList::Clear() {
  ++clears;
  rows.clear();
  selected.clear();
}

}  // namespace tagkana::test
