#include "policy/policy_file.h"

#include <algorithm>
#include <cctype>
#include <set>

#include <nlohmann/json.hpp>

#include "metadata/attestation_verdict.h"
#include "metadata/file_bytes.h"
#include "metadata/mds_payload.h"

namespace {

// Ordered, so that the rules are checked and shown in the file's order.
using Json = nlohmann::ordered_json;

struct RuleName {
  const char* name;
  PolicyRule rule;
};

constexpr RuleName kRules[] = {
    {"verdict", PolicyRule::kVerdict},
    {"models", PolicyRule::kModels},
    {"certification", PolicyRule::kCertification},
    {"fips", PolicyRule::kFips},
    {"metadataCurrent", PolicyRule::kMetadataCurrent},
    {"pin", PolicyRule::kPin},
    {"passkeys", PolicyRule::kPasskeys},
    {"options", PolicyRule::kOptions},
    {"versions", PolicyRule::kVersions},
};

constexpr const char* kLevels[] = {"L1", "L1plus", "L2", "L2plus", "L3", "L3plus"};

// RFC 6901: "~" and "/" inside a member name are escaped.
std::string PointerPart(const std::string& name) {
  std::string part = "/";
  for (char c : name) {
    if (c == '~') {
      part += "~0";
    } else if (c == '/') {
      part += "~1";
    } else {
      part += c;
    }
  }
  return part;
}

std::string Fail(const std::string& pointer, const std::string& problem) {
  return (pointer.empty() ? std::string("/") : pointer) + ": " + problem;
}

bool IsHexOfLength(const std::string& text, size_t length) {
  return text.size() == length && std::all_of(text.begin(), text.end(), [](char c) {
           return std::isxdigit(static_cast<unsigned char>(c));
         });
}

std::string Lowercase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Where the JSON itself goes wrong beyond the syntax: members named twice
// (which one counts would be the parser's choice) and nesting past the bound.
class StructureCheck {
 public:
  bool operator()(int, nlohmann::detail::parse_event_t event, Json& parsed) {
    using Event = nlohmann::detail::parse_event_t;
    switch (event) {
      case Event::object_start:
      case Event::array_start:
        CountElement();
        frames_.push_back({event == Event::array_start, -1, {}, {}});
        if (frames_.size() > POLICY_MAX_DEPTH && problem_.empty()) {
          problem_ =
              Fail(Pointer(), "nested deeper than " + std::to_string(POLICY_MAX_DEPTH) + " levels");
        }
        return frames_.size() <= POLICY_MAX_DEPTH;
      case Event::key:
        if (!frames_.empty()) {
          Frame& frame = frames_.back();
          frame.key = parsed.is_string() ? parsed.get<std::string>() : std::string();
          if (!frame.keys.insert(frame.key).second && problem_.empty()) {
            problem_ = Fail(Pointer(), "named twice");
          }
        }
        return true;
      case Event::value:
        CountElement();
        return true;
      case Event::object_end:
      case Event::array_end:
        if (!frames_.empty()) frames_.pop_back();
        return true;
    }
    return true;
  }

  const std::string& problem() const { return problem_; }

 private:
  struct Frame {
    bool array;
    long index;
    std::string key;
    std::set<std::string> keys;
  };

  void CountElement() {
    if (!frames_.empty() && frames_.back().array) ++frames_.back().index;
  }

  std::string Pointer() const {
    std::string pointer;
    for (const Frame& frame : frames_) {
      if (frame.array) {
        if (frame.index >= 0) pointer += "/" + std::to_string(frame.index);
      } else if (&frame != &frames_.back() || !frame.keys.empty()) {
        pointer += PointerPart(frame.key);
      }
    }
    return pointer;
  }

