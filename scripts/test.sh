#!/usr/bin/env bash
# Installs what the build and the tests need, builds, and runs every test (unit, integration,
# and the network-namespace tests). Run as root on Debian 12.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
cd build
ctest --output-on-failure --timeout 600 -j 2 "$@"

# The sanitizer build (build-sanitize/): unit tests and bounded fuzz runs under AddressSanitizer
# and UndefinedBehaviorSanitizer.
bash ../scripts/sanitize.sh
