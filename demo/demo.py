"""The demonstration: a whole deployment on one machine, inside three network namespaces that
demo/run.sh made and joined by veth pairs (nothing else is reachable, so peer and relay discovery
stay between them).

It makes a demo CA and a server certificate, builds the configuration and install packages,
starts a demo agent handler (HTTPS) and a repository (nginx), stamps a copy of the installer with
the deployment's connection data, and runs it silently five times: a fresh install, an upgrade
of the agent the first run installed, and a fresh install on a second "machine" (its own
temporary folder and registry) while a peer agent in the other namespace serves the install
files that the first machine handed to its agent's InstallerFiles folder: mechanism [0] takes
them from that peer and the repository is not asked. The fourth run is a third "machine" in the
other namespace, which reaches the agent handler and the repository only through a proxy that
asks for credentials (tinyproxy): mechanism [2] with -a, -p, -u and -w. The fifth is a fourth
machine in the third namespace, which reaches the agent handler and the repository (on the first
namespace's loopback) only through a relay agent in the first namespace: mechanisms [0] to [2]
fail, and mechanism [3] finds the relay and installs through it.
"""
import hashlib
import os
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "fixtures"))
sys.path.insert(0, os.path.join(ROOT, "tests"))

import certs  # noqa: E402
import packages  # noqa: E402
from agent_handler import AgentHandler  # noqa: E402
from fixtures.installer import coninfo_document  # noqa: E402
from nginx_server import NginxServer  # noqa: E402
from tinyproxy_server import TinyProxy  # noqa: E402

BUILD = os.environ.get("QSW_BIN_DIR", os.path.join(ROOT, "build"))
TOKEN = "5f0c4d2e9a7b8c1d3e6f5a4b2c1d0e9f8a7b6c5d"
TENANT = "demo-tenant-0001"

KEY_LINES = ("****BS_START", "Url to fetch", "Top level mechanism", "Downloaded", "was verified",
             "via proxy", "Setting proxy credentials", "p2p mechanism failed", "Agent handlers failed",
             "extracted to", "Hash verification for Framework", "Discovered p2p path:", "[P2P] P2p download",
             "[P2P] Discovery of", "Returning from Install via p2p", "Installer command", "Final status",
             "Installer Files folder", "Moved installation files", "Agent was", "Installation of Agent failed",
             "Agent upgrade failed", "Error occured", "Cleaning temporary files", "[Relay]", "via relay",
             "****BS_END")
PEER_LINE = "Returning from Install via p2p mechanism within top level p2p mechanism as we got all install files"


def step(text):
    print("\n== %s" % text, flush=True)


def show_run(log, log_from):
    with open(log, encoding="utf-8", errors="replace") as f:
        lines = f.read().splitlines()[log_from:]
    print("   log: %s (key lines of this run)" % log)
    for line in lines:
        message = line.split("\t", 2)[-1]
        if any(k in message for k in KEY_LINES):
            print("   | " + message)
    return len(lines) + log_from, [l.split("\t", 2)[-1] for l in lines]


def inside_demo_network():
    """The installer broadcasts peer discovery: run only inside the namespace that demo/run.sh
    made, with its peer and relayed namespaces beside it. Anything else is refused."""
    names = (os.environ.get("QSW_DEMO_NAMESPACE"), os.environ.get("QSW_DEMO_PEER_NAMESPACE"),
             os.environ.get("QSW_DEMO_RELAYED_NAMESPACE"))
    if not all(names):
        return False
    try:
        made = os.stat(os.path.join("/run/netns", names[0])).st_ino
        os.stat(os.path.join("/run/netns", names[1]))
        os.stat(os.path.join("/run/netns", names[2]))
        return os.readlink("/proc/self/ns/net") == "net:[%d]" % made
    except OSError:
        return False


