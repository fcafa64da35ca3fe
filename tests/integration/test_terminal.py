"""The installer in a terminal, used as a person would use it (keys in through tmux, the screen
read back): the welcome and progress screens, message boxes, the user's language, Cancel, the
end of a run, and the terminal's mode after every way out. Runs in a network namespace of its
own: a full run tries peer discovery first."""

import os
import re
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
from fixtures.installer import HeldInstanceLock, Sandbox, coninfo_document
from fixtures.terminal import Terminal
from nginx_server import NginxServer

TITLE = "Quenta Swiftset 5.8.3"
WELCOME = "Click on Next to continue with installation"
TOKEN = "0123456789abcdef0123456789abcdef01234567"
STEPS_TO_THE_DOWNLOADS = [
    "Starting installation",
    "Initializing QuentaSwiftset installer",
    "Fetching the QuentaSwiftset connection data",
    "Making the QuentaSwiftset connection url",
    "Generating configuration parameters",
    "Generating url to fetch configuration data",
    "Trying to download installation files from Peers",
]
ERROR_END_LINE = "Error occurred during agent QuentaSwiftset operations"
ABORTING = "Aborting operations. This may take a while..."
STOP_LINE = "Stop requested (signal %d): the run ends as after Cancel"


def german_locale_available():
    out = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout.lower().split()
    return "de_de.utf8" in out or "de_de.utf-8" in out


class TerminalCase(unittest.TestCase):
    def setUp(self):
        self.box = Sandbox()
        self.addCleanup(self.box.close)
        self.term = Terminal(self.box.root)
        self.addCleanup(self.term.close)

    def start(self, program, args=(), **env):
        settings = {"TMPDIR": self.box.tmp, "QSW_REGISTRY_ROOT": self.box.registry,
                    "QSW_LOCK_DIR": self.box.locks, "LC_ALL": "C.UTF-8"}
        settings.update(env)
        self.term.run([program] + list(args), env=settings)

    def fresh_terminal(self, name):
        self.term.close()
        folder = os.path.join(self.box.root, name)
        os.mkdir(folder)
        self.term = Terminal(folder)
        self.addCleanup(self.term.close)

    def assert_terminal_restored(self):
        mode = self.term.mode_after_exit()
        for flag in ("icanon", "echo", "isig", "icrnl"):
            self.assertIn(flag, mode, "terminal left without %s" % flag)
        self.assertTrue(self.term.cursor_visible(), "cursor left hidden")

    def screen_lines(self):
        return [line.rstrip() for line in self.term.screen().splitlines()]

    def next_to_progress(self):
        self.term.wait_for(WELCOME)
        self.term.press("Enter")
        self.term.wait_for("Starting installation")

    def wait_for_ok(self, timeout=60):
        self.term.wait_for(lambda s: re.search(r"^\[#+\]\s+100%\s+\[ OK \]$", s, re.M), timeout)
        return time.monotonic()

    def assert_closes_by_itself_after_ten_seconds(self, shown_at):
        time.sleep(5)
        self.assertIsNone(self.term.exit_status(), "closed before its 10 seconds")
        self.assertEqual(self.term.wait_for_exit(timeout=20), 0)
        self.assertGreaterEqual(time.monotonic() - shown_at, 9.0)


