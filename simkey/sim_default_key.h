// The built-in default key: what a key of the family answers to every request
// of a device refresh. Profiles change or remove any of it through their apdu
// and cbor maps; these constants are the answers when they do not.
//
// APDUs (data bytes, then the status word):
//   SELECT 00 A4 04 00 Lc <name> [Le]     the applet's selection answer, 9000;
//                                         an unknown name answers 6A82
//   identification A0 00 00 01 67 41 30 00 FF    SIMKEY_IDENTIFY_DATA
//   Windows Hello  D1 56 00 01 32 52 68 65 6C 6C 6F 01 01 00
//   OTP            D1 56 00 01 32 83 26 01 01
//   PIV            A0 00 00 03 08 00 00 10 00 01 00
//   GIDS           A0 00 00 03 97 42 54 46 59 02 01
//   NDEF           D2 76 00 00 85 01 01           no data
//   FIDO           A0 00 00 06 47 2F 00 01        "U2F_V2"
//   80 E2 80 00 05 DF FF 02 80 01 00   16 data bytes, bytes 8 and 9 the version
//                                      of the current applet (SIMKEY_*_VERSION);
//                                      6D00 when the current applet has none
//   80 E3 00 00 00                     fingerprint module, 7 data bytes, bytes 5
//                                      and 6 SIMKEY_FINGERPRINT_VERSION
//   80 E3 EE 80 00, 80 97 00 80 00     SIMKEY_HARDWARE_RECORD
//   U2F REGISTER 00 01 .., GET RESPONSE 00 C0 ..   see simkey/sim_u2f.h
//   U2F VERSION 00 03 00 00 ..         "U2F_V2"
//   anything else                      6D00
// A SELECT answered 9000, by a profile rule or built in, makes its applet
// current; a failed one leaves the current applet as it was.
//
// CTAP commands (requests that are not one CBOR map answer 0x12):
//   authenticatorGetInfo (0x04)         status 0 and SimDefaultGetInfo()
//   authenticatorClientPIN (0x06)       getRetries, getKeyAgreement, getPinToken,
//                                       getUVRetries and the two token-with-permissions
//                                       subcommands, with PIN protocols 1 and 2
//                                       (simkey/sim_client_pin.h). A wrong
//                                       PIN answers 0x31 and costs a retry (0x32 for the
//                                       last one and after it), no PIN set 0x35
//   authenticatorMakeCredential (0x01)  a packed attestation (simkey/sim_make_credential.h);
//                                       with a PIN set 0x36 without pinAuth, 0x33 for a
//                                       wrong one. It waits for the touch (touchDelayMs)
//                                       only when it answers status 0. With option rk it
//                                       stores the credential (0x28 when full)
//   authenticatorCredentialManagement (0x0A with FIDO_2_1 and credMgmt true, 0x41 with
//                                       credentialMgmtPreview true)  the reading
//                                       subcommands over the store
//                                       (simkey/sim_credential_management.h)
//   authenticatorBioEnrollment (0x09 with option bioEnroll, 0x40 with
//                                       userVerificationMgmtPreview)  sensor info and
//                                       enrollments (simkey/sim_bio_enrollment.h)
//   authenticatorLargeBlobs (0x0C with largeBlobs true)  get (simkey/sim_large_blobs.h)
//   anything else                       status 0x01
// GetInfo and what it announces follow the device's "getInfo" members;
// clientPIN answers only the protocols announced. Tokens carry permissions:
// getPinToken's may do everything; getPinUvAuthTokenUsingUvWithPermissions
// (0x06) needs uv and pinUvAuthToken true, costs a touch, and fails with
// uvAnswer when set; pcmr needs perCredMgmtRO and allows only reading
// credentials; a missing permission answers 0x40.
// Keys and certificates: simkey/sim_attestation.h. Every device draws its
// key-agreement, credential and U2F keys from its own generator, which gives
// the same keys in every run.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "simkey/sim_client_pin.h"
#include "simkey/sim_clock.h"
#include "simkey/sim_config.h"
#include "simkey/sim_credential_management.h"
#include "simkey/sim_credential_store.h"
#include "simkey/sim_crypto.h"
#include "simkey/sim_u2f.h"

struct SimDeviceConfig;

// "QM-SIMKEY-AAGUID": aaguid 514D2D53494D4B45592D414147554944.
inline constexpr uint8_t SIMKEY_DEFAULT_AAGUID[16] = {'Q', 'M', '-', 'S', 'I', 'M', 'K', 'E',
                                                      'Y', '-', 'A', 'A', 'G', 'U', 'I', 'D'};

