# What both MinGW-w64 toolchain files share. The including file sets CMAKE_SYSTEM_PROCESSOR,
# TALMORA_MINGW_PREFIX (the compiler's target triple) and TALMORA_WINE_LOADER (the name of
# wine's loader for programs of that architecture).
set(CMAKE_SYSTEM_NAME Windows)

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

# Test executables run through wine. Debian puts its loaders (wine for 32-bit programs,
# wine64 for 64-bit ones) outside PATH; the folder is searched first so that a wrapper on
# PATH that picks a loader by itself is not taken instead.
find_program(TALMORA_WINE NAMES ${TALMORA_WINE_LOADER} PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(TALMORA_WINE NAMES ${TALMORA_WINE_LOADER})
if(TALMORA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TALMORA_WINE})
endif()
