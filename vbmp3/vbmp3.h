#pragma once

// The tag library's C interface. Results: non-zero means success.
// `record656` is the 656-byte ANSI form of the tag record laid out below;
// paths are in the file system's own encoding.

#include <stdint.h>

// The record: text slots in code page 932 that need not end in a NUL, three
// bytes that are always zero, and two little-endian values that the program
// never interprets.
enum {
  VBMP3_TITLE_OFFSET = 0,
  VBMP3_TITLE_LENGTH = 128,
  VBMP3_ARTIST_OFFSET = 128,
  VBMP3_ARTIST_LENGTH = 128,
  VBMP3_ALBUM_OFFSET = 256,
  VBMP3_ALBUM_LENGTH = 128,
  VBMP3_YEAR_OFFSET = 384,
  VBMP3_YEAR_LENGTH = 5,
  VBMP3_COMMENT_OFFSET = 389,
  VBMP3_COMMENT_LENGTH = 128,
  VBMP3_PADDING_OFFSET = 517,
  VBMP3_GENRE_NUMBER_OFFSET = 520,
  VBMP3_GENRE_NAME_OFFSET = 524,
  VBMP3_GENRE_NAME_LENGTH = 128,
  VBMP3_TRACK_NUMBER_OFFSET = 652,
  VBMP3_RECORD_SIZE = 656
};

// A caller that makes the file system durable once for its whole run of
// writes (syncfs on Linux) sets this environment variable to VBMP3_SYNC_RUN
// before the writes: each write then leaves out the syncs that only make it
// durable, and keeps those that order it.
#define VBMP3_SYNC_VARIABLE "VBMP3_SYNC"
#define VBMP3_SYNC_RUN "run"

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
