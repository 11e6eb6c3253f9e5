// Puts a simulated key platform behind the transport for one test.
#pragma once

#include <gtest/gtest.h>

#include "simkey/sim_platform.h"
#include "transport/key_device.h"

class SimTransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KeyDevice::Instance().SetPlatform(&platform);
    KeyDevice::Instance().SetClock(&platform.clock());
    KeyLayerReady = true;
  }
  void TearDown() override {
    KeyDevice::Instance().SetPlatform(nullptr);
    KeyDevice::Instance().SetClock(nullptr);
    KeyDevice::Instance().SetWaitHook(nullptr);
    KeyLayerReady = false;
  }

  static SimDeviceConfig Device(uint16_t vendorId, uint16_t productId,
                                uint16_t usagePage = FIDO_USAGE_PAGE) {
    SimDeviceConfig config;
    config.vendorId = vendorId;
    config.productId = productId;
    config.usagePage = usagePage;
    return config;
  }

  // Enumerates and selects the first FIDO interface.
  void SelectFirst() {
    KeyEnumerate();
    ASSERT_EQ(KeySelect(0, 0), 1);
  }

  SimKeyPlatform platform;
};
