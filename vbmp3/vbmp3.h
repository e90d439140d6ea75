#pragma once

// The tag library's C interface. Results: non-zero means success.
// `record656` is the 656-byte ANSI form of the tag record (see
// src/taglib/TagRecord.h); paths are in the file system's own encoding.

#include <stdint.h>

#if defined(_WIN32)
#define VBMP3_CALL __stdcall
#if defined(VBMP3_BUILDING)
#define VBMP3_API __declspec(dllexport)
#else
#define VBMP3_API __declspec(dllimport)
#endif
#else
#define VBMP3_CALL
#define VBMP3_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

VBMP3_API int32_t VBMP3_CALL vbmp3_init(void);
VBMP3_API int32_t VBMP3_CALL vbmp3_free(void);
VBMP3_API int32_t VBMP3_CALL vbmp3_getFileTagInfoEX(const char* path, void* record656);
VBMP3_API int32_t VBMP3_CALL vbmp3_setTagInfoEX(const char* path, void* record656, int32_t version,
                                                int32_t keepV1);

#ifdef __cplusplus
}
#endif
