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
root="$vm/root"
rm -rf "$root"
mkdir -p "$root"/{bin,dev,proc,sys,tmp}
cp /bin/busybox "$root/bin/busybox"
for tool in sh mount reboot grep cat; do ln -s busybox "$root/bin/$tool"; done
cp "$build/bin/bench-serial" "$root/bench-serial"
# The program's libraries at the paths it was linked against, the loader among them.
for lib in $(ldd "$build/bin/bench-serial" | grep -oE '/[^ ]+'); do
  mkdir -p "$root$(dirname "$lib")"
  cp -L "$lib" "$root$lib"
done
cat >"$root/init" <<EOF
#!/bin/sh
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
echo "guest: \$(grep -c ^processor /proc/cpuinfo) CPUs; ttyS1: \$(cat /proc/tty/driver/serial | grep '^1:')"
/bench-serial --device /dev/ttyS1 $*
echo "BENCH-EXIT \$?"
reboot -f
EOF
chmod +x "$root/init"
(cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) >"$vm/initrd.gz"

# Software emulation: KVM here (nested) was seen to hang the guest before its first line.
accel=${ACCEL:-tcg}
echo "== guest ($kernel, accel $accel, 2 CPUs)"
timeout 900 qemu-system-x86_64 -accel "$accel" -smp 2 -m 1024 -nographic -nodefaults -no-reboot \
  -kernel "$kernel" -initrd "$vm/initrd.gz" \
  -append "console=ttyS0 quiet panic=-1" \
  -serial stdio -serial null | tee "$vm/guest.log"
grep -q '^BENCH-EXIT 0' "$vm/guest.log"
