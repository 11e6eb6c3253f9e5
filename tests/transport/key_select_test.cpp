#include <gtest/gtest.h>

#include <cerrno>

#include "tests/transport/sim_transport_fixture.h"

namespace {

using KeySelectTest = SimTransportTest;

TEST_F(KeySelectTest, FilterKeepsOnlyTheFamily) {
  platform.AddDevice(Device(0x096E, 0x0858));
  platform.AddDevice(Device(0x2CCF, 0x0880));
  platform.AddDevice(Device(0x1915, 0x521F));
  platform.AddDevice(Device(0x1915, 0x5220));          // same vendor, other product
  platform.AddDevice(Device(0x046D, 0xC52B, 0x0001));  // a mouse receiver
  EXPECT_EQ(KeyEnumerate(), 5);
  const auto& devices = KeyDevice::Instance().devices;
  ASSERT_EQ(devices.size(), 3u);
  EXPECT_EQ(devices[0].vendorId, 0x096Eu);
  EXPECT_EQ(devices[1].vendorId, 0x2CCFu);
  EXPECT_EQ(devices[2].productId, 0x521Fu);
}

TEST_F(KeySelectTest, RecordCarriesTheInterfaceFacts) {
  SimDeviceConfig config = Device(0x096E, 0x000A);
  config.product = std::string(80, 'Q');
  config.release = 0x0A1;
  platform.AddDevice(config);
  SelectFirst();
  KeyDeviceInfo info;
  ASSERT_EQ(KeyGetSelected(&info), 0);
  EXPECT_FALSE(info.IsEmpty());
  EXPECT_EQ(info.productName, std::string(63, 'Q'));
  EXPECT_EQ(info.version, "00A1");
  EXPECT_EQ(info.usagePage, FIDO_USAGE_PAGE);
}

TEST_F(KeySelectTest, SelectionRules) {
  platform.AddDevice(Device(0x096E, 0x0858, 0x0001));  // keyboard interface of key A
  platform.AddDevice(Device(0x096E, 0x0858));          // FIDO interface of key A
  platform.AddDevice(Device(0x2CCF, 0x0880));          // key B
  platform.AddDevice(Device(0x2CCF, 0x0880));          // key C, same ids as B
  KeyEnumerate();
  KeyDevice& key = KeyDevice::Instance();

  struct Case {
    int vendorId, productId, result;
    size_t pathIndex;  // of the selected device
  };
  const Case cases[] = {
      {0, 0, 1, 1},                                    // first FIDO interface
      {0x096E, 0, 1, 1},                               // one id alone: any first FIDO interface
      {0, 0x0880, 1, 1},      {0x096E, 0x0858, 1, 1},  // the keyboard interface does not count
      {0x2CCF, 0x0880, 2, 3},                          // two keys with the same ids: the later one
  };
  for (const Case& c : cases) {
    EXPECT_EQ(KeySelect(c.vendorId, c.productId), c.result) << std::hex << c.vendorId;
    EXPECT_EQ(key.selected.path, platform.device(c.pathIndex).config().path);
  }

  // No match leaves the empty record of the enumeration.
  KeyEnumerate();
  EXPECT_EQ(KeySelect(0x1915, 0x521F), 0);
  KeyDeviceInfo info;
  KeyGetSelected(&info);
  EXPECT_TRUE(info.IsEmpty());
  EXPECT_EQ(KeyGetSelected(nullptr), 1);
}

TEST_F(KeySelectTest, AmbiguousSelectionAllocatesANewChannel) {
  platform.AddDevice(Device(0x2CCF, 0x0880));
  platform.AddDevice(Device(0x2CCF, 0x0880));
  KeyEnumerate();
  KeyDevice& key = KeyDevice::Instance();
  key.needInit = false;
  EXPECT_EQ(KeySelect(0x2CCF, 0x0880), 2);
  EXPECT_TRUE(key.needInit);
  key.needInit = false;
  EXPECT_EQ(KeySelect(0, 0), 1);
  EXPECT_TRUE(key.needInit);
}

TEST_F(KeySelectTest, NothingHappensBeforeTheLayerIsReady) {
  platform.AddDevice(Device(0x096E, 0x0858));
  KeyLayerReady = false;
  const size_t calls = platform.platformCalls();
  EXPECT_EQ(KeyEnumerate(), 0);
  EXPECT_EQ(KeySelect(0, 0), 0);
  const uint8_t apdu[] = {0x00, 0xA4, 0x04, 0x00};
  uint32_t length = 10;
  EXPECT_EQ(KeySendApdu(apdu, sizeof apdu, nullptr, &length, 0x83), KEY_STATUS_TRANSPORT_ERROR);
  EXPECT_EQ(KeySendCbor(apdu, 1, nullptr, &length), KEY_STATUS_TRANSPORT_ERROR);
  EXPECT_EQ(platform.platformCalls(), calls);
  EXPECT_TRUE(KeyDevice::Instance().devices.empty());
}

TEST_F(KeySelectTest, NoKeptInterface) {
  platform.AddDevice(Device(0x046D, 0xC52B, 0x0001));
  KeyEnumerate();
  EXPECT_EQ(KeySelect(0, 0), 0);
  EXPECT_EQ(KeySelect(0x046D, 0xC52B), 0);
  KeyDeviceInfo info;
  KeyGetSelected(&info);
  EXPECT_TRUE(info.IsEmpty());
}

TEST_F(KeySelectTest, ReEnumerationDropsUnpluggedKeysAndClosesTheirHandles) {
  platform.AddDevice(Device(0x096E, 0x0858));
  platform.AddDevice(Device(0x2CCF, 0x0880));
  KeyEnumerate();
  const KeyHandle oldRead = KeyDevice::Instance().devices[0].readHandle;
  platform.RemoveDevice(platform.device(0).config().path);
  KeyEnumerate();
  ASSERT_EQ(KeyDevice::Instance().devices.size(), 1u);
  EXPECT_EQ(KeyDevice::Instance().devices[0].vendorId, 0x2CCFu);
  // The old handle is closed: reading it fails.
  uint8_t report[65];
  EXPECT_EQ(platform.Read(oldRead, report, sizeof report, 0), -1);
}

TEST_F(KeySelectTest, NodesThatCannotBeOpenedAreSkippedAndNamed) {
  SimDeviceConfig locked = Device(0x096E, 0x0858);
  locked.openError = EACCES;
  platform.AddDevice(locked);
  platform.AddDevice(Device(0x2CCF, 0x0880));
  KeyEnumerate();
  ASSERT_EQ(KeyDevice::Instance().devices.size(), 1u);
  ASSERT_EQ(KeyDevice::Instance().deniedPaths.size(), 1u);
  EXPECT_EQ(KeyDevice::Instance().deniedPaths[0], platform.device(0).config().path);
}

TEST_F(KeySelectTest, AKeysOtherInterfacesAreOpenedOnlyWhenNamedByPath) {
  platform.AddDevice(Device(0x096E, 0x0858));          // FIDO
  platform.AddDevice(Device(0x096E, 0x0858, 0x0001));  // its keyboard
  const std::string keyboard = platform.device(1).config().path;
  struct Case {
    const char* how;
    DeviceName::Kind kind;
    std::string path;  // empty: no named device
    size_t keyboardOpens;
  };
  const Case cases[] = {
      {"maker filter", DeviceName::Kind::kVendorProduct, "", 0},
      {"ids", DeviceName::Kind::kVendorProduct, "096E:0858", 0},
      {"keyboard path", DeviceName::Kind::kHidPath, keyboard, 2},
  };
  for (const Case& c : cases) {
    DeviceName name;
    name.kind = c.kind;
    name.path = c.path;
    name.vendorId = 0x096E;
    name.productId = 0x0858;
    KeyDevice::Instance().SetNamedDevice(c.path.empty() ? nullptr : &name);
    platform.device(1).opens = 0;
    KeyEnumerate();
    EXPECT_EQ(platform.device(1).opens, c.keyboardOpens) << c.how;
  }
  KeyDevice::Instance().SetNamedDevice(nullptr);
}

}  // namespace
