#pragma once

// What the benchmarks that run the window share: offscreen unless a platform
// is asked for, the folder their files go in, and a plain way out on failure.

#include <stdlib.h>

#include <QByteArray>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "taglib/Vbmp3Library.h"

namespace windowbench {

inline void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "failed: %s\n", what);
    std::exit(1);
  }
}

// Before the QApplication is made: offscreen unless told otherwise, and the
// tag library's last syncs left to the run, as the program does.
inline void startAsTheProgram() {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  tagkana::leaveTagSyncsToTheRun();
}

// The folder named by argument `index`, made when missing; without one, a new
// folder under the temporary folder, removed again at the end.
class Folder {
 public:
  Folder(int argc, char** argv, int index, const char* prefix) : m_own(argc <= index) {
    if (m_own) {
      std::string pattern =
          (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
      check(::mkdtemp(pattern.data()) != nullptr, "mkdtemp");
      m_path = pattern;
    } else {
      m_path = argv[index];
      std::filesystem::create_directories(m_path);
    }
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  ~Folder() {
    if (m_own) {
      std::error_code ignored;
      std::filesystem::remove_all(m_path, ignored);
    }
  }
  const std::filesystem::path& path() const { return m_path; }

 private:
  bool m_own;
  std::filesystem::path m_path;
};

}  // namespace windowbench
