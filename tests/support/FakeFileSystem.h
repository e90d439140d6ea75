#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace tagkana::test {

// Files by full path with Windows attribute values. Like the real ones, a
// path that is not there throws RuntimeError, except in the name lookup, which
// gives the empty text for it and for hidden or system files.
class FakeFileSystem : public platform::FileSystem {
 public:
  std::map<std::u16string, std::uint32_t> files;
  std::vector<std::u16string> archiveOnlySets;
  // The paths watchFolder was called with, each batch makeDurable was called
  // with, the reasons they fail with, by path, and the runs ended.
  std::vector<std::u16string> watched;
  std::vector<std::vector<std::u16string>> madeDurable;
  std::map<std::u16string, std::u16string> watchFailures;
  std::map<std::u16string, std::u16string> durabilityFailures;
  int runsEnded = 0;
  // Called inside each makeDurable, on whichever thread runs it.
  std::function<void()> whileSyncing;
  // How many more probes find each path held by another program (-1: for
  // ever), every probe as asked, and a hook told of each busy one.
  struct Probe {
    std::u16string path;
    bool forWrite;
    bool operator==(const Probe&) const = default;
  };
  std::map<std::u16string, int> heldFor;
  std::vector<Probe> probes;
  std::function<void()> whileHeld;

  void add(const std::u16string& path, std::uint32_t attributes = platform::kArchive) {
    files[path] = attributes;
  }

  std::uint32_t attributes(std::u16string_view path) override;
  void setArchiveOnly(std::u16string_view path) override;
  std::u16string normalFileName(std::u16string_view path) override;
  std::u16string watchFolder(std::u16string_view path) override;
  std::vector<std::u16string> makeDurable(const std::vector<std::u16string>& paths) override;
  void endRun() override { ++runsEnded; }
  bool busy(std::u16string_view path, bool forWrite) override;
};

}  // namespace tagkana::test
