# Cross build for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix: the
# POSIX thread model, which std::thread and std::mutex need). Only what needs no Qt is
# built; the test programs run under Wine (scripts/wine-tests.sh).
#
#   cmake -S . -B build-mingw -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Debian has no Qt for MinGW: the window and its tools stay out.
set(WITH_QT OFF CACHE BOOL "Build the window, the lamp control and the tools (Qt 6)")

# The C++ runtime and the thread library linked in: the programs need no MinGW DLL beside
# them, on Windows or under Wine.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test discovery and CTest run the programs under Wine, in the environment the caller set
# up (scripts/wine-tests.sh makes a throw-away prefix).
find_program(WINE_PROGRAM wine)
if(WINE_PROGRAM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_PROGRAM})
endif()
