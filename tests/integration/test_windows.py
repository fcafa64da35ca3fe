"""The Windows edition under Wine: full installations with the cross-built QuentaSwiftset.exe and
the Windows demo agent installer (Vesinst.exe), against the same agent handler (HTTPS), nginx
repository and test peer as the POSIX runs.

Everything runs in namespaces of a test network (tests/fixtures/netns.py): the servers and the
installer in member 1, the peer in member 2. Wine runs only through scripts/wine-run.sh --join,
which refuses unless it stands in member 1's namespace. Each test has a Wine prefix of its own
(an overlay on the runner's template, so its registry and %TEMP% are the test's alone), kept
across the runs of the test: an upgrade and a second instance meet the first run's registry
and named mutex.

Environment: QSW_WINDOWS_BIN_DIR, the Windows build folder (QuentaSwiftset.exe, qsw-stamp.exe,
demo/Vesinst.exe).
"""

import hashlib
import json
import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest

import certs
import netns
import packages
from fixtures.installer import coninfo_document

TOKEN = "0123456789abcdef0123456789abcdef01234567"
TENANT = "tenant-0001"
FIXTURES = os.path.dirname(os.path.abspath(certs.__file__))
SOURCE_DIR = os.environ.get("QSW_SOURCE_DIR", os.path.join(FIXTURES, "..", ".."))
WINE_RUN = os.path.join(SOURCE_DIR, "scripts", "wine-run.sh")
BIN_DIR = os.environ.get("QSW_WINDOWS_BIN_DIR", "")
PYTHON = os.environ.get("QSW_PYTHON", "/usr/bin/python3")
AGENT_SECTION = r"[Software\\Wow6432Node\\Norvasso\\Lumacore\\Agent]"


def windows_path(path):
    """The path of a host file as Wine's programs name it (drive Z: is the host's root)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def start_fixture(member, script, args):
    process = member.popen([PYTHON, os.path.join(FIXTURES, script)] + list(args), stdin=subprocess.PIPE,
                           stdout=subprocess.PIPE, text=True)
    line = process.stdout.readline()
    if not line.startswith("READY "):
        raise RuntimeError("%s did not start: %r" % (script, line))
    return process, json.loads(line[len("READY "):])


def start_peer(member, folder):
    process = member.popen([PYTHON, os.path.join(FIXTURES, "p2p_peer.py"), "--folder", folder, "--families", "4"],
                           stdout=subprocess.PIPE, text=True)
    line = process.stdout.readline()
    if not line.startswith("ready "):
        raise RuntimeError("the peer did not start: %r" % line)
    return process


class WinePrefix:
    """A Wine prefix of one test, mounted as an overlay on the runner's template; its
    wineserver is stopped and the mount removed on close."""

    def __init__(self, member):
        self.member = member
        template = subprocess.run(["bash", WINE_RUN, "--template"], check=True, capture_output=True,
                                  text=True).stdout.strip()
        self.root = tempfile.mkdtemp(prefix="qsw-wine-")
        self.path = os.path.join(self.root, "prefix")
        for name in ("upper", "work", "prefix"):
            os.mkdir(os.path.join(self.root, name))
        subprocess.run(["mount", "-t", "overlay", "overlay", "-o", "lowerdir=%s,upperdir=%s,workdir=%s" % (
            template, os.path.join(self.root, "upper"), os.path.join(self.root, "work")), self.path], check=True)

    def run(self, program, args=(), timeout=180, **env):
        command = self.member.exec_args(["bash", WINE_RUN, "--join", self.member.name, self.path, program] + list(args))
        full_env = dict(os.environ)
        full_env.update(env)
        return subprocess.run(command, env=full_env, stdin=subprocess.DEVNULL, capture_output=True, text=True,
                              timeout=timeout)

    def popen(self, program, args=(), **env):
        command = self.member.exec_args(["bash", WINE_RUN, "--join", self.member.name, self.path, program] + list(args))
        full_env = dict(os.environ)
        full_env.update(env)
        return subprocess.Popen(command, env=full_env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True)

    def stop_server(self):
        """Ends the prefix's wineserver, which writes the registry to its files."""
        env = dict(os.environ, WINEPREFIX=self.path)
        subprocess.run(["wineserver", "-k"], env=env, capture_output=True)
        subprocess.run(["wineserver", "-w"], env=env, capture_output=True)

    def file(self, *parts):
        return os.path.join(self.path, "drive_c", *parts)

    @property
    def log_path(self):
        return self.file("users", "root", "Temp", "HolvenLogs", "HolvenSwiftset.log")

    def log_messages(self):
        try:
            with open(self.log_path, encoding="utf-8", errors="replace") as f:
                text = f.read()
        except FileNotFoundError:
            return []
        return [parts[2] for parts in (line.split("\t", 2) for line in text.splitlines()) if len(parts) == 3]

    def registry_values(self, section):
        """The values of one key of the machine's registry file, as text ('"name"="data"' lines)."""
        self.stop_server()
        with open(os.path.join(self.path, "system.reg"), encoding="utf-16" if self._utf16() else "utf-8",
                  errors="replace") as f:
            lines = f.read().splitlines()
        values, inside = {}, False
        for line in lines:
            if line.startswith("["):
                inside = line.split("]")[0] + "]" == section
                continue
            match = re.match(r'^"([^"]+)"="(.*)"$', line)
            if inside and match:
                values[match.group(1)] = match.group(2).replace("\\\\", "\\")
        return values

    def _utf16(self):
        with open(os.path.join(self.path, "system.reg"), "rb") as f:
            return f.read(2) in (b"\xff\xfe", b"\xfe\xff")

    def close(self):
        self.stop_server()
        subprocess.run(["umount", self.path], capture_output=True)
        shutil.rmtree(self.root, ignore_errors=True)


