#include "cli/Cli.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "cli/Console.h"
#include "cli/Jobs.h"
#include "cli/ProgressLine.h"
#include "commands/Messages.h"
#include "commands/Reasons.h"
#include "common/RuntimeError.h"
#include "common/Utf.h"
#include "conversion/RtoK.h"
#include "platform/FileSystem.h"
#include "platform/Listing.h"
#include "platform/PathEncoding.h"
#include "platform/Paths.h"
#include "platform/SystemError.h"
#include "taglib/Vbmp3Library.h"
#include "undo/Json.h"
#include "undo/Undo.h"

namespace tagkana::cli {
namespace {

constexpr int kDone = 0;
constexpr int kSomeFailed = 1;
constexpr int kBadUsage = 2;
constexpr int kInterrupted = 130;

constexpr std::string_view kUsage =
    "使い方:\n"
    "  tagkana-cli preview [-r] [--fields LIST] [--json] [--jobs N] PATH...\n"
    "  tagkana-cli convert [-r] [--yes] [--fields LIST] [--json] [--jobs N] PATH...\n"
    "  tagkana-cli undo [--json] FILE\n"
    "  tagkana-cli history\n"
    "\n"
    "  -r, --recursive  フォルダーの中のフォルダーもたどる（フォルダーへのリンクはたどらない）\n"
    "  -y, --yes        確認せずに書き込む\n"
    "  --fields LIST    変換する項目: title,artist,album のいくつか（既定: title）\n"
    "  --json           ファイルごとに JSON を 1 行ずつ出す\n"
    "  --jobs N         N 個のファイルを同時に読み書きする（既定: 1。出力の順番は変わらない）\n";

// Texts of this front end only; the outcomes themselves are the window's.
constexpr std::u16string_view kLogReadFailed = u"　タグ情報を読み取れないため失敗";
constexpr std::u16string_view kLogNotUndone = u"　元に戻せません";
constexpr std::u16string_view kReasonReplaced = u"別のファイルに置き換えられています";
constexpr std::u16string_view kReasonChanged = u"書き換えた後に変更されています";
constexpr std::u16string_view kReasonNotAFile = u"ファイルでもフォルダーでもありません";
constexpr std::u16string_view kNothingToDo = u"書き換えるファイルはありません";

// Read by every job's thread; set from the signal handler.
std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);
void onInterrupt() {
  g_interrupted = true;
}
bool interrupted() {
  return g_interrupted;
}

constexpr std::size_t kMostJobs = 64;

struct Field {
  const char* name;
  std::u16string TagRecord::*member;
  std::u16string_view tooLong;
};
constexpr Field kFields[] = {
    {"title", &TagRecord::Title, messages::kReasonConvertedTooLong},
    {"artist", &TagRecord::Artist, u"変換後のアーティスト名が長すぎて保存できません"},
    {"album", &TagRecord::Album, u"変換後のアルバム名が長すぎて保存できません"},
};

struct UsageError {
  std::string what;
};

struct Options {
  std::string command;
  bool recursive = false;
  bool yes = false;
  bool json = false;
  std::size_t jobs = 1;
  std::vector<const Field*> fields;
  std::vector<std::string> operands;
};

std::vector<const Field*> parseFields(std::string_view list) {
  std::vector<const Field*> fields;
  while (true) {
    const std::size_t comma = list.find(',');
    const std::string_view name = list.substr(0, comma);
    const Field* found = nullptr;
    for (const Field& field : kFields) {
      if (name == field.name) {
        found = &field;
      }
    }
    if (found == nullptr) {
      throw UsageError{"--fields に使えない項目です: " + std::string(name)};
    }
    if (std::find(fields.begin(), fields.end(), found) == fields.end()) {
      fields.push_back(found);
    }
    if (comma == std::string_view::npos) {
      return fields;
    }
    list.remove_prefix(comma + 1);
  }
}

std::size_t parseJobs(std::string_view text) {
  std::size_t jobs = 0;
  for (const char c : text) {
    if (c < '0' || c > '9' || jobs > kMostJobs) {
      jobs = 0;
      break;
    }
    jobs = jobs * 10 + static_cast<std::size_t>(c - '0');
  }
  if (jobs == 0 || jobs > kMostJobs) {
    throw UsageError{"--jobs には 1 から " + std::to_string(kMostJobs) +
                     " までの数を指定してください: " + std::string(text)};
  }
  return jobs;
}

Options parseOptions(const std::vector<std::string>& args) {
  const std::size_t argc = args.size();
  if (argc < 1) {
    throw UsageError{};
  }
  Options options;
  options.command = args[0];
  bool operandsOnly = false;
  for (std::size_t i = 1; i < argc; ++i) {
    const std::string_view arg = args[i];
    if (operandsOnly || arg.empty() || arg[0] != '-' || arg == "-") {
      options.operands.emplace_back(arg);
    } else if (arg == "--") {
      operandsOnly = true;
    } else if (arg == "-r" || arg == "--recursive") {
      options.recursive = true;
    } else if (arg == "-y" || arg == "--yes") {
      options.yes = true;
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "--fields" && i + 1 < argc) {
      options.fields = parseFields(args[++i]);
    } else if (arg.starts_with("--fields=")) {
      options.fields = parseFields(arg.substr(9));
    } else if (arg == "--jobs" && i + 1 < argc) {
      options.jobs = parseJobs(args[++i]);
    } else if (arg.starts_with("--jobs=")) {
      options.jobs = parseJobs(arg.substr(7));
    } else {
      throw UsageError{"知らないオプションです: " + std::string(arg)};
    }
  }
  if (options.fields.empty()) {
    options.fields.push_back(&kFields[0]);
  }
  const std::string& c = options.command;
  const bool takesPaths = c == "preview" || c == "convert";
  if (!takesPaths && c != "undo" && c != "history") {
    throw UsageError{"知らないコマンドです: " + c};
  }
  if ((takesPaths && options.operands.empty()) || (c == "undo" && options.operands.size() != 1) ||
      (c == "history" && !options.operands.empty())) {
    throw UsageError{"パスの数が合いません"};
  }
  if ((options.recursive && !takesPaths) || (options.yes && c != "convert") ||
      (options.jobs != 1 && !takesPaths)) {
    throw UsageError{"このコマンドには使えないオプションがあります"};
  }
  return options;
}

bool stdoutIsTerminal() {
  static const bool terminal = isTerminal(Stream::Output);
  return terminal;
}

// Standard output is flushed by the line only on a terminal: a write per
// file would cost a pipe or a file more than the file's read.
void print(std::string_view text) {
  const bool terminal = stdoutIsTerminal();
  if (ProgressLine* progress = ProgressLine::shown(); progress != nullptr && terminal) {
    progress->clear();
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
  if (terminal) {
    std::fflush(stdout);
  }
}

// A message on standard error, on a line of its own.
void message(std::string_view text) {
  std::fflush(stdout);  // after the lines before it
  if (ProgressLine* progress = ProgressLine::shown()) {
    progress->clear();
  }
  std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
}

std::string shown(std::u16string_view path) {
  return toUtf8(visibleName(path));
}

std::u16string errorText(const RuntimeError& error) {
  std::u16string text = error.description();
  if (!error.reason().empty()) {
    text += u"（" + error.reason() + u"）";
  }
  return text;
}

// One step of a walk: a file, or a path that could not be listed.
struct Listed {
  std::u16string path;
  std::u16string problem;  // the reason, when not a file
};

// The MP3 files under the operands in the listing's order: a named file as it
// is, a folder's files as the file list shows them (any letter case, hidden
// ones left out), then, recursing, its subfolders but never a link to one.
// Given one at a time, holding one folder's rows for each level it is down.
class Walk {
 public:
  // Throws RuntimeError when an operand cannot be made absolute.
  Walk(const std::vector<std::string>& operands, bool recursive) : m_recursive(recursive) {
    for (const std::string& operand : operands) {
      // Undo files name files from anywhere: paths are made absolute first.
      m_operands.push_back(absolutePath(pathArgument(operand)));
    }
  }

  std::optional<Listed> next() {
    while (true) {
      if (!m_levels.empty()) {
        Level& level = m_levels.back();
        if (level.nextFile < level.files.size()) {
          return Listed{platform::joinPath(level.folder, level.files[level.nextFile++]), {}};
        }
        if (level.nextFolder < level.folders.size()) {
          std::u16string sub = platform::joinPath(level.folder, level.folders[level.nextFolder++]);
          if (kindOf(sub, false) == PathKind::Folder) {
            if (std::optional<Listed> problem = enter(std::move(sub))) {
              return problem;
            }
          }
          continue;
        }
        m_levels.pop_back();
        continue;
      }
      if (m_nextOperand == m_operands.size()) {
        return std::nullopt;
      }
      std::u16string path = std::move(m_operands[m_nextOperand++]);
      const PathKind kind = kindOf(path, true);
      if (kind == PathKind::Missing) {
        return Listed{std::move(path), platform::systemErrorText(platform::lastSystemError())};
      }
      if (kind == PathKind::File) {
        return Listed{std::move(path), {}};
      }
      if (kind != PathKind::Folder) {
        // A device or a pipe could hold the run up forever.
        return Listed{std::move(path), std::u16string(kReasonNotAFile)};
      }
      if (std::optional<Listed> problem = enter(std::move(path))) {
        return problem;
      }
    }
  }

  // How many files the walk still holds; it ends with them.
  std::size_t countRest() {
    std::size_t count = 0;
    while (const std::optional<Listed> listed = next()) {
      count += listed->problem.empty() ? 1 : 0;
    }
    return count;
  }

 private:
  struct Level {
    std::u16string folder;
    std::vector<std::u16string> files;
    std::vector<std::u16string> folders;
    std::size_t nextFile = 0;
    std::size_t nextFolder = 0;
  };

  // A folder that cannot be read is the walk's problem, not the run's end.
  std::optional<Listed> enter(std::u16string folder) {
    std::vector<platform::FolderEntry> entries;
    try {
      entries = platform::readFolder(folder);
    } catch (const RuntimeError& error) {
      return Listed{std::move(folder), errorText(error)};
    }
    Level level;
    level.files = platform::fileRows(entries, u"*.mp3");
    if (m_recursive) {
      level.folders = platform::folderRows(std::move(entries));
    }
    level.folder = std::move(folder);
    m_levels.push_back(std::move(level));
    return std::nullopt;
  }

  bool m_recursive;
  std::vector<std::u16string> m_operands;
  std::size_t m_nextOperand = 0;
  std::vector<Level> m_levels;
};

// A path the walk could not list, on its own line.
void reportProblem(const Listed& listed, bool json) {
  if (json) {
    print("{\"path\":" + jsonString(listed.path) +
          ",\"outcome\":\"skipped\",\"reason\":" + jsonString(listed.problem) + "}\n");
  } else {
    message(shown(listed.path) + ": " + toUtf8(listed.problem));
  }
}

std::string valuesJson(const std::vector<const Field*>& fields,
                       const std::vector<std::u16string>& values) {
  std::string out = "{";
  for (std::size_t i = 0; i < fields.size(); ++i) {
    out += (i == 0 ? "\"" : ",\"") + std::string(fields[i]->name) + "\":" + jsonString(values[i]);
  }
  return out + '}';
}

// A file's old and new values, field by field.
struct Change {
  std::vector<std::u16string> before;
  std::vector<std::u16string> after;
  bool changes() const { return before != after; }
};

Change convertFields(const TagRecord& record, const std::vector<const Field*>& fields) {
  Change change;
  for (const Field* field : fields) {
    change.before.push_back(TrimNul(record.*(field->member)));
    change.after.push_back(RtoK(change.before.back()));
  }
  return change;
}

// Fixed-length assignment, as the title's: filled with spaces or cut.
void assignField(TagRecord& record, const Field& field, std::u16string_view text) {
  std::u16string& slot = record.*(field.member);
  const std::size_t length = slot.size();
  slot.assign(text.substr(0, length));
  slot.resize(length, u' ');
}

std::string outcomeCode(std::u16string_view outcome) {
  if (outcome == messages::kLogWritten) {
    return "written";
  }
  if (outcome == messages::kLogReadOnly) {
    return "read-only";
  }
  if (outcome == kLogReadFailed) {
    return "read-failed";
  }
  if (outcome == kLogNotUndone) {
    return "refused";
  }
  return "write-failed";
}

// One thread's tag library with the records it reads into and writes from.
struct Job {
  TagLibrary* library;
  // One record per job, as the window's run keeps one.
  TagRecord record;
  AnsiTagRecord readBuffer{};
  AnsiTagRecord writeBuffer{};
};

// A file's outcome, before it is certain.
struct Line {
  std::u16string path;
  std::u16string_view outcome;
  std::u16string reason;
  Change change;
};

// Writes records as 変換 does and reports each file once its outcome is
// certain: written files are synced in batches before they are called 成功.
// attempt() may run on several jobs at once; the rest on one thread.
class Writer {
 public:
  Writer(const std::vector<const Field*>& fields, bool json, bool keepUndo)
      : m_files(platform::systemFileSystem()),
        m_fields(fields),
        m_json(json),
        m_keepUndo(keepUndo) {}
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;
  ~Writer() { m_files.endRun(); }

  // `job.record` holds what was read from `path`; the change's new values go in.
  Line attempt(Job& job, const std::u16string& path, Change change) {
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
      assignField(job.record, *m_fields[i], change.after[i]);
    }
    try {
      if (m_files.attributes(path) & platform::kReadOnly) {
        return {path, messages::kLogReadOnly, {}, std::move(change)};
      }
    } catch (const RuntimeError& error) {
      return {path, messages::kLogWriteFailed, errorText(error), std::move(change)};
    }
    // The record would cut it: the file keeps its value whole instead.
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
      if (!fitsTitleSlot(change.after[i])) {
        return {path, messages::kLogWriteFailed, std::u16string(m_fields[i]->tooLong),
                std::move(change)};
      }
    }
    // A write whose durability could not be told is not made.
    if (std::u16string unwatched = watch(path); !unwatched.empty()) {
      return {path, messages::kLogWriteFailed, std::move(unwatched), std::move(change)};
    }
    if (job.library->setTagInfoEX(path, job.record, job.writeBuffer, 0, 1)) {
      return {path, messages::kLogWritten, {}, std::move(change)};
    }
    return {path, messages::kLogWriteFailed, reasonText(job.library->lastWriteFailure()),
            std::move(change)};
  }

