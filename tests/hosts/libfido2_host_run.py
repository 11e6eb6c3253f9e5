"""Runs the libfido2 host program against its own quillmark-simkey.

Usage: libfido2_host_run.py QUILLMARK_SIMKEY PROFILE LIBFIDO2_HOST
       libfido2_host_run.py --skip REASON
"""

import subprocess
import sys

from simkey_process import SKIP, Checks, start_udp

PIN = "123456"
RUN_TIMEOUT_S = 60


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--skip":
        print("skipped: " + sys.argv[2])
        return SKIP
    if len(sys.argv) != 4:
        print(__doc__)
        return 2
    simkey, profile, host = sys.argv[1:]
    checks = Checks()
    server, reply = start_udp(simkey, profile)
    with server:
        try:
            result = subprocess.run([host, str(server.udp[1]), str(reply), PIN],
                                    timeout=RUN_TIMEOUT_S)
            checks.check("libfido2 host", result.returncode == 0, "exit %d" % result.returncode)
        except subprocess.TimeoutExpired:
            checks.check("libfido2 host within %d s" % RUN_TIMEOUT_S, False)
        status = server.stop()
    checks.check("server exits 0 on SIGTERM", status == 0, repr(status))
    return checks.exit_status()


if __name__ == "__main__":
    sys.exit(main())
