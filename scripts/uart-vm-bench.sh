#!/usr/bin/env bash
# bench-serial's latency run on the Linux kernel's own 8250 UART driver: boots Debian's kernel
# under QEMU with an initramfs holding bench-serial and the libraries it links, and runs it
# with the guest's ttyS1 in loopback mode (the UART's transmitter wired to its own receiver
# inside the emulated chip), ours beside QSerialPort on the same driver, under software
# emulation (ACCEL=kvm to try KVM).
#
#   scripts/uart-vm-bench.sh [bench-serial options, e.g. --quick]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
build=${BUILD_DIR:-build}
vm="$build/uart-vm-bench"
mkdir -p "$vm"

echo "== build $build (bench-serial)"
cmake -S . -B "$build" -G Ninja -DWARNINGS_AS_ERRORS=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$build" -j2 bench-serial >/dev/null

kernel=$(scripts/uart-vm-kernel.sh "$build/uart-vm")

echo "== initramfs"
scripts/uart-vm-initramfs.sh "$vm" "$build/bin/bench-serial" BENCH-EXIT \
  "echo \"guest: \$(grep -c ^processor /proc/cpuinfo) CPUs; ttyS1: \$(grep '^1:' /proc/tty/driver/serial)\"
/bench-serial --device /dev/ttyS1 $*"

# Software emulation: KVM here (nested) was seen to hang the guest before its first line.
accel=${ACCEL:-tcg}
echo "== guest ($kernel, accel $accel, 2 CPUs)"
timeout 900 qemu-system-x86_64 -accel "$accel" -smp 2 -m 1024 -nographic -nodefaults -no-reboot \
  -kernel "$kernel" -initrd "$vm/initrd.gz" \
  -append "console=ttyS0 quiet panic=-1" \
  -serial stdio -serial null | tee "$vm/guest.log"
grep -q '^BENCH-EXIT 0' "$vm/guest.log"
