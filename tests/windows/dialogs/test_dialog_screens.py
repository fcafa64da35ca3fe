"""The Windows screens under a virtual display: qsw_dialog_preview run by Wine on an Xvfb of
the test's own, driven with xdotool's keys and captured as PNG with ImageMagick.

    test_dialog_screens.py PATH/qsw_dialog_preview.exe [unittest options]

Each test asserts on what the preview prints (it reads the windows through Win32) and on the
windows xdotool finds by name. Every run of Wine goes through scripts/wine-run.sh, in a network
namespace of its own; Xvfb listens on a local socket only. Screenshots go to QSW_SCREENSHOT_DIR,
or to a temporary folder that is removed afterwards. Needs root (wine-run.sh), Xvfb, xdotool and
ImageMagick (scripts/install-windows-deps.sh).
"""

import os
import queue
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", ".."))
WINE_RUN = os.path.join(ROOT, "scripts", "wine-run.sh")
TITLE = "Quenta Swiftset 5.8.3"
CREDENTIALS_TITLE = "Enter Proxy Credentials"
PREVIEW = None   # set from the command line

# Pixel sizes of the 8-point dialogs with their frames, with room for the font Wine picks.
WELCOME_SIZE = ((450, 800), (250, 450))
PROGRESS_SIZE = ((450, 800), (300, 560))
CREDENTIALS_SIZE = ((300, 560), (150, 320))
MESSAGE_BOX_SIZE = ((120, 900), (80, 400))


class VirtualDisplay:
    """An Xvfb on a free display number, local socket only."""

    def __init__(self):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as numbers:
            number = numbers.readline().strip()
        if not number.isdigit():
            self.close()
            raise RuntimeError("Xvfb did not start")
        self.name = ":" + number

    def env(self):
        env = dict(os.environ, DISPLAY=self.name)
        env.pop("XAUTHORITY", None)
        return env

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


DISPLAY = None
SHOTS = None


def x_tool(*args, check=True):
    result = subprocess.run(list(args), env=DISPLAY.env(), capture_output=True, text=True, timeout=30)
    if check and result.returncode != 0:
        raise AssertionError("%s failed: %s" % (" ".join(args), result.stderr.strip()))
    return result.stdout


def windows_named(name):
    out = x_tool("xdotool", "search", "--onlyvisible", "--name", "^%s$" % name, check=False)
    return [line for line in out.split() if line.isdigit()]


def wait_for_window(name, timeout=90):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = windows_named(name)
        if found:
            time.sleep(0.7)   # drawn, not only mapped
            return found[0]
        time.sleep(0.3)
    raise AssertionError("no window named %r within %d s" % (name, timeout))


def press(window, *keys):
    x_tool("xdotool", "windowfocus", "--sync", window)
    x_tool("xdotool", "key", "--delay", "80", *keys)


def type_text(window, text):
    x_tool("xdotool", "windowfocus", "--sync", window)
    x_tool("xdotool", "type", "--delay", "60", text)


def capture(window, file_name, size_range):
    """Captures the window as PNG and checks that it is a real picture of the expected size."""
    path = os.path.join(SHOTS, file_name)
    x_tool("import", "-window", window, "-strip", path)
    width, height, colours = x_tool("identify", "-format", "%w %h %k", path).split()
    (min_w, max_w), (min_h, max_h) = size_range
    assert min_w <= int(width) <= max_w and min_h <= int(height) <= max_h, \
        "%s is %sx%s, expected %s" % (file_name, width, height, size_range)
    assert int(colours) > 1, "%s is blank (one colour)" % file_name
    return path


