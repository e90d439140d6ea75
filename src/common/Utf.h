#pragma once

#include <string>
#include <string_view>

#include "record/Utf8.h"

namespace tagkana {

// A name as a widget or a message may show it: unpaired surrogates (bytes
// that did not decode) as U+FFFD, line breaks as "⏎", so that nothing of a
// name is hidden and no name spans lines.
inline std::u16string visibleName(std::u16string_view name) {
  std::u16string out(name);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const char16_t c = out[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < out.size() && out[i + 1] >= 0xDC00 &&
        out[i + 1] <= 0xDFFF) {
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      out[i] = u'\uFFFD';
    } else if (c == u'\n' || c == u'\r') {
      out[i] = u'\u23CE';
    }
  }
  return out;
}

}  // namespace tagkana
