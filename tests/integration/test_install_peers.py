"""Full installations with the real executable where mechanism [0] fetches the install files from
a peer agent on the local network.

Everything runs in namespaces of a test network (tests/fixtures/netns.py): the installer, the
agent handler (HTTPS) and the repository (nginx) on member 1's loopback, the test peer in member
2, which holds the files that hashes.xml of the configuration package lists and serves them at
/p2p/<hash>. The installer is only ever started through "ip netns exec" into member 1, which
refuses to run anything when that namespace is missing.
"""

import hashlib
import json
import os
import shutil
import subprocess
import tempfile
import threading
import time
import unittest

import certs
import netns
import packages
from fixtures.installer import Sandbox, coninfo_document

TOKEN = "0123456789abcdef0123456789abcdef01234567"
TENANT = "tenant-0001"
FIXTURES = os.path.dirname(os.path.abspath(certs.__file__))
PYTHON = os.environ.get("QSW_PYTHON", "/usr/bin/python3")


def own_network_namespace():
    return os.readlink("/proc/self/ns/net")


class Lines:
    """Collects a child's output lines on a thread, so that its pipe never fills."""

    def __init__(self, stream):
        self.lines = []
        self._lock = threading.Lock()
        self._stream = stream
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self._stream:
            with self._lock:
                self.lines.append(line.rstrip("\n"))

    def starting(self, prefix, count=0, timeout=10.0):
        """The lines that start with prefix, once there are `count` of them (or the time is up)."""
        deadline = time.monotonic() + timeout
        while True:
            with self._lock:
                found = [line for line in self.lines if line.startswith(prefix)]
            if len(found) >= count or time.monotonic() > deadline:
                return found
            time.sleep(0.05)


def start_fixture(member, script, args):
    """A fixture server started in a member namespace; (process, its READY fields)."""
    process = member.popen([PYTHON, os.path.join(FIXTURES, script)] + list(args), stdin=subprocess.PIPE,
                           stdout=subprocess.PIPE, text=True)
    line = process.stdout.readline()
    if not line.startswith("READY "):
        raise RuntimeError("%s did not start: %r" % (script, line))
    return process, json.loads(line[len("READY "):])


def start_peer(member, folder):
    # IPv4 only, so that the URL of every file is the same form whichever family answers first.
    process = member.popen([PYTHON, os.path.join(FIXTURES, "p2p_peer.py"), "--folder", folder, "--families", "4"],
                           stdout=subprocess.PIPE, text=True)
    line = process.stdout.readline()
    if not line.startswith("ready "):
        raise RuntimeError("the peer did not start: %r" % line)
    return process, int(line.split()[1]), Lines(process.stdout)


