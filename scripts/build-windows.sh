#!/usr/bin/env bash
# Installs what is missing and cross-builds the program for Windows with MinGW-w64 into
# build-mingw/: bin/dorvik-selto.exe (one statically linked executable), its locale folder,
# the uploader stand-in bin/uploader-stub.exe and the Windows test programs; then the Linux
# programs of the test rig (the far side of Wine's COM3 and the modem-line shim) into
# build-mingw/native/.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-mingw}

scripts/setup-deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} -DWARNINGS_AS_ERRORS=ON >/dev/null
ninja -C "$build" -j2
mkdir -p "$build/native"
cc -O2 -Wall -Wextra -Werror -o "$build/native/pty-helper" tests/windows/pty-helper.c -lpthread
cc -O2 -Wall -Wextra -Werror -shared -fPIC -o "$build/native/pty-modem-shim.so" \
  tests/windows/pty-modem-shim.c -ldl -lpthread
