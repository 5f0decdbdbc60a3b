# Cross-build for 64-bit Windows with Debian's MinGW-w64; tests run under wine64. It runs
# where the host cannot start 32-bit code, and keeps the code honest about pointer-sized
# values.
set(CW_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CW_WINE_ARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
