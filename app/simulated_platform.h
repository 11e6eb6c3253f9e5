// The simulated key put behind the transport for --simulate, for as long as
// this object lives.
#pragma once

#include <memory>
#include <string>

class SimKeyPlatform;
struct DeviceName;

class SimulatedPlatform {
 public:
  SimulatedPlatform();
  ~SimulatedPlatform();
  // `profile`: a JSON profile file, or empty for the built-in key. The first
  // device the profile marks as named is kept whatever its vendor.
  bool Start(const std::string& profile, std::string* error);

 private:
  std::unique_ptr<SimKeyPlatform> platform_;
  std::unique_ptr<DeviceName> named_;
};
