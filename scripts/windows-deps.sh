#!/usr/bin/env bash
# Cross-builds, for 64-bit Windows, the libraries Debian does not ship for MinGW, from Debian's
# own source packages (patches applied), as static archives with pkg-config files:
#   OpenSSL (static, no tests), libcurl (on OpenSSL; HTTP and HTTPS only, IPv6), libuv, Mini-XML,
#   msgpack-c (the C library), minizip (from the zlib source package) and GoogleTest.
# zlib itself comes from Debian's libz-mingw-w64-dev.
#
#   bash scripts/windows-deps.sh      prints the cache folder (logs go to standard error)
#
# The folder is ${QSW_CACHE_DIR:-/var/cache/quenta-swiftset}/mingw-<key>; the key is a hash of
# the source package versions offered, the versions of the cross toolchain and of this recipe
# with the toolchain file. A folder is used only once its build completed; SOURCES inside it
# names the source versions it was built from. Needs root (apt, the cache folder) and dpkg-dev.
set -euo pipefail

repo_root="$(cd "$(dirname "$0")/.." && pwd)"
toolchain_file="$repo_root/cmake/mingw-w64-x86_64.cmake"
cache_dir="${QSW_CACHE_DIR:-/var/cache/quenta-swiftset}"
jobs="${QSW_BUILD_JOBS:-$(nproc)}"
source_packages=(openssl curl libuv1 mxml msgpack-c zlib googletest)
toolchain_packages=(gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
                    binutils-mingw-w64-x86-64 libz-mingw-w64-dev cmake)
triplet=x86_64-w64-mingw32

say() { echo "windows-deps: $*" >&2; }
fail() { say "$*"; exit 1; }

# --- Debian source packages, through an apt configuration of our own ---------------------------
# The machine's apt sources stay as they are: the deb-src entries and their lists live in the
# cache folder.
apt_dir="$cache_dir/mingw-apt"
apt_options=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=$apt_dir/none"
             -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
             -o "APT::Get::List-Cleanup=0")

write_source_list() {
    local keyring=/usr/share/keyrings/debian-archive-keyring.gpg
    mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/none"
    cat >"$apt_dir/sources.list" <<EOF
deb-src [signed-by=$keyring] http://deb.debian.org/debian bookworm main
deb-src [signed-by=$keyring] http://deb.debian.org/debian bookworm-updates main
deb-src [signed-by=$keyring] http://deb.debian.org/debian-security bookworm-security main
EOF
    if ! apt-get "${apt_options[@]}" update -qq >&2; then
        # A finished cache stays usable without the archive; a new one needs it anyway.
        [ -n "$(ls "$apt_dir/lists" 2>/dev/null | grep -v partial)" ] \
            || fail "apt-get update of the source lists failed"
        say "apt-get update failed; using the source lists of the last update"
    fi
}

# Source versions of a package that the lists offer, newest first.
offered_versions() {
    apt-cache "${apt_options[@]}" showsrc "$1" 2>/dev/null | sed -n 's/^Version: //p' \
        | sort -u | sort -r -V
}

