// What one simulated HID interface is and how it answers. The defaults are
// the default key: a FIDO interface of vendor 096E that answers every query
// of a refresh through its built-in behaviour.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "simkey/sim_card_options.h"

// What the key does with one request: reply, say nothing (the host's read
// times out), or send a reply the host cannot reassemble.
struct SimAnswer {
  enum class Kind { kReply, kSilent, kBroken };
  Kind kind = Kind::kReply;
  // kReply: the whole reply (APDU: data and status word; CTAP: status byte
  // and CBOR).
  std::vector<uint8_t> reply;

  bool operator==(const SimAnswer&) const = default;
};

// Answers are given in turn: the n-th request that a rule matches since the
// last channel allocation gets answers[n-1], and the last answer repeats
// after that. A rule without answers replies with no bytes.
//
// One APDU rule: a request equal to `request` (or, with `prefix`, starting
// with it).
struct SimApduRule {
  SimApduRule() = default;
  SimApduRule(std::vector<uint8_t> request, bool prefix, std::vector<SimAnswer> answers)
      : request(std::move(request)), prefix(prefix), answers(std::move(answers)) {}
  // One reply, data and status word.
  SimApduRule(std::vector<uint8_t> request, bool prefix, std::vector<uint8_t> reply)
      : request(std::move(request)),
        prefix(prefix),
        answers{{SimAnswer::Kind::kReply, std::move(reply)}} {}

  std::vector<uint8_t> request;
  bool prefix = false;
  std::vector<SimAnswer> answers;

  bool operator==(const SimApduRule&) const = default;
};

// One CTAP rule. `request` of one byte without `prefix` is a bare command
// byte and matches every request with that command byte; a longer one
// without `prefix` matches exactly that whole request (command byte and
// parameters); with `prefix`, every request that starts with it.
struct SimCborRule {
  std::vector<uint8_t> request;
  bool prefix = false;
  std::vector<SimAnswer> answers;

  bool operator==(const SimCborRule&) const = default;
};

// Faults of a misbehaving key. Each switch applies to every request that
// arrives while it is set. The channel allocation (INIT) is answered normally
// unless a switch names it (silentInit, initWrongNonceFirst).
struct SimMisbehaviour {
  bool keepAliveForever = false;     // only keep-alives, each 100 ms of simulated time
  bool truncatedReply = false;       // the initialisation packet alone, then silence
  uint32_t zeroLengthReports = 0;    // packets announcing length 0 before each reply
  uint32_t oversizeReply = 0;        // the reply padded with zeros to this length
  bool silent = false;               // no reply to any request but INIT
  bool silentInit = false;           // no reply to INIT either
  bool otherChannelReply = false;    // the reply on a channel not ours, then silence
  uint32_t foreignReportsFirst = 0;  // short replies on another channel first
  bool initWrongNonceFirst = false;  // INIT answered once with a wrong nonce first
  uint8_t ctaphidError = 0;          // MSG and CBOR answered with this CTAPHID error
  bool badSequence = false;          // reply continuation packets numbered from 1
  bool writeFails = false;           // Write answers -1
  bool readFails = false;            // Read answers -1
  // Once this many reports were read, the key is gone: Read and Write answer
  // -1, and the server closes its TCP connection. 0: never.
  uint32_t goneAfterReports = 0;

  bool operator==(const SimMisbehaviour&) const = default;
};

// The attestation statement of the built-in makeCredential.
struct SimAttestationOptions {
  enum class X5c {
    kChain,  // "x5c" with the first `certificates` of SimAttestation().chain
    kNone,   // no "x5c": self attestation, signed with the credential's key
    kEmpty,  // "x5c" as an empty array
  };
  X5c x5c = X5c::kChain;
  uint32_t certificates = 2;        // 1 to 4: leaf, intermediate, root, cross-signed root
  bool corruptCertificate = false;  // the first certificate does not parse
  bool wrongSignature = false;      // "sig" is made over other data

