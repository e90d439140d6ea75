# Cross build for 32-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-i686),
# where the tag library's entry points are __stdcall. There is no 32-bit Wine
# here, so this build is compiled and linked only.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TAGKANA_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
