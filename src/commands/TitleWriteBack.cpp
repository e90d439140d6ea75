#include "commands/TitleWriteBack.h"

#include <string>

#include "commands/Messages.h"
#include "common/RuntimeError.h"
#include "common/Utf.h"
#include "conversion/RtoK.h"
#include "platform/Paths.h"

namespace tagkana {
namespace {

void appendLine(FormState& state, platform::FileSystem& files, std::u16string_view outcome) {
  // A file the name lookup cannot find (gone, hidden) is named from its
  // stored path: every line names its file.
  const std::u16string name = files.normalFileName(state.CurPath);
  state.ResultLog += visibleName(name.empty() ? platform::namePart(state.CurPath) : name);
  state.ResultLog += outcome;
  state.ResultLog += messages::kLineBreak;
}

}  // namespace

void TitleWriteBack(FormState& state, const PreviewList& List1, TagLibrary& library,
                    platform::FileSystem& files, MessageBoxes& boxes, Progress& progress) {
  if (boxes.show(messages::kConfirmWriteBack, messages::kConfirmTitle, BoxButtons::OkCancel,
                 BoxIcon::None) != BoxAnswer::Ok) {
    return;
  }

  // One record for the run, never cleared between files, so the record written
  // is the one just read from the same file with only its title replaced.
  TagRecord record;
  AnsiTagRecord readBuffer{};
  AnsiTagRecord writeBuffer{};
  bool stopped = false;

  const int count = List1.ListCount();
  const int total = selectedCount(List1);
  int attempted = 0;
  for (state.RowIdx = 0; state.RowIdx < count; ++state.RowIdx) {
    const int r = state.RowIdx;
    if (!List1.Selected(r)) {
      continue;
    }
    if (static_cast<std::size_t>(r) >= state.FilePaths.size()) {
      throw RuntimeError(std::u16string(messages::kNoPathForRow));
    }
    const std::u16string& path = state.FilePaths[static_cast<std::size_t>(r)];
    if (!progress.next(attempted, total, path)) {
      state.ResultLog += messages::kLogCancelledBefore;
      state.ResultLog += groupedDecimal(total - attempted);
      state.ResultLog += messages::kLogCancelledAfter;
      state.ResultLog += messages::kLineBreak;
      break;
    }
    ++attempted;
    state.CurPath = path;
    if (!library.getFileTagInfoEX(state.CurPath, record, readBuffer)) {
      appendLine(state, files, messages::kLogReadFailed);
      stopped = true;
      break;
    }
    // The title is read and converted afresh: the row's text may be stale.
    state.Title = TrimNul(record.Title);
    record.assignTitle(RtoK(state.Title));
    if (files.attributes(state.CurPath) & platform::kReadOnly) {
      appendLine(state, files, messages::kLogReadOnly);
      continue;
    }
    const bool written = library.setTagInfoEX(state.CurPath, record, writeBuffer, 0, 1);
    appendLine(state, files, written ? messages::kLogWritten : messages::kLogWriteFailed);
  }

  progress.end();
  boxes.show((stopped ? std::u16string(messages::kWriteBackStopped)
                      : std::u16string(messages::kWriteBackDone)) +
                 std::u16string(messages::kLineBreak) + std::u16string(messages::kLineBreak) +
                 state.ResultLog,
             u"", BoxButtons::Ok, BoxIcon::None);
}

}  // namespace tagkana
