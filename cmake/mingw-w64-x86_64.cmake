# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (posix threads).
# Programs built here run on this machine under Wine, which is also how CTest
# runs the test programs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TESSARO_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TESSARO_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TESSARO_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TESSARO_MINGW_PREFIX}-windres)
set(CMAKE_AR ${TESSARO_MINGW_PREFIX}-ar)
set(CMAKE_RANLIB ${TESSARO_MINGW_PREFIX}-ranlib)

# The cross-built third-party libraries (scripts/windows-deps) sit beside the
# toolchain's own.
set(CMAKE_FIND_ROOT_PATH /usr/${TESSARO_MINGW_PREFIX} ${TESSARO_WIN_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR wine CACHE STRING "Runs the test programs")
