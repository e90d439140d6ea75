#pragma once

#include <stdexcept>
#include <string>
#include <utility>

#include "common/Utf.h"

namespace tagkana {

// The one error type for faults that abandon the current command: a failing OS
// call, a missing tag library, a 16-bit overflow. The description is Japanese
// and meant for the user; the file, when there is one, is the path involved.
class RuntimeError : public std::runtime_error {
 public:
  explicit RuntimeError(std::u16string description, std::u16string file = {})
      : std::runtime_error(toUtf8(file.empty() ? description : description + u" (" + file + u")")),
        m_description(std::move(description)),
        m_file(std::move(file)) {}

  const std::u16string& description() const noexcept { return m_description; }
  const std::u16string& file() const noexcept { return m_file; }

 private:
  std::u16string m_description;
  std::u16string m_file;
};

}  // namespace tagkana
