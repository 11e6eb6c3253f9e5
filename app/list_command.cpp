#include "app/list_command.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>
#include <ostream>

#include "app/access_message.h"
#include "app/all_vendors.h"
#include "app/device_choice.h"
#include "app/simulated_platform.h"
#include "transport/device_name.h"
#include "transport/key_device.h"

namespace {

std::string Hex4(uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", value);
  return text;
}

// Why the interface cannot be opened, or empty when it can.
std::string OpenProblem(int error) {
  if (error == 0) return std::string();
  if (error == EACCES || error == EPERM) {
    return std::string("permission denied: ") + KEY_ACCESS_ADVICE_TEXT;
  }
  std::string text = std::strerror(error);
  if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') text[0] = static_cast<char>(text[0] + 32);
  return text;
}

std::string KeepingText(const KeyListEntry& entry, KeyKeeping keeping) {
  switch (keeping) {
    case KeyKeeping::kEveryMaker:
      return "maker filter: off";
    case KeyKeeping::kNamedDevice:
      return entry.kept ? "named by --device" : "not named by --device";
    case KeyKeeping::kMakerFilter:
      break;
  }
  return entry.makerFilterKeeps ? "maker filter: keeps" : "maker filter: drops";
}

KeyKeeping CurrentKeeping() {
  const KeyDevice& key = KeyDevice::Instance();
  if (key.namedDevice() != nullptr) return KeyKeeping::kNamedDevice;
  return key.allVendors() ? KeyKeeping::kEveryMaker : KeyKeeping::kMakerFilter;
}

}  // namespace

std::string OneLineDeviceText(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c == '\\' || c == '"') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string FormatKeyListText(const std::vector<KeyListEntry>& entries, KeyKeeping keeping) {
  std::string out;
  for (const KeyListEntry& entry : entries) {
    const HidInterface& facts = entry.facts;
    const std::string problem =
        entry.openReason.empty() ? OpenProblem(entry.openError) : entry.openReason;
    out += OneLineDeviceText(facts.path) + "  " + Hex4(facts.vendorId) + ":" +
           Hex4(facts.productId) + "  \"" + OneLineDeviceText(facts.productName) + "\"  release " +
           Hex4(facts.releaseNumber) + "  usage page " + Hex4(facts.usagePage) + "  usage " +
           Hex4(facts.usage) + "  " + KeepingText(entry, keeping) +
           "  may open: " + (problem.empty() ? "yes" : "no, " + problem) + "\n";
  }
  return out;
}

std::string FormatKeyListJson(const std::vector<KeyListEntry>& entries, KeyKeeping keeping,
                              const std::vector<CardListEntry>& readers) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const KeyListEntry& entry : entries) {
    const HidInterface& facts = entry.facts;
    const std::string problem =
        entry.openReason.empty() ? OpenProblem(entry.openError) : entry.openReason;
    nlohmann::ordered_json item;
    item["path"] = facts.path;
    item["vendorId"] = Hex4(facts.vendorId);
    item["productId"] = Hex4(facts.productId);
    item["product"] = facts.productName;
    item["release"] = Hex4(facts.releaseNumber);
    item["usagePage"] = Hex4(facts.usagePage);
    item["usage"] = Hex4(facts.usage);
    item["makerFilterKeeps"] = entry.makerFilterKeeps;
    item["kept"] = entry.kept;
    item["keptBy"] = keeping == KeyKeeping::kMakerFilter  ? "maker filter"
                     : keeping == KeyKeeping::kEveryMaker ? "every maker"
                                                          : "--device";
    item["mayOpen"] = problem.empty();
    item["openErrno"] = entry.openError;
    item["openProblem"] =
        problem.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(problem);
    list.push_back(std::move(item));
  }
  AppendCardListJson(list, readers);
  // Bytes that are not UTF-8 become U+FFFD rather than an exception.
  return list.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

namespace {

// Why the path named with --device is not among the FIDO interfaces listed,
// or empty when it is.
std::string NamedPathProblem(const std::string& path, const std::vector<KeyListEntry>& entries) {
  for (const KeyListEntry& entry : entries) {
    if (entry.facts.path == path) return {};
  }
  std::vector<HidInterface> present;
  KeyDevice::Instance().platform().Enumerate(present);
  for (const HidInterface& facts : present) {
    if (facts.path == path) {
      return "the HID interface " + OneLineDeviceText(path) + " is no FIDO interface (usage page " +
             Hex4(facts.usagePage) + ")";
    }
  }
  return "no HID interface is at " + OneLineDeviceText(path);
}

}  // namespace

int RunListCommand(const CommandLine& line, std::ostream& out, std::ostream& err) {
  SimulatedPlatform simulated;
  if (!StartSimulatedPlatform(line, simulated, err)) return EXIT_BAD_ARGUMENTS;
  DeviceChoice chosen;
  DeviceName name;
  std::string problem;
  if (!line.device.empty()) {
    if (!ParseDeviceName(line.device, name, problem)) {
      err << "quillmark: " << problem << "\n";
      return EXIT_BAD_ARGUMENTS;
    }
    // A network authenticator is listed alone; a path or ids mark the key kept.
    chosen.Start(name);
  }
  StartCardReaders(line, chosen);
  if (name.kind == DeviceName::Kind::kPcsc && !line.device.empty()) {
    if (const std::string problem = chosen.CheckReachable(); !problem.empty()) {
      err << "quillmark: " << problem << "\n";
      return chosen.UnreachableExitCode();
    }
  }
  const AllVendorsScope allVendors(line.allVendors);

  std::vector<KeyListEntry> entries;
  if (!KeyListFidoInterfaces(entries)) {
    err << "quillmark: the HID interfaces cannot be listed\n";
    return EXIT_NO_KEY;
  }
  const KeyKeeping keeping = CurrentKeeping();
  std::vector<CardListEntry> readers;
  bool cardShown = false;
  if (CardPlatform* cards = KeyDevice::Instance().cardPlatform()) {
    if (ListCardReaders(*cards, readers) == CARD_NO_SERVICE) err << CARD_NO_SERVICE_TEXT << "\n";
    for (const CardListEntry& reader : readers) cardShown = cardShown || !reader.applet.empty();
  }
  out << (line.json ? FormatKeyListJson(entries, keeping, readers)
                    : FormatKeyListText(entries, keeping) + FormatCardListText(readers));
  if (name.kind == DeviceName::Kind::kHidPath && !line.device.empty()) {
    if (const std::string missing = NamedPathProblem(name.path, entries); !missing.empty()) {
      err << "quillmark: " << missing << "\n";
      return EXIT_NO_KEY;
    }
  }
  if (entries.empty() && !cardShown) {
    err << "quillmark: " << NoKeyMessage({}) << "\n";
    return EXIT_NO_KEY;
  }
  return EXIT_KEY_SHOWN;
}
