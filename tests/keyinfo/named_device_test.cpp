// A key named by the user (--device), and keys that answer every SELECT, end
// to end through the refresh against simulated keys.
#include <gtest/gtest.h>

#include <string>

#include "keyinfo/device_state.h"
#include "simkey/sim_platform.h"
#include "simkey/sim_profile.h"
#include "tests/source_dir.h"
#include "transport/device_name.h"
#include "transport/key_device.h"

namespace {

class NamedDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KeyDevice::Instance().SetPlatform(&platform);
    KeyDevice::Instance().SetClock(&platform.clock());
  }
  void TearDown() override {
    KeyDevice::Instance().SetNamedDevice(nullptr);
    KeyDevice::Instance().SetPlatform(nullptr);
    KeyDevice::Instance().SetClock(nullptr);
    KeyLayerReady = false;
  }
  std::string Shown(const char* named) {
    DeviceName name;
    std::string error;
    if (named != nullptr) {
      EXPECT_TRUE(ParseDeviceName(named, name, error)) << error;
      KeyDevice::Instance().SetNamedDevice(&name);
    } else {
      KeyDevice::Instance().SetNamedDevice(nullptr);
    }
    GetDeviceState(model, "", "");
    return model.infoList.RowCount() == 0 ? "<none>" : model.infoList.Cell(0, 1);
  }
  static std::string Value(const ReportList& list, const std::string& caption) {
    for (size_t row = 0; row < list.RowCount(); ++row) {
      if (list.Cell(row, 0) == caption) return list.Cell(row, 1);
    }
    return "<no row>";
  }

  SimKeyPlatform platform;
  QuillmarkModel model;
};

TEST_F(NamedDeviceTest, ANamedKeyIsShownWhateverItsVendor) {
  SimDeviceConfig filtered;
  filtered.product = "Filtered";
  filtered.path = "/dev/hidraw1";
  SimDeviceConfig other;
  other.vendorId = 0x1050;
  other.productId = 0x0407;
  other.product = "Other Vendor";
  other.path = "/dev/hidraw2";
  SimDeviceConfig keyboard = other;
  keyboard.usagePage = 0x0001;
  keyboard.product = "Keyboard";
  keyboard.path = "/dev/hidraw3";
  platform.AddDevice(filtered);
  platform.AddDevice(keyboard);
  platform.AddDevice(other);

  const struct {
    const char* named;
    const char* shown;
  } cases[] = {
      {nullptr, "Filtered"},          // the vendor filter keeps its job for enumeration
      {"1050:0407", "Other Vendor"},  // the FIDO interface of the two with these ids
      {"/dev/hidraw2", "Other Vendor"},
      {"/dev/hidraw1", "Filtered"},
      {"/dev/hidraw3", "<none>"},  // not a FIDO interface
      {"/dev/hidraw9", "<none>"},
      {"096E:0001", "<none>"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Shown(c.named), c.shown) << (c.named ? c.named : "no device named");
  }
}

TEST_F(NamedDeviceTest, AKeyAnsweringEverySelectShowsNdefAndNoIdentify) {
  std::vector<SimDeviceConfig> devices;
  std::string error;
  ASSERT_TRUE(
      LoadSimProfileFile(SourceDir() + "/simkey/profiles/select-answers-u2f.json", devices, error))
      << error;
  platform.AddDevice(devices.at(0));
  GetDeviceState(model, "", "");
  EXPECT_EQ(Value(model.infoList, "NDEF"), "yes");
  EXPECT_EQ(Value(model.infoList, "IDentify"), "<no row>");
  EXPECT_EQ(Value(model.infoList, "U2F Version"), "<no row>");
  EXPECT_EQ(Value(model.infoList, "authenticatorGetInfo"), "<no row>");
}

}  // namespace
