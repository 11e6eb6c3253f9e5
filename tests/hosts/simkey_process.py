"""Starts and stops one quillmark-simkey for a test of another FIDO host.

Every test starts its own server on ports the system hands out, so tests
running side by side never share one. Every wait has a time-out.
"""

import os
import re
import select
import signal
import socket
import subprocess
import sys
import time

SKIP = 77  # ctest's SKIP_RETURN_CODE for the host tests
START_TIMEOUT_S = 10
STOP_TIMEOUT_S = 5


def free_udp_port():
    """A UDP port on 127.0.0.1 that nobody had bound a moment ago."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class SimkeyProcess:
    """quillmark-simkey ARGS, with the addresses its first line names."""

    def __init__(self, binary, args):
        self.process = subprocess.Popen(
            [binary] + list(args),
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
            text=True,
        )
        ready, _, _ = select.select([self.process.stdout], [], [], START_TIMEOUT_S)
        if not ready:
            self.process.kill()
            raise RuntimeError("quillmark-simkey printed nothing within %d s" % START_TIMEOUT_S)
        self.line = self.process.stdout.readline().strip()
        if not self.line:
            self.process.wait(STOP_TIMEOUT_S)
            raise RuntimeError("quillmark-simkey did not start: " + self.process.stderr.read())
        self.udp = None
        self.tcp = None
        match = re.search(r"udp:(\S+):(\d+):(\d+)", self.line)
        if match:
            self.udp = (match.group(1), int(match.group(2)), int(match.group(3)))
        match = re.search(r"tcp:(\S+):(\d+)", self.line)
        if match:
            self.tcp = (match.group(1), int(match.group(2)))

    def stop(self):
        """SIGTERM; answers the exit status (None when it had to be killed)."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        try:
            return self.process.wait(STOP_TIMEOUT_S)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait(STOP_TIMEOUT_S)
            return None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


def start_udp(binary, profile=None, attempts=5):
    """A server on a free UDP port replying to a free port: (process, reply port).

    The reply port is chosen before the host binds it; if another program
    takes it in between, the caller's bind fails and it asks again.
    """
    args = [profile] if profile else []
    reply = free_udp_port()
    return SimkeyProcess(binary, args + ["--udp", "127.0.0.1:0:%d" % reply]), reply


class Checks:
    """Collects failures; prints each check as it runs."""

    def __init__(self):
        self.failures = []

    def check(self, name, condition, detail=""):
        print(("ok    " if condition else "FAIL  ") + name + (": " + detail if detail else ""))
        sys.stdout.flush()
        if not condition:
            self.failures.append(name)

    def exit_status(self):
        if self.failures:
            print("%d check(s) failed: %s" % (len(self.failures), ", ".join(self.failures)))
            return 1
        return 0
