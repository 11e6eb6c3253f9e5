// A simulated key behind the real transport, selected and ready, for tests of
// the key-information queries.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "simkey/sim_platform.h"
#include "transport/ctaphid.h"
#include "transport/key_device.h"

class SimKeyTest : public ::testing::Test {
 protected:
  void TearDown() override {
    KeyDevice::Instance().SetPlatform(nullptr);
    KeyDevice::Instance().SetClock(nullptr);
    KeyLayerReady = false;
  }

  // Plugs in a key that answers exactly `rules` (every other APDU: 6D00) and
  // selects it.
  SimDevice& PlugKey(std::vector<SimApduRule> rules) {
    SimDeviceConfig config;
    config.builtin = false;
    config.apdu = std::move(rules);
    SimDevice& device = platform.AddDevice(config);
    KeyDevice::Instance().SetPlatform(&platform);
    KeyDevice::Instance().SetClock(&platform.clock());
    KeyLayerReady = true;
    KeyEnumerate();
    KeySelect(0, 0);
    return device;
  }

  // The APDUs the key received, in order (channel allocation not included).
  static std::vector<std::vector<uint8_t>> SentApdus(const SimDevice& device) {
    std::vector<std::vector<uint8_t>> apdus;
    for (const SimDevice::Message& message : device.receivedMessages) {
      if (message.command == CTAPHID_MSG) apdus.push_back(message.payload);
    }
    return apdus;
  }

  SimKeyPlatform platform;
};
