#include "simkey/sim_credential_management.h"

#include <algorithm>
#include <string>

#include "simkey/sim_default_key.h"

#include "simkey/sim_cbor.h"
#include "simkey/sim_ctap.h"
#include "simkey/sim_make_credential.h"

namespace {

constexpr int64_t kGetMetadata = 0x01;
constexpr int64_t kRpsBegin = 0x02;
constexpr int64_t kRpsNext = 0x03;
constexpr int64_t kCredentialsBegin = 0x04;
constexpr int64_t kCredentialsNext = 0x05;

// Hosts send canonical CBOR, so writing the parsed item again gives the
// bytes they authenticated.
void Encode(const SimCborItem& item, SimCborOut& out) {
  const uint8_t major = static_cast<uint8_t>(item.major);
  switch (item.major) {
    case SimCborItem::kBytes:
    case SimCborItem::kText:
      out.Head(major, item.bytes.size());
      out.Raw(item.bytes);
      break;
    case SimCborItem::kArray:
    case SimCborItem::kMap:
      out.Head(major, item.major == SimCborItem::kMap ? item.items.size() / 2 : item.items.size());
      for (const SimCborItem& child : item.items) Encode(child, out);
      break;
    default:
      out.Head(major, item.argument);
      break;
  }
}

void Text(SimCborOut& out, const char* key, const std::string& value) {
  out.Text(key);
  out.Text(value);
}

std::vector<uint8_t> Ok(const SimCborOut& out) { return SimCtapAnswer(SIM_CTAP_OK, out.bytes()); }

// {3: rp, 4: rpIDHash[, 5: totalRPs]}
std::vector<uint8_t> RpAnswer(const SimCredentialEntry& entry, const uint32_t* total) {
  const SimStoredCredential& c = entry.credential;
  SimCborOut out;
  out.Map(total != nullptr ? 3 : 2);
  out.Unsigned(0x03);
  out.Map(c.rpName.empty() ? 1 : 2);
  Text(out, "id", c.rpId);
  if (!c.rpName.empty()) Text(out, "name", c.rpName);
  out.Unsigned(0x04);
  out.Bytes(entry.rpIdHash.data(), entry.rpIdHash.size());
  if (total != nullptr) {
    out.Unsigned(0x05);
    out.Unsigned(*total);
  }
  return Ok(out);
}

std::vector<uint8_t> CredentialAnswer(const SimCredentialEntry& entry, const uint32_t* total) {
  const SimStoredCredential& c = entry.credential;
  const std::vector<uint8_t> key = SimCoseKey(entry.publicKey);
  SimCborOut out;
  out.Map(3 + (total != nullptr) + (c.credProtect != 0) + !entry.largeBlobKey.empty() +
          c.thirdPartyPayment);
  out.Unsigned(0x06);
  out.Map(1 + !c.userName.empty() + !c.displayName.empty());
  out.Text("id");
  out.Bytes(c.userId.data(), c.userId.size());
  if (!c.userName.empty()) Text(out, "name", c.userName);
  if (!c.displayName.empty()) Text(out, "displayName", c.displayName);
  out.Unsigned(0x07);
  out.Map(2);
  out.Text("id");
  out.Bytes(c.credentialId.data(), c.credentialId.size());
  Text(out, "type", "public-key");
  out.Unsigned(0x08);
  out.Raw(key);
  if (total != nullptr) {
    out.Unsigned(0x09);
    out.Unsigned(*total);
  }
  if (c.credProtect != 0) {
    out.Unsigned(0x0A);
    out.Unsigned(c.credProtect);
  }
  if (!entry.largeBlobKey.empty()) {
    out.Unsigned(0x0B);
    out.Bytes(entry.largeBlobKey.data(), entry.largeBlobKey.size());
  }
  if (c.thirdPartyPayment) {
    out.Unsigned(0x0C);
    out.Bool(true);
  }
  return Ok(out);
}

}  // namespace

