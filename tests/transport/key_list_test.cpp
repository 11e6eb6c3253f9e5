// Keys of every maker, and selection by path.
#include <gtest/gtest.h>

#include "tests/transport/sim_transport_fixture.h"

namespace {

class KeyListTest : public SimTransportTest {
 protected:
  void TearDown() override {
    KeyDevice::Instance().SetAllVendors(false);
    KeyDevice::Instance().SetNamedDevice(nullptr);
    SimTransportTest::TearDown();
  }
  void Plug(const char* path, uint16_t vendorId, uint16_t productId,
            uint16_t usagePage = FIDO_USAGE_PAGE) {
    SimDeviceConfig config = Device(vendorId, productId, usagePage);
    config.path = path;
    platform.AddDevice(config);
  }
  // Two keys with the same ids, the keyboard interface of the first, a key of
  // another maker with its own keyboard interface, and a mouse.
  void PlugDrawer() {
    Plug("twin:1", 0x096E, 0x0858);
    Plug("twin:1-kbd", 0x096E, 0x0858, 0x0001);
    Plug("twin:2", 0x096E, 0x0858);
    Plug("other", 0x1050, 0x0407);
    Plug("other-kbd", 0x1050, 0x0407, 0x0001);
    Plug("mouse", 0x046D, 0xC52B, 0x0001);
  }
  std::vector<std::string> KeptPaths() const {
    std::vector<std::string> paths;
    for (const KeyDeviceInfo& info : KeyDevice::Instance().devices) paths.push_back(info.path);
    return paths;
  }
};

TEST_F(KeyListTest, SelectionByPathTellsTwinsApart) {
  PlugDrawer();
  KeyEnumerate();
  KeyDevice& key = KeyDevice::Instance();
  const struct {
    const char* path;
    int result;
    const char* selected;  // the path in `selected` afterwards
  } cases[] = {
      {"twin:2", 1, "twin:2"},     {"twin:1", 1, "twin:1"},
      {"twin:1-kbd", 0, "twin:1"},  // not a FIDO interface: the selection stays
      {"other", 0, "twin:1"},       // not kept by the vendor filter
      {"gone", 0, "twin:1"},
  };
  for (const auto& c : cases) {
    key.needInit = false;
    EXPECT_EQ(KeySelectPath(c.path), c.result) << c.path;
    EXPECT_EQ(key.selected.path, c.selected) << c.path;
    EXPECT_EQ(key.needInit, c.result == 1) << c.path;
  }
  // A key that left since: the new enumeration has nothing at its path.
  platform.RemoveDevice("twin:2");
  KeyEnumerate();
  EXPECT_EQ(KeySelectPath("twin:2"), 0);
  EXPECT_TRUE(key.selected.IsEmpty());
  KeyLayerReady = false;
  EXPECT_EQ(KeySelectPath("twin:1"), 0);
}

TEST_F(KeyListTest, EveryMakerKeepsAndOpensOnlyFidoInterfaces) {
  PlugDrawer();
  KeyEnumerate();
  EXPECT_EQ(KeptPaths(), (std::vector<std::string>{"twin:1", "twin:2"}));

  KeyDevice::Instance().SetAllVendors(true);
  KeyDevice::Instance().Close();
  const size_t before = platform.platformCalls();
  KeyEnumerate();
  EXPECT_EQ(KeptPaths(), (std::vector<std::string>{"twin:1", "twin:2", "other"}));
  // One listing, two opens for each kept interface: no other was opened.
  EXPECT_EQ(platform.platformCalls() - before, 1u + 2 * 3);
  EXPECT_EQ(KeySelectPath("other"), 1);

  // A named key stays the only one kept.
  DeviceName name;
  name.kind = DeviceName::Kind::kHidPath;
  name.path = "twin:2";
  KeyDevice::Instance().SetNamedDevice(&name);
  KeyEnumerate();
  EXPECT_EQ(KeptPaths(), (std::vector<std::string>{"twin:2"}));
}

}  // namespace
