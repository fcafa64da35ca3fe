"""The real executable from the outside: single instance, rights, command line, and the silent
run's log from start to the error end."""

import os
import re
import subprocess
import time
import unittest

from fixtures.installer import INSTANCE_LOCK_FILE, HeldInstanceLock, Sandbox, coninfo_document

NOBODY = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]

ERROR_END = [
    "Error occured during agent bootstrap operations",
    "FrameworkInstall.zip download is failed. It will resume in next run.",
    "Deinitializing...",
    "****BS_END*****",
]


class EntryTest(unittest.TestCase):
    def setUp(self):
        self.box = Sandbox()
        self.addCleanup(self.box.close)

    def test_second_instance_prints_the_message_and_logs_nothing(self):
        with HeldInstanceLock(self.box):
            result = self.box.run(["-s"])
        self.assertEqual(result.returncode, 0)
        self.assertIn("Another instance might be running. Please wait.", result.stdout)
        self.assertFalse(os.path.exists(self.box.log_path))

    def test_second_instance_message_follows_the_users_language(self):
        with HeldInstanceLock(self.box):
            result = self.box.run(["-s"], LC_ALL="de_DE.UTF-8")
        self.assertEqual(result.returncode, 0)
        self.assertNotIn("Another instance", result.stdout)
        self.assertTrue(result.stdout.strip())

    @unittest.skipUnless(os.geteuid() == 0, "needs root to drop to an ordinary user")
    def test_ordinary_user_is_refused_without_a_log(self):
        result = self.box.run(["-s"], prefix=["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"])
        self.assertEqual(result.returncode, 0)
        self.assertIn("This program needs administrator privileges to run", result.stderr)
        self.assertFalse(os.path.exists(self.box.log_path))

    @unittest.skipUnless(os.geteuid() == 0, "needs root to drop to an ordinary user")
    def test_an_ordinary_user_can_neither_hold_nor_plant_the_machine_lock(self):
        # The machine's own lock folder (an empty QSW_LOCK_DIR is no folder), as on an endpoint.
        self.box.run(["-?"], **{"QSW_LOCK_DIR": ""})   # makes the folder as a first run would
        planted = subprocess.run(NOBODY + [
            "/usr/bin/python3", "-c", "import os,sys; os.open(os.path.join(sys.argv[1], sys.argv[2]), os.O_CREAT|os.O_RDONLY)",
            "/run/quenta-swiftset", INSTANCE_LOCK_FILE], capture_output=True, text=True)
        self.assertNotEqual(planted.returncode, 0, "an ordinary user made a file in the lock folder")
        self.assertIn("PermissionError", planted.stderr)
        # Holding the file of the old world-writable place stops nothing either.
        holder = subprocess.Popen(NOBODY + [
            "/usr/bin/python3", "-c", "import fcntl,os,sys,time; fd=os.open(sys.argv[1], os.O_CREAT|os.O_RDONLY, 0o644); "
            "fcntl.flock(fd, fcntl.LOCK_EX); print('held', flush=True); time.sleep(60)",
            "/run/lock/" + INSTANCE_LOCK_FILE], stdout=subprocess.PIPE, text=True)
        try:
            self.assertEqual(holder.stdout.readline().strip(), "held")
            started = time.monotonic()
            result = self.box.run(["-s"], **{"QSW_LOCK_DIR": ""})
            self.assertLess(time.monotonic() - started, 60)
        finally:
            holder.kill()
            holder.wait()
        self.assertNotIn("Another instance", result.stdout)
        self.assertIn("User triggered silent installation", self.box.log_messages())

    def test_a_lock_folder_others_can_write_refuses_the_run_with_its_reason(self):
        os.chmod(self.box.locks, 0o1777)
        result = self.box.run(["-s"])
        self.assertIn("run refused: lock folder is not private %s (owner 0, mode 1777)" % self.box.locks,
                      result.stderr)
        self.assertFalse(os.path.exists(self.box.log_path))

    def test_rejected_command_line_logs_only_start_option_and_end(self):
        result = self.box.run(["-x"])
        self.assertEqual(result.returncode, 0)
        self.assertIn("Quenta Swiftset help", result.stderr)
        self.assertEqual(self.box.log_messages(),
                         ["****BS_START*****", "Unsupported command line option", "****BS_END*****"])

    def expected_unstamped_run(self, with_proxy_line):
        work = self.box.work_folder
        return (["****BS_START*****"]
                + (["Proxy information not provided via commandline"] if with_proxy_line else [])
                + ["User triggered silent installation",
                   "Debug log enabled for bootstrap.",
                   "Initializing to bootstrap...",
                   "Bootstrap name:QuentaSwiftset",
                   "CreateDirectory (%s)" % work,
                   "Created Directory (%s) successfully" % work,
                   "Couldn't read size of files",
                   "Could not find a vaild connection data file",
                   "The coninfo.xml file is different, fresh download."]
                + ERROR_END)

    def test_silent_run_of_an_unstamped_copy_ends_at_the_error_end(self):
        result = self.box.run(["-s"])
        self.assertEqual(result.returncode, 0)
        self.assertIn("Debug log has been enabled.", result.stdout)
        self.assertEqual(self.box.log_messages(), self.expected_unstamped_run(True))

    def test_no_terminal_is_silent_even_without_s(self):
        self.box.run([])
        self.assertEqual(self.box.log_messages(), self.expected_unstamped_run(False))
        self.box.run([])
        self.assertIn("\n\n", self.box.log_text(), "the second run starts after a blank line")


