#include "keyinfo/passkeys_page.h"

#include <string>

#include "keyinfo/hex_encode.h"

namespace {

constexpr char kTips[] = "Tips";

// Text from the key, as the other pages show it: valid UTF-8, no control
// characters.
std::string Shown(const std::string& text) {
  std::string out;
  for (char c : ToValidUtf8(text)) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      out += "\xEF\xBF\xBD";
    } else {
      out += c;
    }
  }
  return out;
}

std::string WithParenthesis(const std::optional<std::string>& first,
                            const std::optional<std::string>& second) {
  std::string text = Shown(first.value_or(""));
  if (second && !second->empty()) text += " (" + Shown(*second) + ")";
  return text;
}

std::string Hex(const std::optional<std::vector<uint8_t>>& bytes) {
  return bytes ? LowerHex(bytes->data(), bytes->size()) : std::string();
}

std::string ProtectionText(uint32_t level) {
  switch (level) {
    case 1:
      return "UV optional";
    case 2:
      return "UV optional with credential ID list";
    case 3:
      return "UV required";
    default:
      return std::to_string(level);
  }
}

void WriteCredential(ReportList& list, const CredentialAnswer& credential) {
  list.AppendRow("User", WithParenthesis(credential.userName, credential.displayName));
  list.AppendRow("User id", Hex(credential.userId));
  list.AppendRow("Credential id", Hex(credential.credentialId));
  if (credential.credProtect) list.AppendRow("Protection", ProtectionText(*credential.credProtect));
  if (credential.hasLargeBlobKey) list.AppendRow("Large blob key", "yes");
  if (credential.thirdPartyPayment.value_or(false)) list.AppendRow("Third-party payment", "yes");
}

void WriteFingerprints(ReportList& list, const StoredReading& reading) {
  if (reading.fingerprintsRead) {
    list.AppendRow("Fingerprints", std::to_string(reading.enrollments.size()) + " enrolled");
    for (const Enrollment& enrollment : reading.enrollments) {
      std::string text = Shown(enrollment.friendlyName.value_or(""));
      const std::string id = Hex(enrollment.templateId);
      text += text.empty() ? id : ", " + id;
      list.AppendRow("Fingerprint", text);
    }
  }
  if (reading.sensorRead && reading.sensor.fingerprintKind) {
    const uint32_t kind = *reading.sensor.fingerprintKind;
    std::string text = kind == 1 ? "touch" : kind == 2 ? "swipe" : std::to_string(kind);
    if (reading.sensor.samplesForEnroll) {
      text += ", " + std::to_string(*reading.sensor.samplesForEnroll) + " samples needed";
    }
    list.AppendRow("Fingerprint sensor", text);
  }
}

}  // namespace

ReportList& PasskeysList(QuillmarkModel& model) { return *model.FindPage(PASSKEYS_PAGE_CAPTION); }

void ResetPasskeysPage(QuillmarkModel& model) {
  ReportList& list = PasskeysList(model);
  list.Clear();
  if (!model.getInfoAnswer.empty()) list.AppendRow(kTips, PASSKEYS_TIPS_TEXT);
}

void ShowPasskeysSentence(QuillmarkModel& model, const std::string& text) {
  ReportList& list = PasskeysList(model);
  list.Clear();
  list.AppendRow("Passkeys", text);
  list.AppendRow(kTips, PASSKEYS_TIPS_TEXT);
}

void WritePasskeysRows(ReportList& list, const StoredReading& reading) {
  list.Clear();
  if (reading.listed) {
    // Without the key's own count, what was listed is all there is to say:
    // "0 stored" would be a count the key never gave.
    std::string count;
    if (reading.metadata.existing) {
      count = std::to_string(*reading.metadata.existing) + " stored";
    } else {
      size_t listed = 0;
      for (const StoredRp& rp : reading.rps) listed += rp.credentials.size();
      count = std::to_string(listed) + " listed; the key gave no count";
    }
    if (reading.metadata.remaining) {
      count += ", " + std::to_string(*reading.metadata.remaining) + " more fit";
    }
    list.AppendRow(PASSKEYS_DISCOVERABLE_ITEM, count);
    for (const StoredRp& rp : reading.rps) {
      list.AppendRow("Relying party", WithParenthesis(rp.rp.id, rp.rp.name));
      for (const CredentialAnswer& credential : rp.credentials) WriteCredential(list, credential);
    }
  }
  WriteFingerprints(list, reading);
  if (reading.largeBlobRead) {
    std::string text = std::to_string(reading.largeBlobBytes) + " of " +
                       std::to_string(reading.largeBlobMax) + " bytes, ";
    text += reading.largeBlob.entries >= 0
                ? std::to_string(reading.largeBlob.entries) + " entries, "
                : std::string("entries unreadable, ");
    text += reading.largeBlob.digest == LARGE_BLOB_DIGEST_OK ? "digest OK" : "digest wrong";
    list.AppendRow("Large blob array", text);
  }
  if (!reading.stoppedShort.empty()) list.AppendRow("Stopped", reading.stoppedShort);
}