  // Takes the lines in the listing's order.
  void add(Line line) {
    const bool written = line.outcome == messages::kLogWritten;
    m_lines.push_back(std::move(line));
    m_pending += written ? 1 : 0;
    // Lines that need no sync are not held for one without end either.
    if (m_pending == kDurableBatch || m_lines.size() == kLinesHeld) {
      flush();
    }
  }

  // Reports what is still held; then every outcome so far is final.
  void flush() {
    std::vector<std::u16string> paths;
    std::vector<Line*> written;
    for (Line& line : m_lines) {
      if (line.outcome == messages::kLogWritten) {
        paths.push_back(line.path);
        written.push_back(&line);
      }
    }
    if (!paths.empty()) {
      std::vector<std::u16string> reasons;
      {
        const std::lock_guard lock(m_filesLock);
        reasons = m_files.makeDurable(paths);
      }
      for (std::size_t i = 0; i < written.size() && i < reasons.size(); ++i) {
        if (!reasons[i].empty()) {
          written[i]->outcome = messages::kLogWriteFailed;
          written[i]->reason = reasons[i];
        }
      }
    }
    // The batch's undo lines are on the disk before any of its files is
    // called written.
    m_pending = 0;
    if (m_keepUndo && !written.empty()) {
      for (const Line& line : m_lines) {
        if (line.outcome == messages::kLogWritten) {
          keepForUndo(line);
        }
      }
      m_undo.sync();
    }
    for (const Line& line : m_lines) {
      report(line);
    }
    m_lines.clear();
  }

