#include "metadata/mds_payload.h"

#include <algorithm>

#include "metadata/base64url.h"
#include "metadata/utc_date.h"

namespace {

using Json = nlohmann::json;

// nlohmann-json builds nested values recursively in places; refuse deep
// nesting before parsing.
bool NestingWithin(const uint8_t* bytes, size_t length, size_t maxDepth) {
  size_t depth = 0;
  bool inString = false;
  for (size_t i = 0; i < length; ++i) {
    const uint8_t c = bytes[i];
    if (inString) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '{' || c == '[') {
      if (++depth > maxDepth) return false;
    } else if ((c == '}' || c == ']') && depth > 0) {
      --depth;
    }
  }
  return true;
}

bool IsHex(const std::string& text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}

std::string Lowercase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Readers of one optional member; false when present with the wrong type.
class Reader {
 public:
  explicit Reader(const Json& object) : object_(object) {}

  bool String(const char* name, std::string& out) {
    const auto it = object_.find(name);
    if (it == object_.end()) return true;
    if (!it->is_string()) return Fail(name, "is not a string");
    out = it->get<std::string>();
    return true;
  }
  bool Integer(const char* name, int64_t& out, int64_t max) {
    const auto it = object_.find(name);
    if (it == object_.end()) return true;
    if (!it->is_number_integer()) return Fail(name, "is not an integer");
    const int64_t value =
        it->is_number_unsigned()
            ? static_cast<int64_t>(std::min<uint64_t>(it->get<uint64_t>(), INT64_MAX))
            : it->get<int64_t>();
    if (value < 0 || value > max) return Fail(name, "is out of range");
    out = value;
    return true;
  }
  bool Strings(const char* name, std::vector<std::string>& out) {
    const auto it = object_.find(name);
    if (it == object_.end()) return true;
    if (!it->is_array()) return Fail(name, "is not an array");
    for (const Json& element : *it) {
      if (!element.is_string()) return Fail(name, "holds a value that is not a string");
      out.push_back(element.get<std::string>());
    }
    return true;
  }
  const Json* Member(const char* name) const {
    const auto it = object_.find(name);
    return it == object_.end() ? nullptr : &*it;
  }
  bool Fail(const char* name, const char* what) {
    error = std::string(name) + " " + what;
    return false;
  }

  std::string error;

 private:
  const Json& object_;
};

// [[{"userVerificationMethod": "presence_internal"}, ...], ...]
bool ReadUserVerification(const Json& details, std::string& out) {
  if (!details.is_array()) return false;
  for (const Json& alternative : details) {
    if (!alternative.is_array()) return false;
    std::string methods;
    for (const Json& method : alternative) {
      if (!method.is_object()) return false;
      // Older statements name the member "userVerification".
      auto name = method.find("userVerificationMethod");
      if (name == method.end()) name = method.find("userVerification");
      if (name == method.end() || !name->is_string()) return false;
      if (!methods.empty()) methods += " + ";
      methods += name->get<std::string>();
    }
    if (!out.empty()) out += "; ";
    out += methods;
  }
  return true;
}

bool ReadStatusReport(const Json& json, MdsStatusReport& report, std::string& error) {
  if (!json.is_object()) {
    error = "a status report is not an object";
    return false;
  }
  Reader reader(json);
  const bool ok =
      reader.String("status", report.status) &&
      reader.String("effectiveDate", report.effectiveDate) &&
      reader.String("certificateNumber", report.certificateNumber) &&
      reader.String("certificationDescriptor", report.certificationDescriptor) &&
      reader.String("certificationPolicyVersion", report.certificationPolicyVersion) &&
      reader.String("certificationRequirementsVersion", report.certificationRequirementsVersion) &&
      reader.Strings("certificationProfiles", report.certificationProfiles) &&
      reader.Integer("authenticatorVersion", report.authenticatorVersion, UINT32_MAX) &&
      reader.Integer("fipsRevision", report.fipsRevision, 1000) &&
      reader.Integer("fipsPhysicalSecurityLevel", report.fipsPhysicalSecurityLevel, 1000);
  if (!ok) {
    error = "a status report's " + reader.error;
    return false;
  }
  if (const Json* level = reader.Member("certificationLevel")) {
    if (level->is_string()) {
      report.certificationLevel = level->get<std::string>();
    } else if (level->is_number_unsigned() && level->get<uint64_t>() < 100) {
      report.certificationLevel = std::to_string(level->get<uint64_t>());
    } else {
      error = "a status report's certificationLevel is neither text nor a small number";
      return false;
    }
  }
  // The compromised attestation certificate a report may name; one that
  // cannot be decoded is left out, not the file.
  std::string certificate;
  if (!reader.String("certificate", certificate)) {
    error = "a status report's " + reader.error;
    return false;
  }
  if (!certificate.empty() && !DecodeBase64Loose(certificate, report.certificate)) {
    report.certificate.clear();
  }
  if (report.status.empty()) {
    error = "a status report has no status";
    return false;
  }
  int64_t unused = 0;
  if (!report.effectiveDate.empty() && !ParseIsoDate(report.effectiveDate, unused)) {
    error = "a status report's effectiveDate is not a date";
    return false;
  }
  return true;
}

