#!/usr/bin/env bash
# The installer's own operations against standard tools on the same data, in one run. For each
# benchmark: ROUNDS pairs of runs (ours and the tool's back to back, which goes first
# alternating), the median wall time of each side, the speed ratio as the median of the
# per-pair ratios (tool time / our time; 1.00x or more means at least as fast as the tool) with
# their minimum and maximum, its target, and the peak resident size of each from /usr/bin/time -v.
# A pair meets the same load on the machine; medians of each side taken apart would not.
#   bench/run_bench.sh [-b BUILD_DIR] [-w WORK_DIR] [-r ROUNDS] [NAME...]
# NAMEs are registered benchmarks (default: all). Data goes to tmpfs (/dev/shm) when it has
# room, else to $TMPDIR or /tmp; a temporary work folder is removed at the end, one given with
# -w is kept and its data reused.
#
# Adding a benchmark, here or in a file bench/bench_<name>.sh (sourced automatically):
#   prepare_<name>   makes its data under $WORK (called once, before any timing)
#   run_<name>       sets OURS=(command...) and TOOL=(command...), then calls
#                    compare "label" "tool name" TARGET_RATIO [RESET_FUNCTION]
#   BENCHMARKS+=(<name>)
# RESET_FUNCTION runs before every timed command (outside the timing), e.g. to empty an
# output folder. $DRIVER is the qsw_bench program, $BUILD_DIR the build folder.
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
SOURCE_DIR="$(dirname "$HERE")"
BUILD_DIR="${QSW_BIN_DIR:-$SOURCE_DIR/build}"
WORK=""
ROUNDS=5
PYTHON="${QSW_PYTHON:-/usr/bin/python3}"

while getopts "b:w:r:h" opt; do
    case "$opt" in
        b) BUILD_DIR="$OPTARG" ;;
        w) WORK="$OPTARG" ;;
        r) ROUNDS="$OPTARG" ;;
        *) sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
DRIVER="$BUILD_DIR/bench/qsw_bench"

BENCHMARKS=()
OURS=()
TOOL=()
RESULTS=()

# ---- measuring ---------------------------------------------------------------------------------

no_reset() { :; }

empty_output_folder() {
    rm -rf "$WORK/out"
    mkdir -p "$WORK/out"
}

# One run of "$@": prints "wall_seconds peak_rss_kib". Wall time from the nanosecond clock
# (time -v rounds to 10 ms); output of the command is discarded.
measure_once() {
    local start end
    start=$(date +%s%N)
    if ! /usr/bin/time -v -o "$WORK/.time" "$@" > /dev/null 2> "$WORK/.stderr"; then
        echo "failed: $*" >&2
        cat "$WORK/.stderr" >&2
        return 1
    fi
    end=$(date +%s%N)
    echo "$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", (b - a) / 1e9 }')" \
         "$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$WORK/.time")"
}

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

max_of() { printf '%s\n' "$@" | sort -g | tail -n 1; }

min_of() { printf '%s\n' "$@" | sort -g | head -n 1; }

# compare LABEL TOOL_NAME TARGET [RESET]: times OURS and TOOL in alternating order and records
# one result row.
compare() {
    local label=$1 tool_name=$2 target=$3 reset=${4:-no_reset}
    local ours_t=() tool_t=() ours_r=() tool_r=() ratios=() t r i
    "$reset"; measure_once "${OURS[@]}" > /dev/null   # warm-up: page cache, first faults
    "$reset"; measure_once "${TOOL[@]}" > /dev/null
    for ((i = 1; i <= ROUNDS; i++)); do
        if (( i % 2 )); then
            "$reset"; read -r t r < <(measure_once "${OURS[@]}"); ours_t+=("$t"); ours_r+=("$r")
            "$reset"; read -r t r < <(measure_once "${TOOL[@]}"); tool_t+=("$t"); tool_r+=("$r")
        else
            "$reset"; read -r t r < <(measure_once "${TOOL[@]}"); tool_t+=("$t"); tool_r+=("$r")
            "$reset"; read -r t r < <(measure_once "${OURS[@]}"); ours_t+=("$t"); ours_r+=("$r")
        fi
        ratios+=("$(awk -v o="${ours_t[-1]}" -v t="${tool_t[-1]}" 'BEGIN { printf "%.4f", t / o }')")
    done
    RESULTS+=("$label|$tool_name|$(median "${ours_t[@]}")|$(median "${tool_t[@]}")|$target|$(max_of "${ours_r[@]}")|$(max_of "${tool_r[@]}")|$(median "${ratios[@]}")|$(min_of "${ratios[@]}")|$(max_of "${ratios[@]}")")
    echo "  $label: ours ${ours_t[*]} | $tool_name ${tool_t[*]} | ratios ${ratios[*]}" >&2
}

