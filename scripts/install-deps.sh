#!/usr/bin/env bash
# Installs the Debian 12 packages needed to build, test, benchmark and demonstrate.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive

packages=(
    # build
    build-essential cmake ninja-build pkg-config
    libcurl4-openssl-dev libssl-dev zlib1g-dev libminizip-dev libmxml-dev
    libuv1-dev libmsgpack-dev libgtest-dev libacl1-dev libisal-dev
    # tests, demo and benchmarks
    python3 python3-msgpack openssl nginx-light tinyproxy iproute2 tmux
    # proxy scripts (the installer loads libpacparser at run time) and GNOME's proxy settings
    libpacparser1 libglib2.0-bin gsettings-desktop-schemas
    curl unzip zip libarchive-tools time procps locales acl
    # the sanitizer build; llvm brings llvm-symbolizer, by whose names the leak suppressions match
    clang libclang-rt-14-dev clang-format llvm
    # release build and its bare-endpoint test; ISA-L's static archive is built from source
    debootstrap binutils nasm autoconf automake libtool
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
# The packaged nginx and tinyproxy daemons are not used (tests start their own instances on
# ports of their own); stop only those daemons, by their pid files, never other instances.
for pidfile in /run/nginx.pid /run/tinyproxy/tinyproxy.pid; do
    if [ -s "$pidfile" ]; then kill "$(cat "$pidfile")" >/dev/null 2>&1 || true; fi
done
# The terminal tests show the installer in a German locale; the C library needs it generated.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    sed -i 's/^# *\(de_DE\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    locale-gen >/dev/null
fi