  bool failed() const { return m_failed; }
  const std::u16string& undoName() const { return m_undo.name(); }

 private:
  static constexpr std::size_t kDurableBatch = 100;
  static constexpr std::size_t kLinesHeld = 1000;
  static constexpr std::size_t kWatchedKept = 64;

  // The file system keeps the run's watched folders, and a sync holds them
  // long: a job asks it only for a folder not watched lately.
  std::u16string watch(const std::u16string& path) {
    const std::u16string folder = path.substr(0, path.size() - platform::namePart(path).size());
    {
      const std::lock_guard lock(m_watchedLock);
      if (m_watched.contains(folder)) {
        return {};
      }
    }
    std::u16string reason;
    {
      const std::lock_guard lock(m_filesLock);
      reason = m_files.watchFolder(path);
    }
    if (reason.empty()) {
      const std::lock_guard lock(m_watchedLock);
      // Files come folder by folder: the last few are all worth keeping.
      if (m_watched.size() == kWatchedKept) {
        m_watched.clear();
      }
      m_watched.insert(folder);
    }
    return reason;
  }

  void report(const Line& line) {
    if (line.outcome != messages::kLogWritten) {
      m_failed = true;
    }
    if (m_json) {
      std::string text = "{\"path\":" + jsonString(line.path);
      if (!line.change.before.empty()) {
        text += ",\"old\":" + valuesJson(m_fields, line.change.before) +
                ",\"new\":" + valuesJson(m_fields, line.change.after);
      }
      print(text + ",\"outcome\":\"" + outcomeCode(line.outcome) +
            "\",\"reason\":" + jsonString(line.reason) + "}\n");
      return;
    }
    std::u16string text = visibleName(line.path) + std::u16string(line.outcome);
    if (!line.reason.empty()) {
      text += std::u16string(messages::kLogReasonOpen) + line.reason +
              std::u16string(messages::kLogReasonClose);
    }
    print(toUtf8(text) + '\n');
  }

