#include <errno.h>

#include <cstring>
#include <string>

#include "common/Utf.h"
#include "platform/SystemError.h"

namespace tagkana::platform {
namespace {

// The two strerror_r flavours: GNU returns the text, XSI fills the buffer.
[[maybe_unused]] const char* pick(const char* text, const char*) {
  return text;
}
[[maybe_unused]] const char* pick(int result, const char* buffer) {
  return result == 0 ? buffer : "";
}

}  // namespace

std::u16string systemErrorText(unsigned long code) {
  char buffer[256] = {};
  const char* text = pick(::strerror_r(static_cast<int>(code), buffer, sizeof buffer), buffer);
  std::u16string result = fromUtf8(text);
  return result.empty() ? u"errno " + fromUtf8(std::to_string(code)) : result;
}

unsigned long lastSystemError() {
  return static_cast<unsigned long>(errno);
}

}  // namespace tagkana::platform
