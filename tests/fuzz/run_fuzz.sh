#!/usr/bin/env bash
# Builds a fuzz target with clang's libFuzzer and AddressSanitizer and runs it for a bounded time
# from its seeds.
#   run_fuzz.sh <work folder> [seconds] [target]
# Targets: udp_message (the datagram reader; seeds: udp_message_seeds.txt, hex a line) and
# relay_reply (the relay reply readers; seeds: the files of corpus/relay_reply/).
# Exits 77 (skipped) when clang++ or its fuzzer runtime is not installed.
set -euo pipefail

work=${1:?work folder}
seconds=${2:-30}
target=${3:-udp_message}
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../../src" && pwd)
clangxx=${CLANGXX:-clang++}

case "$target" in
    udp_message) extra_sources=() ;;
    relay_reply) extra_sources=("$src/clients/relay/qz_relay_reply.cpp") ;;
    *) echo "unknown fuzz target: $target" >&2; exit 2 ;;
esac

if ! command -v "$clangxx" >/dev/null 2>&1; then
    echo "SKIP: $clangxx not installed"
    exit 77
fi
mkdir -p "$work/corpus" "$work/seeds"
probe="$work/probe.cpp"
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' > "$probe"
if ! "$clangxx" -fsanitize=fuzzer,address "$probe" -o "$work/probe" 2>/dev/null; then
    echo "SKIP: $clangxx has no libFuzzer runtime (libclang-rt-dev)"
    exit 77
fi

binary="$work/${target}_fuzz"
"$clangxx" -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$src" "$here/${target}_fuzz.cpp" "${extra_sources[@]}" \
    "$src/clients/udp/qz_udp_message.cpp" "$src/clients/udp/qz_udp_message_codec.cpp" \
    "$src/utils/qz_value.cpp" "$src/utils/qz_status.cpp" \
    $(pkg-config --cflags --libs msgpack) -o "$binary"

seeds="$work/seeds"
if [ -d "$here/corpus/$target" ]; then
    seeds="$here/corpus/$target"
else
    n=0
    grep -v '^#' "$here/${target}_seeds.txt" | while read -r hex; do
        [ -n "$hex" ] || continue
        n=$((n + 1))
        printf '%b' "$(echo "$hex" | sed 's/../\\x&/g')" > "$work/seeds/seed$n"
    done
fi

"$binary" -max_total_time="$seconds" -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 \
    "$work/corpus" "$seeds"
