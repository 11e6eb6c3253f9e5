"""python-fido2 and a card we did not write, through a private pcscd and vpcd.

Usage: python_fido2_over_pcsc.py QUILLMARK QUILLMARK_SIMKEY PROFILE_DIR

Reader A: quillmark-simkey's card without a PIN. python-fido2 finds it
through pyscard (CtapPcscDevice.list_devices), reads GetInfo, sets the PIN,
is refused a wrong PIN and given a token for the right one, makes a
discoverable credential with it and registers with U2F; then Quillmark, on
the same card and with the PIN python-fido2 set, lists that credential on its
"Passkeys" page and verifies the card's attestation.

Reader B: vicc (vsmartcard-vpicc), an ISO 7816 card without the FIDO applet.
--list shows its ATR as pyscard reads it and that the applet gave no answer;
a report on it exits 1 saying the card is no FIDO authenticator, with no key
rows, while the card on A still lists as FIDO.

The python-fido2 side runs in a child process (this script with --host or
--atr) so that pyscard meets the private daemon and every call has a time-out.
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from simkey_process import SKIP, Checks  # noqa: E402

# Both exit 77 with the reason when python3-fido2 is missing.
from python_fido2_host import PIN, check_info, check_pin, check_u2f  # noqa: E402
from quillmark_over_pcsc import (CARD_A, READERS, START_TIMEOUT_S, PrivatePcscd,  # noqa: E402
                                 missing_tools, quillmark, rows, wait_for_card)
from quillmark_passkeys import quillmark_listing  # noqa: E402

CHILD_TIMEOUT_S = 60
STOP_TIMEOUT_S = 5
USER = {"id": b"pcsc-user-1", "name": "nfc-user", "displayName": "Card User"}
RP = {"id": "example.com", "name": "Card Example"}
# Debian 12's vsmartcard-vpicc installs vicc's module outside python3's
# path, and vicc imports the old "Crypto" package, which Debian 12 ships only
# as python3-pycryptodome's "Cryptodome".
VICC_MODULES = "/usr/lib/python3/site-packages/virtualsmartcard"
CRYPTODOME = "/usr/lib/python3/dist-packages/Cryptodome"


def vicc_env(folder):
    shim = os.path.join(folder, "vicc-modules")
    if not os.path.exists(shim):
        os.makedirs(shim)
        os.symlink(CRYPTODOME, os.path.join(shim, "Crypto"))
    paths = [VICC_MODULES, shim] + [p for p in os.environ.get("PYTHONPATH", "").split(":") if p]
    return dict(os.environ, PYTHONPATH=":".join(paths))


def vicc_problem(folder):
    """Why vicc cannot run its ISO 7816 card here, or None."""
    if shutil.which("vicc") is None:
        return "vicc (vsmartcard-vpicc) is not installed"
    # vicc's own interpreter, as its first line names it.
    probe = subprocess.run(
        ["/usr/bin/python3", "-c", "import virtualsmartcard.VirtualSmartcard"],
        capture_output=True, text=True, timeout=CHILD_TIMEOUT_S, env=vicc_env(folder))
    if probe.returncode != 0:
        return "vicc's card does not load: " + (probe.stderr.strip().splitlines() or ["?"])[-1]
    return None


def host_child(reader):
    """python-fido2 on the card pyscard finds on READER; prints what it made."""
    try:
        from fido2.attestation import PackedAttestation
        from fido2.ctap2 import Ctap2
        from fido2.ctap2.pin import ClientPin, PinProtocolV2
        from fido2.pcsc import CtapPcscDevice
        from fido2.utils import sha256
    except ImportError as problem:
        print("skipped: python3-pyscard is not installed (%s)" % problem)
        return SKIP
    checks = Checks()
    devices = list(CtapPcscDevice.list_devices(reader))
    checks.check("python-fido2 finds one card on " + reader, len(devices) == 1, repr(devices))
    if len(devices) != 1:
        return checks.exit_status()
    device = devices[0]
    ctap2 = Ctap2(device)
    check_info(checks, ctap2.info, False)
    ClientPin(ctap2, PinProtocolV2()).set_pin(PIN)
    checks.check("GetInfo clientPin after set_pin",
                 ctap2.get_info().options.get("clientPin") is True)
    # A token for makeCredential on example.com.
    client_pin, token = check_pin(checks, ctap2, PinProtocolV2())
    protocol = client_pin.protocol
    client_data_hash = sha256(b"quillmark card host client data")
    attestation = ctap2.make_credential(
        client_data_hash, RP, USER, [{"type": "public-key", "alg": -7}], options={"rk": True},
        pin_uv_param=protocol.authenticate(token, client_data_hash),
        pin_uv_protocol=protocol.VERSION)
    try:
        PackedAttestation().verify(attestation.att_statement, attestation.auth_data,
                                   client_data_hash)
        checks.check("discoverable credential: packed attestation verifies", True)
    except Exception as error:  # any failure of the verification is the finding
        checks.check("discoverable credential: packed attestation verifies", False, repr(error))
    check_u2f(checks, device)
    device.close()
    credential_id = bytes(attestation.auth_data.credential_data.credential_id)
    print(json.dumps({"made": {"rpId": RP["id"], "rpName": RP["name"],
                               "userId": USER["id"].hex(), "userName": USER["name"],
                               "displayName": USER["displayName"],
                               "credentialId": credential_id.hex()}}))
    return checks.exit_status()


def atr_child(reader):
    """The ATR pyscard reads from the card on READER, as upper hex."""
    from smartcard.System import readers

    named = [r for r in readers() if str(r).startswith(reader)]
    connection = named[0].createConnection()
    connection.connect()
    print(bytes(connection.getATR()).hex().upper())
    connection.disconnect()
    return 0


def child(pcscd, mode, reader):
    result = subprocess.run([sys.executable, os.path.abspath(__file__), mode, reader],
                            capture_output=True, text=True, timeout=CHILD_TIMEOUT_S,
                            env=pcscd.env)
    return result.returncode, result.stdout, result.stderr


def main():
    if len(sys.argv) == 3 and sys.argv[1] in ("--host", "--atr"):
        return (host_child if sys.argv[1] == "--host" else atr_child)(sys.argv[2])
    if len(sys.argv) != 4:
        print(__doc__)
        return 2
    binary, simkey, profiles = sys.argv[1:]
    checks = Checks()
    with tempfile.TemporaryDirectory() as folder:
        problem = missing_tools() or vicc_problem(folder)
        if problem:
            print("skipped: " + problem)
            return SKIP
        pcscd = PrivatePcscd(folder)
        try:
            with pcscd.card(simkey, os.path.join(profiles, "network-no-pin.json")):
                wait_for_card(pcscd, binary, checks)
                status = python_fido2_then_quillmark(checks, pcscd, binary)
                if status == SKIP:
                    return SKIP
                card_we_did_not_write(checks, pcscd, binary, folder)
        finally:
            pcscd.stop()
    return checks.exit_status()


def python_fido2_then_quillmark(checks, pcscd, binary):
    print("== python-fido2 on reader A, then Quillmark")
    code, out, err = child(pcscd, "--host", READERS[0])
    print(out + err, end="")
    if code == SKIP:
        return SKIP
    checks.check("python-fido2 on the card", code == 0, "exit %d" % code)
    made = next((json.loads(line)["made"] for line in out.splitlines()
                 if line.startswith('{"made"')), None)
    if made is None:
        return code
    code, out, err = quillmark(pcscd, binary, ["--report", "--json", "--device", CARD_A,
                                               "--passkeys", "--pin-stdin"], PIN)
    checks.check("passkeys: quillmark exits 0", code == 0, err.strip())
    if code == 0:
        counts, listed = quillmark_listing(page_rows(out, "Passkeys"))
        listed = [{k: entry.get(k) for k in made} for entry in listed]
        checks.check("passkeys: the credential python-fido2 made, alone", listed == [made],
                     "quillmark %r\nhost %r" % (listed, made))
        checks.check("passkeys: one discoverable credential counted",
                     bool(counts) and counts[0] == 1, repr(counts))
    code, out, err = quillmark(pcscd, binary, ["--report", "--json", "--device", CARD_A,
                                               "--fetch", "fido2", "--pin-stdin"], PIN)
    checks.check("FIDO2 fetch: quillmark exits 0", code == 0, err.strip())
    if code == 0:
        verdicts = [value for item, value in page_rows(out, "FIDO2 Certification")
                    if item == "Verify Result"]
        checks.check("FIDO2 fetch: the attestation verifies",
                     verdicts and all(v == "YES" for v in verdicts), repr(verdicts))
    return code


def page_rows(report_json, caption):
    return [row for page, row in rows(report_json) if page == caption]


def card_we_did_not_write(checks, pcscd, binary, folder):
    print("== vicc's ISO 7816 card on reader B")
    reader_b = "pcsc:%s 00 00" % READERS[1]
    vicc = subprocess.Popen(["vicc", "-t", "iso7816", "-H", "127.0.0.1", "-P",
                             str(pcscd.ports[1])], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, env=vicc_env(folder))
    try:
        listed = wait_for_reader_b(pcscd, binary, reader_b)
        line_b = next((line for line in listed.splitlines() if line.startswith(reader_b)), "")
        line_a = next((line for line in listed.splitlines() if line.startswith(CARD_A)), "")
        code, atr, err = child(pcscd, "--atr", READERS[1])
        checks.check("pyscard reads vicc's ATR", code == 0 and bool(atr.strip()), err.strip())
        checks.check("--list shows vicc's ATR and no FIDO applet",
                     line_b.endswith("card: present  ATR %s  FIDO applet: no answer" % atr.strip()),
                     line_b)
        checks.check("--list still shows the FIDO card on A", "FIDO applet: FIDO_2_0" in line_a,
                     line_a)
        code, out, err = quillmark(pcscd, binary, ["--report", "--device", reader_b])
        checks.check("a report on vicc's card exits 1 saying it is no FIDO key",
                     code == 1 and err == "quillmark: cannot reach %s: the card did not answer as "
                     "a FIDO authenticator\n" % reader_b, "%d %s" % (code, err))
        checks.check("no key rows for vicc's card", out.strip() == "", out[:300])
    finally:
        vicc.terminate()
        try:
            vicc.wait(STOP_TIMEOUT_S)
        except subprocess.TimeoutExpired:
            vicc.kill()
            vicc.wait(STOP_TIMEOUT_S)


def wait_for_reader_b(pcscd, binary, reader_b):
    """--list once reader B shows a card."""
    deadline = time.monotonic() + START_TIMEOUT_S
    listed = ""
    while time.monotonic() < deadline:
        listed = quillmark(pcscd, binary, ["--list"])[1]
        if any(line.startswith(reader_b) and "card: present" in line
               for line in listed.splitlines()):
            break
        time.sleep(0.2)
    return listed


if __name__ == "__main__":
    sys.exit(main())
