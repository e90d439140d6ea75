#pragma once

#include <memory>
#include <string>

#include "taglib/TagLibrary.h"

namespace tagkana {

// The real tag library. Nothing is loaded until the first call; then the
// library is loaded once by its bare name (libVBMP3.so, VBMP3.dll,
// libVBMP3.dylib) through the system's usual search, and each entry point is
// looked up on its own first call and kept. A missing library or entry point
// throws RuntimeError naming it, on every call that needs it.
class Vbmp3Library final : public TagLibrary {
 public:
  Vbmp3Library();
  // Another library with the same four entry points, by bare name or path.
  explicit Vbmp3Library(std::u16string fileName);
  ~Vbmp3Library() override;
  Vbmp3Library(const Vbmp3Library&) = delete;
  Vbmp3Library& operator=(const Vbmp3Library&) = delete;

  void init() override;
  void free() override;
  bool getFileTagInfoEX(std::u16string_view path, TagRecord& record,
                        AnsiTagRecord& buffer) override;
  bool setTagInfoEX(std::u16string_view path, TagRecord& record, AnsiTagRecord& buffer,
                    std::int32_t version, std::int32_t keepV1) override;
  WriteFailure lastReadFailure() const override;
  WriteFailure lastWriteFailure() const override;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

// Tells the tag library, before any thread starts and before vbmp3_init
// (which learns the mode and takes the variable out of the environment), that
// the program makes each run of writes durable itself (FileSystem::
// watchFolder and makeDurable), where one call does that for a whole file
// system (Linux). Elsewhere the library keeps syncing each write.
void leaveTagSyncsToTheRun();

}  // namespace tagkana
