# Cross build for 64-bit Windows with Debian's MinGW-w64 (POSIX thread model), run under wine.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TALMORA_MINGW_PREFIX x86_64-w64-mingw32)
set(TALMORA_WINE_LOADER wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
