#include "vbmp3.h"

extern "C" {

int32_t VBMP3_CALL vbmp3_init(void) {
  return 1;
}
int32_t VBMP3_CALL vbmp3_free(void) {
  return 1;
}
int32_t VBMP3_CALL vbmp3_getFileTagInfoEX(const char*, void*) {
  return 0;
}
int32_t VBMP3_CALL vbmp3_setTagInfoEX(const char*, void*, int32_t, int32_t) {
  return 0;
}
}
