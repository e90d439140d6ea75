#pragma once

#include <cstdint>
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
  // The paths makeDurable was called with, and the reasons it fails with, by path.
  std::vector<std::u16string> madeDurable;
  std::map<std::u16string, std::u16string> durabilityFailures;

  void add(const std::u16string& path, std::uint32_t attributes = platform::kArchive) {
    files[path] = attributes;
  }

  std::uint32_t attributes(std::u16string_view path) override;
  void setArchiveOnly(std::u16string_view path) override;
  std::u16string normalFileName(std::u16string_view path) override;
  std::u16string makeDurable(std::u16string_view path) override;
};

}  // namespace tagkana::test
