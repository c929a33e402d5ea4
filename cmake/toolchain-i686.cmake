# The product: 32-bit Windows, built with the posix-threads MinGW-w64 compilers.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QUORIN_TRIPLE i686-w64-mingw32)
set(QUORIN_WIDL_KIND --win32)
set(CMAKE_C_COMPILER ${QUORIN_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUORIN_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUORIN_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QUORIN_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Undecorated stdcall exports from the .def file.
set(QUORIN_EXTRA_LINK_FLAGS "-Wl,--enable-stdcall-fixup")
# Programs of this build run under the 32-bit wine loader in a win32 prefix of the build's own.
set(QUORIN_RUNS_TESTS ON)
set(QUORIN_WINE /usr/lib/wine/wine)
set(QUORIN_WINEARCH win32)
# A kernel without 32-bit support runs them through qemu's user-mode emulation, several times
# slower than the twin: the tests' time limits are scaled by this factor.
set(QUORIN_TIMEOUT_SCALE 4)
