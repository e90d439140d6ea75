#include "commands/TitlePreview.h"

#include <string>

#include "commands/FileWait.h"
#include "commands/Messages.h"
#include "commands/Reasons.h"
#include "common/Utf.h"
#include "conversion/RtoK.h"

namespace tagkana {
namespace {

std::u16string decimal(int value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

}  // namespace

void TitlePreview(FormState& state, const FileList& File1, PreviewList& List1, TagLibrary& library,
                  MessageBoxes& boxes, Progress& progress, platform::FileSystem& files,
                  WaitClock& clock) {
  // One record and buffer for the whole run: what the library leaves untouched
  // keeps the previous file's value.
  TagRecord record;
  AnsiTagRecord buffer{};
  bool readFailed = false;
  std::u16string reason;

  List1.Clear();
  state.RowNo = 1;
  const int count = File1.ListCount();
  const int total = selectedCount(File1);
  for (state.FileIdx = 0; state.FileIdx < count; ++state.FileIdx) {
    const int i = state.FileIdx;
    if (!File1.Selected(i)) {
      continue;
    }
    std::u16string path = fullPath(File1, i);
    if (!progress.next(state.RowNo - 1, total, path)) {
      break;
    }
    state.CurPath = std::move(path);
    const FileWait wait = waitWhileBusy(
        files, state.CurPath, false,
        [&] { return progress.next(state.RowNo - 1, total, state.CurPath); }, clock);
    if (wait == FileWait::Stopped) {
      break;
    }
    if (wait == FileWait::Busy) {
      readFailed = true;
      reason = messages::kReasonBusy;
      break;
    }
    if (!library.getFileTagInfoEX(state.CurPath, record, buffer)) {
      readFailed = true;
      reason = reasonText(library.lastReadFailure());
      break;
    }
    // Row k's file stands at index k; entries past the new rows stay as they were.
    const auto row = static_cast<std::size_t>(state.RowNo - 1);
    if (state.FilePaths.size() <= row) {
      state.FilePaths.resize(row + 1);
    }
    state.FilePaths[row] = state.CurPath;
    state.Title = TrimNul(record.Title);
    state.KanaTitle = RtoK(state.Title);
    List1.AddItem(decimal(state.RowNo) + std::u16string(messages::kRowNumberEnd) + state.Title +
                  std::u16string(messages::kRowArrow) + state.KanaTitle);
    ++state.RowNo;
  }

  progress.end();
  if (readFailed) {
    std::u16string text(messages::kPreviewReadFailed);
    if (!reason.empty()) {
      text += messages::kLogReasonOpen;
      text += reason;
      text += messages::kLogReasonClose;
    }
    text += messages::kLineBreak;
    text += visibleName(state.CurPath);
    boxes.show(text, u"", BoxButtons::Ok, BoxIcon::None);
  }
}

}  // namespace tagkana
