"""Full installations through the agent handlers and the repositories (mechanism [1]) with the
real executable, a real agent handler over TLS and nginx as the repository. The test runs in a
network namespace of its own: the installer tries peer discovery first."""

import hashlib
import os
import shutil
import tempfile
import unittest

import certs
import packages
from agent_handler import AgentHandler
from fixtures.installer import Sandbox, coninfo_document
from nginx_server import NginxServer

TOKEN = "0123456789abcdef0123456789abcdef01234567"
TENANT = "tenant-0001"


class DirectInstallTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="qsw-direct-")
        cls.repository = os.path.join(cls.root, "repository")
        os.mkdir(cls.repository)
        cls.nginx = NginxServer(cls.repository).start()
        port = cls.nginx.port
        cls.files = packages.install_files()
        cls.config_zip, cls.install_zip = packages.build(
            os.path.join(cls.root, "packages"),
            [packages.http_site("repo", ip="127.0.0.1:%d" % port, server="localhost:%d" % port)],
            files=cls.files)
        packages.publish(cls.repository, cls.install_zip)
        cls.handler = AgentHandler(cls.config_zip, {TOKEN: None}, addresses=["127.0.0.1", "::1"],
                                   certs_dir=os.path.join(cls.root, "certs"), tenant_id=TENANT).start()

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
        self.record = os.path.join(self.box.root, "vesinst-args.txt")
        self.data = os.path.join(self.box.root, "agent-data")

    def install(self, *args, **env):
        env.setdefault("QSW_VESINST_RECORD", self.record)
        env.setdefault("QSW_AGENT_DATA", self.data)
        result = self.box.run(["-s"] + list(args), program=self.installer, **env)
        self.assertEqual(result.returncode, 0)
        return self.box.log_messages()

    def installer_args(self):
        with open(self.record) as f:
            return f.read().splitlines()

    def section(self, messages, first, last):
        start = messages.index(first)
        return messages[start:messages.index(last, start) + 1]

    def expected_mechanism_1(self, guid, tenant=TENANT, resume=False, finished="Agent was installed successfully"):
        work = self.box.work_folder
        url = "http://127.0.0.1:%d/%s%s/FrameworkInstall.zip" % (self.nginx.port, packages.RELATIVE_PATH,
                                                                 packages.LOCATION)
        files = []
        for name in self.files:
            files += ["Verifying %s " % name, "%s :%s" % (name, hashlib.sha256(self.files[name]).hexdigest()),
                      "Hash verification of %s succeded" % name]
        return (["[1] Top level mechanism - Agent handlers - Config files from Agent handlers directly - Install files via direct only",
                 "Install directly via Agent handlers"]
                + ([] if resume else ["Resume download flag is off deleting the files."])
                + ["[Fallback] 1:IP based:Install Files:Enter",
                   "Trying to download install file using repository IP http://127.0.0.1:%d" % self.nginx.port,
                   "Downloading install file from " + url]
                + (["Resume the file downloaded from 0.04 MB ( 40000 Bytes ): %s/FrameworkInstall.zip" % work]
                   if resume else ["Fresh file will be downloaded at: %s/FrameworkInstall.zip" % work])
                + ["Downloaded install file Successfully" if not resume else "Downloaded install (Partial Content) file Successfully",
                   "Install file stored in %s/FrameworkInstall.zip" % work,
                   "There is no %s/cleanup.exe to delete" % work]
                # A fresh download is unpacked as it arrives: the data file is taken from there.
                + ([] if resume else ["Install files unpacked during the download: 1 taken, 0 removed"])
                + ["Install file extracted to " + work]
                + files
                + ["Hash verification for Framework install files succeeded",
                   "[Install] Download files successfully. Installing agent now.",
                   "Tenant GUID:%s Agent GUID:{%s}" % (tenant, guid),
                   'Installer command: "%s/Vesinst.exe" /Install=Agent /Silent /VesPkg /EnforceEvents '
                   '/TenantID="%s" /AgentGUID="{%s}"' % (work, tenant, guid),
                   "Waiting for finishing installation",
                   "Install Status:Result:1.ExitCode:0",
                   "[Install] Final status:1",
                   "Installer Files folder exists",
                   "Moved installation files to p2p folder successfully",
                   finished])

    def expected_mechanism_0(self, url):
        work = self.box.work_folder
        base = "https://127.0.0.1:%d/config" % self.handler.port
        first = next(iter(self.files))
        return ["[0] Top level mechanism - p2p - Config files from Agent handlers directly - Install files via p2p only",
                "Install via p2p mechanism",
                "Connection info path %s/coninfo.xml" % work,
                "creating certificate %s/cabundle.cer" % work,
                "[Fallback] 1:IP based:Config Files:Enter",
                "Trying to download Framworkconfig using IPaddress " + base + url[url.rindex("?"):],
                "Downloading FrameworkConfig.zip from " + base,
                "Fresh file will be downloaded at: %s/FrameworkConfig.zip" % work,
                "certificate passed to curl",
                "Config-Hash :" + self.handler.config_hash,
                "Install-Hash :" + self.handler.install_hash,
                "Tenant-ID :" + TENANT,
                "Configuration request response code: 200",
                "Downloaded Frameworkconfig.zip Successfully",
                "Frameworkconfig stored in %s/FrameworkConfig.zip" % work,
                "FrameworkConfig.zip was verified",
                "FrameworkConfig.zip extracted to %s/FrameworkConfig.zip" % work,
                "Try to get install files via p2p mechanism with the selected top level - 0 - mechanism",
                "[P2P] Discovering %s " % first,
                "[P2P] Discovery of %s failed in P2P cache. rc<1>" % first,
                "Returning from Install via p2p mechanism within top level p2p mechanism to try for other mechanisms",
                "Install via p2p mechanism failed"]

    def mechanism_1(self, messages, last="Agent was installed successfully"):
        section = self.section(messages, "[1] Top level mechanism - Agent handlers - Config files from Agent "
                                         "handlers directly - Install files via direct only", last)
        return [m for m in section if not m.startswith("curl ")]

    def test_fresh_install_through_the_repository(self):
        messages = self.install()
        guid = next(m for m in messages if m.startswith("Agent Guid:"))[len("Agent Guid:"):]
        url = next(m for m in messages if m.startswith("Url to fetch FrameWorkconfig.zip:"))
        mechanism_0 = self.section(messages, "[0] Top level mechanism - p2p - Config files from Agent handlers "
                                             "directly - Install files via p2p only", "Install via p2p mechanism failed")
        self.assertEqual([m for m in mechanism_0 if not m.startswith("curl ")], self.expected_mechanism_0(url))
        self.assertEqual(self.mechanism_1(messages),
                         self.expected_mechanism_1(guid))
        self.assertEqual(self.installer_args(), ["/Install=Agent", "/Silent", "/VesPkg", "/EnforceEvents",
                                                 "/TenantID=" + TENANT, "/AgentGUID={%s}" % guid])
        self.assertEqual(messages[-4:], ["Cleaning temporary files : " + self.box.work_folder, "Deinitializing...",
                                         "FindFirstFile :%s/Upgrade/*.*" % self.box.work_folder, "****BS_END*****"])
        self.assertFalse(os.path.exists(self.box.work_folder), "the work folder is removed after a success")
        key = os.path.join(self.box.registry, "HKEY_LOCAL_MACHINE/Software/Norvasso/Lumacore/Agent")
        with open(os.path.join(key, "AgentGUID.REG_SZ")) as f:
            self.assertEqual(f.read(), "{%s}" % guid)
        # The agent's peer cache received the verified files under their digest names.
        cache = os.path.join(self.data, "data", "InstallerFiles")
        handed = {"%s_%s" % (hashlib.sha256(data).hexdigest(), name): data for name, data in self.files.items()}
        self.assertEqual(sorted(os.listdir(cache)), sorted(list(handed) + ["hashes.xml"]))
        for name, data in handed.items():
            with open(os.path.join(cache, name), "rb") as f:
                self.assertEqual(f.read(), data, name)

    def test_netbios_form_is_dialled_by_its_name(self):
        """403 on the IP form, 500 on the FQDN form, 200 on the NetBIOS form: the name is dialled
        as it stands (not bracketed like an IPv6 address) and the agent is installed."""
        name = "QSWNETBIOS"
        handler = AgentHandler(self.config_zip, {TOKEN: None}, addresses=["127.0.0.1", "127.0.0.2"],
                               certs_dir=os.path.join(self.box.root, "certs"), tenant_id=TENANT).start()
        self.addCleanup(handler.stop)
        handler.set_status("127.0.0.1", 403)
        handler.set_status("localhost", 500)
        document = coninfo_document(host="localhost", ip="127.0.0.1", netbios=name, port=handler.port,
                                    token=TOKEN, certificates=[certs.der_base64(handler.ca.cert)])
        installer = self.box.stamp(document, name="QuentaSwiftset-netbios")
        # The name resolves only inside a mount namespace of this run's own, which ends with it.
        hosts = os.path.join(self.box.root, "hosts")
        with open(hosts, "w") as f:
            f.write("127.0.0.1 localhost\n127.0.0.2 %s\n" % name)
        resolve = ["unshare", "--mount", "--", "sh", "-c", 'mount --bind "$0" /etc/hosts && exec "$@"', hosts]
        result = self.box.run(["-s"], program=installer, prefix=resolve, QSW_VESINST_RECORD=self.record,
                              QSW_AGENT_DATA=self.data)
        self.assertEqual(result.returncode, 0, result.stderr)
        messages = self.box.log_messages()
        url = next(m for m in messages if m.startswith("Url to fetch FrameWorkconfig.zip:"))
        query = url[url.rindex("?"):]
        config = [m for m in messages if not m.startswith("curl ")]
        start = config.index("[Fallback] 1:IP based:Config Files:Enter")
        config = config[start:config.index("Downloaded Frameworkconfig.zip Successfully", start) + 1]
        base = "https://%%s:%d/config" % handler.port
        self.assertEqual([m for m in config if m.startswith(("[Fallback]", "Trying to", "Download", "Configuration request",
                                                             "Use count"))],
                         ["[Fallback] 1:IP based:Config Files:Enter",
                          "Trying to download Framworkconfig using IPaddress " + base % "127.0.0.1" + query,
                          "Downloading FrameworkConfig.zip from " + base % "127.0.0.1",
                          "Use count associated with this bootstrap might be over:Response: 403",
                          "Download of Frameworkconfig.zip Failed :403",
                          "[Fallback] 2:FQDN based:Config Files:Enter",
                          "Trying to download Framworkconfig using FQDN " + base % "localhost" + query,
                          "Downloading FrameworkConfig.zip from " + base % "localhost",
                          "Configuration request response code: 500",
                          "Download of Frameworkconfig.zip Failed :500",
                          "[Fallback] 3:Netbios based:Config Files:Enter",
                          "Trying to download Framworkconfig using netbios name " + base % name + query,
                          "Downloading FrameworkConfig.zip from " + base % name,
                          "Configuration request response code: 200",
                          "Downloaded Frameworkconfig.zip Successfully"])
        self.assertEqual([(r["host"], r["status"]) for r in handler.requests()],
                         [("127.0.0.1", 403), ("localhost", 500), (name, 200)])
        self.assertIn("Agent was installed successfully", messages)

    def test_upgrade_keeps_the_installed_identity(self):
        installed = "0AB1C2D3-E4F5-4A6B-8C7D-9E0F1A2B3C4D"
        self.box.set_registry("AgentGUID", "{%s}" % installed)
        self.box.set_registry("TenantId", "tenant-from-registry")
        # A data folder of the sandbox's own: the demo agent installer makes it and receives files there.
        data = os.path.join(self.box.root, "quenta data") + "\\"
        messages = self.install("-h", "-d", data)
        url = next(m for m in messages if m.startswith("Url to fetch"))
        self.assertIn("&AgentGUID=%s&" % installed, url)
        self.assertIn("Agent was upgraded successfully", messages)
        self.assertIn('Installer command: "%s/Vesinst.exe" /Install=Agent /Silent /VesPkg /EnforceEvents '
                      '/DataDir="%s\\" /ForceInstall /keepguid /TenantID="tenant-from-registry" '
                      '/AgentGUID="{%s}"' % (self.box.work_folder, data, installed), messages)
        self.assertEqual(self.installer_args(), ["/Install=Agent", "/Silent", "/VesPkg", "/EnforceEvents",
                                                 "/DataDir=" + data, "/ForceInstall", "/keepguid",
                                                 "/TenantID=tenant-from-registry", "/AgentGUID={%s}" % installed])

    def test_failed_installer_keeps_nothing_but_reports(self):
        messages = self.install(QSW_VESINST_EXIT="3")
        self.assertIn("Install Status:Result:1.ExitCode:3", messages)
        self.assertIn("[Install] Final status:0", messages)
        self.assertIn("Installation of Agent failed", messages)
        self.assertNotIn("Error occured during agent bootstrap operations", messages)
        self.assertTrue(os.path.isdir(self.box.work_folder), "no clean-up after a failed installer")

    def test_all_mechanisms_failing_then_resuming_a_partial_package(self):
        published = os.path.join(self.repository, packages.RELATIVE_PATH + packages.LOCATION, "FrameworkInstall.zip")
        hidden = published + ".hidden"
        os.rename(published, hidden)
        try:
            messages = self.install()
        finally:
            os.rename(hidden, published)
        self.assertIn("Unable to download FrameworkInstall.zip:Response:404", messages)
        self.assertIn("Trying to install agent failed by all mechanisms", messages)
        self.assertEqual(messages[-5:-1], ["Error occured during agent bootstrap operations",
                                           "FrameworkInstall.zip download is failed. It will resume in next run.",
                                           "Deinitializing...",
                                           "FindFirstFile :%s/Upgrade/*.*" % self.box.work_folder])
        self.assertTrue(os.path.isfile(os.path.join(self.box.work_folder, "coninfo.xml")))

        # An interrupted earlier download left the first 40,000 bytes of the package.
        with open(published, "rb") as f:
            whole = f.read()
        with open(os.path.join(self.box.work_folder, "FrameworkInstall.zip"), "wb") as f:
            f.write(whole[:40000])
        sent_before = len(self.nginx.access_log())
        messages = self.install()
        run = messages[len(messages) - messages[::-1].index("****BS_START*****") - 1:]
        self.assertIn("The coninfo.xml file is same, resuming the download.", run)
        guid = next(m for m in run if m.startswith("Agent Guid:"))[len("Agent Guid:"):]
        self.assertEqual(self.mechanism_1(run),
                         self.expected_mechanism_1(guid, resume=True))
        repository_requests = [e for e in self.nginx.access_log()[sent_before:] if "FrameworkInstall.zip" in e["request"]]
        self.assertEqual(len(repository_requests), 1)
        self.assertEqual(repository_requests[0]["status"], 206)
        self.assertEqual(repository_requests[0]["range"], "bytes=40000-")
        self.assertEqual(repository_requests[0]["body_bytes_sent"], len(whole) - 40000)

    def test_an_unreadable_manifest_after_the_install_hands_nothing_over_and_the_install_stands(self):
        # This agent installer installs as the demo one does, then leaves hashes.xml unreadable.
        files = packages.install_files()
        files["agent-setup.sh"] = files["Vesinst.exe"]
        files["Vesinst.exe"] = (b'#!/bin/sh\nsh "$(dirname "$0")/agent-setup.sh" "$@" || exit $?\n'
                                b'printf "<Hashes><sha256>" > "$(dirname "$0")/hashes.xml"\n')
        location = "/Current/QUENTAAGENT1000/Install/0001"
        config, install = packages.build(os.path.join(self.box.root, "packages"),
                                         [packages.http_site("repo", ip="127.0.0.1:%d" % self.nginx.port)],
                                         files=files, location=location)
        packages.publish(self.repository, install, location=location)
        saved = self.handler.package, self.handler.config_hash
        with open(config, "rb") as f:
            self.handler.package = f.read()
        self.handler.config_hash = hashlib.sha256(self.handler.package).hexdigest()
        try:
            messages = self.install()
        finally:
            self.handler.package, self.handler.config_hash = saved
        ending = messages[messages.index("[Install] Final status:1"):]
        self.assertEqual(ending[:4], ["[Install] Final status:1", "Installer Files folder exists",
                                      "No sha256 digests could be read from %s/hashes.xml" % self.box.work_folder,
                                      "Agent was installed successfully"])
        self.assertNotIn("Moved installation files to p2p folder successfully", messages)
        self.assertNotIn("Error occured during agent bootstrap operations", messages)
        self.assertEqual(os.listdir(os.path.join(self.data, "data", "InstallerFiles")), [])


if __name__ == "__main__":
    unittest.main()
