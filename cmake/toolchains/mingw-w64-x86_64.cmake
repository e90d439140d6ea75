# Cross build for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64).
# The posix thread model gives the full <thread>/<mutex>; -static keeps
# libgcc, libstdc++ and winpthreads inside each binary, so Wine needs no DLLs
# beyond its own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TAGKANA_MINGW_TRIPLE x86_64-w64-mingw32)

find_program(CMAKE_C_COMPILER NAMES ${TAGKANA_MINGW_TRIPLE}-gcc-posix ${TAGKANA_MINGW_TRIPLE}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${TAGKANA_MINGW_TRIPLE}-g++-posix ${TAGKANA_MINGW_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${TAGKANA_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TAGKANA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# Lets CMake run test programs (and gtest discovery) through Wine.
find_program(TAGKANA_WINE NAMES wine64 wine PATHS /usr/lib/wine)
if(TAGKANA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TAGKANA_WINE})
endif()
