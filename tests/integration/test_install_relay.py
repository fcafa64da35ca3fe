"""Full installations with the real executable through mechanism [3]: relays on the local
network forward the installer's HTTP and HTTPS to the agent handler and the repository, which
the installer cannot reach itself.

Everything runs in namespaces of a test network (tests/fixtures/netns.py). The agent handler
(HTTPS) and the repository (nginx) listen on the loopback of member 2 alone, beside the test
relay (tests/fixtures/relay_agent.py), which forwards to that loopback; the installer runs in
member 1, where nothing listens on those ports, so mechanisms [0], [1] and [2] fail and only a
relay can deliver. The installer is only ever started through "ip netns exec" into member 1, after
the test has proved that member 1 is a namespace of the harness and not this process's own.
"""

import datetime
import json
import os
import shutil
import subprocess
import tempfile
import threading
import time
import unittest

import certs
import netns
import packages
from fixtures.installer import Sandbox, coninfo_document

TOKEN = "0123456789abcdef0123456789abcdef01234567"
TENANT = "tenant-relay"
FIXTURES = os.path.dirname(os.path.abspath(certs.__file__))
PYTHON = os.environ.get("QSW_PYTHON", "/usr/bin/python3")
HEADINGS = ["[0] Top level mechanism - p2p - Config files from Agent handlers directly - Install files via p2p only",
            "Install via p2p mechanism failed",
            "[1] Top level mechanism - Agent handlers - Config files from Agent handlers directly - Install files via "
            "direct only",
            "Install directly via Agent handlers failed",
            "[2] Top level mechanism - Proxy - Config files from Agent handlers via Proxy mechanism - Install files "
            "via p2p then Proxy",
            "[3] Top level mechanism - Relay - Config files from Agent handlers via Relay mechanism - Install files "
            "via p2p then Relay"]


class Lines:
    """Collects a child's output lines on a thread, so that its pipe never fills."""

    def __init__(self, stream):
        self.lines = []
        self._lock = threading.Lock()
        threading.Thread(target=self._read, args=(stream,), daemon=True).start()

    def _read(self, stream):
        for line in stream:
            with self._lock:
                self.lines.append(line.rstrip("\n"))

    def starting(self, prefix):
        with self._lock:
            return [line for line in self.lines if line.startswith(prefix)]


def start_fixture(member, script, args):
    process = member.popen([PYTHON, os.path.join(FIXTURES, script)] + list(args), stdin=subprocess.PIPE,
                           stdout=subprocess.PIPE, text=True)
    line = process.stdout.readline()
    if not line.startswith("READY "):
        raise RuntimeError("%s did not start: %r" % (script, line))
    return json.loads(line[len("READY "):])


def start_relay(member, *args):
    """A relay agent in `member`; (process, reported port, its output lines)."""
    process = member.popen([PYTHON, os.path.join(FIXTURES, "relay_agent.py")] + list(args),
                           stdout=subprocess.PIPE, text=True)
    words = process.stdout.readline().split()
    if not words or words[0] != "ready":
        raise RuntimeError("the relay did not start: %r" % words)
    return process, int(words[1]), Lines(process.stdout)


def prove_own_namespace(net, member):
    """Fail closed: the installer broadcasts, so it runs nowhere but in a harness namespace."""
    probe = member.run(["readlink", "/proc/self/ns/net"], capture_output=True, text=True)
    made = "net:[%d]" % os.stat(os.path.join("/run/netns", member.name)).st_ino
    if probe.returncode != 0 or probe.stdout.strip() != made or made == os.readlink("/proc/self/ns/net"):
        net.close()
        raise RuntimeError("%s is not a network namespace of its own" % member.name)


def wait_for_addresses(member):
    """Until no IPv6 address of the member is still tentative (link-local ones go through DAD)."""
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        shown = member.ip("-6", "-o", "addr", "show", "dev", member.ifname or "veth0").stdout
        if "inet6" in shown and "tentative" not in shown:
            return
        time.sleep(0.05)
    raise RuntimeError("the addresses of %s stayed tentative" % member.name)


class RelayNetwork:
    """The servers on the loopback of `server_member`, and the stamped installer that names them."""

    def __init__(self, root, server_member):
        repository = os.path.join(root, "repository")
        os.mkdir(repository)
        self.nginx = start_fixture(server_member, "nginx_server.py", ["--root", repository])
        port = self.nginx["port"]
        self.files = packages.install_files()
        config_zip, install_zip = packages.build(
            os.path.join(root, "packages"),
            [packages.http_site("repo", ip="127.0.0.1:%d" % port, server="localhost:%d" % port)],
            files=self.files)
        packages.publish(repository, install_zip)
        self.handler = start_fixture(server_member, "agent_handler.py",
                                     ["--package", config_zip, "--token", TOKEN, "--listen", "127.0.0.1",
                                      "--listen", "::1", "--certs", os.path.join(root, "certs"),
                                      "--tenant-id", TENANT])

    def document(self):
        return coninfo_document(host="localhost", ip="127.0.0.1", netbios="[::1]", port=self.handler["port"],
                                token=TOKEN, certificates=[certs.der_base64(self.handler["ca"])])


