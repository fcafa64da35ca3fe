"""Full installations through a proxy with the real executable: mechanism [2] with the proxy of the
command line, of the logged-on user's desktop (its shell's environment, GNOME's settings, a PAC
script, WPAD), or of the machine.

A test network of two namespaces (tests/fixtures/netns.py): the installer runs in member 1, the
client; the agent handler (HTTPS) and the repository (nginx) listen on member 2's loopback, where
the client cannot reach them. Member 2 also runs tinyproxy on its network address, twice (open,
and with Basic authentication), and a web server for proxy scripts on port 80. So the client
reaches the servers only through a proxy: the direct and peer roads fail first. The "desktop
user" is a copy of a harmless program named like a desktop shell, run as an unprivileged user.
The installer is only ever started through "ip netns exec" into member 1.
"""

import json
import os
import re
import shlex
import shutil
import subprocess
import tempfile
import time
import unittest

import certs
import netns
import packages
from fixtures.installer import Sandbox, coninfo_document
from fixtures.terminal import Terminal
from tinyproxy_server import TinyProxy

TOKEN = "0123456789abcdef0123456789abcdef01234567"
FIXTURES = os.path.dirname(os.path.abspath(certs.__file__))
PYTHON = os.environ.get("QSW_PYTHON", "/usr/bin/python3")
NOBODY = 65534
OPEN_PORT, AUTH_PORT = 3128, 3129
USER, PASSWORD = "alice", "s3cr3t-Pw"
PROXY_VARIABLES = ("http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "ftp_proxy", "FTP_PROXY",
                   "all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY")
WPAD_DOMAIN = "corp.qsw-test.example"

MECHANISM_0 = "[0] Top level mechanism - p2p - Config files from Agent handlers directly - Install files via p2p only"
MECHANISM_1 = ("[1] Top level mechanism - Agent handlers - Config files from Agent handlers directly - "
               "Install files via direct only")
MECHANISM_2 = ("[2] Top level mechanism - Proxy - Config files from Agent handlers via Proxy mechanism - "
               "Install files via p2p then Proxy")
MECHANISM_3 = ("[3] Top level mechanism - Relay - Config files from Agent handlers via Relay mechanism - "
               "Install files via p2p then Relay")
INSTALLED = "Agent was installed successfully"
ERROR_END = "Error occured during agent bootstrap operations"
TIMED_OUT = "autoDetectProxy: proxy resolution did not end within its time limit and was stopped"
HELPER_FLAG = "--qsw-desktop-proxy-helper"


def own_network_namespace():
    return os.readlink("/proc/self/ns/net")


def gsettings_available():
    return (os.access("/usr/bin/gsettings", os.X_OK)
            and os.path.exists("/usr/share/glib-2.0/schemas/org.gnome.system.proxy.gschema.xml"))


def pacparser_available():
    return any(os.path.exists(p) for p in ("/usr/lib/libpacparser.so.1", "/usr/lib/x86_64-linux-gnu/libpacparser.so.1"))


def start_fixture(member, script, args):
    process = member.popen([PYTHON, os.path.join(FIXTURES, script)] + list(args), stdin=subprocess.PIPE,
                           stdout=subprocess.PIPE, text=True)
    line = process.stdout.readline()
    if not line.startswith("READY "):
        raise RuntimeError("%s did not start: %r" % (script, line))
    return process, json.loads(line[len("READY "):])


