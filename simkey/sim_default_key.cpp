#include "simkey/sim_default_key.h"

#include <algorithm>
#include <iterator>

#include "simkey/sim_bio_enrollment.h"
#include "simkey/sim_cbor_in.h"
#include "simkey/sim_config.h"
#include "simkey/sim_ctap.h"
#include "simkey/sim_large_blobs.h"
#include "simkey/sim_make_credential.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Applet {
  Bytes name;
  Bytes selectData;
  uint16_t version;  // 0: the applet does not answer the version request
};

const std::vector<Applet>& Applets() {
  static const std::vector<Applet> applets = {
      {{0xA0, 0x00, 0x00, 0x01, 0x67, 0x41, 0x30, 0x00, 0xFF},
       Bytes(std::begin(SIMKEY_IDENTIFY_DATA), std::end(SIMKEY_IDENTIFY_DATA)),
       0},
      {{0xD1, 0x56, 0x00, 0x01, 0x32, 0x52, 0x68, 0x65, 0x6C, 0x6C, 0x6F, 0x01, 0x01, 0x00},
       {0x57, 0x48, 0x01, 0x12},
       SIMKEY_WINHELLO_VERSION},
      {{0xD1, 0x56, 0x00, 0x01, 0x32, 0x83, 0x26, 0x01, 0x01},
       {0x02, 0x13, 0x00, 0x05, 0x07},
       SIMKEY_OTP_VERSION},
      // Application property template: application id and its authority.
      {{0xA0, 0x00, 0x00, 0x03, 0x08, 0x00, 0x00, 0x10, 0x00, 0x01, 0x00},
       {0x61, 0x11, 0x4F, 0x06, 0x00, 0x00, 0x10, 0x00, 0x01, 0x00, 0x79, 0x07, 0x4F, 0x05, 0xA0,
        0x00, 0x00, 0x03, 0x08},
       SIMKEY_PIV_VERSION},
      {{0xA0, 0x00, 0x00, 0x03, 0x97, 0x42, 0x54, 0x46, 0x59, 0x02, 0x01},
       {0x61, 0x12, 0x4F, 0x0B, 0xA0, 0x00, 0x00, 0x03, 0x97, 0x42,
        0x54, 0x46, 0x59, 0x02, 0x01, 0x73, 0x03, 0x40, 0x01, 0xC0},
       SIMKEY_GIDS_VERSION},
      {{0xD2, 0x76, 0x00, 0x00, 0x85, 0x01, 0x01}, {}, 0},
      {{0xA0, 0x00, 0x00, 0x06, 0x47, 0x2F, 0x00, 0x01},
       {'U', '2', 'F', '_', 'V', '2'},
       SIMKEY_U2F_VERSION},
  };
  return applets;
}

const Bytes kVersionRequest = {0x80, 0xE2, 0x80, 0x00, 0x05, 0xDF, 0xFF, 0x02, 0x80, 0x01, 0x00};
const Bytes kFingerprintRequest = {0x80, 0xE3, 0x00, 0x00, 0x00};
const Bytes kHardwareRequest = {0x80, 0xE3, 0xEE, 0x80, 0x00};
const Bytes kHardwareRequestAlt = {0x80, 0x97, 0x00, 0x80, 0x00};

Bytes WithStatus(Bytes data, uint16_t status) {
  data.push_back(static_cast<uint8_t>(status >> 8));
  data.push_back(static_cast<uint8_t>(status));
  return data;
}

bool IsSelectByName(const Bytes& apdu) {
  return apdu.size() >= 5 && apdu[0] == 0x00 && apdu[1] == 0xA4 && apdu[2] == 0x04;
}

// The name of a SELECT by name: Lc bytes after the header, an optional Le
// after them. False when the lengths do not fit the APDU.
bool SelectName(const Bytes& apdu, Bytes& name) {
  const size_t lc = apdu[4];
  const size_t end = 5 + lc;
  if (lc == 0 || end > apdu.size() || apdu.size() > end + 1) return false;
  name.assign(apdu.begin() + 5, apdu.begin() + static_cast<std::ptrdiff_t>(end));
  return true;
}