class RelayInstallBase(unittest.TestCase):
    maxDiff = None
    network_options = {}

    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="qsw-relay-")
        cls.net = netns.Network(**cls.network_options).start()
        cls.client, cls.relay_member = cls.net.members[0], cls.net.members[1]
        prove_own_namespace(cls.net, cls.client)
        cls.shape_network()
        try:
            cls.servers = RelayNetwork(cls.root, cls.relay_member)
        except BaseException:
            cls.net.close()
            raise

    @classmethod
    def shape_network(cls):
        pass

    @classmethod
    def tearDownClass(cls):
        cls.net.close()
        shutil.rmtree(cls.root, ignore_errors=True)

    def setUp(self):
        self.box = Sandbox()
        self.addCleanup(self.box.close)
        self.installer = self.box.stamp(self.servers.document())

    def relay(self, member, *args):
        process, port, lines = start_relay(member, *args)
        self.addCleanup(netns._stop_process, process)
        return port, lines

    def install(self):
        deadline = time.monotonic() + 300
        while True:   # the single-instance lock is machine-wide
            result = self.box.run(["-s"], program=self.installer, prefix=self.client.exec_args([]), timeout=300,
                                  QSW_VESINST_RECORD=os.path.join(self.box.root, "vesinst-args.txt"),
                                  QSW_AGENT_DATA=os.path.join(self.box.root, "agent-data"))
            if "Another instance might be running" not in result.stdout or time.monotonic() > deadline:
                break
            time.sleep(1)
        self.assertEqual(result.returncode, 0, result.stderr)
        return self.box.log_messages()

    def assert_in_order(self, messages, expected):
        rest = messages
        for line in expected:
            self.assertIn(line, rest, "missing in order: " + line)
            rest = rest[rest.index(line) + 1:]

    def relay_section(self, messages):
        return messages[messages.index(HEADINGS[-1]):]


@unittest.skipIf(netns.unavailable_reason(), netns.unavailable_reason() or "")
class RelayInstallTest(RelayInstallBase):
    network_options = {"members": 3}

    def test_installs_through_a_relay_when_nothing_else_reaches_the_servers(self):
        # Nothing of the servers answers in the installer's namespace, nor at the relay's address.
        for url in ("https://127.0.0.1:%d/" % self.servers.handler["port"],
                    "http://%s:%d/" % (self.relay_member.ipv4, self.servers.nginx["port"])):
            reached = self.client.run(["curl", "-sk", "-o", "/dev/null", "--max-time", "5", url])
            self.assertEqual(reached.returncode, 7, url + " must be out of reach")
        port, relay = self.relay(self.relay_member, "--families", "4")
        messages = self.install()
        self.assert_in_order(messages, HEADINGS + [
            "[Relay] Trying to download via Relay IP %s and port %d" % (self.relay_member.ipv4, port),
            "Trying to connect to Lumacore via relay",
            "Proxy information successfully set",
            "Downloaded Frameworkconfig.zip Successfully",
            "Continue from Install via p2p mechanism within the selected top level - 2 - mechanism as we failed to "
            "get files from p2p",
            "Trying to connect to repository via relay",
            "Downloaded install file Successfully",
            "Hash verification for Framework install files succeeded",
            "[Install] Download files successfully. Installing agent now.",
            "Agent was installed successfully"])
        section = self.relay_section(messages)
        self.assertEqual(sum(1 for m in section if m.startswith("[Relay] ")), 1, "one relay, one try")
        self.assertFalse(os.path.exists(self.box.work_folder))
        proxied = relay.starting("proxied ")
        self.assertIn("proxied CONNECT 127.0.0.1:%d" % self.servers.handler["port"], proxied)
        self.assertTrue(any(p.startswith("proxied GET http://127.0.0.1:%d/" % self.servers.nginx["port"])
                            and p.endswith("/FrameworkInstall.zip") for p in proxied), proxied)
        self.assertEqual(len(relay.starting("answered msgbus 4 %s" % self.client.ipv4)), 1)
        self.assertEqual(len(relay.starting("answered compat 4 %s" % self.client.ipv4)), 1)

    def test_a_refusing_relay_is_skipped_for_the_next(self):
        refused, _ = self.relay(self.net.members[2], "--families", "4", "--refuse")
        port, _ = self.relay(self.relay_member, "--families", "4", "--delay-ms", "300")
        messages = self.install()
        section = self.relay_section(messages)
        first, second = self.net.members[2].ipv4, self.relay_member.ipv4
        self.assert_in_order(section, [
            "[Relay] Trying to download via Relay IP %s and port %d" % (first, refused),
            "[Relay] Unable to download via Relay IP %s" % first,
            "[Relay] Trying to download via Relay IP %s and port %d" % (second, port),
            "Agent was installed successfully"])
        self.assertEqual(sum(1 for m in section if m.startswith("[Relay] Unable to download via Relay IP")), 1)

    def test_relays_answering_only_the_compat_request_serve_the_install(self):
        port, relay = self.relay(self.relay_member, "--formats", "compat", "--families", "4")
        messages = self.install()
        self.assert_in_order(self.relay_section(messages), [
            "[Relay] Trying to download via Relay IP %s and port %d" % (self.relay_member.ipv4, port),
            "Agent was installed successfully"])
        self.assertEqual(relay.starting("answered msgbus"), [])
        self.assertEqual(len(relay.starting("answered compat 4 ")), 1)

    def test_without_relays_the_run_ends_at_the_error_end_after_both_time_outs(self):
        messages = self.install()
        section = self.relay_section(messages)
        self.assertEqual(section[:6], [
            HEADINGS[-1],
            "[Relay] Unable to discover any relay in the network",
            "Trying to install agent failed by all mechanisms",
            "Error occured during agent bootstrap operations",
            "FrameworkInstall.zip download is failed. It will resume in next run.",
            "Deinitializing..."])
        # Both passes waited for their 5 s time-out (whole-second stamps): no early end, and the
        # road did nothing else between its heading and its verdict.
        stamps = self.stamps_of([HEADINGS[-1], "[Relay] Unable to discover any relay in the network"])
        self.assertGreaterEqual((stamps[1] - stamps[0]).total_seconds(), 9)

    def stamps_of(self, wanted):
        stamps = []
        for line in self.box.log_text().splitlines():
            parts = line.split("\t", 2)
            if len(parts) == 3 and parts[2] in wanted:
                stamps.append(parse_stamp(parts[0]))
        return stamps


