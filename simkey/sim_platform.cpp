#include "simkey/sim_platform.h"

#include <algorithm>
#include <cerrno>
#include <thread>

SimKeyPlatform::SimKeyPlatform(SimClock* clock) {
  if (clock == nullptr) {
    ownClock_ = std::make_unique<SimClock>();
    clock = ownClock_.get();
  }
  clock_ = clock;
}

SimKeyPlatform::~SimKeyPlatform() = default;

std::unique_ptr<SimKeyPlatform> SimKeyPlatform::FromProfile(
    const std::vector<SimDeviceConfig>& devices, SimClock* clock) {
  auto platform = std::make_unique<SimKeyPlatform>(clock);
  for (const SimDeviceConfig& config : devices) platform->AddDevice(config);
  return platform;
}

SimDevice& SimKeyPlatform::AddDevice(SimDeviceConfig config) {
  if (config.path.empty()) config.path = "simkey:" + std::to_string(added_);
  ++added_;
  all_.push_back(std::make_unique<SimDevice>(std::move(config), *clock_));
  plugged_.push_back(all_.back().get());
  return *all_.back();
}

void SimKeyPlatform::RemoveDevice(const std::string& path) {
  auto found = std::find_if(plugged_.begin(), plugged_.end(),
                            [&](const SimDevice* device) { return device->config.path == path; });
  if (found == plugged_.end()) return;
  (*found)->Unplug();
  plugged_.erase(found);
}

bool SimKeyPlatform::Enumerate(std::vector<HidInterface>& out) {
  ++platformCalls_;
  out.clear();
  for (const SimDevice* device : plugged_) {
    const SimDeviceConfig& config = device->config();
    HidInterface entry;
    entry.path = config.path;
    entry.vendorId = config.vendorId;
    entry.productId = config.productId;
    entry.releaseNumber = config.release;
    entry.productName = config.product;
    entry.usagePage = config.usagePage;
    entry.usage = config.usage;
    out.push_back(std::move(entry));
  }
  return true;
}

KeyHandle SimKeyPlatform::Open(const std::string& path, HidAccess /*access*/, int* error) {
  ++platformCalls_;
  auto found = std::find_if(plugged_.begin(), plugged_.end(),
                            [&](const SimDevice* device) { return device->config.path == path; });
  if (found != plugged_.end()) ++(*found)->opens;
  int failure = found == plugged_.end() ? ENOENT : (*found)->config.openError;
  if (failure != 0) {
    if (error != nullptr) *error = failure;
    return KEY_INVALID_HANDLE;
  }
  const KeyHandle handle = nextHandle_++;
  handles_[handle] = *found;
  return handle;
}

void SimKeyPlatform::Close(KeyHandle handle) {
  ++platformCalls_;
  handles_.erase(handle);
}

bool SimKeyPlatform::GetReportLengths(KeyHandle handle, uint16_t* inputLength,
                                      uint16_t* outputLength) {
  ++platformCalls_;
  SimDevice* device = Reach(handle);
  if (device == nullptr) return false;
  if (inputLength != nullptr) *inputLength = device->config.inputReportLength;
  if (outputLength != nullptr) *outputLength = device->config.outputReportLength;
  return true;
}

int SimKeyPlatform::Write(KeyHandle handle, const uint8_t* report, size_t length) {
  ++platformCalls_;
  SimDevice* device = Reach(handle);
  if (device == nullptr || report == nullptr) return -1;
  const int written = device->Write(report, length);
  if (written > 0) Latency();
  return written;
}

int SimKeyPlatform::Read(KeyHandle handle, uint8_t* report, size_t length, int timeoutMs) {
  ++platformCalls_;
  SimDevice* device = Reach(handle);
  if (device == nullptr || report == nullptr) return -1;
  const int stored = device->Read(report, length, timeoutMs);
  if (stored > 0) Latency();
  return stored;
}

SimDevice* SimKeyPlatform::Reach(KeyHandle handle) {
  auto found = handles_.find(handle);
  if (found == handles_.end() || !found->second->plugged()) return nullptr;
  return found->second;
}

void SimKeyPlatform::Latency() {
  if (latency_.count() > 0) std::this_thread::sleep_for(latency_);
}
