#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "commands/FileWait.h"
#include "commands/Progress.h"

namespace tagkana::test {

// Records every report and asks to stop when `stopAt` files are done, or at
// the report numbered `stopAtReport` (from 1).
class StoppingProgress : public Progress {
 public:
  struct Report {
    int done;
    int total;
    std::u16string path;
    bool operator==(const Report&) const = default;
  };

  explicit StoppingProgress(int stopAtDone = -1) : stopAt(stopAtDone) {}

  bool next(int done, int total, std::u16string_view path) override {
    reports.push_back({done, total, std::u16string(path)});
    return done != stopAt && static_cast<int>(reports.size()) != stopAtReport;
  }
  void end() override { ++ends; }

  int stopAt;
  int stopAtReport = -1;
  std::vector<Report> reports;
  int ends = 0;
};

// Time that passes only in the pauses of a wait, 10 ms each.
class SteppedClock : public WaitClock {
 public:
  std::chrono::steady_clock::time_point now() override { return start + waited; }
  void pause() override { waited += std::chrono::milliseconds(10); }

  std::chrono::steady_clock::time_point start{};
  std::chrono::milliseconds waited{0};
};

}  // namespace tagkana::test
