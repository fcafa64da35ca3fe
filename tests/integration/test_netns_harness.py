"""The namespace harness: discovery traffic flows between members, and nothing outlives a test."""

import os
import signal
import subprocess
import sys
import unittest

from fixtures import netns

PYTHON = os.environ.get("QSW_PYTHON", "/usr/bin/python3")
FIXTURES = os.path.join(os.path.dirname(os.path.abspath(netns.__file__)))
RESPONDER = os.path.join(FIXTURES, "udp_responder.py")
NETNS = os.path.join(FIXTURES, "netns.py")

# Run inside a member: one broadcast and one multicast, then print who answered.
ASK = r"""
import socket, struct, sys
broadcast, port = sys.argv[1], int(sys.argv[2])
v4 = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
v4.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
v4.settimeout(3)
v4.sendto(b"hello", (broadcast, port))
print("v4", v4.recvfrom(4096)[1][0])
v6 = socket.socket(socket.AF_INET6, socket.SOCK_DGRAM)
v6.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_MULTICAST_IF, socket.if_nametoindex("veth0"))
v6.settimeout(3)
v6.sendto(b"hello", ("ff08::2", port))
print("v6", v6.recvfrom(4096)[1][0])
"""


def namespaces():
    listed = subprocess.run(["ip", "netns", "list"], capture_output=True, text=True).stdout
    return {line.split(" ")[0] for line in listed.splitlines() if line}


@unittest.skipIf(netns.unavailable_reason(), netns.unavailable_reason())
class NetnsHarnessTest(unittest.TestCase):
    def test_members_reach_each_other_by_broadcast_and_multicast(self):
        with netns.Network(members=2, isolated=1) as net:
            a, b = net.members
            responder = b.popen([PYTHON, RESPONDER, "--port", "18082"], stdout=subprocess.PIPE,
                                text=True)
            self.assertEqual(responder.stdout.readline().strip(), "ready")
            asked = a.run([PYTHON, "-c", ASK, a.broadcast4, "18082"], capture_output=True,
                          text=True, timeout=20)
            self.assertEqual(asked.returncode, 0, asked.stderr)
            self.assertEqual(asked.stdout.split(), ["v4", b.ipv4, "v6", b.ipv6])
            self.assertEqual(a.broadcast4, "10.77.0.255")
            links = net.isolated[0].ip("-o", "link", "show").stdout.splitlines()
            self.assertEqual(len(links), 1)
            self.assertIn(" lo:", links[0])
        responder.stdout.close()
        self.assertIsNotNone(responder.poll(), "processes in the namespaces are stopped")
        self.assertFalse({a.name, b.name, net.hub, net.isolated[0].name} & namespaces())

    def hold(self):
        holder = subprocess.Popen([PYTHON, NETNS, "hold", "--members", "1"], stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE, text=True)
        names = []
        for line in holder.stdout:
            words = line.split()
            if words[0] == "ready":
                break
            names.append(words[1])
        holder.stdout.close()
        self.addCleanup(holder.stdin.close)
        self.assertEqual(len(names), 2)   # the member and the hub
        self.assertTrue(set(names) <= namespaces())
        return holder, set(names)

    def test_holder_removes_everything_on_each_way_out(self):
        holder, names = self.hold()
        holder.stdin.close()
        holder.wait(timeout=20)
        self.assertFalse(names & namespaces(), "end of input")

        holder, names = self.hold()
        holder.send_signal(signal.SIGTERM)
        holder.wait(timeout=20)
        self.assertFalse(names & namespaces(), "SIGTERM")

        holder, names = self.hold()
        holder.kill()
        holder.wait(timeout=20)
        self.assertTrue(names <= namespaces(), "SIGKILL leaves them for the sweep")
        subprocess.run([PYTHON, NETNS, "sweep"], check=True)
        self.assertFalse(names & namespaces(), "swept after the owner died")

    def test_interpreter_exit_removes_open_networks(self):
        script = ("import sys; sys.path.insert(0, %r); import netns\n"
                  "net = netns.Network(members=1).start(); print(net.hub, flush=True)\n"
                  "sys.exit(3)\n") % FIXTURES
        done = subprocess.run([PYTHON, "-c", script], capture_output=True, text=True, timeout=60)
        self.assertEqual(done.returncode, 3, done.stderr)
        self.assertNotIn(done.stdout.strip(), namespaces())


if __name__ == "__main__":
    unittest.main()
