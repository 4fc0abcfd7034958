# Cross-builds the 64-bit Windows program with Debian's mingw-w64 (x86_64-w64-mingw32).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QX_MINGW_PREFIX x86_64-w64-mingw32)
# Prefer the win32-threads flavour: the posix one links winpthread, a DLL we do not ship.
find_program(CMAKE_C_COMPILER NAMES ${QX_MINGW_PREFIX}-gcc-win32 ${QX_MINGW_PREFIX}-gcc)
find_program(CMAKE_CXX_COMPILER NAMES ${QX_MINGW_PREFIX}-g++-win32 ${QX_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${QX_MINGW_PREFIX}-windres)
set(CMAKE_STRIP ${QX_MINGW_PREFIX}-strip)
set(CMAKE_OBJDUMP ${QX_MINGW_PREFIX}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${QX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
