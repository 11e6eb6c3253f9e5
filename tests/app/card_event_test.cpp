// A card laid on a reader and taken off it, as the window's device-change
// handler receives it: the refresh a second later shows the card, and the
// removal empties the pages.
#include <gtest/gtest.h>

#include "app/card_readers.h"
#include "app/device_change.h"
#include "keyinfo/details_page.h"
#include "keyinfo/device_state.h"
#include "simkey/sim_platform.h"
#include "tests/transport/sim_card_platform.h"
#include "transport/key_device.h"

namespace {

std::string Shown(ReportList& list, const std::string& caption) {
  for (size_t row = 0; row < list.RowCount(); ++row) {
    if (list.Cell(row, 0) == caption) return list.Cell(row, 1);
  }
  return "<no row>";
}

TEST(CardEventTest, CardOnReaderRefreshesASecondLaterAndItsRemovalEmptiesThePages) {
  SimKeyPlatform usb;  // no USB key
  SimCardPlatform cards;
  cards.Add("Desk Reader", SimCardOptions());
  KeyDevice& key = KeyDevice::Instance();
  key.SetPlatform(&usb);
  key.SetClock(&usb.clock());
  key.SetCardPlatform(&cards);
  QuillmarkModel model;
  std::vector<uint64_t> refreshedAt;
  DeviceChangeHandler handler(usb.clock(), [&](const std::string& vid, const std::string& pid) {
    refreshedAt.push_back(usb.clock().NowMs());
    GetDeviceState(model, vid, pid);
  });
  const std::string path = CardEventPath("Desk Reader");
  DeviceEventRecord record{true, path};

  const uint64_t start = usb.clock().NowMs();
  handler.WindowProc(DBT_DEVICEARRIVAL, &record);
  ASSERT_EQ(refreshedAt.size(), 1u);
  EXPECT_EQ(refreshedAt[0], start + 1000);
  EXPECT_EQ(Shown(model.infoList, "Device name"), "Desk Reader");
  EXPECT_EQ(Shown(model.infoList, "VID"), KEY_CARD_UNKNOWN_TEXT);
  EXPECT_EQ(Shown(DetailsList(model), "Extended APDUs"), "yes");
  EXPECT_EQ(Shown(DetailsList(model), "CTAPHID protocol"), "<no row>");

  cards.readers[0].removed = true;
  cards.readers[0].card.reset();
  handler.WindowProc(DBT_DEVICEREMOVECOMPLETE, &record);
  ASSERT_EQ(refreshedAt.size(), 2u);
  EXPECT_EQ(model.infoList.RowCount(), 0u);
  EXPECT_EQ(DetailsList(model).RowCount(), 0u);

  key.SetCardPlatform(nullptr);
  key.SetPlatform(nullptr);
  key.SetClock(nullptr);
  KeyLayerReady = false;
}

}  // namespace
