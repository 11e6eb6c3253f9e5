"""Quillmark against quillmark-simkey's card, through a private pcscd and vpcd.

Usage: quillmark_over_pcsc.py QUILLMARK QUILLMARK_SIMKEY PROFILE_DIR

pcscd runs in a mount namespace of its own: /run/pcscd comes from a
temporary folder and the USB driver folder is hidden, so the readers of the
machine are never touched. Its configuration loads vpcd twice, on ports of
this test's choosing (never vpcd's default), as the readers "Quill Card A"
and "Quill Card B"; simkey connects as the card on A. The client finds the
daemon through PCSCLITE_CSOCK_NAME.
"""

import json
import os
import select
import signal
import shutil
import socket
import subprocess
import sys
import tempfile
import time

from quillmark_over_network import PIN, rows
from simkey_process import SKIP, Checks, SimkeyProcess

VPCD = "/usr/lib/pcsc/drivers/serial/libifdvpcd.so"
RUN_TIMEOUT_S = 60
START_TIMEOUT_S = 10
READERS = ("Quill Card A", "Quill Card B")
# vpcd makes two slots of each reader; simkey is the card in A's first.
CARD_A = "pcsc:Quill Card A 00 00"
# Rows that name the reader or the link rather than the key behind it.
LINK_ROWS = {
    "Hardware info": ("Device name", "VID", "PID", "Firmware Version"),
    "Details": ("CTAPHID protocol", "Device version", "Capabilities", "ATR", "Protocol",
                "Extended APDUs"),
}


def free_port_pair(taken):
    """A port that is free with the one after it: vpcd's two slots use both."""
    while True:
        with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
        if port + 1 > 65535 or {port, port + 1} & taken:
            continue
        try:
            with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
                probe.bind(("0.0.0.0", port + 1))
        except OSError:
            continue
        taken.update({port, port + 1})
        return port


def missing_tools():
    for tool in ("pcscd", "unshare"):
        if shutil.which(tool) is None and not os.path.exists("/usr/sbin/" + tool):
            return tool + " is not installed"
    if not os.path.exists(VPCD):
        return "vsmartcard-vpcd is not installed"
    probe = subprocess.run(unshare_command() + ["true"], capture_output=True, text=True)
    if probe.returncode != 0:
        return "no mount namespace can be made: " + probe.stderr.strip()
    return None


def unshare_command():
    return ["unshare", "-m"] if os.geteuid() == 0 else ["unshare", "-rm"]


class PrivatePcscd:
    """pcscd with two vpcd readers, in its own mount namespace."""

    def __init__(self, folder, start=True):
        self.folder = folder
        taken = set()
        self.ports = [free_port_pair(taken) for _ in READERS]
        run, conf, empty = (os.path.join(folder, name) for name in ("run", "conf", "empty"))
        for path in (run, conf, empty):
            os.makedirs(path)
        for name, port in zip(READERS, self.ports):
            # Loaded from here once the driver folder is hidden; a copy for
            # each reader, since one loaded library would serve both alike.
            driver = os.path.join(folder, "vpcd-%d.so" % port)
            shutil.copy(os.path.realpath(VPCD), driver)
            with open(os.path.join(conf, name.replace(" ", "-")), "w") as out:
                out.write('FRIENDLYNAME "%s"\nDEVICENAME /dev/null:0x%X\nLIBPATH %s\n'
                          'CHANNELID 0x%X\n' % (name, port, driver, port))
        self.script = ("mount --make-rprivate / && mkdir -p /run/pcscd && "
                       "mount --bind %s /run/pcscd && mount --bind %s /usr/lib/pcsc/drivers && "
                       "exec pcscd --foreground --config %s --error" % (run, empty, conf))
        self.socket = os.path.join(run, "pcscd.comm")
        self.env = dict(os.environ, PCSCLITE_CSOCK_NAME=self.socket, QT_QPA_PLATFORM="offscreen")
        self.process = None
        if start:
            self.start()

    def start(self):
        """The daemon, once its socket is there; again after stop()."""
        if os.path.exists(self.socket):
            os.unlink(self.socket)
        self.log = open(os.path.join(self.folder, "pcscd.log"), "a")
        self.process = subprocess.Popen(unshare_command() + ["sh", "-c", self.script],
                                        stdout=self.log, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + START_TIMEOUT_S
        while not os.path.exists(self.socket):
            if self.process.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError("pcscd did not start: " + open(self.log.name).read())
            time.sleep(0.05)

    def card(self, simkey, profile, reader=0):
        """simkey as the card on a reader, once pcscd sees it."""
        args = ([profile] if profile else []) + ["--vpcd", "127.0.0.1:%d" % self.ports[reader]]
        return SimkeyProcess(simkey, args)

    def stop(self):
        if self.process is None or self.process.poll() is not None:
            return
        self.process.terminate()
        try:
            self.process.wait(5)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait(5)
        self.log.close()


def quillmark(pcscd, binary, args, pin=None, wait=True):
    command = [binary] + args
    if not wait:
        return subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True, env=pcscd.env)
    result = subprocess.run(command, input=(pin + "\n") if pin else "", capture_output=True,
                            text=True, timeout=RUN_TIMEOUT_S, env=pcscd.env)
    return result.returncode, result.stdout, result.stderr


