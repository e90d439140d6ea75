# What both MinGW-w64 toolchains share; each sets CMAKE_SYSTEM_PROCESSOR and
# TAGKANA_MINGW_TRIPLE first. The posix thread model gives the full
# <thread>/<mutex>; -static keeps libgcc, libstdc++ and winpthreads inside
# each binary, so Wine needs no DLLs beyond its own.
set(CMAKE_SYSTEM_NAME Windows)

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
