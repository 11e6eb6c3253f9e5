#include "simkey/sim_profile_store.h"

#include <functional>
#include <map>
#include <utility>

namespace {

using Field = std::function<bool(const SimJson&, const std::string&)>;

// Reads an object's members through `fields`; an unknown member is an error.
bool ReadObject(SimJsonReader& reader, const SimJson& value, const std::string& where,
                const std::map<std::string, Field>& fields) {
  if (!value.is_object()) return reader.Fail(where, "expected an object");
  for (const auto& [key, item] : value.items()) {
    if (key == "comment") continue;
    const auto field = fields.find(key);
    if (field == fields.end()) return reader.Fail(where + "." + key, "unknown field");
    if (!field->second(item, where + "." + key)) return false;
  }
  return true;
}

template <typename T, typename Read>
bool ReadList(SimJsonReader& reader, const SimJson& value, const std::string& where,
              std::vector<T>& out, Read read) {
  if (!value.is_array()) return reader.Fail(where, "expected an array");
  std::vector<T> list(value.size());
  for (size_t i = 0; i < value.size(); ++i) {
    if (!read(value[i], where + "[" + std::to_string(i) + "]", list[i])) return false;
  }
  out = std::move(list);
  return true;
}

// Hex bytes, `min` to `max` of them.
bool ReadHex(SimJsonReader& reader, const SimJson& value, const std::string& where, size_t min,
             size_t max, std::vector<uint8_t>& out) {
  std::string text;
  if (!reader.Text(value, where, text)) return false;
  std::vector<uint8_t> bytes;
  if (!SimParseHex(text, bytes)) return reader.Fail(where, "not hexadecimal bytes");
  if (bytes.size() < min || bytes.size() > max) {
    return reader.Fail(where, "expected " + std::to_string(min) + " to " + std::to_string(max) +
                                  " bytes, not " + std::to_string(bytes.size()));
  }
  out = std::move(bytes);
  return true;
}

template <typename T>
bool ReadRanged(SimJsonReader& reader, const SimJson& value, const std::string& where, uint64_t min,
                uint64_t max, T& out) {
  T number = 0;
  if (!reader.Unsigned(value, where, false, number, max)) return false;
  if (number < min) {
    return reader.Fail(where, std::to_string(number) + " is smaller than " + std::to_string(min));
  }
  out = number;
  return true;
}

bool ReadCredential(SimJsonReader& reader, const SimJson& value, const std::string& where,
                    SimStoredCredential& out) {
  auto& r = reader;
  const std::map<std::string, Field> fields = {
      {"rpId", [&](const SimJson& v, const std::string& w) { return r.Text(v, w, out.rpId); }},
      {"rpName", [&](const SimJson& v, const std::string& w) { return r.Text(v, w, out.rpName); }},
      {"userId",
       [&](const SimJson& v, const std::string& w) { return ReadHex(r, v, w, 1, 64, out.userId); }},
      {"userName",
       [&](const SimJson& v, const std::string& w) { return r.Text(v, w, out.userName); }},
      {"displayName",
       [&](const SimJson& v, const std::string& w) { return r.Text(v, w, out.displayName); }},
      {"credentialId",
       [&](const SimJson& v, const std::string& w) {
         return ReadHex(r, v, w, 16, 128, out.credentialId);
       }},
      {"credProtect",
       [&](const SimJson& v, const std::string& w) {
         return ReadRanged(r, v, w, 1, 3, out.credProtect);
       }},
      {"largeBlobKey",
       [&](const SimJson& v, const std::string& w) { return r.Bool(v, w, out.largeBlobKey); }},
      {"thirdPartyPayment",
       [&](const SimJson& v, const std::string& w) { return r.Bool(v, w, out.thirdPartyPayment); }},
  };
  if (!ReadObject(reader, value, where, fields)) return false;
  if (out.rpId.empty()) return reader.Fail(where, "expected a non-empty \"rpId\"");
  if (out.userId.empty()) return reader.Fail(where, "expected a \"userId\"");
  return true;
}

bool ReadFingerprint(SimJsonReader& reader, const SimJson& value, const std::string& where,
                     SimFingerprint& out) {
  auto& r = reader;
  const std::map<std::string, Field> fields = {
      {"templateId", [&](const SimJson& v,
                         const std::string& w) { return ReadHex(r, v, w, 1, 32, out.templateId); }},
      {"friendlyName",
       [&](const SimJson& v, const std::string& w) { return r.Text(v, w, out.friendlyName); }},
  };
  if (!ReadObject(reader, value, where, fields)) return false;
  if (out.templateId.empty()) return reader.Fail(where, "expected a \"templateId\"");
  return true;
}

bool ReadGetInfo(SimJsonReader& reader, const SimJson& value, const std::string& where,
                 SimGetInfoConfig& out) {
  auto& r = reader;
  const std::map<std::string, Field> fields = {
      {"versions",
       [&](const SimJson& v, const std::string& w) {
         out.versions.emplace();
         return ReadList(r, v, w, *out.versions,
                         [&](const SimJson& e, const std::string& ew, std::string& text) {
                           return r.Text(e, ew, text);
                         });
       }},
      {"options",
       [&](const SimJson& v, const std::string& w) {
         if (!v.is_object()) return r.Fail(w, "expected an object");
         for (const auto& [name, flag] : v.items()) {
           if (!r.Bool(flag, w + "." + name, out.options[name])) return false;
         }
         return true;
       }},
      {"pinUvAuthProtocols",
       [&](const SimJson& v, const std::string& w) {
         out.pinUvAuthProtocols.emplace();
         return ReadList(r, v, w, *out.pinUvAuthProtocols,
                         [&](const SimJson& e, const std::string& ew, uint32_t& protocol) {
                           return ReadRanged(r, e, ew, 1, 2, protocol);
                         });
       }},
      {"maxMsgSize",
       [&](const SimJson& v, const std::string& w) {
         return ReadRanged(r, v, w, 64, 65535, out.maxMsgSize.emplace());
       }},
      {"maxSerializedLargeBlobArray",
       [&](const SimJson& v, const std::string& w) {
         return r.Unsigned(v, w, false, out.maxSerializedLargeBlobArray.emplace());
       }},
      {"remainingDiscoverableCredentials",
       [&](const SimJson& v, const std::string& w) {
         return r.Unsigned(v, w, false, out.remainingDiscoverableCredentials.emplace());
       }},
  };
  return ReadObject(reader, value, where, fields);
}

bool ReadQuirks(SimJsonReader& reader, const SimJson& value, const std::string& where,
                SimCredmanQuirks& out) {
  auto& r = reader;
  const std::map<std::string, Field> fields = {
      {"totalRPs",
       [&](const SimJson& v, const std::string& w) {
         std::string form;
         if (!r.Text(v, w, form)) return false;
         if (form == "given") {
           out.totalRps = SimCredmanQuirks::TotalRps::kGiven;
         } else if (form == "leftOutWhenNone") {
           out.totalRps = SimCredmanQuirks::TotalRps::kLeftOutWhenNone;
         } else if (form == "leftOut") {
           out.totalRps = SimCredmanQuirks::TotalRps::kLeftOut;
         } else {
           return r.Fail(w,
                         "\"" + form + "\" is not \"given\", \"leftOutWhenNone\" or \"leftOut\"");
         }
         return true;
       }},
      {"emptyRpsStatus",
       [&](const SimJson& v, const std::string& w) {
         return r.Unsigned(v, w, true, out.emptyRpsStatus);
       }},
      {"claimedTotalRPs",
       [&](const SimJson& v, const std::string& w) {
         return r.Unsigned(v, w, false, out.claimedTotalRps);
       }},
      {"claimedTotalCredentials",
       [&](const SimJson& v, const std::string& w) {
         return r.Unsigned(v, w, false, out.claimedTotalCredentials);
       }},
      {"pastEndStatus",
       [&](const SimJson& v, const std::string& w) {
         if (!r.Unsigned(v, w, true, out.pastEndStatus)) return false;
         return out.pastEndStatus != 0 || r.Fail(w, "a status other than 0");
       }},
      {"noMaxRemaining",
       [&](const SimJson& v, const std::string& w) { return r.Bool(v, w, out.noMaxRemaining); }},
  };
  return ReadObject(reader, value, where, fields);
}

}  // namespace

