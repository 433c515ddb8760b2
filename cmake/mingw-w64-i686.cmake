# Cross-compiling for 32-bit Windows, as the real game is built.
set(ZARN_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
