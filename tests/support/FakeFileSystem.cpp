#include "support/FakeFileSystem.h"

#include "common/RuntimeError.h"

namespace tagkana::test {

std::uint32_t FakeFileSystem::attributes(std::u16string_view path) {
  const auto found = files.find(std::u16string(path));
  if (found == files.end()) {
    throw RuntimeError(u"ファイルが見つかりません。", std::u16string(path));
  }
  return found->second;
}

void FakeFileSystem::setArchiveOnly(std::u16string_view path) {
  archiveOnlySets.emplace_back(path);
  const auto found = files.find(std::u16string(path));
  if (found == files.end()) {
    throw RuntimeError(u"ファイルが見つかりません。", std::u16string(path));
  }
  found->second = platform::kArchive;
}

std::u16string FakeFileSystem::normalFileName(std::u16string_view path) {
  const auto found = files.find(std::u16string(path));
  if (found == files.end() || (found->second & (platform::kHidden | platform::kSystem)) != 0) {
    return {};
  }
  const auto separator = path.find_last_of(u"/\\");
  return std::u16string(separator == std::u16string_view::npos ? path : path.substr(separator + 1));
}

std::u16string FakeFileSystem::watchFolder(std::u16string_view path) {
  watched.emplace_back(path);
  const auto failure = watchFailures.find(std::u16string(path));
  return failure == watchFailures.end() ? std::u16string() : failure->second;
}

std::vector<std::u16string> FakeFileSystem::makeDurable(const std::vector<std::u16string>& paths) {
  madeDurable.push_back(paths);
  if (whileSyncing) {
    whileSyncing();
  }
  std::vector<std::u16string> reasons;
  for (const auto& path : paths) {
    const auto failure = durabilityFailures.find(path);
    reasons.push_back(failure == durabilityFailures.end() ? std::u16string() : failure->second);
  }
  return reasons;
}

bool FakeFileSystem::busy(std::u16string_view path, bool forWrite) {
  probes.push_back({std::u16string(path), forWrite});
  const auto held = heldFor.find(std::u16string(path));
  if (held == heldFor.end() || held->second == 0) {
    return false;
  }
  if (held->second > 0) {
    --held->second;
  }
  if (whileHeld) {
    whileHeld();
  }
  return true;
}

}  // namespace tagkana::test
