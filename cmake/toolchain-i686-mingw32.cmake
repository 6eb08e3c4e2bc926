# Cross build for 32-bit Windows with mingw-w64: the toolchain of the shipped
# programs and of the shell library as a program built on it links it.
#
# The win32-thread variant of the compiler is used, named with its suffix so
# that the system's choice of default variant does not matter: its static
# runtime imports only functions that Windows 95/98 and NT 4.0 export. The
# posix-thread variant links winpthreads, which imports functions of Windows
# XP and Vista, so that the loader of older systems refuses the program.
# GoogleTest needs std::mutex, which the win32-thread variant lacks; the
# tests are built with toolchain-i686-mingw32-posix.cmake instead.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
if(NOT SHELL_MINGW_THREADS)
    set(SHELL_MINGW_THREADS win32)
endif()
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-${SHELL_MINGW_THREADS})
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-${SHELL_MINGW_THREADS})
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# CTest and the build's own tools run the cross-built programs under Wine: in
# this source tree through wine-run beside this file (which picks the tests'
# prefix), elsewhere (the copy installed with the SDK) through wine itself
# when it is there. A build on Windows needs no emulator.
if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/wine-run)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
elseif(NOT CMAKE_HOST_WIN32)
    find_program(SHELL_WINE wine)
    if(SHELL_WINE)
        set(CMAKE_CROSSCOMPILING_EMULATOR ${SHELL_WINE})
    endif()
endif()
