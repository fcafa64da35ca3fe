#!/usr/bin/env python3
"""Mechanism [0] against raw HTTP downloads of the same files, in one run, inside a private
network: the installer, the agent handler and nginx in one namespace, a test peer holding ten
install files in another (tests/fixtures/netns.py). Needs root and ip netns; prints figures only.

For each round the installer runs once (fresh temporary folder and registry) while a watcher
follows its log as it is written; the figure is the time from the line "[0] Top level mechanism"
to the last "[P2P] P2p download and hash verification of ... succeeded" (the log's own time
stamps have whole seconds only). In the same round curl fetches the ten files from the peer's
/p2p/<hash> one after the other; the figure is the sum of curl's total times. The ratio is
curl's sum / ours: 1.00x would mean that discovery, configuration download and verification
cost nothing.

usage: bench/run_p2p_bench.py [-b BUILD_DIR] [-r ROUNDS] [-s FILE_SIZE_MIB]
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
import threading
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

PYTHON = os.environ.get("QSW_PYTHON", "/usr/bin/python3")
TOKEN = "0123456789abcdef0123456789abcdef01234567"
FIRST = "[0] Top level mechanism - p2p - Config files from Agent handlers directly - Install files via p2p only"
VERIFIED = "[P2P] P2p download and hash verification of "


def start_fixture(member, script, args):
    process = member.popen([PYTHON, os.path.join(FIXTURES, script)] + list(args), stdin=subprocess.PIPE,
                           stdout=subprocess.PIPE, text=True)
    line = process.stdout.readline()
    if not line.startswith("READY "):
        sys.exit("%s did not start: %r" % (script, line))
    return json.loads(line[len("READY "):])


class LogWatcher:
    """Follows a log file as it grows and notes when lines of interest appear."""

    def __init__(self, path, count):
        self.path, self.count = path, count
        self.first = self.last = None
        self.verified = 0
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()

    def _run(self):
        offset, pending = 0, ""
        while not self._stop.is_set():
            try:
                with open(self.path, encoding="utf-8", errors="replace") as f:
                    f.seek(offset)
                    chunk = f.read()
                    offset = f.tell()
            except FileNotFoundError:
                chunk = ""
            now = time.monotonic()
            if not chunk:
                time.sleep(0.0005)
                continue
            pending += chunk
            *lines, pending = pending.split("\n")
            for line in lines:
                message = line.split("\t", 2)[-1]
                if message == FIRST and self.first is None:
                    self.first = now
                elif message.startswith(VERIFIED) and message.endswith(" succeeded"):
                    self.verified += 1
                    self.last = now

    def stop(self):
        self._stop.set()
        self._thread.join()


def run_installer(installer, member, root):
    tmp = os.path.join(root, "tmp")
    os.makedirs(tmp, mode=0o700)
    os.makedirs(os.path.join(root, "locks"), mode=0o700)
    env = dict(os.environ, TMPDIR=tmp, QSW_REGISTRY_ROOT=os.path.join(root, "registry"),
               QSW_LOCK_DIR=os.path.join(root, "locks"),
               QSW_AGENT_DATA=os.path.join(root, "agent-data"), QSW_VESINST_RECORD=os.path.join(root, "args.txt"),
               LC_ALL="C.UTF-8")
    watcher = LogWatcher(os.path.join(tmp, "HolvenLogs", "HolvenSwiftset.log"), 10)
    deadline = time.monotonic() + 300
    while True:   # the single-instance lock is machine-wide
        done = subprocess.run(member.exec_args([installer, "-s"]), env=env, stdin=subprocess.DEVNULL,
                              capture_output=True, text=True)
        if "Another instance might be running" not in done.stdout or time.monotonic() > deadline:
            break
        time.sleep(1)
    time.sleep(0.05)
    watcher.stop()
    if watcher.first is None or watcher.verified != 10:
        sys.exit("the installer did not fetch the ten files from the peer (%d verified); log in %s"
                 % (watcher.verified, tmp))
    return watcher.last - watcher.first


def curl_sum(member, urls):
    total = 0.0
    for url in urls:
        done = member.run(["curl", "-s", "-o", "/dev/null", "-w", "%{http_code} %{time_total}", url],
                          capture_output=True, text=True)
        code, seconds = done.stdout.split()
        if code != "200":
            sys.exit("curl got %s for %s" % (code, url))
        total += float(seconds)
    return total


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("-b", "--build-dir", default=os.environ.get("QSW_BIN_DIR", os.path.join(SOURCE, "build")))
    parser.add_argument("-r", "--rounds", type=int, default=5)
    parser.add_argument("-s", "--size-mib", type=int, default=8)
    args = parser.parse_args()
    program = os.path.join(args.build_dir, "QuentaSwiftset")
    stamp = os.path.join(args.build_dir, "qsw-stamp")
    if not os.access(program, os.X_OK) or not os.access(stamp, os.X_OK):
        sys.exit("QuentaSwiftset and qsw-stamp are not built in " + args.build_dir)
    reason = netns.unavailable_reason()
    if reason:
        sys.exit("cannot run: " + reason)

    work = tempfile.mkdtemp(prefix="qsw-p2p-bench-", dir="/dev/shm" if os.path.isdir("/dev/shm") else None)
    try:
        with netns.Network(members=2) as net:
            client, peer = net.members
            files = packages.install_files({"agent.dat": os.urandom(args.size_mib << 20)})
            for i in range(8):
                files["part%d.bin" % i] = os.urandom(args.size_mib << 20)
            cache = os.path.join(work, "cache")
            os.mkdir(cache)
            for name, data in files.items():
                with open(os.path.join(cache, name), "wb") as f:
                    f.write(data)
            repository = os.path.join(work, "repository")
            os.mkdir(repository)
            nginx = start_fixture(client, "nginx_server.py", ["--root", repository])
            config_zip, _ = packages.build(os.path.join(work, "packages"),
                                           [packages.http_site("repo", ip="127.0.0.1:%d" % nginx["port"])], files=files)
            handler = start_fixture(client, "agent_handler.py", ["--package", config_zip, "--token", TOKEN,
                                                                 "--listen", "127.0.0.1", "--certs",
                                                                 os.path.join(work, "certs")])
            document = os.path.join(work, "coninfo.xml")
            with open(document, "w") as f:
                f.write(coninfo_document(host="localhost", ip="127.0.0.1", netbios="localhost", port=handler["port"],
                                         token=TOKEN, certificates=[certs.der_base64(handler["ca"])]))
            installer = os.path.join(work, "QuentaSwiftset")
            subprocess.run([stamp, program, document, installer], check=True, capture_output=True)

            served = peer.popen([PYTHON, os.path.join(FIXTURES, "p2p_peer.py"), "--folder", cache, "--families", "4"],
                                stdout=subprocess.PIPE, text=True)
            ready = served.stdout.readline().split()
            if not ready or ready[0] != "ready":
                sys.exit("the peer did not start")
            subprocess.Popen(["cat"], stdin=served.stdout, stdout=subprocess.DEVNULL)
            urls = ["http://%s:%s/p2p/%s" % (peer.ipv4, ready[1], hashlib.sha256(d).hexdigest()) for d in files.values()]

            curl_sum(client, urls)   # warm-up: page cache, peer, curl
            ours, tool = [], []
            for n in range(args.rounds):
                tool.append(curl_sum(client, urls))
                ours.append(run_installer(installer, client, os.path.join(work, "round%d" % n)))
                shutil.rmtree(os.path.join(work, "round%d" % n), ignore_errors=True)
    finally:
        shutil.rmtree(work, ignore_errors=True)

    total = sum(len(d) for d in files.values())
    ours_median, tool_median = statistics.median(ours), statistics.median(tool)
    print("ten files from one peer, %.1f MiB in all, %d rounds (medians)" % (total / 1048576.0, args.rounds))
    print("  %-58s %8.3f s" % ("mechanism [0]: start to last verified file", ours_median))
    print("  %-58s %8.3f s" % ("curl: the ten /p2p/<hash> downloads, one after another", tool_median))
    print("  %-58s %8.2fx" % ("ratio (curl / ours)", tool_median / ours_median))
    print("  rounds, ours: %s" % " ".join("%.3f" % t for t in ours))
    print("  rounds, curl: %s" % " ".join("%.3f" % t for t in tool))
    return 0


if __name__ == "__main__":
    sys.exit(main())
