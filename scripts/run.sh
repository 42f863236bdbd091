#!/usr/bin/env bash
# The main job: installs what is missing, builds, and runs the program against the
# analyser simulator on a pseudo-terminal standing in for COM3, with the uploader
# stand-in; prints the uploads it recorded as a table, then stops everything it started.
# With WINDOWS=1 the Windows program runs under Wine instead, with the pseudo-terminal as
# Wine's COM3 and the Windows stand-in.
#   BLOCKS=3 GAP=4 bash scripts/run.sh
#   WINDOWS=1 bash scripts/run.sh
set -euo pipefail
cd "$(dirname "$0")/.."
windows=${WINDOWS:-0}
scripts/setup-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
if [ "$windows" = 1 ]; then
  ninja -C build -j2 analyser-sim >/dev/null
  scripts/build-windows.sh >/dev/null
else
  ninja -C build -j2 >/dev/null
fi

blocks=${BLOCKS:-3}
gap=${GAP:-4}
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  if [ "$windows" = 1 ]; then wineserver -k 2>/dev/null || true; fi
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# On the user's display if there is one, otherwise on a virtual one.
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  echo "window: on display $DISPLAY"
else
  export DISPLAY=":$((90 + RANDOM % 100))"
  Xvfb "$DISPLAY" -noreset -nolisten tcp -screen 0 1024x768x24 >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${DISPLAY#:}" ] && break; sleep 0.1; done
  echo "window: on a virtual display ($DISPLAY)"
fi

if [ "$windows" = 1 ]; then
  # A prefix of its own, whose windows the X server does not manage (no window manager).
  export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p "$WINEPREFIX"
  wineserver -p </dev/null >/dev/null 2>&1
  wineboot -i </dev/null >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
  echo "Wine: prefix ready"
fi

# The simulator in a session of its own: its pseudo-terminal is nobody's controlling terminal.
setsid build/bin/analyser-sim --pty "$work/com3" --blocks "$blocks" --gap "$gap" \
  2>"$work/sim.log" &
sim=$!
pids+=($sim)
for _ in $(seq 50); do [ -s "$work/com3" ] && break; sleep 0.1; done
com3=$(cat "$work/com3")
echo "COM3: $com3 (analyser simulator, $blocks blocks, ${gap}s apart)"

if [ "$windows" = 1 ]; then
  ln -sfn "$com3" "$WINEPREFIX/dosdevices/com3"
  # Wine's serial driver needs modem lines, which a pseudo-terminal lacks: the shim answers.
  DORVIK_SELTO_UPLOADER="$(winepath -w build-mingw/bin/uploader-stub.exe 2>/dev/null)" \
    UPLOADER_STUB_LOG="$(winepath -w "$work" 2>/dev/null)\\uploads.log" \
    LD_PRELOAD="$PWD/build-mingw/native/pty-modem-shim.so" \
    wine build-mingw/bin/dorvik-selto.exe >"$work/program.log" 2>&1 &
  echo "program: build-mingw/bin/dorvik-selto.exe under Wine"
else
  CPORT_DEVICE_COM3="$com3" DORVIK_SELTO_UPLOADER="$PWD/build/bin/uploader-stub" \
    UPLOADER_STUB_LOG="$work/uploads.log" QT_QPA_PLATFORM=xcb \
    build/bin/dorvik-selto 2>"$work/program.log" &
fi
pids+=($!)

expected=$((blocks * 18))
for _ in $(seq $((blocks * (gap + 6) * 10 + 100))); do
  [ -f "$work/uploads.log" ] && [ "$(wc -l <"$work/uploads.log")" -ge "$expected" ] && break
  sleep 0.1
done
sed 's/^/simulator: /' "$work/sim.log"

echo
printf '%-22s %-12s %s\n' "barcode" "test number" "value"
printf '%-22s %-12s %s\n' "-------" "-----------" "-----"
count=0
if [ -f "$work/uploads.log" ]; then
  # Each line is a JSON array: base address, verb, barcode, test number, value.
  while IFS= read -r line; do
    row=$(printf '%s' "$line" | sed -E 's/^\["([^"]*)","([^"]*)","((\\.|[^"\\])*)","([^"]*)","((\\.|[^"\\])*)"\]$/\3\t\5\t\6/')
    IFS=$'\t' read -r barcode number value <<<"$row"
    printf '%-22s %-12s %s\n' "$barcode" "$number" "$value"
    count=$((count + 1))
  done < <(sort -t'"' -k6,6 -k8,8n "$work/uploads.log")
fi
echo
echo "$count uploads recorded for $blocks blocks (expected $expected)"
[ "$count" -eq "$expected" ]
