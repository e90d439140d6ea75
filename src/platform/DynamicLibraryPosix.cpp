#include <dlfcn.h>
#include <unistd.h>

#include <string>
#include <utility>

#include "common/RuntimeError.h"
#include "common/Utf.h"
#include "platform/DynamicLibrary.h"
#include "platform/PathEncoding.h"
#include "platform/Paths.h"

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
  const std::u16string program = decodePath(path);
  return encodePath(
      std::u16string_view(program).substr(0, program.size() - namePart(program).size()));
#else
  return {};
#endif
}

// The library, or null with the system's reason in `reason`.
void* load(const std::string& name, std::u16string& reason) {
  void* handle = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* text = ::dlerror();
    reason = text == nullptr ? std::u16string() : fromUtf8(text);
  }
  return handle;
}

}  // namespace

DynamicLibrary::DynamicLibrary(std::u16string_view fileName) : m_fileName(fileName) {
  const std::string name = encodePath(fileName);
  std::u16string reason;
  m_handle = load(name, reason);
  // A bare name goes through the usual search, where the program's run path
  // ($ORIGIN) finds the copy beside it. Some tools interpose dlopen and so
  // hide the program's run path (the sanitizers do); then look beside the
  // program explicitly.
  if (m_handle == nullptr && name.find('/') == std::string::npos) {
    const std::string folder = programFolder();
    // The copy beside the program, when there is one, knows the better reason.
    std::u16string besideReason;
    if (!folder.empty()) {
      m_handle = load(folder + name, besideReason);
    }
    if (m_handle == nullptr && !folder.empty() && ::access((folder + name).c_str(), F_OK) == 0) {
      reason = besideReason;
    }
  }
  if (m_handle == nullptr) {
    throw RuntimeError(u"ライブラリ " + m_fileName + u" を読み込めませんでした。", {}, reason);
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
  ::dlerror();  // a stale error must not pass for this lookup's
  void* address = m_handle == nullptr ? nullptr : ::dlsym(m_handle, name);
  if (address == nullptr) {
    const char* reason = m_handle == nullptr ? nullptr : ::dlerror();
    throw RuntimeError(
        u"ライブラリ " + m_fileName + u" の関数 " + fromUtf8(name) + u" が見つかりません。", {},
        reason == nullptr ? std::u16string() : fromUtf8(reason));
  }
  return address;
}

}  // namespace tagkana::platform
