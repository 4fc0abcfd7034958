# Cross-builds the 32-bit Windows program with Debian's mingw-w64 (i686-w64-mingw32).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QX_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
