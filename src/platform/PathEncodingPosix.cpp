#include "common/Utf.h"
#include "platform/PathEncoding.h"

namespace tagkana::platform {

std::string encodePath(std::u16string_view path) {
  return toUtf8(path, Undecodable::Escape);
}

std::u16string decodePath(std::string_view path) {
  return fromUtf8(path, Undecodable::Escape);
}

}  // namespace tagkana::platform
