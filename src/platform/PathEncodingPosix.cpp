#include "common/Utf.h"
#include "platform/PathEncoding.h"

namespace tagkana::platform {

std::string encodePath(std::u16string_view path) {
  return toUtf8(path);
}

}  // namespace tagkana::platform
