#!/usr/bin/env bash
# Writes DIR/initrd.gz for the UART rig: busybox, PROGRAM as /PROGRAM's name with the shared
# libraries it links (none for a static one), and an /init that mounts the kernel's file
# systems, runs the shell command RUN, prints "MARKER <its exit status>" and powers off.
#
#   scripts/uart-vm-initramfs.sh DIR PROGRAM MARKER RUN
set -euo pipefail
vm=$1 program=$2 marker=$3 run=$4
root="$vm/root"
rm -rf "$root"
mkdir -p "$root"/{bin,dev,proc,sys,tmp}
cp /bin/busybox "$root/bin/busybox"
for tool in sh mount reboot grep cat; do ln -s busybox "$root/bin/$tool"; done
cp "$program" "$root/$(basename "$program")"
# The libraries at the paths the program was linked against, the loader among them.
for lib in $(ldd "$program" 2>/dev/null | grep -oE '/[^ ]+' || true); do
  mkdir -p "$root$(dirname "$lib")"
  cp -L "$lib" "$root$lib"
done
cat >"$root/init" <<EOF
#!/bin/sh
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
$run
echo "$marker \$?"
reboot -f
EOF
chmod +x "$root/init"
(cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) >"$vm/initrd.gz"
