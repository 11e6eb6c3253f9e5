"""python-fido2 (Debian's python3-fido2) as the host of quillmark-simkey.

Usage: python_fido2_host.py QUILLMARK_SIMKEY PROFILE_DIR

Runs each profile below in its own server: CTAPHID INIT and PING, GetInfo
against what the profile says, ClientPin with every PIN protocol the key
offers, makeCredential verified by python-fido2's packed attestation, and
U2F REGISTER verified by its own check.
"""

import os
import socket
import struct
import sys
import time

from simkey_process import SKIP, Checks, start_udp

try:
    from fido2.attestation import PackedAttestation
    from fido2.ctap import CtapError
    from fido2.ctap1 import ApduError, Ctap1
    from fido2.ctap2 import Ctap2
    from fido2.ctap2.pin import ClientPin, PinProtocolV1, PinProtocolV2
    from fido2.hid import CtapHidDevice
    from fido2.hid.base import CtapHidConnection, HidDescriptor
    from fido2.utils import sha256
except ImportError as problem:
    print("skipped: python3-fido2 is not installed (%s)" % problem)
    sys.exit(SKIP)

READ_TIMEOUT_S = 5
PIN = "123456"


class UdpConnection(CtapHidConnection):
    """One 64-byte packet per datagram to PORT; replies arrive on REPLYPORT."""

    def __init__(self, port, reply_port):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind(("127.0.0.1", reply_port))
        self.sock.settimeout(READ_TIMEOUT_S)
        self.destination = ("127.0.0.1", port)

    def write_packet(self, data):
        if len(data) != 64:
            raise ValueError("a packet is 64 bytes, not %d" % len(data))
        self.sock.sendto(data, self.destination)

    def read_packet(self):
        while True:
            data, _ = self.sock.recvfrom(1024)
            if len(data) == 64:
                return data

    def close(self):
        self.sock.close()


def open_device(port, reply_port):
    descriptor = HidDescriptor("udp:127.0.0.1:%d" % port, 0xF1D0, 0x0001, 64, 64)
    return CtapHidDevice(descriptor, UdpConnection(port, reply_port))


# What the built-in key says in GetInfo (simkey/sim_default_key.h).
EXPECTED_INFO = {
    "versions": ["U2F_V2", "FIDO_2_0", "FIDO_2_1"],
    "extensions": ["credProtect", "hmac-secret", "largeBlobKey", "credBlob", "minPinLength"],
    "aaguid": b"QM-SIMKEY-AAGUID",
    "max_msg_size": 1200,
    "pin_uv_protocols": [2, 1],
    "max_creds_in_list": 8,
    "max_cred_id_length": 128,
    "transports": ["nfc", "usb"],
    "algorithms": [{"alg": -7, "type": "public-key"}, {"alg": -8, "type": "public-key"}],
    "max_large_blob": 1024,
    "force_pin_change": False,
    "min_pin_length": 4,
}


def check_transport(checks, device, expect_sequential):
    channel = device._channel_id
    checks.check("INIT gives a channel", channel not in (0, 0xFFFFFFFF), "%08X" % channel)
    if expect_sequential:
        checks.check("channel ids in sequence", channel == 0x02000000, "%08X" % channel)
    checks.check("CTAPHID version 2", device.version == 2)
    for size in (0, 10, 57, 58, 200, 1000):
        message = bytes((i * 7 + size) & 0xFF for i in range(size))
        checks.check("PING of %d bytes echoed" % size, device.ping(message) == message)


def check_info(checks, info, has_pin):
    for name, expected in EXPECTED_INFO.items():
        actual = getattr(info, name)
        if name == "aaguid":
            actual = bytes(actual)
        checks.check("GetInfo %s" % name, actual == expected, repr(actual))
    checks.check("GetInfo clientPin", info.options.get("clientPin") == has_pin,
                 repr(info.options.get("clientPin")))
    checks.check("GetInfo rk and up", info.options.get("rk") is True and info.options.get("up") is True)


def check_pin(checks, ctap2, protocol):
    name = "PIN protocol %d" % protocol.VERSION
    client_pin = ClientPin(ctap2, protocol)
    retries, _ = client_pin.get_pin_retries()
    # A key with pinUvAuthToken takes the token request with permissions, and
    # refuses it without them (python-fido2 sends none unless asked).
    permissions = ClientPin.PERMISSION.MAKE_CREDENTIAL
    try:
        client_pin.get_pin_token("999999", permissions, "example.com")
        checks.check(name + ": a wrong PIN is refused", False, "it gave a token")
    except CtapError as error:
        checks.check(name + ": a wrong PIN is PIN_INVALID", error.code == CtapError.ERR.PIN_INVALID,
                     str(error))
    after, _ = client_pin.get_pin_retries()
    checks.check(name + ": the wrong PIN cost a retry", after == retries - 1,
                 "%d then %d" % (retries, after))
    token = client_pin.get_pin_token(PIN, permissions, "example.com")
    checks.check(name + ": the right PIN gives a token", len(token) in (16, 32), "%d bytes" % len(token))
    restored, _ = client_pin.get_pin_retries()
    checks.check(name + ": the right PIN restores the retries", restored == retries,
                 "%d" % restored)
    return client_pin, token


