"""Follows the installer's log as it is written and hands each new line, with the time it was
seen, to a callback, for the benchmarks that time the installer by its own log lines.

The follower sleeps in inotify until the file changes, so it takes a core only while lines come
(and then wakes at most once a millisecond):
a follower that polled every half millisecond took a fair share of one of the two cores from an
installer that needs both while it extracts, and so from our side of every comparison. Until the
file exists it looks every 2 ms (the log is opened long before any line a benchmark times)."""

import ctypes
import os
import select
import threading
import time

IN_MODIFY = 0x00000002
IN_NONBLOCK = 0o4000
IN_CLOEXEC = 0o2000000

_libc = ctypes.CDLL(None, use_errno=True)


class LogFollower(threading.Thread):
    """on_line(message, seen) for every complete line; `message` is the text after the log's
    date and severity fields."""

    def __init__(self, path, on_line):
        super().__init__(daemon=True)
        self.path, self.on_line = path, on_line
        self._halt = threading.Event()
        self.start()

    def run(self):
        while not os.path.exists(self.path):
            if self._halt.is_set():
                return
            time.sleep(0.002)
        fd = _libc.inotify_init1(IN_NONBLOCK | IN_CLOEXEC)
        if fd < 0:
            raise OSError(ctypes.get_errno(), "inotify_init1")
        try:
            if _libc.inotify_add_watch(fd, os.fsencode(self.path), IN_MODIFY) < 0:
                raise OSError(ctypes.get_errno(), "inotify_add_watch")
            with open(self.path, encoding="utf-8", errors="replace") as log:
                self._follow(fd, log)
        finally:
            os.close(fd)

    def _follow(self, fd, log):
        pending = ""
        while True:
            # Read before waiting: lines written before the watch was set are not missed.
            chunk = log.read()
            now = time.monotonic()
            if chunk:
                pending += chunk
                *lines, pending = pending.split("\n")
                for line in lines:
                    self.on_line(line.split("\t", 2)[-1], now)
            if self._halt.is_set():
                return
            if chunk:
                # At most a thousand wake-ups a second: a road of a thousand files writes ten
                # thousand lines, and waking for each took more from the installer than polling.
                # A line is then stamped at most a millisecond late.
                time.sleep(0.001)
            ready, _, _ = select.select([fd], [], [], 0.05)
            if ready:
                try:
                    os.read(fd, 65536)   # the events only wake us; what changed is read above
                except BlockingIOError:
                    pass

    def stop(self):
        """Reads what is left, then ends."""
        self._halt.set()
        self.join()
