#!/usr/bin/env python3
"""The peer road (mechanism [0]) against the same work done by standard tools, in one run,
inside a private network: the installer, the agent handler and nginx in one namespace, a test
peer holding the install files in another (tests/fixtures/netns.py). Needs root and ip netns;
prints figures only.

The files are FILES data files of SIZE KiB each (default ten of 4 MiB) plus Vesinst.exe. For
each round the installer runs once (fresh temporary folder and registry) while a watcher follows
its log as it is written; ours is the peer road alone, from its first line ("Try to get install
files via p2p mechanism ...") to the last "[P2P] P2p download and hash verification of ...
succeeded" (the log's own time stamps have whole seconds only). The tool is one curl process
fetching the same files from the peer's /p2p/<hash> into a folder on the same file system,
followed by one `openssl dgst -sha256` of all of them, timed inside the client's namespace. Each
round runs both, which goes first alternating, and the figure is the median of the per-round
ratios tool / ours with their minimum and maximum.

The relay road (mechanism [3]) is measured in a network of its own: the agent handler and nginx
on the loopback of a relay's namespace (tests/fixtures/relay_agent.py, which forwards to them and
to the peer), so that the installer reaches them only through the relay; four more relays answer
a little later, so discovery ends at the fifth answer. The peer holds the same files, which
the relay road's peer step fetches through the relay. Per round, curl fetches the same files
through the same relay (`curl -x`) and the installer runs once, in alternating order; the figure
is the median of the per-round ratios curl / ours, ours being the time from the peer road's
first line to its last verified file. Discovery itself is timed from the "[3]"
heading to the first "[Relay] Trying" line, with five relays and, once, with a single relay
(both passes then wait for their 5 s time-out).

usage: bench/run_p2p_bench.py [-b BUILD_DIR] [-r ROUNDS] [-n FILES] [-k FILE_SIZE_KIB] [--only peers|relay]
"""
import argparse
import hashlib
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
FIXTURES = os.path.join(SOURCE, "tests", "fixtures")
sys.path.insert(0, FIXTURES)
sys.path.insert(0, os.path.join(SOURCE, "tests"))
import certs  # noqa: E402
import netns  # noqa: E402
import packages  # noqa: E402
from fixtures.installer import coninfo_document  # noqa: E402
from log_follower import LogFollower  # noqa: E402

PYTHON = os.environ.get("QSW_PYTHON", "/usr/bin/python3")
TOKEN = "0123456789abcdef0123456789abcdef01234567"
FIRST = "Try to get install files via p2p mechanism with the selected top level - 0 - mechanism"
VERIFIED = "[P2P] P2p download and hash verification of "
RELAY_HEADING = ("[3] Top level mechanism - Relay - Config files from Agent handlers via Relay mechanism - "
                 "Install files via p2p then Relay")
RELAY_TRYING = "[Relay] Trying to download via Relay IP "
ROAD_START = "Try to get install files via p2p mechanism with the selected top level - "


def start_fixture(member, script, args):
    process = member.popen([PYTHON, os.path.join(FIXTURES, script)] + list(args), stdin=subprocess.PIPE,
                           stdout=subprocess.PIPE, text=True)
    line = process.stdout.readline()
    if not line.startswith("READY "):
        sys.exit("%s did not start: %r" % (script, line))
    return json.loads(line[len("READY "):])


class LogWatcher:
    """Follows a log file as it grows and notes when lines of interest appear: the first line
    equal to `start` (or, with `relay`, the relay heading, the first relay try and the first
    discovery after it), and every verified file after that."""

    def __init__(self, path, count, relay=False):
        self.path, self.count, self.relay = path, count, relay
        self.first = self.last = None
        self.heading = self.trying = None
        self.verified = 0
        self._follower = LogFollower(path, self._note)

    def _note(self, message, now):
        if self.relay:
            if message == RELAY_HEADING and self.heading is None:
                self.heading = now
            elif message.startswith(RELAY_TRYING) and self.trying is None:
                self.trying = now
            elif message.startswith(ROAD_START) and self.trying is not None and self.first is None:
                self.first = now
        elif message == FIRST and self.first is None:
            self.first = now
        if self.first is not None and message.startswith(VERIFIED) and message.endswith(" succeeded"):
            self.verified += 1
            self.last = now

    def stop(self):
        self._follower.stop()


