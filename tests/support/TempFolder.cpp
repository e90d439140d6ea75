#include "support/TempFolder.h"

#include <fstream>
#include <random>
#include <stdexcept>
#include <system_error>

#include "platform/FileSystem.h"

namespace tagkana::test {

TempFolder::TempFolder() {
  std::random_device seed;
  std::mt19937_64 random(seed());
  const auto base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto candidate = base / ("tagkana-test-" + std::to_string(random()));
    // create_directory is false when the name is taken: try another.
    if (std::filesystem::create_directory(candidate)) {
      m_path = std::move(candidate);
      return;
    }
  }
  throw std::runtime_error("no free temporary folder name");
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(m_path, ignored);
}

std::u16string TempFolder::pathOf(std::u16string_view name) const {
  return m_path.u16string() + platform::kPathSeparator + std::u16string(name);
}

std::filesystem::path TempFolder::createFile(std::u16string_view name,
                                             std::string_view bytes) const {
  const std::filesystem::path file = m_path / std::filesystem::path(std::u16string(name));
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    throw std::runtime_error("cannot create " + file.string());
  }
  return file;
}

}  // namespace tagkana::test