def key_rows(report_json):
    return [(page, row) for page, row in rows(report_json) if row[0] not in LINK_ROWS.get(page, ())]


def wait_for_card(pcscd, binary, checks, present=True):
    """--list once reader A shows the FIDO card, or (present false) no card."""
    deadline = time.monotonic() + START_TIMEOUT_S
    while time.monotonic() < deadline:
        listed = quillmark(pcscd, binary, ["--list"])
        line = next((line for line in listed[1].splitlines() if line.startswith(CARD_A)), "")
        if ("FIDO applet: FIDO_2_0" in line) == present and ("card: none" in line) != present:
            return listed
        time.sleep(0.2)
    checks.check("card %s within %d s" % ("seen" if present else "gone", START_TIMEOUT_S), False,
                 repr(listed))
    return listed


def compare(checks, pcscd, binary, simkey, profile, extra, pin, label):
    simulated = quillmark(pcscd, binary, ["--report", "--json", "--simulate", profile] + extra, pin)
    with pcscd.card(simkey, profile):
        wait_for_card(pcscd, binary, checks)
        card = quillmark(pcscd, binary, ["--report", "--json", "--device", CARD_A]
                         + extra, pin)
    wait_for_card(pcscd, binary, checks, present=False)
    checks.check(label + ": exit status", simulated[0] == card[0] == 0,
                 "%d and %d; %s" % (simulated[0], card[0], card[2].strip()))
    checks.check(label + ": same messages", simulated[2] == card[2], card[2].strip())
    if simulated[0] == 0 and card[0] == 0:
        expected, actual = key_rows(simulated[1]), key_rows(card[1])
        differing = [pair for pair in zip(expected, actual) if pair[0] != pair[1]]
        checks.check(label + ": same rows", expected == actual, "%d and %d rows, first %r" % (
            len(expected), len(actual), differing[:1]))
        details = dict(row for page, row in rows(card[1]) if page == "Details")
        checks.check(label + ": card rows", details.get("Protocol") in ("T=0", "T=1")
                     and details.get("ATR", "").startswith("3B") and "Extended APDUs" in details,
                     repr(details))
    return card


def main():
    if len(sys.argv) != 4:
        print(__doc__)
        return 2
    binary, simkey, profiles = sys.argv[1:]
    problem = missing_tools()
    if problem:
        print("skipped: " + problem)
        return SKIP
    no_pin = os.path.join(profiles, "network-no-pin.json")
    with_pin = os.path.join(profiles, "network-pin.json")
    checks = Checks()
    with tempfile.TemporaryDirectory() as folder:
        pcscd = PrivatePcscd(folder)
        try:
            run_checks(checks, pcscd, binary, simkey, folder, no_pin, with_pin)
        finally:
            pcscd.stop()
    return checks.exit_status()


