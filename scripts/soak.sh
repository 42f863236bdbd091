#!/usr/bin/env bash
# A long unattended run of the built program as a workstation has it: the analyser
# simulator on a pseudo-terminal behind a COM3 link, the uploader stand-in, a real X display.
# Half-way the analyser's adapter is unplugged (its far side hangs up and its name goes) and
# plugged in again. At the end every upload is checked against what the analyser printed,
# and the program's memory, descriptors and threads are shown over the run.
#
#   scripts/soak.sh [blocks, default 500]      (about 3 s a block)
set -euo pipefail
cd "$(dirname "$0")/.."
blocks=${1:-500}
first=$((blocks / 2))
second=$((blocks - first))
scripts/setup-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build dorvik-selto analyser-sim uploader-stub catalogues >/dev/null

work=$(mktemp -d /tmp/dorvik-soak.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT
display=
for n in $(seq 300 399); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
Xvfb "$display" -noreset -nolisten tcp -screen 0 1024x768x24 >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do DISPLAY=$display xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

com3="$work/com3"
log="$work/uploads.log"
expected="$work/expected.tsv"
# One analyser session: a new pseudo-terminal behind the COM3 link. The gap lets the
# program's 2.5 s wait for a block end before the next one starts.
plug_in() {
  local count=$1 seed=$2 far="$work/far-$2"
  build/bin/analyser-sim --pty "$far" --blocks "$count" --gap 1.6 --seed "$seed" \
    --expect "$expected" 2>>"$work/sim.log" &
  sim=$!
  pids+=("$sim")
  for _ in $(seq 100); do [ -s "$far" ] && break; sleep 0.05; done
  ln -sfn "$(cat "$far")" "$com3"
}
uploads() { [ -f "$log" ] && wc -l <"$log" || echo 0; }
samples="$work/samples.tsv"
printf 'seconds\tuploads\trss_kib\tfds\tthreads\n' >"$samples"
sample() {
  local rss threads fds
  rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$program/status")
  threads=$(awk '/^Threads:/ {print $2}' "/proc/$program/status")
  fds=$(find "/proc/$program/fd" -mindepth 1 -maxdepth 1 | wc -l)
  printf '%s\t%s\t%s\t%s\t%s\n' "$((SECONDS - started))" "$(uploads)" "$rss" "$fds" "$threads" \
    >>"$samples"
}
wait_uploads() {
  local want=$1 limit=$2
  for _ in $(seq "$limit"); do
    [ "$(uploads)" -ge "$want" ] && return 0
    sample
    sleep 10
  done
  return 1
}

started=$SECONDS
plug_in "$first" 1
DISPLAY=$display QT_QPA_PLATFORM=xcb CPORT_DEVICE_COM3="$com3" LANG=C.UTF-8 \
  DORVIK_SELTO_UPLOADER="$PWD/build/bin/uploader-stub" UPLOADER_STUB_LOG="$log" \
  build/bin/dorvik-selto >"$work/program.log" 2>&1 &
program=$!
pids+=("$program")
sleep 2
sample
echo "== $first blocks, then the adapter unplugged"
wait_uploads $((first * 18)) $((first / 2 + 60)) || echo "only $(uploads) uploads"
wait "$sim" || true  # the simulator hangs up a few seconds after its last block
rm -f "$com3"
sleep 5
sample
echo "== plugged in again: $second blocks"
plug_in "$second" 2
wait_uploads $((blocks * 18)) $((second / 2 + 60)) || echo "only $(uploads) uploads"
sample  # the port still open: the simulator hangs up a few seconds later
running=yes
kill -0 "$program" 2>/dev/null || running=no

# What the web system should have received: the printed values with the web system's
# numbers and a decimal comma.
awk -F '\t' 'BEGIN {
  split("WBC 37 RBC 38 HGB 39 HCT 40 MCV 41 MCH 42 MCHC 43 PLT 44 MPV 45 RDW 46 PCT 47 PDW 48 " \
        "LYM% 49 MON% 50 GRA% 51 LYM# 52 MON# 53 GRA# 54", t, " ")
  for (i = 1; i < 36; i += 2) number[t[i]] = t[i + 1]
}
{ v = $3; gsub(/\./, ",", v)
  printf "[\"https://isg.brelvo.com.tr/\",\"LabSonuc\",\"%s\",\"%s\",\"%s\"]\n", $1, number[$2], v }' \
  "$expected" | sort >"$work/want.txt"
sort "$log" >"$work/got.txt"
exact=no
cmp -s "$work/want.txt" "$work/got.txt" && exact=yes

echo "== samples (seconds, uploads, resident KiB, descriptors, threads)"
column -t "$samples"
echo "blocks sent: $(grep -c 'sent (' "$work/sim.log"), expected uploads: $(wc -l <"$work/want.txt")," \
  "recorded uploads: $(wc -l <"$work/got.txt"), exact: $exact, program running: $running"
echo "run: $((SECONDS - started)) s, files in $work"
[ "$exact" = yes ] && [ "$running" = yes ]