class PreviewRun:
    """One run of the preview under Wine; its printed lines arrive in a queue."""

    def __init__(self, screen):
        env = DISPLAY.env()
        env["QSW_WINE_DISPLAY"] = DISPLAY.name
        self.process = subprocess.Popen([WINE_RUN, PREVIEW, screen], env=env, stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT, text=True, start_new_session=True)
        self.lines = queue.Queue()
        self.seen = []
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            self.lines.put(line.rstrip("\r\n"))

    def wait_line(self, prefix, timeout=60):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            try:
                line = self.lines.get(timeout=max(0.1, deadline - time.monotonic()))
            except queue.Empty:
                break
            self.seen.append(line)
            if line.startswith(prefix):
                return line
        raise AssertionError("no line %r within %d s; seen %r" % (prefix, timeout, self.seen))

    def finish(self, timeout=60):
        try:
            code = self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            self.stop()
            raise AssertionError("the preview did not end within %d s" % timeout)
        return code

    def stop(self):
        # wine-run.sh removes its wineserver, mount and prefix on TERM.
        if self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGTERM)
            try:
                self.process.wait(20)
            except subprocess.TimeoutExpired:
                os.killpg(self.process.pid, signal.SIGKILL)
                self.process.wait()
        self.process.stdout.close()


def closed_after_ms(line):
    # "progress: result R error E closed N ms after the finish"
    words = line.split()
    return int(words[2]), int(words[6])


class ScreenTest(unittest.TestCase):
    def run_screen(self, screen):
        run = PreviewRun(screen)
        self.addCleanup(run.stop)
        return run


class WelcomeScreen(ScreenTest):
    def test_next_goes_on_and_escape_closes(self):
        run = self.run_screen("welcome")
        window = wait_for_window(TITLE)
        capture(window, "welcome.png", WELCOME_SIZE)
        press(window, "Return")
        self.assertEqual(run.wait_line("welcome:"), "welcome: next")
        self.assertEqual(run.finish(), 0)
        self.assertEqual(windows_named(TITLE), [])

        run = self.run_screen("welcome")
        press(wait_for_window(TITLE), "Escape")
        self.assertEqual(run.wait_line("welcome:"), "welcome: closed")
        self.assertEqual(run.finish(), 0)


class ProgressScreen(ScreenTest):
    def test_finished_run_shows_ok_and_closes_by_itself_after_ten_seconds(self):
        run = self.run_screen("finish")
        window = wait_for_window(TITLE)
        self.assertEqual(run.wait_line("button:"), "button: OK")
        capture(window, "progress.png", PROGRESS_SIZE)
        result, after = closed_after_ms(run.wait_line("progress:", timeout=40))
        self.assertEqual(result, 11111)   # the finish timer ended it
        self.assertGreaterEqual(after, 9900)
        self.assertLess(after, 14000)
        self.assertEqual(run.finish(), 0)

    def test_enter_on_ok_closes_at_once(self):
        run = self.run_screen("finish")
        window = wait_for_window(TITLE)
        self.assertEqual(run.wait_line("button:"), "button: OK")
        press(window, "Return")
        result, after = closed_after_ms(run.wait_line("progress:", timeout=20))
        self.assertEqual(result, 0)
        self.assertLess(after, 5000)
        self.assertEqual(run.finish(), 0)

    def test_cancel_twice_shows_the_abort_line_once_and_disables_the_button(self):
        run = self.run_screen("cancel")
        window = wait_for_window(TITLE)
        press(window, "Escape")
        self.assertEqual(run.wait_line("cancel flag:"), "cancel flag: 1")
        capture(window, "progress-cancelling.png", PROGRESS_SIZE)
        press(window, "Escape")
        self.assertEqual(run.wait_line("cancel event set again:"), "cancel event set again: yes")
        self.assertEqual(run.wait_line("aborting lines:"), "aborting lines: 1")
        self.assertEqual(run.wait_line("button enabled:"), "button enabled: 0")
        # After a cancel the run's end closes the dialog at once, with no 10-second wait.
        result, after = closed_after_ms(run.wait_line("progress:", timeout=20))
        self.assertEqual(result, 0)
        self.assertLess(after, 5000)
        self.assertEqual(run.finish(), 0)