def check_make_credential(checks, ctap2, pin_protocol=None, token=None):
    client_data_hash = sha256(b"quillmark host test client data")
    kwargs = {}
    if token is not None:
        kwargs["pin_uv_param"] = pin_protocol.authenticate(token, client_data_hash)
        kwargs["pin_uv_protocol"] = pin_protocol.VERSION
    keepalives = []
    attestation = ctap2.make_credential(
        client_data_hash,
        {"id": "example.com", "name": "Example"},
        {"id": b"user-1", "name": "user"},
        [{"type": "public-key", "alg": -7}],
        on_keepalive=keepalives.append,
        **kwargs
    )
    label = "makeCredential" + (" with PIN protocol %d" % pin_protocol.VERSION if token else "")
    checks.check(label + ": packed format", attestation.fmt == "packed", attestation.fmt)
    try:
        PackedAttestation().verify(
            attestation.att_statement, attestation.auth_data, client_data_hash
        )
        checks.check(label + ": packed attestation verifies", True)
    except Exception as error:  # any failure of the verification is the finding
        checks.check(label + ": packed attestation verifies", False, repr(error))
    checks.check(label + ": rpIdHash", attestation.auth_data.rp_id_hash == sha256(b"example.com"))
    return keepalives


def check_u2f(checks, device):
    ctap1 = Ctap1(device)
    checks.check("U2F get_version", ctap1.get_version() == "U2F_V2")
    client_param = sha256(b"quillmark u2f client")
    app_param = sha256(b"https://example.com")
    deadline = time.monotonic() + 10
    registration = None
    while registration is None and time.monotonic() < deadline:
        try:
            registration = ctap1.register(client_param, app_param)
        except ApduError as error:
            if error.code != 0x6985:  # conditions not satisfied: touch the key
                checks.check("U2F register", False, "status %04X" % error.code)
                return
            time.sleep(0.1)
    checks.check("U2F register within 10 s", registration is not None)
    if registration is None:
        return
    try:
        registration.verify(app_param, client_param)
        checks.check("U2F registration verifies", True)
    except Exception as error:
        checks.check("U2F registration verifies", False, repr(error))


def run_profile(checks, binary, profile, has_pin, sequential):
    print("== %s" % (os.path.basename(profile) if profile else "built-in key"))
    server, reply_port = start_udp(binary, profile)
    with server:
        checks.check("server listens", server.udp is not None, server.line)
        if server.udp is None:
            return
        device = open_device(server.udp[1], reply_port)
        try:
            run_checks(checks, device, has_pin, sequential)
        except Exception as error:  # a host that gives up is a finding too
            checks.check("no exception from python-fido2", False, repr(error))
        finally:
            device.close()
    status = server.stop()
    checks.check("server exits 0 on SIGTERM", status == 0, repr(status))


def run_checks(checks, device, has_pin, sequential):
    check_transport(checks, device, sequential)
    ctap2 = Ctap2(device)
    check_info(checks, ctap2.info, has_pin)
    if has_pin:
        for protocol in (PinProtocolV1, PinProtocolV2):
            if protocol.VERSION in ctap2.info.pin_uv_protocols:
                try:
                    client_pin, token = check_pin(checks, ctap2, protocol())
                    keepalives = check_make_credential(checks, ctap2, client_pin.protocol, token)
                    checks.check("keep-alives: waiting for the touch, then processing",
                                 [int(status) for status in keepalives] == [2, 1],
                                 repr(keepalives))
                except Exception as error:
                    checks.check("PIN protocol %d runs" % protocol.VERSION, False, repr(error))
    else:
        keepalives = check_make_credential(checks, ctap2)
        print("      keep-alives seen: %r" % keepalives)
    check_u2f(checks, device)


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    binary, profiles = sys.argv[1], sys.argv[2]
    checks = Checks()
    run_profile(checks, binary, None, has_pin=False, sequential=False)
    run_profile(checks, binary, os.path.join(profiles, "network-pin.json"), has_pin=True,
                sequential=True)
    return checks.exit_status()


if __name__ == "__main__":
    sys.exit(main())
