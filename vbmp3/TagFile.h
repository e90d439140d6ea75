#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace vbmp3 {

// Fills the 656-byte record from the file's tags. False, with the record
// untouched, when the file cannot be opened or holds no MPEG audio.
bool readTag(const char* path, unsigned char* record);

// The same from a file already open and locked.
bool readOpenTag(int fd, const std::string& name, off_t length, unsigned char* record);

// Writes the fields of the record that differ from what readTag gives now.
// `version` 0 keeps the file's ID3v2 version (new tags get 2.3), 3 or 4 sets
// it; `keepV1` keeps an existing ID3v1 tag in step. False on any failure,
// and then the file is as it was.
bool writeTag(const char* path, const unsigned char* record, std::int32_t version, bool keepV1);

}  // namespace vbmp3
