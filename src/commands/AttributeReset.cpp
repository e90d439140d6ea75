#include "commands/AttributeReset.h"

#include "commands/Messages.h"

namespace tagkana {

void AttributeReset(FormState& state, const FileList& File1, platform::FileSystem& files,
                    MessageBoxes& boxes) {
  if (boxes.show(messages::kConfirmAttributeReset, messages::kConfirmTitle, BoxButtons::OkCancel,
                 BoxIcon::None) != BoxAnswer::Ok) {
    return;
  }
  const int count = File1.ListCount();
  for (state.FileIdx = 0; state.FileIdx < count; ++state.FileIdx) {
    const int i = state.FileIdx;
    if (!File1.Selected(i)) {
      continue;
    }
    state.CurPath = fullPath(File1, i);
    files.setArchiveOnly(state.CurPath);
  }
}

}  // namespace tagkana
