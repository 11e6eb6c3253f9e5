"""python-fido2's PC/SC device (fido2.pcsc.CtapPcscDevice) as the host of
quillmark-simkey's card.

Usage: python_fido2_card.py QUILLMARK_SIMKEY PROFILE_DIR

The test plays vpcd: it listens on a free loopback port, the card connects
with --vpcd, and python-fido2's own APDU framing (short APDUs, command and
response chaining, NFCCTAP keep-alives) talks to it through a connection
object that pyscard would otherwise give. GetInfo, ClientPin, makeCredential
verified by python-fido2's packed attestation, and U2F REGISTER.
"""

import json
import os
import socket
import struct
import sys
import tempfile

from simkey_process import SKIP, Checks, SimkeyProcess

try:
    from fido2.ctap2 import Ctap2
    from fido2.ctap2.pin import PinProtocolV1, PinProtocolV2
    from fido2.pcsc import CtapPcscDevice
    from python_fido2_host import check_info, check_make_credential, check_pin, check_u2f
except ImportError as problem:
    print("skipped: python3-fido2 or python3-pyscard is not installed (%s)" % problem)
    sys.exit(SKIP)

READ_TIMEOUT_S = 5


class VpcdConnection:
    """The reader's side of vpcd, with the methods of a pyscard connection."""

    def __init__(self, link):
        self.link = link
        self.link.settimeout(READ_TIMEOUT_S)

    def _send(self, message):
        self.link.sendall(struct.pack(">H", len(message)) + bytes(message))

    def _receive(self):
        header = self._exactly(2)
        return self._exactly(struct.unpack(">H", header)[0])

    def _exactly(self, count):
        data = b""
        while len(data) < count:
            part = self.link.recv(count - len(data))
            if not part:
                raise IOError("the card closed the link")
            data += part
        return data

    def connect(self):
        self._send(b"\x01")  # power on

    def getATR(self):
        self._send(b"\x04")
        return list(self._receive())

    def transmit(self, apdu, protocol=None):
        self._send(bytes(apdu))
        answer = self._receive()
        if len(answer) < 2:
            raise IOError("an answer without its status word")
        return list(answer[:-2]), answer[-2], answer[-1]

    def disconnect(self):
        self._send(b"\x00")


def run_card(checks, binary, profile, has_pin, label):
    print("== " + label)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(1)
    listener.settimeout(READ_TIMEOUT_S)
    args = ([profile] if profile else []) + ["--vpcd", "127.0.0.1:%d" % listener.getsockname()[1]]
    with SimkeyProcess(binary, args) as card:
        link, _ = listener.accept()
        connection = VpcdConnection(link)
        try:
            device = CtapPcscDevice(connection, "simkey card")
            checks.check("ATR", bytes(device.get_atr()).hex().upper().startswith("3B8F8001"))
            ctap2 = Ctap2(device)
            check_info(checks, ctap2.info, has_pin)
            token, protocol = None, None
            if has_pin:
                for version in (PinProtocolV1, PinProtocolV2):
                    client_pin, token = check_pin(checks, ctap2, version())
                    protocol = client_pin.protocol
            keepalives = check_make_credential(checks, ctap2, protocol, token)
            print("      keep-alives seen: %r" % keepalives)
            check_u2f(checks, device)
        except Exception as error:  # a host that gives up is a finding too
            checks.check("no exception from python-fido2", False, repr(error))
        finally:
            link.close()
            listener.close()
        checks.check("card exits 0 on SIGTERM", card.stop() == 0)


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    binary, profiles = sys.argv[1], sys.argv[2]
    checks = Checks()
    run_card(checks, binary, None, False, "built-in key as a card")
    with open(os.path.join(profiles, "network-pin.json")) as source:
        profile = json.load(source)
    for device in profile["devices"]:
        device["card"] = {"shortApdusOnly": True, "keepAlives": 2}
    with tempfile.NamedTemporaryFile("w", suffix=".json") as changed:
        json.dump(profile, changed)
        changed.flush()
        run_card(checks, binary, changed.name, True, "PIN key as a short-APDU card with keep-alives")
    return checks.exit_status()


if __name__ == "__main__":
    sys.exit(main())
