#include <dlfcn.h>
#include <unistd.h>

#include <string>
#include <utility>

#include "common/RuntimeError.h"
#include "common/Utf.h"
#include "platform/DynamicLibrary.h"
#include "platform/PathEncoding.h"

namespace tagkana::platform {
namespace {

// The folder of the running program, with a trailing slash; empty when the
// OS does not tell.
std::string programFolder() {
#if defined(__linux__)
  std::string path(4096, '\0');
  const ssize_t size = ::readlink("/proc/self/exe", path.data(), path.size());
  if (size <= 0 || static_cast<std::size_t>(size) >= path.size()) {
    return {};
  }
  path.resize(static_cast<std::size_t>(size));
  return path.substr(0, path.rfind('/') + 1);
#else
  return {};
#endif
}

void* load(const std::string& name) {
  return ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
}

}  // namespace

DynamicLibrary::DynamicLibrary(std::u16string_view fileName) : m_fileName(fileName) {
  const std::string name = encodePath(fileName);
  m_handle = load(name);
  // A bare name goes through the usual search, where the program's run path
  // ($ORIGIN) finds the copy beside it. Some tools interpose dlopen and so
  // hide the program's run path (the sanitizers do); then look beside the
  // program explicitly.
  if (m_handle == nullptr && name.find('/') == std::string::npos) {
    const std::string folder = programFolder();
    if (!folder.empty()) {
      m_handle = load(folder + name);
    }
  }
  if (m_handle == nullptr) {
    throw RuntimeError(u"ライブラリ " + m_fileName + u" を読み込めませんでした。");
  }
}

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : m_handle(std::exchange(other.m_handle, nullptr)), m_fileName(std::move(other.m_fileName)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
  if (this != &other) {
    if (m_handle != nullptr) {
      ::dlclose(m_handle);
    }
    m_handle = std::exchange(other.m_handle, nullptr);
    m_fileName = std::move(other.m_fileName);
  }
  return *this;
}

DynamicLibrary::~DynamicLibrary() {
  if (m_handle != nullptr) {
    ::dlclose(m_handle);
  }
}

void* DynamicLibrary::symbol(const char* name) const {
  void* address = m_handle == nullptr ? nullptr : ::dlsym(m_handle, name);
  if (address == nullptr) {
    throw RuntimeError(u"ライブラリ " + m_fileName + u" の関数 " + fromUtf8(name) +
                       u" が見つかりません。");
  }
  return address;
}

}  // namespace tagkana::platform
