// The simulated key put behind the transport for --simulate, for as long as
// this object lives.
#pragma once

#include <iosfwd>
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

struct CommandLine;
// Starts `simulated` when `line` asks for --simulate; false after saying why
// the profile cannot be used on `err`.
bool StartSimulatedPlatform(const CommandLine& line, SimulatedPlatform& simulated,
                            std::ostream& err);
