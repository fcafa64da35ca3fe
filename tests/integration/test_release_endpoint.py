"""The release executable on a bare Debian 12 system (debootstrap minbase, no libcurl, no
OpenSSL, no CA certificates): stamped, copied in and run there as a deployment tool would, it
installs the agent through the repositories (mechanism [1]) and from a peer (mechanism [0]), and
its system-store TLS mode finds a CA wherever the usual distributions keep theirs.

The endpoint is a chroot (tests/fixtures/endpoint.py) entered inside member 1 of a test network
(tests/fixtures/netns.py), where the agent handler and nginx run outside the chroot; the test
peer runs in member 2. Needs QSW_RELEASE_INSTALLER (build-release/dist/QuentaSwiftset) and
QSW_BARE_ENDPOINT (scripts/release/bare-endpoint.sh); skips without them.
"""

import json
import os
import shutil
import subprocess
import tempfile
import unittest

import certs
import netns
import packages
from endpoint import Endpoint
from fixtures.installer import BIN_DIR, STAMP, coninfo_document
from test_install_peers import own_network_namespace, start_fixture, start_peer

RELEASE = os.environ.get("QSW_RELEASE_INSTALLER", "")
TREE = os.environ.get("QSW_BARE_ENDPOINT", "")
DEVELOPMENT = os.path.join(BIN_DIR, "QuentaSwiftset")
TOKEN = "0123456789abcdef0123456789abcdef01234567"
TENANT = "tenant-0042"
PROGRAM = "/opt/quenta/QuentaSwiftset"
AGENT_KEY = "/qsw/registry/HKEY_LOCAL_MACHINE/Software/Norvasso/Lumacore/Agent"
# What the C library of Debian 12 consists of (the older split libraries included).
C_LIBRARY = {"linux-vdso.so.1", "libc.so.6", "libm.so.6", "ld-linux-x86-64.so.2", "libpthread.so.0",
             "libdl.so.2", "librt.so.1", "libresolv.so.2"}


def missing_inputs():
    if not RELEASE or not TREE:
        return "QSW_RELEASE_INSTALLER and QSW_BARE_ENDPOINT name the release executable and the bare tree"
    return netns.unavailable_reason()


