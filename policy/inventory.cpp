#include "policy/inventory.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <map>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "metadata/attestation_identity.h"
#include "metadata/file_bytes.h"

namespace {

using Json = nlohmann::ordered_json;

std::string UtcTime(int64_t unixSeconds) {
  const time_t seconds = static_cast<time_t>(unixSeconds);
  struct tm parts {};
  char text[32] = "";
  if (gmtime_r(&seconds, &parts) == nullptr ||
      strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts) == 0) {
    return std::to_string(unixSeconds);
  }
  return text;
}

std::string Hex4(int id) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(id) & 0xFFFFu);
  return text;
}

Json TextOrNull(const std::string& text) { return text.empty() ? Json() : Json(text); }

std::string Errno(const char* what, const std::string& path) {
  return std::string("Cannot ") + what + " the inventory " + path + ": " + std::strerror(errno) +
         ".";
}

// The text of a member, with control characters shown as '?': the summary goes
// to a terminal, and a line is anyone's input.
std::string TextMember(const Json& line, const char* name) {
  const auto found = line.find(name);
  if (found == line.end() || !found->is_string()) return {};
  std::string text = found->get<std::string>();
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return text;
}

struct ModelCount {
  size_t passed = 0;
  size_t failed = 0;
};

}  // namespace

std::string InventoryLine(const InventoryDevice& device, const PolicyFacts& facts,
                          const PolicyResult& result, int64_t nowUnixSeconds,
                          const std::string& hostName) {
  Json line;
  line["time"] = UtcTime(nowUnixSeconds);
  line["host"] = hostName;
  line["devicePath"] = device.path;
  line["vendorId"] = device.vendorId < 0 ? Json() : Json(Hex4(device.vendorId));
  line["productId"] = device.productId < 0 ? Json() : Json(Hex4(device.productId));
  line["product"] = device.product;
  line["aaguid"] = facts.aaguid.empty() ? Json() : Json(HyphenatedAaguid(facts.aaguid));
  line["attestationKeyIdentifier"] = TextOrNull(facts.keyIdentifier);
  line["firmwareVersion"] = facts.firmware < 0 ? Json() : Json(facts.firmware);
  line["attestationLeafSha256"] = TextOrNull(facts.attestationLeafSha256);
  line["metadataBlobNumber"] = facts.blobNumber < 0 ? Json() : Json(facts.blobNumber);
  Json rules = Json::object();
  for (const RuleResult& rule : result.rules) {
    rules[PolicyRuleName(rule.rule)] = RuleResultText(rule);
  }
  line["rules"] = rules;
  line["result"] = result.passed ? "PASS" : "FAIL";
  return line.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string InventoryHostName() {
  char name[256] = "";
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

std::string AppendInventoryLine(const std::string& path, const std::string& line) {
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return Errno("open", path);
  ssize_t written;
  do {
    written = write(fd, line.data(), line.size());
  } while (written < 0 && errno == EINTR);
  std::string error;
  if (written < 0) {
    error = Errno("write to", path);
  } else if (static_cast<size_t>(written) != line.size()) {
    // Writing the rest would let another station's line in between.
    error = "Only " + std::to_string(written) + " of " + std::to_string(line.size()) +
            " bytes were written to the inventory " + path + ": its last line is cut short.";
  } else if (fsync(fd) != 0) {
    error = Errno("save", path);
  }
  if (close(fd) != 0 && error.empty()) error = Errno("close", path);
  return error;
}

InventorySummary SummarizeInventory(const uint8_t* bytes, size_t length) {
  InventorySummary summary;
  std::map<std::string, ModelCount> models;
  std::string failures;
  std::string unreadable;
  const char* text = reinterpret_cast<const char*>(bytes);
  size_t lineNumber = 0;
  for (size_t start = 0; start < length;) {
    const char* end = static_cast<const char*>(std::memchr(text + start, '\n', length - start));
    const size_t stop = end != nullptr ? static_cast<size_t>(end - text) : length;
    ++lineNumber;
    const std::string_view raw(text + start, stop - start);
    start = stop + 1;
    if (raw.find_first_not_of(" \t\r") == std::string_view::npos) continue;
    const Json line = Json::parse(
        raw.begin(), raw.end(),
        [](int depth, nlohmann::detail::parse_event_t, Json&) {
          return depth <= static_cast<int>(INVENTORY_MAX_DEPTH);
        },
        false);
    const std::string result = line.is_object() ? TextMember(line, "result") : std::string();
    if (result != "PASS" && result != "FAIL") {
      ++summary.unreadable;
      unreadable += (unreadable.empty() ? "" : ", ") + std::to_string(lineNumber);
      continue;
    }
    ++summary.checks;
    const std::string product = TextMember(line, "product");
    std::string model = TextMember(line, "aaguid");
    if (model.empty()) model = TextMember(line, "attestationKeyIdentifier");
    if (model.empty()) model = "no AAGUID";
    if (!product.empty()) model += " (" + product + ")";
    ModelCount& count = models[model];
    if (result == "PASS") {
      ++summary.passed;
      ++count.passed;
      continue;
    }
    ++summary.failed;
    ++count.failed;
    std::string reason;
    if (const auto rules = line.find("rules"); rules != line.end() && rules->is_object()) {
      for (const auto& [name, value] : rules->items()) {
        if (value.is_string() && value.get<std::string>() != "PASS") {
          reason = name + ": " + TextMember(*rules, name.c_str());
          break;
        }
      }
    }
    std::string where = "  line " + std::to_string(lineNumber);
    for (const char* name : {"time", "host", "devicePath"}) {
      if (const std::string part = TextMember(line, name); !part.empty()) where += ", " + part;
    }
    failures += where + ", " + model + (reason.empty() ? std::string() : ": " + reason) + "\n";
  }
  std::string& out = summary.text;
  out = std::to_string(summary.checks) + " checked, " + std::to_string(summary.passed) +
        " passed, " + std::to_string(summary.failed) + " failed\n";
  if (!models.empty()) out += "By model:\n";
  for (const auto& [model, count] : models) {
    out += "  " + model + ": " + std::to_string(count.passed) + " passed, " +
           std::to_string(count.failed) + " failed\n";
  }
  if (!failures.empty()) out += "Failed:\n" + failures;
  if (summary.unreadable > 0) {
    out += std::to_string(summary.unreadable) + " unreadable line" +
           (summary.unreadable == 1 ? "" : "s") + ": " + unreadable + "\n";
  }
  return summary;
}

bool SummarizeInventoryFile(const std::string& path, InventorySummary& summary,
                            std::string& error) {
  std::vector<uint8_t> bytes;
  if (!ReadFileBytes(path, INVENTORY_MAX_FILE_BYTES, bytes, error)) return false;
  summary = SummarizeInventory(bytes.data(), bytes.size());
  return true;
}
