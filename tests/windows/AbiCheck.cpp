// Compile-time checks of what the tag library's callers and the library agree
// on; they matter most in the 32-bit build, the program's original home.
#include <cstdint>
#include <type_traits>

#include "taglib/TagRecord.h"
#include "vbmp3/vbmp3.h"

namespace tagkana {

static_assert(sizeof(AnsiTagRecord) == 656);
static_assert(std::is_same_v<decltype(&vbmp3_init), std::int32_t(__stdcall*)()>);
static_assert(std::is_same_v<decltype(&vbmp3_free), std::int32_t(__stdcall*)()>);
static_assert(std::is_same_v<decltype(&vbmp3_getFileTagInfoEX),
                             std::int32_t(__stdcall*)(const char*, void*)>);
static_assert(
    std::is_same_v<decltype(&vbmp3_setTagInfoEX),
                   std::int32_t(__stdcall*)(const char*, void*, std::int32_t, std::int32_t)>);

#if defined(_WIN32) && !defined(_WIN64)
// On 32-bit the convention is part of the type: a plain cdecl pointer must not
// pass for an entry point.
static_assert(!std::is_same_v<decltype(&vbmp3_init), std::int32_t (*)()>);
static_assert(sizeof(void*) == 4);
#endif

}  // namespace tagkana
