#pragma once

#include <string>

#include "taglib/TagLibrary.h"

namespace tagkana {

// The text shown in （） after a failed read's or write's line: the library's
// own reasons in Japanese, any other in the system's words; empty when the
// library left no reason.
std::u16string reasonText(const WriteFailure& failure);

}  // namespace tagkana
