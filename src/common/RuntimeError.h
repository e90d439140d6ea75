#pragma once

#include <stdexcept>
#include <string>
#include <utility>

#include "common/Utf.h"

namespace tagkana {

// The one error type for faults that abandon the current command: a failing OS
// call, a missing tag library, a 16-bit overflow. The description is Japanese
// and meant for the user; the file, when there is one, is the path involved;
// the reason, when an OS call failed, is the system's own text for it.
class RuntimeError : public std::runtime_error {
 public:
  explicit RuntimeError(std::u16string description, std::u16string file = {},
                        std::u16string reason = {})
      : std::runtime_error(summary(description, file, reason)),
        m_description(std::move(description)),
        m_file(std::move(file)),
        m_reason(std::move(reason)) {}

  const std::u16string& description() const noexcept { return m_description; }
  const std::u16string& file() const noexcept { return m_file; }
  const std::u16string& reason() const noexcept { return m_reason; }

 private:
  static std::string summary(const std::u16string& description, const std::u16string& file,
                             const std::u16string& reason) {
    std::u16string text = description;
    if (!file.empty()) {
      text += u" (" + file + u")";
    }
    if (!reason.empty()) {
      text += u": " + reason;
    }
    return toUtf8(text);
  }

  std::u16string m_description;
  std::u16string m_file;
  std::u16string m_reason;
};

}  // namespace tagkana
