#!/usr/bin/env bash
# Installs the Debian 12 packages of the Windows edition: the MinGW-w64 cross compilers (posix
# thread model), Wine to run the cross-built programs headless, zlib for MinGW, dpkg-dev to
# unpack Debian source packages, and Xvfb, xdotool and ImageMagick to drive and capture dialogs.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive

packages=(
    # cross toolchain and the dependencies' sources
    gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    mingw-w64-x86-64-dev libz-mingw-w64-dev dpkg-dev cmake ninja-build pkg-config make
    # running the programs: Wine (the 64-bit loader is enough) and its namespaces
    wine64 wine util-linux iproute2
    # dialogs under a virtual display
    xvfb xdotool imagemagick
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
# Both thread models may be installed; the posix one is the one the toolchain file names, and
# the plain names point at it too for anyone building by hand.
for tool in gcc g++; do
    update-alternatives --set "x86_64-w64-mingw32-$tool" "/usr/bin/x86_64-w64-mingw32-$tool-posix" \
        >/dev/null 2>&1 || true
done