def relayed_machine_prefix():
    """"ip netns exec" into the relayed namespace, once it is proven to be the one demo/run.sh
    made and not this process's own; None otherwise (the fourth run is then refused)."""
    name = os.environ.get("QSW_DEMO_RELAYED_NAMESPACE", "")
    try:
        made = "net:[%d]" % os.stat(os.path.join("/run/netns", name)).st_ino
    except OSError:
        return None
    probe = subprocess.run(["ip", "netns", "exec", name, "readlink", "/proc/self/ns/net"],
                           capture_output=True, text=True)
    if probe.returncode != 0 or probe.stdout.strip() != made or made == os.readlink("/proc/self/ns/net"):
        return None
    return ["ip", "netns", "exec", name]


class DemoRelay:
    """tests/fixtures/relay_agent.py in this namespace: it answers relay discovery on the link to
    the relayed namespace and forwards to the servers on this namespace's loopback."""

    def __init__(self):
        self.process = subprocess.Popen(
            [sys.executable, os.path.join(ROOT, "tests", "fixtures", "relay_agent.py"), "--ifname", "veth1"],
            stdout=subprocess.PIPE, text=True, start_new_session=True)
        ready = self.process.stdout.readline().split()
        if not ready or ready[0] != "ready":
            raise RuntimeError("the demo relay did not start")
        self.port = int(ready[1])
        self.forwarded = []
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            words = line.split()
            if words and words[0] == "proxied":
                self.forwarded.append(" ".join(words[1:]))

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=10)


class DemoPeer:
    """tests/fixtures/p2p_peer.py in the peer namespace, holding the install files."""

    def __init__(self, cache, files):
        self.names = {hashlib.sha256(data).hexdigest(): name for name, data in files.items()}
        self.process = subprocess.Popen(
            ["ip", "netns", "exec", os.environ["QSW_DEMO_PEER_NAMESPACE"], sys.executable,
             os.path.join(ROOT, "tests", "fixtures", "p2p_peer.py"), "--folder", cache],
            stdout=subprocess.PIPE, text=True, start_new_session=True)
        ready = self.process.stdout.readline().split()
        if not ready or ready[0] != "ready":
            raise RuntimeError("the demo peer did not start")
        self.port = int(ready[1])
        self.served = []
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            words = line.split()
            if words and words[0] == "served":
                self.served.append("%s (%s, %s bytes)" % (self.names.get(words[1], words[1]), words[2], words[3]))

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=10)


class HereNamespace:
    """Starts programs in the demo's own namespace, where demo.py runs (for TinyProxy)."""

    def popen(self, args, **kwargs):
        return subprocess.Popen(args, start_new_session=True, **kwargs)


PROXY_USER, PROXY_PASSWORD, PROXY_PORT = "demo-user", "demo-Passw0rd", 3128


def proxy_run(workspace, installer, results):
    """The other namespace reaches the servers (on this namespace's loopback) only through the
    proxy on this namespace's veth address."""
    title = "Fourth run: behind a proxy that asks for credentials"
    proxy = TinyProxy(HereNamespace(), os.path.join(workspace, "proxy"), "10.203.0.1", PROXY_PORT,
                      user=PROXY_USER, password=PROXY_PASSWORD).start()
    try:
        step("tinyproxy at 10.203.0.1:%d with Basic authentication (%s)" % (PROXY_PORT, PROXY_USER))
        env, log = machine(workspace, "machine-3")
        args = ["-s", "-a", "10.203.0.1", "-p", str(PROXY_PORT), "-u", PROXY_USER, "-w", PROXY_PASSWORD]
        step(title + ": ip netns exec %s %s %s" % (os.environ["QSW_DEMO_PEER_NAMESPACE"], installer,
                                                    " ".join(args[:-1] + ["********"])))
        subprocess.run(["ip", "netns", "exec", os.environ["QSW_DEMO_PEER_NAMESPACE"], installer] + args, env=env,
                       stdin=subprocess.DEVNULL, check=True)
        _, messages = show_run(log, 0)
        show_registry(env["QSW_REGISTRY_ROOT"])
        requests = proxy.requests()
        print("   proxy requests: " + "; ".join("%s %s" % r for r in requests))
        settings = os.path.join(env["QSW_AGENT_DATA"], "proxy_config.ini")
        if os.path.exists(settings):
            with open(settings) as f:
                print("   proxy_config.ini kept by the agent: " + " | ".join(f.read().splitlines()))
        results.append((title, "Agent was installed successfully" in messages
                        and any(m == "CONNECT" for m, _ in requests) and any(m == "GET" for m, _ in requests)))
    finally:
        proxy.process.terminate()
        proxy.process.wait(timeout=10)