  std::vector<Frame> frames_;
  std::string problem_;
};

std::string ReadUnsigned(const Json& value, const std::string& pointer, uint64_t& out) {
  if (!value.is_number_unsigned()) return Fail(pointer, "not an unsigned integer");
  out = value.get<uint64_t>();
  return {};
}

std::string ReadBool(const Json& value, const std::string& pointer, bool& out) {
  if (!value.is_boolean()) return Fail(pointer, "not true or false");
  out = value.get<bool>();
  return {};
}

std::string ReadModel(const Json& value, const std::string& pointer, PolicyModel& model) {
  if (!value.is_object()) return Fail(pointer, "not an object");
  for (const auto& [name, member] : value.items()) {
    const std::string at = pointer + PointerPart(name);
    if (name == "aaguid") {
      if (!member.is_string()) return Fail(at, "not a text");
      model.aaguid = NormalizeAaguid(member.get<std::string>());
      if (model.aaguid.empty()) return Fail(at, "not a UUID or 32 hex digits");
    } else if (name == "keyIdentifier") {
      if (!member.is_string() || !IsHexOfLength(member.get<std::string>(), 40)) {
        return Fail(at, "not 40 hex digits");
      }
      model.keyIdentifier = Lowercase(member.get<std::string>());
    } else if (name == "minFirmware") {
      if (std::string problem = ReadUnsigned(member, at, model.minFirmware); !problem.empty()) {
        return problem;
      }
      model.hasMinFirmware = true;
    } else if (name == "name") {
      if (!member.is_string()) return Fail(at, "not a text");
      model.name = member.get<std::string>();
    } else {
      return Fail(at, "not a member of a model (aaguid, keyIdentifier, minFirmware, name)");
    }
  }
  if (model.aaguid.empty() == model.keyIdentifier.empty()) {
    return Fail(pointer, "needs exactly one of aaguid and keyIdentifier");
  }
  return {};
}

std::string ReadRule(PolicyRule rule, const Json& value, const std::string& at, Policy& policy) {
  switch (rule) {
    case PolicyRule::kVerdict: {
      const char* const words[] = {VERDICT_GENUINE, VERDICT_NOT_GENUINE, VERDICT_CANNOT_BE_TRUSTED,
                                   VERDICT_CANNOT_BE_VERIFIED};
      if (value.is_string()) {
        for (const char* word : words) {
          if (value.get<std::string>() == word) policy.verdict = word;
        }
      }
      return policy.verdict.empty() ? Fail(at, "not a verdict (\"genuine\")") : std::string();
    }
    case PolicyRule::kModels:
      if (!value.is_array() || value.empty()) return Fail(at, "not a list of models");
      policy.models.resize(value.size());
      for (size_t i = 0; i < value.size(); ++i) {
        std::string problem = ReadModel(value[i], at + "/" + std::to_string(i), policy.models[i]);
        if (!problem.empty()) return problem;
      }
      return {};
    case PolicyRule::kCertification:
      if (!value.is_string() || value.get<std::string>().rfind("FIDO_CERTIFIED_", 0) != 0 ||
          FidoCertificationRank(value.get<std::string>()) == 0) {
        return Fail(at, "not a certification level (\"FIDO_CERTIFIED_L1\" ... \"L3plus\")");
      }
      policy.certification = value.get<std::string>();
      return {};
    case PolicyRule::kFips:
      // false would require nothing, and a policy of it alone pass every key.
      if (!value.is_boolean() || !value.get<bool>()) return Fail(at, "not true");
      policy.fips = true;
      return {};
    case PolicyRule::kMetadataCurrent:
      if (!value.is_boolean() || !value.get<bool>()) return Fail(at, "not true");
      policy.metadataCurrent = true;
      return {};
    case PolicyRule::kPin:
      if (value == "set" || value == "not set") {
        policy.pinSet = value == "set";
        return {};
      }
      return Fail(at, "not \"set\" or \"not set\"");
    case PolicyRule::kPasskeys:
      return ReadUnsigned(value, at, policy.passkeys);
    case PolicyRule::kOptions:
      if (!value.is_object() || value.empty()) {
        return Fail(at, "not an object of option names and true or false");
      }
      for (const auto& [name, member] : value.items()) {
        bool wanted = false;
        if (std::string problem = ReadBool(member, at + PointerPart(name), wanted);
            !problem.empty()) {
          return problem;
        }
        policy.options.emplace_back(name, wanted);
      }
      return {};
    case PolicyRule::kVersions:
      if (!value.is_array() || value.empty()) return Fail(at, "not a list of versions");
      for (size_t i = 0; i < value.size(); ++i) {
        if (!value[i].is_string() || value[i].get<std::string>().empty()) {
          return Fail(at + "/" + std::to_string(i), "not a version text");
        }
        policy.versions.push_back(value[i].get<std::string>());
      }
      return {};
  }
  return Fail(at, "not a rule");
}

}  // namespace

const char* PolicyRuleName(PolicyRule rule) {
  for (const RuleName& each : kRules) {
    if (each.rule == rule) return each.name;
  }
  return "?";
}

bool Policy::Has(PolicyRule rule) const {
  return std::find(rules.begin(), rules.end(), rule) != rules.end();
}

int FidoCertificationRank(const std::string& status) {
  static constexpr char kPrefix[] = "FIDO_CERTIFIED_";
  const std::string level =
      status.rfind(kPrefix, 0) == 0 ? status.substr(sizeof kPrefix - 1) : status;
  for (size_t i = 0; i < std::size(kLevels); ++i) {
    if (level == kLevels[i]) return static_cast<int>(i) + 1;
  }
  return 0;
}

std::string ReadPolicy(const uint8_t* bytes, size_t length, Policy& policy) {
  policy = Policy();
  if (length > POLICY_MAX_FILE_BYTES) {
    return "/: the policy is larger than " + std::to_string(POLICY_MAX_FILE_BYTES) + " bytes";
  }
  StructureCheck check;
  Json root;
  try {
    root = Json::parse(bytes, bytes + length, std::ref(check));
  } catch (const Json::parse_error& error) {
    return "/: not JSON (byte " + std::to_string(error.byte) + ")";
  } catch (const Json::exception&) {
    return "/: not JSON";
  }
  if (!check.problem().empty()) return check.problem();
  if (!root.is_object()) return "/: not an object of rules";
  Policy read;
  for (const auto& member : root.items()) {
    const std::string& name = member.key();
    const Json& value = member.value();
    const std::string at = PointerPart(name);
    const RuleName* known = std::find_if(std::begin(kRules), std::end(kRules),
                                         [&](const RuleName& each) { return name == each.name; });
    if (known == std::end(kRules)) return Fail(at, "not a rule this program knows");
    if (std::string problem = ReadRule(known->rule, value, at, read); !problem.empty()) {
      return problem;
    }
    read.rules.push_back(known->rule);
  }
  // A policy of no rules would pass every key.
  if (read.rules.empty()) return "/: names no rule";
  policy = std::move(read);
  return {};
}

std::string ReadPolicyFile(const std::string& path, Policy& policy) {
  policy = Policy();
  std::vector<uint8_t> bytes;
  std::string error;
  if (!ReadFileBytes(path, POLICY_MAX_FILE_BYTES, bytes, error)) return error;
  return ReadPolicy(bytes.data(), bytes.size(), policy);
}
