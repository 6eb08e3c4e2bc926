# The test build for 32-bit Windows: as toolchain-i686-mingw32.cmake, with the
# posix-thread compiler that GoogleTest needs. Nothing built with it ships:
# the end-to-end tests run the programs of the win32 build.
set(SHELL_MINGW_THREADS posix)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-i686-mingw32.cmake)
