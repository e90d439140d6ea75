#include "taglib/Vbmp3Library.h"

#include <errno.h>

#include <cstdlib>
#include <optional>

#include "common/RuntimeError.h"
#include "common/Utf.h"
#include "platform/DynamicLibrary.h"
#include "platform/PathEncoding.h"
#include "platform/SystemError.h"
#include "vbmp3.h"

namespace tagkana {
namespace {

// The declarations carry the library's calling convention (__stdcall on
// 32-bit Windows); only their types are used here, never their addresses.
using InitFn = decltype(&vbmp3_init);
using FreeFn = decltype(&vbmp3_free);
using ReadFn = decltype(&vbmp3_getFileTagInfoEX);
using WriteFn = decltype(&vbmp3_setTagInfoEX);

// The library's own reasons (vbmp3.h), told apart from the system's.
WriteFailure failureOf(unsigned long code) {
#if defined(_WIN32)
  switch (code) {
    case 32:  // ERROR_SHARING_VIOLATION
    case 33:  // ERROR_LOCK_VIOLATION
      return {WriteFailure::Kind::Busy, code};
    case 11:  // ERROR_BAD_FORMAT
      return {WriteFailure::Kind::NotMpeg, code};
    case 223:  // ERROR_FILE_TOO_LARGE
      return {WriteFailure::Kind::TagTooBig, code};
    case 1142:  // ERROR_TOO_MANY_LINKS
      return {WriteFailure::Kind::SeveralNames, code};
    case 13:  // ERROR_INVALID_DATA
      return {WriteFailure::Kind::NotAsPlanned, code};
    case 1113:  // ERROR_NO_UNICODE_TRANSLATION
      return {WriteFailure::Kind::TitleCharacters, code};
    case 534:  // ERROR_ARITHMETIC_OVERFLOW
      return {WriteFailure::Kind::TitleTooLong, code};
  }
#else
  switch (code) {
    case EBUSY:
      return {WriteFailure::Kind::Busy, code};
    case ENOEXEC:
      return {WriteFailure::Kind::NotMpeg, code};
    case EFBIG:
      return {WriteFailure::Kind::TagTooBig, code};
    case EMLINK:
      return {WriteFailure::Kind::SeveralNames, code};
    case EBADMSG:
      return {WriteFailure::Kind::NotAsPlanned, code};
    case EILSEQ:
      return {WriteFailure::Kind::TitleCharacters, code};
    case EOVERFLOW:
      return {WriteFailure::Kind::TitleTooLong, code};
  }
#endif
  if (code == static_cast<unsigned long>(VBMP3_NOT_DURABLE)) {
    return {WriteFailure::Kind::NotDurable, code};
  }
  return {WriteFailure::Kind::System, code};
}

}  // namespace

struct Vbmp3Library::Impl {
  std::u16string fileName;
  std::optional<platform::DynamicLibrary> library;
  InitFn init = nullptr;
  FreeFn free = nullptr;
  ReadFn read = nullptr;
  WriteFn write = nullptr;
  WriteFailure readFailure;
  WriteFailure failure;

  platform::DynamicLibrary& loaded() {
    if (!library) {
      try {
        library.emplace(fileName);
      } catch (const RuntimeError& error) {
        // The platform's own wording does not say what the library is for;
        // the system's reason stays.
        throw RuntimeError(u"タグライブラリ " + fileName + u" を読み込めませんでした。", {},
                           error.reason());
      }
    }
    return *library;
  }

  template <typename Fn>
  Fn bound(Fn& entry, const char* name) {
    if (entry == nullptr) {
      platform::DynamicLibrary& lib = loaded();
      void* address = nullptr;
      try {
        address = lib.symbol(name);
      } catch (const RuntimeError& error) {
        throw RuntimeError(u"タグライブラリの関数 " + fromUtf8(name) + u" が見つかりません。", {},
                           error.reason());
      }
      entry = reinterpret_cast<Fn>(address);
    }
    return entry;
  }
};

Vbmp3Library::Vbmp3Library() : Vbmp3Library(std::u16string(platform::kVbmp3FileName)) {}

Vbmp3Library::Vbmp3Library(std::u16string fileName) : m_impl(std::make_unique<Impl>()) {
  m_impl->fileName = std::move(fileName);
}

Vbmp3Library::~Vbmp3Library() = default;

void Vbmp3Library::init() {
  m_impl->bound(m_impl->init, "vbmp3_init")();
}

void Vbmp3Library::free() {
  m_impl->bound(m_impl->free, "vbmp3_free")();
}

bool Vbmp3Library::getFileTagInfoEX(std::u16string_view path, TagRecord& record,
                                    AnsiTagRecord& buffer) {
  const ReadFn read = m_impl->bound(m_impl->read, "vbmp3_getFileTagInfoEX");
  const std::string encodedPath = platform::encodePath(path);
  record.toAnsi(buffer);
  const std::int32_t result = read(encodedPath.c_str(), buffer.data());
  const bool filled = (result & 0xFFFF) != 0;
  // Taken at once: converting the record back may set it anew.
  m_impl->readFailure = failureOf(filled ? 0 : platform::lastSystemError());
  record.fromAnsi(buffer);
  return filled;
}

bool Vbmp3Library::setTagInfoEX(std::u16string_view path, TagRecord& record, AnsiTagRecord& buffer,
                                std::int32_t version, std::int32_t keepV1) {
  const WriteFn write = m_impl->bound(m_impl->write, "vbmp3_setTagInfoEX");
  const std::string encodedPath = platform::encodePath(path);
  record.toAnsi(buffer);
  const std::int32_t result = write(encodedPath.c_str(), buffer.data(), version, keepV1);
  // Taken at once: converting the record back may set it anew.
  m_impl->failure = failureOf(result == 0 ? platform::lastSystemError() : 0);
  record.fromAnsi(buffer);
  return result != 0;
}

WriteFailure Vbmp3Library::lastReadFailure() const {
  return m_impl->readFailure;
}

WriteFailure Vbmp3Library::lastWriteFailure() const {
  return m_impl->failure;
}

void leaveTagSyncsToTheRun() {
#if defined(__linux__)
  ::setenv(VBMP3_SYNC_VARIABLE, VBMP3_SYNC_RUN, 1);
#endif
}

}  // namespace tagkana
