// VBMP3.dll for the Windows tests: the four entry points over plain files,
// where a file's whole content is the 656-byte record. Paths arrive in the
// ANSI code page, as the program hands them over.
#include <windows.h>

#include "vbmp3/vbmp3.h"

namespace {

constexpr DWORD kRecordSize = 656;

HANDLE open(const char* path, DWORD access, DWORD share) {
  return CreateFileA(path, access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

extern "C" {

VBMP3_API int32_t VBMP3_CALL vbmp3_init(void) {
  return 1;
}

VBMP3_API int32_t VBMP3_CALL vbmp3_free(void) {
  return 1;
}

VBMP3_API int32_t VBMP3_CALL vbmp3_getFileTagInfoEX(const char* path, void* record656) {
  const HANDLE file = open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
  if (file == INVALID_HANDLE_VALUE) {
    return 0;
  }
  // A file of any other size holds no record.
  char record[kRecordSize + 1];
  DWORD read = 0;
  const BOOL ok = ReadFile(file, record, sizeof record, &read, nullptr);
  CloseHandle(file);
  if (!ok || read != kRecordSize) {
    return 0;
  }
  CopyMemory(record656, record, kRecordSize);
  // Only the low 16 bits count: a result with them all zero would be failure.
  return 0x10001;
}

VBMP3_API int32_t VBMP3_CALL vbmp3_setTagInfoEX(const char* path, void* record656, int32_t version,
                                                int32_t keepV1) {
  // The program always asks for the file's own tag version and keeps ID3v1.
  if (version != 0 || keepV1 != 1) {
    return 0;
  }
  // Refused even where the OS would let this process write it (Wine as root).
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return 0;
  }
  const HANDLE file = open(path, GENERIC_WRITE, 0);
  if (file == INVALID_HANDLE_VALUE) {
    return 0;
  }
  DWORD written = 0;
  const BOOL ok = WriteFile(file, record656, kRecordSize, &written, nullptr);
  CloseHandle(file);
  return ok && written == kRecordSize ? 1 : 0;
}

}  // extern "C"
