"""The demonstration: a whole deployment on one machine, inside a network namespace that
demo/run.sh made (loopback only, so peer discovery reaches nobody).

It makes a demo CA and a server certificate, builds the configuration and install packages,
starts a demo agent handler (HTTPS) and a repository (nginx), stamps a copy of the installer with
the deployment's connection data, and runs it silently twice: a fresh install, then an upgrade
of the agent the first run installed.
"""
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "fixtures"))
sys.path.insert(0, os.path.join(ROOT, "tests"))

import certs  # noqa: E402
import packages  # noqa: E402
from agent_handler import AgentHandler  # noqa: E402
from fixtures.installer import coninfo_document  # noqa: E402
from nginx_server import NginxServer  # noqa: E402

BUILD = os.environ.get("QSW_BIN_DIR", os.path.join(ROOT, "build"))
TOKEN = "5f0c4d2e9a7b8c1d3e6f5a4b2c1d0e9f8a7b6c5d"
TENANT = "demo-tenant-0001"

KEY_LINES = ("****BS_START", "Url to fetch", "Top level mechanism", "Downloaded", "was verified",
             "extracted to", "Hash verification for Framework", "Installer command", "Final status",
             "Agent was", "Installation of Agent failed", "Agent upgrade failed", "Error occured",
             "Cleaning temporary files", "****BS_END")


def step(text):
    print("\n== %s" % text, flush=True)


def show_run(workspace, log_from):
    log = os.path.join(workspace, "tmp", "HolvenLogs", "HolvenSwiftset.log")
    with open(log, encoding="utf-8", errors="replace") as f:
        lines = f.read().splitlines()[log_from:]
    print("   log: %s (key lines of this run)" % log)
    for line in lines:
        message = line.split("\t", 2)[-1]
        if any(k in message for k in KEY_LINES):
            print("   | " + message)
    return len(lines) + log_from, [l.split("\t", 2)[-1] for l in lines]


def show_registry(registry):
    key = os.path.join(registry, "HKEY_LOCAL_MACHINE", "Software", "Norvasso", "Lumacore", "Agent")
    print("   registry %s:" % key)
    for name in sorted(os.listdir(key)) if os.path.isdir(key) else []:
        with open(os.path.join(key, name), encoding="utf-8") as f:
            print("     %-22s %s" % (name, f.read()))


def main():
    workspace = tempfile.mkdtemp(prefix="quenta-demo-")
    env = dict(os.environ, TMPDIR=os.path.join(workspace, "tmp"), QSW_REGISTRY_ROOT=os.path.join(workspace, "registry"),
               QSW_AGENT_DATA=os.path.join(workspace, "agent-data"), LC_ALL="C.UTF-8")
    os.makedirs(env["TMPDIR"], mode=0o700)
    step("Demo workspace " + workspace)

    step("Demo CA and agent-handler certificate (openssl)")
    ca = certs.make_ca(os.path.join(workspace, "ca"), name="Quenta Demo CA")
    cert, key = certs.make_server_cert(os.path.join(workspace, "ca"), ca, names=("lumacore.demo.internal", "localhost"))
    print("   CA %s" % ca.cert)

    repository = os.path.join(workspace, "repository")
    os.makedirs(repository)
    with NginxServer(repository) as nginx:
        step("Repository (nginx) at " + nginx.url("/"))
        port = nginx.port
        config_zip, install_zip = packages.build(
            os.path.join(workspace, "packages"),
            [packages.http_site("DemoRepository", ip="127.0.0.1:%d" % port, server="localhost:%d" % port)])
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
            for title, expected in (("First run: fresh installation", "Agent was installed successfully"),
                                    ("Second run: upgrade of the installed agent", "Agent was upgraded successfully")):
                step(title + ": " + installer + " -s")
                subprocess.run([installer, "-s"], env=env, stdin=subprocess.DEVNULL, check=True,
                               stdout=subprocess.DEVNULL)
                log_from, messages = show_run(workspace, log_from)
                show_registry(env["QSW_REGISTRY_ROOT"])
                results.append((title, expected in messages))

    step("Result")
    for title, ok in results:
        print("   %-45s %s" % (title, "OK" if ok else "FAILED"))
    print("   workspace kept for inspection: " + workspace)
    return 0 if all(ok for _, ok in results) else 1


if __name__ == "__main__":
    sys.exit(main())
