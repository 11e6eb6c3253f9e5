#include "app/simulated_platform.h"

#include <ostream>

#include "app/command_line.h"
#include "simkey/sim_platform.h"
#include "simkey/sim_profile.h"
#include "transport/key_device.h"

SimulatedPlatform::SimulatedPlatform() = default;

SimulatedPlatform::~SimulatedPlatform() {
  if (named_) KeyDevice::Instance().SetNamedDevice(nullptr);
  if (platform_) {
    KeyDevice::Instance().SetPlatform(nullptr);
    KeyDevice::Instance().SetClock(nullptr);
  }
}

bool SimulatedPlatform::Start(const std::string& profile, std::string* error) {
  std::vector<SimDeviceConfig> devices;
  if (profile.empty()) {
    devices.emplace_back();
  } else if (!LoadSimProfileFile(profile, devices, *error)) {
    return false;
  }
  platform_ = SimKeyPlatform::FromProfile(devices);
  KeyDevice::Instance().SetPlatform(platform_.get());
  KeyDevice::Instance().SetClock(&platform_->clock());
  // A record of a key replays as that key, whatever its vendor.
  for (size_t index = 0; index < devices.size(); ++index) {
    if (!devices[index].named) continue;
    named_ = std::make_unique<DeviceName>();
    named_->kind = DeviceName::Kind::kHidPath;
    named_->path = platform_->device(index).config().path;
    KeyDevice::Instance().SetNamedDevice(named_.get());
    break;
  }
  return true;
}

bool StartSimulatedPlatform(const CommandLine& line, SimulatedPlatform& simulated,
                            std::ostream& err) {
  if (!line.simulate) return true;
  std::string error;
  if (simulated.Start(line.profile, &error)) return true;
  err << "quillmark: " << error << "\n";
  return false;
}
