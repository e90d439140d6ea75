#include "taglib/Vbmp3Library.h"

#include "common/RuntimeError.h"

namespace tagkana {

struct Vbmp3Library::Impl {};

Vbmp3Library::Vbmp3Library() : m_impl(new Impl) {}
Vbmp3Library::~Vbmp3Library() {
  delete m_impl;
}
void Vbmp3Library::init() {
  throw RuntimeError(u"VBMP3 を読み込めませんでした。");
}
void Vbmp3Library::free() {}
bool Vbmp3Library::getFileTagInfoEX(std::u16string_view, TagRecord&, AnsiTagRecord&) {
  return false;
}
bool Vbmp3Library::setTagInfoEX(std::u16string_view, TagRecord&, AnsiTagRecord&, std::int32_t,
                                std::int32_t) {
  return false;
}

}  // namespace tagkana
