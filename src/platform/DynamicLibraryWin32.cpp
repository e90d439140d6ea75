#include <windows.h>

#include <cstring>
#include <utility>

#include "common/RuntimeError.h"
#include "common/Utf.h"
#include "platform/DynamicLibrary.h"
#include "platform/SystemError.h"
#include "platform/WideTextWin32.h"

namespace tagkana::platform {

DynamicLibrary::DynamicLibrary(std::u16string_view fileName) : m_fileName(fileName) {
  // A bare name goes through the usual search, the program's folder first.
  // No critical-error box for a library that is there but broken.
  DWORD oldMode = 0;
  const BOOL modeSet = SetThreadErrorMode(SEM_FAILCRITICALERRORS, &oldMode);
  m_handle = LoadLibraryW(toWide(m_fileName).c_str());
  const DWORD error = GetLastError();
  if (modeSet) {
    SetThreadErrorMode(oldMode, nullptr);
  }
  if (m_handle == nullptr) {
    throw RuntimeError(u"ライブラリ " + m_fileName + u" を読み込めませんでした。", {},
                       systemErrorText(error));
  }
}

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : m_handle(std::exchange(other.m_handle, nullptr)), m_fileName(std::move(other.m_fileName)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
  if (this != &other) {
    if (m_handle != nullptr) {
      FreeLibrary(static_cast<HMODULE>(m_handle));
    }
    m_handle = std::exchange(other.m_handle, nullptr);
    m_fileName = std::move(other.m_fileName);
  }
  return *this;
}

DynamicLibrary::~DynamicLibrary() {
  if (m_handle != nullptr) {
    FreeLibrary(static_cast<HMODULE>(m_handle));
  }
}

void* DynamicLibrary::symbol(const char* name) const {
  // A moved-from object holds no handle, and GetProcAddress would take a null
  // one for the program itself.
  const FARPROC address =
      m_handle == nullptr ? nullptr : GetProcAddress(static_cast<HMODULE>(m_handle), name);
  if (address == nullptr) {
    throw RuntimeError(
        u"ライブラリ " + m_fileName + u" の関数 " + fromUtf8(name) + u" が見つかりません。", {},
        m_handle == nullptr ? std::u16string() : systemErrorText(GetLastError()));
  }
  // The caller casts back to the entry point's own type.
  void* result = nullptr;
  static_assert(sizeof result == sizeof address);
  std::memcpy(&result, &address, sizeof result);
  return result;
}

}  // namespace tagkana::platform
