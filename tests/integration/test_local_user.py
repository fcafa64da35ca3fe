"""The installer against a hostile local user and a hostile environment: arguments and paths the
locale cannot read, a temporary folder another user could redirect, folders planted in it, a
killed run whose agent installer is still at work, and requests to stop from outside. Runs in a
network namespace of its own: a full run tries peer discovery first."""

import os
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import unittest

import certs
import packages
from agent_handler import AgentHandler
from fixtures.installer import INSTALLER, Sandbox, coninfo_document
from nginx_server import NginxServer

TOKEN = "0123456789abcdef0123456789abcdef01234567"
HELP_TITLE = "Quenta Swiftset help"
NOBODY = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
ANOTHER_INSTANCE = "Another instance might be running. Please wait."
STOP_LINE = "Stop requested (signal %d): the run ends as after Cancel"
ERROR_END = ["Error occured during agent bootstrap operations",
             "FrameworkInstall.zip download is failed. It will resume in next run."]
REFUSED_END = ["Error occured during agent bootstrap operations",
               "The run was refused: the work folder cannot be trusted (see above); no run can go on until it is "
               "removed",
               "Deinitializing...",
               "****BS_END*****"]
needs_root = unittest.skipUnless(os.geteuid() == 0, "needs root to act as another user")


def wait_until(predicate, timeout, what):
    deadline = time.monotonic() + timeout
    while not predicate():
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.05)


class UnreadableArgumentsTest(unittest.TestCase):
    """An argument the locale cannot convert is refused like any invalid command line."""

    def setUp(self):
        self.box = Sandbox()
        self.addCleanup(self.box.close)

    def assert_refused(self, result, position):
        self.assertEqual(result.returncode, 0)
        self.assertIn(HELP_TITLE, result.stderr)
        self.assertEqual(self.box.log_messages(), [
            "****BS_START*****", "Invalid option: argument %d is not text in this locale" % position,
            "****BS_END*****"])
        self.assertFalse(os.path.exists(self.box.work_folder), "nothing is installed")

    def run_bytes(self, argv, **env):
        result = subprocess.run(argv, env=self.box.env(**env), stdin=subprocess.DEVNULL, capture_output=True,
                                timeout=60)
        result.stderr = result.stderr.decode(errors="replace")
        return result

    def test_an_odd_byte_after_help_under_utf8(self):
        self.assert_refused(self.run_bytes([INSTALLER.encode(), b"-?", b"\xff"], LC_ALL="C.UTF-8"), 2)

    def test_a_data_path_with_an_accent_under_the_c_locale(self):
        self.assert_refused(self.run_bytes([INSTALLER.encode(), b"-s", b"-d", "/opt/caf\u00e9".encode()],
                                           LC_ALL="C"), 3)

    def test_a_program_path_with_an_accent_under_the_c_locale(self):
        folder = os.path.join(self.box.root.encode(), "caf\u00e9".encode())
        os.mkdir(folder)
        program = os.path.join(folder, b"QuentaSwiftset")
        shutil.copy(INSTALLER, program)
        self.assert_refused(self.run_bytes([program, b"-s"], LC_ALL="C"), 0)


