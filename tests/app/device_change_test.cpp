// The device-event filter and the device-change handler, with events fed by
// hand, against simulated keys and the real refresh.
#include "app/device_change.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "keyinfo/device_state.h"
#include "simkey/sim_platform.h"
#include "transport/key_device.h"

namespace {

const char kKeyPath1915[] =
    "\\\\?\\USB#VID_1915&PID_521F#1-2#{A5DCBF10-6530-11D2-901F-00C04FB951ED}";
const char kKeyPath096E[] =
    "\\\\?\\USB#VID_096E&PID_0858#1-1#{A5DCBF10-6530-11D2-901F-00C04FB951ED}";
const char kMousePath[] = "\\\\?\\USB#VID_046D&PID_C077#1-3#{A5DCBF10-6530-11D2-901F-00C04FB951ED}";

struct RefreshCall {
  std::string vidText;
  std::string pidText;
  uint64_t atMs;
};

class DeviceChangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KeyDevice::Instance().SetPlatform(&platform);
    KeyDevice::Instance().SetClock(&platform.clock());
  }
  void TearDown() override {
    KeyDevice::Instance().SetWaitHook(nullptr);
    KeyDevice::Instance().SetPlatform(nullptr);
    KeyDevice::Instance().SetClock(nullptr);
    KeyLayerReady = false;
  }

  static SimDeviceConfig Key(uint16_t vendorId, uint16_t productId, const std::string& product) {
    SimDeviceConfig config;
    config.vendorId = vendorId;
    config.productId = productId;
    config.product = product;
    return config;
  }
  static SimDeviceConfig Mouse() {
    SimDeviceConfig config;
    config.vendorId = 0x046D;
    config.productId = 0xC077;
    config.product = "Mouse";
    config.usagePage = 0x0001;
    config.usage = 0x0002;
    return config;
  }

  void Send(uint32_t eventType, const std::string& path) {
    DeviceEventRecord record;
    record.path = path;
    handler.WindowProc(eventType, &record);
  }

  std::string Shown(const std::string& caption) const {
    for (size_t row = 0; row < model.infoList.RowCount(); ++row) {
      if (model.infoList.Cell(row, 0) == caption) return model.infoList.Cell(row, 1);
    }
    return "<no row>";
  }
  bool AllListsEmpty() const {
    return model.infoList.RowCount() == 0 && model.fido2List.RowCount() == 0 &&
           model.u2fList.RowCount() == 0;
  }

  SimKeyPlatform platform;
  QuillmarkModel model;
  std::vector<RefreshCall> refreshes;
  int depth = 0;
  int deepest = 0;
  DeviceChangeHandler handler{platform.clock(),
                              [this](const std::string& vid, const std::string& pid) {
                                refreshes.push_back({vid, pid, platform.clock().NowMs()});
                                deepest = std::max(deepest, ++depth);
                                GetDeviceState(model, vid, pid);
                                --depth;
                              }};
};

struct FilterCase {
  const char* name;
  std::vector<uint32_t> types;
  size_t refreshes;
  uint32_t last;
};

TEST_F(DeviceChangeTest, RepeatedTypesAreHandledOnce) {
  const std::vector<FilterCase> cases = {
      {"two arrivals", {0x8000, 0x8000}, 1, 0x8000},
      {"arrival, tree change, arrival", {0x8000, 0x0007, 0x8000}, 2, 0x8000},
      {"tree change only", {0x0007}, 0, 0x0007},
      {"arrival, removal, removal", {0x8000, 0x8004, 0x8004}, 2, 0x8004},
      {"other type between", {0x8004, 0x8006, 0x8004}, 2, 0x8004},
  };
  platform.AddDevice(Key(0x1915, 0x521F, "Key 1915"));
  for (const FilterCase& c : cases) {
    SCOPED_TRACE(c.name);
    handler.lastDeviceEvent = 0;
    refreshes.clear();
    for (uint32_t type : c.types) Send(type, kKeyPath1915);
    EXPECT_EQ(refreshes.size(), c.refreshes);
    EXPECT_EQ(handler.lastDeviceEvent, c.last);
  }
}

TEST_F(DeviceChangeTest, RecordWithoutPathIsRecordedWithoutRefresh) {
  DeviceEventRecord other;
  other.isDeviceInterface = false;
  other.path = kKeyPath1915;
  handler.WindowProc(DBT_DEVICEARRIVAL, &other);
  EXPECT_EQ(handler.lastDeviceEvent, DBT_DEVICEARRIVAL);
  handler.WindowProc(DBT_DEVICEREMOVECOMPLETE, nullptr);
  EXPECT_EQ(handler.lastDeviceEvent, DBT_DEVICEREMOVECOMPLETE);
  EXPECT_TRUE(refreshes.empty());
  // The ignored arrival still counts: a second one in a row is dropped.
  Send(DBT_DEVICEREMOVECOMPLETE, kKeyPath1915);
  EXPECT_TRUE(refreshes.empty());
}

TEST_F(DeviceChangeTest, ArrivalWaitsOneSecondThenShowsThatKey) {
  platform.AddDevice(Key(0x096E, 0x0858, "Key 096E"));
  platform.AddDevice(Key(0x1915, 0x521F, "Key 1915"));
  const uint64_t start = platform.clock().NowMs();
  Send(DBT_DEVICEARRIVAL, kKeyPath1915);
  ASSERT_EQ(refreshes.size(), 1u);
  EXPECT_EQ(refreshes[0].vidText, "1915");
  EXPECT_EQ(refreshes[0].pidText, "521F");
  EXPECT_EQ(refreshes[0].atMs, start + 1000);
  EXPECT_EQ(Shown("Device name"), "Key 1915");
  EXPECT_EQ(Shown("VID"), "1915");
  EXPECT_EQ(Shown("PID"), "521F");
  EXPECT_EQ(model.fido2List.Cell(0, 0), "Tips");
}

