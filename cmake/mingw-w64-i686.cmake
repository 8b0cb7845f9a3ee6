# Cross build for 32-bit Windows with Debian's MinGW-w64 (POSIX thread model), run under
# wine's 32-bit loader. These are the programs players get: like the game, they run on 32-bit
# and 64-bit Windows alike.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TALMORA_MINGW_PREFIX i686-w64-mingw32)
set(TALMORA_WINE_LOADER wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
