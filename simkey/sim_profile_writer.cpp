#include "simkey/sim_profile_writer.h"

#include <exception>
#include <nlohmann/json.hpp>

#include "simkey/sim_hex.h"
#include "simkey/sim_profile_store.h"

namespace {

using Json = nlohmann::ordered_json;

Json Answer(const SimAnswer& answer) {
  switch (answer.kind) {
    case SimAnswer::Kind::kSilent:
      return "silent";
    case SimAnswer::Kind::kBroken:
      return "broken";
    case SimAnswer::Kind::kReply:
      break;
  }
  return SimHexText(answer.reply);
}

Json Answers(const std::vector<SimAnswer>& answers) {
  if (answers.empty()) return "";  // what a rule without answers replies
  if (answers.size() == 1) return Answer(answers.front());
  Json list = Json::array();
  for (const SimAnswer& answer : answers) list.push_back(Answer(answer));
  return list;
}

// Adds a rule unless an earlier one has the same key.
void AddRule(Json& rules, const std::vector<uint8_t>& request, bool prefix, Json answers) {
  const std::string key = SimHexText(request) + (prefix ? "*" : "");
  if (!rules.contains(key)) rules[key] = std::move(answers);
}

// Sets `key` when `value` differs from the default key's `base`.
template <typename T>
void IfChanged(Json& out, const char* key, const T& value, const T& base, Json written) {
  if (value != base) out[key] = std::move(written);
}

template <typename T>
void IfChanged(Json& out, const char* key, const T& value, const T& base) {
  IfChanged(out, key, value, base, Json(value));
}

Json Misbehaviour(const SimMisbehaviour& m) {
  const SimMisbehaviour base;
  Json out = Json::object();
  IfChanged(out, "keepAliveForever", m.keepAliveForever, base.keepAliveForever);
  IfChanged(out, "truncatedReply", m.truncatedReply, base.truncatedReply);
  IfChanged(out, "zeroLengthReports", m.zeroLengthReports, base.zeroLengthReports);
  IfChanged(out, "oversizeReply", m.oversizeReply, base.oversizeReply);
  IfChanged(out, "silent", m.silent, base.silent);
  IfChanged(out, "silentInit", m.silentInit, base.silentInit);
  IfChanged(out, "otherChannelReply", m.otherChannelReply, base.otherChannelReply);
  IfChanged(out, "foreignReportsFirst", m.foreignReportsFirst, base.foreignReportsFirst);
  IfChanged(out, "initWrongNonceFirst", m.initWrongNonceFirst, base.initWrongNonceFirst);
  IfChanged(out, "ctaphidError", m.ctaphidError, base.ctaphidError,
            SimHexNumber(m.ctaphidError, 2));
  IfChanged(out, "badSequence", m.badSequence, base.badSequence);
  IfChanged(out, "writeFails", m.writeFails, base.writeFails);
  IfChanged(out, "readFails", m.readFails, base.readFails);
  IfChanged(out, "goneAfterReports", m.goneAfterReports, base.goneAfterReports);
  return out;
}

Json Attestation(const SimAttestationOptions& a, const SimCustomMaterial& m) {
  const SimAttestationOptions base;
  Json out = Json::object();
  const char* x5c = a.x5c == SimAttestationOptions::X5c::kNone    ? "none"
                    : a.x5c == SimAttestationOptions::X5c::kEmpty ? "empty"
                                                                  : "chain";
  IfChanged(out, "x5c", a.x5c, base.x5c, x5c);
  IfChanged(out, "certificates", a.certificates, base.certificates);
  IfChanged(out, "corruptCertificate", a.corruptCertificate, base.corruptCertificate);
  IfChanged(out, "wrongSignature", a.wrongSignature, base.wrongSignature);
  if (!m.chain.empty()) {
    Json chain = Json::array();
    for (const std::vector<uint8_t>& certificate : m.chain)
      chain.push_back(SimHexText(certificate));
    out["chain"] = std::move(chain);
  }
  if (!m.privateKey.empty()) out["privateKey"] = SimHexText(m.privateKey);
  return out;
}

Json U2f(const SimU2fOptions& u, const SimCustomMaterial& m) {
  const SimU2fOptions base;
  Json out = Json::object();
  IfChanged(out, "touchDelayMs", u.touchDelayMs, base.touchDelayMs);
  IfChanged(out, "pieces", u.pieces, base.pieces);
  IfChanged(out, "firstPieceEmpty", u.firstPieceEmpty, base.firstPieceEmpty);
  IfChanged(out, "rejectExtended", u.rejectExtended, base.rejectExtended);
  IfChanged(out, "extendedFormStatus", u.extendedFormStatus, base.extendedFormStatus,
            SimHexNumber(u.extendedFormStatus, 4));
  IfChanged(out, "registerAnswerMs", u.registerAnswerMs, base.registerAnswerMs);
  IfChanged(out, "wrongSignature", u.wrongSignature, base.wrongSignature);
  IfChanged(out, "corruptCertificate", u.corruptCertificate, base.corruptCertificate);
  if (!m.chain.empty()) out["certificate"] = SimHexText(m.chain[0]);
  if (!m.privateKey.empty()) out["privateKey"] = SimHexText(m.privateKey);
  return out;
}

Json ByteList(const std::vector<uint8_t>& bytes) {
  Json list = Json::array();
  for (uint8_t byte : bytes) list.push_back(SimHexNumber(byte, 2));
  return list;
}

Json Card(const SimCardOptions& c) {
  const SimCardOptions base;
  Json out = Json::object();
  if (!c.atr.empty()) out["atr"] = SimHexText(c.atr);
  IfChanged(out, "shortApdusOnly", c.shortApdusOnly, base.shortApdusOnly);
  IfChanged(out, "keepAlives", c.keepAlives, base.keepAlives);
  IfChanged(out, "u2fOnly", c.u2fOnly, base.u2fOnly);
  return out;
}

Json Device(const SimDeviceConfig& d) {
  const SimDeviceConfig base;
  Json out = Json::object();
  out["path"] = d.path;
  out["vendorId"] = SimHexNumber(d.vendorId, 4);
  out["productId"] = SimHexNumber(d.productId, 4);
  out["release"] = SimHexNumber(d.release, 4);
  out["product"] = d.product;
  out["usagePage"] = SimHexNumber(d.usagePage, 4);
  out["usage"] = SimHexNumber(d.usage, 4);
  out["inputReportLength"] = d.inputReportLength;
  out["outputReportLength"] = d.outputReportLength;
  out["ctaphidProtocol"] = d.ctaphidProtocol;
  out["deviceVersion"] = d.deviceVersion;
  out["capabilities"] = SimHexNumber(d.capabilities, 2);
  out["builtin"] = d.builtin;

  IfChanged(out, "named", d.named, base.named);
  IfChanged(out, "pin", d.pin, base.pin);
  IfChanged(out, "pinRetries", d.pinRetries, base.pinRetries);
  IfChanged(out, "pinTokenLength", d.pinTokenLength, base.pinTokenLength);
  IfChanged(out, "uvRetries", d.uvRetries, base.uvRetries);
  IfChanged(out, "pinPowerCycle", d.pinPowerCycle, base.pinPowerCycle);
  IfChanged(out, "touchDelayMs", d.touchDelayMs, base.touchDelayMs);
  IfChanged(out, "touchCommands", d.touchCommands, base.touchCommands, ByteList(d.touchCommands));
  IfChanged(out, "openError", d.openError, base.openError);
  IfChanged(out, "sequentialChannels", d.sequentialChannels, base.sequentialChannels);
  IfChanged(out, "processingKeepAlive", d.processingKeepAlive, base.processingKeepAlive);
  const Json attestation = Attestation(d.attestation, d.attestationMaterial);
  if (!attestation.empty()) out["attestation"] = attestation;
  const Json u2f = U2f(d.u2f, d.u2fMaterial);
  if (!u2f.empty()) out["u2f"] = u2f;
  IfChanged(out, "misbehave", d.misbehave, base.misbehave, Misbehaviour(d.misbehave));
  IfChanged(out, "card", d.card, base.card, Card(d.card));
  SimWriteStoreFields(d, out);

  Json apdu = Json::object();
  for (const SimApduRule& rule : d.apdu) {
    AddRule(apdu, rule.request, rule.prefix, Answers(rule.answers));
  }
  out["apdu"] = std::move(apdu);
  Json cbor = Json::object();
  for (const SimCborRule& rule : d.cborRules) {
    AddRule(cbor, rule.request, rule.prefix, Answers(rule.answers));
  }
  for (const auto& [command, reply] : d.cbor) {
    AddRule(cbor, {command}, false, SimHexText(reply));
  }
  out["cbor"] = std::move(cbor);
  return out;
}

}  // namespace

std::string SimProfileJson(const std::vector<SimDeviceConfig>& devices,
                           const std::string& comment) {
  try {
    Json root = Json::object();
    if (!comment.empty()) root["comment"] = comment;
    Json list = Json::array();
    for (const SimDeviceConfig& device : devices) list.push_back(Device(device));
    root["devices"] = std::move(list);
    return root.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
  } catch (const std::exception&) {
    return {};
  }
}
