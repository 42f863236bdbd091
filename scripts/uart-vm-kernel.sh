#!/usr/bin/env bash
# Prints the path of Debian's kernel for the UART rig, taken from its package into DIR
# without installing it (its modules are not needed: the 8250 driver and its PCI part are
# built in). Downloads it once.
#
#   scripts/uart-vm-kernel.sh DIR
set -euo pipefail
vm=$1
mkdir -p "$vm"
kernel=$(find "$vm" -maxdepth 1 -name 'vmlinuz-*' | head -n1)
if [ -z "$kernel" ]; then
  echo "== kernel" >&2
  package=$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-/ {print $2; exit}')
  if ! (cd "$vm" && apt-get download "$package" >/dev/null 2>&1); then
    as_root=()
    [ "$(id -u)" -ne 0 ] && as_root=(sudo)
    "${as_root[@]}" apt-get update -qq
    (cd "$vm" && apt-get download "$package" >/dev/null 2>&1)
  fi
  dpkg-deb --fsys-tarfile "$vm"/"$package"_*.deb | tar -x -C "$vm" --wildcards './boot/vmlinuz-*'
  mv "$vm"/boot/vmlinuz-* "$vm"/
  rm -rf "$vm/boot" "$vm"/"$package"_*.deb
  kernel=$(find "$vm" -maxdepth 1 -name 'vmlinuz-*' | head -n1)
fi
echo "$kernel"
