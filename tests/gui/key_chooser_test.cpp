// Choosing among several keys, and keys of every maker, in the window against
// simulated keys.
// First: the simulated key's headers use a name that Qt defines as a macro.
#include "gui_test_support.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QSettings>
#include <QTableView>
#include <QtTest>
#include <memory>

#include "app/all_vendors.h"
#include "app/device_change.h"
#include "app/device_event_source.h"
#include "app/key_chooser.h"
#include "app/quillmark_dlg.h"
#include "app/window_actions.h"

namespace {

struct Window {
  Window(SimKeyScope& key, DeviceEventSource* events = nullptr) {
    QuillmarkDlgServices services;
    services.settings = &settings;
    services.opener = &opener;
    services.prompt = &prompt;
    services.clock = &key.platform.clock();
    services.deviceEvents = events;
    dialog = std::make_unique<CQuillmarkDlg>(services);
  }
  QString Shown() const {
    const QAbstractItemModel* info = dialog->infoListView()->model();
    return info->rowCount() == 0 ? "<none>" : info->index(0, 1).data().toString();
  }
  QStringList Entries() const {
    QStringList entries;
    for (int i = 0; i < dialog->keyChooser()->count(); ++i) {
      entries << dialog->keyChooser()->itemText(i);
    }
    return entries;
  }
  // As the user does it: the entry made current and activated.
  void Choose(int index) {
    dialog->keyChooser()->setCurrentIndex(index);
    emit dialog->keyChooser()->activated(index);
  }
  FakeSettings settings;
  RecordingOpener opener;
  RecordingPrompt prompt;
  std::unique_ptr<CQuillmarkDlg> dialog;
};

SimDevice& Plug(SimKeyScope& key, const char* path, const char* product, uint16_t vendorId = 0x096E,
                uint16_t productId = 0x0858) {
  SimDeviceConfig config;
  config.path = path;
  config.product = product;
  config.vendorId = vendorId;
  config.productId = productId;
  return key.platform.AddDevice(config);
}

bool AllVendorsSetting() {
  return QSettings(QSettings::UserScope, "Microsoft", "Quillmark")
      .value(ALL_VENDORS_SETTING, false)
      .toBool();
}

const char kThirdKeyPath[] =
    "\\\\?\\USB#VID_2CCF&PID_0880#1-3#{A5DCBF10-6530-11D2-901F-00C04FB951ED}";

}  // namespace

class KeyChooserTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { QSettings(QSettings::UserScope, "Microsoft", "Quillmark").clear(); }

  void OneKeyOrNoneShowsNoChooser() {
    SimKeyScope key;
    Window none(key);
    QVERIFY(none.dialog->keyChooser()->isHidden());
    Plug(key, "/dev/hidraw1", "Only Key");
    none.dialog->RefreshShownKey();
    QCOMPARE(none.Shown(), QString("Only Key"));
    QVERIFY(none.dialog->keyChooser()->isHidden());
    QCOMPARE(none.dialog->statusLine()->text(), QString());
  }

  void ChoosingATwinShowsItAndRefreshKeepsIt() {
    SimKeyScope key;
    SimDevice& first = Plug(key, "/dev/hidraw1", "Twin A");
    SimDevice& second = Plug(key, "/dev/hidraw2", "Twin B");
    Window window(key);
    KeyChooser* chooser = window.dialog->keyChooser();
    // The seed's choice: the first key.
    QVERIFY(!chooser->isHidden());
    QCOMPARE(window.Entries(), (QStringList{"Twin A (096E:0858) at /dev/hidraw1",
                                            "Twin B (096E:0858) at /dev/hidraw2"}));
    QCOMPARE(chooser->currentIndex(), 0);
    QCOMPARE(window.Shown(), QString("Twin A"));

    window.Choose(1);
    QCOMPARE(window.Shown(), QString("Twin B"));
    QCOMPARE(GetInfoCount(second), 1);
    QCOMPARE(chooser->currentIndex(), 1);

    // "Refresh" reads the chosen twin again, not the first key with its ids.
    window.dialog->windowActions()->refreshAction()->trigger();
    QCOMPARE(GetInfoCount(second), 2);
    QCOMPARE(GetInfoCount(first), 1);
    QCOMPARE(window.Shown(), QString("Twin B"));
  }

  void DeviceEventsKeepTheirIdsAndUpdateTheChooser() {
    SimKeyScope key;
    Plug(key, "/dev/hidraw1", "Twin A");
    Plug(key, "/dev/hidraw2", "Twin B");
    DeviceEventSource events;  // not started: events are fed by hand
    Window window(key, &events);
    window.Choose(1);

    Plug(key, "/dev/hidraw3", "Third", 0x2CCF, 0x0880);
    emit events.deviceEvent(DBT_DEVICEARRIVAL, kThirdKeyPath);
    QCOMPARE(window.Shown(), QString("Third"));
    QCOMPARE(window.Entries().size(), 3);
    QCOMPARE(window.dialog->keyChooser()->currentIndex(), 2);

    // Its removal: the seed shows nothing, even with the twins still there.
    key.platform.RemoveDevice("/dev/hidraw3");
    emit events.deviceEvent(DBT_DEVICEREMOVECOMPLETE, kThirdKeyPath);
    QCOMPARE(window.Shown(), QString("<none>"));
    QCOMPARE(window.Entries().size(), 2);
    QCOMPARE(window.dialog->keyChooser()->currentIndex(), -1);
    QVERIFY(!window.dialog->keyChooser()->isHidden());
  }

  void ChosenKeyThatLeftIsSaidInTheStatusLine() {
    SimKeyScope key;
    Plug(key, "/dev/hidraw1", "Twin A");
    Plug(key, "/dev/hidraw2", "Twin B");
    Window window(key);
    key.platform.RemoveDevice("/dev/hidraw2");
    window.Choose(1);
    QCOMPARE(window.Shown(), QString("<none>"));
    QCOMPARE(window.dialog->fido2ListView()->model()->rowCount(), 0);
    QCOMPARE(window.dialog->statusLine()->text(),
             QString("The key at /dev/hidraw2 is no longer attached."));
    // One key is left: no chooser, and the next refresh takes it.
    QVERIFY(window.dialog->keyChooser()->isHidden());
    window.dialog->RefreshShownKey();
    QCOMPARE(window.Shown(), QString("Twin A"));
    QCOMPARE(window.dialog->statusLine()->text(), QString());
  }

  void EveryMakerIsAToggledRememberedSetting() {
    SimKeyScope key;
    Plug(key, "/dev/hidraw7", "Other Maker", 0x1050, 0x0407);
    {
      Window window(key);
      QAction* entry = window.dialog->allVendors()->action();
      QVERIFY(entry->isCheckable());
      QVERIFY(!entry->isChecked());
      QCOMPARE(window.Shown(), QString("<none>"));

      entry->trigger();
      QVERIFY(AllVendorsSetting());
      QCOMPARE(window.Shown(), QString("Other Maker"));
    }
    QVERIFY(!KeyDevice::Instance().allVendors());
    {
      Window again(key);
      QAction* entry = again.dialog->allVendors()->action();
      QVERIFY(entry->isChecked());
      QCOMPARE(again.Shown(), QString("Other Maker"));
      // With a key of the family beside it, both are offered.
      Plug(key, "/dev/hidraw1", "Family Key");
      again.dialog->RefreshShownKey();
      QCOMPARE(again.Entries().size(), 2);

      entry->trigger();
      QVERIFY(!AllVendorsSetting());
      QCOMPARE(again.Shown(), QString("Family Key"));
      QVERIFY(again.dialog->keyChooser()->isHidden());
    }
  }
};

QTEST_MAIN(KeyChooserTest)
#include "key_chooser_test.moc"