class StampedRunTest(unittest.TestCase):
    def setUp(self):
        self.box = Sandbox()
        self.addCleanup(self.box.close)
        self.token = "0123456789abcdef0123456789abcdef01234567"
        # Nothing listens on this port: the configuration request fails fast on loopback.
        self.installer = self.box.stamp(coninfo_document(host="127.0.0.1", port=9, token=self.token))

    def identity_section(self, messages):
        start = messages.index("Initializing to bootstrap...")
        end = next(i for i, m in enumerate(messages) if m.startswith("Url to fetch FrameWorkconfig.zip:"))
        return messages[start:end + 1]

    def test_silent_run_logs_identity_and_url_then_fails_every_mechanism(self):
        result = self.box.run(["-s"], program=self.installer)
        self.assertEqual(result.returncode, 0)
        messages = self.box.log_messages()
        section = self.identity_section(messages)
        self.assertEqual(section[1], "Bootstrap name:QuentaSwiftset")
        self.assertIn("The coninfo.xml file is different, fresh download.", section)
        fqdn = next(m for m in section if m.startswith("FQDN machine name:"))[len("FQDN machine name:"):]
        guid = next(m for m in section if m.startswith("Agent Guid:"))[len("Agent Guid:"):]
        self.assertRegex(guid, r"^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$")
        computer = os.uname().nodename.split(".")[0].upper()
        if len(computer) > 15:
            computer = ""
        self.assertEqual(section[-1],
                         "Url to fetch FrameWorkconfig.zip:https://127.0.0.1:9/config?TokenCode=%s&ComputerName=%s"
                         "&AgentGUID=%s&MachineName=%s" % (self.token, computer, guid, fqdn))
        tail = messages[messages.index(section[-1]) + 1:]
        self.assertEqual(tail[:2], [
            "[0] Top level mechanism - p2p - Config files from Agent handlers directly - Install files via p2p only",
            "Install via p2p mechanism"])
        for line in ("Could not download FrameworkConfig.zip", "Install via p2p mechanism failed",
                     "Install directly via Agent handlers failed"):
            self.assertIn(line, tail)
        self.assertIn("Trying to install agent failed by all mechanisms", tail)
        # Once the work folder is known, the end removes its Upgrade subfolder (absent here).
        self.assertEqual(tail[-5:], ERROR_END[:3] + ["FindFirstFile :%s/Upgrade/*.*" % self.box.work_folder,
                                                     "****BS_END*****"])
        self.assertTrue(os.path.isfile(os.path.join(self.box.work_folder, "coninfo.xml")))

    def test_same_deployment_resumes_and_another_starts_fresh(self):
        self.box.run(["-s"], program=self.installer)
        self.box.run(["-s"], program=self.installer)
        runs = self.box.log_text().split("\n\n")
        self.assertIn("The coninfo.xml file is same, resuming the download.", runs[1])
        self.assertFalse(os.path.exists(os.path.join(self.box.work_folder, "coninfo.xml.tmp")))
        other = self.box.stamp(coninfo_document(host="127.0.0.1", port=9, token="f" * 40), name="Other")
        self.box.run(["-s"], program=other)
        runs = self.box.log_text().split("\n\n")
        self.assertIn("The coninfo.xml file is different, fresh download.", runs[2])
        self.assertNotIn("resuming", runs[2])

    def test_installed_agent_guid_in_braces_is_used_without_braces(self):
        self.box.set_registry("AgentGUID", "{0AB1C2D3-E4F5-4A6B-8C7D-9E0F1A2B3C4D}")
        self.box.run(["-s"], program=self.installer)
        messages = self.box.log_messages()
        self.assertIn("Agent Guid:0AB1C2D3-E4F5-4A6B-8C7D-9E0F1A2B3C4D", messages)
        url = next(m for m in messages if m.startswith("Url to fetch"))
        self.assertIn("&AgentGUID=0AB1C2D3-E4F5-4A6B-8C7D-9E0F1A2B3C4D&", url)

    def test_user_coninfo_file_is_taken_instead_of_the_stamped_data(self):
        path = os.path.join(self.box.root, "user.xml")
        with open(path, "w") as f:
            f.write(coninfo_document(host="127.0.0.1", port=9, token="a" * 40))
        self.box.run(["-s", "-c", path], program=self.installer)
        messages = self.box.log_messages()
        self.assertIn("coninfo.xml file path is passed by the user", messages)
        self.assertTrue(any(re.search("TokenCode=a{40}&", m) for m in messages))

    def test_stamp_tool_refuses_what_it_cannot_stamp(self):
        import subprocess
        from fixtures.installer import INSTALLER, STAMP
        bad = os.path.join(self.box.root, "bad.xml")
        with open(bad, "w") as f:
            f.write("<ConInfo><bsurl>x</ConInfo>")
        for args in ([INSTALLER, bad], [self.installer, os.path.join(self.box.root, "QuentaSwiftset.coninfo.xml")],
                     [INSTALLER, os.path.join(self.box.root, "missing.xml")]):
            result = subprocess.run([STAMP] + args + [os.path.join(self.box.root, "out")], capture_output=True, text=True)
            self.assertNotEqual(result.returncode, 0, args)
            self.assertIn("qsw-stamp:", result.stderr)


if __name__ == "__main__":
    unittest.main()
