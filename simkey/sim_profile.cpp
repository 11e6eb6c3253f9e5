#include "simkey/sim_profile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>
#include <utility>

#include "simkey/sim_card_profile.h"
#include "simkey/sim_crypto.h"
#include "simkey/sim_hex.h"
#include "simkey/sim_profile_reader.h"
#include "simkey/sim_profile_store.h"

namespace {

using Json = SimJson;
using Reader = SimJsonReader;

// One answer: hex bytes, "silent" or "broken".
bool ReadAnswer(Reader& reader, const Json& value, const std::string& where, SimAnswer& out) {
  if (!value.is_string()) return reader.Fail(where, "expected a string or an array of strings");
  const std::string text = value.get<std::string>();
  out = SimAnswer();
  if (text == "silent") {
    out.kind = SimAnswer::Kind::kSilent;
  } else if (text == "broken") {
    out.kind = SimAnswer::Kind::kBroken;
  } else if (!SimParseHex(text, out.reply)) {
    return reader.Fail(where,
                       "\"" + text + "\" is not hexadecimal bytes, \"silent\" or \"broken\"");
  }
  return true;
}

// One answer, or an array of answers given in turn.
bool ReadAnswers(Reader& reader, const Json& value, const std::string& where,
                 std::vector<SimAnswer>& out) {
  out.clear();
  if (!value.is_array()) {
    out.emplace_back();
    return ReadAnswer(reader, value, where, out.back());
  }
  if (value.empty()) return reader.Fail(where, "expected at least one answer");
  for (size_t i = 0; i < value.size(); ++i) {
    out.emplace_back();
    if (!ReadAnswer(reader, value[i], where + "[" + std::to_string(i) + "]", out.back())) {
      return false;
    }
  }
  return true;
}

// Reads the rules of an "apdu" or "cbor" object: keys are hex requests, a
// trailing '*' makes a prefix. Two keys for the same request are refused:
// the later one could never answer.
template <typename Rule>
bool ReadRules(Reader& reader, const Json& value, const std::string& where,
               std::vector<Rule>& rules) {
  if (!value.is_object()) return reader.Fail(where, "expected an object");
  // The request in one spelling (upper-case hex, '*' for a prefix) -> the key
  // that gave it.
  std::map<std::string, std::string> seen;
  for (const auto& [key, answers] : value.items()) {
    Rule rule;
    std::string request = key;
    if (!request.empty() && request.back() == '*') {
      rule.prefix = true;
      request.pop_back();
    }
    const std::string ruleWhere = where + " \"" + key + "\"";
    if (!SimParseHex(request, rule.request) || (rule.request.empty() && !rule.prefix)) {
      return reader.Fail(ruleWhere, "the request is not hexadecimal bytes");
    }
    std::string spelling = SimHexText(rule.request);
    if (rule.prefix) spelling += '*';
    const auto [earlier, added] = seen.emplace(std::move(spelling), key);
    if (!added) return reader.Fail(ruleWhere, "the same request as \"" + earlier->second + "\"");
    if (!ReadAnswers(reader, answers, ruleWhere, rule.answers)) return false;
    rules.push_back(std::move(rule));
  }
  return true;
}

bool ReadBytes(Reader& reader, const Json& value, const std::string& where,
               std::vector<uint8_t>& out) {
  if (!value.is_array()) return reader.Fail(where, "expected an array");
  out.clear();
  for (size_t i = 0; i < value.size(); ++i) {
    uint8_t byte = 0;
    if (!reader.Unsigned(value[i], where + "[" + std::to_string(i) + "]", true, byte)) return false;
    out.push_back(byte);
  }
  return true;
}

bool ReadMisbehaviour(Reader& reader, const Json& value, const std::string& where,
                      SimMisbehaviour& out) {
  if (!value.is_object()) return reader.Fail(where, "expected an object");
  const std::map<std::string, bool*> switches = {
      {"keepAliveForever", &out.keepAliveForever},
      {"truncatedReply", &out.truncatedReply},
      {"silent", &out.silent},
      {"silentInit", &out.silentInit},
      {"otherChannelReply", &out.otherChannelReply},
      {"initWrongNonceFirst", &out.initWrongNonceFirst},
      {"badSequence", &out.badSequence},
      {"writeFails", &out.writeFails},
      {"readFails", &out.readFails},
  };
  const std::map<std::string, uint32_t*> counts = {
      {"zeroLengthReports", &out.zeroLengthReports},
      {"oversizeReply", &out.oversizeReply},
      {"foreignReportsFirst", &out.foreignReportsFirst},
      {"goneAfterReports", &out.goneAfterReports},
  };
  for (const auto& [key, item] : value.items()) {
    const std::string fieldWhere = where + "." + key;
    if (key == "comment") continue;
    if (auto flag = switches.find(key); flag != switches.end()) {
      if (!reader.Bool(item, fieldWhere, *flag->second)) return false;
    } else if (auto count = counts.find(key); count != counts.end()) {
      if (!reader.Unsigned(item, fieldWhere, false, *count->second, 100000)) return false;
    } else if (key == "ctaphidError") {
      if (!reader.Unsigned(item, fieldWhere, true, out.ctaphidError)) return false;
    } else {
      return reader.Fail(fieldWhere, "unknown field");
    }
  }
  return true;
}

// A number from `min` to `max`.
template <typename T>
bool Ranged(Reader& reader, const Json& value, const std::string& where, uint64_t min, uint64_t max,
            T& out) {
  T number = 0;
  if (!reader.Unsigned(value, where, false, number, max)) return false;
  if (number < min)
    return reader.Fail(where, std::to_string(number) + " is smaller than " + std::to_string(min));
  out = number;
  return true;
}

// A DER certificate in hex (its content is the key's to send, so not checked).
bool ReadCertificate(Reader& reader, const Json& value, const std::string& where,
                     std::vector<uint8_t>& out) {
  std::string text;
  if (!reader.Text(value, where, text)) return false;
  if (!SimParseHex(text, out) || out.empty()) {
    return reader.Fail(where, "expected a certificate as hexadecimal bytes");
  }
  return true;
}

bool ReadChain(Reader& reader, const Json& value, const std::string& where,
               std::vector<std::vector<uint8_t>>& out) {
  if (!value.is_array() || value.empty()) {
    return reader.Fail(where, "expected an array of at least one certificate");
  }
  out.assign(value.size(), {});
  for (size_t i = 0; i < value.size(); ++i) {
    if (!ReadCertificate(reader, value[i], where + "[" + std::to_string(i) + "]", out[i])) {
      return false;
    }
  }
  return true;
}

// The leaf's P-256 private scalar: 32 bytes in hex, 1 to the group order - 1.
bool ReadPrivateKey(Reader& reader, const Json& value, const std::string& where,
                    std::vector<uint8_t>& out) {
  std::string text;
  if (!reader.Text(value, where, text)) return false;
  std::vector<uint8_t> scalar;
  if (!SimParseHex(text, scalar)) return reader.Fail(where, "not hexadecimal bytes");
  if (scalar.size() != 32) {
    return reader.Fail(
        where, "expected a P-256 private key of 32 bytes, not " + std::to_string(scalar.size()));
  }
  if (!SimP256ScalarValid(scalar)) {
    return reader.Fail(where, "not a P-256 private key (0, or not below the group order)");
  }
  out = std::move(scalar);
  return true;
}

bool ReadAttestation(Reader& reader, const Json& value, const std::string& where,
                     SimAttestationOptions& out, SimCustomMaterial& material) {
  if (!value.is_object()) return reader.Fail(where, "expected an object");
  for (const auto& [key, item] : value.items()) {
    const std::string fieldWhere = where + "." + key;
    if (key == "comment") continue;
    if (key == "x5c") {
      std::string form;
      if (!reader.Text(item, fieldWhere, form)) return false;
      if (form == "chain") {
        out.x5c = SimAttestationOptions::X5c::kChain;
      } else if (form == "none") {
        out.x5c = SimAttestationOptions::X5c::kNone;
      } else if (form == "empty") {
        out.x5c = SimAttestationOptions::X5c::kEmpty;
      } else {
        return reader.Fail(fieldWhere, "\"" + form + "\" is not \"chain\", \"none\" or \"empty\"");
      }
    } else if (key == "certificates") {
      if (!Ranged(reader, item, fieldWhere, 1, 4, out.certificates)) return false;
    } else if (key == "corruptCertificate") {
      if (!reader.Bool(item, fieldWhere, out.corruptCertificate)) return false;
    } else if (key == "wrongSignature") {
      if (!reader.Bool(item, fieldWhere, out.wrongSignature)) return false;
    } else if (key == "chain") {
      if (!ReadChain(reader, item, fieldWhere, material.chain)) return false;
    } else if (key == "privateKey") {
      if (!ReadPrivateKey(reader, item, fieldWhere, material.privateKey)) return false;
    } else {
      return reader.Fail(fieldWhere, "unknown field");
    }
  }
  return true;
}

bool ReadU2f(Reader& reader, const Json& value, const std::string& where, SimU2fOptions& out,
             SimCustomMaterial& material) {
  if (!value.is_object()) return reader.Fail(where, "expected an object");
  const std::map<std::string, bool*> switches = {
      {"firstPieceEmpty", &out.firstPieceEmpty},
      {"rejectExtended", &out.rejectExtended},
      {"wrongSignature", &out.wrongSignature},
      {"corruptCertificate", &out.corruptCertificate},
  };
  for (const auto& [key, item] : value.items()) {
    const std::string fieldWhere = where + "." + key;
    if (key == "comment") continue;
    if (auto flag = switches.find(key); flag != switches.end()) {
      if (!reader.Bool(item, fieldWhere, *flag->second)) return false;
    } else if (key == "touchDelayMs") {
      if (!reader.Unsigned(item, fieldWhere, false, out.touchDelayMs)) return false;
    } else if (key == "pieces") {
      if (!Ranged(reader, item, fieldWhere, 1, 64, out.pieces)) return false;
    } else if (key == "registerAnswerMs") {
      if (!reader.Unsigned(item, fieldWhere, false, out.registerAnswerMs)) return false;
    } else if (key == "extendedFormStatus") {
      if (!reader.Unsigned(item, fieldWhere, true, out.extendedFormStatus)) return false;
    } else if (key == "certificate") {
      material.chain.assign(1, {});
      if (!ReadCertificate(reader, item, fieldWhere, material.chain[0])) return false;
    } else if (key == "privateKey") {
      if (!ReadPrivateKey(reader, item, fieldWhere, material.privateKey)) return false;
    } else {
      return reader.Fail(fieldWhere, "unknown field");
    }
  }
  return true;
}

bool ReadPinTokenLength(Reader& reader, const Json& value, const std::string& where,
                        uint32_t& out) {
  uint32_t length = 0;
  if (!reader.Unsigned(value, where, false, length)) return false;
  if (length != 16 && length != 32 && length != 48 && length != 64) {
    return reader.Fail(where, std::to_string(length) + " is not 16, 32, 48 or 64");
  }
  out = length;
  return true;
}

// [major, minor, build], each a byte.
bool ReadDeviceVersion(Reader& reader, const Json& value, const std::string& where,
                       std::array<uint8_t, 3>& out) {
  std::vector<uint8_t> parts;
  if (!ReadBytes(reader, value, where, parts)) return false;
  if (parts.size() != out.size()) return reader.Fail(where, "expected [major, minor, build]");
  std::copy(parts.begin(), parts.end(), out.begin());
  return true;
}

bool ReadDevice(Reader& reader, const Json& entry, const std::string& where,
                SimDeviceConfig& config) {
  if (!entry.is_object()) return reader.Fail(where, "expected an object");
  using Field = std::function<bool(const Json&, const std::string&)>;
  const std::map<std::string, Field> fields = {
      {"path", [&](const Json& v, const std::string& w) { return reader.Text(v, w, config.path); }},
      {"product",
       [&](const Json& v, const std::string& w) { return reader.Text(v, w, config.product); }},
      {"pin", [&](const Json& v, const std::string& w) { return reader.Text(v, w, config.pin); }},
      {"pinRetries",
       [&](const Json& v, const std::string& w) {
         return reader.Unsigned(v, w, false, config.pinRetries, 255);
       }},
      {"pinTokenLength",
       [&](const Json& v, const std::string& w) {
         return ReadPinTokenLength(reader, v, w, config.pinTokenLength);
       }},
      {"uvRetries",
       [&](const Json& v, const std::string& w) {
         return reader.Unsigned(v, w, false, config.uvRetries, 255);
       }},
      {"pinPowerCycle",
       [&](const Json& v, const std::string& w) {
         return reader.Bool(v, w, config.pinPowerCycle);
       }},
      {"ctaphidProtocol",
       [&](const Json& v, const std::string& w) {
         return reader.Unsigned(v, w, false, config.ctaphidProtocol);
       }},
      {"deviceVersion",
       [&](const Json& v, const std::string& w) {
         return ReadDeviceVersion(reader, v, w, config.deviceVersion);
       }},
      {"capabilities",
       [&](const Json& v, const std::string& w) {
         return reader.Unsigned(v, w, true, config.capabilities);
       }},
      {"attestation",
       [&](const Json& v, const std::string& w) {
         return ReadAttestation(reader, v, w, config.attestation, config.attestationMaterial);
       }},
      {"u2f",
       [&](const Json& v, const std::string& w) {
         return ReadU2f(reader, v, w, config.u2f, config.u2fMaterial);
       }},
      {"vendorId",
       [&](const Json& v, const std::string& w) {
         return reader.Unsigned(v, w, true, config.vendorId);
       }},
      {"productId",
       [&](const Json& v, const std::string& w) {
         return reader.Unsigned(v, w, true, config.productId);
       }},
      {"release",
       [&](const Json& v, const std::string& w) {
         return reader.Unsigned(v, w, true, config.release);
       }},
      {"usagePage",
       [&](const Json& v, const std::string& w) {
         return reader.Unsigned(v, w, true, config.usagePage);
       }},
      {"usage", [&](const Json& v,
                    const std::string& w) { return reader.Unsigned(v, w, true, config.usage); }},
      {"inputReportLength",
       [&](const Json& v, const std::string& w) {
         return reader.Unsigned(v, w, false, config.inputReportLength, SIMKEY_REPORT_LENGTH_MAX);
       }},
      {"outputReportLength",
       [&](const Json& v, const std::string& w) {
         return reader.Unsigned(v, w, false, config.outputReportLength, SIMKEY_REPORT_LENGTH_MAX);
       }},
      {"builtin",
       [&](const Json& v, const std::string& w) { return reader.Bool(v, w, config.builtin); }},
      {"named",
       [&](const Json& v, const std::string& w) { return reader.Bool(v, w, config.named); }},
      {"apdu",
       [&](const Json& v, const std::string& w) { return ReadRules(reader, v, w, config.apdu); }},
      {"cbor", [&](const Json& v,
                   const std::string& w) { return ReadRules(reader, v, w, config.cborRules); }},
      {"touchDelayMs",
       [&](const Json& v, const std::string& w) {
         return reader.Unsigned(v, w, false, config.touchDelayMs);
       }},
      {"touchCommands",
       [&](const Json& v, const std::string& w) {
         return ReadBytes(reader, v, w, config.touchCommands);
       }},
      {"openError",
       [&](const Json& v, const std::string& w) {
         return reader.Unsigned(v, w, false, config.openError, 4095);
       }},
      {"sequentialChannels",
       [&](const Json& v, const std::string& w) {
         return reader.Bool(v, w, config.sequentialChannels);
       }},
      {"processingKeepAlive",
       [&](const Json& v, const std::string& w) {
         return reader.Bool(v, w, config.processingKeepAlive);
       }},
      {"card",
       [&](const Json& v, const std::string& w) {
         std::string problem;
         return ReadSimCardOptions(v, config.card, problem) || reader.Fail(w, problem);
       }},
      {"misbehave",
       [&](const Json& v, const std::string& w) {
         return ReadMisbehaviour(reader, v, w, config.misbehave);
       }},
  };
  for (const auto& [key, value] : entry.items()) {
    if (key == "comment") continue;
    const auto field = fields.find(key);
    if (field == fields.end()) {
      bool known = false;
      if (!SimReadStoreField(reader, key, value, where + ": " + key, config, known)) return false;
      if (!known) return reader.Fail(where + ": " + key, "unknown field");
      continue;
    }
    if (!field->second(value, where + ": " + key)) return false;
  }
  if (config.credentials.size() > config.maxCredentials) {
    return reader.Fail(where + ": credentials",
                       "more than maxCredentials (" + std::to_string(config.maxCredentials) + ")");
  }
  return true;
}

bool Load(const std::string& text, std::vector<SimDeviceConfig>& out, std::string& error) {
  Reader reader(error);
  Json root;
  try {
    root = Json::parse(text);
  } catch (const Json::parse_error& problem) {
    return reader.Fail("profile", std::string("not valid JSON (") + problem.what() + ")");
  }
  if (!root.is_object()) return reader.Fail("profile", "expected an object with \"devices\"");
  for (const auto& [key, value] : root.items()) {
    if (key != "devices" && key != "comment")
      return reader.Fail("profile: " + key, "unknown field");
  }
  const auto devices = root.find("devices");
  if (devices == root.end() || !devices->is_array()) {
    return reader.Fail("profile", "expected an array \"devices\"");
  }
  std::vector<SimDeviceConfig> configs(devices->size());
  for (size_t i = 0; i < devices->size(); ++i) {
    if (!ReadDevice(reader, (*devices)[i], "device " + std::to_string(i), configs[i])) return false;
  }
  out = std::move(configs);
  return true;
}

}  // namespace

bool LoadSimProfile(const std::string& json, std::vector<SimDeviceConfig>& out,
                    std::string& error) {
  try {
    return Load(json, out, error);
  } catch (const std::exception& exception) {
    error = std::string("profile: ") + exception.what();
    return false;
  }
}

bool LoadSimProfileFile(const std::string& path, std::vector<SimDeviceConfig>& out,
                        std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  std::ostringstream text;
  text << file.rdbuf();
  if (!LoadSimProfile(text.str(), out, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}
