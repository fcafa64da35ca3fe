#!/usr/bin/env bash
# Builds libcurl as a static library from an unpacked Debian source package, with only what the
# installer uses: HTTP and HTTPS over OpenSSL, IPv6, the threaded resolver, proxy and its
# authentication. No other protocol, no IDN, no HTTP/2, no content decoding, no compiled-in CA
# path (the installer names its CA file or checks the chain against the system store itself).
#   curl.sh SOURCE_DIR PREFIX
# This file is part of the cache key of the built library: changing it rebuilds libcurl.
set -euo pipefail
source_dir=$1
prefix=$2

cmake -S "$source_dir" -B "$source_dir/build-static" -G Ninja \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_INSTALL_LIBDIR=lib \
    -DCMAKE_POSITION_INDEPENDENT_CODE=ON \
    -DBUILD_SHARED_LIBS=OFF -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF \
    -DPICKY_COMPILER=OFF \
    -DCURL_USE_OPENSSL=ON -DHTTP_ONLY=ON -DENABLE_IPV6=ON -DENABLE_THREADED_RESOLVER=ON \
    -DENABLE_UNIX_SOCKETS=OFF -DENABLE_WEBSOCKETS=OFF \
    -DCURL_DISABLE_LDAP=ON -DCURL_DISABLE_LDAPS=ON -DCURL_DISABLE_MQTT=ON \
    -DCURL_DISABLE_DOH=ON -DCURL_DISABLE_ALTSVC=ON -DCURL_DISABLE_HSTS=ON \
    -DCURL_DISABLE_NETRC=ON -DCURL_DISABLE_MIME=ON \
    -DUSE_NGHTTP2=OFF -DUSE_NGTCP2=OFF -DUSE_QUICHE=OFF -DUSE_MSH3=OFF \
    -DUSE_LIBIDN2=OFF -DCURL_USE_LIBPSL=OFF -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBSSH=OFF \
    -DCURL_USE_GSSAPI=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DCURL_ZLIB=OFF -DUSE_LIBRTMP=OFF \
    -DCURL_CA_BUNDLE=none -DCURL_CA_PATH=none -DCURL_CA_FALLBACK=OFF \
    -DOPENSSL_USE_STATIC_LIBS=ON >"$source_dir/configure.log"
ninja -C "$source_dir/build-static" -j "$(nproc)" >"$source_dir/build.log"
ninja -C "$source_dir/build-static" install >/dev/null
