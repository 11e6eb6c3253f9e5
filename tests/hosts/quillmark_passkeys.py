"""Quillmark lists the passkeys an independent host stored on quillmark-simkey.

Usage: quillmark_passkeys.py QUILLMARK QUILLMARK_SIMKEY PROFILE_DIR [LIBFIDO2_HOST]

python-fido2 (Debian's python3-fido2) makes discoverable credentials on
credentials-pin.json served over UDP and lists them with its
CredentialManagement, and so does libfido2 (libfido2_host --credentials, its
fido_credman functions) on a server of its own; then `quillmark --report --json --passkeys --pin-stdin`
reads the same key, and its "Passkeys" page must hold the same relying
parties, users, user ids, credential ids, protection and counts.
"""

import json
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from simkey_process import SKIP, Checks, start_udp  # noqa: E402

try:
    from fido2.ctap2 import Ctap2
    from fido2.ctap2.pin import PinProtocolV2
except ImportError as problem:
    print("skipped: python3-fido2 is not installed (%s)" % problem)
    sys.exit(SKIP)

from python_fido2_credentials import listing, make_credentials  # noqa: E402
from python_fido2_host import PIN, open_device  # noqa: E402

PROTECTION = {"UV optional": 1, "UV optional with credential ID list": 2, "UV required": 3}


def with_parenthesis(text):
    """("id", "name") from "id (name)", ("id", None) from "id"."""
    match = re.fullmatch(r"(.*) \((.*)\)", text)
    return (match.group(1), match.group(2)) if match else (text, None)


def quillmark_listing(page_rows):
    """The page's counts and credentials, in the fields python-fido2's listing has."""
    counts, listed, rp = None, [], None
    for item, value in page_rows:
        if item == "Discoverable credentials":
            counts = [int(n) for n in re.findall(r"\d+", value)]
        elif item == "Relying party":
            rp = with_parenthesis(value)
        elif item == "User":
            name, display = with_parenthesis(value)
            listed.append({"rpId": rp[0], "rpName": rp[1], "userName": name,
                           "displayName": display, "credProtect": None,
                           "largeBlobKey": False, "thirdPartyPayment": False})
        elif item == "User id":
            listed[-1]["userId"] = value
        elif item == "Credential id":
            listed[-1]["credentialId"] = value
        elif item == "Protection":
            listed[-1]["credProtect"] = PROTECTION.get(value)
        elif item == "Large blob key":
            listed[-1]["largeBlobKey"] = value == "yes"
        elif item == "Third-party payment":
            listed[-1]["thirdPartyPayment"] = value == "yes"
    return counts, listed


def host_listing(host_output):
    """The counts and credentials a host printed as {"listing": "credentials", ...}."""
    for line in host_output.splitlines():
        if line.startswith('{"'):
            entry = json.loads(line)
            if entry.get("listing") == "credentials":
                keep = ("rpId", "rpName", "userName", "displayName", "userId", "credentialId",
                        "credProtect", "largeBlobKey", "thirdPartyPayment")
                # What a host does not tell is not compared.
                keep = [k for k in keep if all(k in c for c in entry["credentials"])]
                return ([entry["existing"], entry["remaining"]],
                        [{k: c[k] for k in keep} for c in entry["credentials"]])
    return None, None


def run_quillmark(quillmark, address):
    result = subprocess.run(
        [quillmark, "--report", "--json", "--passkeys", "--pin-stdin", "--device", address],
        input=PIN + "\n", capture_output=True, text=True, timeout=60,
        env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    rows = []
    if result.returncode == 0:
        for page in json.loads(result.stdout)["pages"]:
            if page["caption"] == "Passkeys":
                rows = page["rows"]
    return result.returncode, result.stderr, rows


def python_fido2_stores(checks, port, reply):
    device = open_device(port, reply)
    try:
        ctap2 = Ctap2(device)
        made = {}
        make_credentials(checks, ctap2, PinProtocolV2(), made)
        metadata, listed = listing(ctap2, PinProtocolV2())
        return json.dumps({"listing": "credentials", "existing": metadata.get(1),
                           "remaining": metadata.get(2), "credentials": listed})
    finally:
        device.close()


def compare(checks, name, quillmark, expected_counts, expected, address):
    status, err, rows = run_quillmark(quillmark, address)
    checks.check(name + ": quillmark exits 0", status == 0, err.strip())
    counts, listed = quillmark_listing(rows)
    if expected:
        listed = [{k: c.get(k) for k in expected[0]} for c in listed]
    checks.check(name + ": same counts", counts == expected_counts,
                 "%r and %r" % (counts, expected_counts))
    checks.check(name + ": same credentials", listed == expected,
                 "" if listed == expected else "quillmark %r\nhost %r" % (listed, expected))
    checks.check(name + ": credentials were listed", len(listed) >= 2, "%d" % len(listed))


def libfido2_stores(host):
    def stores(checks, port, reply):
        result = subprocess.run([host, str(port), str(reply), PIN, "--credentials"],
                                capture_output=True, text=True, timeout=60)
        checks.check("libfido2 host", result.returncode == 0, result.stdout.strip())
        return result.stdout
    return stores


def host_and_quillmark(checks, name, stores, quillmark, simkey, profiles):
    server, reply = start_udp(simkey, os.path.join(profiles, "credentials-pin.json"))
    with server:
        checks.check(name + ": server listens", server.udp is not None, server.line)
        if server.udp is None:
            return
        try:
            counts, expected = host_listing(stores(checks, server.udp[1], reply))
        except Exception as error:  # a host that gives up is a finding too
            checks.check(name + ": no exception", False, repr(error))
            return
        compare(checks, name, quillmark, counts, expected, "udp:%s:%d:%d" % server.udp)
    checks.check(name + ": server exits 0 on SIGTERM", server.stop() == 0)


def main():
    if len(sys.argv) not in (4, 5):
        print(__doc__)
        return 2
    quillmark, simkey, profiles = sys.argv[1:4]
    checks = Checks()
    host_and_quillmark(checks, "python-fido2", python_fido2_stores, quillmark, simkey, profiles)
    if len(sys.argv) == 5:
        host_and_quillmark(checks, "libfido2", libfido2_stores(sys.argv[4]), quillmark, simkey,
                           profiles)
    return checks.exit_status()


if __name__ == "__main__":
    sys.exit(main())
