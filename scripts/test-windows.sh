#!/usr/bin/env bash
# The Windows pass (part of scripts/test.sh): builds the Windows edition (scripts/build-windows.sh,
# which also runs the toolchain proof), runs its unit tests under Wine, each in a network
# namespace of its own, then the integration runs of tests/integration/test_windows.py: full
# installations under Wine inside the test network's namespaces. Run as root on Debian 12.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
started=$SECONDS

bash scripts/build-windows.sh
echo "test-windows: built in $((SECONDS - started)) s"
# The screens last and alone: their tests time what a person would see (a 10-second close).
(cd build-windows/installer && ctest --output-on-failure --timeout 600 -j 2 -LE screens && ctest --output-on-failure --timeout 600 -L screens)

# A mount namespace of its own: the tests' Wine prefixes are overlay mounts, gone with it on
# every way out.
cd tests/integration
QSW_WINDOWS_BIN_DIR="$root/build-windows/installer" QSW_SOURCE_DIR="$root" QSW_PYTHON=/usr/bin/python3 \
PYTHONPATH="$root/tests:$root/tests/fixtures" \
    unshare --mount --propagation private -- /usr/bin/python3 -m unittest -v test_windows
echo "test-windows: the Windows pass took $((SECONDS - started)) s"
