#!/usr/bin/env bash
# The serial component on the Linux kernel's own 8250 UART driver: boots Debian's kernel
# under QEMU (software emulation) with a busybox initramfs whose /init runs our statically
# linked guest test program, and plays the far side of the guest's ports from the host
# (tests/uart/uart-vm-host.cpp). Builds what it needs; ends with a line "N passed, N failed".
#
#   scripts/uart-vm-tests.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
build=${BUILD_DIR:-build}
vm="$build/uart-vm"
mkdir -p "$vm"

echo "== build $build (guest test program, host side)"
cmake -S . -B "$build" -G Ninja -DWARNINGS_AS_ERRORS=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$build" -j2 uart_guest_tests uart-vm-host pty-modem-shim >/dev/null

kernel=$(scripts/uart-vm-kernel.sh "$vm")

echo "== initramfs"
scripts/uart-vm-initramfs.sh "$vm" "$build/bin/uart_guest_tests" UART-TESTS-EXIT \
  "/uart_guest_tests --gtest_color=no"

echo "== guest ($kernel)"
started=$(date +%s)
status=0
timeout 600 "$build/bin/uart-vm-host" --kernel "$kernel" --initrd "$vm/initrd.gz" \
  --shim "$PWD/$build/bin/pty-modem-shim.so" | tee "$vm/guest.log" || status=$?
passed=$(grep -oE '^\[  PASSED  \] [0-9]+ test' "$vm/guest.log" | grep -oE '[0-9]+' | tail -n1 || true)
failed=$(grep -oE '^\[  FAILED  \] [0-9]+ test' "$vm/guest.log" | grep -oE '[0-9]+' | tail -n1 || true)
passed=${passed:-0}
failed=${failed:-0}
if [ "$status" -ne 0 ] && [ "$failed" -eq 0 ]; then
  failed=1  # the guest did not get to its end
fi
echo "UART run: $(($(date +%s) - started)) s"
echo "$passed passed, $failed failed"
[ "$status" -eq 0 ] && [ "$failed" -eq 0 ]
