#!/usr/bin/env bash
# The Windows edition: installs the cross toolchain and Wine, cross-builds the dependency cache
# (scripts/windows-deps.sh; first time on the 2-core build machine: see README), then builds,
# with cmake/mingw-w64-x86_64.cmake,
#   build-windows/installer/    QuentaSwiftset.exe, qsw-stamp.exe, the demo agent installer
#                               and the unit tests (run by scripts/test-windows.sh)
#   build-windows/toolchain-proof/   the toolchain proof (tests/windows/), run here under Wine.
# Run as root on Debian 12.
#
# Environment: QSW_CACHE_DIR (default /var/cache/quenta-swiftset), QSW_BUILD_JOBS (default: nproc).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-windows-deps.sh
deps="$(bash scripts/windows-deps.sh)"
jobs="${QSW_BUILD_JOBS:-$(nproc)}"

proof_build=build-windows/toolchain-proof
cmake -S tests/windows -B "$proof_build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
    -DQSW_MINGW_DEPS="$deps" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$proof_build" -j "$jobs"
(cd "$proof_build" && ctest --output-on-failure --timeout 300)

cmake -S . -B build-windows/installer -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
    -DQSW_MINGW_DEPS="$deps" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQSW_BUILD_BENCH=OFF >/dev/null
ninja -C build-windows/installer -j "$jobs"