print_results() {
    printf '\n%-36s %-26s %8s %8s %7s %13s %7s %9s %9s  %s\n' \
        "benchmark" "tool" "ours s" "tool s" "ratio" "min-max" "target" "ours RSS" "tool RSS" "verdict"
    local row label tool ours theirs target ours_rss tool_rss ratio low high verdict
    for row in "${RESULTS[@]}"; do
        IFS='|' read -r label tool ours theirs target ours_rss tool_rss ratio low high <<< "$row"
        verdict=$(awk -v r="$ratio" -v g="$target" 'BEGIN { print (r >= g) ? "meets target" : "BELOW target" }')
        printf '%-36s %-26s %8.3f %8.3f %6.2fx %5.2f-%5.2fx %6.2fx %7.1f M %7.1f M  %s\n' "$label" "$tool" \
            "$ours" "$theirs" "$ratio" "$low" "$high" "$target" \
            "$(awk -v k="$ours_rss" 'BEGIN { print k / 1024 }')" \
            "$(awk -v k="$tool_rss" 'BEGIN { print k / 1024 }')" "$verdict"
    done
    echo "ratio = median of $ROUNDS per-pair ratios tool time / our time (min-max of them); times: medians of each side;"
    echo "RSS = peak resident size; load average before: $LOAD_BEFORE, after: $(cut -d' ' -f1-3 /proc/loadavg)"
}

# ---- benchmarks --------------------------------------------------------------------------------

# SHA-256 of a 512 MiB random file: verify_file_digest against openssl dgst.
prepare_digest() {
    [ -s "$WORK/random.bin" ] || head -c $((512 * 1048576)) /dev/urandom > "$WORK/random.bin"
}
run_digest() {
    local expected
    expected=$(openssl dgst -sha256 -r "$WORK/random.bin" | cut -d' ' -f1)
    OURS=("$DRIVER" digest "$WORK/random.bin" "$expected")   # fails unless the digest matches
    TOOL=(openssl dgst -sha256 "$WORK/random.bin")
    compare "digest 512 MiB random (SHA-256)" "openssl dgst -sha256" 0.95
}
BENCHMARKS+=(digest)

# Text-like data (words, numbers, some random runs) that deflates about as well as a program.
make_member() {
    "$PYTHON" - "$1" "$2" <<'EOF'
import os, random, sys
path, size = sys.argv[1], int(sys.argv[2])
rng = random.Random(7)
letters = 'abcdefghijklmnopqrstuvwxyz_ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789'
vocab = [''.join(rng.choice(letters) for _ in range(rng.randint(2, 12))) for _ in range(8192)]
with open(path, 'wb') as out:
    written = 0
    while written < size:
        chunk = (' '.join(rng.choices(vocab, k=50000)) + '\n').encode() + rng.randbytes(16384)
        chunk = chunk[:size - written]
        out.write(chunk)
        written += len(chunk)
EOF
}

# One 200 MiB deflated member: extract_zip against bsdtar.
prepare_extract_big() {
    [ -s "$WORK/big.zip" ] && return
    mkdir -p "$WORK/big"
    make_member "$WORK/big/member.bin" $((200 * 1048576))
    (cd "$WORK/big" && zip -q -6 "$WORK/big.zip" member.bin)
    rm -rf "$WORK/big"
}
run_extract_big() {
    OURS=("$DRIVER" extract "$WORK/big.zip" "$WORK/out")
    TOOL=(bsdtar -xf "$WORK/big.zip" -C "$WORK/out")
    compare "extract 1 x 200 MiB deflated" "bsdtar -xf" 1.0 empty_output_folder
}
BENCHMARKS+=(extract_big)