std::vector<uint8_t> SimCredentialManagement::Answer(const SimDeviceConfig& config,
                                                     const SimCborItem& request, SimClientPin& pin,
                                                     const SimCredentialStore& store) {
  const SimCborItem& subCommand = request.Find(0x01);
  const SimCborItem& params = request.Find(0x02);
  const SimCborItem& protocol = request.Find(0x03);
  const SimCborItem& param = request.Find(0x04);
  if (!subCommand.present()) return {SIM_CTAP_MISSING_PARAMETER};
  if (subCommand.major != SimCborItem::kUnsigned) return {SIM_CTAP_INVALID_PARAMETER};
  const int64_t sub = subCommand.Int();
  if (sub == kRpsNext) return NextRp(config);
  if (sub == kCredentialsNext) return NextCredential(config);
  rpsOpen_ = false;
  credentialsOpen_ = false;
  if (sub != kGetMetadata && sub != kRpsBegin && sub != kCredentialsBegin) {
    return {SIM_CTAP_INVALID_SUBCOMMAND};
  }

  SimCborOut message;
  message.Unsigned(static_cast<uint64_t>(sub));
  if (params.present()) Encode(params, message);
  const uint8_t status = pin.CheckAuth(config, protocol, param, message.bytes(),
                                       SIMKEY_PERMISSION_CM | SIMKEY_PERMISSION_PCMR);
  if (status != SIM_CTAP_OK) return {status};

  if (sub == kRpsBegin) return RpsBegin(config, store);
  if (sub == kCredentialsBegin) return CredentialsBegin(config, params, store);
  const bool withRemaining = !config.credmanQuirks.noMaxRemaining;
  SimCborOut out;
  out.Map(withRemaining ? 2 : 1);
  out.Unsigned(0x01);
  out.Unsigned(store.entries().size());
  if (withRemaining) {
    out.Unsigned(0x02);
    out.Unsigned(store.remaining());
  }
  return Ok(out);
}

std::vector<uint8_t> SimCredentialManagement::RpsBegin(const SimDeviceConfig& config,
                                                       const SimCredentialStore& store) {
  const SimCredmanQuirks& quirks = config.credmanQuirks;
  rps_.clear();
  for (const SimCredentialEntry* entry : store.Rps()) rps_.push_back(*entry);
  const uint32_t total =
      quirks.claimedTotalRps != 0 ? quirks.claimedTotalRps : static_cast<uint32_t>(rps_.size());
  const bool leftOut =
      quirks.totalRps == SimCredmanQuirks::TotalRps::kLeftOut ||
      (rps_.empty() && quirks.totalRps == SimCredmanQuirks::TotalRps::kLeftOutWhenNone);
  if (rps_.empty()) {
    if (quirks.emptyRpsStatus != SIM_CTAP_OK) return {quirks.emptyRpsStatus};
    SimCborOut out;
    out.Map(leftOut ? 0 : 1);
    if (!leftOut) {
      out.Unsigned(0x05);
      out.Unsigned(total);
    }
    return Ok(out);
  }
  rpsOpen_ = true;
  nextRp_ = 1;
  return RpAnswer(rps_[0], leftOut ? nullptr : &total);
}

std::vector<uint8_t> SimCredentialManagement::NextRp(const SimDeviceConfig& config) {
  credentialsOpen_ = false;
  if (!rpsOpen_) return {SIM_CTAP_NOT_ALLOWED};
  if (nextRp_ >= rps_.size()) {
    rpsOpen_ = false;
    return {config.credmanQuirks.pastEndStatus};
  }
  return RpAnswer(rps_[nextRp_++], nullptr);
}

std::vector<uint8_t> SimCredentialManagement::CredentialsBegin(const SimDeviceConfig& config,
                                                               const SimCborItem& params,
                                                               const SimCredentialStore& store) {
  const SimCborItem& rpIdHash = params.Find(0x01);
  if (!rpIdHash.present()) return {SIM_CTAP_MISSING_PARAMETER};
  if (rpIdHash.major != SimCborItem::kBytes || rpIdHash.bytes.size() != 32) {
    return {SIM_CTAP_INVALID_PARAMETER};
  }
  SimHash hash{};
  std::copy(rpIdHash.bytes.begin(), rpIdHash.bytes.end(), hash.begin());
  credentials_.clear();
  for (const SimCredentialEntry* entry : store.OfRp(hash)) credentials_.push_back(*entry);
  if (credentials_.empty()) return {SIM_CTAP_NO_CREDENTIALS};
  const uint32_t claimed = config.credmanQuirks.claimedTotalCredentials;
  const uint32_t total = claimed != 0 ? claimed : static_cast<uint32_t>(credentials_.size());
  credentialsOpen_ = true;
  nextCredential_ = 1;
  return CredentialAnswer(credentials_[0], &total);
}

std::vector<uint8_t> SimCredentialManagement::NextCredential(const SimDeviceConfig& config) {
  rpsOpen_ = false;
  if (!credentialsOpen_) return {SIM_CTAP_NOT_ALLOWED};
  if (nextCredential_ >= credentials_.size()) {
    credentialsOpen_ = false;
    return {config.credmanQuirks.pastEndStatus};
  }
  return CredentialAnswer(credentials_[nextCredential_++], nullptr);
}