bool ReadStatement(const Json& json, MdsEntry& entry, std::string& error) {
  if (!json.is_object()) {
    error = "metadataStatement is not an object";
    return false;
  }
  Reader reader(json);
  std::vector<std::string> roots;
  if (!reader.String("description", entry.description) ||
      !reader.Integer("authenticatorVersion", entry.authenticatorVersion, UINT32_MAX) ||
      !reader.String("protocolFamily", entry.protocolFamily) ||
      !reader.Strings("attestationTypes", entry.attestationTypes) ||
      !reader.Strings("keyProtection", entry.keyProtection) ||
      !reader.Strings("attestationRootCertificates", roots)) {
    error = "metadataStatement." + reader.error;
    return false;
  }
  // Published statements carry roots with line breaks and loose padding; a
  // root that still cannot be decoded is left out, not the file.
  for (const std::string& root : roots) {
    std::vector<uint8_t> der;
    if (DecodeBase64Loose(root, der) && !der.empty()) {
      entry.attestationRootCertificates.push_back(std::move(der));
    }
  }
  if (const Json* details = reader.Member("userVerificationDetails")) {
    if (!ReadUserVerification(*details, entry.userVerificationDetails)) {
      error = "metadataStatement.userVerificationDetails is malformed";
      return false;
    }
  }
  if (const Json* getInfo = reader.Member("authenticatorGetInfo")) {
    if (!getInfo->is_object()) {
      error = "metadataStatement.authenticatorGetInfo is not an object";
      return false;
    }
    entry.authenticatorGetInfo = *getInfo;
  }
  return true;
}

bool ReadEntry(const Json& json, MdsEntry& entry, std::string& error) {
  if (!json.is_object()) {
    error = "it is not an object";
    return false;
  }
  Reader reader(json);
  std::string aaguid;
  std::vector<std::string> keyIdentifiers;
  if (!reader.String("aaguid", aaguid) || !reader.String("aaid", entry.aaid) ||
      !reader.Strings("attestationCertificateKeyIdentifiers", keyIdentifiers) ||
      !reader.String("timeOfLastStatusChange", entry.timeOfLastStatusChange)) {
    error = reader.error;
    return false;
  }
  if (!aaguid.empty()) {
    entry.aaguid = NormalizeAaguid(aaguid);
    if (entry.aaguid.empty()) {
      error = "aaguid is not a UUID";
      return false;
    }
  }
  for (const std::string& identifier : keyIdentifiers) {
    if (identifier.empty() || identifier.size() > 128 || identifier.size() % 2 != 0 ||
        !IsHex(identifier)) {
      error = "attestationCertificateKeyIdentifiers holds a value that is not hex";
      return false;
    }
    entry.keyIdentifiers.push_back(Lowercase(identifier));
  }
  if (const Json* statement = reader.Member("metadataStatement")) {
    if (!ReadStatement(*statement, entry, error)) return false;
  }
  const Json* reports = reader.Member("statusReports");
  if (reports == nullptr || !reports->is_array()) {
    error = "statusReports is missing or not an array";
    return false;
  }
  for (const Json& report : *reports) {
    entry.statusReports.emplace_back();
    if (!ReadStatusReport(report, entry.statusReports.back(), error)) return false;
  }
  // Newest first. Of one day's reports a compromise or revocation counts as
  // the newest, whatever order the file lists them in: the file's order must
  // not decide whether a revoked model looks certified.
  std::stable_sort(entry.statusReports.begin(), entry.statusReports.end(),
                   [](const MdsStatusReport& a, const MdsStatusReport& b) {
                     if (a.effectiveDate != b.effectiveDate) {
                       return a.effectiveDate > b.effectiveDate;
                     }
                     return IsCompromiseStatus(a.status) && !IsCompromiseStatus(b.status);
                   });
  return true;
}

constexpr const char* kCompromiseStatuses[] = {
    "REVOKED", "ATTESTATION_KEY_COMPROMISE", "USER_VERIFICATION_BYPASS",
    "USER_KEY_REMOTE_COMPROMISE", "USER_KEY_PHYSICAL_COMPROMISE"};

}  // namespace

bool IsCompromiseStatus(const std::string& status) {
  for (const char* compromise : kCompromiseStatuses) {
    if (status == compromise) return true;
  }
  return false;
}

std::string NormalizeAaguid(const std::string& text) {
  std::string digits;
  if (text.size() == 36) {
    for (size_t i = 0; i < text.size(); ++i) {
      const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
      if (dash != (text[i] == '-')) return {};
      if (!dash) digits += text[i];
    }
  } else if (text.size() == 32) {
    digits = text;
  } else {
    return {};
  }
  return IsHex(digits) ? Lowercase(digits) : std::string();
}

std::string ReadMdsPayload(const uint8_t* bytes, size_t length, MdsPayload& payload) {
  payload = MdsPayload();
  if (!NestingWithin(bytes, length, MDS_MAX_JSON_DEPTH)) return "the payload is nested too deeply";
  const Json json = Json::parse(bytes, bytes + length, nullptr, false);
  if (json.is_discarded() || !json.is_object()) return "the payload is not a JSON object";
  Reader reader(json);
  if (!reader.String("legalHeader", payload.legalHeader)) return "the payload's " + reader.error;
  payload.number = -1;
  if (!reader.Integer("no", payload.number, INT32_MAX)) return "the payload's " + reader.error;
  if (payload.number < 0) return "the payload has no serial number";
  if (!reader.String("nextUpdate", payload.nextUpdate) ||
      !ParseIsoDate(payload.nextUpdate, payload.nextUpdateUnixSeconds)) {
    return "the payload's nextUpdate is missing or not a date";
  }
  const Json* entries = reader.Member("entries");
  if (entries == nullptr || !entries->is_array()) return "the payload has no list of entries";
  if (entries->size() > MDS_MAX_ENTRIES) return "the payload has too many entries";
  payload.entries.reserve(entries->size());
  for (size_t i = 0; i < entries->size(); ++i) {
    payload.entries.emplace_back();
    std::string error;
    if (!ReadEntry((*entries)[i], payload.entries.back(), error)) {
      const std::string why = "entry " + std::to_string(i + 1) + ": " + error;
      payload = MdsPayload();
      return why;
    }
  }
  return {};
}
