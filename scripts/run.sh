#!/usr/bin/env bash
# The main job: installs what is missing, builds, and runs the serial component's demo on a
# pseudo-terminal.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build -j2 >/dev/null
exec build/bin/cport-demo
