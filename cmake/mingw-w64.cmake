# Cross-compiling for Windows with Debian's mingw-w64: 64-bit (package g++-mingw-w64-x86-64-posix) unless
# ZARN_MINGW_ARCH is i686 (g++-mingw-w64-i686-posix, see mingw-w64-i686.cmake). The posix flavour has
# std::thread and the C++20 library complete.
if(NOT ZARN_MINGW_ARCH)
  set(ZARN_MINGW_ARCH x86_64)
endif()
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${ZARN_MINGW_ARCH})
set(CMAKE_C_COMPILER ${ZARN_MINGW_ARCH}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZARN_MINGW_ARCH}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${ZARN_MINGW_ARCH}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ZARN_MINGW_ARCH}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The runtime (libgcc, libstdc++, winpthread) goes into each program, so no DLL has to lie beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