  void keepForUndo(const Line& line) {
    // What the file is now, after its write reached the disk.
    const std::optional<FileIdentity> identity = identityOf(line.path);
    if (!identity) {
      return;  // gone already: nothing an undo could put back
    }
    UndoEntry entry{line.path, *identity, {}, {}};
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
      entry.oldValues[m_fields[i]->name] = line.change.before[i];
      entry.newValues[m_fields[i]->name] = line.change.after[i];
    }
    m_undo.add(entry);
  }

  platform::FileSystem& m_files;
  std::mutex m_filesLock;
  std::set<std::u16string> m_watched;
  std::mutex m_watchedLock;
  const std::vector<const Field*>& m_fields;
  bool m_json;
  bool m_keepUndo;
  std::vector<Line> m_lines;
  std::size_t m_pending = 0;
  bool m_failed = false;
  UndoWriter m_undo;
};

void reportNotAttempted(std::size_t count) {
  const std::u16string text = std::u16string(messages::kLogCancelledBefore) +
                              fromUtf8(std::to_string(count)) +
                              std::u16string(messages::kLogCancelledAfter);
  message(toUtf8(text));
}

// What reading one file gave.
struct Read {
  bool ok = false;
  std::u16string reason;  // when not ok
  Change change;
};

Read readFile(Job& job, const std::u16string& path, const std::vector<const Field*>& fields) {
  if (!job.library->getFileTagInfoEX(path, job.record, job.readBuffer)) {
    return {false, reasonText(job.library->lastReadFailure()), {}};
  }
  return {true, {}, convertFields(job.record, fields)};
}

