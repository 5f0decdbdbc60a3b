# What both MinGW-w64 toolchain files share; each sets CW_MINGW_TRIPLE (the compiler
# prefix), CMAKE_SYSTEM_PROCESSOR and CW_WINE_ARCH (win32 or win64) before including it.
set(CMAKE_SYSTEM_NAME Windows)
# The POSIX-threads flavour: GoogleTest needs std::mutex, which the win32-threads
# flavour of Debian's MinGW lacks. Linked statically, it needs no DLL at run time.
find_program(CW_MINGW_CC NAMES ${CW_MINGW_TRIPLE}-gcc-posix ${CW_MINGW_TRIPLE}-gcc)
find_program(CW_MINGW_CXX NAMES ${CW_MINGW_TRIPLE}-g++-posix ${CW_MINGW_TRIPLE}-g++)
set(CMAKE_C_COMPILER ${CW_MINGW_CC})
set(CMAKE_CXX_COMPILER ${CW_MINGW_CXX})
set(CMAKE_RC_COMPILER ${CW_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${CW_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Link zlib statically: the program must not need any DLL beyond the system's.
set(ZLIB_USE_STATIC_LIBS ON)
set(ZLIB_LIBRARY /usr/${CW_MINGW_TRIPLE}/lib/libz.a CACHE FILEPATH "static zlib")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh --${CW_WINE_ARCH})