@unittest.skipIf(netns.unavailable_reason(), netns.unavailable_reason() or "")
class PeerInstallTest(unittest.TestCase):
    maxDiff = None

    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="qsw-peers-")
        cls.net = netns.Network(members=2, ipv6=True).start()
        cls.client, cls.peer_member = cls.net.members
        # Fail closed: the installer broadcasts, so it runs nowhere but in member 1, whose network
        # must be the harness's namespace and not this process's own.
        probe = cls.client.run(["readlink", "/proc/self/ns/net"], capture_output=True, text=True)
        made = "net:[%d]" % os.stat(os.path.join("/run/netns", cls.client.name)).st_ino
        if probe.returncode != 0 or probe.stdout.strip() != made or made == own_network_namespace():
            cls.net.close()
            raise RuntimeError("member 1 is not a network namespace of its own")

        repository = os.path.join(cls.root, "repository")
        os.mkdir(repository)
        _, cls.nginx = start_fixture(cls.client, "nginx_server.py", ["--root", repository])
        port = cls.nginx["port"]
        cls.files = packages.install_files()
        cls.config_zip, install_zip = packages.build(
            os.path.join(cls.root, "packages"),
            [packages.http_site("repo", ip="127.0.0.1:%d" % port, server="localhost:%d" % port)],
            files=cls.files)
        packages.publish(repository, install_zip)
        _, cls.handler = start_fixture(cls.client, "agent_handler.py",
                                       ["--package", cls.config_zip, "--token", TOKEN, "--listen", "127.0.0.1",
                                        "--listen", "::1", "--certs", os.path.join(cls.root, "certs"),
                                        "--tenant-id", TENANT])
        # The peer's cache: exactly the files that hashes.xml lists.
        cls.cache = packages.peer_cache(os.path.join(cls.root, "peer-cache"), cls.files)

    @classmethod
    def tearDownClass(cls):
        cls.net.close()
        shutil.rmtree(cls.root, ignore_errors=True)

    def setUp(self):
        self.box = Sandbox()
        self.addCleanup(self.box.close)
        document = coninfo_document(host="localhost", ip="127.0.0.1", netbios="[::1]", port=self.handler["port"],
                                    token=TOKEN, certificates=[certs.der_base64(self.handler["ca"])])
        self.installer = self.box.stamp(document)
        self.record = os.path.join(self.box.root, "vesinst-args.txt")

    def install(self, box=None, installer=None):
        box, installer = box or self.box, installer or self.installer
        # The single-instance lock is machine-wide: another build's test may hold it for a while.
        deadline = time.monotonic() + 300
        while True:
            result = box.run(["-s"], program=installer, prefix=self.client.exec_args([]),
                             QSW_VESINST_RECORD=self.record,
                             QSW_AGENT_DATA=os.path.join(box.root, "agent-data"))
            if "Another instance might be running" not in result.stdout or time.monotonic() > deadline:
                break
            time.sleep(1)
        self.assertEqual(result.returncode, 0, result.stderr)
        return box.log_messages()

    def section(self, messages, first, last):
        start = messages.index(first)
        return [m for m in messages[start:messages.index(last, start) + 1] if not m.startswith("curl ")]

    def repository_requests(self, before):
        with open(self.nginx["access_log"]) as f:
            return [json.loads(line) for line in f.read().splitlines()[before:] if line.strip()]

    def access_count(self):
        try:
            with open(self.nginx["access_log"]) as f:
                return len([line for line in f if line.strip()])
        except FileNotFoundError:
            return 0

    def test_mechanism_0_installs_from_a_peer(self):
        process, http_port, peer = start_peer(self.peer_member, self.cache)
        self.addCleanup(netns._stop_process, process)
        before = self.access_count()
        messages = self.install()
        work = self.box.work_folder
        guid = next(m for m in messages if m.startswith("Agent Guid:"))[len("Agent Guid:"):]

        section = self.section(messages, "[0] Top level mechanism - p2p - Config files from Agent handlers directly - "
                                         "Install files via p2p only", "Agent was installed successfully")
        url = next(m for m in messages if m.startswith("Url to fetch FrameWorkconfig.zip:"))
        query = url[url.index("?"):]
        config = "https://127.0.0.1:%d/config" % self.handler["port"]
        with open(self.config_zip, "rb") as f:
            config_hash = hashlib.sha256(f.read()).hexdigest()
        expected = ["[0] Top level mechanism - p2p - Config files from Agent handlers directly - Install files via p2p only",
                    "Install via p2p mechanism",
                    "Connection info path %s/coninfo.xml" % work,
                    "creating certificate %s/cabundle.cer" % work,
                    "[Fallback] 1:IP based:Config Files:Enter",
                    "Trying to download Framworkconfig using IPaddress " + config + query,
                    "Downloading FrameworkConfig.zip from " + config,
                    "Fresh file will be downloaded at: %s/FrameworkConfig.zip" % work,
                    "certificate passed to curl",
                    "Config-Hash :" + config_hash,
                    "Install-Hash :" + self.handler["install_hash"],
                    "Tenant-ID :" + TENANT,
                    "Configuration request response code: 200",
                    "Downloaded Frameworkconfig.zip Successfully",
                    "Frameworkconfig stored in %s/FrameworkConfig.zip" % work,
                    "FrameworkConfig.zip was verified",
                    "FrameworkConfig.zip extracted to %s/FrameworkConfig.zip" % work]
        expected += ["Try to get install files via p2p mechanism with the selected top level - 0 - mechanism"]
        for name, data in self.files.items():
            digest = hashlib.sha256(data).hexdigest()
            expected += ["[P2P] Discovering %s " % name,
                         "Discovered p2p path:http://%s:%d/p2p/%s" % (self.peer_member.ipv4, http_port, digest),
                         "User agent information successfully set",
                         "Fresh file will be downloaded at: %s/%s" % (work, name),
                         "[P2P] P2p download and hash verification of %s succeeded" % name,
                         "Hash verification of %s/%s succeded" % (work, name)]
        expected += ["Returning from Install via p2p mechanism within top level p2p mechanism as we got all install files",
                     "[Install] Download files successfully. Installing agent now.",
                     "Tenant GUID:%s Agent GUID:{%s}" % (TENANT, guid),
                     'Installer command: "%s/Vesinst.exe" /Install=Agent /Silent /VesPkg /EnforceEvents '
                     '/TenantID="%s" /AgentGUID="{%s}"' % (work, TENANT, guid),
                     "Waiting for finishing installation",
                     "Install Status:Result:1.ExitCode:0",
                     "[Install] Final status:1",
                     "Installer Files folder exists",
                     "Moved installation files to p2p folder successfully",
                     "Agent was installed successfully"]
        self.assertEqual(section, expected)
        self.assertNotIn("Install via p2p mechanism failed", messages)
        self.assertFalse(any(m.startswith("[1] Top level mechanism") for m in messages))
        self.assertEqual(self.repository_requests(before), [], "the repository was not touched")
        # The peer prints its line after the body has gone out: it may come after the run ends.
        served = peer.starting("served ", count=len(self.files))
        self.assertEqual(sorted(served), sorted("served %s 200 %d" % (hashlib.sha256(d).hexdigest(), len(d))
                                                for d in self.files.values()))
        with open(self.record) as f:
            self.assertEqual(f.read().splitlines(), ["/Install=Agent", "/Silent", "/VesPkg", "/EnforceEvents",
                                                     "/TenantID=" + TENANT, "/AgentGUID={%s}" % guid])
        self.assertFalse(os.path.exists(work), "the work folder is removed after a success")

    def test_without_a_peer_mechanism_1_installs_from_the_repository(self):
        before = self.access_count()
        messages = self.install()
        section = self.section(messages, "[0] Top level mechanism - p2p - Config files from Agent handlers directly - "
                                         "Install files via p2p only", "Agent was installed successfully")
        first = next(iter(self.files))
        for line in ["Try to get install files via p2p mechanism with the selected top level - 0 - mechanism",
                     "[P2P] Discovering %s " % first,
                     "[P2P] Discovery of %s failed in P2P cache. rc<1>" % first,
                     "Returning from Install via p2p mechanism within top level p2p mechanism to try for other mechanisms",
                     "Install via p2p mechanism failed",
                     "[1] Top level mechanism - Agent handlers - Config files from Agent handlers directly - Install files via direct only",
                     "Install directly via Agent handlers",
                     "Downloaded install file Successfully",
                     "Hash verification for Framework install files succeeded",
                     "Agent was installed successfully"]:
            self.assertIn(line, section)
            section = section[section.index(line) + 1:]
        self.assertEqual(sum(1 for m in messages if m.startswith("[P2P] Discovering ")), 1, "the road gave up at once")
        requests = [r for r in self.repository_requests(before) if "FrameworkInstall.zip" in r["request"]]
        self.assertEqual([r["status"] for r in requests], [200])

    def assert_handed_over(self, box):
        """The agent's peer cache holds every listed file under its digest name, and hashes.xml."""
        cache = os.path.join(box.root, "agent-data", "data", "InstallerFiles")
        names = {"%s_%s" % (hashlib.sha256(data).hexdigest(), name): data for name, data in self.files.items()}
        self.assertEqual(sorted(os.listdir(cache)), sorted(list(names) + ["hashes.xml"]))
        for name, data in names.items():
            with open(os.path.join(cache, name), "rb") as f:
                self.assertEqual(f.read(), data, name)
        return cache

    def test_the_files_handed_over_after_an_install_serve_the_next_machine(self):
        # The first machine finds no peer and installs from the repository.
        messages = self.install()
        self.assertEqual(messages[messages.index("[Install] Final status:1"):][:4],
                         ["[Install] Final status:1", "Installer Files folder exists",
                          "Moved installation files to p2p folder successfully", "Agent was installed successfully"])
        cache = self.assert_handed_over(self.box)

        # Its agent now serves them from member 2; a second machine installs from that peer.
        process, _, peer = start_peer(self.peer_member, cache)
        self.addCleanup(netns._stop_process, process)
        second = Sandbox()
        self.addCleanup(second.close)
        document = coninfo_document(host="localhost", ip="127.0.0.1", netbios="[::1]", port=self.handler["port"],
                                    token=TOKEN, certificates=[certs.der_base64(self.handler["ca"])])
        before = self.access_count()
        messages = self.install(second, second.stamp(document))
        self.assertIn("Returning from Install via p2p mechanism within top level p2p mechanism as we got all "
                      "install files", messages)
        self.assertIn("Agent was installed successfully", messages)
        self.assertEqual([r for r in self.repository_requests(before) if "FrameworkInstall.zip" in r["request"]], [])
        served = peer.starting("served ", count=len(self.files))
        self.assertEqual(sorted(served), sorted("served %s 200 %d" % (hashlib.sha256(d).hexdigest(), len(d))
                                                for d in self.files.values()))
        self.assert_handed_over(second)


if __name__ == "__main__":
    unittest.main()