# Fetches and unpacks a source package into $2, newest offered version first: a version the
# lists name can still be missing from the archive for a while. Prints the version used.
fetch_source() {
    local package="$1" into="$2" version
    mkdir -p "$into"
    chown _apt "$into" 2>/dev/null || true
    for version in $(offered_versions "$package"); do
        if (cd "$into" && apt-get "${apt_options[@]}" source -qq "$package=$version") \
               >>"$logs/fetch-$package.log" 2>&1; then
            echo "$version"
            return 0
        fi
        say "$package $version could not be fetched; trying an older version"
        rm -rf "${into:?}"/*
    done
    fail "no source of $package could be fetched (see $logs/fetch-$package.log)"
}

unpacked_tree() {
    local tree
    tree="$(find "$1" -mindepth 1 -maxdepth 1 -type d | head -n 1)"
    [ -n "$tree" ] || fail "no unpacked source in $1"
    echo "$tree"
}

# --- The cache key -------------------------------------------------------------------------------
key_material() {
    local package
    for package in "${source_packages[@]}"; do
        echo "source $package $(offered_versions "$package" | head -n 1)"
    done
    for package in "${toolchain_packages[@]}"; do
        echo "tool $package $(dpkg-query -W -f='${Version}' "$package" 2>/dev/null)"
    done
    sha256sum "$repo_root/scripts/windows-deps.sh" "$toolchain_file" | cut -d' ' -f1
}

# --- Builds ----------------------------------------------------------------------------------------
# run_logged <name> <command...>: output goes to the library's log, shown when the step fails.
run_logged() {
    local name="$1"; shift
    if ! "$@" >>"$logs/$name.log" 2>&1; then
        tail -n 40 "$logs/$name.log" >&2
        fail "building $name failed (log: $logs/$name.log)"
    fi
}

# cmake_library <name> <source tree> [cache entries...]
cmake_library() {
    local name="$1" tree="$2"; shift 2
    local build="$scratch/build/$name"
    run_logged "$name" cmake -S "$tree" -B "$build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain_file" -DQSW_MINGW_DEPS="$prefix" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DCMAKE_INSTALL_LIBDIR=lib -DBUILD_SHARED_LIBS=OFF "$@"
    run_logged "$name" cmake --build "$build" -j "$jobs"
    run_logged "$name" cmake --install "$build"
}

build_curl() {
    cmake_library curl "$1" -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF \
        -DCURL_USE_SCHANNEL=OFF -DCURL_WINDOWS_SSPI=OFF -DCURL_USE_OPENSSL=ON \
        -DOPENSSL_ROOT_DIR="$prefix" -DOPENSSL_USE_STATIC_LIBS=ON -DCURL_CA_BUNDLE=none \
        -DCURL_CA_PATH=none \
        -DHTTP_ONLY=ON -DENABLE_IPV6=ON -DENABLE_UNICODE=ON -DENABLE_UNIX_SOCKETS=OFF \
        -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DCURL_USE_LIBSSH2=OFF \
        -DCURL_USE_LIBPSL=OFF -DUSE_LIBIDN2=OFF -DUSE_WIN32_IDN=OFF -DUSE_NGHTTP2=OFF
    # Without it curl.h declares every function as imported from a DLL.
    local pc="$prefix/lib/pkgconfig/libcurl.pc"
    grep -q -- '-DCURL_STATICLIB' "$pc" || sed -i 's/^Cflags: .*/& -DCURL_STATICLIB/' "$pc"
}

# OpenSSL's own Configure: static archives only, the mingw64 target, no tests or docs.
build_openssl() {
    local tree="$1"
    run_logged openssl env -C "$tree" ./Configure mingw64 no-shared no-tests \
        no-engine no-module --cross-compile-prefix="$triplet-" --prefix="$prefix" \
        --libdir=lib --openssldir="$prefix/ssl" CC=gcc-posix CXX=g++-posix
    run_logged openssl make -C "$tree" -j "$jobs" build_libs
    run_logged openssl make -C "$tree" install_dev
}

build_libuv() {
    cmake_library libuv "$1" -DBUILD_TESTING=OFF -DLIBUV_BUILD_TESTS=OFF -DLIBUV_BUILD_BENCH=OFF
    # libuv always builds its DLL too; only the static archive (libuv_a.a) may be linked.
    rm -f "$prefix"/lib/libuv.dll.a "$prefix"/bin/libuv*.dll
}

build_msgpack() {
    cmake_library msgpack "$1" -DMSGPACK_ENABLE_SHARED=OFF -DMSGPACK_ENABLE_STATIC=ON \
        -DMSGPACK_BUILD_TESTS=OFF -DMSGPACK_BUILD_EXAMPLES=OFF
}

build_googletest() {
    # Win32 primitives instead of winpthread inside GoogleTest itself.
    cmake_library googletest "$1" -DBUILD_GMOCK=ON -Dgtest_disable_pthreads=ON
}

