#include "commands/TitleWriteBack.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "commands/FileWait.h"
#include "commands/Messages.h"
#include "commands/Reasons.h"
#include "common/RuntimeError.h"
#include "common/Utf.h"
#include "conversion/RtoK.h"
#include "platform/Paths.h"
#include "undo/Undo.h"

namespace tagkana {
namespace {

// A handled file's line of the log, kept until the run's writes are durable.
struct Line {
  std::u16string path;
  std::u16string_view outcome;
  std::u16string reason;  // why it failed, when that is known
  std::u16string title;   // before and after, for the undo file
  std::u16string converted;
};

// The tag library leaves the last sync of each write to the run: the files
// written reach the disk in batches before the log says 成功. Each folder is
// watched from before the run's first write in it, so that a sync sees every
// error since; an error fails every file of its batch on that file system.
// Batches keep every sync short, so that a stop asked during one (the sync
// runs beside the window) comes soon.
constexpr int kDurableBatch = 100;

// Makes the lines from `from` on durable, the window living on meanwhile.
// False when a stop was asked during the sync.
bool makeDurable(std::vector<Line>& lines, std::size_t from, platform::FileSystem& files,
                 Progress& progress) {
  std::vector<Line*> written;
  std::vector<std::u16string> paths;
  for (Line& line : std::span(lines).subspan(from)) {
    if (line.outcome == messages::kLogWritten) {
      written.push_back(&line);
      paths.push_back(line.path);
    }
  }
  if (paths.empty()) {
    return true;
  }
  // A sync may take a while on a busy disk: it runs beside the window.
  std::vector<std::u16string> reasons;
  const bool goOn = alongsideWork(progress, [&] { reasons = files.makeDurable(paths); });
  for (std::size_t i = 0; i < written.size() && i < reasons.size(); ++i) {
    if (!reasons[i].empty()) {
      written[i]->outcome = messages::kLogWriteFailed;
      written[i]->reason = reasons[i];
    }
  }
  return goOn;
}

// Lets go of the run's watched folders however the run ends.
class RunEnd {
 public:
  explicit RunEnd(platform::FileSystem& files) : m_files(files) {}
  RunEnd(const RunEnd&) = delete;
  RunEnd& operator=(const RunEnd&) = delete;
  ~RunEnd() { m_files.endRun(); }