class UnreadableProgramFolderTest(unittest.TestCase):
    """Started by a name it can read from a folder it cannot, the installer still finds its
    connection data: only the file system needs that path, and it takes bytes."""

    def setUp(self):
        self.box = Sandbox()
        self.addCleanup(self.box.close)

    def test_the_connection_data_is_read_through_the_paths_bytes(self):
        stamped = self.box.stamp(coninfo_document(host="127.0.0.1", port=9, token=TOKEN))
        folder = os.path.join(self.box.root.encode(), b"caf\xe9")
        os.mkdir(folder)
        shutil.copy(stamped, os.path.join(folder, b"QuentaSwiftset"))
        result = subprocess.run([b"./QuentaSwiftset", b"-s"], cwd=folder, env=self.box.env(LC_ALL="C"),
                                stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
        self.assertEqual(result.returncode, 0)
        messages = self.box.log_messages()
        self.assertIn("Bootstrap name:QuentaSwiftset", messages)
        self.assertNotIn("Unable to get bootstrap filename", messages)
        self.assertIn("The coninfo.xml file is different, fresh download.", messages)
        self.assertTrue(any(m.startswith("Url to fetch FrameWorkconfig.zip:https://127.0.0.1:9/config?TokenCode=%s&"
                                         % TOKEN) for m in messages))


class RedirectableTemporaryFolderTest(unittest.TestCase):
    """A temporary folder that another user could rename or replace refuses the run before
    anything is written below it; paths stay safe only when no folder on the way can move."""

    def setUp(self):
        self.box = Sandbox()
        self.addCleanup(self.box.close)
        self.installer = self.box.stamp(coninfo_document(host="127.0.0.1", port=9, token=TOKEN))

    @needs_root
    def test_a_folder_anyone_may_write_refuses_the_run_while_a_user_waits_to_swap_it(self):
        # A folder the other user can reach whatever this test's own TMPDIR is: below /tmp.
        shared = tempfile.mkdtemp(prefix="qsw-shared-", dir="/tmp")
        self.addCleanup(shutil.rmtree, shared, True)
        os.chmod(shared, 0o755)
        base = os.path.join(shared, "tmp")
        os.mkdir(base)
        os.chmod(base, 0o777)
        marker = os.path.join(base, "pwned")
        # The other user swaps the work folder the moment it appears for one of their own whose
        # Vesinst.exe would leave a marker when run as root.
        attacker = subprocess.Popen(NOBODY + ["/usr/bin/python3", "-c", SWAPPER, base, marker],
                                    stdout=subprocess.PIPE, text=True)
        self.addCleanup(attacker.stdout.close)
        self.addCleanup(attacker.wait)
        self.addCleanup(attacker.kill)
        self.assertEqual(attacker.stdout.readline().strip(), "watching")
        result = self.box.run(["-s"], program=self.installer, TMPDIR=base)
        self.assertEqual(result.returncode, 0)
        self.assertIn("Quenta Swiftset: run refused: temporary folder %s (owner 0, mode 0777): writable by other "
                      "users without the sticky bit" % base, result.stderr)
        self.assertEqual(os.listdir(base), [], "nothing was made below the refused folder")

    @needs_root
    def test_a_folder_of_another_user_above_it_refuses_the_run(self):
        theirs = os.path.join(self.box.root, "theirs")
        os.mkdir(theirs, 0o755)
        tmp = os.path.join(theirs, "tmp")
        os.mkdir(tmp, 0o700)
        os.chown(theirs, 65534, 65534)
        result = self.box.run(["-s"], program=self.installer, TMPDIR=tmp)
        self.assertIn("Quenta Swiftset: run refused: temporary folder %s (owner 65534, mode 0755): owned by "
                      "another user" % theirs, result.stderr)
        self.assertEqual(os.listdir(tmp), [])

    def test_a_sticky_shared_folder_is_accepted(self):
        os.chmod(self.box.tmp, 0o1777)
        result = self.box.run(["-s"], program=self.installer)
        self.assertNotIn("refused", result.stderr)
        messages = self.box.log_messages()
        self.assertIn("Trying to install agent failed by all mechanisms", messages)
        self.assertEqual(messages[-1], "****BS_END*****")


# Run as the other user: swaps every work folder it sees for its own.
SWAPPER = r"""
import os, sys, time
base, marker = sys.argv[1], sys.argv[2]
work = os.path.join(base, "HolvenSwiftset")
print("watching", flush=True)
for n in range(2000):
    try:
        if os.stat(work).st_uid != os.getuid():
            os.rename(work, work + ".%d" % n)
            os.mkdir(work, 0o777)
            with open(os.path.join(work, "Vesinst.exe"), "w") as f:
                f.write("#!/bin/sh\ntouch %s\n" % marker)
            os.chmod(os.path.join(work, "Vesinst.exe"), 0o755)
    except OSError:
        pass
    time.sleep(0.01)
"""


class PlantedFoldersTest(unittest.TestCase):
    """In a shared (sticky) temporary folder another user may make HolvenLogs or HolvenSwiftset
    before the installer does: each is refused with its path, owner and mode."""

    def setUp(self):
        if os.geteuid() != 0:
            self.skipTest("needs root to give a folder to another user")
        self.box = Sandbox()
        self.addCleanup(self.box.close)
        os.chmod(self.box.tmp, 0o1777)
        self.installer = self.box.stamp(coninfo_document(host="127.0.0.1", port=9, token=TOKEN))

    def plant(self, name):
        """What the other user would have made: their own folder under that name."""
        path = os.path.join(self.box.tmp, name)
        os.mkdir(path, 0o755)
        os.chown(path, 65534, 65534)
        return path

    def test_a_planted_log_folder_costs_the_log_with_its_reason_and_nothing_else(self):
        logs = self.plant("HolvenLogs")
        result = self.box.run(["-s"], program=self.installer)
        self.assertEqual(result.returncode, 0)
        self.assertIn("Quenta Swiftset: no log: log folder refused: %s (owner 65534, mode 0755): owned by another "
                      "user" % logs, result.stderr)
        self.assertEqual(os.listdir(logs), [])
        # The run itself went on: its work folder holds the connection data.
        self.assertTrue(os.path.isfile(os.path.join(self.box.work_folder, "coninfo.xml")))

    def test_a_planted_work_folder_refuses_the_run_and_says_so(self):
        work = self.plant("HolvenSwiftset")
        reason = "%s (owner 65534, mode 0755): owned by another user" % work
        for _ in range(2):   # the next run is refused the same way, never "resumed"
            result = self.box.run(["-s"], program=self.installer)
            self.assertIn("Quenta Swiftset: work folder refused: " + reason, result.stderr)
            messages = self.box.log_text().split("\n\n")[-1]
            lines = [line.split("\t", 2)[2] for line in messages.splitlines() if line.count("\t") >= 2]
            self.assertEqual(lines[-6:], ["CreateDirectory (%s)" % work, "Work folder refused: " + reason]
                             + REFUSED_END)
            self.assertNotIn("It will resume in next run", messages)
        self.assertEqual(os.listdir(work), [])


class StopDuringTransferTest(unittest.TestCase):
    """A deployment tool stopping a silent run (SIGTERM) while a transfer hangs: the run ends as
    after Cancel, with the error end and the end of log, at once."""

    def setUp(self):
        self.box = Sandbox()
        self.addCleanup(self.box.close)
        # Accepts connections and never answers: the configuration request hangs.
        self.listener = socket.socket()
        self.addCleanup(self.listener.close)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(16)
        port = self.listener.getsockname()[1]
        self.installer = self.box.stamp(coninfo_document(host="127.0.0.1", ip="127.0.0.1", port=port, token=TOKEN))

    def test_termination_ends_the_run_gracefully(self):
        run = subprocess.Popen([self.installer, "-s"], env=self.box.env(), stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(run.wait)
        self.addCleanup(run.kill)
        wait_until(lambda: "Url to fetch FrameWorkconfig.zip" in self.box.log_text(), 60, "the configuration URL")
        time.sleep(1)
        run.send_signal(signal.SIGTERM)
        self.assertEqual(run.wait(timeout=30), 0)
        messages = self.box.log_messages()
        self.assertIn(STOP_LINE % signal.SIGTERM, messages)
        self.assertIn("Could not download FrameworkConfig.zip", messages)
        self.assertFalse(any(m.startswith("[1] Top level mechanism") for m in messages),
                         "no mechanism is started after the stop")
        tail = messages[messages.index(ERROR_END[0]):]
        self.assertEqual(tail[:2], ERROR_END)
        self.assertEqual(tail[-1], "****BS_END*****")
        self.assertTrue(os.path.isfile(os.path.join(self.box.work_folder, "coninfo.xml")), "kept for a resume")


# The agent installer of these tests: it records its pid and works until it is released.
WAITING_VESINST = b"""#!/bin/sh
echo $$ > "$QSW_TEST_VESINST_PID"
i=0
while [ ! -e "$QSW_TEST_VESINST_RELEASE" ] && [ $i -lt 1200 ]; do sleep 0.1; i=$((i+1)); done
exit 0
"""


class AgentInstallerAtWorkTest(unittest.TestCase):
    """The installer reaches its agent installer (a real agent handler and repository), which
    keeps working while the run that started it is killed or asked to stop."""

    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="qsw-local-")
        repository = os.path.join(cls.root, "repository")
        os.mkdir(repository)
        cls.nginx = NginxServer(repository).start()
        port = cls.nginx.port
        files = packages.install_files({"Vesinst.exe": WAITING_VESINST})
        site = packages.http_site("repo", ip="127.0.0.1:%d" % port, server="localhost:%d" % port)
        config_zip, install_zip = packages.build(os.path.join(cls.root, "packages"), [site], files=files)
        packages.publish(repository, install_zip)
        cls.handler = AgentHandler(config_zip, {TOKEN: None}, addresses=["127.0.0.1", "::1"],
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
        self.pid_file = os.path.join(self.box.root, "vesinst.pid")
        self.release = os.path.join(self.box.root, "release")
        self.env = {"QSW_TEST_VESINST_PID": self.pid_file, "QSW_TEST_VESINST_RELEASE": self.release,
                    "QSW_AGENT_DATA": os.path.join(self.box.root, "agent-data")}
        self.addCleanup(self.release_agent_installer)

    def start_run(self):
        run = subprocess.Popen([self.installer, "-s"], env=self.box.env(**self.env), stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(run.wait)
        self.addCleanup(run.kill)
        wait_until(lambda: self.read_pid() is not None, 180, "the agent installer to start")
        self.agent_pid = self.read_pid()
        return run

    def read_pid(self):
        try:
            with open(self.pid_file) as f:
                return int(f.read())
        except (FileNotFoundError, ValueError):
            return None

    def agent_installer_running(self):
        try:
            with open("/proc/%d/stat" % self.agent_pid) as f:
                return f.read().split(")")[-1].split()[0] != "Z"
        except FileNotFoundError:
            return False

    def release_agent_installer(self):
        open(self.release, "w").close()
        if hasattr(self, "agent_pid"):
            wait_until(lambda: not self.agent_installer_running(), 30, "the agent installer to end")

    def test_a_killed_run_leaves_the_single_instance_lock_to_its_agent_installer(self):
        run = self.start_run()
        run.kill()
        run.wait()
        self.assertTrue(self.agent_installer_running())
        second = self.box.run(["-s"], program=self.installer, **self.env)
        self.assertIn(ANOTHER_INSTANCE, second.stdout, "a second run must not start while the agent installer works")
        self.release_agent_installer()
        third = self.box.run(["-?"], program=self.installer)
        self.assertNotIn(ANOTHER_INSTANCE, third.stdout, "the lock is free once the agent installer has ended")

    def test_termination_lets_the_agent_installer_finish_and_keeps_the_work_folder(self):
        run = self.start_run()
        run.send_signal(signal.SIGTERM)
        time.sleep(1)
        self.assertIsNone(run.poll(), "the run waits for its agent installer")
        self.release_agent_installer()
        self.assertEqual(run.wait(timeout=60), 0)
        messages = self.box.log_messages()
        self.assertIn(STOP_LINE % signal.SIGTERM, messages)
        self.assertIn("Install Status:Result:1.ExitCode:0", messages)
        self.assertIn("Agent was installed successfully", messages)
        self.assertFalse(any(m.startswith("Cleaning temporary files") for m in messages), "as after a cancel")
        self.assertTrue(os.path.isdir(self.box.work_folder))
        self.assertEqual(messages[-1], "****BS_END*****")


if __name__ == "__main__":
    unittest.main()
