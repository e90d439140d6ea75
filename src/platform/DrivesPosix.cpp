#include "platform/Drives.h"

namespace tagkana::platform {

std::u16string systemDrive() {
  return u"/";
}
std::vector<std::u16string> listDrives() {
  return {u"/"};
}

}  // namespace tagkana::platform
