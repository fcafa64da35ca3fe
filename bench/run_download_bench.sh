#!/usr/bin/env bash
# Download on loopback: the transfer layer (download_bench) against `curl -s -o FILE`, the same
# file from the same nginx in the same run, in pairs (which goes first alternating). Prints the
# median wall times, the ratio as the median of the per-pair ratios (curl time / our time; above
# 1.0 means faster than curl) with their minimum and maximum, and peak resident sizes from
# /usr/bin/time -v.
#   bench/run_download_bench.sh [BUILD_DIR] [SIZE_MIB] [ROUNDS]
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
source_dir="$(dirname "$here")"
build_dir="${1:-$source_dir/build}"
size_mib="${2:-512}"
rounds="${3:-5}"
driver="$build_dir/bench/download_bench"
python=/usr/bin/python3

[ -x "$driver" ] || { echo "build $driver first (ninja -C $build_dir download_bench)" >&2; exit 1; }
command -v curl >/dev/null || { echo "curl is not installed" >&2; exit 1; }

work="$(mktemp -d "${TMPDIR:-/tmp}/qsw-download-bench-XXXXXX")"
server_pid=
cleanup() {
    exec 3>&- 2>/dev/null || true   # end of its standard input stops the server
    [ -n "$server_pid" ] && wait "$server_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/www" "$work/tmp"
head -c "$((size_mib * 1048576))" /dev/urandom > "$work/www/package.zip"

# nginx on a port chosen now; the helper prints "READY {json}" once it accepts connections.
mkfifo "$work/ready" "$work/control"
exec 3<> "$work/control"   # read-write: opening does not wait for the other end
"$python" "$source_dir/tests/fixtures/nginx_server.py" --root "$work/www" > "$work/ready" < "$work/control" 3>&- &
server_pid=$!
read -r line < "$work/ready"
url="$(sed -n 's/.*"url": "\([^"]*\)".*/\1/p' <<< "$line")/package.zip"
[ -n "$url" ] || { echo "nginx did not start: $line" >&2; exit 1; }

# One run: wall seconds (nanosecond clock; time -v rounds to 10 ms) and peak RSS (KiB) of a
# command writing $work/out.bin.
measure() {
    rm -f "$work/out.bin"
    local start end wall rss
    start=$(date +%s.%N)
    /usr/bin/time -v -o "$work/time.txt" "$@" > /dev/null
    end=$(date +%s.%N)
    wall=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }')
    rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt")
    [ "$(stat -c %s "$work/out.bin")" -eq "$((size_mib * 1048576))" ] || { echo "short download" >&2; exit 1; }
    echo "$wall $rss"
}

# Warm the page cache of the served file.
curl -s -o /dev/null "$url"

curl_times=() ours_times=() curl_rss=0 ours_rss=0
run_curl() {
    read -r t r < <(measure curl -s -o "$work/out.bin" "$url")
    curl_times+=("$t"); if (( r > curl_rss )); then curl_rss=$r; fi
}
run_ours() {
    read -r t r < <(measure env TMPDIR="$work/tmp" "$driver" "$url" "$work/out.bin" --quiet)
    ours_times+=("$t"); if (( r > ours_rss )); then ours_rss=$r; fi
}
# Alternate which goes first, so that neither always finds the other's file being written back.
ratios=()
load_before="$(cut -d' ' -f1-3 /proc/loadavg)"
for ((i = 1; i <= rounds; i++)); do
    if (( i % 2 )); then run_curl; run_ours; else run_ours; run_curl; fi
    ratios+=("$(awk -v c="${curl_times[-1]}" -v o="${ours_times[-1]}" 'BEGIN { printf "%.4f", c / o }')")
done

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
curl_median=$(median "${curl_times[@]}")
ours_median=$(median "${ours_times[@]}")

echo "download of ${size_mib} MiB from nginx on loopback, ${rounds} rounds (median wall time)"
printf '  curl -s -o FILE   %8.3f s  %8.1f MiB/s  peak RSS %6.1f MiB\n' "$curl_median" \
    "$(awk -v s="$size_mib" -v t="$curl_median" 'BEGIN { print s / t }')" "$(awk -v k="$curl_rss" 'BEGIN { print k / 1024 }')"
printf '  transfer_file     %8.3f s  %8.1f MiB/s  peak RSS %6.1f MiB\n' "$ours_median" \
    "$(awk -v s="$size_mib" -v t="$ours_median" 'BEGIN { print s / t }')" "$(awk -v k="$ours_rss" 'BEGIN { print k / 1024 }')"
printf '  ratio (curl time / our time), median of the pairs: %.2fx (min %.2fx, max %.2fx)\n' \
    "$(median "${ratios[@]}")" "$(printf '%s\n' "${ratios[@]}" | sort -g | head -n 1)" \
    "$(printf '%s\n' "${ratios[@]}" | sort -g | tail -n 1)"
echo "  rounds: curl ${curl_times[*]} | ours ${ours_times[*]} | ratios ${ratios[*]}"
echo "  $(nproc) cores; load average before: $load_before, after: $(cut -d' ' -f1-3 /proc/loadavg)"