class WithoutServerTest(TerminalCase):
    """Nothing listens where the connection data points: every mechanism fails quickly."""

    def setUp(self):
        super().setUp()
        self.installer = self.box.stamp(coninfo_document(host="127.0.0.1", port=9, token=TOKEN))

    def test_welcome_screen_closed_installs_nothing(self):
        self.start(self.installer)
        screen = self.term.wait_for(WELCOME)
        self.assertIn(TITLE, screen)
        self.assertIn("[ Next>> ]", screen)
        self.term.press("Escape")
        self.assertEqual(self.term.wait_for_exit(), 0)
        self.assertEqual(self.box.log_messages(), ["****BS_START*****", "****BS_END*****"])
        self.assertFalse(os.path.exists(self.box.work_folder))
        self.assertNotIn("Starting installation", self.term.screen())
        self.assert_terminal_restored()

    def test_welcome_screen_q_closes_it_too_and_the_options_are_logged(self):
        self.start(self.installer, ["-k"])
        self.term.wait_for(WELCOME)
        self.term.type("q")
        self.assertEqual(self.term.wait_for_exit(), 0)
        self.assertEqual(self.box.log_messages(), ["****BS_START*****", "Proxy information not provided via commandline",
                                                   "****BS_END*****"])

    def test_next_runs_to_the_error_end_and_the_ok_screen_closes_after_ten_seconds(self):
        self.start(self.installer)
        self.next_to_progress()
        shown_at = self.wait_for_ok()
        lines = self.screen_lines()
        start = lines.index("Starting installation")
        self.assertEqual(lines[start:start + len(STEPS_TO_THE_DOWNLOADS)], STEPS_TO_THE_DOWNLOADS)
        self.assertTrue(lines[lines.index(ERROR_END_LINE) + 1].endswith("100%  [ OK ]"))
        self.assertEqual(sum(1 for line in lines if line.startswith("[#")), 1, "the bar is redrawn in place")
        self.assert_closes_by_itself_after_ten_seconds(shown_at)
        messages = self.box.log_messages()
        self.assertNotIn("User triggered silent installation", messages)
        self.assertIn("Error occured during agent bootstrap operations", messages)
        self.assertEqual(messages[-1], "****BS_END*****")
        self.assertEqual(messages.count("Deinitializing..."), 1)
        self.assert_terminal_restored()

    def test_enter_or_escape_on_ok_closes_at_once(self):
        for key in ("Enter", "Escape"):
            with self.subTest(key=key):
                self.fresh_terminal(key)
                self.start(self.installer)
                self.next_to_progress()
                self.wait_for_ok()
                self.term.press(key)
                self.assertEqual(self.term.wait_for_exit(timeout=3), 0)
                self.assert_terminal_restored()

    @unittest.skipUnless(german_locale_available(), "the C library has no de_DE.UTF-8 locale (locale-gen)")
    def test_german_locale_shows_german_texts(self):
        self.start(self.installer, LC_ALL="de_DE.UTF-8")
        screen = self.term.wait_for("Klicken Sie auf Weiter, um mit der Installation fortzufahren")
        self.assertIn("[ Weiter>> ]", screen)
        self.term.press("Enter")
        self.term.wait_for("Installation wird gestartet")
        screen = self.term.wait_for("Bei QuentaSwiftset-Vorgängen für den Agent ist ein Fehler aufgetreten", 60)
        self.assertNotIn(ERROR_END_LINE, screen)
        self.wait_for_ok()
        self.term.press("Enter")
        self.assertEqual(self.term.wait_for_exit(timeout=3), 0)

    def test_usage_box_waits_for_ok(self):
        self.start(self.installer, ["-x"])
        screen = self.term.wait_for("[ OK ]")
        self.assertIn("Quenta Swiftset help", screen)
        self.assertIn("QuentaSwiftset.exe -? <Help>", screen)
        time.sleep(1)
        self.assertIsNone(self.term.exit_status(), "the box waits for the person")
        self.term.press("Enter")
        self.assertEqual(self.term.wait_for_exit(), 0)
        self.assertEqual(self.box.log_messages(),
                         ["****BS_START*****", "Unsupported command line option", "****BS_END*****"])
        self.assert_terminal_restored()

    def test_second_instance_shows_a_box_and_logs_nothing(self):
        with HeldInstanceLock(self.box):
            self.start(self.installer)
            screen = self.term.wait_for("[ OK ]")
            self.assertIn("Another instance might be running. Please wait.", screen)
            self.assertIn(TITLE, screen)
            self.term.press("Enter")
            self.assertEqual(self.term.wait_for_exit(), 0)
        self.assertFalse(os.path.exists(self.box.log_path))

    def test_terminal_mode_comes_back_when_the_program_is_killed_by_a_signal(self):
        self.start(self.installer)
        self.term.wait_for(WELCOME)
        self.term.signal_program(signal.SIGINT)   # from outside: in raw mode Ctrl-C is a key
        self.assertEqual(self.term.wait_for_exit(), 128 + signal.SIGINT)
        self.assert_terminal_restored()

    def test_termination_on_the_welcome_screen_closes_it_like_escape(self):
        self.start(self.installer)
        self.term.wait_for(WELCOME)
        self.term.signal_program(signal.SIGTERM)
        self.assertEqual(self.term.wait_for_exit(), 0)
        self.assertEqual(self.box.log_messages(), ["****BS_START*****", STOP_LINE % signal.SIGTERM, "****BS_END*****"])
        self.assertFalse(os.path.exists(self.box.work_folder))
        self.assert_terminal_restored()


