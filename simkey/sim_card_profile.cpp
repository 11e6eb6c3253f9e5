#include "simkey/sim_card_profile.h"

#include "simkey/sim_hex.h"

namespace {

constexpr size_t kAtrMin = 2;
constexpr size_t kAtrMax = 33;
constexpr uint32_t kKeepAlivesMax = 1000;

bool Flag(const nlohmann::ordered_json& value, bool& out) {
  if (!value.is_boolean()) return false;
  out = value.get<bool>();
  return true;
}

}  // namespace

bool ReadSimCardOptions(const nlohmann::ordered_json& value, SimCardOptions& out,
                        std::string& problem) {
  if (!value.is_object()) {
    problem = "expected an object";
    return false;
  }
  for (const auto& [key, item] : value.items()) {
    if (key == "comment") continue;
    bool good = true;
    std::string expected;
    if (key == "atr") {
      std::vector<uint8_t> atr;
      good = item.is_string() && SimParseHex(item.get<std::string>(), atr) &&
             atr.size() >= kAtrMin && atr.size() <= kAtrMax;
      if (good) out.atr = std::move(atr);
      expected = "expected 2 to 33 bytes in hex";
    } else if (key == "keepAlives") {
      good = item.is_number_unsigned() && item.get<uint64_t>() <= kKeepAlivesMax;
      if (good) out.keepAlives = item.get<uint32_t>();
      expected = "expected a number from 0 to 1000";
    } else if (key == "shortApdusOnly" || key == "u2fOnly") {
      good = Flag(item, key == "u2fOnly" ? out.u2fOnly : out.shortApdusOnly);
      expected = "expected true or false";
    } else {
      good = false;
      expected = "unknown field";
    }
    if (!good) {
      problem = key + ": " + expected;
      return false;
    }
  }
  return true;
}
