#!/usr/bin/env bash
# The Windows edition's screens under a virtual display: qsw_dialog_preview (the installer's
# dialog code on the Win32 screens and resources) and the screen tests of tests/windows/dialogs/
# with Xvfb, Wine (scripts/wine-run.sh: a network namespace of its own per run) and xdotool.
# scripts/test-windows.sh runs them with the other Windows tests; this script is for the
# screenshots of README. Run as root on Debian 12.
#   scripts/test-windows-dialogs.sh                  build and test
#   scripts/test-windows-dialogs.sh --screenshots    and keep the captures in docs/screenshots/
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/build-windows.sh
if [ "${1:-}" = --screenshots ]; then
    export QSW_SCREENSHOT_DIR="$PWD/docs/screenshots"
fi
cd build-windows/installer
ctest --output-on-failure --timeout 600 -L screens