// The items a walk gives, for the jobs to take.
std::function<std::optional<Listed>()> source(Walk& walk) {
  return [&walk] { return walk.next(); };
}

// Says how many files a stopped run left and gives the exit code: the walk
// still holds them.
int stopped(Walk& walk, int status) {
  if (const std::size_t rest = walk.countRest(); rest > 0) {
    reportNotAttempted(rest);
    return kInterrupted;
  }
  return status;
}

int preview(const Options& options, std::vector<Job>& jobs) {
  bool failed = false;
  Walk walk(options.operands, options.recursive);
  ProgressLine progress(u"読み取り", 0);
  std::size_t files = 0;
  runInOrder<Job, Listed, Read>(
      source(walk), jobs, interrupted,
      [&](const Listed& listed, Job& job) {
        return listed.problem.empty() ? readFile(job, listed.path, options.fields) : Read{};
      },
      [&](std::size_t, Listed& listed, Read& read) {
        const std::u16string& path = listed.path;
        if (!listed.problem.empty()) {
          failed = true;
          reportProblem(listed, options.json);
          return;
        }
        progress.step(++files, path);
        if (!read.ok) {
          failed = true;
          std::u16string line = visibleName(path) + std::u16string(kLogReadFailed);
          if (!read.reason.empty()) {
            line += std::u16string(messages::kLogReasonOpen) + read.reason +
                    std::u16string(messages::kLogReasonClose);
          }
          print(options.json
                    ? "{\"path\":" + jsonString(path) + ",\"outcome\":\"read-failed\",\"reason\":" +
                          jsonString(read.reason) + "}\n"
                    : toUtf8(line) + '\n');
          return;
        }
        const Change& change = read.change;
        if (options.json) {
          print("{\"path\":" + jsonString(path) +
                ",\"old\":" + valuesJson(options.fields, change.before) +
                ",\"new\":" + valuesJson(options.fields, change.after) +
                ",\"outcome\":\"preview\",\"reason\":\"\"}\n");
          return;
        }
        std::u16string line = visibleName(path);
        for (std::size_t f = 0; f < options.fields.size(); ++f) {
          line += u'\t';
          if (options.fields.size() > 1) {
            line += fromUtf8(options.fields[f]->name) + u": ";
          }
          line += change.before[f] + std::u16string(messages::kRowArrow) + change.after[f];
        }
        print(toUtf8(line) + '\n');
      });
  progress.clear();
  return stopped(walk, failed ? kSomeFailed : kDone);
}

