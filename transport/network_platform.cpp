#include "transport/network_platform.h"

#include <cerrno>
#include <cstring>

#include "transport/ctaphid.h"
#include "transport/key_device.h"
#include "transport/tcp_platform.h"
#include "transport/udp_platform.h"

std::unique_ptr<NetworkPlatform> NetworkPlatform::ForName(const DeviceName& name) {
  if (name.kind == DeviceName::Kind::kUdp) return std::make_unique<UdpPlatform>(name);
  if (name.kind == DeviceName::Kind::kTcp) return std::make_unique<TcpPlatform>(name);
  return nullptr;
}

bool NetworkPlatform::Enumerate(std::vector<HidInterface>& out) {
  out.clear();
  HidInterface facts;
  facts.path = name_.path;
  facts.vendorId = name_.vendorId;
  facts.productId = name_.productId;
  facts.productName = name_.path;
  facts.usagePage = FIDO_USAGE_PAGE;
  facts.usage = 0x0001;
  out.push_back(std::move(facts));
  return true;
}

int NetworkPlatform::ConnectTimeoutMs() const {
  return waitLimitMs_ >= 0 && waitLimitMs_ < KEY_READ_TIMEOUT_MS ? waitLimitMs_
                                                                 : KEY_READ_TIMEOUT_MS;
}

KeyHandle NetworkPlatform::Open(const std::string& path, HidAccess, int* error) {
  if (error != nullptr) *error = 0;
  if (path != name_.path) {
    if (error != nullptr) *error = ENOENT;
    return KEY_INVALID_HANDLE;
  }
  if (handles_.empty()) {
    std::string reason;
    int code = EIO;
    link_ = Connect(reason, code);
    if (link_ == nullptr) {
      failure_ = reason;
      if (error != nullptr) *error = code;
      return KEY_INVALID_HANDLE;
    }
    broken_ = false;
    failure_.clear();
  }
  const KeyHandle handle = nextHandle_++;
  handles_[handle] = true;
  return handle;
}

void NetworkPlatform::Close(KeyHandle handle) {
  if (handles_.erase(handle) == 0) return;
  if (handles_.empty()) link_.reset();
}

bool NetworkPlatform::GetReportLengths(KeyHandle handle, uint16_t* inputLength,
                                       uint16_t* outputLength) {
  if (!Reach(handle)) return false;
  if (inputLength != nullptr) *inputLength = CTAPHID_REPORT_LENGTH;
  if (outputLength != nullptr) *outputLength = CTAPHID_REPORT_LENGTH;
  return true;
}

void NetworkPlatform::Fail(const std::string& reason) {
  broken_ = true;
  failure_ = reason;
}

int NetworkPlatform::Write(KeyHandle handle, const uint8_t* report, size_t length) {
  if (!Reach(handle) || broken_ || report == nullptr || length < CTAPHID_REPORT_LENGTH) return -1;
  std::string reason;
  if (!link_->Send(report + 1, reason)) {
    Fail(reason);
    return -1;
  }
  return static_cast<int>(length);
}

int NetworkPlatform::Read(KeyHandle handle, uint8_t* report, size_t length, int timeoutMs) {
  if (!Reach(handle) || broken_ || report == nullptr || length < CTAPHID_REPORT_LENGTH) return -1;
  int wait = timeoutMs;
  if (waitLimitMs_ >= 0 && (wait < 0 || wait > waitLimitMs_)) wait = waitLimitMs_;
  const NetworkClock::time_point deadline = NetworkClock::now() + std::chrono::milliseconds(wait);
  uint8_t packet[NETWORK_PACKET_SIZE];
  std::string reason;
  const int got = link_->Receive(packet, wait < 0 ? nullptr : &deadline, reason);
  if (got < 0) {
    Fail(reason);
    return -1;
  }
  if (got == 0) return 0;
  answered_ = true;
  report[0] = 0;
  std::memcpy(report + 1, packet, NETWORK_PACKET_SIZE);
  return static_cast<int>(CTAPHID_REPORT_LENGTH);
}
