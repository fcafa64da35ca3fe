#!/usr/bin/env bash
# Builds the sanitizer configuration (clang, AddressSanitizer and UndefinedBehaviorSanitizer)
# into build-sanitize/ and runs, under the sanitizers, the unit tests and every fuzz target for
# QSW_FUZZ_SECONDS seconds each (default 25). Any crash, sanitizer report or leak fails.
# Arguments go to ctest, e.g. `-R fuzz_zip_extract`.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${QSW_FUZZ_SECONDS:-25}
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQSW_SANITIZE=ON \
      -DQSW_BUILD_BENCH=OFF -DQSW_FUZZ_SECONDS="$seconds" \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
ninja -C build-sanitize -j "$(nproc)"
cd build-sanitize
if ! ctest -N -L fuzz | grep -q '^Total Tests: [1-9]'; then
    echo "sanitize.sh: the sanitizer build has no fuzz targets" >&2
    exit 1
fi
ctest --output-on-failure --timeout 600 -j "$(nproc)" -L 'unit|fuzz' "$@"
