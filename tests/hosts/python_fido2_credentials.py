"""python-fido2 (Debian's python3-fido2) creates and lists what quillmark-simkey stores.

Usage: python_fido2_credentials.py QUILLMARK_SIMKEY PROFILE_DIR

credentials-pin.json: with PIN protocols 1 and 2 in turn, python-fido2 makes
discoverable credentials (rk, credProtect, largeBlobKey), lists them with its
CredentialManagement (metadata, RPs, credentials of each RP), and reads the
large-blob array. credentials-bio.json: a fingerprint token, then the sensor
and the enrollments through FPBioEnrollment.

Each listing is printed as one JSON line starting with {"listing": so that
another host's listing can be compared with it.
"""

import json
import os
import sys

from simkey_process import SKIP, Checks, start_udp

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
try:
    from fido2.ctap import CtapError
    from fido2.ctap2 import Ctap2
    from fido2.ctap2.bio import FPBioEnrollment
    from fido2.ctap2.blob import LargeBlobs
    from fido2.ctap2.credman import CredentialManagement
    from fido2.ctap2.pin import ClientPin, PinProtocolV1, PinProtocolV2
    from fido2.utils import sha256
except ImportError as problem:
    print("skipped: python3-fido2 is not installed (%s)" % problem)
    sys.exit(SKIP)

from python_fido2_host import PIN, open_device

CM = ClientPin.PERMISSION.CREDENTIAL_MGMT
MC = ClientPin.PERMISSION.MAKE_CREDENTIAL
BE = ClientPin.PERMISSION.BIO_ENROLL

# What each protocol's round creates: (rp id, rp name, user id, name, display name, credProtect).
USERS = [
    ("example.com", "Example", b"alice-%d", "alice", "Alice Example", 2),
    ("example.com", "Example", b"bob-%d", "bob", "Bob Example", 1),
    ("other.example", None, b"carol-%d", "carol", None, 3),
]


def make_credentials(checks, ctap2, protocol, made):
    for rp_id, rp_name, user_id, name, display, cred_protect in USERS:
        token = ClientPin(ctap2, protocol).get_pin_token(PIN, MC, rp_id)
        client_data_hash = sha256(b"create " + rp_id.encode())
        rp = {"id": rp_id}
        if rp_name:
            rp["name"] = rp_name
        user = {"id": user_id % protocol.VERSION, "name": name}
        if display:
            user["displayName"] = display
        attestation = ctap2.make_credential(
            client_data_hash, rp, user, [{"type": "public-key", "alg": -7}],
            extensions={"credProtect": cred_protect, "largeBlobKey": True},
            options={"rk": True},
            pin_uv_param=protocol.authenticate(token, client_data_hash),
            pin_uv_protocol=protocol.VERSION)
        credential_id = bytes(attestation.auth_data.credential_data.credential_id)
        made[(rp_id, user["id"])] = (credential_id, cred_protect)
    checks.check("protocol %d: three discoverable credentials made" % protocol.VERSION, True)


def listing(ctap2, protocol):
    token = ClientPin(ctap2, protocol).get_pin_token(PIN, CM)
    credman = CredentialManagement(ctap2, protocol, token)
    metadata = credman.get_metadata()
    listed = []
    for rp in credman.enumerate_rps():
        for cred in credman.enumerate_creds(rp[4]):
            user = cred[6]
            listed.append({
                "rpId": rp[3]["id"],
                "rpName": rp[3].get("name"),
                "rpIdHashOk": rp[4] == sha256(rp[3]["id"].encode()),
                "userId": bytes(user["id"]).hex(),
                "userName": user.get("name"),
                "displayName": user.get("displayName"),
                "credentialId": bytes(cred[7]["id"]).hex(),
                "credProtect": cred.get(0x0A),
                "largeBlobKey": len(cred.get(0x0B, b"")) == 32,
                "thirdPartyPayment": cred.get(0x0C, False),
                "publicKeyAlg": cred[8].get(3),
            })
    return metadata, listed


