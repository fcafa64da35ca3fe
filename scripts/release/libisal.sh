#!/usr/bin/env bash
# Prints the prefix of a static ISA-L (the extraction's inflate) built from Debian's libisal
# source package, building it into the cache folder (argument 1) when that cache has none for
# this source version and recipe. Debian ships the library shared only; the version is that of
# the installed development package, so that the release executable inflates as the
# development build does.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/cached-build.sh"
cache=$1

version=$(dpkg-query -W -f='${Version}' libisal-dev)
recipe=$(cat "$here/libisal.sh" "$here/cached-build.sh" | sha256sum | cut -c1-16)

build_isal() {
    local work=$1
    echo "building ISA-L $version"
    cd "$work"
    apt-get source -qq --download-only "libisal=$version"
    dpkg-source -x libisal_*.dsc src   # with Debian's patches
    cd src
    ./autogen.sh
    ./configure --prefix="$work/prefix" --enable-static --disable-shared --with-pic
    make -j "$(nproc)"
    make install
}

cached_build "$cache" isal "isal-${version//[^A-Za-z0-9.+-]/_}-$recipe" lib/libisal.a build_isal
