#!/usr/bin/env bash
# The Windows edition's screens under a virtual display: builds qsw_dialog_preview on its own
# (QSW_WINDOWS_UI_ONLY: the cross toolchain only, no dependency cache) and runs the screen tests
# of tests/windows/dialogs/ with Xvfb, Wine (scripts/wine-run.sh: a network namespace of its own
# per run) and xdotool. Run as root on Debian 12.
#   scripts/test-windows-dialogs.sh                  build and test
#   scripts/test-windows-dialogs.sh --screenshots    and keep the captures in docs/screenshots/
#
# Environment: QSW_BUILD_JOBS (default: nproc).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-windows-deps.sh
build=build-windows/dialogs
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
    -DQSW_WINDOWS_UI_ONLY=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$build" -j "${QSW_BUILD_JOBS:-$(nproc)}" qsw_dialog_preview
if [ "${1:-}" = --screenshots ]; then
    export QSW_SCREENSHOT_DIR="$PWD/docs/screenshots"
fi
cd "$build"
ctest --output-on-failure --timeout 600
