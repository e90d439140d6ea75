#include "common/RuntimeError.h"
#include "platform/DynamicLibrary.h"

namespace tagkana::platform {

DynamicLibrary::DynamicLibrary(std::u16string_view fileName) : m_fileName(fileName) {
  throw RuntimeError(u"ライブラリを読み込めませんでした。", m_fileName);
}
DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : m_handle(other.m_handle), m_fileName(std::move(other.m_fileName)) {
  other.m_handle = nullptr;
}
DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&&) noexcept {
  return *this;
}
DynamicLibrary::~DynamicLibrary() = default;
void* DynamicLibrary::symbol(const char*) const {
  return nullptr;
}

}  // namespace tagkana::platform
