#pragma once

#include <string>
#include <string_view>

namespace tagkana::platform {

// The tag library's file name on this OS, loaded by bare name so that the
// system's usual search (the program's own folder first) finds it.
#if defined(_WIN32)
inline constexpr std::u16string_view kVbmp3FileName = u"VBMP3.dll";
#elif defined(__APPLE__)
inline constexpr std::u16string_view kVbmp3FileName = u"libVBMP3.dylib";
#else
inline constexpr std::u16string_view kVbmp3FileName = u"libVBMP3.so";
#endif

// A shared library loaded by name and released when the object goes. Move-only.
class DynamicLibrary {
 public:
  // Throws RuntimeError naming the library when it cannot be loaded.
  explicit DynamicLibrary(std::u16string_view fileName);
  DynamicLibrary(DynamicLibrary&& other) noexcept;
  DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;
  ~DynamicLibrary();

  // The address of an exported entry point, looked up by its exact name.
  // Throws RuntimeError naming the entry point when it is missing.
  void* symbol(const char* name) const;

 private:
  void* m_handle = nullptr;
  std::u16string m_fileName;
};

}  // namespace tagkana::platform
