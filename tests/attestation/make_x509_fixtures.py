#!/usr/bin/python3
# Writes tests/attestation/x509_fixtures.cpp: DER certificates that the full
# mbedTLS parse refuses (Ed25519 keys and signatures) or refuses without an
# extension callback (an unknown critical extension), made with
# python3-cryptography because mbedTLS 2.28 cannot make Ed25519 keys.
#   /usr/bin/python3 tests/attestation/make_x509_fixtures.py > tests/attestation/x509_fixtures.cpp
# Ed25519 signatures are deterministic, ECDSA ones are not: a new run gives
# other bytes for the ECDSA-signed certificate, with the same facts.
import datetime

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec, ed25519
from cryptography.x509.oid import NameOID

# The scalar of TestKey::P256(0x44) (tests/attestation/test_certificates.cpp),
# so the tests sign with the leaf's key through mbedTLS.
P256_SEED = 0x44
ED25519_LEAF_SEED = bytes(range(0x10, 0x30))
ED25519_ROOT_SEED = bytes(range(0x30, 0x50))
AAGUID = b"QM-SIMKEY-AAGUID"  # the simulated key's AAGUID
TRANSPORTS_OID = x509.ObjectIdentifier("1.3.6.1.4.1.45724.2.1.1")
AAGUID_OID = x509.ObjectIdentifier("1.3.6.1.4.1.45724.1.1.4")
UNKNOWN_OID = x509.ObjectIdentifier("1.3.6.1.4.1.55555.7.1")


def p256_key():
    scalar = bytearray((P256_SEED + i) & 0xFF for i in range(32))
    scalar[0] &= 0x7F
    return ec.derive_private_key(int.from_bytes(scalar, "big"), ec.SECP256R1())


def name(*parts):
    oids = {"C": NameOID.COUNTRY_NAME, "O": NameOID.ORGANIZATION_NAME,
            "OU": NameOID.ORGANIZATIONAL_UNIT_NAME, "CN": NameOID.COMMON_NAME}
    return x509.Name([x509.NameAttribute(oids[k], v) for k, v in parts])


def certificate(subject, issuer, public_key, signing_key, serial, not_after, extensions):
    builder = (x509.CertificateBuilder()
               .subject_name(subject).issuer_name(issuer).public_key(public_key)
               .serial_number(serial)
               .not_valid_before(datetime.datetime(2024, 1, 1, tzinfo=datetime.timezone.utc))
               .not_valid_after(not_after))
    for value, critical in extensions:
        builder = builder.add_extension(value, critical)
    algorithm = None if isinstance(signing_key, ed25519.Ed25519PrivateKey) else hashes.SHA256()
    return builder.sign(signing_key, algorithm).public_bytes(serialization.Encoding.DER)


def fido_extensions():
    return [(x509.UnrecognizedExtension(TRANSPORTS_OID, bytes([0x03, 0x02, 0x04, 0x30])), False),
            (x509.UnrecognizedExtension(AAGUID_OID, bytes([0x04, 0x10]) + AAGUID), False)]


def main():
    leaf_key = p256_key()
    ed_leaf = ed25519.Ed25519PrivateKey.from_private_bytes(ED25519_LEAF_SEED)
    ed_root = ed25519.Ed25519PrivateKey.from_private_bytes(ED25519_ROOT_SEED)
    utc = datetime.timezone.utc
    root_name = name(("C", "US"), ("O", "Quillmark Test"), ("CN", "Quillmark Ed25519 Root"))
    fixtures = [
        ("kEd25519AttestationLeaf",
         "Ed25519 key, self-signed (Ed25519), FIDO extensions, not after 2099 (GeneralizedTime)",
         certificate(name(("C", "US"), ("O", "Quillmark Test"),
                          ("OU", "Authenticator Attestation"), ("CN", "Ed25519 Attestation")),
                     name(("O", "Quillmark Test"), ("OU", "Ed25519 Signers")),
                     ed_leaf.public_key(), ed_leaf, 0x5ED25519,
                     datetime.datetime(2099, 12, 31, 23, 59, 59, tzinfo=utc),
                     fido_extensions())),
        ("kEd25519Root", "Ed25519 key, self-signed, CA",
         certificate(root_name, root_name, ed_root.public_key(), ed_root, 0x0ED0,
                     datetime.datetime(2049, 12, 31, 23, 59, 59, tzinfo=utc),
                     [(x509.BasicConstraints(ca=True, path_length=None), True)])),
        ("kP256UnderEd25519Root",
         "TestKey::P256(0x44), signed by kEd25519Root (Ed25519), FIDO extensions",
         certificate(name(("C", "US"), ("O", "Quillmark Test"),
                          ("OU", "Authenticator Attestation"), ("CN", "P-256 Under Ed25519")),
                     root_name, leaf_key.public_key(), ed_root, 0x8A2561,
                     datetime.datetime(2049, 12, 31, 23, 59, 59, tzinfo=utc),
                     [(x509.BasicConstraints(ca=False, path_length=None), True)]
                     + fido_extensions())),
        ("kP256UnknownCritical",
         "TestKey::P256(0x44), self-signed (ECDSA), critical 1.3.6.1.4.1.55555.7.1, AAGUID",
         certificate(name(("C", "US"), ("O", "Quillmark Test"),
                          ("OU", "Authenticator Attestation"), ("CN", "Unknown Critical")),
                     name(("C", "US"), ("O", "Quillmark Test"), ("CN", "Unknown Critical")),
                     leaf_key.public_key(), leaf_key, 0x0C417,
                     datetime.datetime(2049, 12, 31, 23, 59, 59, tzinfo=utc),
                     [(x509.UnrecognizedExtension(UNKNOWN_OID, bytes([0x05, 0x00])), True),
                      fido_extensions()[1]])),
    ]
    print("// Made by tests/attestation/make_x509_fixtures.py (python3-cryptography);")
    print("// see there how. Do not edit by hand.")
    print('#include "x509_fixtures.h"')
    print()
    for index, (symbol, comment, der) in enumerate(fixtures):
        if index > 0:
            print()
        print(f"// {comment}.")
        print(f"const std::vector<uint8_t> {symbol} = {{")
        for i in range(0, len(der), 16):
            print("    " + " ".join(f"0x{b:02X}," for b in der[i:i + 16]))
        print("};")


main()
