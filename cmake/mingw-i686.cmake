# Cross-build for 32-bit Windows with Debian's MinGW-w64 (the program we ship); tests run
# under 32-bit Wine.
set(CW_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CW_WINE_ARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
