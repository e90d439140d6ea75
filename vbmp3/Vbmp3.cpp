#include "vbmp3.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <errno.h>
#include <stdlib.h>
#endif

#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string_view>

#include "FileLayer.h"
#include "TagFile.h"

// Nothing may unwind into a C caller: any failure, an exception from TagLib
// or an allocation included, is the result 0, with its reason.

namespace {

int32_t failed() {
  try {
    throw;
  } catch (const std::bad_alloc&) {
#if defined(_WIN32)
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
#else
    errno = ENOMEM;
#endif
  } catch (...) {
    vbmp3::fail(vbmp3::Reason::kTooBig);
  }
  return 0;
}

// A failure always says why, even one no system call gave a reason for.
int32_t result(bool ok) {
  if (!ok && !vbmp3::errorSet()) {
    vbmp3::fail(vbmp3::Reason::kBadEdit);
  }
  return ok ? 1 : 0;
}

}  // namespace

extern "C" {

int32_t VBMP3_CALL vbmp3_init(void) {
  const char* mode = std::getenv(VBMP3_SYNC_VARIABLE);
  vbmp3::setCallerSyncs(mode != nullptr && std::string_view(mode) == VBMP3_SYNC_RUN);
#if defined(_WIN32)
  _putenv_s(VBMP3_SYNC_VARIABLE, "");
#else
  ::unsetenv(VBMP3_SYNC_VARIABLE);
#endif
  return 1;
}

int32_t VBMP3_CALL vbmp3_free(void) {
  return 1;
}

int32_t VBMP3_CALL vbmp3_getFileTagInfoEX(const char* path, void* record656) {
  if (path == nullptr || record656 == nullptr) {
    return vbmp3::fail(vbmp3::Reason::kInvalid);
  }
  try {
    vbmp3::clearError();
    return result(vbmp3::readTag(path, static_cast<unsigned char*>(record656)));
  } catch (...) {
    return failed();
  }
}

int32_t VBMP3_CALL vbmp3_setTagInfoEX(const char* path, void* record656, int32_t version,
                                      int32_t keepV1) {
  if (path == nullptr || record656 == nullptr) {
    return vbmp3::fail(vbmp3::Reason::kInvalid);
  }
  try {
    vbmp3::clearError();
    return result(
        vbmp3::writeTag(path, static_cast<const unsigned char*>(record656), version, keepV1 != 0));
  } catch (...) {
    return failed();
  }
}
}
