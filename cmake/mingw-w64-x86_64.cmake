# Cross build for 64-bit Windows with Debian's MinGW-w64 (POSIX thread model), run under wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TALMORA_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TALMORA_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TALMORA_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TALMORA_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TALMORA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One file per program: the C and C++ runtimes and the thread library are linked in, so
# nothing but the system's own DLLs is needed beside the executable.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(ZLIB_USE_STATIC_LIBS ON)

# Test executables run through wine. Debian's wine64 package puts the loader outside PATH.
find_program(TALMORA_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(TALMORA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TALMORA_WINE})
endif()