struct PathCase {
  const char* name;
  std::string path;
  bool refreshes;
  std::string vidText;
  std::string pidText;
  std::string shownVid;  // empty: every list empty
};

TEST_F(DeviceChangeTest, PathRules) {
  const std::vector<PathCase> cases = {
      {"24 characters", "\\\\?\\USB#VID_1915&PID_521", false, "", "", ""},
      {"25 characters", "\\\\?\\USB#VID_1915&PID_521F", true, "1915", "521F", "1915"},
      {"two characters after VID_", "\\\\?\\USB#PID_521F#1-2#{A5DCBF10}VID_19", true, "19", "521F",
       ""},
      {"lower case ids", "\\\\?\\USB#vid_1915&pid_521f#1-2#{a5dcbf10-6530-11d2-901f-00c04fb951ed}",
       true, "", "", "096E"},
      {"no PID_", "\\\\?\\USB#VID_1915#1-2#{A5DCBF10-6530-11D2-901F-00C04FB951ED}", true, "1915",
       "", "096E"},
      {"non-FIDO device", kMousePath, true, "046D", "C077", ""},
      {"ids of a key not attached",
       "\\\\?\\USB#VID_2CCF&PID_0880#1-4#{A5DCBF10-6530-11D2-901F-00C04FB951ED}", true, "2CCF",
       "0880", ""},
  };
  platform.AddDevice(Key(0x096E, 0x0858, "Key 096E"));
  platform.AddDevice(Mouse());
  platform.AddDevice(Key(0x1915, 0x521F, "Key 1915"));
  for (const PathCase& c : cases) {
    SCOPED_TRACE(c.name);
    // A known state before each event: the first key shown.
    GetDeviceState(model, "", "");
    refreshes.clear();
    handler.lastDeviceEvent = DBT_DEVICEREMOVECOMPLETE;
    Send(DBT_DEVICEARRIVAL, c.path);
    if (!c.refreshes) {
      EXPECT_TRUE(refreshes.empty());
      EXPECT_EQ(Shown("VID"), "096E");
      continue;
    }
    ASSERT_EQ(refreshes.size(), 1u);
    EXPECT_EQ(refreshes[0].vidText, c.vidText);
    EXPECT_EQ(refreshes[0].pidText, c.pidText);
    if (c.shownVid.empty()) {
      EXPECT_TRUE(AllListsEmpty());
    } else {
      EXPECT_EQ(Shown("VID"), c.shownVid);
    }
  }
}

TEST_F(DeviceChangeTest, RemovalOfShownKeyEmptiesListsWhileAnotherStays) {
  platform.AddDevice(Key(0x096E, 0x0858, "Key 096E"));
  SimDevice& shown = platform.AddDevice(Key(0x1915, 0x521F, "Key 1915"));
  Send(DBT_DEVICEARRIVAL, kKeyPath1915);
  ASSERT_EQ(Shown("VID"), "1915");

  platform.RemoveDevice(shown.config.path);
  Send(DBT_DEVICEREMOVECOMPLETE, kKeyPath1915);
  ASSERT_EQ(refreshes.size(), 2u);
  EXPECT_EQ(refreshes[1].vidText, "1915");
  EXPECT_TRUE(AllListsEmpty());
}

// While a key keeps the refresh waiting, the window handles events, so device
// events arrive from inside the refresh. They wait until it has ended and are
// then filtered and handled in order.
TEST_F(DeviceChangeTest, EventsDuringRefreshAreHandledAfterItInOrder) {
  platform.AddDevice(Key(0x096E, 0x0858, "Key 096E"));
  SimDeviceConfig slow = Key(0x1915, 0x521F, "Slow key");
  slow.touchCommands = {0x04};  // GetInfo answers after keep-alives
  slow.touchDelayMs = 500;
  SimDevice& slowKey = platform.AddDevice(slow);

  int hookCalls = 0;
  KeyDevice::Instance().SetWaitHook([&] {
    if (++hookCalls != 1) return;
    platform.RemoveDevice(slowKey.config.path);
    Send(DBT_DEVICEREMOVECOMPLETE, kKeyPath1915);
    Send(DBT_DEVICEREMOVECOMPLETE, kKeyPath1915);  // repeated: dropped
    Send(DBT_DEVICEARRIVAL, kKeyPath096E);
  });
  Send(DBT_DEVICEARRIVAL, kKeyPath1915);

  EXPECT_GE(hookCalls, 1);
  EXPECT_EQ(deepest, 1) << "a refresh ran inside another";
  ASSERT_EQ(refreshes.size(), 3u);
  EXPECT_EQ(refreshes[0].vidText, "1915");
  EXPECT_EQ(refreshes[1].vidText, "1915");
  EXPECT_EQ(refreshes[2].vidText, "096E");
  // Each waited its own second after the one before it.
  EXPECT_GE(refreshes[1].atMs, refreshes[0].atMs + 1000);
  EXPECT_GE(refreshes[2].atMs, refreshes[1].atMs + 1000);
  EXPECT_EQ(handler.lastDeviceEvent, DBT_DEVICEARRIVAL);
  EXPECT_EQ(Shown("Device name"), "Key 096E");

  // The handler takes events again once the queue is empty.
  Send(DBT_DEVNODES_CHANGED, "");
  Send(DBT_DEVICEARRIVAL, kKeyPath096E);
  EXPECT_EQ(refreshes.size(), 4u);
}

}  // namespace
