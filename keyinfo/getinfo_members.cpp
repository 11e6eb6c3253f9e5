#include "keyinfo/getinfo_members.h"

#include <cstdio>
#include <vector>

#include "cbor/cbor_diagnostic.h"
#include "keyinfo/hex_encode.h"

namespace {

enum class Form {
  kTexts,           // array of text strings
  kNumbers,         // array of unsigned integers
  kAaguid,          // 16-byte string
  kOptions,         // map of text to boolean
  kUnsigned,        // unsigned integer
  kAlgorithms,      // array of {"alg": int, "type": text}
  kBoolean,         // true or false
  kUvModality,      // unsigned integer of user verification method bits
  kCertifications,  // map of text to unsigned integer
  kBytes,           // byte string
  kUrlBytes,        // byte string holding a URL
};

struct Member {
  uint64_t key;
  const char* name;
  Form form;
};

const Member kMembers[] = {
    {0x01, "versions", Form::kTexts},
    {0x02, "extensions", Form::kTexts},
    {0x03, "aaguid", Form::kAaguid},
    {0x04, "options", Form::kOptions},
    {0x05, "maxMsgSize", Form::kUnsigned},
    {0x06, "pinUvAuthProtocols", Form::kNumbers},
    {0x07, "maxCredentialCountInList", Form::kUnsigned},
    {0x08, "maxCredentialIdLength", Form::kUnsigned},
    {0x09, "transports", Form::kTexts},
    {0x0A, "algorithms", Form::kAlgorithms},
    {0x0B, "maxSerializedLargeBlobArray", Form::kUnsigned},
    {0x0C, "forcePINChange", Form::kBoolean},
    {0x0D, "minPINLength", Form::kUnsigned},
    {0x0E, "firmwareVersion", Form::kUnsigned},
    {0x0F, "maxCredBlobLength", Form::kUnsigned},
    {0x10, "maxRPIDsForSetMinPINLength", Form::kUnsigned},
    {0x11, "preferredPlatformUvAttempts", Form::kUnsigned},
    {0x12, "uvModality", Form::kUvModality},
    {0x13, "certifications", Form::kCertifications},
    {0x14, "remainingDiscoverableCredentials", Form::kUnsigned},
    {0x15, "vendorPrototypeConfigCommands", Form::kNumbers},
    {0x16, "attestationFormats", Form::kTexts},
    {0x17, "uvCountSinceLastPinEntry", Form::kUnsigned},
    {0x18, "longTouchForReset", Form::kBoolean},
    {0x19, "encIdentifier", Form::kBytes},
    {0x1A, "transportsForReset", Form::kTexts},
    {0x1B, "pinComplexityPolicy", Form::kBoolean},
    {0x1C, "pinComplexityPolicyURL", Form::kUrlBytes},
    {0x1D, "maxPINLength", Form::kUnsigned},
    {0x1E, "encCredStoreState", Form::kBytes},
    {0x1F, "authenticatorConfigCommands", Form::kNumbers},
};

const Member* FindMember(uint64_t key) {
  for (const Member& member : kMembers) {
    if (member.key == key) return &member;
  }
  return nullptr;
}

struct CoseAlgorithm {
  int64_t number;
  const char* name;
};

// COSE algorithms that keys announce (IANA COSE Algorithms registry).
const CoseAlgorithm kCoseAlgorithms[] = {
    {-7, "ES256"},   {-8, "EdDSA"},   {-9, "ESP256"}, {-19, "Ed25519"}, {-35, "ES384"},
    {-36, "ES512"},  {-37, "PS256"},  {-38, "PS384"}, {-39, "PS512"},   {-47, "ES256K"},
    {-51, "ESP384"}, {-52, "ESP512"}, {-53, "Ed448"}, {-257, "RS256"},  {-258, "RS384"},
    {-259, "RS512"}, {-65535, "RS1"},
};

// User verification method bits of the FIDO registry.
struct UvMethod {
  uint32_t bit;
  const char* name;
};
const UvMethod kUvMethods[] = {
    {0x00000001, "presence_internal"},
    {0x00000002, "fingerprint_internal"},
    {0x00000004, "passcode_internal"},
    {0x00000008, "voiceprint_internal"},
    {0x00000010, "faceprint_internal"},
    {0x00000020, "location_internal"},
    {0x00000040, "eyeprint_internal"},
    {0x00000080, "pattern_internal"},
    {0x00000100, "handprint_internal"},
    {0x00000200, "none"},
    {0x00000400, "all"},
    {0x00000800, "passcode_external"},
    {0x00001000, "pattern_external"},
};

std::string Joined(const std::vector<std::string>& parts) {
  std::string text;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) text += ", ";
    text += parts[i];
    // A list of thousands of entries stops growing once past the cell limit.
    if (text.size() > DETAILS_VALUE_LIMIT) break;
  }
  return text;
}

// Byte strings longer than the cell shows are cut before the hex is made.
std::string BytesHex(const std::string& bytes) {
  return LowerHex(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                  DETAILS_VALUE_LIMIT / 2 + 1);
}

// Well-formed UTF-8 without control characters: shown as it is.
bool PrintableUtf8(const std::string& bytes) {
  for (char c : bytes) {
    if (static_cast<uint8_t>(c) < 0x20 || c == 0x7F) return false;
  }
  return IsWellFormedUtf8(bytes);
}

// A text that a one-line cell can show as it is; anything else (a line
// break, bytes that are not UTF-8) sends its member to diagnostic notation,
// which escapes it.
bool IsPlainText(const CborNode& node) { return node.IsText() && PrintableUtf8(node.bytes); }

