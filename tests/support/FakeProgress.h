#pragma once

#include <string>
#include <vector>

#include "commands/Progress.h"

namespace tagkana::test {

// Records every report and asks to stop when `stopAt` files are done.
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
    return done != stopAt;
  }
  void end() override { ++ends; }

  int stopAt;
  std::vector<Report> reports;
  int ends = 0;
};

}  // namespace tagkana::test
