#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12; quiet when all is there.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  clang-format gettext
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libgl-dev
  xvfb xauth xdotool x11-utils xclip openbox libxcb1-dev
  fonts-liberation fonts-dejavu-core
  g++-mingw-w64-x86-64-posix wine wine64
  qemu-system-x86 busybox-static cpio
  dpkg-dev lintian desktop-file-utils nsis
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

# As root directly; as a user through sudo, for the installation only.
as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "missing packages (run as root, or install sudo, to install them): ${missing[*]}" >&2
    exit 1
  fi
  as_root=(sudo)
fi
echo "installing: ${missing[*]}"
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