def run_pin_profile(checks, ctap2):
    made = {}
    for protocol in (PinProtocolV1(), PinProtocolV2()):
        name = "protocol %d" % protocol.VERSION
        make_credentials(checks, ctap2, protocol, made)
        metadata, listed = listing(ctap2, protocol)
        print(json.dumps({"listing": "credentials", "pinProtocol": protocol.VERSION,
                          "existing": metadata.get(1), "remaining": metadata.get(2),
                          "credentials": listed}, sort_keys=True))
        checks.check(name + ": metadata counts what is stored",
                     metadata.get(1) == len(made) + 1 and metadata.get(2) == 10 - len(made) - 1,
                     repr(metadata))
        checks.check(name + ": every credential listed once", len(listed) == len(made) + 1,
                     "%d listed" % len(listed))
        checks.check(name + ": rpIDHash of each RP", all(c["rpIdHashOk"] for c in listed))
        for entry in listed:
            key = (entry["rpId"], bytes.fromhex(entry["userId"]))
            if key in made:
                credential_id, cred_protect = made[key]
                checks.check(name + ": %s listed as made" % entry["userName"],
                             entry["credentialId"] == credential_id.hex() and
                             entry["credProtect"] == cred_protect and entry["largeBlobKey"] and
                             entry["publicKeyAlg"] == -7, repr(entry))
            else:
                checks.check(name + ": the profile's credential",
                             entry["rpId"] == "preloaded.example" and
                             entry["rpName"] == "Preloaded" and entry["userId"] == "0a0b0c0d" and
                             entry["displayName"] == "Pre Loaded" and entry["credProtect"] == 3 and
                             entry["thirdPartyPayment"] is True, repr(entry))
    # A token for making credentials does not list them.
    token = ClientPin(ctap2, PinProtocolV2()).get_pin_token(PIN, MC, "example.com")
    try:
        CredentialManagement(ctap2, PinProtocolV2(), token).get_metadata()
        checks.check("an mc token cannot list", False, "it listed")
    except CtapError as error:
        checks.check("an mc token cannot list: UNAUTHORIZED_PERMISSION", error.code == 0x40,
                     str(error))
    blobs = LargeBlobs(ctap2).read_blob_array()
    checks.check("large-blob array read in pieces and its digest matches",
                 len(blobs) == 1 and len(blobs[0][1]) == 1400 and blobs[0][3] == 1380,
                 repr([len(b) for b in blobs]))


def run_bio_profile(checks, ctap2):
    protocol = PinProtocolV2()
    checks.check("fingerprint key announces PIN protocol 2 only",
                 ctap2.info.pin_uv_protocols == [2], repr(ctap2.info.pin_uv_protocols))
    try:
        ClientPin(ctap2, PinProtocolV1()).get_pin_retries()
        checks.check("protocol 1 refused", False, "it answered")
    except CtapError as error:
        checks.check("protocol 1 refused: INVALID_PARAMETER", error.code == 0x02, str(error))
    token = ClientPin(ctap2, protocol).get_uv_token(BE)
    checks.check("the fingerprint gives a token", len(token) == 32, "%d bytes" % len(token))
    bio = FPBioEnrollment(ctap2, protocol, token)
    info = bio.get_fingerprint_sensor_info()
    enrollments = {bytes(k).hex(): v for k, v in bio.enumerate_enrollments().items()}
    print(json.dumps({"listing": "fingerprints", "fingerprintKind": info.get(2),
                      "samplesForEnroll": info.get(3), "enrollments": enrollments},
                     sort_keys=True))
    checks.check("sensor info", info.get(2) == 2 and info.get(3) == 8, repr(info))
    checks.check("two enrollments", enrollments == {"0001": "right thumb", "00a2": "left index"},
                 repr(enrollments))


def run_profile(checks, binary, profile, body):
    print("== %s" % os.path.basename(profile))
    server, reply_port = start_udp(binary, profile)
    with server:
        checks.check("server listens", server.udp is not None, server.line)
        if server.udp is None:
            return
        device = open_device(server.udp[1], reply_port)
        try:
            body(checks, Ctap2(device))
        except Exception as error:  # a host that gives up is a finding too
            checks.check("no exception from python-fido2", False, repr(error))
        finally:
            device.close()
    checks.check("server exits 0 on SIGTERM", server.stop() == 0)


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    binary, profiles = sys.argv[1], sys.argv[2]
    checks = Checks()
    run_profile(checks, binary, os.path.join(profiles, "credentials-pin.json"), run_pin_profile)
    run_profile(checks, binary, os.path.join(profiles, "credentials-bio.json"), run_bio_profile)
    return checks.exit_status()


if __name__ == "__main__":
    sys.exit(main())