def prove_own_namespace(member):
    """Fail closed: the installer broadcasts, so it runs only in a namespace the harness made."""
    probe = member.run(["readlink", "/proc/self/ns/net"], capture_output=True, text=True)
    made = "net:[%d]" % os.stat(os.path.join("/run/netns", member.name)).st_ino
    if probe.returncode != 0 or probe.stdout.strip() != made or made == os.readlink("/proc/self/ns/net"):
        sys.exit("%s is not a network namespace of its own: the installer is not started" % member.name)


def run_installer(installer, member, root, relay=False, count=11):
    prove_own_namespace(member)
    tmp = os.path.join(root, "tmp")
    os.makedirs(tmp, mode=0o700)
    os.makedirs(os.path.join(root, "locks"), mode=0o700)
    env = dict(os.environ, TMPDIR=tmp, QSW_REGISTRY_ROOT=os.path.join(root, "registry"),
               QSW_LOCK_DIR=os.path.join(root, "locks"),
               QSW_AGENT_DATA=os.path.join(root, "agent-data"), QSW_VESINST_RECORD=os.path.join(root, "args.txt"),
               LC_ALL="C.UTF-8")
    watcher = LogWatcher(os.path.join(tmp, "HolvenLogs", "HolvenSwiftset.log"), count, relay)
    deadline = time.monotonic() + 300
    while True:   # the single-instance lock is machine-wide
        done = subprocess.run(member.exec_args([installer, "-s"]), env=env, stdin=subprocess.DEVNULL,
                              capture_output=True, text=True)
        if "Another instance might be running" not in done.stdout or time.monotonic() > deadline:
            break
        time.sleep(1)
    time.sleep(0.05)
    watcher.stop()
    if watcher.first is None or watcher.verified != count:
        sys.exit("the installer did not fetch the %d files from the peer (%d verified); log in %s"
                 % (count, watcher.verified, tmp))
    return watcher


def curl_sum(member, urls, proxy=None):
    total = 0.0
    via = ["-x", proxy] if proxy else []
    for url in urls:
        done = member.run(["curl", "-s", "-o", "/dev/null", "-w", "%{http_code} %{time_total}"] + via + [url],
                          capture_output=True, text=True)
        code, seconds = done.stdout.split()
        if code != "200":
            sys.exit("curl got %s for %s" % (code, url))
        total += float(seconds)
    return total


def make_files(work, count, size_kib):
    """Vesinst.exe and `count` data files of `size_kib` KiB, also written into the peer's cache
    folder."""
    files = packages.install_files({"agent.dat": os.urandom(size_kib << 10)})
    for i in range(count - 1):
        files["part%04d.bin" % i] = os.urandom(size_kib << 10)
    return files, packages.peer_cache(os.path.join(work, "cache"), files)


def start_servers(member, work, files, program, stamp):
    """nginx and the agent handler on the loopback of `member`; the stamped installer naming them."""
    repository = os.path.join(work, "repository")
    os.mkdir(repository)
    nginx = start_fixture(member, "nginx_server.py", ["--root", repository])
    config_zip, _ = packages.build(os.path.join(work, "packages"),
                                   [packages.http_site("repo", ip="127.0.0.1:%d" % nginx["port"])], files=files)
    handler = start_fixture(member, "agent_handler.py", ["--package", config_zip, "--token", TOKEN,
                                                         "--listen", "127.0.0.1", "--certs",
                                                         os.path.join(work, "certs")])
    document = os.path.join(work, "coninfo.xml")
    with open(document, "w") as f:
        f.write(coninfo_document(host="localhost", ip="127.0.0.1", netbios="localhost", port=handler["port"],
                                 token=TOKEN, certificates=[certs.der_base64(handler["ca"])]))
    installer = os.path.join(work, "QuentaSwiftset")
    subprocess.run([stamp, program, document, installer], check=True, capture_output=True)
    return installer


