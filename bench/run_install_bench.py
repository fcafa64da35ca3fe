#!/usr/bin/env python3
"""Mechanism [1] end to end against the shell pipeline that does the same work, in one run,
inside a private network namespace (tests/fixtures/netns.py): nginx serving FrameworkInstall.zip
and the HTTPS agent handler on the namespace's loopback, the installer beside them. Needs root
and ip netns; prints figures only.

The install package holds Vesinst.exe and one data file of SIZE MiB (default 200; text-like
data that deflates to about three quarters, or with -d random incompressible bytes). With no peer on the network mechanism [0] fails
first (its lookup waits out its 2 s); ours is then the time from the "[1] Top level mechanism"
line to "[Install] Final status:" (the configuration package over TLS, the install package, its
extraction, the check of every file and the agent installer's run), taken from the log as it is
written. The tool is the pipeline `curl -o` of the package, `bsdtar -xf`, `openssl dgst -sha256`
of every extracted file and the same Vesinst.exe with the same arguments, timed inside the
namespace. Each round runs both, which goes first alternating; the figure is the median of the
per-round ratios ours / tool with their minimum and maximum (below 1.00x: ours is faster), and
the installer's peak resident size. With bench/qsw_bench built, each round also times our hashed
extraction of the package already on disk: over the pipeline's time, the floor of that ratio.

usage: bench/run_install_bench.py [-b BUILD_DIR] [-r ROUNDS] [-s SIZE_MIB] [-d text|random] [--rate BYTES_PER_S]
"""
import argparse
import base64
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import run_p2p_bench as common  # noqa: E402
from run_p2p_bench import certs, netns, packages, coninfo_document  # noqa: E402
from log_follower import LogFollower  # noqa: E402

START = "[1] Top level mechanism - Agent handlers - Config files from Agent handlers directly - Install files via direct only"
END = "[Install] Final status:"
VESINST_ARGS = ["/Install=Agent", "/Silent", "/VesPkg", "/EnforceEvents", "/TenantID=bench",
                "/AgentGUID={0c0ffee0-0000-4000-8000-000000000001}"]


class LineWatcher:
    """Notes when a line starting with each of `prefixes` first appears in a growing log."""

    def __init__(self, path, prefixes):
        self.prefixes, self.seen = prefixes, {}
        self._follower = LogFollower(path, self._note)

    def _note(self, message, now):
        for prefix in self.prefixes:
            if message.startswith(prefix) and prefix not in self.seen:
                self.seen[prefix] = now

    def stop(self):
        self._follower.stop()


