#include "commands/TitleWriteBack.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "commands/Messages.h"
#include "common/RuntimeError.h"
#include "common/Utf.h"
#include "conversion/RtoK.h"
#include "platform/Paths.h"

namespace tagkana {
namespace {

// A handled file's line of the log, kept until the run's writes are durable.
struct Line {
  std::u16string path;
  std::u16string_view outcome;
  std::u16string reason;  // the system's, when its write could not be made durable
};

// The tag library leaves the last sync of each write to the run: the files
// written reach the disk together, folder by folder, before the log says
// 成功. A folder that cannot be made durable fails each of its files.
void makeDurable(std::vector<Line>& lines, platform::FileSystem& files) {
  std::map<std::u16string_view, std::u16string> reasons;  // by folder
  for (Line& line : lines) {
    if (line.outcome != messages::kLogWritten) {
      continue;
    }
    const std::u16string_view path = line.path;
    const auto [folder, first] =
        reasons.try_emplace(path.substr(0, path.size() - platform::namePart(path).size()));
    if (first) {
      folder->second = files.makeDurable(path);
    }
    if (!folder->second.empty()) {
      line.outcome = messages::kLogWriteFailed;
      line.reason = folder->second;
    }
  }
}

void appendLines(FormState& state, platform::FileSystem& files, std::vector<Line>& lines) {
  makeDurable(lines, files);
  for (const Line& line : lines) {
    // A file the name lookup cannot find (gone, hidden) is named from its
    // stored path: every line names its file.
    const std::u16string name = files.normalFileName(line.path);
    state.ResultLog += visibleName(name.empty() ? platform::namePart(line.path) : name);
    state.ResultLog += line.outcome;
    if (!line.reason.empty()) {
      state.ResultLog += messages::kLogReasonOpen;
      state.ResultLog += line.reason;
      state.ResultLog += messages::kLogReasonClose;
    }
    state.ResultLog += messages::kLineBreak;
  }
  lines.clear();
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
  std::vector<Line> lines;
  const auto handled = [&](std::u16string_view outcome) {
    lines.push_back({state.CurPath, outcome, {}});
  };
  try {
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
        appendLines(state, files, lines);
        state.ResultLog += messages::kLogCancelledBefore;
        state.ResultLog += groupedDecimal(total - attempted);
        state.ResultLog += messages::kLogCancelledAfter;
        state.ResultLog += messages::kLineBreak;
        break;
      }
      ++attempted;
      state.CurPath = path;
      if (!library.getFileTagInfoEX(state.CurPath, record, readBuffer)) {
        handled(messages::kLogReadFailed);
        stopped = true;
        break;
      }
      // The title is read and converted afresh: the row's text may be stale.
      state.Title = TrimNul(record.Title);
      record.assignTitle(RtoK(state.Title));
      if (files.attributes(state.CurPath) & platform::kReadOnly) {
        handled(messages::kLogReadOnly);
        continue;
      }
      const bool written = library.setTagInfoEX(state.CurPath, record, writeBuffer, 0, 1);
      handled(written ? messages::kLogWritten : messages::kLogWriteFailed);
    }
  } catch (...) {
    // What was written before the error is made durable and logged all the same.
    appendLines(state, files, lines);
    throw;
  }
  appendLines(state, files, lines);

  progress.end();
  boxes.show((stopped ? std::u16string(messages::kWriteBackStopped)
                      : std::u16string(messages::kWriteBackDone)) +
                 std::u16string(messages::kLineBreak) + std::u16string(messages::kLineBreak) +
                 state.ResultLog,
             u"", BoxButtons::Ok, BoxIcon::None);
}

}  // namespace tagkana