int FindApplet(const Bytes& name) {
  const auto& applets = Applets();
  for (size_t i = 0; i < applets.size(); ++i) {
    if (applets[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

std::vector<uint8_t> SimDefaultKey::AnswerApdu(const std::vector<uint8_t>& apdu,
                                               const SimDeviceConfig& config) {
  Bytes reply;
  if (u2f_.Answer(config, apdu, reply)) return reply;
  if (IsSelectByName(apdu)) {
    Bytes name;
    if (!SelectName(apdu, name)) return WithStatus({}, 0x6700);
    const int applet = FindApplet(name);
    if (applet < 0) return WithStatus({}, 0x6A82);
    currentApplet_ = applet;
    return WithStatus(Applets()[static_cast<size_t>(applet)].selectData, 0x9000);
  }
  if (apdu == kVersionRequest) {
    if (currentApplet_ < 0) return WithStatus({}, 0x6D00);
    const uint16_t version = Applets()[static_cast<size_t>(currentApplet_)].version;
    if (version == 0) return WithStatus({}, 0x6D00);
    Bytes answer = {0xDF, 0xFF, 0x0E, 0x80, 0x01, 0x0C, 0x00, 0x02};
    answer.push_back(static_cast<uint8_t>(version >> 8));
    answer.push_back(static_cast<uint8_t>(version));
    answer.resize(16, 0x00);
    return WithStatus(answer, 0x9000);
  }
  if (apdu == kFingerprintRequest) {
    return WithStatus(
        {0x46, 0x50, 0x00, 0x01, 0x00, static_cast<uint8_t>(SIMKEY_FINGERPRINT_VERSION >> 8),
         static_cast<uint8_t>(SIMKEY_FINGERPRINT_VERSION)},
        0x9000);
  }
  // U2F VERSION (CLA 00, INS 03, P1 P2 00 00), in either length form.
  if (apdu.size() >= 4 && apdu[0] == 0x00 && apdu[1] == 0x03 && apdu[2] == 0x00 &&
      apdu[3] == 0x00) {
    return WithStatus({'U', '2', 'F', '_', 'V', '2'}, 0x9000);
  }
  if (apdu == kHardwareRequest || apdu == kHardwareRequestAlt) {
    return WithStatus(Bytes(std::begin(SIMKEY_HARDWARE_RECORD), std::end(SIMKEY_HARDWARE_RECORD)),
                      0x9000);
  }
  return WithStatus({}, 0x6D00);
}

void SimDefaultKey::NoteAnswer(const std::vector<uint8_t>& apdu,
                               const std::vector<uint8_t>& reply) {
  u2f_.NoteOtherApdu();
  Bytes name;
  if (!IsSelectByName(apdu) || !SelectName(apdu, name)) return;
  const size_t n = reply.size();
  if (n < 2 || reply[n - 2] != 0x90 || reply[n - 1] != 0x00) return;
  currentApplet_ = FindApplet(name);  // an applet this key does not know has no version
}

std::vector<uint8_t> SimDefaultKey::AnswerCbor(const std::vector<uint8_t>& request,
                                               const SimDeviceConfig& config) {
  if (request.empty()) return {SIM_CTAP_INVALID_COMMAND};
  store_.Start(config);
  const uint8_t command = request[0];
  if (command == 0x04) {
    return SimCtapAnswer(SIM_CTAP_OK,
                         SimGetInfo(config, !clientPin_.Pin(config).empty(), store_.remaining()));
  }
  if (!Offers(config, command)) return {SIM_CTAP_INVALID_COMMAND};
  // A command byte alone stands for an empty parameter map.
  SimCborItem parameters;
  parameters.major = SimCborItem::kMap;
  if (request.size() > 1 && (!SimReadCbor(&request[1], request.size() - 1, parameters) ||
                             parameters.major != SimCborItem::kMap)) {
    return {SIM_CTAP_INVALID_CBOR};
  }
  switch (command) {
    case 0x06:
      return clientPin_.Answer(config, parameters);
    case 0x0A:
    case 0x41:
      return credman_.Answer(config, parameters, clientPin_, store_);
    case 0x09:
    case 0x40:
      return SimBioEnrollment(config, parameters, clientPin_);
    case 0x0C:
      return SimLargeBlobs(config, parameters);
    default:
      return SimMakeCredential(config, parameters, clientPin_, random_, signCount_, store_);
  }
}

bool SimDefaultKey::Offers(const SimDeviceConfig& config, uint8_t command) {
  switch (command) {
    case 0x01:
    case 0x06:
      return true;
    case 0x0A:
      return SimAnnouncesVersion(config, "FIDO_2_1") &&
             SimOptionOf(config, "credMgmt").value_or(false);
    case 0x41:
      return SimOptionOf(config, "credentialMgmtPreview").value_or(false);
    case 0x09:
      return SimOptionOf(config, "bioEnroll").has_value();
    case 0x40:
      return SimOptionOf(config, "userVerificationMgmtPreview").has_value();
    case 0x0C:
      return SimOptionOf(config, "largeBlobs").value_or(false);
    default:
      return false;
  }
}
