// The facts of the channel allocation that the transport keeps for the
// selected key.
#include <gtest/gtest.h>

#include "tests/transport/sim_transport_fixture.h"
#include "transport/key_init_facts.h"

namespace {

class KeyInitFactsTest : public SimTransportTest {
 protected:
  uint16_t GetInfo() {
    uint8_t reply[64] = {};
    uint32_t length = sizeof reply;
    const uint8_t request[] = {0x04};
    return KeySendCbor(request, 1, reply, &length);
  }
};

TEST_F(KeyInitFactsTest, EachAllocationReplacesTheFacts) {
  SimDeviceConfig config = Device(0x096E, 0x0858);
  config.cbor[0x04] = {0x00, 0xA0};
  config.ctaphidProtocol = 2;
  config.deviceVersion = {3, 14, 159};
  config.capabilities = 0x0C;
  SimDevice& device = platform.AddDevice(config);
  SelectFirst();
  ASSERT_EQ(GetInfo(), 0x00);
  const KeyInitFacts& facts = KeyDevice::Instance().initFacts;
  EXPECT_TRUE(facts.known);
  EXPECT_EQ(facts.protocolVersion, 2);
  EXPECT_EQ(facts.majorVersion, 3);
  EXPECT_EQ(facts.minorVersion, 14);
  EXPECT_EQ(facts.buildVersion, 159);
  EXPECT_EQ(facts.capabilities, CTAPHID_CAPABILITY_CBOR | CTAPHID_CAPABILITY_NMSG);

  // A new selection allocates again; a key that does not answer it leaves no
  // facts behind from before.
  device.config.misbehave.silentInit = true;
  SelectFirst();
  EXPECT_NE(GetInfo(), 0x00);
  EXPECT_FALSE(KeyDevice::Instance().initFacts.known);
}

}  // namespace