// Asks once on the terminal; nothing is written without a yes.
std::optional<bool> confirmed(std::size_t count) {
  if (!isTerminal(Stream::Input)) {
    message("端末がないため確認できません。書き込むには --yes を付けてください。");
    return std::nullopt;
  }
  std::fflush(stdout);
  std::fprintf(stderr, "%zu 件のファイルのタグ情報を書き換えます。本当によろしいですか？ [y/N] ",
               count);
  std::string answer;
  if (!std::getline(std::cin, answer)) {
    return false;
  }
  return answer == "y" || answer == "Y" || answer == "yes";
}

// How many files a run would write, reading each once and holding none:
// failed reads count too, as their lines would come. Empty when stopped.
std::optional<std::size_t> countChanging(const Options& options, std::vector<Job>& jobs,
                                         std::size_t& listed, std::set<std::u16string>& problems) {
  Walk walk(options.operands, options.recursive);
  ProgressLine progress(u"確認", 0);
  std::size_t changing = 0;
  runInOrder<Job, Listed, bool>(
      source(walk), jobs, interrupted,
      [&](const Listed& item, Job& job) {
        if (!item.problem.empty()) {
          return false;
        }
        const Read read = readFile(job, item.path, options.fields);
        return !read.ok || read.change.changes();
      },
      [&](std::size_t, Listed& item, bool& changes) {
        if (!item.problem.empty()) {
          reportProblem(item, options.json);
          problems.insert(std::move(item.path));
          return;
        }
        progress.step(++listed, item.path);
        changing += changes ? 1 : 0;
      });
  if (walk.next()) {
    return std::nullopt;
  }
  return changing;
}

