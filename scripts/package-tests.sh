#!/usr/bin/env bash
# Builds both packages (scripts/package.sh) and tries each as a user meets it:
#  - Debian: lintian, the package installed on this machine, the installed program run end to
#    end (the analyser simulator on a pseudo-terminal as COM3, the uploader stand-in, one
#    block, eighteen uploads), its desktop entry validated, then the package purged and
#    nothing of it left;
#  - Windows, under Wine in a throw-away prefix: the installer run silently, the installed
#    program run end to end the same way (the pseudo-terminal as Wine's COM3, the Windows
#    stand-in), the uninstaller run silently, nothing of the program left.
# Installs the Debian package system-wide (as root, or through sudo). Ends with a line
# "N passed, N failed".
set -euo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s)
bash scripts/package.sh
version=$(sed -n 's/^project(dorvik_selto VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
out=build-pkg
deb="$out/dorvik-selto_${version}_amd64.deb"
setup="$out/dorvik-selto-${version}-setup.exe"
as_root=()
[ "$(id -u)" -ne 0 ] && as_root=(sudo)

# The rig's own programs: the simulator and the stand-ins, the modem-line shim for Wine.
ninja -C "$out/linux" -j2 analyser-sim uploader-stub >/dev/null
ninja -C "$out/windows" -j2 uploader-stub-win >/dev/null
mkdir -p "$out/native"
cc -O2 -Wall -Wextra -Werror -shared -fPIC -o "$out/native/pty-modem-shim.so" \
  tests/windows/pty-modem-shim.c -ldl -lpthread

passed=0
failed=0
check() {
  local what=$1
  shift
  if "$@"; then
    echo "ok: $what"
    passed=$((passed + 1))
  else
    echo "FAILED: $what"
    failed=$((failed + 1))
  fi
}

work=$(mktemp -d /tmp/dorvik-pkg.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null || true
  if dpkg-query -W -f='${Status}' dorvik-selto 2>/dev/null | grep -q installed; then
    "${as_root[@]}" dpkg --purge dorvik-selto >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
display=
for n in $(seq 400 499); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
Xvfb "$display" -noreset -nolisten tcp -screen 0 1024x768x24 >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do DISPLAY=$display xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
export DISPLAY=$display

# One block from the simulator on a fresh pseudo-terminal; its path in $work/com3.
start_simulator() {
  rm -f "$work/com3"
  setsid "$out/linux/bin/analyser-sim" --pty "$work/com3" --blocks 1 --barcode "$1" \
    2>>"$work/sim.log" &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$work/com3" ] && break; sleep 0.05; done
}
uploads_of() {  # the uploads recorded for a barcode
  [ -f "$2" ] && grep -c "\"LabSonuc\",\"$1\"," "$2" || echo 0
}
wait_uploads() {
  for _ in $(seq 300); do
    [ "$(uploads_of "$1" "$2")" -ge 18 ] && return 0
    sleep 0.1
  done
  return 1
}
# The eighteen test numbers, each once, and five fields each.
uploads_exact() {
  [ "$(grep "\"LabSonuc\",\"$1\"," "$2" | sed -E 's/.*,"([0-9]+)","[^"]*"\]$/\1/' | sort -n |
    tr '\n' ' ')" = "37 38 39 40 41 42 43 44 45 46 47 48 49 50 51 52 53 54 " ]
}

echo "== Debian package"
lintian_out=$(lintian "$deb" 2>&1 | grep -v 'running with root privileges' || true)
[ -n "$lintian_out" ] && echo "$lintian_out"
check "lintian reports no error" bash -c '! grep -q "^E:" <<<"$1"' _ "$lintian_out"
check "the package installs" "${as_root[@]}" dpkg -i "$deb"
check "the program is on the path" test "$(command -v dorvik-selto)" = /usr/bin/dorvik-selto
check "its catalogues beside it" test -f /usr/lib/dorvik-selto/locale/tr/LC_MESSAGES/cport.mo
check "the desktop entry validates" desktop-file-validate /usr/share/applications/dorvik-selto.desktop
check "the autostart entry validates" \
  desktop-file-validate /usr/share/dorvik-selto/autostart/dorvik-selto.desktop
check "the icon in the hicolor theme" test -f /usr/share/icons/hicolor/64x64/apps/dorvik-selto.png

start_simulator DEB1
CPORT_DEVICE_COM3="$(cat "$work/com3")" DORVIK_SELTO_UPLOADER="$PWD/$out/linux/bin/uploader-stub" \
  UPLOADER_STUB_LOG="$work/deb-uploads.log" QT_QPA_PLATFORM=xcb LANG=tr_TR.UTF-8 \
  dorvik-selto >"$work/deb-program.log" 2>&1 &
program=$!
pids+=($program)
check "the installed program forwards a block: eighteen uploads" wait_uploads DEB1 "$work/deb-uploads.log"
check "each test number once" uploads_exact DEB1 "$work/deb-uploads.log"
kill -TERM "$program"
status=0
wait "$program" || status=$?
check "asked to end, it ends with 0" test "$status" -eq 0

files=$(dpkg -L dorvik-selto | while read -r f; do [ -d "$f" ] || echo "$f"; done)
check "the package purges" "${as_root[@]}" dpkg --purge dorvik-selto
left=""
for f in $files /usr/lib/dorvik-selto /usr/share/doc/dorvik-selto /usr/share/dorvik-selto; do
  if [ -e "$f" ] || [ -L "$f" ]; then left="$left $f"; fi
done
check "nothing of it is left${left:+ (left:$left)}" test -z "$left"

echo "== Windows installer under Wine"
export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
wineserver -p </dev/null >/dev/null 2>&1
wineboot -i </dev/null >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
programs="$WINEPREFIX/drive_c/Program Files/Dorvik Selto"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\DorvikSelto'
wine "$setup" /S /AUTOSTART </dev/null >/dev/null 2>&1  # returns when the installer ends
check "the installer runs silently and installs the program" test -f "$programs/dorvik-selto.exe"
check "its catalogues beside it" test -f "$programs/locale/tr/LC_MESSAGES/cport.mo"
check "a Start-menu shortcut" test -f "$menu/Dorvik Selto Hemogram.lnk"
# Wine names the folder StartUp, Windows Startup: the same folder to Windows.
startup_link() { ls "$menu"/Start[Uu]p/"Dorvik Selto Hemogram.lnk" >/dev/null 2>&1; }
check "the Startup shortcut asked for" startup_link
check "the uninstaller is registered" \
  bash -c "wine reg query '$key' /v QuietUninstallString </dev/null 2>/dev/null | grep -q 'uninstall.exe'"

start_simulator WIN1
ln -sfn "$(cat "$work/com3")" "$WINEPREFIX/dosdevices/com3"
DORVIK_SELTO_UPLOADER="$(winepath -w "$out/windows/bin/uploader-stub.exe" 2>/dev/null)" \
  UPLOADER_STUB_LOG="$(winepath -w "$work" 2>/dev/null)\\win-uploads.log" \
  LD_PRELOAD="$PWD/$out/native/pty-modem-shim.so" \
  wine "C:\\Program Files\\Dorvik Selto\\dorvik-selto.exe" >"$work/win-program.log" 2>&1 &
pids+=($!)
check "the installed program forwards a block under Wine: eighteen launches" \
  wait_uploads WIN1 "$work/win-uploads.log"
check "each test number once" uploads_exact WIN1 "$work/win-uploads.log"
wineserver -k 2>/dev/null || true

wine "$programs/uninstall.exe" /S </dev/null >/dev/null 2>&1
# The uninstaller copies itself away and finishes from there: give it a moment.
for _ in $(seq 300); do [ -e "$programs" ] || break; sleep 0.1; done
check "the uninstaller runs silently and the program's folder is gone" test ! -e "$programs"
check "the shortcuts are gone" \
  bash -c "test ! -e \"\$1\" && ! ls \"\$2\"/Start[Uu]p/'Dorvik Selto Hemogram.lnk' 2>/dev/null" \
  _ "$menu/Dorvik Selto Hemogram.lnk" "$menu"
check "the uninstall entry is gone" \
  bash -c "! wine reg query '$key' </dev/null >/dev/null 2>&1"
check "nothing named after the program is left in the prefix" \
  bash -c '[ -z "$(find "$1" -iname "*dorvik*" -print -quit)" ]' _ "$WINEPREFIX/drive_c"

echo "packaging checks: $(($(date +%s) - started)) s"
ls -l "$deb" "$setup"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
