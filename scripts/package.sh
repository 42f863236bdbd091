#!/usr/bin/env bash
# Installs what is missing and builds both packages into build-pkg/:
#   dorvik-selto_<version>_amd64.deb    (Debian; cpack from build-pkg/linux)
#   dorvik-selto-<version>-setup.exe    (Windows; makensis over build-pkg/windows)
# The version is the project's, from CMakeLists.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
out=build-pkg
version=$(sed -n 's/^project(dorvik_selto VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "no version in CMakeLists.txt" >&2; exit 1; }
mkdir -p "$out"
started=$(date +%s)

echo "== Debian package $version"
# Debian's own hardening flags, as a package built by its tools gets them.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
# -O2 as the tests build it (GCC 12 warns falsely about std::string at -O3).
cmake -S . -B "$out/linux" -G Ninja -DCMAKE_BUILD_TYPE=Release -DWARNINGS_AS_ERRORS=ON \
  -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
ninja -C "$out/linux" -j2 dorvik-selto catalogues package-docs >/dev/null
(cd "$out/linux" && cpack -G DEB -B "$PWD/.." >/dev/null)
rm -rf "$out/_CPack_Packages"
deb="$out/dorvik-selto_${version}_amd64.deb"
[ -f "$deb" ] || { echo "no $deb" >&2; exit 1; }

echo "== Windows installer $version"
cmake -S . -B "$out/windows" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DWARNINGS_AS_ERRORS=ON >/dev/null
ninja -C "$out/windows" -j2 dorvik-selto catalogues >/dev/null
x86_64-w64-mingw32-strip -o "$out/windows/dorvik-selto.exe" "$out/windows/bin/dorvik-selto.exe"
rm -rf "$out/windows/program"
mkdir -p "$out/windows/program"
cp "$out/windows/dorvik-selto.exe" "$out/windows/program/"
cp -r "$out/windows/bin/locale" "$out/windows/program/"
setup="$out/dorvik-selto-${version}-setup.exe"
makensis -V2 -DVERSION="$version" -DPROGRAM_DIR="$PWD/$out/windows/program" \
  -DOUTFILE="$PWD/$setup" -DICON="$PWD/resources/pictures/win32/icon.ico" \
  packaging/windows/installer.nsi

echo "packages ($(($(date +%s) - started)) s):"
ls -l "$deb" "$setup"
