#include "app/device_choice.h"

#include <ostream>
#include <vector>

#include "app/card_readers.h"
#include "app/command_line.h"

#include "transport/card_session.h"
#include "transport/key_device.h"
#include "transport/network_platform.h"

DeviceChoice::DeviceChoice() = default;

DeviceChoice::~DeviceChoice() {
  if (usesCards_) KeyDevice::Instance().SetCardPlatform(nullptr);
  if (!active_) return;
  KeyDevice& key = KeyDevice::Instance();
  key.SetNamedDevice(nullptr);
  if (network_) key.SetPlatform(nullptr);
}

void DeviceChoice::Start(const DeviceName& name) {
  name_ = name;
  active_ = true;
  KeyDevice& key = KeyDevice::Instance();
  network_ = NetworkPlatform::ForName(name);
  if (network_) key.SetPlatform(network_.get());
  key.SetNamedDevice(&name_);
}

void DeviceChoice::SetWaitLimitMs(int milliseconds) {
  if (network_) network_->SetWaitLimitMs(milliseconds);
}

std::string DeviceChoice::Line(const std::string& reason) const {
  return "cannot reach " + name_.path + ": " + reason;
}

std::string DeviceChoice::CheckReachable() const {
  if (!active_) return std::string();
  if (name_.kind == DeviceName::Kind::kPcsc) return CardProblem(false);
  HidPlatform& hid = KeyDevice::Instance().platform();
  if (network_) {
    int error = 0;
    const KeyHandle handle = hid.Open(name_.path, HidAccess::kWrite, &error);
    if (handle == KEY_INVALID_HANDLE) return Line(network_->failure());
    hid.Close(handle);
    return std::string();
  }
  std::vector<HidInterface> present;
  if (!hid.Enumerate(present)) return Line("the HID interfaces cannot be listed");
  bool found = false;
  for (const HidInterface& facts : present) {
    const bool named = name_.kind == DeviceName::Kind::kVendorProduct
                           ? facts.vendorId == name_.vendorId && facts.productId == name_.productId
                           : facts.path == name_.path;
    if (!named) continue;
    found = true;
    if (facts.usagePage == FIDO_USAGE_PAGE) return std::string();
  }
  return Line(found                                      ? "not a FIDO interface"
              : name_.kind == DeviceName::Kind::kHidPath ? "no such HID interface"
                                                         : "no HID interface with these ids");
}

std::string DeviceChoice::Unreached() const {
  if (!active_) return std::string();
  const KeyDevice& key = KeyDevice::Instance();
  if (network_ && !network_->answered() && !network_->failure().empty()) {
    return Line(network_->failure());
  }
  if (key.selected.IsEmpty() && name_.kind == DeviceName::Kind::kPcsc) return CardProblem(true);
  if (key.selected.IsEmpty()) {
    // Access problems have their own message.
    if (!key.deniedPaths.empty()) return std::string();
    const std::string reason = CheckReachable();
    return reason.empty() ? Line("the interface could not be opened") : reason;
  }
  return std::string();
}

bool StartDeviceChoice(const CommandLine& line, DeviceChoice& chosen, std::ostream& err) {
  StartCardReaders(line, chosen);
  if (line.device.empty()) return true;
  DeviceName name;
  std::string problem;
  if (!ParseDeviceName(line.device, name, problem)) {
    err << "quillmark: " << problem << "\n";
    return false;
  }
  chosen.Start(name);
  const std::string unreachable = chosen.CheckReachable();
  if (unreachable.empty()) return true;
  err << "quillmark: " << unreachable << "\n";
  return false;
}

void DeviceChoice::UseCards(CardPlatform& cards) {
  usesCards_ = true;
  KeyDevice::Instance().SetCardPlatform(&cards);
}

int DeviceChoice::UnreachableExitCode() const {
  return ambiguous_ ? EXIT_BAD_ARGUMENTS : EXIT_NO_KEY;
}

std::string DeviceChoice::CardProblem(bool afterRefresh) const {
  CardPlatform* cards = KeyDevice::Instance().cardPlatform();
  if (cards == nullptr) return Line("card readers are not used with a simulated key");
  std::vector<CardReader> readers;
  const int listed = cards->ListReaders(readers);
  if (listed == CARD_NO_SERVICE) return Line("the pcscd service is not running");
  if (listed != CARD_OK) return Line("the card readers cannot be listed");
  const std::vector<std::string> named = CardReadersNamed(readers, name_.host);
  if (named.empty()) return Line("no card reader's name starts with \"" + name_.host + "\"");
  if (named.size() > 1) {
    ambiguous_ = true;
    std::string all;
    for (size_t i = 0; i < named.size(); ++i) {
      all += std::string(i == 0 ? "" : i + 1 == named.size() ? " and " : ", ") + "\"" +
             named[i] + "\"";
    }
    return Line("the readers " + all + " all start with \"" + name_.host + "\"");
  }
  for (const CardReader& reader : readers) {
    if (reader.name == named.front() && !reader.present) return Line("no card on the reader");
  }
  return afterRefresh ? Line("the card did not answer as a FIDO authenticator") : std::string();
}
