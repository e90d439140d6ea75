# Cross build for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TAGKANA_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# Lets CMake run test programs (and gtest discovery) through Wine.
find_program(TAGKANA_WINE NAMES wine64 wine PATHS /usr/lib/wine)
if(TAGKANA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TAGKANA_WINE})
endif()
