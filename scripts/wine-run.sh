#!/usr/bin/env bash
# Runs one Windows program under Wine, headless, in a network namespace of its own with loopback
# only: CTest's emulator for the cross-built test programs (cmake/mingw-w64-x86_64.cmake).
#   scripts/wine-run.sh PROGRAM.exe [ARGUMENTS...]     exit code: the program's
#
# Wine makes a program's sockets in its wineserver, so traffic leaves from the namespace the
# wineserver runs in, and one wineserver serves every program that uses its prefix. Every run
# therefore gets its own prefix and its own wineserver, both inside the namespace made here.
# The prefix is an overlay (in a private mount namespace, gone with the run) on a template made
# once per Wine version in the cache folder: a run copies nothing and never changes the
# template. Root is needed for the namespaces and the mount.
#
# Integration tests run programs in namespaces the test made (its peers and servers live
# there), with a prefix the test keeps across runs (registry, log, a second instance):
#   scripts/wine-run.sh --join NETNS PREFIX PROGRAM.exe [ARGUMENTS...]
# runs in the caller's network namespace with that prefix, and refuses unless that namespace is
# the named one NETNS that the test's harness made (/run/netns/NETNS, tests/fixtures/netns.py,
# which also never is the machine's own); the prefix's wineserver then serves
# every run of the test, and the test stops it. `--template` prints the template prefix (made
# when missing), for tests that mount their prefix on it.
#
# Environment: QSW_CACHE_DIR (default /var/cache/quenta-swiftset) holds the template;
# WINEDEBUG defaults to -all; QSW_WINE_DISPLAY (":N") lets the program draw on that local X
# display (the screen tests' Xvfb), which is otherwise hidden from it.
set -euo pipefail

wine_loader=/usr/lib/wine/wine64
cache_dir="${QSW_CACHE_DIR:-/var/cache/quenta-swiftset}"

fail() { echo "wine-run: $*" >&2; exit 125; }

# Refuses unless this process sits in a namespace other than the one it was started from,
# i.e. the one unshare made for it, and brings its loopback up.
enter_own_network() {
    local started_in="$1" here
    here="$(readlink /proc/self/ns/net)" || fail "cannot read the network namespace"
    [ -n "$started_in" ] && [ "$here" != "$started_in" ] \
        || fail "not in a network namespace of its own; refusing to start Wine"
    ip link set lo up || fail "cannot bring loopback up"
}

headless_wine_environment() {
    unset DISPLAY WAYLAND_DISPLAY
    # The screen tests name their virtual display (a local socket, never a TCP one).
    if [ -n "${QSW_WINE_DISPLAY:-}" ]; then
        [[ "$QSW_WINE_DISPLAY" =~ ^:[0-9]+$ ]] || fail "QSW_WINE_DISPLAY must be a local display such as :99"
        export DISPLAY="$QSW_WINE_DISPLAY"
    fi
    export WINEDEBUG="${WINEDEBUG:--all}"
    # No Mono or Gecko installer prompts: console programs need neither.
    export WINEDLLOVERRIDES="mscoree,mshtml="
    export WINELOADER="$wine_loader"
}

wine_version_tag() {
    "$wine_loader" --version | tr -c 'A-Za-z0-9.\n' '_' | head -n 1
}

# Makes the template prefix once; parallel runs wait on the lock instead of racing.
ensure_template() {
    local template="$1"
    mkdir -p "$cache_dir"
    exec 9>"$template.lock"
    flock 9
    if [ ! -e "$template/.complete" ]; then
        rm -rf "$template" "$template.partial"
        WINEPREFIX="$template.partial" "$wine_loader" wineboot --init >/dev/null 2>&1 \
            || fail "wineboot could not make the prefix $template"
        WINEPREFIX="$template.partial" wineserver -w
        touch "$template.partial/.complete"
        mv "$template.partial" "$template"
    fi
    exec 9>&-
}

# Every way out: no wineserver, mount or file of the run stays behind.
remove_run() {
    local run_dir="$1"
    if mountpoint -q "$run_dir/prefix"; then
        WINEPREFIX="$run_dir/prefix" wineserver -k >/dev/null 2>&1 || true
        umount "$run_dir/prefix" || true
    fi
    rm -rf "$run_dir" || true
}

run_in_overlay() {
    local template="$1"; shift
    local run_dir status=0
    run_dir="$(mktemp -d "${TMPDIR:-/tmp}/qsw-wine.XXXXXX")"
    # shellcheck disable=SC2064  # the folder is fixed now
    trap "remove_run '$run_dir'" EXIT
    trap 'exit 143' TERM INT
    mkdir "$run_dir/upper" "$run_dir/work" "$run_dir/prefix"
    mount -t overlay overlay \
        -o "lowerdir=$template,upperdir=$run_dir/upper,workdir=$run_dir/work" "$run_dir/prefix" \
        || fail "cannot mount the run's prefix"
    export WINEPREFIX="$run_dir/prefix"
    # A virtual display has no window manager: Wine then draws the captions and frames itself.
    if [ -n "${DISPLAY:-}" ]; then
        printf '\n[Software\\\\Wine\\\\X11 Driver]\n"Managed"="N"\n' >>"$WINEPREFIX/user.reg"
    fi
    wineserver -p0
    # In the background so that a TERM is handled at once, not when the program ends.
    "$wine_loader" "$@" <&0 &
    wait "$!" || status=$?
    wineserver -w
    return "$status"
}

# Fails closed: this process must stand in the named namespace the harness made, proven by the
# identity of its file, not by its name alone.
require_test_network() {
    local name="$1" here made
    case "$name" in ''|*/*|.*) fail "not a namespace name: '$name'" ;; esac
    here="$(readlink /proc/self/ns/net)" || fail "cannot read this network namespace"
    made="$(stat -L -c 'net:[%i]' "/run/netns/$name" 2>/dev/null)" || fail "no namespace /run/netns/$name"
    [ "$here" = "$made" ] || fail "not in the test's network namespace $name; refusing to start Wine"
}

run_joined() {
    local netns="$1" prefix="$2"; shift 2
    require_test_network "$netns"
    [ -d "$prefix" ] || fail "no prefix at $prefix"
    headless_wine_environment
    export WINEPREFIX="$prefix"
    exec "$wine_loader" "$@" <&0
}

template_path() {
    echo "$cache_dir/wine-prefix-$(wine_version_tag)"
}

main() {
    [ "$#" -ge 1 ] || fail "usage: wine-run.sh PROGRAM.exe [ARGUMENTS...]"
    [ "$(id -u)" -eq 0 ] || fail "needs root for its network and mount namespaces"
    if [ "$1" = "--join" ]; then
        [ "$#" -ge 4 ] || fail "usage: wine-run.sh --join NETNS PREFIX PROGRAM.exe [ARGUMENTS...]"
        shift
        run_joined "$@"
    fi
    if [ "$1" = "--template" ]; then
        ensure_template "$(template_path)"
        template_path
        exit 0
    fi
    if [ "$1" != "--in-own-namespace" ]; then
        exec unshare --net --mount --propagation private -- \
            "$0" --in-own-namespace "$(readlink /proc/self/ns/net)" "$@"
    fi
    enter_own_network "$2"
    shift 2
    headless_wine_environment
    local template
    template="$(template_path)"
    ensure_template "$template"
    run_in_overlay "$template" "$@"
}

main "$@"
