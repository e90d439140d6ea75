#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tagkana::test {

// A fresh, empty folder under the system's temporary folder, removed with all
// it holds when the object goes.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return m_path; }
  // The full path of `name` inside the folder, as the commands spell it.
  std::u16string pathOf(std::u16string_view name) const;
  // Creates (or truncates) a file holding `bytes`; returns its full path.
  std::filesystem::path createFile(std::u16string_view name, std::string_view bytes = {}) const;

 private:
  std::filesystem::path m_path;
};

}  // namespace tagkana::test
