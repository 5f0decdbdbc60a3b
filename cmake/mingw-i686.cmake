# Cross-build for 32-bit Windows with Debian's MinGW-w64; tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
# The POSIX-threads flavour: GoogleTest needs std::mutex, which the win32-threads
# flavour of Debian's MinGW lacks. Linked statically, it needs no DLL at run time.
find_program(CW_MINGW_CC NAMES i686-w64-mingw32-gcc-posix i686-w64-mingw32-gcc)
find_program(CW_MINGW_CXX NAMES i686-w64-mingw32-g++-posix i686-w64-mingw32-g++)
set(CMAKE_C_COMPILER ${CW_MINGW_CC})
set(CMAKE_CXX_COMPILER ${CW_MINGW_CXX})
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Link zlib statically: the program must not need any DLL beyond the system's.
set(ZLIB_USE_STATIC_LIBS ON)
set(ZLIB_LIBRARY /usr/i686-w64-mingw32/lib/libz.a CACHE FILEPATH "static zlib")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh --win32)