bool IsInteger(const CborNode& node) { return node.major == 0 || node.major == 1; }

// The integer value of a major type 0 or 1 node, when it fits int64_t.
bool IntegerValue(const CborNode& node, int64_t& value) {
  if (node.argument > static_cast<uint64_t>(INT64_MAX)) return false;
  value = node.major == 0 ? static_cast<int64_t>(node.argument)
                          : -1 - static_cast<int64_t>(node.argument);
  return true;
}

std::string AlgorithmText(int64_t number) {
  const std::string name = CoseAlgorithmName(number);
  return name.empty() ? std::to_string(number) : name + " (" + std::to_string(number) + ")";
}

std::string UvModalityText(uint64_t value) {
  std::vector<std::string> names;
  uint64_t rest = value;
  for (const UvMethod& method : kUvMethods) {
    if (value & method.bit) {
      names.push_back(method.name);
      rest &= ~static_cast<uint64_t>(method.bit);
    }
  }
  for (int bit = 0; bit < 64; ++bit) {
    const uint64_t mask = uint64_t{1} << bit;
    if (rest & mask) {
      char text[24];
      std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(mask));
      names.push_back(text);
    }
  }
  const std::string number = std::to_string(value);
  return names.empty() ? number : number + " (" + Joined(names) + ")";
}

// The value in the member's own form; false when its type does not fit.
bool FormValue(Form form, const CborNode& value, std::string& text) {
  std::vector<std::string> parts;
  switch (form) {
    case Form::kTexts:
      if (!value.IsArray()) return false;
      for (const CborNode& entry : value.children) {
        if (!IsPlainText(entry)) return false;
        parts.push_back(entry.bytes);
      }
      text = Joined(parts);
      return true;
    case Form::kNumbers:
      if (!value.IsArray()) return false;
      for (const CborNode& entry : value.children) {
        if (!entry.IsUnsigned()) return false;
        parts.push_back(std::to_string(entry.argument));
      }
      text = Joined(parts);
      return true;
    case Form::kAaguid: {
      if (!value.IsBytes() || value.bytes.size() != 16) return false;
      const std::string hex = BytesHex(value.bytes);
      text = hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" +
             hex.substr(16, 4) + "-" + hex.substr(20);
      return true;
    }
    case Form::kOptions:
      if (!value.IsMap()) return false;
      for (size_t i = 0; i + 1 < value.children.size(); i += 2) {
        const CborNode& name = value.children[i];
        const CborNode& flag = value.children[i + 1];
        if (!IsPlainText(name) || !flag.IsBool()) return false;
        parts.push_back(name.bytes + (flag.argument == 21 ? "=true" : "=false"));
      }
      text = Joined(parts);
      return true;
    case Form::kUnsigned:
      if (!value.IsUnsigned()) return false;
      text = std::to_string(value.argument);
      return true;
    case Form::kAlgorithms:
      if (!value.IsArray()) return false;
      for (const CborNode& entry : value.children) {
        const CborNode* algorithm = CborMapValue(entry, "alg");
        int64_t number = 0;
        if (algorithm == nullptr || !IsInteger(*algorithm) || !IntegerValue(*algorithm, number)) {
          return false;
        }
        parts.push_back(AlgorithmText(number));
      }
      text = Joined(parts);
      return true;
    case Form::kBoolean:
      if (!value.IsBool()) return false;
      text = value.argument == 21 ? "true" : "false";
      return true;
    case Form::kUvModality:
      if (!value.IsUnsigned()) return false;
      text = UvModalityText(value.argument);
      return true;
    case Form::kCertifications:
      if (!value.IsMap()) return false;
      for (size_t i = 0; i + 1 < value.children.size(); i += 2) {
        const CborNode& name = value.children[i];
        const CborNode& level = value.children[i + 1];
        if (!IsPlainText(name) || !level.IsUnsigned()) return false;
        parts.push_back(name.bytes + "=" + std::to_string(level.argument));
      }
      text = Joined(parts);
      return true;
    case Form::kBytes:
      if (!value.IsBytes()) return false;
      text = BytesHex(value.bytes);
      return true;
    case Form::kUrlBytes:
      if (!value.IsBytes()) return false;
      text = PrintableUtf8(value.bytes) ? value.bytes : BytesHex(value.bytes);
      return true;
  }
  return false;
}

// Cuts at the limit on a UTF-8 character boundary, marking the cut.
std::string Bounded(const std::string& text) {
  if (text.size() <= DETAILS_VALUE_LIMIT) return text;
  size_t keep = DETAILS_VALUE_LIMIT;
  while (keep > 0 && (static_cast<uint8_t>(text[keep]) & 0xC0) == 0x80) --keep;
  return text.substr(0, keep) + "...";
}

}  // namespace

std::string CoseAlgorithmName(int64_t algorithm) {
  for (const CoseAlgorithm& entry : kCoseAlgorithms) {
    if (entry.number == algorithm) return entry.name;
  }
  return "";
}

std::string GetInfoMemberName(uint64_t key) {
  if (const Member* member = FindMember(key)) return member->name;
  char text[24];
  std::snprintf(text, sizeof text, "0x%02llX", static_cast<unsigned long long>(key));
  return text;
}

std::string GetInfoMemberValue(uint64_t key, const CborNode& value) {
  std::string text;
  const Member* member = FindMember(key);
  if (member != nullptr && FormValue(member->form, value, text)) return Bounded(text);
  return CborNodeDiagnostic(value, DETAILS_VALUE_LIMIT);
}
