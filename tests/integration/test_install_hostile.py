"""Full runs of the real executable against a hostile repository (nginx serving what an attacker
on the path would send) and on a full disk. The agent handler (TLS with the document's CA) hands
out the trusted configuration package; only the install package is the attacker's. The test runs
in a network namespace of its own: the installer tries peer discovery first.

A hostile Vesinst.exe writes a marker file when it runs: the marker must never appear."""

import hashlib
import os
import re
import shutil
import signal
import subprocess
import tempfile
import unittest

import certs
import packages
from agent_handler import AgentHandler
from fixtures.installer import Sandbox, coninfo_document
from nginx_server import NginxServer

TOKEN = "0123456789abcdef0123456789abcdef01234567"
SUCCESS = "Agent was installed successfully"
ERROR_END = ["Error occured during agent bootstrap operations",
             "FrameworkInstall.zip download is failed. It will resume in next run."]
LOG_LINE = re.compile(r"^[A-Z][a-z]{2} [A-Z][a-z]{2} [ \d]\d \d\d:\d\d:\d\d \d{4}\t[IWED]\t")


def manifest_xml(entries):
    """hashes.xml with the given (name, digest text) entries, digests as they stand."""
    body = "".join("        <%s>%s</%s>\n" % (name, digest, name) for name, digest in entries)
    return '<?xml version="1.0" encoding="UTF-8"?>\n<Hashes>\n    <sha256>\n%s    </sha256>\n</Hashes>\n' % body


def sha256(data):
    return hashlib.sha256(data).hexdigest()


class HostileRepositoryTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="qsw-hostile-")
        cls.repository = os.path.join(cls.root, "repository")
        os.mkdir(cls.repository)
        cls.nginx = NginxServer(cls.repository).start()
        cls.site = packages.http_site("repo", ip="127.0.0.1:%d" % cls.nginx.port,
                                      server="localhost:%d" % cls.nginx.port)
        cls.good = packages.install_files()
        cls.marker = os.path.join(cls.root, "hostile-installer-ran")
        cls.hostile_installer = ("#!/bin/sh\ntouch '%s'\nexit 0\n" % cls.marker).encode()
        config, _ = cls.build("trusted", manifest=cls.good)
        cls.handler = AgentHandler(config, {TOKEN: None}, addresses=["127.0.0.1", "::1"],
                                   certs_dir=os.path.join(cls.root, "certs")).start()

    @classmethod
    def tearDownClass(cls):
        cls.handler.stop()
        cls.nginx.stop()
        shutil.rmtree(cls.root, ignore_errors=True)

    @classmethod
    def build(cls, name, files=None, manifest=None, manifest_text=None):
        """The two packages in their own folder; the manifest as given (files or raw text)."""
        folder = os.path.join(cls.root, name)
        config, install = packages.build(folder, [cls.site], files=files or cls.good, manifest_files=manifest)
        if manifest_text is not None:
            packages.write_zip(config, {"sitelist.xml": packages.site_list(cls.site).encode(),
                                        "PackageInfo.xml": packages.package_info().encode(),
                                        "hashes.xml": manifest_text.encode()})
        return config, install

    def setUp(self):
        self.box = Sandbox()
        self.addCleanup(self.box.close)
        document = coninfo_document(host="localhost", ip="127.0.0.1", netbios="[::1]", port=self.handler.port,
                                    token=TOKEN, certificates=[certs.der_base64(self.handler.ca.cert)])
        self.installer = self.box.stamp(document)
        if os.path.exists(self.marker):
            os.remove(self.marker)

    def serve(self, config, install_bytes):
        """The agent handler answers with `config`; the repository serves `install_bytes`."""
        with open(config, "rb") as f:
            self.handler.package = f.read()
        self.handler.config_hash = sha256(self.handler.package)
        target = os.path.join(self.repository, packages.RELATIVE_PATH + packages.LOCATION)
        os.makedirs(target, exist_ok=True)
        with open(os.path.join(target, "FrameworkInstall.zip"), "wb") as f:
            f.write(install_bytes)

    def serve_packages(self, config, install):
        with open(install, "rb") as f:
            self.serve(config, f.read())

    def install(self):
        result = self.box.run(["-s"], program=self.installer, timeout=300,
                              QSW_AGENT_DATA=os.path.join(self.box.root, "agent-data"))
        self.assertEqual(result.returncode, 0)
        return self.box.log_messages()

    def assert_never_ran(self, messages):
        self.assertFalse(os.path.exists(self.marker), "the hostile Vesinst.exe ran")
        self.assertNotIn(SUCCESS, messages)
        self.assertNotIn("Waiting for finishing installation", messages)

    def test_install_package_cannot_replace_the_manifest(self):
        hostile = {"Vesinst.exe": self.hostile_installer, "agent.dat": self.good["agent.dat"]}
        forged = packages.hashes_xml(hostile).encode()
        files = dict(hostile, **{"hashes.xml": forged, "HASHES.XML": forged, "./hashes.xml.": forged,
                                 "SiteList.xml": b"<forged/>"})
        config, _ = self.build("trusted-manifest", manifest=self.good)
        _, install = self.build("forged-manifest", files=files)
        self.serve_packages(config, install)

        messages = self.install()
        self.assert_never_ran(messages)
        work = self.box.work_folder
        for name in ("hashes.xml", "HASHES.XML", "./hashes.xml.", "SiteList.xml"):
            self.assertIn("Refused to extract %s from %s/FrameworkInstall.zip into %s: the name is that of a "
                          "configuration file" % (name, work, work), messages)
        self.assertIn("Verification of Vesinst.exe failed", messages)
        self.assertIn("Hash verification for Framework install files failed, continue with another site.", messages)
        self.assertEqual(messages[-5:-3], ERROR_END)
        with open(os.path.join(work, "hashes.xml"), "rb") as f:
            self.assertEqual(f.read(), packages.hashes_xml(self.good).encode(), "the trusted manifest stays")

    def test_manifest_left_in_the_work_folder_is_not_trusted(self):
        # Left by an install package of an older installer; this configuration package has none.
        hostile = {"Vesinst.exe": self.hostile_installer, "agent.dat": self.good["agent.dat"]}
        os.mkdir(self.box.work_folder, 0o700)
        with open(os.path.join(self.box.work_folder, "hashes.xml"), "w") as f:
            f.write(packages.hashes_xml(hostile))
        config, install = self.build("no-manifest", files=hostile)
        packages.write_zip(config, {"sitelist.xml": packages.site_list(self.site).encode(),
                                    "PackageInfo.xml": packages.package_info().encode()})
        self.serve_packages(config, install)
        messages = self.install()
        self.assert_never_ran(messages)
        self.assertFalse(os.path.exists(os.path.join(self.box.work_folder, "hashes.xml")))
        self.assertEqual(messages[-5:-3], ERROR_END)

    def test_vesinst_must_be_listed_with_a_usable_digest(self):
        installer = self.hostile_installer
        cases = [
            ("unlisted", manifest_xml([("agent.dat", sha256(self.good["agent.dat"]))]),
             "Vesinst.exe is not listed in hashes.xml: it is not trusted"),
            ("empty", manifest_xml([("agent.dat", sha256(self.good["agent.dat"])), ("Vesinst.exe", "")]),
             "The digest of Vesinst.exe in hashes.xml is empty or of an unrecognised length"),
            # Too long to keep: it used to drop the entry, and the file passed unchecked.
            ("over-long", manifest_xml([("agent.dat", sha256(self.good["agent.dat"])),
                                        ("Vesinst.exe", sha256(installer) * 5)]),
             "The digest of Vesinst.exe in hashes.xml is too long to be one"),
        ]
        for name, manifest, line in cases:
            with self.subTest(name):
                config, install = self.build(name, files={"Vesinst.exe": installer, "agent.dat": self.good["agent.dat"]},
                                             manifest_text=manifest)
                self.serve_packages(config, install)
                messages = self.install()
                self.assert_never_ran(messages)
                self.assertIn(line, messages)
                self.assertEqual(messages[-5:-3], ERROR_END)

    def test_entry_names_cannot_forge_log_lines_or_reach_the_terminal(self):
        forged = "x\nThu Jan  1 00:00:00 2026\tI\tAgent was upgraded successfully"
        files = dict(self.good, **{forged: b"1", "\x1b]2;owned\x07\x1b[2J.txt": b"2"})
        config, install = self.build("control-characters", files=files, manifest=self.good)
        self.serve_packages(config, install)
        result = self.box.run(["-s"], program=self.installer, timeout=300,
                              QSW_AGENT_DATA=os.path.join(self.box.root, "agent-data"))
        messages = self.box.log_messages()
        self.assertIn(SUCCESS, messages, "refused entries do not stop a good package")
        self.assertNotIn("Agent was upgraded successfully", messages)
        self.assertNotIn("\x1b", result.stdout + result.stderr + self.box.log_text())
        work = self.box.work_folder
        self.assertIn("Refused to extract x\\x0aThu Jan  1 00:00:00 2026\\x09I\\x09Agent was upgraded successfully "
                      "from %s/FrameworkInstall.zip into %s: the name holds control characters" % (work, work), messages)
        self.assertIn("refusing \\x1b]2;owned\\x07\\x1b[2J.txt: the name holds control characters", result.stdout)

    def test_package_that_fails_extraction_is_fetched_whole_next_run(self):
        config, install = self.build("recovering", manifest=self.good)
        with open(install, "rb") as f:
            whole = f.read()
        # As large as the package: resuming it would only ever get 416.
        self.serve(config, os.urandom(len(whole) + 100))
        messages = self.install()
        self.assertIn("Decompression of FrameworkInstall.zip failed", messages)
        self.assertIn("Deleted %s/FrameworkInstall.zip: the next attempt downloads it whole" % self.box.work_folder,
                      messages)
        self.assertEqual(messages[-5:-3], ERROR_END)

        self.serve(config, whole)
        sent_before = len(self.nginx.access_log())
        messages = self.install()
        run = messages[len(messages) - messages[::-1].index("****BS_START*****") - 1:]
        self.assertIn("The coninfo.xml file is same, resuming the download.", run)
        self.assertIn(SUCCESS, run)
        requests = [e for e in self.nginx.access_log()[sent_before:] if "FrameworkInstall.zip" in e["request"]]
        self.assertEqual([(r["status"], r["range"]) for r in requests], [(200, "")])


