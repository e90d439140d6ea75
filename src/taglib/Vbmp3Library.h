#pragma once

#include "taglib/TagLibrary.h"

namespace tagkana {

// The real tag library, loaded by its bare name (libVBMP3.so, VBMP3.dll,
// libVBMP3.dylib) on the first call; each entry point is looked up on its own
// first call and kept.
class Vbmp3Library final : public TagLibrary {
 public:
  Vbmp3Library();
  ~Vbmp3Library() override;
  Vbmp3Library(const Vbmp3Library&) = delete;
  Vbmp3Library& operator=(const Vbmp3Library&) = delete;

  void init() override;
  void free() override;
  bool getFileTagInfoEX(std::u16string_view path, TagRecord& record,
                        AnsiTagRecord& buffer) override;
  bool setTagInfoEX(std::u16string_view path, TagRecord& record, AnsiTagRecord& buffer,
                    std::int32_t version, std::int32_t keepV1) override;

 private:
  struct Impl;
  Impl* m_impl;
};

}  // namespace tagkana
