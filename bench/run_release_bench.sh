#!/usr/bin/env bash
# Size and start-up of the release executable, beside the development build and curl (the
# standard tool that loads the same libcurl and OpenSSL) in one run: file sizes, the shared
# objects each loads, and the median wall time of `-?` (help: start, options, log, end) over
# ROUNDS batches of RUNS starts each, as a per-start figure and a ratio.
#   bench/run_release_bench.sh [-r ROUNDS] [-n RUNS] [RELEASE [DEVELOPMENT]]
# Defaults: build-release/dist/QuentaSwiftset and build/QuentaSwiftset. Runs as root (the
# installer's rights check) in a network namespace of its own with loopback only.
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
SOURCE_DIR=$(dirname "$HERE")
ROUNDS=5
RUNS=40
while getopts "r:n:h" opt; do
    case "$opt" in
        r) ROUNDS=$OPTARG ;;
        n) RUNS=$OPTARG ;;
        *) sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
RELEASE=$(realpath "${1:-$SOURCE_DIR/build-release/dist/QuentaSwiftset}")
DEVELOPMENT=$(realpath "${2:-$SOURCE_DIR/build/QuentaSwiftset}")

# The installer is never started in the machine's own network: the script runs itself again in a
# new network namespace and goes on only when it sees that namespace (not the one it came from,
# and loopback alone).
own=$(readlink /proc/self/ns/net || true)
if [ -z "${QSW_BENCH_OUTER_NET:-}" ]; then
    [ -n "$own" ] || { echo "refusing: cannot tell the network namespace" >&2; exit 1; }
    exec env QSW_BENCH_OUTER_NET="$own" unshare --net -- "$0" -r "$ROUNDS" -n "$RUNS" "$RELEASE" "$DEVELOPMENT"
fi
links=$(ip -o link show | awk -F': ' '{ print $2 }' | tr '\n' ' ')
if [ -z "$own" ] || [ "$own" = "$QSW_BENCH_OUTER_NET" ] || [ "$links" != "lo " ]; then
    echo "refusing: not in a network namespace of its own with loopback only" >&2
    exit 1
fi

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
mkdir -m 0700 "$WORK/tmp" "$WORK/locks"
mkdir "$WORK/registry"
export TMPDIR=$WORK/tmp QSW_LOCK_DIR=$WORK/locks QSW_REGISTRY_ROOT=$WORK/registry LC_ALL=C.UTF-8

# Median seconds per start of "$@" over ROUNDS batches of RUNS starts.
per_start() {
    local times=() round i start end
    "$@" >/dev/null 2>&1 </dev/null || true   # warm-up
    for ((round = 0; round < ROUNDS; round++)); do
        start=$(date +%s%N)
        for ((i = 0; i < RUNS; i++)); do "$@" >/dev/null 2>&1 </dev/null || true; done
        end=$(date +%s%N)
        times+=($(( (end - start) / RUNS )))
    done
    printf '%s\n' "${times[@]}" | sort -n | awk '{ v[NR] = $1 } END { printf "%.3f", v[int((NR + 1) / 2)] / 1e6 }'
}

peak_rss() {
    /usr/bin/time -f %M "$@" 2>&1 >/dev/null </dev/null | tail -1
}

libraries() {
    ldd "$1" 2>/dev/null | awk '$1 != "linux-vdso.so.1" { n++ } END { print n + 0 }'
}

mib() { awk -v b="$(stat -L -c %s "$1")" 'BEGIN { printf "%.2f MiB", b / 1048576 }'; }

echo "release executable:     $(mib "$RELEASE") (debug symbols $(mib "$RELEASE.debug")), $(libraries "$RELEASE") shared objects"
echo "development executable: $(mib "$DEVELOPMENT"), $(libraries "$DEVELOPMENT") shared objects"
curl_bin=$(command -v curl)
release=$(per_start "$RELEASE" -?)
development=$(per_start "$DEVELOPMENT" -?)
tool=$(per_start "$curl_bin" --version)
echo
printf '| start-up | ms per start | peak RSS | ratio (other / release) |\n|---|---|---|---|\n'
printf '| release `-?` | %s | %s KiB | 1.00x |\n' "$release" "$(peak_rss "$RELEASE" -?)"
printf '| development `-?` | %s | %s KiB | %.2fx |\n' "$development" "$(peak_rss "$DEVELOPMENT" -?)" \
    "$(awk -v a="$development" -v b="$release" 'BEGIN { print a / b }')"
printf '| `curl --version` | %s | %s KiB | %.2fx |\n' "$tool" "$(peak_rss "$curl_bin" --version)" \
    "$(awk -v a="$tool" -v b="$release" 'BEGIN { print a / b }')"
