#include "metadata/declared_getinfo.h"

#include <algorithm>
#include <exception>

#include "cbor/cbor_view.h"
#include "metadata/attestation_identity.h"

namespace {

using Json = nlohmann::json;

struct Member {
  const char* name;
  int32_t number;
};

// CTAP 2.1/2.2 authenticatorGetInfo members compared.
constexpr Member kMembers[] = {
    {"versions", 1},
    {"extensions", 2},
    {"aaguid", 3},
    {"options", 4},
    {"maxMsgSize", 5},
    {"pinUvAuthProtocols", 6},
    {"maxCredentialCountInList", 7},
    {"maxCredentialIdLength", 8},
    {"transports", 9},
    {"algorithms", 10},
    {"maxSerializedLargeBlobArray", 11},
    {"firmwareVersion", 14},
    {"maxCredBlobLength", 15},
    {"maxRPIDsForSetMinPINLength", 16},
    {"preferredPlatformUvAttempts", 17},
    {"uvModality", 18},
    {"certifications", 19},
    {"vendorPrototypeConfigCommands", 21},
    {"attestationFormats", 22},
    {"longTouchForReset", 24},
    {"transportsForReset", 26},
    {"maxPINLength", 29},
};

// Options whose value says whether something is set up on this key, not
// what the model can do.
constexpr const char* kStateOptions[] = {
    "clientPin", "uv", "bioEnroll", "alwaysUv", "userVerificationMgmtPreview", "ep"};

constexpr int kMaxDepth = 4;
constexpr int32_t kMaxElements = 64;

// The key's CBOR item as JSON, shaped like the declared value: maps keep
// only the members the declared object names.
Json ToJson(const CborView& item, const Json& shape, int depth) {
  const CborHead head = item.Head();
  if (head.headLength == 0 || depth > kMaxDepth) return nullptr;
  switch (head.major) {
    case CBOR_MAJOR_UNSIGNED:
      return head.argument;
    case CBOR_MAJOR_NEGATIVE:
      return -1 - static_cast<int64_t>(head.argument);
    case CBOR_MAJOR_TEXT: {
      std::string text;
      if (!item.GetText(text)) return nullptr;
      return text;
    }
    case CBOR_MAJOR_BYTES: {
      const uint8_t* bytes = nullptr;
      uint32_t length = 0;
      if (!item.GetBytes(bytes, length)) return nullptr;
      return LowerHex(bytes, length);
    }
    case CBOR_MAJOR_SIMPLE:
      if (head.info == CBOR_SIMPLE_TRUE) return true;
      if (head.info == CBOR_SIMPLE_FALSE) return false;
      return nullptr;
    case CBOR_MAJOR_ARRAY: {
      Json array = Json::array();
      const Json elementShape = shape.is_array() && !shape.empty() ? shape.front() : Json();
      const int32_t count = std::min(item.Count(), kMaxElements);
      for (int32_t i = 0; i < count; ++i) {
        array.push_back(ToJson(item.ElementAt(i), elementShape, depth + 1));
      }
      return array;
    }
    case CBOR_MAJOR_MAP: {
      Json object = Json::object();
      if (!shape.is_object()) return object;
      for (const auto& [name, value] : shape.items()) {
        const CborView member = item.FindTextKey(name.c_str(), static_cast<uint32_t>(name.size()));
        if (!member.IsEmpty()) object[name] = ToJson(member, value, depth + 1);
      }
      return object;
    }
    default:
      return nullptr;
  }
}

// Arrays compare as sets: order carries no meaning in these members.
Json Canonical(const Json& value) {
  if (value.is_array()) {
    std::vector<std::string> texts;
    for (const Json& element : value) texts.push_back(Canonical(element).dump());
    std::sort(texts.begin(), texts.end());
    return texts;
  }
  if (value.is_object()) {
    Json object = Json::object();
    for (const auto& [name, member] : value.items()) object[name] = Canonical(member);
    return object;
  }
  // 1 and 1.0 are the same number.
  if (value.is_number()) return value.get<double>();
  return value;
}

std::string Shown(const Json& value) {
  return value.is_null() ? "none" : value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

bool IsStateOption(const std::string& name) {
  return std::find(std::begin(kStateOptions), std::end(kStateOptions), name) !=
         std::end(kStateOptions);
}

std::string CompareOptions(const Json& declared, const Json& key) {
  std::string differences;
  for (const auto& [name, value] : declared.items()) {
    const bool present = key.is_object() && key.contains(name);
    if (IsStateOption(name) ? present : present && key[name] == value) continue;
    if (!differences.empty()) differences += ", ";
    differences += name + " metadata " + Shown(value) + ", key " +
                   (present ? Shown(key[name]) : std::string("none"));
  }
  return differences;
}

}  // namespace

std::vector<std::string> CompareDeclaredGetInfo(const Json& declared, const uint8_t* getInfo,
                                                uint32_t length) {
  std::vector<std::string> rows;
  if (!declared.is_object()) return rows;
  try {
    const CborView answer(getInfo, length);
    for (const Member& member : kMembers) {
      const auto it = declared.find(member.name);
      if (it == declared.end()) continue;
      const CborView item = answer.FindIntKey(member.number);
      const Json key = item.IsEmpty() ? Json() : ToJson(item, *it, 0);
      if (member.number == 4) {
        if (!it->is_object()) continue;
        const std::string differences = CompareOptions(*it, key);
        if (!differences.empty()) rows.push_back(std::string("options: ") + differences);
        continue;
      }
      Json declaredValue = *it;
      // The statement writes the AAGUID as hex; the key gives 16 bytes.
      if (member.number == 3 && declaredValue.is_string()) {
        std::string text = declaredValue.get<std::string>();
        text.erase(std::remove(text.begin(), text.end(), '-'), text.end());
        for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        declaredValue = text;
      }
      if (Canonical(declaredValue) != Canonical(key)) {
        rows.push_back(std::string(member.name) + ": metadata " + Shown(*it) + ", key " +
                       Shown(key));
      }
    }
  } catch (const std::exception&) {
    rows.push_back("the declared GetInfo cannot be compared");
  }
  return rows;
}

int64_t GetInfoFirmwareVersion(const uint8_t* getInfo, uint32_t length) {
  uint32_t version = 0;
  if (!CborView(getInfo, length).FindIntKey(14).GetUnsigned(version)) return -1;
  return version;
}
