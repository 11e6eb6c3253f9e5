#include "transport/device_name.h"

#include <arpa/inet.h>

#include <vector>

namespace {

bool ParseHex16(const std::string& text, uint16_t& out) {
  if (text.empty() || text.size() > 4) return false;
  uint32_t value = 0;
  for (char c : text) {
    uint32_t digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint32_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<uint32_t>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<uint32_t>(c - 'A' + 10);
    } else {
      return false;
    }
    value = value * 16 + digit;
  }
  out = static_cast<uint16_t>(value);
  return true;
}

// 1 to 65535, decimal.
bool ParsePort(const std::string& text, uint16_t& out) {
  if (text.empty() || text.size() > 5) return false;
  uint32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  if (value == 0 || value > 65535) return false;
  out = static_cast<uint16_t>(value);
  return true;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

bool Fail(std::string& error, const std::string& text, const std::string& problem) {
  error = "bad device \"" + text + "\": " + problem;
  return false;
}

// "[ADDRESS]:PORT..." when `address` is an IPv6 address and up to `maxPorts`
// ports written without brackets (more ports tried first), or empty.
std::string BracketedIpv6(const std::string& address, size_t maxPorts) {
  for (size_t ports = maxPorts; ports >= 1; --ports) {
    size_t split = address.size();
    for (size_t i = 0; i < ports && split != std::string::npos && split > 0; ++i) {
      split = address.rfind(':', split - 1);
    }
    if (split == std::string::npos || split == 0) continue;
    const std::string host = address.substr(0, split);
    in6_addr parsed;
    if (inet_pton(AF_INET6, host.c_str(), &parsed) == 1) {
      return "[" + host + "]" + address.substr(split);
    }
  }
  return std::string();
}

// "HOST:PORT[:REPLYPORT]" after the scheme, without the id options.
bool ParseAddress(const std::string& text, const std::string& address, bool udp, DeviceName& name,
                  std::string& error) {
  std::string rest;
  if (!address.empty() && address[0] == '[') {
    const size_t close = address.find(']');
    if (close == std::string::npos || close == 1) {
      return Fail(error, text, "an IPv6 address needs its closing bracket");
    }
    name.host = address.substr(1, close - 1);
    rest = address.substr(close + 1);
    if (rest.empty() || rest[0] != ':') return Fail(error, text, "a port must follow the host");
    rest.erase(0, 1);
  } else {
    if (const std::string bracketed = BracketedIpv6(address, udp ? 2 : 1); !bracketed.empty()) {
      return Fail(error, text,
                  "IPv6 addresses are written in brackets: " + text.substr(0, 4) + bracketed);
    }
    const size_t colon = address.find(':');
    if (colon == std::string::npos) return Fail(error, text, "a port must follow the host");
    name.host = address.substr(0, colon);
    rest = address.substr(colon + 1);
  }
  if (name.host.empty()) return Fail(error, text, "the host is missing");
  const std::vector<std::string> ports = Split(rest, ':');
  if (ports.size() > (udp ? 2u : 1u)) return Fail(error, text, "too many ports");
  if (!ParsePort(ports[0], name.port)) {
    return Fail(error, text, "\"" + ports[0] + "\" is not a port from 1 to 65535");
  }
  if (ports.size() == 2 && !ParsePort(ports[1], name.replyPort)) {
    return Fail(error, text, "\"" + ports[1] + "\" is not a reply port from 1 to 65535");
  }
  return true;
}

bool ParseNetwork(const std::string& text, DeviceName& name, std::string& error) {
  const bool udp = name.kind == DeviceName::Kind::kUdp;
  const std::vector<std::string> parts = Split(text, ',');
  name.path = parts[0];
  if (!ParseAddress(text, parts[0].substr(4), udp, name, error)) return false;
  name.vendorId = DEVICE_NAME_NETWORK_VENDOR_ID;
  name.productId = DEVICE_NAME_NETWORK_PRODUCT_ID;
  for (size_t i = 1; i < parts.size(); ++i) {
    const std::string& option = parts[i];
    uint16_t* id = nullptr;
    if (option.rfind("vid=", 0) == 0) {
      id = &name.vendorId;
    } else if (option.rfind("pid=", 0) == 0) {
      id = &name.productId;
    } else {
      return Fail(error, text, "\"" + option + "\" is not vid=XXXX or pid=XXXX");
    }
    if (!ParseHex16(option.substr(4), *id) || *id == 0) {
      return Fail(error, text, "\"" + option + "\" needs 1 to 4 hexadecimal digits, not all 0");
    }
  }
  return true;
}

}  // namespace

bool ParseDeviceName(const std::string& text, DeviceName& out, std::string& error) {
  DeviceName name;
  if (text.rfind("udp:", 0) == 0 || text.rfind("tcp:", 0) == 0) {
    name.kind = text[0] == 'u' ? DeviceName::Kind::kUdp : DeviceName::Kind::kTcp;
    if (!ParseNetwork(text, name, error)) return false;
  } else if (text.rfind("pcsc:", 0) == 0) {
    name.kind = DeviceName::Kind::kPcsc;
    name.path = text;
    name.host = text.substr(5);
    if (name.host.empty()) return Fail(error, text, "the reader's name is missing");
  } else if (!text.empty() && text[0] == '/') {
    name.kind = DeviceName::Kind::kHidPath;
    name.path = text;
  } else {
    const std::vector<std::string> ids = Split(text, ':');
    if (ids.size() != 2 || !ParseHex16(ids[0], name.vendorId) ||
        !ParseHex16(ids[1], name.productId)) {
      return Fail(error, text, "not a network address, a hidraw path or VID:PID");
    }
    if (name.vendorId == 0 || name.productId == 0) {
      return Fail(error, text, "vendor and product id must not be 0");
    }
    name.kind = DeviceName::Kind::kVendorProduct;
    name.path = text;
  }
  out = std::move(name);
  return true;
}

const char* DeviceNameGrammar() {
  return "a device is one of\n"
         "  udp:HOST:PORT[:REPLYPORT][,vid=XXXX,pid=XXXX]  a network authenticator taking\n"
         "      64-byte CTAPHID packets as datagrams on PORT and replying to REPLYPORT\n"
         "      on this machine (7112 unless given); an IPv6 HOST is written in\n"
         "      brackets: udp:[::1]:8111\n"
         "  tcp:HOST:PORT[,vid=XXXX,pid=XXXX]  a network authenticator taking each\n"
         "      packet after its length in two bytes, high byte first\n"
         "  /dev/hidrawN                       a HID interface by its path\n"
         "  VID:PID                            the key with these hexadecimal ids\n"
         "  pcsc:READER                        the FIDO card on the card reader of that\n"
         "      name as --list prints it, or of a prefix that only one reader has";
}