int convert(const Options& options, std::vector<Job>& jobs) {
  bool failed = false;
  // Without --yes the question needs the count first: a pass that only
  // counts, and the writing pass walks and reads afresh. With it, one pass.
  std::size_t listed = 0;
  std::set<std::u16string> problems;  // shown by the counting pass
  if (!options.yes) {
    const std::optional<std::size_t> changing = countChanging(options, jobs, listed, problems);
    if (!changing) {
      return kInterrupted;
    }
    failed = !problems.empty();
    if (*changing == 0) {
      if (!options.json) {
        print(toUtf8(kNothingToDo) + '\n');
      }
      return failed ? kSomeFailed : kDone;
    }
    const std::optional<bool> answer = confirmed(*changing);
    if (!answer) {
      return kBadUsage;
    }
    if (g_interrupted) {
      return kInterrupted;
    }
    if (!*answer) {
      return kDone;
    }
  }

  Walk walk(options.operands, options.recursive);
  std::size_t changing = 0;
  Writer writer(options.fields, options.json, true);
  // What was written is reported and kept for undo however the run ends.
  const auto finish = [&] {
    writer.flush();
    if (!writer.undoName().empty()) {
      const std::u16string& name = writer.undoName();
      print(options.json
                ? "{\"undo\":" + jsonString(name, LoneSurrogates::Keep) + "}\n"
                : toUtf8(std::u16string(messages::kLogUndoSaved) + visibleName(name)) + '\n');
    }
  };
  try {
    ProgressLine progress(u"書き込み", listed);
    std::size_t files = 0;
    runInOrder<Job, Listed, std::optional<Line>>(
        source(walk), jobs, interrupted,
        [&](const Listed& item, Job& job) -> std::optional<Line> {
          if (!item.problem.empty()) {
            return std::nullopt;
          }
          Read read = readFile(job, item.path, options.fields);
          if (!read.ok) {
            return Line{item.path, kLogReadFailed, std::move(read.reason), {}};
          }
          if (!read.change.changes()) {
            return std::nullopt;
          }
          return writer.attempt(job, item.path, std::move(read.change));
        },
        [&](std::size_t, Listed& item, std::optional<Line>& line) {
          if (!item.problem.empty()) {
            failed = true;
            if (!problems.contains(item.path)) {
              reportProblem(item, options.json);
            }
            return;
          }
          progress.step(++files, item.path);
          if (line) {
            ++changing;
            writer.add(std::move(*line));
          }
        });
  } catch (const RuntimeError&) {
    finish();
    throw;
  }
  finish();
  if (const std::size_t rest = walk.countRest(); rest > 0) {
    reportNotAttempted(rest);
    return kInterrupted;
  }
  if (changing == 0 && !options.json) {
    print(toUtf8(kNothingToDo) + '\n');
  }
  return failed || writer.failed() ? kSomeFailed : kDone;
}

bool sameValue(std::u16string_view a, std::u16string_view b) {
  // Padding spaces are the record's, not the value's.
  const auto trimmed = [](std::u16string_view s) {
    return s.substr(0, s.find_last_not_of(u' ') + 1);
  };
  return trimmed(a) == trimmed(b);
}