def show_registry(registry):
    for path in (("Lumacore", "Agent"), ("Vantor", "Shared Components", "Framework")):
        key = os.path.join(registry, "HKEY_LOCAL_MACHINE", "Software", "Norvasso", *path)
        print("   registry %s:" % key)
        for name in sorted(os.listdir(key)) if os.path.isdir(key) else []:
            with open(os.path.join(key, name), encoding="utf-8") as f:
                print("     %-22s %s" % (name, f.read()))


def installer_files(env):
    """The agent's peer cache on a demo machine: where the installer hands over the install files."""
    return os.path.join(env["QSW_AGENT_DATA"], "data", "InstallerFiles")


def show_installer_files(name, env):
    folder = installer_files(env)
    print("   %s %s:" % (name, folder))
    for entry in sorted(os.listdir(folder)) if os.path.isdir(folder) else ["(none)"]:
        print("     " + entry)


def machine(workspace, name):
    """A machine of its own: temporary folder, registry and agent data."""
    root = os.path.join(workspace, name)
    env = dict(os.environ, TMPDIR=os.path.join(root, "tmp"), QSW_REGISTRY_ROOT=os.path.join(root, "registry"),
               QSW_AGENT_DATA=os.path.join(root, "agent-data"), QSW_LOCK_DIR=os.path.join(root, "locks"),
               LC_ALL="C.UTF-8")
    os.makedirs(env["TMPDIR"], mode=0o700)
    os.makedirs(env["QSW_LOCK_DIR"], mode=0o700)
    return env, os.path.join(env["TMPDIR"], "HolvenLogs", "HolvenSwiftset.log")


def run_installer(title, installer, env, log, log_from, prefix=()):
    step(title + ": " + installer + " -s")
    # Each demo machine has its own lock folder, so no other installer run can hold its lock.
    subprocess.run(list(prefix) + [installer, "-s"], env=env, stdin=subprocess.DEVNULL, check=True)
    log_from, messages = show_run(log, log_from)
    show_registry(env["QSW_REGISTRY_ROOT"])
    return log_from, messages


def relayed_run(title, installer, workspace):
    prefix = relayed_machine_prefix()
    if not prefix:
        print("   the relayed namespace is not the one demo/run.sh made: the fourth run is refused")
        return False
    relay = DemoRelay()
    try:
        step("Relay agent in %s at 10.204.0.1 and 2001:db8:204::1, forwarding on port %d to the "
             "servers on this namespace's loopback" % (os.environ["QSW_DEMO_NAMESPACE"], relay.port))
        third, third_log = machine(workspace, "machine-4")
        print("   (mechanisms [0] to [2] fail at once: nothing in %s reaches the servers; each relay"
              % os.environ["QSW_DEMO_RELAYED_NAMESPACE"])
        print("    discovery pass waits 5 seconds for answers)")
        _, messages = run_installer(title, installer, third, third_log, 0, prefix)
        print("   relay forwarded: " + ("; ".join(relay.forwarded) or "nothing"))
        through_relay = any(m.startswith("[Relay] Trying to download via Relay IP ") for m in messages)
        return "Agent was installed successfully" in messages and through_relay and bool(relay.forwarded)
    finally:
        relay.stop()


