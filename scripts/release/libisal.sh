#!/usr/bin/env bash
# Prints the prefix of a static ISA-L (the extraction's inflate) built from Debian's libisal
# source package, building it into the cache folder (argument 1) when that cache has none for
# this source version and recipe. Debian ships the library shared only; the version is that of
# the installed development package, so that the release executable inflates as the
# development build does.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cache=$1

version=$(dpkg-query -W -f='${Version}' libisal-dev)
recipe=$(sha256sum "$here/libisal.sh" | cut -c1-16)
key="isal-${version//[^A-Za-z0-9.+-]/_}-$recipe"
prefix=$cache/$key
if [ -f "$prefix/lib/libisal.a" ]; then
    echo "$prefix"
    exit 0
fi

# One builder at a time per cache; a second one finds the result when the lock is released.
exec 9>"$cache/.isal.lock"
flock 9
if [ -f "$prefix/lib/libisal.a" ]; then
    echo "$prefix"
    exit 0
fi

bash "$here/debian-sources.sh" >&2
work=$(mktemp -d "$cache/.isal-build.XXXXXX")
trap 'rm -rf "$work"' EXIT
echo "building ISA-L $version into $prefix" >&2
(
    cd "$work"
    apt-get source -qq --download-only "libisal=$version" >&2
    dpkg-source -x libisal_*.dsc src >&2   # with Debian's patches
    cd src
    ./autogen.sh >&2
    ./configure --prefix="$work/prefix" --enable-static --disable-shared --with-pic >&2
    make -j "$(nproc)" >&2
    make install >&2
)
rm -rf "$prefix"
mv "$work/prefix" "$prefix"
echo "$prefix"