class FullDiskTest(unittest.TestCase):
    """Runs on a 1 MiB tmpfs as TMPDIR, mounted in a mount namespace of the run's own (unshare -m),
    so the mount goes with the run; what the run left there is copied out for reading."""

    TMPFS_SIZE = "1m"

    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="qsw-full-")
        cls.repository = os.path.join(cls.root, "repository")
        os.mkdir(cls.repository)
        cls.nginx = NginxServer(cls.repository).start()
        cls.site = packages.http_site("repo", ip="127.0.0.1:%d" % cls.nginx.port,
                                      server="localhost:%d" % cls.nginx.port)
        config, _ = packages.build(os.path.join(cls.root, "first"), [cls.site])
        cls.handler = AgentHandler(config, {TOKEN: None}, addresses=["127.0.0.1", "::1"],
                                   certs_dir=os.path.join(cls.root, "certs")).start()

    @classmethod
    def tearDownClass(cls):
        cls.handler.stop()
        cls.nginx.stop()
        shutil.rmtree(cls.root, ignore_errors=True)

    def setUp(self):
        self.box = Sandbox()
        self.addCleanup(self.box.close)
        document = coninfo_document(host="localhost", ip="127.0.0.1", netbios="[::1]", port=self.handler.port,
                                    token=TOKEN, certificates=[certs.der_base64(self.handler.ca.cert)])
        self.installer = self.box.stamp(document)
        self.kept = os.path.join(self.box.root, "kept")
        os.mkdir(self.kept)

    def serve(self, name, files):
        config, install = packages.build(os.path.join(self.root, name), [self.site], files=files)
        with open(config, "rb") as f:
            self.handler.package = f.read()
        self.handler.config_hash = sha256(self.handler.package)
        packages.publish(self.repository, install)

    def run_on_full_disk(self):
        script = ('mount -t tmpfs -o size=%s,mode=0700 qsw-full-disk "$TMPDIR" || exit 90\n'
                  '"$@"; rc=$?\ncp -a "$TMPDIR/." "$QSW_KEPT/"\nexit $rc\n' % self.TMPFS_SIZE)
        command = ["unshare", "-m", "--", "sh", "-c", script, "sh", self.installer, "-s"]
        process = subprocess.Popen(command, env=self.box.env(QSW_KEPT=self.kept), stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, start_new_session=True)
        try:
            out, err = process.communicate(timeout=300)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.communicate()
            raise
        if process.returncode == 90:
            self.skipTest("a tmpfs cannot be mounted here: " + err.strip())
        self.assertEqual(process.returncode, 0, err)
        with open(os.path.join(self.kept, "HolvenLogs", "HolvenSwiftset.log"), encoding="utf-8") as f:
            text = f.read()
        return text, [line.split("\t", 2)[2] for line in text.splitlines() if line]

    def assert_readable_with_error_end(self, text, messages):
        for line in text.splitlines():
            if line:
                self.assertRegex(line, LOG_LINE)
        self.assertEqual(messages[-5:-3], ERROR_END)
        self.assertEqual(messages[-1], "****BS_END*****")
        self.assertNotIn(SUCCESS, messages)

    def test_download_that_fills_the_disk(self):
        self.serve("download", packages.install_files({"big.dat": os.urandom(3 * 1024 * 1024)}))
        text, messages = self.run_on_full_disk()
        package = os.path.join(self.box.tmp, "HolvenSwiftset", "FrameworkInstall.zip")
        self.assertIn("Writing %s failed: No space left on device; the partial file was removed" % package, messages)
        self.assertIn("Unable to download FrameworkInstall.zip:Response:200", messages)
        self.assert_readable_with_error_end(text, messages)
        self.assertFalse(os.path.exists(os.path.join(self.kept, "HolvenSwiftset", "FrameworkInstall.zip")))

    def test_extraction_that_fills_the_disk(self):
        self.serve("extraction", packages.install_files({"big.dat": bytes(8 * 1024 * 1024)}))
        text, messages = self.run_on_full_disk()
        work = os.path.join(self.box.tmp, "HolvenSwiftset")
        self.assertIn("Writing %s/big.dat failed: No space left on device; the partial file was removed" % work,
                      messages)
        self.assertIn("Decompression of FrameworkInstall.zip failed", messages)
        self.assertIn("Deleted %s/FrameworkInstall.zip: the next attempt downloads it whole" % work, messages)
        self.assert_readable_with_error_end(text, messages)
        self.assertFalse(os.path.exists(os.path.join(self.kept, "HolvenSwiftset", "big.dat")))


if __name__ == "__main__":
    unittest.main()
