#!/usr/bin/env bash
# The Windows edition, part one: installs the cross toolchain and Wine, cross-builds the
# dependency cache (scripts/windows-deps.sh; first time on the 2-core build machine: see README),
# then builds the toolchain proof (tests/windows/) with cmake/mingw-w64-x86_64.cmake and runs it
# under Wine, headless, each program in a network namespace of its own; then the screens' tests
# (scripts/test-windows-dialogs.sh). Run as root on
# Debian 12. The installer itself is not cross-built yet.
#
# Environment: QSW_CACHE_DIR (default /var/cache/quenta-swiftset), QSW_BUILD_JOBS (default: nproc).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-windows-deps.sh
deps="$(bash scripts/windows-deps.sh)"

proof_build=build-windows/toolchain-proof
cmake -S tests/windows -B "$proof_build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
    -DQSW_MINGW_DEPS="$deps" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$proof_build" -j "${QSW_BUILD_JOBS:-$(nproc)}"
(cd "$proof_build" && ctest --output-on-failure --timeout 300)

# The screens: the dialog preview with the resources, driven under Xvfb.
bash scripts/test-windows-dialogs.sh
