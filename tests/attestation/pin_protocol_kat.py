#!/usr/bin/python3
# Known answers of PIN protocol 1 for pin_protocol_test.cpp, computed with
# python3-cryptography independently of mbedTLS.
#   /usr/bin/python3 tests/attestation/pin_protocol_kat.py
import hashlib
import hmac

from cryptography.hazmat.primitives import serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

PLATFORM_SCALAR = bytes(range(1, 33))
PEER_SCALAR = bytes.fromhex("7d2bd3a1c2f0e1d4b5a69788796a5b4c3d2e1f00112233445566778899aabbcc")
PIN = b"1234"
TOKEN = bytes.fromhex("00112233445566778899aabbccddeeff0f1e2d3c4b5a69788796a5b4c3d2e1f0")
# Keys may hand out tokens of other multiples of 16 bytes.
TOKEN16 = bytes.fromhex("f0e1d2c3b4a5968778695a4b3c2d1e0f")
TOKEN64 = TOKEN + bytes.fromhex(
    "a0a1a2a3a4a5a6a7a8a9aaabacadaeafb0b1b2b3b4b5b6b7b8b9babbbcbdbebf")
CLIENT_DATA_HASH = bytes.fromhex(
    "6871349682 22ec17202e42505f8ed2b16ae22f16bb05b88c25db9e602645f141".replace(" ", ""))


def private_key(scalar):
    return ec.derive_private_key(int.from_bytes(scalar, "big"), ec.SECP256R1())


def point(key):
    raw = key.public_key().public_bytes(serialization.Encoding.X962,
                                        serialization.PublicFormat.UncompressedPoint)
    return raw[1:33], raw[33:65]


def aes_cbc(key, data, encrypt=True):
    cipher = Cipher(algorithms.AES(key), modes.CBC(bytes(16)))
    ctx = cipher.encryptor() if encrypt else cipher.decryptor()
    return ctx.update(data) + ctx.finalize()


platform = private_key(PLATFORM_SCALAR)
peer = private_key(PEER_SCALAR)
platform_x, platform_y = point(platform)
peer_x, peer_y = point(peer)
shared_x = platform.exchange(ec.ECDH(), peer.public_key())
shared_secret = hashlib.sha256(shared_x).digest()
pin_hash_enc = aes_cbc(shared_secret, hashlib.sha256(PIN).digest()[:16])
token_enc = aes_cbc(shared_secret, TOKEN)
pin_auth = hmac.new(TOKEN, CLIENT_DATA_HASH, hashlib.sha256).digest()[:16]
token16_enc = aes_cbc(shared_secret, TOKEN16)
pin_auth16 = hmac.new(TOKEN16, CLIENT_DATA_HASH, hashlib.sha256).digest()[:16]
token64_enc = aes_cbc(shared_secret, TOKEN64)
pin_auth64 = hmac.new(TOKEN64, CLIENT_DATA_HASH, hashlib.sha256).digest()[:16]

for name, value in [("platformX", platform_x), ("platformY", platform_y), ("peerX", peer_x),
                    ("peerY", peer_y), ("sharedSecret", shared_secret),
                    ("pinHashEnc", pin_hash_enc), ("tokenEnc", token_enc),
                    ("pinAuth", pin_auth), ("token16Enc", token16_enc),
                    ("pinAuth16", pin_auth16), ("token64Enc", token64_enc),
                    ("pinAuth64", pin_auth64)]:
    print(f"{name} {value.hex().upper()}")

# PIN/UV auth protocol 2 over the same agreement: HKDF keys from the x
# coordinate, a fixed IV where the host would draw a random one.
from cryptography.hazmat.primitives import hashes  # noqa: E402
from cryptography.hazmat.primitives.kdf.hkdf import HKDF  # noqa: E402

IV = bytes(range(0xA0, 0xB0))


def hkdf(info):
    return HKDF(algorithm=hashes.SHA256(), length=32, salt=bytes(32), info=info).derive(shared_x)


def aes_cbc_iv(key, iv, data, encrypt=True):
    cipher = Cipher(algorithms.AES(key), modes.CBC(iv))
    ctx = cipher.encryptor() if encrypt else cipher.decryptor()
    return ctx.update(data) + ctx.finalize()


hmac_key = hkdf(b"CTAP2 HMAC key")
aes_key = hkdf(b"CTAP2 AES key")
pin_hash_enc2 = IV + aes_cbc_iv(aes_key, IV, hashlib.sha256(PIN).digest()[:16])
token_enc2 = IV + aes_cbc_iv(aes_key, IV, TOKEN)
auth_param2 = hmac.new(TOKEN, CLIENT_DATA_HASH, hashlib.sha256).digest()
for name, value in [("v2hmacKey", hmac_key), ("v2aesKey", aes_key),
                    ("v2pinHashEnc", pin_hash_enc2), ("v2tokenEnc", token_enc2),
                    ("v2authParam", auth_param2)]:
    print(f"{name} {value.hex().upper()}")
