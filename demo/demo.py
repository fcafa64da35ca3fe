"""The demonstration: a whole deployment on one machine, inside two network namespaces that
demo/run.sh made and joined by a veth pair (nothing else is reachable, so peer discovery stays
between them).

It makes a demo CA and a server certificate, builds the configuration and install packages,
starts a demo agent handler (HTTPS) and a repository (nginx), stamps a copy of the installer with
the deployment's connection data, and runs it silently three times: a fresh install, an upgrade
of the agent the first run installed, and a fresh install on a second "machine" (its own
temporary folder and registry) while a peer agent in the other namespace holds the install
files: mechanism [0] takes them from that peer and the repository is not asked. Last, a fourth
"machine" in the other namespace, which reaches the agent handler and the repository only
through a proxy that asks for credentials (tinyproxy): mechanism [2] with -a, -p, -u and -w.
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
             "Agent was", "Installation of Agent failed", "Agent upgrade failed", "Error occured",
             "Cleaning temporary files", "****BS_END")
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
    made, with its peer namespace beside it. Anything else is refused."""
    names = os.environ.get("QSW_DEMO_NAMESPACE"), os.environ.get("QSW_DEMO_PEER_NAMESPACE")
    if not all(names):
        return False
    try:
        made = os.stat(os.path.join("/run/netns", names[0])).st_ino
        os.stat(os.path.join("/run/netns", names[1]))
        return os.readlink("/proc/self/ns/net") == "net:[%d]" % made
    except OSError:
        return False


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
    key = os.path.join(registry, "HKEY_LOCAL_MACHINE", "Software", "Norvasso", "Lumacore", "Agent")
    print("   registry %s:" % key)
    for name in sorted(os.listdir(key)) if os.path.isdir(key) else []:
        with open(os.path.join(key, name), encoding="utf-8") as f:
            print("     %-22s %s" % (name, f.read()))


def machine(workspace, name):
    """A machine of its own: temporary folder, registry and agent data."""
    root = os.path.join(workspace, name)
    env = dict(os.environ, TMPDIR=os.path.join(root, "tmp"), QSW_REGISTRY_ROOT=os.path.join(root, "registry"),
               QSW_AGENT_DATA=os.path.join(root, "agent-data"), QSW_LOCK_DIR=os.path.join(root, "locks"),
               LC_ALL="C.UTF-8")
    os.makedirs(env["TMPDIR"], mode=0o700)
    os.makedirs(env["QSW_LOCK_DIR"], mode=0o700)
    return env, os.path.join(env["TMPDIR"], "HolvenLogs", "HolvenSwiftset.log")


def run_installer(title, installer, env, log, log_from):
    step(title + ": " + installer + " -s")
    # Each demo machine has its own lock folder, so no other installer run can hold its lock.
    subprocess.run([installer, "-s"], env=env, stdin=subprocess.DEVNULL, check=True)
    log_from, messages = show_run(log, log_from)
    show_registry(env["QSW_REGISTRY_ROOT"])
    return log_from, messages


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
                results.append((title, expected in messages))

            title = "Third run: another machine, install files from a peer"
            cache = os.path.join(workspace, "peer-cache")
            os.makedirs(cache)
            for name, data in files.items():
                with open(os.path.join(cache, name), "wb") as f:
                    f.write(data)
            peer = DemoPeer(cache, files)
            try:
                step("Peer agent in %s at 10.203.0.2, HTTP port %d, holding %s"
                     % (os.environ["QSW_DEMO_PEER_NAMESPACE"], peer.port, ", ".join(files)))
                requests_before = len(nginx.access_log())
                second, second_log = machine(workspace, "machine-2")
                _, messages = run_installer(title, installer, second, second_log, 0)
                fetched = [r for r in nginx.access_log()[requests_before:] if "FrameworkInstall.zip" in r["request"]]
                print("   peer served: " + ("; ".join(peer.served) or "nothing"))
                print("   repository requests for FrameworkInstall.zip in this run: %d" % len(fetched))
                results.append((title, "Agent was installed successfully" in messages and PEER_LINE in messages
                                and not fetched))
            finally:
                peer.stop()
            proxy_run(workspace, installer, results)

    step("Result")
    for title, ok in results:
        print("   %-55s %s" % (title, "OK" if ok else "FAILED"))
    print("   workspace kept for inspection: " + workspace)
    return 0 if all(ok for _, ok in results) else 1


if __name__ == "__main__":
    sys.exit(main())
