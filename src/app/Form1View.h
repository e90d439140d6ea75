#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "commands/Lists.h"
#include "commands/Progress.h"

// What the window controller asks of a window. None of these raises an event
// back into the controller: it runs what follows a change itself.
namespace tagkana {

// Drive1, Dir1 and File1.
class Navigation {
 public:
  virtual ~Navigation() = default;
  virtual std::u16string Drive() const = 0;
  // Selects the drive named by `path` or the one that holds it; true when it
  // is another drive than the one selected. Throws RuntimeError when no
  // drive holds it.
  virtual bool selectDrive(std::u16string_view path) = 0;
  // Selects the drive that holds `path`, when there is one.
  virtual void showDriveOf(std::u16string_view path) = 0;
  virtual std::u16string folder() const = 0;
  // Dir1 shows `path` (a relative one is taken from the shown folder).
  // Throws RuntimeError when it cannot be read; nothing changes then.
  virtual void setFolder(std::u16string_view path) = 0;
  // File1 lists the files of `path` afresh; throws RuntimeError.
  virtual void listFiles(std::u16string_view path) = 0;
};

// File1 and List1 as the commands read them, and their select-all.
class Form1Lists {
 public:
  virtual ~Form1Lists() = default;
  virtual FileList& fileList() = 0;        // File1
  virtual PreviewList& previewList() = 0;  // List1
  // Every entry at once, as one change of the selection.
  virtual void setAllFilesSelected(bool selected) = 0;
  virtual void setAllRowsSelected(bool selected) = 0;
};

// A long run as the window shows it: a busy pointer from construction to
// destruction, and a box with the count and キャンセル once it takes a while.
class RunProgress : public Progress {
 public:
  // As キャンセル does: the run stops before its next file.
  virtual void cancel() = 0;
};

class Form1View : public Navigation, public Form1Lists {
 public:
  virtual std::unique_ptr<RunProgress> beginRun() = 0;
  // The window goes and the event loop ends.
  virtual void closeWindow() = 0;
};

}  // namespace tagkana
