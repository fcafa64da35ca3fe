"""The installer against a hostile local user and a hostile environment: arguments and paths the
locale cannot read, a temporary folder another user could redirect, folders planted in it, a
killed run whose agent installer is still at work, and requests to stop from outside. Runs in a
network namespace of its own: a full run tries peer discovery first."""

import os
import shutil
import subprocess
import unittest

from fixtures.installer import INSTALLER, Sandbox, coninfo_document

TOKEN = "0123456789abcdef0123456789abcdef01234567"
HELP_TITLE = "Quenta Swiftset help"


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


if __name__ == "__main__":
    unittest.main()