int undo(const Options& options, Job& job) {
  const std::u16string path = pathArgument(options.operands.front());
  // The whole file is read once before anything is put back, so that one
  // that is no undo file changes nothing; then again, an entry at a time.
  std::size_t count = 0;
  for (UndoReader check(path); check.next();) {
    ++count;
  }
  UndoReader reader(path);
  int status = kDone;
  std::vector<const Field*> fields;
  std::optional<Writer> writer;
  ProgressLine progress(u"取り消し", count);
  try {
    for (std::size_t i = 0; std::optional<UndoEntry> next = reader.next(); ++i) {
      if (g_interrupted) {
        if (writer) {
          writer->flush();
        }
        reportNotAttempted(count - std::min(i, count));
        status = kInterrupted;
        break;
      }
      const UndoEntry& entry = *next;
      progress.step(i + 1, entry.path);
      std::vector<const Field*> entryFields;
      Change change;
      for (const Field& field : kFields) {
        if (entry.oldValues.contains(field.name) && entry.newValues.contains(field.name)) {
          entryFields.push_back(&field);
          change.before.push_back(entry.newValues.at(field.name));
          change.after.push_back(entry.oldValues.at(field.name));
        }
      }
      // Every line of one file names the same fields; a writer per set.
      if (!writer || entryFields != fields) {
        if (writer) {
          writer->flush();
        }
        fields = entryFields;
        writer.emplace(fields, options.json, false);
      }
      const auto refuse = [&](std::u16string_view outcome, std::u16string reason) {
        writer->add({entry.path, outcome, std::move(reason), change});
      };
      const std::optional<FileIdentity> identity = identityOf(entry.path);
      if (!identity) {
        refuse(kLogNotUndone, platform::systemErrorText(platform::lastSystemError()));
        continue;
      }
      if (identity->device != entry.identity.device || identity->inode != entry.identity.inode) {
        refuse(kLogNotUndone, std::u16string(kReasonReplaced));
        continue;
      }
      if (!job.library->getFileTagInfoEX(entry.path, job.record, job.readBuffer)) {
        refuse(kLogReadFailed, reasonText(job.library->lastReadFailure()));
        continue;
      }
      bool same = *identity == entry.identity;
      for (std::size_t f = 0; f < fields.size(); ++f) {
        same = same && sameValue(TrimNul(job.record.*(fields[f]->member)), change.before[f]);
      }
      if (!same) {
        refuse(kLogNotUndone, std::u16string(kReasonChanged));
        continue;
      }
      writer->add(writer->attempt(job, entry.path, std::move(change)));
    }
  } catch (const RuntimeError&) {
    // What was put back is still reported.
    if (writer) {
      writer->flush();
    }
    throw;
  }
  if (writer) {
    writer->flush();
    if (writer->failed() && status == kDone) {
      status = kSomeFailed;
    }
  }
  return status;
}

int history() {
  for (const std::u16string& name : undoFiles()) {
    print(toUtf8(visibleName(name)) + '\n');
  }
  return kDone;
}

}  // namespace

int run(int argc, char** argv) {
  Options options;
  try {
    options = parseOptions(arguments(argc, argv));
  } catch (const UsageError& error) {
    if (!error.what.empty()) {
      std::fprintf(stderr, "tagkana-cli: %s\n", error.what.c_str());
    }
    std::fputs(kUsage.data(), stderr);
    return kBadUsage;
  }

  // Ctrl+C ends the run before the next file, never in the middle of one.
  prepareConsole(onInterrupt);

  try {
    if (options.command == "history") {
      return history();
    }
    // Before the tag library is loaded, as the window does.
    leaveTagSyncsToTheRun();
    // A binding per job: each keeps its own entry points and its last
    // failure. The library itself keeps no state between calls but the sync
    // mode, which the one init() sets before any job starts.
    std::vector<std::unique_ptr<Vbmp3Library>> libraries;
    std::vector<Job> jobs;
    for (std::size_t i = 0; i < options.jobs; ++i) {
      libraries.push_back(std::make_unique<Vbmp3Library>());
      jobs.push_back(Job{libraries.back().get(), {}, {}, {}});
    }
    libraries.front()->init();
    struct Free {
      TagLibrary& library;
      ~Free() { library.free(); }
    } free{*libraries.front()};
    if (options.command == "preview") {
      return preview(options, jobs);
    }
    if (options.command == "convert") {
      return convert(options, jobs);
    }
    return undo(options, jobs.front());
  } catch (const RuntimeError& error) {
    std::u16string text = error.description();
    if (!error.file().empty()) {
      text += u"（" + error.file() + u"）";
    }
    if (!error.reason().empty()) {
      text += u": " + error.reason();
    }
    message("tagkana-cli: " + toUtf8(text));
    return kSomeFailed;
  }
}

}  // namespace tagkana::cli
