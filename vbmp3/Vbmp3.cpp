#include "vbmp3.h"

#include "TagFile.h"

// Nothing may unwind into a C caller: any failure, an exception from TagLib
// or an allocation included, is the result 0.

extern "C" {

int32_t VBMP3_CALL vbmp3_init(void) {
  return 1;
}

int32_t VBMP3_CALL vbmp3_free(void) {
  return 1;
}

int32_t VBMP3_CALL vbmp3_getFileTagInfoEX(const char* path, void* record656) {
  if (path == nullptr || record656 == nullptr) {
    return 0;
  }
  try {
    return vbmp3::readTag(path, static_cast<unsigned char*>(record656)) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

int32_t VBMP3_CALL vbmp3_setTagInfoEX(const char* path, void* record656, int32_t version,
                                      int32_t keepV1) {
  if (path == nullptr || record656 == nullptr) {
    return 0;
  }
  try {
    return vbmp3::writeTag(path, static_cast<const unsigned char*>(record656), version, keepV1 != 0)
               ? 1
               : 0;
  } catch (...) {
    return 0;
  }
}
}