def run_checks(checks, pcscd, binary, simkey, folder, no_pin, with_pin):
    with pcscd.card(simkey, no_pin):
        code, out, err = wait_for_card(pcscd, binary, checks)
        checks.check("--list shows reader A with the FIDO applet", code == 0 and any(
            line.startswith(CARD_A) and "ATR 3B" in line
            for line in out.splitlines()), out + err)
        checks.check("--list shows reader B without a card",
                     all("card: none" in line for line in out.splitlines()
                         if line.startswith("pcsc:Quill Card B")), out)
        code, out, err = quillmark(pcscd, binary, ["--report", "--device", "pcsc:Quill"])
        checks.check("a prefix of two readers exits 2 naming both",
                     code == 2 and all(name in err for name in READERS), "%d %s" % (code, err))
    compare(checks, pcscd, binary, simkey, no_pin, [], None, "report")
    compare(checks, pcscd, binary, simkey, no_pin, ["--fetch", "fido2"], None, "FIDO2 fetch")
    compare(checks, pcscd, binary, simkey, with_pin, ["--fetch", "fido2", "--pin-stdin"], PIN,
            "FIDO2 fetch with PIN")
    compare(checks, pcscd, binary, simkey, no_pin, ["--fetch", "u2f"], None, "U2F fetch")
    removed_mid_refresh(checks, pcscd, binary, simkey, folder, no_pin)
    watch_station(checks, pcscd, binary, simkey, folder, no_pin)


def next_line(stream, seconds=START_TIMEOUT_S):
    ready, _, _ = select.select([stream], [], [], seconds)
    return stream.readline().strip() if ready else "<nothing within %d s>" % seconds


def watch_station(checks, pcscd, binary, simkey, folder, profile):
    """--watch checks the card on the reader at its start and a card laid later."""
    policy = os.path.join(folder, "watch-policy.json")
    with open(policy, "w") as out:
        out.write('{"versions": ["FIDO_2_0"]}')
    wait_for_card(pcscd, binary, checks, present=False)
    expected = CARD_A + ", Quill Card A 00 00, AAGUID "
    with pcscd.card(simkey, profile):
        wait_for_card(pcscd, binary, checks)
        watch = quillmark(pcscd, binary, ["--watch", "--policy", policy], wait=False)
        first = next_line(watch.stdout)
    if "udev cannot be reached" in first + (watch.stderr.read() if watch.poll() else ""):
        print("watch station skipped: udev cannot be reached here")
        return
    with pcscd.card(simkey, profile):
        second = next_line(watch.stdout)
    watch.send_signal(signal.SIGINT)
    out, err = watch.communicate(timeout=RUN_TIMEOUT_S)
    checks.check("--watch checks the card present at its start and the one laid later",
                 first.startswith(expected) and first.endswith(": PASS")
                 and second.startswith(expected) and out.strip() == "2 checked, 2 passed, 0 failed"
                 and watch.returncode == 0, repr((first, second, out, err)))


def removed_mid_refresh(checks, pcscd, binary, simkey, folder, profile):
    # Keep-alives make each CTAP2 message last long enough to take the card away.
    with open(profile) as source:
        slow = json.load(source)
    for device in slow["devices"]:
        # Short APDUs only: the extended probe fails at once, and the refresh's
        # GetInfo takes seconds of keep-alives.
        device["card"] = {"keepAlives": 100, "shortApdusOnly": True}
    slow_path = os.path.join(folder, "slow-card.json")
    with open(slow_path, "w") as out:
        json.dump(slow, out)
    # The last comparison's card may still be on the reader for a moment: the
    # report must meet the slow card, not that one.
    wait_for_card(pcscd, binary, checks, present=False)
    card = pcscd.card(simkey, slow_path)
    wait_for_card(pcscd, binary, checks)
    running = quillmark(pcscd, binary, ["--report", "--device", CARD_A], wait=False)
    time.sleep(2.0)
    card.stop()
    out, err = running.communicate(timeout=RUN_TIMEOUT_S)
    checks.check("card removed mid-refresh ends as a lost link",
                 running.returncode == 3 and "taken off the reader" in out + err
                 and "GetInfo (hex)" not in out,
                 "%d %s %s" % (running.returncode, out[-300:], err))


if __name__ == "__main__":
    sys.exit(main())
