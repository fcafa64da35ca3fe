#!/usr/bin/env bash
# Builds the release executable, whose only run-time dependency is the C library: libcurl (built
# here from Debian's source package, HTTP and HTTPS only), ISA-L (likewise), OpenSSL, libuv,
# Mini-XML, msgpack-c, minizip, zlib, libstdc++ and libgcc are linked statically. Output in build-release/dist/:
#   QuentaSwiftset        stripped, with a debug link to
#   QuentaSwiftset.debug  its debug symbols
#   qsw-stamp             the stamping tool (built from the same tree)
# Built libraries are cached in ${QSW_CACHE_DIR:-/var/cache/quenta-swiftset}, keyed by the source
# package version and the build recipe, so later builds only compile the installer.
set -euo pipefail
cd "$(dirname "$0")/.."
source_tree=$PWD
cache=${QSW_CACHE_DIR:-/var/cache/quenta-swiftset}
build=${QSW_RELEASE_BUILD_DIR:-$source_tree/build-release}

bash scripts/install-deps.sh
mkdir -p "$cache"
curl_prefix=$(bash scripts/release/libcurl.sh "$cache")
isal_prefix=$(bash scripts/release/libisal.sh "$cache")

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQSW_RELEASE=ON -DQSW_RELEASE_CURL_PREFIX="$curl_prefix" -DQSW_RELEASE_ISAL_PREFIX="$isal_prefix" \
    -DQSW_BUILD_TESTS=OFF -DQSW_BUILD_BENCH=OFF >/dev/null
ninja -C "$build" -j "$(nproc)" QuentaSwiftset qsw-stamp

dist=$build/dist
rm -rf "$dist.new"
mkdir -p "$dist.new"
objcopy --only-keep-debug "$build/QuentaSwiftset" "$dist.new/QuentaSwiftset.debug"
chmod 0644 "$dist.new/QuentaSwiftset.debug"
strip --strip-all -o "$dist.new/QuentaSwiftset" "$build/QuentaSwiftset"
# The link names the debug file by its base name and carries its CRC: built beside it.
(cd "$dist.new" && objcopy --add-gnu-debuglink=QuentaSwiftset.debug QuentaSwiftset)
strip --strip-all -o "$dist.new/qsw-stamp" "$build/qsw-stamp"
rm -rf "$dist"
mv "$dist.new" "$dist"
echo "release executable: $dist/QuentaSwiftset ($(stat -c %s "$dist/QuentaSwiftset") bytes)"