class FakeDesktop:
    """A desktop shell of an unprivileged user: a copy of /bin/sleep under the shell's name, run as
    uid 65534 with the environment given, its home (owned by that user) below /tmp."""

    def __init__(self, member, shell="gnome-shell", environment=None, keyfile=None):
        self.home = tempfile.mkdtemp(prefix="qsw-desktop-", dir="/tmp")
        os.chmod(self.home, 0o755)
        settings = os.path.join(self.home, ".config", "glib-2.0", "settings")
        os.makedirs(settings)
        if keyfile is not None:
            with open(os.path.join(settings, "keyfile"), "w") as f:
                f.write(keyfile)
        for folder, dirs, files in os.walk(self.home):
            for name in dirs + files:
                os.lchown(os.path.join(folder, name), NOBODY, NOBODY)
        os.lchown(self.home, NOBODY, NOBODY)
        self.program = os.path.join(self.home, shell)
        shutil.copy("/bin/sleep", self.program)
        os.chmod(self.program, 0o755)
        variables = {"HOME": self.home, "XDG_CONFIG_HOME": os.path.join(self.home, ".config"),
                     "GSETTINGS_BACKEND": "keyfile"}
        variables.update(environment or {})
        self.process = member.popen(["setpriv", "--reuid=%d" % NOBODY, "--regid=%d" % NOBODY, "--clear-groups",
                                     "env", "-i"] + ["%s=%s" % kv for kv in variables.items()]
                                    + [self.program, "600"], stdin=subprocess.DEVNULL)
        self.pid = self._wait_for_shell()

    def _wait_for_shell(self):
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            for entry in os.listdir("/proc"):
                if entry.isdigit():
                    try:
                        if os.readlink("/proc/%s/exe" % entry) == self.program:
                            return int(entry)
                    except OSError:
                        pass
            time.sleep(0.05)
        raise RuntimeError("the fake desktop shell did not start")

    def close(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        shutil.rmtree(self.home, ignore_errors=True)


@unittest.skipIf(netns.unavailable_reason(), netns.unavailable_reason() or "")
@unittest.skipUnless(os.access("/usr/bin/tinyproxy", os.X_OK), "tinyproxy is not installed")
class ProxyInstallTest(unittest.TestCase):
    maxDiff = None

    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="qsw-proxy-", dir="/tmp")
        os.chmod(cls.root, 0o755)
        cls.net = netns.Network(members=2, ipv6=False).start()
        try:
            cls._build()
        except BaseException:
            cls.net.close()
            shutil.rmtree(cls.root, ignore_errors=True)
            raise

    @classmethod
    def _build(cls):
        cls.client, cls.server = cls.net.members
        # Fail closed: the installer broadcasts, so it runs nowhere but in member 1, whose network
        # must be the harness's namespace and not this process's own.
        probe = cls.client.run(["readlink", "/proc/self/ns/net"], capture_output=True, text=True)
        made = "net:[%d]" % os.stat(os.path.join("/run/netns", cls.client.name)).st_ino
        if probe.returncode != 0 or probe.stdout.strip() != made or made == own_network_namespace():
            raise RuntimeError("member 1 is not a network namespace of its own")
        cls.proxy_host = cls.server.ipv4

        repository = os.path.join(cls.root, "repository")
        os.mkdir(repository)
        _, cls.nginx = start_fixture(cls.server, "nginx_server.py", ["--root", repository])
        port = cls.nginx["port"]
        config_zip, install_zip = packages.build(
            os.path.join(cls.root, "packages"),
            [packages.http_site("repo", ip="127.0.0.1:%d" % port, server="localhost:%d" % port)])
        packages.publish(repository, install_zip)
        _, cls.handler = start_fixture(cls.server, "agent_handler.py",
                                       ["--package", config_zip, "--token", TOKEN, "--listen", "127.0.0.1",
                                        "--certs", os.path.join(cls.root, "certs")])
        cls.open_proxy = TinyProxy(cls.server, os.path.join(cls.root, "proxy"), cls.proxy_host, OPEN_PORT).start()
        cls.auth_proxy = TinyProxy(cls.server, os.path.join(cls.root, "proxy"), cls.proxy_host, AUTH_PORT,
                                   user=USER, password=PASSWORD).start()
        cls.web_root = os.path.join(cls.root, "web")
        os.mkdir(cls.web_root)
        cls.web_log = os.path.join(cls.root, "web.log")
        with open(cls.web_log, "w") as log:
            cls.web = cls.server.popen([PYTHON, "-u", "-m", "http.server", "80", "--bind", cls.proxy_host,
                                        "--directory", cls.web_root], stdout=subprocess.PIPE, stderr=log, text=True)
        if "Serving HTTP" not in cls.web.stdout.readline():
            raise RuntimeError("the script server did not start")
        pac = ("function FindProxyForURL(url, host) {\n"
               "  if (host == 'localhost' || host == '127.0.0.1') return 'PROXY %s:%d; DIRECT';\n"
               "  return 'DIRECT';\n}\n" % (cls.proxy_host, OPEN_PORT))
        for name in ("proxy.pac", "wpad.dat"):
            with open(os.path.join(cls.web_root, name), "w") as f:
                f.write(pac)
        with open(os.path.join(cls.web_root, "loop.pac"), "w") as f:
            f.write("function FindProxyForURL(url, host) { while (true) {} }\n")
        cls.document = coninfo_document(host="localhost", ip="127.0.0.1", netbios="QSWHANDLER",
                                        port=cls.handler["port"], token=TOKEN,
                                        certificates=[certs.der_base64(cls.handler["ca"])])

    @classmethod
    def tearDownClass(cls):
        cls.net.close()
        shutil.rmtree(cls.root, ignore_errors=True)

    def setUp(self):
        self.box = Sandbox()
        self.addCleanup(self.box.close)
        self.installer = self.box.stamp(self.document)
        self.agent_data = os.path.join(self.box.root, "agent-data")

    # -------------------------------------------------------------------------------------------
    # helpers

    def desktop(self, **kwargs):
        shell = FakeDesktop(self.client, **kwargs)
        self.addCleanup(shell.close)
        return shell

    def files(self, **contents):
        """Files below the shared /tmp folder (readable by the unprivileged user too)."""
        paths = {}
        for name, text in contents.items():
            path = os.path.join(self.box.root, name)
            with open(path, "w") as f:
                f.write(text)
            os.chmod(path, 0o644)
            paths[name] = path
        return paths

    def command(self, args, mounts=None):
        """The installer in member 1; `mounts` (target: file) are bound over files of /etc in the
        mount namespace that ip netns exec makes for the run alone."""
        prefix = self.client.exec_args([])
        if mounts:
            script = " && ".join("mount --bind %s %s" % (shlex.quote(src), shlex.quote(dst))
                                 for dst, src in mounts.items())
            prefix += ["sh", "-c", script + ' && exec "$@"', "sh"]
        return prefix, [self.installer] + list(args)

    def install(self, args=("-s",), mounts=None, environment=None, timeout=180):
        env = {name: "" for name in PROXY_VARIABLES}
        env.update(environment or {})
        prefix, argv = self.command(args, mounts)
        self.started = time.monotonic()
        result = self.box.run(argv[1:], program=argv[0], prefix=prefix, timeout=timeout,
                              QSW_AGENT_DATA=self.agent_data, **env)
        self.elapsed = time.monotonic() - self.started
        self.assertEqual(result.returncode, 0, result.stderr)
        return [m for m in self.box.log_messages() if not m.startswith("curl ")]

    def assert_in_order(self, messages, expected):
        position = 0
        for line in expected:
            try:
                position = messages.index(line, position) + 1
            except ValueError:
                self.fail("%r not logged (in this order); the log:\n%s" % (line, "\n".join(messages)))

    def assert_direct_roads_failed_then_proxy(self, messages):
        self.assert_in_order(messages, [MECHANISM_0, "Install via p2p mechanism failed", MECHANISM_1,
                                        "Install directly via Agent handlers failed", MECHANISM_2,
                                        "Trying to connect to Lumacore via proxy", "Proxy information successfully set",
                                        "Downloaded Frameworkconfig.zip Successfully", "Trying to connect to repository via proxy",
                                        "Downloaded install file Successfully", INSTALLED])
        self.assertNotIn(MECHANISM_3, messages)

    def assert_through(self, proxy, before):
        """Both packages came through `proxy` after `before` requests: the configuration package by
        a tunnel to the agent handler, the install package by a GET to the repository."""
        requests = proxy.requests()[before:]
        self.assertIn(("CONNECT", "127.0.0.1:%d" % self.handler["port"]), requests)
        self.assertTrue(any(m == "GET" and t.endswith("/FrameworkInstall.zip") for m, t in requests), requests)

    def proxy_section(self, messages):
        start = messages.index(MECHANISM_2)
        end = messages.index(MECHANISM_3) if MECHANISM_3 in messages else len(messages)
        return messages[start:end]

    # -------------------------------------------------------------------------------------------
    # the command-line proxy

    def test_command_line_proxy_installs_after_the_direct_and_peer_roads_fail(self):
        before = len(self.open_proxy.requests())
        messages = self.install(["-s", "-a", self.proxy_host, "-p", str(OPEN_PORT)])
        self.assert_direct_roads_failed_then_proxy(messages)
        self.assertIn("Proxy IP address and Proxy port provided via commandline", messages)
        self.assertNotIn("stealExplorersToken", messages, "a command-line proxy needs no detection")
        self.assert_through(self.open_proxy, before)
        with open(os.path.join(self.agent_data, "proxy_config.ini")) as f:
            self.assertEqual(f.read(), "[ProxyInfo]\nServer=%s\nPort=%d\n" % (self.proxy_host, OPEN_PORT))

    def test_a_port_that_is_not_a_number_means_no_proxy(self):
        before = len(self.open_proxy.requests())
        for port in ("abc", "00000000000003128"):   # not a number; more than 15 characters
            earlier = len([m for m in self.box.log_messages() if not m.startswith("curl ")])
            messages = self.install(["-s", "-a", self.proxy_host, "-p", port])[earlier:]
            self.assert_in_order(messages, [MECHANISM_2, "Trying to connect to Lumacore via proxy",
                                            "Could not download FrameworkConfig.zip", MECHANISM_3, ERROR_END])
            self.assertEqual(len(self.open_proxy.requests()), before, "port %r reached the proxy" % port)

    def test_credentials_for_an_authenticating_proxy_and_proxy_config_ini(self):
        before = self.auth_proxy.established()
        messages = self.install(["-s", "-a", self.proxy_host, "-p", str(AUTH_PORT), "-u", USER, "-w", PASSWORD])
        self.assert_direct_roads_failed_then_proxy(messages)
        self.assertIn("Setting proxy credentials", messages)
        self.assertGreaterEqual(self.auth_proxy.established() - before, 2)
        scrambled = __import__("base64").b64encode(bytes((b + 10) % 256 for b in PASSWORD.encode())).decode()
        with open(os.path.join(self.agent_data, "proxy_config.ini")) as f:
            self.assertEqual(f.read(), "[ProxyInfo]\nServer=%s\nPort=%d\nUserName=%s\nPassword=%s\n"
                             % (self.proxy_host, AUTH_PORT, USER, scrambled))
        self.assertNotIn(PASSWORD, self.box.log_text())
        self.assertNotIn(USER, self.box.log_text())

    def test_wrong_credentials_fail_cleanly_at_the_error_end(self):
        before = self.auth_proxy.established()
        messages = self.install(["-s", "-a", self.proxy_host, "-p", str(AUTH_PORT), "-u", USER, "-w", "wrong"])
        self.assert_in_order(messages, [MECHANISM_2, "Trying to connect to Lumacore via proxy",
                                        "Could not download FrameworkConfig.zip", MECHANISM_3,
                                        "Trying to install agent failed by all mechanisms", ERROR_END, "****BS_END*****"])
        self.assertNotIn(INSTALLED, messages)
        self.assertFalse(any(m.startswith("The proxy asked for credentials") for m in messages),
                         "nobody is asked in a silent run")
        self.assertEqual(self.auth_proxy.established(), before, "the proxy let a wrong password through")
        # The work folder stays for the next run, with the settings for the agent.
        with open(os.path.join(self.box.work_folder, "proxy_config.ini")) as f:
            self.assertIn("UserName=%s\n" % USER, f.read())

    # -------------------------------------------------------------------------------------------
    # the logged-on user's settings

    def test_the_desktop_shells_environment_names_the_proxy(self):
        before = len(self.open_proxy.requests())
        self.desktop(environment={"https_proxy": "http://%s:%d/" % (self.proxy_host, OPEN_PORT)})
        messages = self.install()
        self.assert_direct_roads_failed_then_proxy(messages)
        self.assertEqual(self.proxy_section(messages)[:12], [
            MECHANISM_2, "stealExplorersToken", "findProcessId", "fetched process id of explorer",
            "getLoggedOnUsersIESettings", "checking lpszAutoConfigUrl", "checking lpszProxy", "processProxyList",
            "splitProxyInformation https=%s:%d" % (self.proxy_host, OPEN_PORT), "download_files_via_proxy",
            "download_files_via_proxy:getProxyServer got proxy",
            "downloading via proxy address %s and port %d" % (self.proxy_host, OPEN_PORT)])
        self.assertNotIn("getDefaultProxyConfiguration", messages)
        self.assert_through(self.open_proxy, before)

    @unittest.skipUnless(gsettings_available() and pacparser_available(),
                         "needs gsettings, the GNOME proxy schema and libpacparser1")
    def test_a_pac_script_named_by_the_users_gnome_settings_selects_the_proxy(self):
        before = len(self.open_proxy.requests())
        self.desktop(keyfile="[system/proxy]\nmode='auto'\nautoconfig-url='http://%s/proxy.pac'\n" % self.proxy_host)
        messages = self.install()
        self.assert_direct_roads_failed_then_proxy(messages)
        self.assert_in_order(self.proxy_section(messages), [
            "getLoggedOnUsersIESettings", "checking lpszAutoConfigUrl", "autoDetectProxy", "processProxyList",
            "splitProxyInformation %s:%d" % (self.proxy_host, OPEN_PORT), "checking lpszProxy",
            "downloading via proxy address %s and port %d" % (self.proxy_host, OPEN_PORT)])
        self.assert_through(self.open_proxy, before)
        with open(self.web_log) as f:
            self.assertIn("GET /proxy.pac", f.read())

    @unittest.skipUnless(gsettings_available() and pacparser_available(),
                         "needs gsettings, the GNOME proxy schema and libpacparser1")
    def test_automatic_detection_finds_wpad_through_the_domain_of_the_machine(self):
        before = len(self.open_proxy.requests())
        self.desktop(keyfile="[system/proxy]\nmode='auto'\nautoconfig-url=''\n")
        files = self.files(hosts="127.0.0.1 localhost\n%s wpad.%s\n" % (self.proxy_host, WPAD_DOMAIN),
                           resolv="search sub.%s\nnameserver 127.0.0.1\noptions timeout:1 attempts:1\n" % WPAD_DOMAIN)
        messages = self.install(mounts={"/etc/hosts": files["hosts"], "/etc/resolv.conf": files["resolv"]})
        self.assert_direct_roads_failed_then_proxy(messages)
        self.assert_in_order(self.proxy_section(messages), [
            "getLoggedOnUsersIESettings", "autoDetectProxy", "processProxyList",
            "splitProxyInformation %s:%d" % (self.proxy_host, OPEN_PORT), "checking lpszAutoConfigUrl",
            "checking lpszProxy", "downloading via proxy address %s and port %d" % (self.proxy_host, OPEN_PORT)])
        self.assert_through(self.open_proxy, before)
        with open(self.web_log) as f:
            self.assertIn("GET /wpad.dat", f.read())

    @unittest.skipUnless(gsettings_available(), "needs gsettings and the GNOME proxy schema")
    def test_mode_none_means_no_proxy_and_the_machine_default_is_not_consulted(self):
        before = len(self.open_proxy.requests())
        self.desktop(keyfile="[system/proxy]\nmode='none'\n")
        messages = self.install(environment={"https_proxy": "http://%s:%d" % (self.proxy_host, OPEN_PORT)})
        section = self.proxy_section(messages)
        self.assertEqual(section, [MECHANISM_2, "stealExplorersToken", "findProcessId", "fetched process id of explorer",
                                   "getLoggedOnUsersIESettings", "checking lpszAutoConfigUrl", "checking lpszProxy"])
        self.assert_in_order(messages, [MECHANISM_3, ERROR_END])
        self.assertEqual(len(self.open_proxy.requests()), before, "a proxy was used")

    def test_the_machine_default_from_the_installers_environment_serves_mechanism_2_only(self):
        before = len(self.open_proxy.requests())
        through = "http://%s:%d" % (self.proxy_host, OPEN_PORT)
        messages = self.install(environment={"https_proxy": through, "HTTP_PROXY": through, "all_proxy": through})
        self.assert_direct_roads_failed_then_proxy(messages)
        self.assert_in_order(self.proxy_section(messages), [
            "stealExplorersToken", "findProcessId", "getLoggedOnUsersIESettings", "getDefaultProxyConfiguration",
            "getDefaultProxyConfiguration lpszProxy :http=%s:%d;https=%s:%d" % ((self.proxy_host, OPEN_PORT) * 2),
            "downloading via proxy address %s and port %d" % (self.proxy_host, OPEN_PORT)])
        self.assertNotIn("fetched process id of explorer", messages)
        # Mechanisms [0] and [1] with the same environment asked the proxy nothing: had they, the
        # configuration package would have come in mechanism [0].
        tunnels = [r for r in self.open_proxy.requests()[before:] if r[0] == "CONNECT"]
        self.assertEqual(tunnels, [("CONNECT", "127.0.0.1:%d" % self.handler["port"])])

    def test_the_machine_default_from_etc_environment(self):
        before = len(self.open_proxy.requests())
        files = self.files(environment="PATH=\"/usr/bin:/bin\"\nhttps_proxy=\"http://%s:%d\"\n"
                           % (self.proxy_host, OPEN_PORT))
        messages = self.install(mounts={"/etc/environment": files["environment"]})
        self.assert_direct_roads_failed_then_proxy(messages)
        self.assertIn("getDefaultProxyConfiguration lpszProxy :https=%s:%d" % (self.proxy_host, OPEN_PORT), messages)
        self.assert_through(self.open_proxy, before)

    # -------------------------------------------------------------------------------------------
    # a hostile user

    @unittest.skipUnless(gsettings_available() and pacparser_available(),
                         "needs gsettings, the GNOME proxy schema and libpacparser1")
    def test_a_looping_script_is_cut_off_and_its_helper_has_only_the_users_rights(self):
        self.desktop(keyfile="[system/proxy]\nmode='auto'\nautoconfig-url='http://%s/loop.pac'\n" % self.proxy_host)
        env = self.box.env(QSW_AGENT_DATA=self.agent_data, **{name: "" for name in PROXY_VARIABLES})
        prefix, argv = self.command(["-s"])
        run = subprocess.Popen(prefix + argv, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
        self.addCleanup(lambda: run.poll() is None and (run.kill(), run.wait()))
        started = time.monotonic()
        helper = self.wait_for_helper("resolve", run)
        self.assert_confined(helper, run.pid)
        self.assertEqual(run.wait(timeout=120), 0)
        elapsed = time.monotonic() - started
        messages = [m for m in self.box.log_messages() if not m.startswith("curl ")]
        self.assert_in_order(messages, [MECHANISM_2, "getLoggedOnUsersIESettings", "checking lpszAutoConfigUrl",
                                        "autoDetectProxy", TIMED_OUT, "checking lpszProxy",
                                        "getDefaultProxyConfiguration", MECHANISM_3, ERROR_END])
        self.assertGreaterEqual(elapsed, 19, "cut off before its time limit")
        self.assertFalse(os.path.exists("/proc/%d" % helper), "the helper outlived its time limit")

    def wait_for_helper(self, mode, run):
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline and run.poll() is None:
            for entry in os.listdir("/proc"):
                if not entry.isdigit():
                    continue
                try:
                    with open("/proc/%s/cmdline" % entry, "rb") as f:
                        argv = f.read().split(b"\0")
                except OSError:
                    continue
                if len(argv) > 2 and argv[1] == HELPER_FLAG.encode() and argv[2] == mode.encode():
                    # Past its start: the rights have been dropped once the user's id shows.
                    if self.ids(entry, "Uid") == [NOBODY] * 4:
                        return int(entry)
            time.sleep(0.02)
        self.fail("no %s helper appeared" % mode)

    @staticmethod
    def ids(pid, key):
        with open("/proc/%s/status" % pid) as f:
            for line in f:
                if line.startswith(key + ":"):
                    return [int(v) for v in line.split()[1:]]
        return []

    @staticmethod
    def descriptors(pid):
        return {fd: os.readlink("/proc/%d/fd/%s" % (pid, fd)) for fd in os.listdir("/proc/%d/fd" % pid)}

    def assert_confined(self, pid, installer_pid):
        self.assertEqual(self.ids(pid, "Gid"), [NOBODY] * 4)
        self.assertEqual(self.ids(pid, "Groups"), [])
        self.assertEqual(self.ids(pid, "NoNewPrivs"), [1])
        self.assertEqual(os.readlink("/proc/%d/cwd" % pid), "/")
        # Standard input and output are its channel to the installer, standard error /dev/null;
        # it holds nothing the installer holds (what it opened since is its own: sockets of the
        # script download) and no file but /dev/null.
        targets = self.descriptors(pid)
        self.assertTrue(targets["0"].startswith("socket:") and targets["1"] == targets["0"], targets)
        self.assertEqual(targets["2"], "/dev/null")
        installers = set(self.descriptors(installer_pid).values())
        self.assertIn("/dev/null", installers, "the installer's descriptors were not read")
        self.assertEqual(set(targets.values()) & installers, {"/dev/null"}, (targets, installers))
        # A library it loads may read its configuration file for a moment (OpenSSL's while it
        # starts); an inherited file would stay open, so wait a little for such a file to close.
        files = lambda: [t for t in self.descriptors(pid).values() if t.startswith("/") and t != "/dev/null"]
        deadline = time.monotonic() + 5
        while files() and time.monotonic() < deadline:
            time.sleep(0.05)
        self.assertEqual(files(), [])
        # With those rights the installer's own files are out of reach.
        for path in (self.box.log_path, os.path.join(self.box.work_folder, "coninfo.xml")):
            probe = subprocess.run(["setpriv", "--reuid=%d" % NOBODY, "--regid=%d" % NOBODY, "--clear-groups",
                                    "sh", "-c", "echo x >> \"$1\"", "sh", path], capture_output=True)
            self.assertNotEqual(probe.returncode, 0, "the user could write " + path)

    # -------------------------------------------------------------------------------------------
    # the credentials prompt of an interactive run

    def test_an_interactive_run_asks_for_the_proxys_credentials(self):
        term = Terminal(self.box.root)
        self.addCleanup(term.close)
        settings = {"TMPDIR": self.box.tmp, "QSW_REGISTRY_ROOT": self.box.registry, "QSW_LOCK_DIR": self.box.locks,
                    "LC_ALL": "C.UTF-8", "QSW_AGENT_DATA": self.agent_data}
        settings.update({name: "" for name in PROXY_VARIABLES})
        prefix, argv = self.command(["-a", self.proxy_host, "-p", str(AUTH_PORT)])
        term.run(prefix + argv, env=settings)
        term.wait_for("Click on Next to continue with installation", timeout=30)
        term.press("Enter")
        term.wait_for("Enter Proxy Credentials", timeout=60)
        term.type(USER)
        term.press("Enter")
        term.type(PASSWORD)
        term.press("Enter")
        term.wait_for(lambda s: re.search(r"^\[#+\]\s+100%\s+\[ OK \]$", s, re.M), timeout=120)
        screen = term.screen()
        term.press("Enter")
        self.assertEqual(term.wait_for_exit(), 0)
        self.assertNotIn(PASSWORD, screen)
        messages = self.box.log_messages()
        self.assert_in_order(messages, [MECHANISM_2, "The proxy asked for credentials (407): trying again with those entered",
                                        "Downloaded Frameworkconfig.zip Successfully", INSTALLED])
        self.assertEqual(messages.count("The proxy asked for credentials (407): trying again with those entered"), 1,
                         "the credentials entered serve the whole road")
        self.assertNotIn(PASSWORD, self.box.log_text())


if __name__ == "__main__":
    unittest.main()