def main():
    if not inside_demo_network():
        print("demo.py runs only inside the network namespaces that demo/run.sh makes: the installer "
              "broadcasts peer discovery. Use: bash demo/run.sh", file=sys.stderr)
        return 2
    workspace = tempfile.mkdtemp(prefix="quenta-demo-")
    env, log = machine(workspace, "machine-1")
    step("Demo workspace " + workspace)

    step("Demo CA and agent-handler certificate (openssl)")
    ca = certs.make_ca(os.path.join(workspace, "ca"), name="Quenta Demo CA")
    cert, key = certs.make_server_cert(os.path.join(workspace, "ca"), ca, names=("lumacore.demo.internal", "localhost"))
    print("   CA %s" % ca.cert)

    repository = os.path.join(workspace, "repository")
    os.makedirs(repository)
    files = packages.install_files()
    with NginxServer(repository) as nginx:
        step("Repository (nginx) at " + nginx.url("/"))
        port = nginx.port
        config_zip, install_zip = packages.build(
            os.path.join(workspace, "packages"),
            [packages.http_site("DemoRepository", ip="127.0.0.1:%d" % port, server="localhost:%d" % port)],
            files=files)
        packages.publish(repository, install_zip)
        print("   FrameworkConfig.zip: sitelist.xml, PackageInfo.xml, hashes.xml")
        print("   FrameworkInstall.zip: Vesinst.exe (the demo agent installer), agent.dat")

        with AgentHandler(config_zip, {TOKEN: None}, addresses=["127.0.0.1", "::1"], cert=cert, key=key,
                          tenant_id=TENANT) as handler:
            step("Agent handler (HTTPS) on port %d, token %s..." % (handler.port, TOKEN[:8]))
            document = os.path.join(workspace, "coninfo.xml")
            with open(document, "w") as f:
                f.write(coninfo_document(host="localhost", ip="127.0.0.1", netbios="[::1]", port=handler.port,
                                         token=TOKEN, certificates=[certs.der_base64(ca.cert)]))
            installer = os.path.join(workspace, "QuentaSwiftset")
            subprocess.run([os.path.join(BUILD, "qsw-stamp"), os.path.join(BUILD, "QuentaSwiftset"), document, installer],
                           check=True)

            results = []
            log_from = 0
            print("\n   (no peer runs yet: each run's peer discovery waits 2 seconds for an answer, then the")
            print("    agent handlers and the repository deliver)")
            for title, expected in (("First run: fresh installation", "Agent was installed successfully"),
                                    ("Second run: upgrade of the installed agent", "Agent was upgraded successfully")):
                log_from, messages = run_installer(title, installer, env, log, log_from)
                results.append((title, expected in messages
                                and "Moved installation files to p2p folder successfully" in messages))

            title = "Third run: another machine, install files from a peer"
            # The first machine's agent serves what the installer handed over to it.
            cache = installer_files(env)
            peer = DemoPeer(cache, files)
            try:
                step("Peer agent in %s at 10.203.0.2, HTTP port %d, serving the files machine-1 handed over (%s)"
                     % (os.environ["QSW_DEMO_PEER_NAMESPACE"], peer.port, cache))
                requests_before = len(nginx.access_log())
                second, second_log = machine(workspace, "machine-2")
                _, messages = run_installer(title, installer, second, second_log, 0)
                fetched = [r for r in nginx.access_log()[requests_before:] if "FrameworkInstall.zip" in r["request"]]
                print("   peer served: " + ("; ".join(peer.served) or "nothing"))
                print("   repository requests for FrameworkInstall.zip in this run: %d" % len(fetched))
                results.append((title, "Agent was installed successfully" in messages and PEER_LINE in messages
                                and "Moved installation files to p2p folder successfully" in messages and not fetched))
            finally:
                peer.stop()
            proxy_run(workspace, installer, results)

            title = "Fifth run: a fourth machine, only through a relay agent"
            results.append((title, relayed_run(title, installer, workspace)))

    step("Install files handed over to each machine's agent (<SHA-256>_<name>, then hashes.xml)")
    show_installer_files("machine-1", env)
    show_installer_files("machine-2", second)

    step("Result")
    for title, ok in results:
        print("   %-55s %s" % (title, "OK" if ok else "FAILED"))
    print("   workspace kept for inspection: " + workspace)
    return 0 if all(ok for _, ok in results) else 1


if __name__ == "__main__":
    sys.exit(main())
