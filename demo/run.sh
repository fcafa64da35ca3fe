#!/usr/bin/env bash
# The demonstration: installs what is needed, builds, and runs a full deployment (agent handler,
# repository, stamped installer: a fresh install, then an upgrade) inside a network namespace made
# for it, which is removed again on every way out. Run as root on Debian 12.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh >/dev/null

namespace="qsw-demo-$$"
cleanup() { ip netns pids "$namespace" 2>/dev/null | xargs -r kill 2>/dev/null || true; ip netns delete "$namespace" 2>/dev/null || true; }
trap cleanup EXIT INT TERM HUP
ip netns add "$namespace"
ip -n "$namespace" link set lo up
echo "Network namespace $namespace (loopback only): the installer's peer discovery stays inside it."
ip netns exec "$namespace" /usr/bin/python3 demo/demo.py