class StalledServerTest(TerminalCase):
    """The agent handler accepts the connection and never answers: the run waits in its first
    transfer until something ends it."""

    def setUp(self):
        super().setUp()
        self.listener = socket.socket()
        self.addCleanup(self.listener.close)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(16)
        port = self.listener.getsockname()[1]
        self.installer = self.box.stamp(coninfo_document(host="127.0.0.1", ip="127.0.0.1", port=port, token=TOKEN))

    def wait_for_the_hanging_transfer(self):
        self.start(self.installer)
        self.next_to_progress()
        self.term.wait_for("Trying to download installation files from Peers")
        time.sleep(1)

    def assert_ended_as_after_cancel(self, request):
        messages = self.box.log_messages()
        self.assertIn(STOP_LINE % request, messages)
        self.assertIn("Error occured during agent bootstrap operations", messages)
        self.assertFalse(any(m.startswith("[1] Top level mechanism") for m in messages))
        self.assertEqual(messages[-1], "****BS_END*****")

    def test_termination_acts_as_cancel(self):
        self.wait_for_the_hanging_transfer()
        self.term.signal_program(signal.SIGTERM)
        self.term.wait_for(ABORTING, 10)
        self.assertEqual(self.term.wait_for_exit(timeout=15), 0)
        self.assertNotIn("[ OK ]", self.term.screen(), "a cancelled run does not wait for OK")
        self.assert_ended_as_after_cancel(signal.SIGTERM)
        self.assert_terminal_restored()

    def test_closing_the_terminal_acts_as_cancel(self):
        self.wait_for_the_hanging_transfer()
        pid = self.term.program_pid()
        self.term.close()   # the terminal goes away: the program gets SIGHUP
        deadline = time.monotonic() + 30
        while os.path.exists("/proc/%d" % pid) and time.monotonic() < deadline:
            time.sleep(0.1)
        self.assertFalse(os.path.exists("/proc/%d" % pid), "the program ended")
        self.assert_ended_as_after_cancel(signal.SIGHUP)


class CredentialsPromptTest(TerminalCase):
    """The proxy credentials prompt, asked for by the install worker while the progress screen
    runs (a probe program stands in for the proxy road)."""

    PROBE = os.path.join(os.environ.get("QSW_BIN_DIR", ""), "tests", "qsw-credentials-probe")

    def setUp(self):
        if not os.path.isfile(self.PROBE):
            self.skipTest("qsw-credentials-probe is not built")
        super().setUp()
        self.result = os.path.join(self.box.root, "answer.txt")
        self.start(self.PROBE, [self.result])
        self.term.wait_for("Unable to download files directly from Lumacore. Using Proxy")
        self.term.wait_for("[ OK ]  [ Cancel ]")

    def answer(self):
        self.term.wait_for(lambda s: re.search(r"^\[#+\]\s+100%", s, re.M))
        with open(self.result) as f:
            fields = dict(line.split("=", 1) for line in f.read().splitlines())
        self.term.press("Enter")
        self.assertEqual(self.term.wait_for_exit(), 0)
        self.assert_terminal_restored()
        return fields

    def test_ok_hands_over_the_user_and_the_masked_password(self):
        self.term.type("proxy-usr")
        self.term.press("BSpace")
        self.term.type("r")
        self.term.press("Enter")
        self.term.type("s3cr3t pass")
        self.term.press("Enter")
        self.assertEqual(self.answer(), {"result": "1", "user": "proxy-usr", "password": "s3cr3t pass"})
        screen = self.term.screen()
        self.assertIn("Enter Proxy Credentials", screen)
        self.assertRegex(screen, r"Username: proxy-usr\s*\n")
        self.assertRegex(screen, r"Password: \*{11}\s*\n")
        self.assertNotIn("s3cr3t", screen)

    def test_tab_moves_between_the_fields(self):
        self.term.press("Tab")
        self.term.type("pw")
        self.term.press("Tab")
        self.term.type("me")
        self.term.press("Tab", "Enter")
        self.assertEqual(self.answer(), {"result": "1", "user": "me", "password": "pw"})

    def test_cancel_gives_nothing(self):
        self.term.type("someone")
        self.term.press("Escape")
        self.assertEqual(self.answer(), {"result": "0", "user": "", "password": ""})

    def test_empty_password_is_not_accepted(self):
        self.term.type("someone")
        self.term.press("Enter", "Enter")
        self.assertEqual(self.answer(), {"result": "0", "user": "", "password": ""})


