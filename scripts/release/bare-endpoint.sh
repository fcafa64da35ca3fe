#!/usr/bin/env bash
# Prints the root of a bare Debian 12 system (debootstrap --variant=minbase bookworm) for the
# release executable's chroot test, making it first when the cache has none. The tree is cached
# in ${QSW_CACHE_DIR:-/var/cache/quenta-swiftset}, keyed by suite, variant and month, and is
# only ever read by the test (which lays its own files over it).
set -euo pipefail
cache=${QSW_CACHE_DIR:-/var/cache/quenta-swiftset}
suite=bookworm
root=$cache/endpoint-$suite-minbase-$(date -u +%Y-%m)
if [ -x "$root/bin/sh" ] && [ -f "$root/.complete" ]; then
    echo "$root"
    exit 0
fi

mkdir -p "$cache"
exec 9>"$cache/.endpoint.lock"
flock 9
if [ -x "$root/bin/sh" ] && [ -f "$root/.complete" ]; then
    echo "$root"
    exit 0
fi
# The machine's own mirror of the main archive, as apt knows it (from its fetched indexes).
mirror_of_suite() {
    apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(TARGET_OF)' |
        awk -v suite="$suite" '$2 == suite && $3 == "deb" { print $1; exit }'
}
mirror=$(mirror_of_suite)
if [ -z "$mirror" ]; then
    apt-get update -qq >&2
    mirror=$(mirror_of_suite)
fi
if [ -z "$mirror" ]; then
    echo "no $suite package source is configured on this machine" >&2
    exit 1
fi
work=$(mktemp -d "$cache/.endpoint-build.XXXXXX")
trap 'rm -rf "$work"' EXIT
echo "making a bare $suite system in $root" >&2
debootstrap --variant=minbase "$suite" "$work/root" "$mirror" >"$work/debootstrap.log" 2>&1 || {
    tail -20 "$work/debootstrap.log" >&2
    exit 1
}
rm -rf "$work/root/var/cache/apt/archives/"*.deb
touch "$work/root/.complete"
rm -rf "$root"
mv "$work/root" "$root"
# Older trees of this suite are not used any more.
find "$cache" -maxdepth 1 -name "endpoint-$suite-minbase-*" ! -path "$root" -exec rm -rf {} +
echo "$root"
