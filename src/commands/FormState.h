#pragma once

#include <string>
#include <vector>

namespace tagkana {

// The state that the window owns and the commands share. Strings start empty
// and numbers at 0. FilePaths grows with the preview's rows (no fixed limit).
struct FormState {
  std::vector<std::u16string> FilePaths;
  std::u16string CurPath;
  std::u16string Title;
  std::u16string KanaTitle;
  std::u16string ResultLog;
  int RowNo = 0;
  int FileIdx = 0;
  int RowIdx = 0;
};

}  // namespace tagkana