def start_drained(member, args, what):
    """A fixture whose first line is "ready ..." and whose further output is read and dropped."""
    process = member.popen([PYTHON, os.path.join(FIXTURES, args[0])] + args[1:], stdout=subprocess.PIPE, text=True)
    ready = process.stdout.readline().split()
    if not ready or ready[0] != "ready":
        sys.exit(what + " did not start")
    subprocess.Popen(["cat"], stdin=process.stdout, stdout=subprocess.DEVNULL)
    return ready


def peer_urls(peer, port, files):
    return ["http://%s:%s/p2p/%s" % (peer.ipv4, port, hashlib.sha256(d).hexdigest()) for d in files.values()]


# One curl process for all the files, then one openssl for their digests, timed in the shell so
# that entering the namespace is not counted.
CURL_AND_DIGESTS = """set -e
rm -rf "$1"; mkdir -p "$1"; cd "$1"
start=$(date +%s%N)
curl -s -f -K "$2"
openssl dgst -sha256 -r f* > /dev/null
end=$(date +%s%N)
echo $((end - start))
"""


def curl_and_digests(member, work, urls):
    """Seconds of one curl process fetching `urls` into a fresh folder and openssl hashing them."""
    config = os.path.join(work, "curl.conf")
    if not os.path.exists(config):
        with open(config, "w") as f:
            for i, url in enumerate(urls):
                f.write('url = "%s"\noutput = "f%05d"\n' % (url, i))
    done = member.run(["sh", "-c", CURL_AND_DIGESTS, "sh", os.path.join(work, "curl-out"), config],
                      capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit("curl and openssl failed: %s" % done.stderr)
    return int(done.stdout.split()[-1]) / 1e9


def load_average():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def ratio_line(what, ratios):
    return "  %-58s %8.2fx (min %.2fx, max %.2fx)" % (what, statistics.median(ratios), min(ratios), max(ratios))


def bench_peers(args, work, program, stamp):
    load_before = load_average()
    with netns.Network(members=2) as net:
        client, peer = net.members
        files, cache = make_files(work, args.files, args.size_kib)
        installer = start_servers(client, work, files, program, stamp)
        ready = start_drained(peer, ["p2p_peer.py", "--folder", cache, "--families", "4", "--web-process", "--quiet"], "the peer")
        urls = peer_urls(peer, ready[1], files)

        curl_and_digests(client, work, urls)   # warm-up: page cache, peer, curl
        ours, tool, ratios = [], [], []
        for n in range(args.rounds):
            root = os.path.join(work, "round%d" % n)
            if n % 2 == 0:
                tool.append(curl_and_digests(client, work, urls))
                watcher = run_installer(installer, client, root, count=len(files))
            else:
                watcher = run_installer(installer, client, root, count=len(files))
                tool.append(curl_and_digests(client, work, urls))
            ours.append(watcher.last - watcher.first)
            ratios.append(tool[-1] / ours[-1])
            shutil.rmtree(root, ignore_errors=True)

    total = sum(len(d) for d in files.values())
    print("%d files of %d KiB and Vesinst.exe from one peer, %.1f MiB in all, %d rounds; %d cores, load %s before, %s after"
          % (args.files, args.size_kib, total / 1048576.0, args.rounds, os.cpu_count(), load_before, load_average()))
    print("  %-58s %8.3f s" % ("peer road: first line to last verified file (median)", statistics.median(ours)))
    print("  %-58s %8.3f s" % ("one curl process, then openssl dgst of each (median)", statistics.median(tool)))
    print(ratio_line("median of per-round ratios (tool / ours)", ratios))
    print("  rounds, ours:   %s" % " ".join("%.3f" % t for t in ours))
    print("  rounds, tool:   %s" % " ".join("%.3f" % t for t in tool))
    print("  rounds, ratios: %s" % " ".join("%.2f" % r for r in ratios))


def bench_relay(args, work, program, stamp):
    # Members: the installer, the relay with the servers on its loopback, the peer, four late relays.
    with netns.Network(members=7) as net:
        client, relay, peer = net.members[:3]
        files, cache = make_files(work, args.files, args.size_kib)
        installer = start_servers(relay, work, files, program, stamp)
        subnet = "%s.0/24" % net.ipv4_subnet
        proxy_port = start_drained(relay, ["relay_agent.py", "--families", "4", "--allow", subnet], "the relay")[1]
        ready = start_drained(peer, ["p2p_peer.py", "--folder", cache, "--families", "4", "--web-process", "--quiet"], "the peer")
        urls = peer_urls(peer, ready[1], files)
        proxy = "http://%s:%s" % (relay.ipv4, proxy_port)

        # One run with the single relay: discovery waits for both time-outs.
        alone = run_installer(installer, client, os.path.join(work, "alone"), relay=True, count=len(files))
        shutil.rmtree(os.path.join(work, "alone"), ignore_errors=True)
        # Four more relays, answering after the first: discovery ends at the fifth answer.
        for late in net.members[3:]:
            start_drained(late, ["relay_agent.py", "--families", "4", "--delay-ms", "20"], "a late relay")

        curl_sum(client, urls, proxy)   # warm-up
        ours, tool, ratios, discovery = [], [], [], []
        for n in range(args.rounds):
            root = os.path.join(work, "relay-round%d" % n)
            # Alternate which goes first, so neither always meets a warmer cache.
            if n % 2 == 0:
                curl_time = curl_sum(client, urls, proxy)
                watcher = run_installer(installer, client, root, relay=True, count=len(files))
            else:
                watcher = run_installer(installer, client, root, relay=True, count=len(files))
                curl_time = curl_sum(client, urls, proxy)
            shutil.rmtree(root, ignore_errors=True)
            ours.append(watcher.last - watcher.first)
            tool.append(curl_time)
            ratios.append(curl_time / ours[-1])
            discovery.append(watcher.trying - watcher.heading)

    total = sum(len(d) for d in files.values())
    print("%d files of %d KiB and Vesinst.exe through a relay, %.1f MiB in all, %d rounds"
          % (args.files, args.size_kib, total / 1048576.0, args.rounds))
    print("  %-58s %8.3f s" % ("mechanism [3]: first discovery to last verified file", statistics.median(ours)))
    print("  %-58s %8.3f s" % ("curl -x relay: the same downloads, one after another", statistics.median(tool)))
    print("  %-58s %8.2fx" % ("median of per-round ratios (curl / ours)", statistics.median(ratios)))
    print("  %-58s %8.3f s" % ("relay discovery, five relays (heading to first try)", statistics.median(discovery)))
    print("  %-58s %8.3f s" % ("relay discovery, one relay (one run)", alone.trying - alone.heading))
    print("  rounds, ours:   %s" % " ".join("%.3f" % t for t in ours))
    print("  rounds, curl:   %s" % " ".join("%.3f" % t for t in tool))
    print("  rounds, ratios: %s" % " ".join("%.2f" % r for r in ratios))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("-b", "--build-dir", default=os.environ.get("QSW_BIN_DIR", os.path.join(SOURCE, "build")))
    parser.add_argument("-r", "--rounds", type=int, default=5)
    parser.add_argument("-n", "--files", type=int, default=10, help="data files besides Vesinst.exe")
    parser.add_argument("-k", "--size-kib", type=int, default=4096)
    parser.add_argument("--only", choices=("peers", "relay"))
    args = parser.parse_args()
    program = os.path.join(args.build_dir, "QuentaSwiftset")
    stamp = os.path.join(args.build_dir, "qsw-stamp")
    if not os.access(program, os.X_OK) or not os.access(stamp, os.X_OK):
        sys.exit("QuentaSwiftset and qsw-stamp are not built in " + args.build_dir)
    reason = netns.unavailable_reason()
    if reason:
        sys.exit("cannot run: " + reason)

    for name, bench in (("peers", bench_peers), ("relay", bench_relay)):
        if args.only and args.only != name:
            continue
        work = tempfile.mkdtemp(prefix="qsw-%s-bench-" % name, dir="/dev/shm" if os.path.isdir("/dev/shm") else None)
        try:
            bench(args, work, program, stamp)
        finally:
            shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
