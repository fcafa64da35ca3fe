#!/bin/sh
# The demonstration's agent installer (shipped as Vesinst.exe inside FrameworkInstall.zip).
# It "installs" the Quenta Agent the way the real one is seen from outside: it records the
# agent's identity and its data path in the registry store and creates the agent's data folders,
# among them the peer cache data/InstallerFiles that the bootstrap installer fills afterwards.
#
# Environment (inherited from the bootstrap installer):
#   QSW_REGISTRY_ROOT    registry store root (default /etc/opt/quenta/registry)
#   QSW_AGENT_DATA       data folder when no /DataDir= is given (default /var/opt/quenta/agent)
#   QSW_VESINST_RECORD   if set, each argument is appended to this file, one per line
#   QSW_VESINST_EXIT     exit code to return (default 0)
set -u

if [ -n "${QSW_VESINST_RECORD:-}" ]; then
    for arg in "$@"; do printf '%s\n' "$arg"; done > "$QSW_VESINST_RECORD"
fi

guid="" tenant="" data="${QSW_AGENT_DATA:-/var/opt/quenta/agent}"
for arg in "$@"; do
    case "$arg" in
        /AgentGUID=*) guid="${arg#/AgentGUID=}" ;;
        /TenantID=*) tenant="${arg#/TenantID=}" ;;
        /DataDir=*) data="${arg#/DataDir=}" ;;
    esac
done

code="${QSW_VESINST_EXIT:-0}"
if [ "$code" -ne 0 ]; then
    echo "Vesinst: failing on purpose with exit code $code" >&2
    exit "$code"
fi
if [ -z "$guid" ]; then
    echo "Vesinst: no /AgentGUID= given" >&2
    exit 2
fi

store="${QSW_REGISTRY_ROOT:-/etc/opt/quenta/registry}/HKEY_LOCAL_MACHINE/Software/Norvasso"
key="$store/Lumacore/Agent"
framework="$store/Vantor/Shared Components/Framework"
mkdir -p "$key" "$framework" "$data/Installer Files" "$data/Logs" "$data/p2p" "$data/data/InstallerFiles" || exit 3
# The agent keeps the proxy settings that the bootstrap saved beside this program.
settings="$(dirname "$0")/proxy_config.ini"
if [ -f "$settings" ]; then cp "$settings" "$data/proxy_config.ini" || exit 3; fi
printf '%s' "$guid" > "$key/AgentGUID.REG_SZ"
printf '%s' "$tenant" > "$key/TenantId.REG_SZ"
printf '%s' "$data" > "$key/Data Path.REG_SZ"
printf '%s' "$data" > "$framework/Data Path.REG_SZ"
echo "Vesinst: Quenta Agent $guid installed for tenant '$tenant' in $data"
exit 0
