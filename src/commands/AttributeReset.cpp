#include "commands/AttributeReset.h"

#include "commands/Messages.h"

namespace tagkana {

void AttributeReset(FormState& state, const FileList& File1, platform::FileSystem& files,
                    MessageBoxes& boxes, Progress& progress) {
  if (boxes.show(messages::kConfirmAttributeReset, messages::kConfirmTitle, BoxButtons::OkCancel,
                 BoxIcon::None) != BoxAnswer::Ok) {
    return;
  }
  const int count = File1.ListCount();
  const int total = selectedCount(File1);
  int done = 0;
  for (state.FileIdx = 0; state.FileIdx < count; ++state.FileIdx) {
    const int i = state.FileIdx;
    if (!File1.Selected(i)) {
      continue;
    }
    std::u16string path = fullPath(File1, i);
    if (!progress.next(done, total, path)) {
      break;
    }
    state.CurPath = std::move(path);
    files.setArchiveOnly(state.CurPath);
    ++done;
  }
  progress.end();
}

}  // namespace tagkana