inline constexpr uint8_t SIMKEY_IDENTIFY_DATA[20] = {0x49, 0x44, 0x01, 0x00, 0x05, 0x02, 0x07,
                                                     0x00, 0x0C, 0x0F, 0xFE, 0xE0, 0x00, 0x00,
                                                     0x00, 0x01, 0x00, 0x60, 0x21, 0x00};

constexpr uint16_t SIMKEY_FINGERPRINT_VERSION = 0x0307;
constexpr uint16_t SIMKEY_WINHELLO_VERSION = 0x0112;
constexpr uint16_t SIMKEY_OTP_VERSION = 0x0213;
constexpr uint16_t SIMKEY_PIV_VERSION = 0x0314;
constexpr uint16_t SIMKEY_GIDS_VERSION = 0x0415;
constexpr uint16_t SIMKEY_U2F_VERSION = 0x0516;

// The vendor hardware record: two leading bytes, then one entry per tag.
// Decoded: "Brisotte | RA04 ", serial "SIM0000001", "TOVARIN Standard",
// COS 5.2.7, 2025-01-15 09:45:30, "FIDO+CCID(0x60)", PIN length 4 to 63 with
// only weak PINs refused, alwaysUV default false, EA default false,
// noMcGaPermissionsWithClientPin false, client PIN 00, build 5.2.7, LED off
// when idle, "USB \ NFC ".
inline constexpr uint8_t SIMKEY_HARDWARE_RECORD[] = {
    0x01, 0x00,                                                           // leading bytes
    0x81, 0x02, 0x03, 0x01,                                               // product name
    0x82, 0x0A, 'S',  'I',  'M',  '0',  '0',  '0',  '0',  '0', '0', '1',  // serial
    0x83, 0x02, 0x00, 0x00,                                               // customization
    0x84, 0x03, 0x05, 0x02, 0x07,                                         // COS version
    0x85, 0x07, 0x20, 0x25, 0x01, 0x15, 0x09, 0x45, 0x30,                 // production
    0x86, 0x01, 0x60,                                                     // device protocols
    0x87, 0x07, 0x01, 0x00, 0x00, 0x00, 0x00, 0x3F, 0x04,                 // PIN complexity
    0x88, 0x01, 0x00,                                                     // alwaysUV
    0x89, 0x02, 0x00, 0x00,                                               // EA default
    0x90, 0x01, 0x00,                                                     // noMcGa...
    0x91, 0x01, 0x00,                                                     // client PIN
    0x92, 0x02, 0x52, 0x07,                                               // build version
    0x93, 0x01, 0x00,                                                     // LED
    0x94, 0x01, 0x21,                                                     // transports
};

// authenticatorGetInfo of the default key, members 0x01 to 0x1F.
inline constexpr const char* SIMKEY_VERSIONS[] = {"U2F_V2", "FIDO_2_0", "FIDO_2_1"};
inline constexpr const char* SIMKEY_EXTENSIONS[] = {"credProtect", "hmac-secret", "largeBlobKey",
                                                    "credBlob", "minPinLength"};
struct SimOption {
  const char* name;
  bool value;
};
// clientPin is true exactly when the device has a PIN.
inline constexpr SimOption SIMKEY_OPTIONS[] = {
    {"rk", true},
    {"up", true},
    {"uv", false},
    {"plat", false},
    {"uvAcfg", false},
    {"alwaysUv", false},
    {"credMgmt", true},
    {"authnrCfg", true},
    {"bioEnroll", false},
    {"clientPin", false},
    {"largeBlobs", true},
    {"uvBioEnroll", false},
    {"pinUvAuthToken", true},
    {"setMinPINLength", true},
    {"makeCredUvNotRqd", true},
    {"credentialMgmtPreview", true},
    {"userVerificationMgmtPreview", false},
    {"noMcGaPermissionsWithClientPin", false},
};
constexpr uint32_t SIMKEY_MAX_MSG_SIZE = 1200;
inline constexpr uint32_t SIMKEY_PIN_UV_AUTH_PROTOCOLS[] = {2, 1};
constexpr uint32_t SIMKEY_MAX_CREDENTIAL_COUNT_IN_LIST = 8;
constexpr uint32_t SIMKEY_MAX_CREDENTIAL_ID_LENGTH = 128;
inline constexpr const char* SIMKEY_TRANSPORTS[] = {"nfc", "usb"};
inline constexpr int SIMKEY_ALGORITHMS[] = {-7, -8};  // each with type "public-key"
constexpr uint32_t SIMKEY_MAX_SERIALIZED_LARGE_BLOB_ARRAY = 1024;
constexpr bool SIMKEY_FORCE_PIN_CHANGE = false;
constexpr uint32_t SIMKEY_MIN_PIN_LENGTH = 4;
constexpr uint32_t SIMKEY_FIRMWARE_VERSION = 0x050207;  // 328199
constexpr uint32_t SIMKEY_MAX_CRED_BLOB_LENGTH = 32;
constexpr uint32_t SIMKEY_MAX_RPIDS_FOR_SET_MIN_PIN_LENGTH = 4;
constexpr uint32_t SIMKEY_PREFERRED_PLATFORM_UV_ATTEMPTS = 3;
constexpr uint32_t SIMKEY_UV_MODALITY = 2;  // fingerprint
struct SimCertification {
  const char* name;
  uint32_t level;
};
inline constexpr SimCertification SIMKEY_CERTIFICATIONS[] = {
    {"FIDO", 2}, {"FIPS-CMVP-2", 2}, {"FIPS-CMVP-2-PHY", 3}, {"CC-EAL", 5}};
