#include "common/RuntimeError.h"
#include "platform/FileSystem.h"

namespace tagkana::platform {

FileSystem& systemFileSystem() {
  throw RuntimeError(u"未実装です。");
}

}  // namespace tagkana::platform