def make_data(size_mib, kind):
    """Text-like data (base64 of random bytes, which deflates to about three quarters), or random
    bytes (stored as they are inside the deflate stream: the extraction then costs little)."""
    if kind == "random":
        return os.urandom(size_mib << 20)
    return base64.b64encode(os.urandom((size_mib << 20) * 3 // 4 + 3))[:size_mib << 20]


def make_package(work, size_mib, kind, nginx_port, rate):
    data = make_data(size_mib, kind)
    files = packages.install_files({"agent.dat": data})
    # nginx sends what is below /slow/ at the given rate, from the same folder.
    relative_path = ("slow/" if rate else "") + packages.RELATIVE_PATH
    site = packages.http_site("repo", ip="127.0.0.1:%d" % nginx_port, relative_path=relative_path)
    config, install = packages.build(os.path.join(work, "packages"), [site], files=files)
    repository = os.path.join(work, "repository")
    package = packages.publish(repository, install)
    url = "http://127.0.0.1:%d/%s%s/FrameworkInstall.zip" % (nginx_port, relative_path, packages.LOCATION)
    return config, url, package


def start_servers(member, work, size_mib, kind, program, stamp, rate):
    repository = os.path.join(work, "repository")
    os.makedirs(repository)
    nginx = common.start_fixture(member, "nginx_server.py", ["--root", repository, "--slow-rate", rate or "1m"])
    config, url, package = make_package(work, size_mib, kind, nginx["port"], rate)
    handler = common.start_fixture(member, "agent_handler.py", ["--package", config, "--token", common.TOKEN,
                                                                "--listen", "127.0.0.1", "--certs",
                                                                os.path.join(work, "certs")])
    document = os.path.join(work, "coninfo.xml")
    with open(document, "w") as f:
        f.write(coninfo_document(host="localhost", ip="127.0.0.1", netbios="localhost", port=handler["port"],
                                 token=common.TOKEN, certificates=[certs.der_base64(handler["ca"])]))
    installer = os.path.join(work, "QuentaSwiftset")
    subprocess.run([stamp, program, document, installer], check=True, capture_output=True)
    return installer, url, package


def run_extraction_alone(driver, package, root):
    """Our hashed extraction of the package already on disk: the part of our run that no overlap
    with the download can shorten on loopback, so the ratio the end-to-end figure cannot go below."""
    os.makedirs(root)
    start = time.monotonic()
    subprocess.run([driver, "extract-install", package, root], check=True, capture_output=True)
    return time.monotonic() - start


def run_ours(installer, member, root):
    common.prove_own_namespace(member)
    tmp = os.path.join(root, "tmp")
    os.makedirs(tmp, mode=0o700)
    os.makedirs(os.path.join(root, "locks"), mode=0o700)
    env = dict(os.environ, TMPDIR=tmp, QSW_REGISTRY_ROOT=os.path.join(root, "registry"),
               QSW_LOCK_DIR=os.path.join(root, "locks"), QSW_AGENT_DATA=os.path.join(root, "agent-data"),
               LC_ALL="C.UTF-8")
    watcher = LineWatcher(os.path.join(tmp, "HolvenLogs", "HolvenSwiftset.log"), [START, END])
    rss_file = os.path.join(root, "rss")
    subprocess.run(member.exec_args(["/usr/bin/time", "-f", "%M", "-o", rss_file, installer, "-s"]), env=env,
                   stdin=subprocess.DEVNULL, capture_output=True, text=True)
    time.sleep(0.05)
    watcher.stop()
    if START not in watcher.seen or END not in watcher.seen:
        sys.exit("the installer did not install through mechanism [1]; log in %s" % tmp)
    with open(rss_file) as f:
        rss_kib = int(f.read().split()[-1])
    return watcher.seen[END] - watcher.seen[START], rss_kib


PIPELINE = """set -e
root=$1 url=$2; shift 2
rm -rf "$root"; mkdir -p "$root/out"
start=$(date +%s%N)
curl -s -f -o "$root/FrameworkInstall.zip" "$url"
bsdtar -xf "$root/FrameworkInstall.zip" -C "$root/out"
openssl dgst -sha256 -r "$root"/out/* > /dev/null
(cd "$root/out" && QSW_REGISTRY_ROOT="$root/registry" QSW_AGENT_DATA="$root/agent-data" ./Vesinst.exe "$@")
end=$(date +%s%N)
echo $((end - start))
"""


def touch_memory(folder, mib):
    """Writes and drops `mib` MiB in `folder`. On a virtual machine a page the guest has not
    used lately (first use since boot, or handed back to the host) costs the host's allocation
    as well: a side that wrote into more memory than had just been freed paid for it (the
    download of the side that ran second took three times as long), and which side did
    depended on the order."""
    path = os.path.join(folder, "touch")
    block = bytes(1 << 20)
    with open(path, "wb") as f:
        for _ in range(mib):
            f.write(block)
    os.remove(path)


def run_pipeline(member, root, url):
    done = member.run(["sh", "-c", PIPELINE, "sh", root, url] + VESINST_ARGS, capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit("the shell pipeline failed: %s" % done.stderr)
    return int(done.stdout.split()[-1]) / 1e9


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("-b", "--build-dir", default=os.environ.get("QSW_BIN_DIR", os.path.join(common.SOURCE, "build")))
    parser.add_argument("-r", "--rounds", type=int, default=5)
    parser.add_argument("-s", "--size-mib", type=int, default=200)
    parser.add_argument("-d", "--data", choices=("text", "random"), default="text")
    parser.add_argument("--rate", help="bytes per second the repository sends (nginx's form: 125m is a "
                                       "gigabit link); unlimited by default")
    args = parser.parse_args()
    program = os.path.join(args.build_dir, "QuentaSwiftset")
    driver = os.path.join(args.build_dir, "bench", "qsw_bench")
    if args.rate or not os.access(driver, os.X_OK):
        driver = None   # no floor line: at a link's rate the download is the floor
    stamp = os.path.join(args.build_dir, "qsw-stamp")
    if not os.access(program, os.X_OK) or not os.access(stamp, os.X_OK):
        sys.exit("QuentaSwiftset and qsw-stamp are not built in " + args.build_dir)
    for tool in ("curl", "bsdtar", "openssl", "/usr/bin/time"):
        if not shutil.which(tool):
            sys.exit("missing %s (scripts/install-deps.sh installs it)" % tool)
    reason = netns.unavailable_reason()
    if reason:
        sys.exit("cannot run: " + reason)

    work = tempfile.mkdtemp(prefix="qsw-install-bench-", dir="/dev/shm" if os.path.isdir("/dev/shm") else None)
    load_before = common.load_average()
    try:
        with netns.Network(members=1) as net:
            client = net.members[0]
            installer, url, package = start_servers(client, work, args.size_mib, args.data, program, stamp,
                                                    args.rate)
            touch_memory(work, 10 * args.size_mib)
            run_pipeline(client, os.path.join(work, "warm"), url)   # warm-up: page cache, servers
            ours, tool, ratios, rss, alone, floors = [], [], [], [], [], []
            for n in range(args.rounds):
                root = os.path.join(work, "round%d" % n)
                # Each side's files go as soon as it has run, so that both write into memory
                # the machine has just freed (see touch_memory).
                for side in ("tool", "ours") if n % 2 == 0 else ("ours", "tool"):
                    if side == "tool":
                        tool.append(run_pipeline(client, root + "-tool", url))
                        shutil.rmtree(root + "-tool", ignore_errors=True)
                    else:
                        seconds, kib = run_ours(installer, client, root)
                        ours.append(seconds)
                        rss.append(kib)
                        shutil.rmtree(root, ignore_errors=True)
                ratios.append(ours[-1] / tool[-1])
                if driver:
                    alone.append(run_extraction_alone(driver, package, root + "-alone"))
                    shutil.rmtree(root + "-alone", ignore_errors=True)
                    floors.append(alone[-1] / tool[-1])
    finally:
        shutil.rmtree(work, ignore_errors=True)

    print("mechanism [1], an install package of %d MiB of %s data%s, %d rounds; %d cores, load %s before, %s after"
          % (args.size_mib, args.data, ", sent at %s B/s" % args.rate if args.rate else "", args.rounds,
             os.cpu_count(), load_before, common.load_average()))
    print("  %-58s %8.3f s" % ("ours: [1] heading to the agent installer's end (median)", statistics.median(ours)))
    print("  %-58s %8.3f s" % ("curl -o, bsdtar -xf, openssl dgst, Vesinst.exe (median)", statistics.median(tool)))
    print("  %-58s %8.2fx (min %.2fx, max %.2fx)" % ("median of per-round ratios ours / pipeline",
                                                      statistics.median(ratios), min(ratios), max(ratios)))
    if alone:
        print("  %-58s %8.3f s" % ("our hashed extraction alone, package on disk (median)",
                                   statistics.median(alone)))
        print("  %-58s %8.2fx (min %.2fx, max %.2fx)" % ("  the same / pipeline: the floor of the ratio above",
                                                          statistics.median(floors), min(floors), max(floors)))
    print("  %-58s %8.1f MiB" % ("installer's peak resident size (largest of the rounds)", max(rss) / 1024.0))
    print("  rounds, ours:   %s" % " ".join("%.3f" % t for t in ours))
    print("  rounds, tool:   %s" % " ".join("%.3f" % t for t in tool))
    print("  rounds, ratios: %s" % " ".join("%.2f" % r for r in ratios))
    return 0


if __name__ == "__main__":
    sys.exit(main())