constexpr uint32_t SIMKEY_REMAINING_DISCOVERABLE_CREDENTIALS = 25;
// Sent as one unsigned integer, not as an array.
constexpr uint32_t SIMKEY_VENDOR_PROTOTYPE_CONFIG_COMMANDS = 1;
inline constexpr const char* SIMKEY_ATTESTATION_FORMATS[] = {"packed", "none"};
constexpr uint32_t SIMKEY_UV_COUNT_SINCE_LAST_PIN_ENTRY = 0;
constexpr bool SIMKEY_LONG_TOUCH_FOR_RESET = false;
inline constexpr uint8_t SIMKEY_ENC_IDENTIFIER[16] = {
    0x3A, 0x91, 0x0C, 0x5E, 0x77, 0xD2, 0x48, 0x1F, 0xB0, 0x06, 0xE4, 0x29, 0x8D, 0x53, 0xC1, 0x7A};
inline constexpr const char* SIMKEY_TRANSPORTS_FOR_RESET[] = {"usb"};
constexpr bool SIMKEY_PIN_COMPLEXITY_POLICY = false;
// A byte string holding a URL.
inline constexpr char SIMKEY_PIN_COMPLEXITY_POLICY_URL[] = "https://pin.example/policy";
constexpr uint32_t SIMKEY_MAX_PIN_LENGTH = 63;
inline constexpr uint8_t SIMKEY_ENC_CRED_STORE_STATE[16] = {
    0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
inline constexpr uint32_t SIMKEY_AUTHENTICATOR_CONFIG_COMMANDS[] = {1, 2, 3};

// The GetInfo map (without the status byte); text maps in canonical key order.
std::vector<uint8_t> SimDefaultGetInfo(bool clientPin);
// The same with the device's getInfo members and `clientPin` (whether it has
// a PIN now); `remaining` stands where the device gives no
// remainingDiscoverableCredentials.
std::vector<uint8_t> SimGetInfo(const SimDeviceConfig& config, bool clientPin, uint32_t remaining);
// What the device's GetInfo announces: an option's value (none when it is not
// announced; clientPin as the profile has it), a version, the PIN protocols,
// maxMsgSize.
std::optional<bool> SimOptionOf(const SimDeviceConfig& config, std::string_view name);
bool SimAnnouncesVersion(const SimDeviceConfig& config, std::string_view version);
std::vector<uint32_t> SimPinProtocols(const SimGetInfoConfig& info);
uint32_t SimMaxMsgSize(const SimDeviceConfig& config);

// The default key's applets and authenticator. The applets keep one state:
// which applet the last successful SELECT made current; the authenticator
// keeps its PIN state, signature counter and U2F attempt.
class SimDefaultKey {
 public:
  explicit SimDefaultKey(SimClock& clock) : u2f_(clock, random_) {}

  std::vector<uint8_t> AnswerApdu(const std::vector<uint8_t>& apdu, const SimDeviceConfig& config);
  std::vector<uint8_t> AnswerCbor(const std::vector<uint8_t>& request,
                                  const SimDeviceConfig& config);
  // Whether GetInfo announces what the CTAP command needs.
  static bool Offers(const SimDeviceConfig& config, uint8_t command);
  // Tells the applets of an APDU answered elsewhere (by a profile rule).
  void NoteAnswer(const std::vector<uint8_t>& apdu, const std::vector<uint8_t>& reply);

 private:
  int currentApplet_ = -1;
  SimRandom random_{"simkey device"};
  SimClientPin clientPin_{random_};
  SimCredentialStore store_;
  SimCredentialManagement credman_;
  SimU2f u2f_;
  uint32_t signCount_ = 0;
};