@unittest.skipIf(missing_inputs(), missing_inputs() or "")
class ReleaseEndpointTest(unittest.TestCase):
    maxDiff = None

    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="qsw-release-")
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
            [packages.http_site("repo", ip="127.0.0.1:%d" % port, server="localhost:%d" % port)], files=cls.files)
        packages.publish(repository, install_zip)
        _, cls.handler = start_fixture(cls.client, "agent_handler.py",
                                       ["--package", cls.config_zip, "--token", TOKEN, "--listen", "127.0.0.1",
                                        "--listen", "::1", "--certs", os.path.join(cls.root, "certs"),
                                        "--tenant-id", TENANT])
        cls.ca_pem = cls.handler["ca"]
        cls.cache = packages.peer_cache(os.path.join(cls.root, "peer-cache"), cls.files)

    @classmethod
    def tearDownClass(cls):
        cls.net.close()
        shutil.rmtree(cls.root, ignore_errors=True)

    def setUp(self):
        self.new_endpoint()

    def new_endpoint(self):
        self.folder = tempfile.mkdtemp(prefix="endpoint-", dir=self.root)
        self.endpoint = Endpoint(TREE, os.path.join(self.folder, "endpoint"))
        self.addCleanup(shutil.rmtree, self.folder, True)
        for inside in ("/qsw/tmp", "/qsw/locks"):
            self.endpoint.mkdir(inside, 0o700)
        self.endpoint.mkdir("/qsw/registry")

    def stamp(self, certificates):
        """Copies the release executable, stamped for this deployment, into the endpoint."""
        document = os.path.join(self.folder, "coninfo.xml")
        with open(document, "w") as f:
            f.write(coninfo_document(host="localhost", ip="127.0.0.1", netbios="[::1]", port=self.handler["port"],
                                     token=TOKEN, certificates=certificates))
        stamped = os.path.join(self.folder, "QuentaSwiftset")
        subprocess.run([STAMP, RELEASE, document, stamped], check=True, capture_output=True)
        self.endpoint.put(PROGRAM, stamped, mode=0o755)

    def install(self):
        result = self.endpoint.run([PROGRAM, "-s"], prefix=self.client.exec_args([]), env={
            "TMPDIR": "/qsw/tmp", "QSW_REGISTRY_ROOT": "/qsw/registry", "QSW_LOCK_DIR": "/qsw/locks",
            "QSW_AGENT_DATA": "/var/opt/quenta/agent", "QSW_VESINST_RECORD": "/qsw/vesinst-args.txt",
            "LC_ALL": "C.UTF-8"})
        self.assertEqual(result.returncode, 0, result.stderr)
        return self.messages()

    def messages(self):
        try:
            with open(self.endpoint.path("/qsw/tmp/HolvenLogs/HolvenSwiftset.log"), errors="replace") as f:
                lines = f.read().splitlines()
        except FileNotFoundError:
            return []
        return [line.split("\t", 2)[2] for line in lines if line.count("\t") >= 2]

    def assert_installed(self, messages):
        self.assertEqual(messages[-1:], ["****BS_END*****"])
        self.assertIn("Agent was installed successfully", messages)
        guid = next(m for m in messages if m.startswith("Agent Guid:"))[len("Agent Guid:"):]
        with open(self.endpoint.path(AGENT_KEY + "/AgentGUID.REG_SZ")) as f:
            self.assertEqual(f.read(), "{%s}" % guid)
        with open(self.endpoint.path("/qsw/vesinst-args.txt")) as f:
            self.assertEqual(f.read().splitlines(), ["/Install=Agent", "/Silent", "/VesPkg", "/EnforceEvents",
                                                     "/TenantID=" + TENANT, "/AgentGUID={%s}" % guid])
        self.assertFalse(os.path.exists(self.endpoint.path("/qsw/tmp/HolvenSwiftset")), "work folder removed")

    def repository_requests(self):
        try:
            with open(self.nginx["access_log"]) as f:
                return [json.loads(line)["request"] for line in f if line.strip()]
        except FileNotFoundError:
            return []

    def test_needs_nothing_but_the_c_library(self):
        self.endpoint.put(PROGRAM, RELEASE, mode=0o755)
        result = self.endpoint.run(["ldd", PROGRAM])
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertNotIn("not found", result.stdout)
        names = {os.path.basename(line.split()[0]) for line in result.stdout.splitlines() if line.strip()}
        self.assertIn("libc.so.6", names)
        self.assertLessEqual(names, C_LIBRARY, result.stdout)
        # The tree really is bare: the development build does not even start there. The loader
        # names the first of its libraries that is missing, which depends on the link order.
        self.endpoint.put("/opt/quenta/development", DEVELOPMENT, mode=0o755)
        result = self.endpoint.run(["/opt/quenta/development", "-?"])
        self.assertRegex(result.stderr,
                         r"error while loading shared libraries: "
                         r"(libcurl\.so\.4|libssl\.so\.3|libcrypto\.so\.3|libisal\.so\.2)")

    def test_mechanism_1_installs_through_the_repository(self):
        self.stamp([certs.der_base64(self.ca_pem)])
        before = len(self.repository_requests())
        messages = self.install()
        self.assert_installed(messages)
        for line in ["certificate passed to curl", "Downloaded Frameworkconfig.zip Successfully",
                     "Install via p2p mechanism failed",
                     "[1] Top level mechanism - Agent handlers - Config files from Agent handlers directly - "
                     "Install files via direct only",
                     "Downloaded install file Successfully", "Hash verification for Framework install files succeeded"]:
            self.assertIn(line, messages)
            messages = messages[messages.index(line) + 1:]
        self.assertEqual([r for r in self.repository_requests()[before:] if "FrameworkInstall.zip" in r],
                         ["GET /%s%s/FrameworkInstall.zip HTTP/1.1" % (packages.RELATIVE_PATH, packages.LOCATION)])

    def test_mechanism_0_installs_from_a_peer(self):
        process, http_port, peer = start_peer(self.peer_member, self.cache)
        self.addCleanup(netns._stop_process, process)
        self.stamp([certs.der_base64(self.ca_pem)])
        before = len(self.repository_requests())
        messages = self.install()
        self.assert_installed(messages)
        self.assertIn("Returning from Install via p2p mechanism within top level p2p mechanism as we got all install "
                      "files", messages)
        for name in self.files:
            self.assertIn("[P2P] P2p download and hash verification of %s succeeded" % name, messages)
        self.assertFalse(any(m.startswith("[1] Top level mechanism") for m in messages))
        self.assertEqual(self.repository_requests()[before:], [], "the repository was not asked")
        self.assertEqual(len(peer.starting("served ", count=len(self.files))), len(self.files))

    def ca_subject_hash(self):
        result = subprocess.run(["openssl", "x509", "-hash", "-noout", "-in", self.ca_pem], check=True,
                                capture_output=True, text=True)
        return result.stdout.strip()

    def test_system_store_mode_finds_the_ca_where_distributions_keep_it(self):
        with open(self.ca_pem) as f:
            ca = f.read()
        places = {"Debian's hashed folder": "/etc/ssl/certs/%s.0" % self.ca_subject_hash(),
                  "Fedora and RHEL": "/etc/pki/tls/certs/ca-bundle.crt",
                  "openSUSE": "/etc/ssl/ca-bundle.pem"}
        for distribution, place in places.items():
            with self.subTest(distribution):
                self.new_endpoint()
                self.stamp([])   # no CA in the connection data: the system's store decides
                self.endpoint.write(place, ca)
                messages = self.install()
                self.assertNotIn("certificate passed to curl", messages)
                self.assertIn("Downloaded Frameworkconfig.zip Successfully", messages)
                self.assert_installed(messages)

    def test_system_store_mode_refuses_a_ca_the_endpoint_does_not_trust(self):
        self.stamp([])
        messages = self.install()
        self.assertNotIn("Downloaded Frameworkconfig.zip Successfully", messages)
        self.assertNotIn("Agent was installed successfully", messages)
        # No HTTP answer: the handshake ended at the certificate check.
        self.assertIn("Download of Frameworkconfig.zip Failed :0", messages)


if __name__ == "__main__":
    unittest.main()
