#!/usr/bin/env bash
# Draws the raster pictures under resources/pictures/ from draw/DrawPictures.cpp. Run it after
# changing the drawing and commit the pictures; the program's build only reads them.
#   scripts/draw-pictures.sh              build, then draw into resources/pictures/
#   scripts/draw-pictures.sh --preview D  also write enlarged PNG copies of every picture to D
set -euo pipefail
cd "$(dirname "$0")/.."

preview=""
if [ "${1:-}" = "--preview" ]; then
  preview="${2:?--preview needs a folder}"
fi

out=build-pictures
mkdir -p "$out"
# One translation unit: a plain compiler call is enough. Qt 6 wants position-independent code.
# shellcheck disable=SC2046  # pkg-config prints several words on purpose
g++ -std=c++20 -O1 -fPIC -Wall -Wextra -Wpedantic \
  resources/pictures/draw/DrawPictures.cpp -o "$out/DrawPictures" \
  $(pkg-config --cflags --libs Qt6Gui)

export QT_QPA_PLATFORM=offscreen
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  export XDG_RUNTIME_DIR="$PWD/$out/runtime"
  mkdir -p "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
fi
"$out/DrawPictures" resources/pictures
if [ -n "$preview" ]; then
  "$out/DrawPictures" --preview resources/pictures "$preview"
fi
