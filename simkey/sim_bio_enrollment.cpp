#include "simkey/sim_bio_enrollment.h"

#include <algorithm>

#include "simkey/sim_cbor.h"
#include "simkey/sim_ctap.h"
#include "simkey/sim_default_key.h"

namespace {

constexpr uint8_t kFingerprint = 0x01;
constexpr int64_t kEnumerateEnrollments = 0x04;
constexpr int64_t kGetSensorInfo = 0x07;

std::vector<uint8_t> Enrollments(const SimDeviceConfig& config) {
  if (config.fingerprints.empty()) return {SIM_CTAP_INVALID_OPTION};
  SimCborOut out;
  out.Map(1);
  out.Unsigned(0x07);
  out.Array(config.fingerprints.size());
  for (const SimFingerprint& fingerprint : config.fingerprints) {
    out.Map(fingerprint.friendlyName.empty() ? 1 : 2);
    out.Unsigned(0x01);
    out.Bytes(fingerprint.templateId.data(), fingerprint.templateId.size());
    if (!fingerprint.friendlyName.empty()) {
      out.Unsigned(0x02);
      out.Text(fingerprint.friendlyName);
    }
  }
  return SimCtapAnswer(SIM_CTAP_OK, out.bytes());
}

}  // namespace

std::vector<uint8_t> SimBioEnrollment(const SimDeviceConfig& config, const SimCborItem& request,
                                      SimClientPin& pin) {
  const SimCborItem& modality = request.Find(0x01);
  const SimCborItem& subCommand = request.Find(0x02);
  const SimCborItem& protocol = request.Find(0x04);
  const SimCborItem& param = request.Find(0x05);
  if (request.Find(0x06).IsTrue()) {
    SimCborOut out;
    out.Map(1);
    out.Unsigned(0x01);
    out.Unsigned(kFingerprint);
    return SimCtapAnswer(SIM_CTAP_OK, out.bytes());
  }
  if (!modality.present() || !subCommand.present()) return {SIM_CTAP_MISSING_PARAMETER};
  if (modality.major != SimCborItem::kUnsigned || subCommand.major != SimCborItem::kUnsigned) {
    return {SIM_CTAP_INVALID_PARAMETER};
  }
  if (modality.Int() != kFingerprint) return {SIM_CTAP_UNSUPPORTED_OPTION};

  if (subCommand.Int() == kGetSensorInfo) {
    SimCborOut out;
    out.Map(2);
    out.Unsigned(0x02);
    out.Unsigned(config.fingerprintKind);
    out.Unsigned(0x03);
    out.Unsigned(config.samplesForEnroll);
    return SimCtapAnswer(SIM_CTAP_OK, out.bytes());
  }
  if (subCommand.Int() != kEnumerateEnrollments) return {SIM_CTAP_INVALID_SUBCOMMAND};

  const std::vector<uint8_t> message = {kFingerprint, static_cast<uint8_t>(kEnumerateEnrollments)};
  const uint8_t status = pin.CheckAuth(config, protocol, param, message, SIMKEY_PERMISSION_BE);
  if (status != SIM_CTAP_OK) return {status};
  return Enrollments(config);
}
