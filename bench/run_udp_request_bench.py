#!/usr/bin/env python3
"""Runs udp_request_bench inside a private network: the request in one namespace, a peer
(tests/fixtures/udp_responder.py) in another. Needs root and ip netns; prints figures only.

usage: bench/run_udp_request_bench.py [-b BUILD_DIR] [-n RUNS]
"""
import argparse
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(SOURCE, "tests", "fixtures"))
import netns  # noqa: E402

PORT = 18082


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("-b", "--build-dir", default=os.environ.get("QSW_BIN_DIR", os.path.join(SOURCE, "build")))
    parser.add_argument("-n", "--runs", type=int, default=50)
    args = parser.parse_args()
    program = os.path.join(args.build_dir, "bench", "udp_request_bench")
    if not os.access(program, os.X_OK):
        sys.exit(f"{program} is not built")
    reason = netns.unavailable_reason()
    if reason:
        sys.exit(f"cannot run: {reason}")
    python = os.environ.get("QSW_PYTHON", "/usr/bin/python3")
    with netns.Network(members=2) as net:
        client, peer = net.members
        responder = peer.popen([python, os.path.join(SOURCE, "tests", "fixtures", "udp_responder.py"),
                                "--port", PORT, "--mode", "reply"],
                               stdout=subprocess.PIPE, text=True)
        if responder.stdout.readline().strip() != "ready":
            sys.exit("the peer did not start")
        # The peer's "received" lines are not needed: let them go.
        subprocess.Popen(["cat"], stdin=responder.stdout, stdout=subprocess.DEVNULL)
        done = client.run([program, client.name, PORT, args.runs])
        return done.returncode


if __name__ == "__main__":
    sys.exit(main())