  bool operator==(const SimAttestationOptions&) const = default;
};

// Simulated time that every REGISTER costs by default, as a real key's answer
// does; a host that polls without pausing still sees time pass.
constexpr uint32_t SIMKEY_U2F_REGISTER_MS = 20;

// The built-in U2F REGISTER.
struct SimU2fOptions {
  uint32_t touchDelayMs = 1500;     // 6985 until this much simulated time after the first REGISTER
  uint32_t pieces = 1;              // above 1: the registration in that many 61XX pieces
  bool firstPieceEmpty = false;     // the REGISTER answer itself carries no piece, only 61XX
  bool rejectExtended = false;      // 6700 to the extended-length form
  uint16_t extendedFormStatus = 0;  // not 0: the extended-length form gets this status word
  // Time each REGISTER answer takes (the first REGISTER counts its touch
  // delay from when it arrived).
  uint32_t registerAnswerMs = SIMKEY_U2F_REGISTER_MS;
  bool wrongSignature = false;      // the signature is made over other data
  bool corruptCertificate = false;  // the attestation certificate does not parse

  bool operator==(const SimU2fOptions&) const = default;
};

// Attestation material of a profile instead of the built-in: the
// certificates sent (DER, leaf first) and the leaf's P-256 private scalar
// (32 bytes) that signs. Either may be empty, which keeps the built-in one.
// Apart from the option structs, which tests fill as aggregates.
struct SimCustomMaterial {
  std::vector<std::vector<uint8_t>> chain;
  std::vector<uint8_t> privateKey;

  bool operator==(const SimCustomMaterial&) const = default;
};

// One discoverable credential the key holds at power-up. An empty
// credentialId is derived from rpId and userId, the same in every run.
struct SimStoredCredential {
  std::string rpId;
  std::string rpName;  // empty: the rp entity has no name
  std::vector<uint8_t> userId;
  std::string userName;
  std::string displayName;
  std::vector<uint8_t> credentialId;
  uint32_t credProtect = 0;  // 0: not set, else 1 to 3
  bool largeBlobKey = false;
  bool thirdPartyPayment = false;

  bool operator==(const SimStoredCredential&) const = default;
};

struct SimFingerprint {
  std::vector<uint8_t> templateId;
  std::string friendlyName;  // empty: none

  bool operator==(const SimFingerprint&) const = default;
};

// What GetInfo announces instead of the default key's; unset members keep it.
struct SimGetInfoConfig {
  std::optional<std::vector<std::string>> versions;
  std::map<std::string, bool> options;  // overrides and additions
  std::optional<std::vector<uint32_t>> pinUvAuthProtocols;
  std::optional<uint32_t> maxMsgSize;
  std::optional<uint32_t> maxSerializedLargeBlobArray;
  // Unset: the store's capacity less what it holds.
  std::optional<uint32_t> remainingDiscoverableCredentials;

  bool operator==(const SimGetInfoConfig&) const = default;
};

// How real keys' credential management departs from the standard.
struct SimCredmanQuirks {
  enum class TotalRps { kGiven, kLeftOutWhenNone, kLeftOut };
  TotalRps totalRps = TotalRps::kGiven;
  // enumerateRPsBegin with nothing stored: 0x2E, 0x14, or 0 (an answer
  // without an rp).
  uint8_t emptyRpsStatus = 0x2E;
  uint32_t claimedTotalRps = 0;          // not 0: totalRPs says this
  uint32_t claimedTotalCredentials = 0;  // not 0: totalCredentials says this
  uint8_t pastEndStatus = 0x30;          // GetNext after the last one
  bool noMaxRemaining = false;           // getCredsMetadata without member 2

  bool operator==(const SimCredmanQuirks&) const = default;
};

// The longest report a profile may give a device.
constexpr uint16_t SIMKEY_REPORT_LENGTH_MAX = 4096;

