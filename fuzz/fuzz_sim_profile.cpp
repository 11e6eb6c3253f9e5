// Arbitrary bytes as a simulated key profile: the loader must never crash,
// and what it accepts must be written back to a profile that loads again to
// the same configuration.
#include <cstdint>
#include <string>
#include <vector>

#include "simkey/sim_profile.h"
#include "simkey/sim_profile_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<SimDeviceConfig> devices;
  std::string error;
  if (!LoadSimProfile(text, devices, error)) {
    if (error.empty()) __builtin_trap();
    return 0;
  }
  std::vector<SimDeviceConfig> again;
  if (!LoadSimProfile(SimProfileJson(devices, "fuzz"), again, error)) __builtin_trap();
  if (again != devices) __builtin_trap();
  return 0;
}
