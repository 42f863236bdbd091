#!/usr/bin/env bash
# Cross-builds the parts without Qt for Windows (MinGW-w64, into build-mingw/) and runs their
# tests under Wine, headless, in a throw-away prefix. Wine's COM3 is a pseudo-terminal held
# by tests/windows/pty-helper.c; the test programs get tests/windows/pty-modem-shim.c
# preloaded, which answers the modem-line calls a pty refuses. Prints CTest's summary and
# exits non-zero when a test failed.
#
#   scripts/wine-tests.sh [extra ctest arguments, e.g. -R PortOnCom3]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-mingw}

scripts/setup-deps.sh

echo "== build $build (MinGW-w64)"
started=$(date +%s)
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWARNINGS_AS_ERRORS=ON >/dev/null
ninja -C "$build" -j2
# The far side and the shim are Linux programs of the test rig, built natively.
mkdir -p "$build/native"
cc -O2 -Wall -Wextra -Werror -o "$build/native/pty-helper" tests/windows/pty-helper.c -lpthread
cc -O2 -Wall -Wextra -Werror -shared -fPIC -o "$build/native/pty-modem-shim.so" \
  tests/windows/pty-modem-shim.c -ldl -lpthread
shim="$(cd "$build/native" && pwd)/pty-modem-shim.so"
built=$(date +%s)
echo "cross build: $((built - started)) s"

# Wine needs no X server for this; it must not try one, nor install Mono or Gecko.
unset DISPLAY WAYLAND_DISPLAY
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
WINEPREFIX=$(mktemp -d /tmp/cport-wine.XXXXXX)
export WINEPREFIX
rig="$WINEPREFIX/rig"
helper_pid=
cleanup() {
  if [ -n "$helper_pid" ]; then
    kill "$helper_pid" 2>/dev/null || true
  fi
  wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT

echo "== Wine prefix $WINEPREFIX"
# The server first, kept running for the whole run, then the prefix (about 5 s).
wineserver -p </dev/null >/dev/null 2>&1
wineboot -i </dev/null >/dev/null 2>&1
mkdir -p "$rig"

# COM3 is the link dosdevices/com3. The helper runs in a session of its own, so that
# wineserver never takes the pty as its controlling terminal.
setsid "$build/native/pty-helper" "$WINEPREFIX/dosdevices/com3" "$rig/lines" "$rig/port" \
  </dev/null >"$rig/helper.log" 2>&1 &
helper_pid=$!
for _ in $(seq 100); do
  [ -s "$rig/port" ] && break
  sleep 0.05
done
if [ ! -s "$rig/port" ]; then
  echo "pty-helper did not start:" >&2
  cat "$rig/helper.log" >&2
  exit 1
fi
ready=$(date +%s)
echo "prefix and far side: $((ready - built)) s"

echo "== test $build (Wine)"
status=0
PTY_HELPER_PORT=$(cat "$rig/port") PTY_SHIM_LINES="$rig/lines" \
  LD_PRELOAD="$shim" \
  ctest --test-dir "$build" --output-on-failure -j2 "$@" || status=1
finished=$(date +%s)
echo "Wine run: $((finished - ready)) s (cross build $((built - started)) s, total $((finished - started)) s)"
exit $status