def parse_stamp(text):
    """The log's time stamp ("Wed Jan  3 12:34:56 2024")."""
    return datetime.datetime.strptime(text.strip(), "%a %b %d %H:%M:%S %Y")


@unittest.skipIf(netns.unavailable_reason(), netns.unavailable_reason() or "")
class LinkLocalRelayInstallTest(RelayInstallBase):
    """A relay with no address but its automatic link-local one: it hears the installer's multicast
    and answers from fe80::..., which can be reached only with the scope id of the interface that
    heard it (the installer's own link-local addresses are never used for discovery)."""
    network_options = {"members": 2, "ipv4": False, "ipv6": True}

    @classmethod
    def shape_network(cls):
        client, relay = cls.net.members
        relay.ip("addr", "del", "%s/%d" % (relay.ipv6, relay.prefix6), "dev", relay.ifname)
        relay.ip("route", "add", "%s/%d" % (client.ipv6, client.prefix6), "dev", relay.ifname)
        for member in cls.net.members:
            wait_for_addresses(member)

    def test_installs_through_a_link_local_relay(self):
        port, relay = self.relay(self.relay_member, "--families", "6")
        messages = self.install()
        trying = [m for m in messages if m.startswith("[Relay] Trying to download via Relay IP ")]
        self.assertEqual(len(trying), 1, trying)
        self.assertTrue(trying[0].startswith("[Relay] Trying to download via Relay IP [fe80::"), trying)
        self.assertTrue(trying[0].endswith("] and port %d" % port), trying)
        self.assertIn("Agent was installed successfully", messages)
        self.assertTrue(relay.starting("proxied CONNECT 127.0.0.1:"))


@unittest.skipIf(netns.unavailable_reason(), netns.unavailable_reason() or "")
class LongAddressRelayInstallTest(RelayInstallBase):
    """A relay whose bracketed address is 40 characters, one more than the classic host buffer."""
    network_options = {"members": 2, "ipv4": False, "ipv6": True, "ipv6_prefix": "2001:db8:1111:2222:3333:4444:5555:"}
    relay_address = "2001:db8:1111:2222:3333:4444:5555:6666"

    @classmethod
    def shape_network(cls):
        member = cls.net.members[1]
        member.ip("addr", "del", "%s/%d" % (member.ipv6, member.prefix6), "dev", member.ifname)
        member.ip("addr", "add", "%s/64" % cls.relay_address, "dev", member.ifname, "nodad")
        member.ipv6 = cls.relay_address
        for m in cls.net.members:
            wait_for_addresses(m)

    def test_installs_through_a_relay_with_a_long_address(self):
        self.assertEqual(len("[%s]" % self.relay_address), 40)
        port, _ = self.relay(self.relay_member, "--families", "6")
        messages = self.install()
        self.assert_in_order(self.relay_section(messages), [
            "[Relay] Trying to download via Relay IP [%s] and port %d" % (self.relay_address, port),
            "Agent was installed successfully"])


if __name__ == "__main__":
    unittest.main()