# The same on one core for both: without the second core the writer thread cannot overlap, so
# this shows what the extraction itself costs.
run_extract_big_one_core() {
    OURS=(taskset -c 0 "$DRIVER" extract "$WORK/big.zip" "$WORK/out")
    TOOL=(taskset -c 0 bsdtar -xf "$WORK/big.zip" -C "$WORK/out")
    compare "extract 1 x 200 MiB, one core" "bsdtar -xf (one core)" 0.95 empty_output_folder
}
prepare_extract_big_one_core() { prepare_extract_big; }
BENCHMARKS+=(extract_big_one_core)

# 5,000 small files in nested folders: extract_zip against unzip.
prepare_extract_many() {
    [ -s "$WORK/many.zip" ] && return
    "$PYTHON" - "$WORK/many" <<'EOF'
import os, random, sys
root = sys.argv[1]
rng = random.Random(11)
words = [''.join(rng.choice('abcdefghijklmnopqrstuvwxyz') for _ in range(rng.randint(2, 9))) for _ in range(2000)]
for i in range(5000):
    folder = os.path.join(root, 'd%02d' % (i % 20), 's%d' % (i % 7), 't%d' % (i % 3))
    os.makedirs(folder, exist_ok=True)
    size = int(rng.lognormvariate(7.5, 1.0)) + 16   # median ~1.8 KiB, a few of 30+ KiB
    text = ' '.join(rng.choices(words, k=size // 5 + 1)).encode()[:size]
    with open(os.path.join(folder, 'f%04d.dat' % i), 'wb') as out:
        out.write(text)
EOF
    (cd "$WORK/many" && zip -q -r -6 "$WORK/many.zip" .)
    rm -rf "$WORK/many"
}
run_extract_many() {
    OURS=("$DRIVER" extract "$WORK/many.zip" "$WORK/out")
    TOOL=(unzip -q -o "$WORK/many.zip" -d "$WORK/out")
    compare "extract 5,000 small files" "unzip -q -o" 1.0 empty_output_folder
}
BENCHMARKS+=(extract_many)

# Benchmarks kept in their own files register themselves the same way.
for extra in "$HERE"/bench_*.sh; do
    [ -e "$extra" ] && source "$extra"
done

# ---- main --------------------------------------------------------------------------------------

for tool in /usr/bin/time openssl bsdtar unzip zip taskset "$PYTHON"; do
    command -v "$tool" > /dev/null || { echo "missing $tool (scripts/install-deps.sh installs it)" >&2; exit 1; }
done
[ -x "$DRIVER" ] || { echo "build $DRIVER first: ninja -C $BUILD_DIR qsw_bench" >&2; exit 1; }

if [ -z "$WORK" ]; then
    base="${TMPDIR:-/tmp}"
    if [ -d /dev/shm ] && [ -w /dev/shm ] && \
       [ "$(df -Pk /dev/shm | awk 'NR == 2 { print $4 }')" -gt $((2 * 1048576)) ]; then
        base=/dev/shm
    fi
    WORK="$(mktemp -d "$base/qsw-bench-XXXXXX")"
    trap 'rm -rf "$WORK"' EXIT
else
    mkdir -p "$WORK"
fi

selected=("$@")
[ ${#selected[@]} -gt 0 ] || selected=("${BENCHMARKS[@]}")
for name in "${selected[@]}"; do
    declare -F "run_$name" > /dev/null || { echo "unknown benchmark $name (${BENCHMARKS[*]})" >&2; exit 2; }
done

LOAD_BEFORE="$(cut -d' ' -f1-3 /proc/loadavg)"
echo "data in $WORK ($(df -PT "$WORK" | awk 'NR == 2 { print $2 }')); $(nproc) cores; $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')" >&2
for name in "${selected[@]}"; do
    if declare -F "prepare_$name" > /dev/null; then
        echo "preparing $name ..." >&2
        "prepare_$name"
    fi
done
for name in "${selected[@]}"; do
    echo "running $name ..." >&2
    "run_$name"
done
print_results