class WithServersTest(TerminalCase):
    """A real agent handler and a repository that sends the install package slowly."""

    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="qsw-terminal-")
        repository = os.path.join(cls.root, "repository")
        os.mkdir(repository)
        cls.nginx = NginxServer(repository, slow_rate="128k").start()
        port = cls.nginx.port
        # About 6 seconds at 128 KiB/s: time to watch the bar and to press Cancel.
        files = packages.install_files({"payload.bin": os.urandom(768 * 1024)})
        site = packages.http_site("repo", ip="127.0.0.1:%d" % port, server="localhost:%d" % port,
                                  relative_path="slow/" + packages.RELATIVE_PATH)
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
        super().setUp()
        document = coninfo_document(host="localhost", ip="127.0.0.1", netbios="[::1]", port=self.handler.port,
                                    token=TOKEN, certificates=[certs.der_base64(self.handler.ca.cert)])
        self.installer = self.box.stamp(document)
        self.env = {"QSW_AGENT_DATA": os.path.join(self.box.root, "agent-data"),
                    "QSW_VESINST_RECORD": os.path.join(self.box.root, "vesinst-args.txt")}

    def wait_for_install_download(self):
        self.next_to_progress()
        self.term.wait_for("Downloading install file from repositories", 90)

    def test_bar_moves_during_the_download_and_a_successful_run_closes_after_ten_seconds(self):
        self.start(self.installer, **self.env)
        self.wait_for_install_download()
        seen = set()
        while self.term.exit_status() is None and "Installing agent" not in self.term.screen():
            bar = self.term.bar_line()
            if bar:
                seen.add(int(bar[0]))
            time.sleep(0.2)
        during = sorted(p for p in seen if 32 < p <= 80)
        self.assertGreaterEqual(len(during), 2, "the bar moves while the package arrives: %s" % sorted(seen))
        shown_at = self.wait_for_ok()
        self.assertIn("Quenta Agent Installation finished.", self.term.screen())
        self.assert_closes_by_itself_after_ten_seconds(shown_at)
        self.assertIn("Agent was installed successfully", self.box.log_messages())
        self.assert_terminal_restored()

    def test_cancel_during_the_install_download_ends_the_run_at_once(self):
        self.start(self.installer, **self.env)
        self.wait_for_install_download()
        time.sleep(1)
        self.term.press("C-c")
        self.term.wait_for(ABORTING, 10)
        self.term.type("c")   # a second press only sets the cancel event again
        self.assertEqual(self.term.wait_for_exit(timeout=15), 0)
        screen = self.term.screen()
        self.assertEqual(screen.count(ABORTING), 1)
        self.assertIn(ERROR_END_LINE, screen)
        self.assertNotIn("[ OK ]", screen, "a cancelled run does not wait for OK")
        messages = self.box.log_messages()
        self.assertIn("Install directly via Agent handlers failed", messages)
        self.assertFalse(any(m.startswith("[2] Top level mechanism") for m in messages),
                         "the proxy mechanism is not started after a cancel")
        self.assertIn("Error occured during agent bootstrap operations", messages)
        self.assertNotIn("Agent was installed successfully", messages)
        self.assertFalse(os.path.exists(self.env["QSW_VESINST_RECORD"]), "the agent installer never ran")
        self.assert_terminal_restored()


if __name__ == "__main__":
    unittest.main()
