#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "taglib/TagLibrary.h"

namespace tagkana::test {

// A file as the fake library sees it. A read fills only the fields that are
// set here; the others keep whatever the caller's record held, as a library
// that leaves parts of the record alone would.
struct FakeTagFile {
  std::optional<std::u16string> title;
  std::optional<std::u16string> artist;
  std::optional<std::array<unsigned char, 4>> trackNumber;
  bool readable = true;
  bool writable = true;
  WriteFailure failure;  // the reason a refused read or write leaves
};

struct LibraryCall {
  enum class Kind { Read, Write };
  Kind kind;
  std::u16string path;
  TagRecord record;      // a read: as filled; a write: as handed in
  AnsiTagRecord buffer;  // the ANSI form the library saw (after a read: as filled)
  std::int32_t version = 0;
  std::int32_t keepV1 = 0;
};

// A tag library over an in-memory set of files. Like the real binding, every
// call goes through the caller's ANSI buffer in code page 932. A successful
// write stores the written title (trailing space padding dropped) so that a
// later read sees it. A path that is not in `files` fails to read.
class FakeTagLibrary : public TagLibrary {
 public:
  std::map<std::u16string, FakeTagFile> files;
  std::vector<LibraryCall> calls;
  int inits = 0;
  int frees = 0;

  FakeTagFile& addFile(const std::u16string& path, const std::u16string& title);

  std::vector<LibraryCall> writes() const;
  std::vector<std::u16string> readPaths() const;
  std::vector<std::u16string> writtenPaths() const;

  void init() override { ++inits; }
  void free() override { ++frees; }
  bool getFileTagInfoEX(std::u16string_view path, TagRecord& record,
                        AnsiTagRecord& buffer) override;
  bool setTagInfoEX(std::u16string_view path, TagRecord& record, AnsiTagRecord& buffer,
                    std::int32_t version, std::int32_t keepV1) override;
  WriteFailure lastReadFailure() const override { return m_readFailure; }
  WriteFailure lastWriteFailure() const override { return m_failure; }

 private:
  WriteFailure m_readFailure;
  WriteFailure m_failure;
};

}  // namespace tagkana::test
