"""Quillmark against quillmark-simkey over UDP and TCP.

Usage: quillmark_over_network.py QUILLMARK QUILLMARK_SIMKEY PROFILE_DIR

The report and both certificate fetches, with and without a PIN, must give
the same rows over the network as in-process with --simulate and the same
profile. The rows that name the device itself differ by design: its name is
the address, and a network authenticator has no HID version number.

A record made over the network (--record) replays with --simulate to exactly
the report made over the network, device rows included.
"""

import json
import os
import subprocess
import sys
import tempfile

from simkey_process import Checks, SimkeyProcess, free_udp_port

RUN_TIMEOUT_S = 60
PIN = "123456"
# Rows that name the interface rather than the key behind it.
DEVICE_ROWS = ("Device name", "Firmware Version")


def run_quillmark(quillmark, args, pin):
    result = subprocess.run(
        [quillmark, "--report", "--json"] + args,
        input=(pin + "\n") if pin else "",
        capture_output=True,
        text=True,
        timeout=RUN_TIMEOUT_S,
        env=dict(os.environ, QT_QPA_PLATFORM="offscreen"),
    )
    return result.returncode, result.stdout, result.stderr


def rows(report_json):
    pages = json.loads(report_json)["pages"]
    return [
        (page["caption"], row)
        for page in pages
        for row in page["rows"]
        if not (page["caption"] == "Hardware info" and row[0] in DEVICE_ROWS)
    ]


def compare(checks, name, quillmark, simkey, profile, transport, extra, pin):
    simulated = run_quillmark(quillmark, ["--simulate", profile] + extra, pin)
    reply = free_udp_port()
    endpoint = ["--udp", "127.0.0.1:0:%d" % reply] if transport == "udp" else ["--tcp", "0"]
    with SimkeyProcess(simkey, [profile] + endpoint) as server:
        if transport == "udp":
            address = "udp:%s:%d:%d" % server.udp
        else:
            address = "tcp:%s:%d" % server.tcp
        device = address + ",vid=096E,pid=0858"
        network = run_quillmark(quillmark, ["--device", device] + extra, pin)
        status = server.stop()
    label = "%s over %s" % (name, transport)
    checks.check(label + ": exit status", simulated[0] == network[0] == 0,
                 "%d and %d; %s" % (simulated[0], network[0], network[2].strip()))
    checks.check(label + ": same messages", simulated[2] == network[2], network[2].strip())
    if simulated[0] == 0 and network[0] == 0:
        expected, actual = rows(simulated[1]), rows(network[1])
        differing = [pair for pair in zip(expected, actual) if pair[0] != pair[1]]
        checks.check(label + ": same rows", expected == actual,
                     "%d and %d rows, first difference %r" % (
                         len(expected), len(actual), differing[:1]))
        checks.check(label + ": rows were read", len(actual) > 20, "%d rows" % len(actual))
    checks.check(label + ": server exits 0", status == 0, repr(status))


def record_and_replay(checks, quillmark, simkey, profile, transport, folder):
    reply = free_udp_port()
    endpoint = ["--udp", "127.0.0.1:0:%d" % reply] if transport == "udp" else ["--tcp", "0"]
    record = os.path.join(folder, "record-%s.json" % transport)
    with SimkeyProcess(simkey, [profile] + endpoint) as server:
        if transport == "udp":
            address = "udp:%s:%d:%d" % server.udp
        else:
            address = "tcp:%s:%d" % server.tcp
        network = run_quillmark(quillmark, ["--device", address, "--security-key-info",
                                            "--record", record], None)
        server.stop()
    label = "record over %s" % transport
    checks.check(label + ": written", network[0] == 0 and os.path.exists(record),
                 "%d; %s" % (network[0], network[2].strip()))
    if not os.path.exists(record):
        return
    replay = run_quillmark(quillmark, ["--simulate", record, "--security-key-info"], None)
    checks.check(label + ": replays to the same report", replay[1] == network[1],
                 "first differing line %r" % next(
                     (pair for pair in zip(network[1].splitlines(), replay[1].splitlines())
                      if pair[0] != pair[1]), None))
    checks.check(label + ": same exit status and messages",
                 (replay[0], replay[2]) == (network[0], network[2]),
                 "%r and %r" % ((replay[0], replay[2]), (network[0], network[2])))


def main():
    if len(sys.argv) != 4:
        print(__doc__)
        return 2
    quillmark, simkey, profiles = sys.argv[1:]
    no_pin = os.path.join(profiles, "network-no-pin.json")
    with_pin = os.path.join(profiles, "network-pin.json")
    checks = Checks()
    for transport in ("udp", "tcp"):
        compare(checks, "report", quillmark, simkey, no_pin, transport, [], None)
        compare(checks, "report with PIN", quillmark, simkey, with_pin, transport,
                ["--security-key-info"], None)
        compare(checks, "FIDO2 fetch", quillmark, simkey, no_pin, transport,
                ["--fetch", "fido2"], None)
        compare(checks, "FIDO2 fetch with PIN", quillmark, simkey, with_pin, transport,
                ["--fetch", "fido2", "--pin-stdin"], PIN)
        compare(checks, "U2F fetch", quillmark, simkey, no_pin, transport, ["--fetch", "u2f"], None)
        compare(checks, "U2F fetch with PIN", quillmark, simkey, with_pin, transport,
                ["--fetch", "u2f"], None)
    with tempfile.TemporaryDirectory() as folder:
        for transport in ("udp", "tcp"):
            record_and_replay(checks, quillmark, simkey, with_pin, transport, folder)
    return checks.exit_status()


if __name__ == "__main__":
    sys.exit(main())