bool SimReadStoreField(SimJsonReader& reader, const std::string& key, const SimJson& value,
                       const std::string& where, SimDeviceConfig& config, bool& known) {
  auto& r = reader;
  const std::map<std::string, Field> fields = {
      {"credentials",
       [&](const SimJson& v, const std::string& w) {
         return ReadList(r, v, w, config.credentials,
                         [&](const SimJson& e, const std::string& ew, SimStoredCredential& c) {
                           return ReadCredential(r, e, ew, c);
                         });
       }},
      {"maxCredentials",
       [&](const SimJson& v, const std::string& w) {
         return r.Unsigned(v, w, false, config.maxCredentials, 100000);
       }},
      {"getInfo", [&](const SimJson& v,
                      const std::string& w) { return ReadGetInfo(r, v, w, config.getInfo); }},
      {"credmanQuirks",
       [&](const SimJson& v, const std::string& w) {
         return ReadQuirks(r, v, w, config.credmanQuirks);
       }},
      {"uvAnswer", [&](const SimJson& v,
                       const std::string& w) { return r.Unsigned(v, w, true, config.uvAnswer); }},
      {"fingerprints",
       [&](const SimJson& v, const std::string& w) {
         return ReadList(r, v, w, config.fingerprints,
                         [&](const SimJson& e, const std::string& ew, SimFingerprint& f) {
                           return ReadFingerprint(r, e, ew, f);
                         });
       }},
      {"fingerprintKind",
       [&](const SimJson& v, const std::string& w) {
         return ReadRanged(r, v, w, 1, 2, config.fingerprintKind);
       }},
      {"samplesForEnroll",
       [&](const SimJson& v, const std::string& w) {
         return ReadRanged(r, v, w, 1, 255, config.samplesForEnroll);
       }},
      {"largeBlobArray",
       [&](const SimJson& v, const std::string& w) {
         return ReadHex(r, v, w, 17, 65536, config.largeBlobArray);
       }},
  };
  const auto field = fields.find(key);
  known = field != fields.end();
  return !known || field->second(value, where);
}