# Mini-XML builds with its own configure; only the static archive is made (its test program
# would have to run on the build machine).
build_mxml() {
    local tree="$1"
    run_logged mxml env -C "$tree" ./configure --host="$triplet" --prefix="$prefix" \
        --disable-shared CC="$triplet-gcc-posix" AR="$triplet-ar" RANLIB="$triplet-ranlib" \
        CFLAGS=-O2
    run_logged mxml make -C "$tree" -j "$jobs" libmxml.a
    run_logged mxml make -C "$tree" install-libmxml.a
    install -D -m 0644 "$tree/mxml.h" "$prefix/include/mxml.h"
    install -D -m 0644 "$tree/mxml.pc" "$prefix/lib/pkgconfig/mxml.pc"
}

# minizip is zlib's contrib/minizip; Debian builds it with libtool, here a small CMake project
# builds the same sources plus the Win32 file functions.
build_minizip() {
    local tree="$1/contrib/minizip" version="$2"
    cat >"$tree/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.16)
project(minizip C)
find_package(ZLIB REQUIRED)
add_library(minizip STATIC ioapi.c mztools.c unzip.c zip.c iowin32.c)
target_link_libraries(minizip PRIVATE ZLIB::ZLIB)
install(TARGETS minizip ARCHIVE DESTINATION lib)
install(FILES crypt.h ioapi.h mztools.h unzip.h zip.h iowin32.h DESTINATION include/minizip)
CMAKE
    cmake_library minizip "$tree"
    cat >"$prefix/lib/pkgconfig/minizip.pc" <<PC
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include/minizip

Name: minizip
Description: Minizip zip file manipulation library
Version: $version
Requires.private: zlib
Libs: -L\${libdir} -lminizip
Cflags: -I\${includedir}
PC
}

# build_package <source package>: fetch, build, install into $prefix; records the version.
build_package() {
    local package="$1" version tree started="$SECONDS"
    version="$(fetch_source "$package" "$scratch/src/$package")"
    tree="$(unpacked_tree "$scratch/src/$package")"
    case "$package" in
        openssl) build_openssl "$tree" ;;
        curl) build_curl "$tree" ;;
        libuv1) build_libuv "$tree" ;;
        mxml) build_mxml "$tree" ;;
        msgpack-c) build_msgpack "$tree" ;;
        zlib) build_minizip "$tree" "$(echo "$version" | sed 's/^[0-9]*://; s/[.+~-]dfsg.*//')" ;;
        googletest) build_googletest "$tree" ;;
        *) fail "no recipe for $package" ;;
    esac
    echo "$package $version" >>"$prefix/SOURCES"
    say "$package $version built in $((SECONDS - started)) s"
}

build_cache() {
    local started="$SECONDS" package
    rm -rf "$prefix" "$logs"
    mkdir -p "$prefix/lib/pkgconfig" "$logs"
    scratch="$(mktemp -d "${TMPDIR:-/tmp}/qsw-mingw-build.XXXXXX")"
    trap 'rm -rf "$scratch"' EXIT
    for package in "${source_packages[@]}"; do
        build_package "$package"
    done
    touch "$prefix/.complete"
    say "dependency cache built in $((SECONDS - started)) s: $prefix"
}

main() {
    [ "$(id -u)" -eq 0 ] || fail "needs root (apt and $cache_dir)"
    command -v dpkg-source >/dev/null || fail "dpkg-source is missing (dpkg-dev)"
    mkdir -p "$cache_dir"
    exec 8>"$cache_dir/mingw.lock"
    flock 8
    write_source_list
    local key
    key="$(key_material | sha256sum | cut -c1-16)"
    prefix="$cache_dir/mingw-$key"
    logs="$cache_dir/logs/mingw-$key"
    if [ -e "$prefix/.complete" ]; then
        say "using $prefix"
    else
        build_cache
    fi
    echo "$prefix"
}

main "$@"