class CredentialsPrompt(ScreenTest):
    def test_prompt_from_the_worker_returns_what_was_typed(self):
        run = self.run_screen("credentials")
        window = wait_for_window(CREDENTIALS_TITLE)
        self.assertTrue(windows_named(TITLE), "the prompt shows over the progress dialog")
        type_text(window, "alice")
        press(window, "Tab")
        type_text(window, "s3cret pass")
        capture(window, "credentials.png", CREDENTIALS_SIZE)
        press(window, "Return")
        self.assertEqual(run.wait_line("credentials:"), "credentials: accepted user=alice password=s3cret pass")
        press(wait_for_window(TITLE), "Escape")   # the button reads OK by now
        run.wait_line("progress:")
        self.assertEqual(run.finish(), 0)

    def test_cancel_and_half_filled_forms_give_nothing(self):
        run = self.run_screen("credentials")
        window = wait_for_window(CREDENTIALS_TITLE)
        type_text(window, "alice")
        press(window, "Escape")
        self.assertEqual(run.wait_line("credentials:"), "credentials: refused user= password=")
        press(wait_for_window(TITLE), "Escape")
        run.wait_line("progress:")
        self.assertEqual(run.finish(), 0)

        run = self.run_screen("credentials")
        window = wait_for_window(CREDENTIALS_TITLE)
        type_text(window, "alice")   # no password: OK must not hand over half the credentials
        press(window, "Return")
        self.assertEqual(run.wait_line("credentials:"), "credentials: refused user= password=")
        press(wait_for_window(TITLE), "Escape")
        run.wait_line("progress:")
        self.assertEqual(run.finish(), 0)


class MessageBox(ScreenTest):
    def test_message_box_shows_and_closes_on_enter(self):
        run = self.run_screen("message")
        window = wait_for_window(TITLE)
        capture(window, "message-box.png", MESSAGE_BOX_SIZE)
        press(window, "Return")
        self.assertEqual(run.wait_line("message box:"), "message box: closed")
        self.assertEqual(run.finish(), 0)


class CancelRequest(ScreenTest):
    def check_stopped_run(self, run, waited_for):
        result, after = closed_after_ms(run.wait_line("progress:", timeout=90))
        seen = {line.split(":")[0]: line for line in run.seen}
        self.assertEqual(seen.get("welcome"), "welcome: closed")
        self.assertEqual(seen.get("message box"), "message box: closed")
        words = seen["screens took"].split()
        times = {"message box": int(words[4]), "welcome": int(words[7])}
        later = [name for name in times if name != waited_for]
        self.assertLess(times[later[0]], 2000, "a screen after the request must close at once")
        self.assertEqual(seen.get("cancel flag"), "cancel flag: 1")
        self.assertEqual(result, 0)
        self.assertLess(after, 5000)
        self.assertEqual(run.finish(), 0)

    def test_request_ends_the_welcome_dialog_and_every_later_screen(self):
        self.check_stopped_run(self.run_screen("stop"), "welcome")

    def test_request_ends_a_message_box_and_every_later_screen(self):
        self.check_stopped_run(self.run_screen("stop-message"), "message box")


def main():
    global PREVIEW, DISPLAY, SHOTS
    if len(sys.argv) < 2:
        sys.stderr.write(__doc__)
        return 2
    PREVIEW = os.path.abspath(sys.argv.pop(1))
    for tool in ("Xvfb", "xdotool", "import", "identify"):
        if not shutil.which(tool):
            sys.stderr.write("test_dialog_screens: %s is missing (scripts/install-windows-deps.sh)\n" % tool)
            return 1
    own_shots = not os.environ.get("QSW_SCREENSHOT_DIR")
    SHOTS = tempfile.mkdtemp(prefix="qsw-screens.") if own_shots else os.environ["QSW_SCREENSHOT_DIR"]
    os.makedirs(SHOTS, exist_ok=True)
    DISPLAY = VirtualDisplay()
    try:
        program = unittest.main(argv=[sys.argv[0]] + sys.argv[1:], exit=False, verbosity=2)
        return 0 if program.result.wasSuccessful() else 1
    finally:
        DISPLAY.close()
        if own_shots:
            shutil.rmtree(SHOTS, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
