#!/usr/bin/env bash
# Cross-builds the program for Windows (MinGW-w64, into build-mingw/) and runs its tests
# under Wine in a throw-away prefix: headless, but for the window's tests (label gui), which
# get a virtual display of their own. Wine's COM3 is a pseudo-terminal held
# by tests/windows/pty-helper.c; the test programs get tests/windows/pty-modem-shim.c
# preloaded, which answers the modem-line calls a pty refuses. Prints CTest's summary and
# exits non-zero when a test failed.
#
#   scripts/wine-tests.sh [extra ctest arguments, e.g. -R PortOnCom3]
#
# With SCREENSHOTS=FOLDER it also saves the window's pages there as PNG files (the same
# pages as QT_QPA_PLATFORM=offscreen build/bin/screenshot-pages FOLDER saves on Linux).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-mingw}

echo "== build $build (MinGW-w64)"
started=$(date +%s)
BUILD_DIR=$build scripts/build-windows.sh
shim="$(cd "$build/native" && pwd)/pty-modem-shim.so"
built=$(date +%s)
echo "cross build: $((built - started)) s"

# Wine gets a virtual display of its own from the start (the window's tests need one, and
# Wine's desktop takes its display when the prefix starts); it must not install Mono or
# Gecko.
unset WAYLAND_DISPLAY
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
WINEPREFIX=$(mktemp -d /tmp/cport-wine.XXXXXX)
export WINEPREFIX
rig="$WINEPREFIX/rig"
helper_pid=
xvfb_pid=
cleanup() {
  for pid in $helper_pid $xvfb_pid; do
    kill "$pid" 2>/dev/null || true
  done
  wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT

echo "== Wine prefix $WINEPREFIX"
mkdir -p "$rig"
# A display free at this moment, kept without resets for the whole run.
display=
for n in $(seq 200 299); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
    display=":$n"
    break
  fi
done
Xvfb "$display" -noreset -nolisten tcp -screen 0 1024x768x24 >"$rig/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  DISPLAY=$display xdpyinfo >/dev/null 2>&1 && break
  sleep 0.1
done
export DISPLAY=$display
# The server first, kept running for the whole run, then the prefix (about 5 s).
wineserver -p </dev/null >/dev/null 2>&1
wineboot -i </dev/null >/dev/null 2>&1
# Windows the X server does not manage: without a window manager Wine would otherwise wait
# two seconds for each window it hides or destroys.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
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
export PTY_HELPER_PORT PTY_SHIM_LINES="$rig/lines"
PTY_HELPER_PORT=$(cat "$rig/port")
LD_PRELOAD="$shim" ctest --test-dir "$build" --output-on-failure -j2 -LE gui "$@" 2>&1 |
  tee "$rig/ctest-headless.log" || status=1

LD_PRELOAD="$shim" \
  ctest --test-dir "$build" --output-on-failure -L gui "$@" 2>&1 | tee "$rig/ctest-gui.log" ||
  status=1
if [ -n "${SCREENSHOTS:-}" ]; then
  mkdir -p "$SCREENSHOTS"
  LD_PRELOAD="$shim" wine "$build/bin/screenshot-pages.exe" "$(winepath -w "$SCREENSHOTS")" \
    </dev/null || status=1
  echo "screenshots: $(ls "$SCREENSHOTS")"
fi
# One summary line for both runs, as the test command counts them.
passed=0
total=0
for log in "$rig/ctest-headless.log" "$rig/ctest-gui.log"; do
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n1 || true)
  if [[ $line =~ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+) ]]; then
    total=$((total + BASH_REMATCH[2]))
    passed=$((passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
  elif ! grep -q 'No tests were found' "$log"; then
    status=1
  fi
done
echo "Wine: $((passed * 100 / (total > 0 ? total : 1)))% tests passed, $((total - passed)) tests failed out of $total"
finished=$(date +%s)
echo "Wine run: $((finished - ready)) s (cross build $((built - started)) s, total $((finished - started)) s)"
exit $status
