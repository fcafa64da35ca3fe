#!/usr/bin/env bash
# Builds the release executable and tests it: the integration tests that drive the installer run
# once more against it, and the bare-endpoint test runs it in a Debian 12 minbase chroot. The
# development build (scripts/build.sh) provides the test registry and qsw-stamp. Run as root.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh >/dev/null
bash scripts/build-release.sh
endpoint=$(bash scripts/release/bare-endpoint.sh)
release=$PWD/build-release/dist/QuentaSwiftset

cd build
QSW_INSTALLER=$release QSW_RELEASE_INSTALLER=$release QSW_BARE_ENDPOINT=$endpoint \
    ctest --output-on-failure --timeout 900 -j 2 \
    -R '^integration_(entry|install_direct|install_peers|install_relay|install_hostile|install_proxy|local_user|terminal|release_endpoint)$' "$@"