@unittest.skipIf(netns.unavailable_reason(), netns.unavailable_reason() or "")
@unittest.skipUnless(BIN_DIR, "QSW_WINDOWS_BIN_DIR names no Windows build")
class WindowsInstallTest(unittest.TestCase):
    maxDiff = None

    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="qsw-windows-")
        cls.net = netns.Network(members=2, ipv6=True).start()
        cls.client, cls.peer_member = cls.net.members
        repository = os.path.join(cls.root, "repository")
        os.mkdir(repository)
        _, cls.nginx = start_fixture(cls.client, "nginx_server.py", ["--root", repository])
        port = cls.nginx["port"]
        with open(os.path.join(BIN_DIR, "demo", "Vesinst.exe"), "rb") as f:
            cls.files = {"Vesinst.exe": f.read(), "agent.dat": os.urandom(64 * 1024)}
        cls.config_zip, install_zip = packages.build(
            os.path.join(cls.root, "packages"),
            [packages.http_site("repo", ip="127.0.0.1:%d" % port, server="localhost:%d" % port)],
            files=cls.files)
        packages.publish(repository, install_zip)
        _, cls.handler = start_fixture(cls.client, "agent_handler.py",
                                       ["--package", cls.config_zip, "--token", TOKEN, "--listen", "127.0.0.1",
                                        "--listen", "::1", "--certs", os.path.join(cls.root, "certs"),
                                        "--tenant-id", TENANT])
        cls.cache = packages.peer_cache(os.path.join(cls.root, "peer-cache"), cls.files)

    @classmethod
    def tearDownClass(cls):
        cls.net.close()
        shutil.rmtree(cls.root, ignore_errors=True)

    def setUp(self):
        self.wine = WinePrefix(self.client)
        self.addCleanup(self.wine.close)
        self.folder = tempfile.mkdtemp(prefix="qsw-windows-run-")
        self.addCleanup(shutil.rmtree, self.folder, True)
        document = os.path.join(self.folder, "coninfo.xml")
        with open(document, "w") as f:
            f.write(coninfo_document(host="localhost", ip="127.0.0.1", netbios="[::1]", port=self.handler["port"],
                                     token=TOKEN, certificates=[certs.der_base64(self.handler["ca"])]))
        self.installer = os.path.join(self.folder, "QuentaSwiftset.exe")
        stamped = self.wine.run(os.path.join(BIN_DIR, "qsw-stamp.exe"),
                                [windows_path(os.path.join(BIN_DIR, "QuentaSwiftset.exe")), windows_path(document),
                                 windows_path(self.installer)])
        self.assertEqual(stamped.returncode, 0, stamped.stdout + stamped.stderr)
        self.record = os.path.join(self.folder, "vesinst-args.txt")

    def install(self, *options, **env):
        result = self.wine.run(self.installer, ["-s"] + list(options), QSW_VESINST_RECORD=windows_path(self.record),
                               **env)
        self.assertEqual(result.returncode, 0, result.stderr)
        return self.wine.log_messages()

    def installer_args(self):
        with open(self.record) as f:
            return f.read().splitlines()

    def access_count(self):
        try:
            with open(self.nginx["access_log"]) as f:
                return len([line for line in f if line.strip()])
        except FileNotFoundError:
            return 0

    def handed_over(self):
        cache = self.wine.file("ProgramData", "Quenta", "Agent", "data", "InstallerFiles")
        return sorted(os.listdir(cache)) if os.path.isdir(cache) else []

    def expected_hand_over(self):
        # Each file under its digest name, and the manifest that lists them.
        return sorted(["%s_%s" % (hashlib.sha256(data).hexdigest(), name) for name, data in self.files.items()]
                      + ["hashes.xml"])

    def test_fresh_install_and_upgrade_through_mechanism_1(self):
        messages = self.install("-g")
        self.assertIn("[1] Top level mechanism - Agent handlers - Config files from Agent handlers directly - "
                      "Install files via direct only", messages)
        # The data file was unpacked while the package downloaded (the agent installer is left
        # to the extraction): the reader shared the file with its writer.
        self.assertIn("Install files unpacked during the download: 1 taken, 0 removed", messages)
        self.assertIn("Agent was installed successfully", messages)
        work = "C:\\users\\root\\Temp\\HolvenSwiftset"
        self.assertIn("Connection info path %s\\coninfo.xml" % work, messages, "the work folder is in %TEMP%")
        self.assertIn("Downloaded Frameworkconfig.zip Successfully", messages)
        guid = next(m for m in messages if m.startswith("Agent Guid:"))[len("Agent Guid:"):]
        self.assertEqual(self.installer_args(), ["/Install=Agent", "/Silent", "/VesPkg", "/EnforceEvents",
                                                 "/TenantID=" + TENANT, "/AgentGUID={%s}" % guid])
        values = self.wine.registry_values(AGENT_SECTION)
        self.assertEqual(values.get("AgentGUID"), "{%s}" % guid, "recorded in the 32-bit view")
        self.assertEqual(values.get("TenantId"), TENANT)
        self.assertEqual(self.handed_over(), self.expected_hand_over())
        work_folder = self.wine.file("users", "root", "Temp", "HolvenSwiftset")
        self.assertFalse(os.path.exists(work_folder), "removed after a success: %s, %s" % (
            os.listdir(work_folder) if os.path.isdir(work_folder) else "", [m for m in messages if "elet" in m]))

        # The upgrade: the agent of the first run is installed; its identity is kept.
        os.remove(self.record)
        before = len(messages)
        messages = self.install()[before:]
        url = next(m for m in messages if m.startswith("Url to fetch"))
        self.assertIn("&AgentGUID=%s&" % guid, url, "read back from the registry's 32-bit view")
        self.assertIn("Agent was upgraded successfully", messages)
        self.assertIn("/AgentGUID={%s}" % guid, self.installer_args(), "the upgrade keeps the agent's GUID")

    def test_mechanism_0_installs_from_a_peer(self):
        process = start_peer(self.peer_member, self.cache)
        self.addCleanup(netns._stop_process, process)
        before = self.access_count()
        messages = self.install()
        self.assertIn("Install via p2p mechanism", messages)
        for name in self.files:
            self.assertIn("[P2P] P2p download and hash verification of %s succeeded" % name, messages)
        self.assertIn("Returning from Install via p2p mechanism within top level p2p mechanism as we got all "
                      "install files", messages)
        self.assertIn("Agent was installed successfully", messages)
        self.assertFalse(any(m.startswith("[1] Top level mechanism") for m in messages))
        self.assertEqual(self.access_count(), before, "the repository was not touched")
        self.assertEqual(self.handed_over(), self.expected_hand_over())

    def test_a_second_instance_is_refused_while_the_first_runs(self):
        first = self.wine.popen(self.installer, ["-s"], QSW_VESINST_RECORD=windows_path(self.record),
                                QSW_VESINST_WAIT_MS="8000")
        self.addCleanup(first.kill)
        deadline = time.monotonic() + 120
        while not os.path.exists(self.record) and time.monotonic() < deadline and first.poll() is None:
            time.sleep(0.2)
        self.assertTrue(os.path.exists(self.record), "the first run reached the agent installer")
        lines_before = len(self.wine.log_messages())
        # Outside session 0 the refusal is a message box; with no display to show it on, the
        # text goes to standard error.
        second = self.wine.run(self.installer, ["-s"])
        self.assertEqual(second.returncode, 0)
        self.assertIn("Another instance might be running. Please wait.", second.stdout + second.stderr)
        self.assertIsNone(first.poll(), "the second run was refused while the first still ran")
        first.communicate(timeout=120)
        messages = self.wine.log_messages()
        self.assertEqual(messages.count("****BS_START*****"), 1, "the refused run wrote no log")
        self.assertGreater(len(messages), lines_before)
        self.assertIn("Agent was installed successfully", messages)


if __name__ == "__main__":
    unittest.main()
