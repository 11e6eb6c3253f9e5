"""The window following simkey's card on a private pcscd that starts after it.

Usage: quillmark_window_over_pcsc.py CARD_WINDOW_LIVE QUILLMARK_SIMKEY PROFILE_DIR

card_window_live opens the window with no pcscd running and says when the
daemon is to start or stop; this script does so and reports what it saw.
"""

import os
import select
import subprocess
import sys
import tempfile
import time

from quillmark_over_pcsc import READERS, PrivatePcscd, missing_tools
from simkey_process import SKIP

RUN_TIMEOUT_S = 120


def main():
    if len(sys.argv) != 4:
        print(__doc__)
        return 2
    program, simkey, profiles = sys.argv[1:]
    problem = missing_tools()
    if problem:
        print("skipped: " + problem)
        return SKIP
    with tempfile.TemporaryDirectory() as folder:
        pcscd = PrivatePcscd(folder, start=False)
        try:
            return follow(pcscd, program, simkey, os.path.join(profiles, "network-no-pin.json"))
        finally:
            pcscd.stop()


def follow(pcscd, program, simkey, profile):
    window = subprocess.Popen(
        [program, simkey, profile, str(pcscd.ports[0]), READERS[0] + " 00 00"],
        stdout=subprocess.PIPE, text=True, env=pcscd.env)
    deadline = time.monotonic() + RUN_TIMEOUT_S
    while time.monotonic() < deadline:
        ready, _, _ = select.select([window.stdout], [], [], deadline - time.monotonic())
        if not ready:
            break
        line = window.stdout.readline().strip()
        if not line:
            break
        print("window: " + line, flush=True)
        if line == "start pcscd":
            pcscd.start()
        elif line == "stop pcscd":
            pcscd.stop()
    else:
        window.kill()
    status = window.wait(10)
    print("card_window_live exit status %d" % status)
    return 0 if status == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