 private:
  platform::FileSystem& m_files;
};

// The run's written files go to an undo file, so that the command line can
// take the run back (its history lists it first). Without it the files stay
// written: the log says why.
// A long run's file takes a while to write and sync: beside the window.
void saveUndo(FormState& state, const std::vector<Line>& lines, Progress& progress) {
  try {
    alongsideWork(progress, [&] {
      UndoWriter undo;
      for (const Line& line : lines) {
        // A file gone since has nothing an undo could put back.
        const std::optional<FileIdentity> identity =
            line.outcome == messages::kLogWritten ? identityOf(line.path) : std::nullopt;
        if (identity) {
          undo.add({line.path, *identity, {{"title", line.title}}, {{"title", line.converted}}});
        }
      }
      undo.sync();
    });
  } catch (const RuntimeError& error) {
    state.ResultLog += messages::kLogUndoNotSaved;
    state.ResultLog += messages::kLogReasonOpen;
    state.ResultLog += error.description();
    if (!error.file().empty()) {
      state.ResultLog += u": " + error.file();
    }
    if (!error.reason().empty()) {
      state.ResultLog += u": " + error.reason();
    }
    state.ResultLog += messages::kLogReasonClose;
    state.ResultLog += messages::kLineBreak;
  }
}

// Once, at the end of the run.
void appendLines(FormState& state, platform::FileSystem& files, std::vector<Line>& lines,
                 std::size_t durable, Progress& progress) {
  makeDurable(lines, durable, files, progress);
  std::size_t named = 0;
  for (const Line& line : lines) {
    // Each name is looked up afresh: the window lives on through a long log.
    if (++named % 256 == 0) {
      progress.pulse();
    }
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
  saveUndo(state, lines, progress);
}

// The closing line of a run that ended before its last marked row.
void appendNotAttempted(FormState& state, std::u16string_view before, int notAttempted) {
  state.ResultLog += before;
  state.ResultLog += groupedDecimal(notAttempted);
  state.ResultLog += messages::kLogCancelledAfter;
  state.ResultLog += messages::kLineBreak;
}

}  // namespace

void TitleWriteBack(FormState& state, const PreviewList& List1, TagLibrary& library,
                    platform::FileSystem& files, MessageBoxes& boxes, Progress& progress,
                    WaitClock& clock) {
  const std::size_t earlierLog = state.ResultLog.size();
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
  bool cancelled = false;
  bool stopAsked = false;  // during a sync, which went on to its end

  const int count = List1.ListCount();
  const int total = selectedCount(List1);
  int attempted = 0;
  std::vector<Line> lines;
  std::size_t durable = 0;  // the lines before it are
  int pending = 0;          // written files since
  const RunEnd runEnd(files);
  const auto handled = [&](std::u16string_view outcome, std::u16string reason = {},
                           std::u16string converted = {}) {
    lines.push_back({state.CurPath, outcome, std::move(reason), state.Title, std::move(converted)});
    if (outcome == messages::kLogWritten && ++pending == kDurableBatch) {
      stopAsked = !makeDurable(lines, durable, files, progress) || stopAsked;
      durable = lines.size();
      pending = 0;
    }
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
      if (stopAsked || !progress.next(attempted, total, path)) {
        cancelled = true;
        break;
      }
      const auto goOn = [&progress, done = attempted, total, &path] {
        return progress.next(done, total, path);
      };
      // The write needs the file to itself, from its read on.
      const FileWait beforeRead = waitWhileBusy(files, path, true, goOn, clock);
      if (beforeRead == FileWait::Stopped) {
        cancelled = true;
        break;
      }
      ++attempted;
      state.CurPath = path;
      if (beforeRead == FileWait::Busy) {
        handled(messages::kLogWriteFailed, std::u16string(messages::kReasonBusy));
        continue;
      }
      if (!library.getFileTagInfoEX(state.CurPath, record, readBuffer)) {
        const WriteFailure failure = library.lastReadFailure();
        // A file another program holds has a tag all the same: the run goes on.
        if (failure.kind == WriteFailure::Kind::Busy) {
          handled(messages::kLogWriteFailed, reasonText(failure));
          continue;
        }
        handled(messages::kLogReadFailed, reasonText(failure));
        stopped = true;
        break;
      }
      // The title is read and converted afresh: the row's text may be stale.
      state.Title = TrimNul(record.Title);
      const std::u16string converted = RtoK(state.Title);
      record.assignTitle(converted);
      if (files.attributes(state.CurPath) & platform::kReadOnly) {
        handled(messages::kLogReadOnly);
        continue;
      }
      // The record would cut it: the file keeps its title whole instead.
      if (!fitsTitleSlot(converted)) {
        handled(messages::kLogWriteFailed, std::u16string(messages::kReasonConvertedTooLong));
        continue;
      }
      // A write whose durability could not be told is not made.
      if (std::u16string unwatched = files.watchFolder(state.CurPath); !unwatched.empty()) {
        handled(messages::kLogWriteFailed, std::move(unwatched));
        continue;
      }
      // Taken since the read: the file was read, but nothing was written.
      if (const FileWait beforeWrite = waitWhileBusy(files, path, true, goOn, clock);
          beforeWrite == FileWait::Stopped) {
        --attempted;
        cancelled = true;
        break;
      } else if (beforeWrite == FileWait::Busy) {
        handled(messages::kLogWriteFailed, std::u16string(messages::kReasonBusy));
        continue;
      }
      if (library.setTagInfoEX(state.CurPath, record, writeBuffer, 0, 1)) {
        handled(messages::kLogWritten, {}, converted);
      } else {
        handled(messages::kLogWriteFailed, reasonText(library.lastWriteFailure()));
      }
    }
  } catch (...) {
    // What was written before the error is made durable and logged all the same.
    appendLines(state, files, lines, durable, progress);
    if (attempted < total) {
      appendNotAttempted(state, messages::kLogStoppedBefore, total - attempted);
    }
    throw;
  }
  appendLines(state, files, lines, durable, progress);
  if (cancelled) {
    appendNotAttempted(state, messages::kLogCancelledBefore, total - attempted);
  } else if (stopped && attempted < total) {
    appendNotAttempted(state, messages::kLogStoppedBefore, total - attempted);
  }

  progress.end();
  const std::u16string head = (stopped ? std::u16string(messages::kWriteBackStopped)
                                       : std::u16string(messages::kWriteBackDone)) +
                              std::u16string(messages::kLineBreak) +
                              std::u16string(messages::kLineBreak);
  // A long log opens where this run's lines begin.
  boxes.showAt(head + state.ResultLog, head.size() + earlierLog, u"", BoxButtons::Ok,
               BoxIcon::None);
}

}  // namespace tagkana