namespace {

const char* TotalRpsName(SimCredmanQuirks::TotalRps form) {
  switch (form) {
    case SimCredmanQuirks::TotalRps::kLeftOutWhenNone:
      return "leftOutWhenNone";
    case SimCredmanQuirks::TotalRps::kLeftOut:
      return "leftOut";
    case SimCredmanQuirks::TotalRps::kGiven:
      break;
  }
  return "given";
}

SimJson Credential(const SimStoredCredential& c) {
  SimJson out = SimJson::object();
  out["rpId"] = c.rpId;
  if (!c.rpName.empty()) out["rpName"] = c.rpName;
  out["userId"] = SimHexText(c.userId);
  if (!c.userName.empty()) out["userName"] = c.userName;
  if (!c.displayName.empty()) out["displayName"] = c.displayName;
  if (!c.credentialId.empty()) out["credentialId"] = SimHexText(c.credentialId);
  if (c.credProtect != 0) out["credProtect"] = c.credProtect;
  if (c.largeBlobKey) out["largeBlobKey"] = true;
  if (c.thirdPartyPayment) out["thirdPartyPayment"] = true;
  return out;
}

SimJson GetInfo(const SimGetInfoConfig& info) {
  SimJson out = SimJson::object();
  if (info.versions) out["versions"] = *info.versions;
  if (!info.options.empty()) {
    SimJson options = SimJson::object();
    for (const auto& [name, value] : info.options) options[name] = value;
    out["options"] = std::move(options);
  }
  if (info.pinUvAuthProtocols) out["pinUvAuthProtocols"] = *info.pinUvAuthProtocols;
  if (info.maxMsgSize) out["maxMsgSize"] = *info.maxMsgSize;
  if (info.maxSerializedLargeBlobArray) {
    out["maxSerializedLargeBlobArray"] = *info.maxSerializedLargeBlobArray;
  }
  if (info.remainingDiscoverableCredentials) {
    out["remainingDiscoverableCredentials"] = *info.remainingDiscoverableCredentials;
  }
  return out;
}

SimJson Quirks(const SimCredmanQuirks& q) {
  const SimCredmanQuirks base;
  SimJson out = SimJson::object();
  if (q.totalRps != base.totalRps) out["totalRPs"] = TotalRpsName(q.totalRps);
  if (q.emptyRpsStatus != base.emptyRpsStatus) {
    out["emptyRpsStatus"] = SimHexNumber(q.emptyRpsStatus, 2);
  }
  if (q.claimedTotalRps != 0) out["claimedTotalRPs"] = q.claimedTotalRps;
  if (q.claimedTotalCredentials != 0) out["claimedTotalCredentials"] = q.claimedTotalCredentials;
  if (q.pastEndStatus != base.pastEndStatus) {
    out["pastEndStatus"] = SimHexNumber(q.pastEndStatus, 2);
  }
  if (q.noMaxRemaining) out["noMaxRemaining"] = true;
  return out;
}

}  // namespace

void SimWriteStoreFields(const SimDeviceConfig& d, SimJson& out) {
  const SimDeviceConfig base;
  if (!d.credentials.empty()) {
    SimJson list = SimJson::array();
    for (const SimStoredCredential& credential : d.credentials)
      list.push_back(Credential(credential));
    out["credentials"] = std::move(list);
  }
  if (d.maxCredentials != base.maxCredentials) out["maxCredentials"] = d.maxCredentials;
  if (d.getInfo != base.getInfo) out["getInfo"] = GetInfo(d.getInfo);
  if (d.credmanQuirks != base.credmanQuirks) out["credmanQuirks"] = Quirks(d.credmanQuirks);
  if (d.uvAnswer != base.uvAnswer) out["uvAnswer"] = SimHexNumber(d.uvAnswer, 2);
  if (!d.fingerprints.empty()) {
    SimJson list = SimJson::array();
    for (const SimFingerprint& fingerprint : d.fingerprints) {
      SimJson entry = SimJson::object();
      entry["templateId"] = SimHexText(fingerprint.templateId);
      if (!fingerprint.friendlyName.empty()) entry["friendlyName"] = fingerprint.friendlyName;
      list.push_back(std::move(entry));
    }
    out["fingerprints"] = std::move(list);
  }
  if (d.fingerprintKind != base.fingerprintKind) out["fingerprintKind"] = d.fingerprintKind;
  if (d.samplesForEnroll != base.samplesForEnroll) out["samplesForEnroll"] = d.samplesForEnroll;
  if (!d.largeBlobArray.empty()) out["largeBlobArray"] = SimHexText(d.largeBlobArray);
}
