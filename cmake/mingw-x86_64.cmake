# Cross-compiling for 64-bit Windows with MinGW-w64 (posix threads, static):
# the same program for 64-bit plug-ins, and the build that runs on hosts that
# cannot execute 32-bit code at all.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(PILTRIN_FLAVOUR x86_64)
set(CMAKE_C_COMPILER   x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER  x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The 64-bit loader itself: Debian's wine wrapper prefers the 32-bit loader
# whenever it is installed, and that one cannot start a 64-bit program.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
