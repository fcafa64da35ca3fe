#!/usr/bin/env bash
# Builds the datagram-reader fuzz target with clang's libFuzzer and AddressSanitizer and runs it
# for a bounded time from the seed datagrams.
#   run_fuzz.sh <work folder> [seconds]
# Exits 77 (skipped) when clang++ or its fuzzer runtime is not installed.
set -euo pipefail

work=${1:?work folder}
seconds=${2:-30}
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../../src" && pwd)
clangxx=${CLANGXX:-clang++}

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

binary="$work/udp_message_fuzz"
"$clangxx" -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$src" "$here/udp_message_fuzz.cpp" \
    "$src/clients/udp/qz_udp_message.cpp" "$src/clients/udp/qz_udp_message_codec.cpp" \
    "$src/utils/qz_value.cpp" "$src/utils/qz_status.cpp" \
    $(pkg-config --cflags --libs msgpack) -o "$binary"

n=0
grep -v '^#' "$here/udp_message_seeds.txt" | while read -r hex; do
    [ -n "$hex" ] || continue
    n=$((n + 1))
    printf '%b' "$(echo "$hex" | sed 's/../\\x&/g')" > "$work/seeds/seed$n"
done

"$binary" -max_total_time="$seconds" -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 \
    "$work/corpus" "$work/seeds"
