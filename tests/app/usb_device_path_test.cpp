// The device path and ids that the udev event source puts into its events.
#include "app/usb_device_path.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/device_change.h"

namespace {

TEST(UsbDevicePathTest, PathCarriesUpperCaseIdsWithLeadingZeros) {
  EXPECT_EQ(UsbInterfacePath(0x1915, 0x521F, "1-2"),
            "\\\\?\\USB#VID_1915&PID_521F#1-2#{A5DCBF10-6530-11D2-901F-00C04FB951ED}");
  EXPECT_EQ(UsbInterfacePath(0x096E, 0x000A, "3-1.4"),
            "\\\\?\\USB#VID_096E&PID_000A#3-1.4#{A5DCBF10-6530-11D2-901F-00C04FB951ED}");
  EXPECT_EQ(UsbInterfacePathWithoutIds("1-2"),
            "\\\\?\\USB#1-2#{A5DCBF10-6530-11D2-901F-00C04FB951ED}");
}

TEST(UsbDevicePathTest, ParsesIds) {
  struct Case {
    const char* text;
    bool ok;
    uint16_t id;
  };
  const std::vector<Case> cases = {
      {"096e", true, 0x096E}, {"521F", true, 0x521F}, {"a", true, 0x000A},
      {"", false, 0},         {"12345", false, 0},    {"12g4", false, 0},
      {"096e\n", false, 0},   {"-1", false, 0},       {"0x12", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    uint16_t id = 0xBEEF;
    EXPECT_EQ(ParseUsbId(c.text, &id), c.ok);
    EXPECT_EQ(id, c.ok ? c.id : 0xBEEF);
  }
  uint16_t id = 0;
  EXPECT_FALSE(ParseUsbId(nullptr, &id));
}

TEST(UsbDevicePathTest, ParsesProductProperty) {
  struct Case {
    const char* text;
    bool ok;
    uint16_t vendorId;
    uint16_t productId;
  };
  const std::vector<Case> cases = {
      {"1915/521f/100", true, 0x1915, 0x521F},
      {"96e/858/100", true, 0x096E, 0x0858},
      {"96e/a/0", true, 0x096E, 0x000A},
      {"96e/858/", true, 0x096E, 0x0858},
      {"96e/858", false, 0, 0},
      {"96e", false, 0, 0},
      {"/858/100", false, 0, 0},
      {"96e//100", false, 0, 0},
      {"10000/858/100", false, 0, 0},
      {"96e/x858/100", false, 0, 0},
      {"", false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    uint16_t vendorId = 0xBEEF;
    uint16_t productId = 0xBEEF;
    EXPECT_EQ(ParseUsbProduct(c.text, &vendorId, &productId), c.ok);
    EXPECT_EQ(vendorId, c.ok ? c.vendorId : 0xBEEF);
    EXPECT_EQ(productId, c.ok ? c.productId : 0xBEEF);
  }
}

TEST(UsbDevicePathTest, EventPathTakesFirstWholePair) {
  struct Case {
    const char* name;
    UsbIdSources sources;
    std::string path;
  };
  const std::string tail = "#1-2#{A5DCBF10-6530-11D2-901F-00C04FB951ED}";
  const std::vector<Case> cases = {
      {"properties first",
       {"1915", "521f", "096e", "0858", "2ccf/880/100"},
       "\\\\?\\USB#VID_1915&PID_521F" + tail},
      {"attributes",
       {nullptr, nullptr, "096e", "0858", "2ccf/880/100"},
       "\\\\?\\USB#VID_096E&PID_0858" + tail},
      {"half a pair is skipped",
       {"1915", nullptr, nullptr, "0858", "2ccf/880/100"},
       "\\\\?\\USB#VID_2CCF&PID_0880" + tail},
      {"removal: PRODUCT only",
       {nullptr, nullptr, nullptr, nullptr, "1915/521f/100"},
       "\\\\?\\USB#VID_1915&PID_521F" + tail},
      {"nothing usable", {"zz", "521f", nullptr, nullptr, "garbage"}, "\\\\?\\USB" + tail},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(UsbEventPath(c.sources, "1-2"), c.path);
  }
}

TEST(UsbDevicePathTest, ActionsMapToEventTypes) {
  EXPECT_EQ(UsbActionEventType("add"), DBT_DEVICEARRIVAL);
  EXPECT_EQ(UsbActionEventType("remove"), DBT_DEVICEREMOVECOMPLETE);
  for (const char* other : {"bind", "unbind", "change", "move", "", "Add"}) {
    EXPECT_EQ(UsbActionEventType(other), DBT_DEVNODES_CHANGED) << other;
  }
  EXPECT_EQ(UsbActionEventType(nullptr), DBT_DEVNODES_CHANGED);
}

}  // namespace
