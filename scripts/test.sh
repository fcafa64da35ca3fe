#!/usr/bin/env bash
# Installs what the build and the tests need, builds, and runs every test (unit, integration,
# and the network-namespace tests), then the release executable's tests. Run as root on Debian 12.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# Source checks the compiler cannot make: platform headers only in src/os/posix/, formatting.
bash scripts/check-sources.sh
bash scripts/build.sh
cd build
ctest --output-on-failure --timeout 600 -j 2 -LE release "$@"

# Once more under a private temporary folder of exactly 100 characters, the longest one every
# test must bear: no test may depend on the length of the paths it builds there.
long_tmp=$(mktemp -d "/tmp/qsw-ci-$(printf 'X%.0s' {1..88})")
trap 'rm -rf "$long_tmp"' EXIT
if [ "${#long_tmp}" -ne 100 ]; then
    echo "the long temporary folder has ${#long_tmp} characters, not 100: $long_tmp" >&2
    exit 1
fi
TMPDIR=$long_tmp ctest --output-on-failure --timeout 600 -j 2 -LE release "$@"

# The sanitizer build (build-sanitize/): unit tests and bounded fuzz runs under AddressSanitizer
# and UndefinedBehaviorSanitizer.
bash ../scripts/sanitize.sh

# The release executable: the installer's tests again, and the bare-endpoint test.
cd ..
bash scripts/test-release.sh

# The Windows screens under Xvfb and Wine, once the Windows edition is built here
# (scripts/build-windows.sh).
if [ -d build-windows ]; then
    bash scripts/test-windows-dialogs.sh
fi
