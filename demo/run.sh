#!/usr/bin/env bash
# The demonstration: installs what is needed, builds, and runs a full deployment (agent handler,
# repository, stamped installer: a fresh install, an upgrade, a second machine that takes its
# install files from a peer agent, a third behind a proxy that asks for credentials, and a fourth
# that reaches the servers only through a relay agent) inside three network namespaces made for
# it and joined by veth pairs, which are removed again on every way out. Run as root on Debian 12.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh >/dev/null

namespace="qsw-demo-$$"          # the installer, the agent handler and the repository
peer_namespace="qsw-demo-$$-peer"   # a peer agent that holds the install files
relayed_namespace="qsw-demo-$$-relayed"   # a machine that reaches the servers only through a relay
cleanup() {
    for ns in "$relayed_namespace" "$peer_namespace" "$namespace"; do
        ip netns pids "$ns" 2>/dev/null | xargs -r kill 2>/dev/null || true
        ip netns delete "$ns" 2>/dev/null || true
    done
}
trap cleanup EXIT INT TERM HUP
ip netns add "$namespace"
ip netns add "$peer_namespace"
ip netns add "$relayed_namespace"
for ns in "$namespace" "$peer_namespace" "$relayed_namespace"; do ip -n "$ns" link set lo up; done
ip -n "$namespace" link add veth0 type veth peer name veth0 netns "$peer_namespace"
ip -n "$namespace" addr add 10.203.0.1/24 broadcast 10.203.0.255 dev veth0
ip -n "$namespace" addr add 2001:db8:203::1/64 dev veth0 nodad
ip -n "$peer_namespace" addr add 10.203.0.2/24 broadcast 10.203.0.255 dev veth0
ip -n "$peer_namespace" addr add 2001:db8:203::2/64 dev veth0 nodad
for ns in "$namespace" "$peer_namespace"; do ip -n "$ns" link set veth0 up; done
# The relayed machine's only link is to the first namespace, whose servers listen on its
# loopback alone: a relay agent there is its one way to them.
ip -n "$namespace" link add veth1 type veth peer name veth0 netns "$relayed_namespace"
ip -n "$namespace" addr add 10.204.0.1/24 broadcast 10.204.0.255 dev veth1
ip -n "$namespace" addr add 2001:db8:204::1/64 dev veth1 nodad
ip -n "$relayed_namespace" addr add 10.204.0.2/24 broadcast 10.204.0.255 dev veth0
ip -n "$relayed_namespace" addr add 2001:db8:204::2/64 dev veth0 nodad
ip -n "$namespace" link set veth1 up
ip -n "$relayed_namespace" link set veth0 up
echo "Network namespaces $namespace and $peer_namespace, joined by a veth pair (10.203.0.0/24,"
echo "2001:db8:203::/64), and $relayed_namespace, joined to the first by another (10.204.0.0/24,"
echo "2001:db8:204::/64), and nothing else: the installer's discovery stays between them."
QSW_DEMO_NAMESPACE="$namespace" QSW_DEMO_PEER_NAMESPACE="$peer_namespace" \
    QSW_DEMO_RELAYED_NAMESPACE="$relayed_namespace" \
    ip netns exec "$namespace" /usr/bin/python3 demo/demo.py
