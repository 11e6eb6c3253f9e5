// The acceptance station of --watch: simulated keys plugged in through
// simulated device events, then an injected interrupt.
// First: the simulated key's headers use a name that Qt defines as a macro.
#include "simkey/sim_platform.h"
#include "transport/key_device.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "app/device_change.h"
#include "app/device_event_source.h"
#include "app/interrupt_pipe.h"
#include "app/watch_command.h"
#include "tests/transport/sim_card_platform.h"

namespace {

void EnsureCoreApplication() {
  if (QCoreApplication::instance() != nullptr) return;
  static int argc = 1;
  static char name[] = "watch_command_test";
  static char* argv[] = {name, nullptr};
  new QCoreApplication(argc, argv);
}

std::string TestFile(const std::string& name, const std::string& text) {
  const std::string path = ::testing::TempDir() + std::to_string(::getpid()) + "-" + name;
  std::ofstream(path) << text;
  return path;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

TEST(WatchCommandTest, TwoKeysOneAfterTheOtherThenTheInterrupt) {
  EnsureCoreApplication();
  SimKeyPlatform platform;
  KeyDevice::Instance().SetPlatform(&platform);
  KeyDevice::Instance().SetClock(&platform.clock());
  const std::string inventory =
      ::testing::TempDir() + std::to_string(::getpid()) + "-" + "watch.jsonl";
  std::remove(inventory.c_str());
  const std::string policy = TestFile("watch-policy.json", R"({"pin": "not set"})");
  const CommandLine line =
      ParseCommandLine({"--watch", "--policy", policy, "--inventory", inventory});
  ASSERT_EQ(line.error, "");

  DeviceEventSource events;  // never started: the test emits its events
  WatchServices services;
  services.events = &events;
  services.started = [&] {
    SimDeviceConfig fresh;
    fresh.path = "/dev/hidraw-a";
    platform.AddDevice(fresh);
    emit events.deviceEvent(DBT_DEVICEARRIVAL, "a");
    // Events that follow an arrival check nothing new.
    emit events.deviceEvent(DBT_DEVNODES_CHANGED, "a");
    SimDeviceConfig withPin;
    withPin.path = "/dev/hidraw-b";
    withPin.product = "Key With PIN";
    withPin.pin = "123456";
    platform.AddDevice(withPin);
    emit events.deviceEvent(DBT_DEVICEARRIVAL, "b");
    InterruptPipe::Raise();
  };
  std::istringstream in;
  std::ostringstream out, err;
  const int status = RunWatchCommand(line, in, out, err, services);
  KeyDevice::Instance().SetPlatform(nullptr);
  KeyDevice::Instance().SetClock(nullptr);

  EXPECT_EQ(status, EXIT_POLICY_FAILED) << err.str();
  const std::vector<std::string> expected = {
      "/dev/hidraw-a, Simulated Key, AAGUID 514d2d53-494d-4b45-592d-414147554944: PASS",
      "/dev/hidraw-b, Key With PIN, AAGUID 514d2d53-494d-4b45-592d-414147554944: FAIL: pin: "
      "a PIN is set",
      "2 checked, 1 passed, 1 failed"};
  EXPECT_EQ(Lines(out.str()), expected) << err.str();
  std::ifstream file(inventory);
  std::vector<std::string> results;
  for (std::string each; std::getline(file, each);) {
    const nlohmann::json check = nlohmann::json::parse(each);
    results.push_back(check["devicePath"].get<std::string>() + " " +
                      check["result"].get<std::string>());
  }
  EXPECT_EQ(results, (std::vector<std::string>{"/dev/hidraw-a PASS", "/dev/hidraw-b FAIL"}));
}

TEST(WatchCommandTest, AKeyPluggedInAgainIsCheckedAgain) {
  EnsureCoreApplication();
  SimKeyPlatform platform;
  KeyDevice::Instance().SetPlatform(&platform);
  KeyDevice::Instance().SetClock(&platform.clock());
  const CommandLine line = ParseCommandLine(
      {"--watch", "--policy", TestFile("again-policy.json", R"({"versions": ["FIDO_2_1"]})")});
  DeviceEventSource events;
  WatchServices services;
  services.events = &events;
  services.started = [&] {
    for (int round = 0; round < 2; ++round) {
      SimDeviceConfig key;
      key.path = "/dev/hidraw-a";
      platform.AddDevice(key);
      emit events.deviceEvent(DBT_DEVICEARRIVAL, "a");
      platform.RemoveDevice("/dev/hidraw-a");
      emit events.deviceEvent(DBT_DEVICEREMOVECOMPLETE, "a");
    }
    InterruptPipe::Raise();
  };
  std::istringstream in;
  std::ostringstream out, err;
  EXPECT_EQ(RunWatchCommand(line, in, out, err, services), 0) << err.str();
  KeyDevice::Instance().SetPlatform(nullptr);
  KeyDevice::Instance().SetClock(nullptr);
  EXPECT_EQ(Lines(out.str()).back(), "2 checked, 2 passed, 0 failed") << out.str();
}

TEST(WatchCommandTest, ACardLaidOnAReaderIsCheckedAndOtherCardsAreNoKeys) {
  EnsureCoreApplication();
  SimKeyPlatform platform;  // no USB key
  KeyDevice::Instance().SetPlatform(&platform);
  KeyDevice::Instance().SetClock(&platform.clock());
  const CommandLine line = ParseCommandLine(
      {"--watch", "--policy", TestFile("card-policy.json", R"({"versions": ["FIDO_2_1"]})")});
  DeviceEventSource events;
  SimCardPlatform cards;
  WatchServices services;
  services.events = &events;
  services.cards = &cards;
  services.started = [&] {
    cards.Add("Badge Reader", SimCardOptions(), false);
    cards.Add("Desk Reader", SimCardOptions());
    emit events.deviceEvent(DBT_DEVICEARRIVAL, "card");
    InterruptPipe::Raise();
  };
  std::istringstream in;
  std::ostringstream out, err;
  EXPECT_EQ(RunWatchCommand(line, in, out, err, services), 0) << err.str();
  EXPECT_EQ(KeyDevice::Instance().cardPlatform(), nullptr);
  KeyDevice::Instance().SetPlatform(nullptr);
  KeyDevice::Instance().SetClock(nullptr);
  const std::vector<std::string> expected = {
      "pcsc:Desk Reader, Desk Reader, AAGUID 514d2d53-494d-4b45-592d-414147554944: PASS",
      "1 checked, 1 passed, 0 failed"};
  EXPECT_EQ(Lines(out.str()), expected) << err.str();
}

}  // namespace
