#pragma once

#include <cstdint>
#include <string_view>

#include "taglib/TagRecord.h"

namespace tagkana {

// Why the tag library turned a read or a write down.
struct WriteFailure {
  enum class Kind {
    System,           // the system's reason in `code`, or none when 0
    Busy,             // another program holds the file
    NotMpeg,          // the file holds no MPEG audio
    TagTooBig,        // a tag too big or hostile to handle within bounds
    SeveralNames,     // hard links, and the change needs a new file
    NotAsPlanned,     // the edited tag did not read back as planned
    TitleCharacters,  // the file's title holds characters the record cannot carry
    TitleTooLong,     // the file's title does not fit the record
    NotDurable,       // written, but whether it reached the disk is unknown
  };
  Kind kind = Kind::System;
  unsigned long code = 0;  // errno, or GetLastError() on Windows
};

// The four calls into the tag library. Each call that takes the record builds
// its ANSI form in `buffer` just before the call and reads the record back
// from it just after, the write included; callers own their buffers.
// A missing library or entry point throws RuntimeError naming it.
class TagLibrary {
 public:
  virtual ~TagLibrary() = default;

  virtual void init() = 0;
  virtual void free() = 0;

  // True when the library filled the record (only the low 16 bits of its
  // result count).
  virtual bool getFileTagInfoEX(std::u16string_view path, TagRecord& record,
                                AnsiTagRecord& buffer) = 0;

  // True when the library reports that the file was written.
  virtual bool setTagInfoEX(std::u16string_view path, TagRecord& record, AnsiTagRecord& buffer,
                            std::int32_t version, std::int32_t keepV1) = 0;

  // The reason the library left for the last read that failed.
  virtual WriteFailure lastReadFailure() const = 0;
  // The reason the library left for the last write that failed.
  virtual WriteFailure lastWriteFailure() const = 0;
};

}  // namespace tagkana