struct SimDeviceConfig {
  std::string path;  // "simkey:N" (N counts AddDevice calls) when empty
  uint16_t vendorId = 0x096E;
  uint16_t productId = 0x0858;
  uint16_t release = 0x0100;
  std::string product = "Simulated Key";
  uint16_t usagePage = 0xF1D0;
  uint16_t usage = 0x0001;
  // Report lengths including the report id byte. Reports are written and read
  // with exactly these lengths; the CTAPHID packet is always report bytes 1..64.
  uint16_t inputReportLength = 65;
  uint16_t outputReportLength = 65;
  std::string pin;               // empty: the key has no PIN
  uint32_t pinRetries = 8;       // getPinToken attempts left at power-up
  uint32_t pinTokenLength = 32;  // 16, 32, 48 or 64 bytes
  uint32_t uvRetries = 5;        // what getUVRetries answers
  bool pinPowerCycle = false;    // getPINRetries also says that a power cycle is needed
  // The INIT reply after nonce and channel id: CTAPHID protocol version, device
  // version (major, minor, build) and capability flags (WINK | CBOR: MSG is
  // supported, so no NMSG).
  uint8_t ctaphidProtocol = 2;
  std::array<uint8_t, 3> deviceVersion = {5, 2, 7};
  uint8_t capabilities = 0x05;
  SimAttestationOptions attestation;
  SimU2fOptions u2f;
  SimCardOptions card;  // as a card on a reader (quillmark-simkey --vpcd)
  // makeCredential sends a custom chain whole ("certificates" counts the
  // built-in one); U2F REGISTER sends u2fMaterial.chain[0].
  SimCustomMaterial attestationMaterial;
  SimCustomMaterial u2fMaterial;
  bool builtin = true;  // unlisted requests get the default key's answers
  // Shown whatever its vendor, as a key named with --device is: the record of
  // a key replays as that key even where the vendor filter would leave it out.
  bool named = false;
  std::vector<SimApduRule> apdu;  // tried in order, first match answers
  // CTAP requests: the rule with the longest matching request answers; at
  // equal length a whole-request match wins over a prefix or a bare command
  // byte, then cborRules over `cbor`, then the earlier rule.
  std::vector<SimCborRule> cborRules;
  // Shorthand: command byte -> one reply (status byte and CBOR), the same as
  // a bare command byte rule.
  std::map<uint8_t, std::vector<uint8_t>> cbor;
  // Simulated time a touch takes, for the CTAP commands listed; the built-in
  // authenticator's refusals (status other than 0) come without it.
  uint32_t touchDelayMs = 0;
  std::vector<uint8_t> touchCommands = {0x01};
  int openError = 0;  // an errno value that Open fails with, 0 = opens
  // How some firmwares behave where keys differ: channel ids 02000000,
  // 03000000, ... as bytes on the wire, and a keep-alive "processing" after
  // the touch, before the answer.
  bool sequentialChannels = false;
  bool processingKeepAlive = false;
  SimMisbehaviour misbehave;
  // Discoverable credentials at power-up; makeCredential with rk adds to them
  // while the device lives, up to maxCredentials.
  std::vector<SimStoredCredential> credentials;
  uint32_t maxCredentials = 25;
  SimGetInfoConfig getInfo;
  SimCredmanQuirks credmanQuirks;
  // getPinUvAuthTokenUsingUvWithPermissions fails with this status; 0: it
  // succeeds when uv and pinUvAuthToken are announced true.
  uint8_t uvAnswer = 0;
  std::vector<SimFingerprint> fingerprints;
  uint32_t fingerprintKind = 1;  // 1 touch, 2 swipe
  uint32_t samplesForEnroll = 5;
  // The serialized large-blob array with its digest; empty: the empty array.
  std::vector<uint8_t> largeBlobArray;

  bool operator==(const SimDeviceConfig&) const = default;
};
