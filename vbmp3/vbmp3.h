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
// writes (syncfs on Linux, through a descriptor of each folder opened before
// the run's first write there) sets this environment variable to
// VBMP3_SYNC_RUN before it calls vbmp3_init. vbmp3_init learns the mode and
// removes the variable, so that no child process inherits it; each write then
// leaves out the syncs that only make it durable, and keeps those that order
// it. Without the mode every successful write is durable when it returns.
#define VBMP3_SYNC_VARIABLE "VBMP3_SYNC"
#define VBMP3_SYNC_RUN "run"

// Why a call returned 0: errno on POSIX, GetLastError() on Windows, set to
// the first cause and kept across the clean-up after it.
//   busy: another program holds the file (its lock, its sharing mode) or
//     replaced it during the write            EBUSY    ERROR_SHARING_VIOLATION,
//                                                      ERROR_LOCK_VIOLATION
//   no space                                   ENOSPC, EDQUOT
//                                                      ERROR_DISK_FULL,
//                                                      ERROR_HANDLE_DISK_FULL
//   read-only file (its owner may not write it) or file system
//                                              EACCES, EROFS
//                                                      ERROR_ACCESS_DENIED,
//                                                      ERROR_WRITE_PROTECT
//   a tag too big or hostile to edit within bounds
//                                              EFBIG    ERROR_FILE_TOO_LARGE
//   several names (hard links), and the change needs a new file
//                                              EMLINK   ERROR_TOO_MANY_LINKS
//   the title read holds characters code page 932 cannot carry
//                                              EILSEQ   ERROR_NO_UNICODE_TRANSLATION
//   the file's title does not fit the record's slot, and the write would
//     change it                                EOVERFLOW
//                                                      ERROR_ARITHMETIC_OVERFLOW
//   not MPEG audio                             ENOEXEC  ERROR_BAD_FORMAT
//   the edited tag did not read back as planned, or a tag to render in
//     another version holds what a new rendering would not keep (an
//     encrypted frame, a second frame of a changed field)
//                                              EBADMSG  ERROR_INVALID_DATA
//   written, durability unknown: the file holds the new tags, and only the
//     sync of its folder after the rename failed
//                                              VBMP3_NOT_DURABLE
//   anything else: the system's own value from the failing call.
// A write that returns 0 with any other reason than VBMP3_NOT_DURABLE left
// the file as it was.
#if defined(_WIN32)
#define VBMP3_NOT_DURABLE 997L /* ERROR_IO_PENDING */
#else
#include <errno.h>
#define VBMP3_NOT_DURABLE EINPROGRESS
#endif

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
