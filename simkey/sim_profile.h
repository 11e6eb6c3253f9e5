// Simulated key profiles: JSON files that describe one or more devices.
//
//   { "devices": [ {
//       "vendorId": "096E", "productId": "0858", "release": "0100",
//       "product": "Simulated Key", "usagePage": "F1D0", "usage": "0001",
//       "path": "simkey:0", "inputReportLength": 65, "outputReportLength": 65,
//       "pin": "123456", "pinRetries": 8, "pinTokenLength": 32, "builtin": true,
//       "uvRetries": 5, "pinPowerCycle": false, "named": false,
//       "ctaphidProtocol": 2, "deviceVersion": [5, 2, 7], "capabilities": "05",
//       "apdu": { "00A4040008A0000006472F000100": "5532465F56329000", "80E3EE8000*": "6D00",
//                 "80E2800005DFFF02800100": ["DFFF0E80010C000205049000", "6D00", "silent"] },
//       "cbor": { "04": "00A10181665532465F5632", "06A201010207": "00A10505",
//                 "06A2010102*": "broken" },
//       "touchDelayMs": 3000, "touchCommands": ["01"], "openError": 13,
//       "misbehave": { "silent": true, "zeroLengthReports": 2, "ctaphidError": "06" },
//       "attestation": { "x5c": "chain", "certificates": 2, "corruptCertificate": false,
//                        "wrongSignature": false, "chain": ["3082...", "3082..."],
//                        "privateKey": "1F2E...(32 bytes)" },
//       "u2f": { "touchDelayMs": 1500, "pieces": 1, "firstPieceEmpty": false,
//                "rejectExtended": false, "wrongSignature": false, "corruptCertificate": false,
//                "certificate": "3082...", "privateKey": "1F2E...(32 bytes)" }
//       "card": { "shortApdusOnly": true, "keepAlives": 2 }   (simkey/sim_card_profile.h)
//   } ] }
//
// Ids are hexadecimal strings (or JSON numbers); byte strings are hex digits
// in either case, spaces allowed between bytes. Byte-valued fields
// (ctaphidError, touchCommands entries, capabilities) take a number or a hex
// string. Every device field is optional and defaults to the default key;
// "comment" is ignored anywhere. A "named" device is shown whatever its
// vendor, as a key named with --device is (records of keys are named).
//
// Rules: an "apdu" key is a whole request in hex; a key ending in '*'
// matches every request that starts with it; rules are tried in file order.
// A "cbor" key of one byte is a CTAP command byte and matches every request
// with that command byte; a longer key matches exactly that whole request
// (command byte and parameters), and a key ending in '*' every request that
// starts with it. The longest matching cbor key wins; at equal length the
// whole request wins over a prefix. A rule's value is one answer or an array
// of answers given in turn: the n-th request the rule matches since the host
// last allocated a channel gets the n-th answer, and the last answer repeats.
// An answer is the whole reply in hex (APDU: data and status word; CTAP:
// status byte and CBOR), "silent" (no reply at all: the host's read times
// out) or "broken" (a reply the host cannot reassemble). Two keys for the
// same request are an error.
//
// "x5c" is "chain" (the first "certificates", 1 to 4, of the attestation
// chain), "none" (self attestation) or "empty" (an empty array); "pieces"
// is 1 to 64. "chain" (at least one DER certificate in hex, sent whole) and
// "certificate" replace the built-in attestation certificates; "privateKey"
// (the leaf's P-256 scalar, 32 bytes in hex) replaces the built-in
// attestation key. An empty "devices" array is a profile with no key plugged in.
// What the key stores and announces (credentials, getInfo, fingerprints,
// large blobs, credential management quirks): simkey/sim_profile_store.h.
#pragma once

#include <string>
#include <vector>

#include "simkey/sim_config.h"

// False, with `error` naming the device index and the field, for bad JSON,
// an unknown field, a value of the wrong type, bad hex or an empty array of
// answers. Rules of the "cbor" object go to SimDeviceConfig::cborRules. `out` is replaced
// only on success. Never throws.
bool LoadSimProfile(const std::string& json, std::vector<SimDeviceConfig>& out, std::string& error);
bool LoadSimProfileFile(const std::string& path, std::vector<SimDeviceConfig>& out,
                        std::string& error);
