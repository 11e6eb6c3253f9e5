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
#include "tests/transport/sim_card_platform.h"

namespace {

struct Window {
  Window(SimKeyScope& key, DeviceEventSource* events = nullptr) {
    QuillmarkDlgServices services;
    services.settings = &settings;
    services.prompt = &prompt;
    services.opener = &opener;
    services.clock = &key.platform.clock();
    services.deviceEvents = events;
    dialog = std::make_unique<CQuillmarkDlg>(services);
    chooser = dialog->keyChooser();
  }
  QString Shown() const {
    const QAbstractItemModel* info = dialog->infoListView()->model();
    return info->rowCount() == 0 ? "<none>" : info->index(0, 1).data().toString();
  }
  // As the user does it: the entry made current and activated.
  void Choose(int index) {
    chooser->setCurrentIndex(index);
    emit chooser->activated(index);
  }
  FakeSettings settings;
  RecordingPrompt prompt;
  RecordingOpener opener;
  std::unique_ptr<CQuillmarkDlg> dialog;
  KeyChooser* chooser = nullptr;
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

QSettings UserSettings() { return QSettings(QSettings::UserScope, "Microsoft", "Quillmark"); }

}  // namespace

class KeyChooserTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { UserSettings().clear(); }

  void ChooserPicksBetweenTwinsAndFollowsEvents() {
    SimKeyScope key;
    SimDevice& first = Plug(key, "/dev/hidraw1", "Twin A");
    SimDevice& second = Plug(key, "/dev/hidraw2", "Twin B");
    DeviceEventSource events;  // not started: events are fed by hand
    Window window(key, &events);
    QVERIFY(!window.chooser->isHidden());
    QCOMPARE(window.chooser->count(), 2);
    QCOMPARE(window.chooser->itemText(1), QString("Twin B (096E:0858) at /dev/hidraw2"));
    QCOMPARE(window.chooser->currentIndex(), 0);  // the first key, as the seed chooses
    QCOMPARE(window.Shown(), QString("Twin A"));

    window.Choose(1);
    QCOMPARE(window.Shown(), QString("Twin B"));
    QCOMPARE(GetInfoCount(second), 1);
    window.Choose(0);
    // "Refresh" reads the chosen twin again, where its ids would take the
    // later one.
    window.dialog->windowActions()->refreshAction()->trigger();
    QCOMPARE(window.Shown(), QString("Twin A"));
    QCOMPARE(GetInfoCount(first), 3);
    QCOMPARE(GetInfoCount(second), 1);
    QCOMPARE(window.chooser->currentIndex(), 0);

    // A device event selects by the ids in its path, and the chooser follows.
    Plug(key, "/dev/hidraw3", "Third", 0x2CCF, 0x0880);
    emit events.deviceEvent(
        DBT_DEVICEARRIVAL,
        "\\\\?\\USB#VID_2CCF&PID_0880#1-3#{A5DCBF10-6530-11D2-901F-00C04FB951ED}");
    QCOMPARE(window.Shown(), QString("Third"));
    QCOMPARE(window.chooser->count(), 3);
    QCOMPARE(window.chooser->currentIndex(), 2);

    // A chosen key that left meanwhile.
    key.platform.RemoveDevice("/dev/hidraw2");
    window.Choose(1);
    QCOMPARE(window.Shown(), QString("<none>"));
    QCOMPARE(window.dialog->fido2ListView()->model()->rowCount(), 0);
    QCOMPARE(window.dialog->statusLine()->text(),
             QString("The key at /dev/hidraw2 is no longer attached."));
    QCOMPARE(window.chooser->count(), 2);
    QCOMPARE(window.chooser->currentIndex(), -1);
    key.platform.RemoveDevice("/dev/hidraw3");
    window.dialog->RefreshShownKey();
    QCOMPARE(window.Shown(), QString("Twin A"));
    QVERIFY(window.chooser->isHidden());  // one key: the seed's window
    QCOMPARE(window.dialog->statusLine()->text(), QString());
  }

  void ChooserListsUsbKeysThenCards() {
    SimKeyScope key;
    Plug(key, "/dev/hidraw1", "USB Key");
    SimCardPlatform cards;
    cards.Add("Desk Reader", SimCardOptions());
    KeyDevice::Instance().SetCardPlatform(&cards);
    {
      Window window(key);
      QCOMPARE(window.chooser->count(), 2);
      QCOMPARE(window.chooser->itemText(1), QString("Desk Reader (card) at pcsc:Desk Reader"));
      QCOMPARE(window.Shown(), QString("USB Key"));  // USB keys first
      window.Choose(1);
      QCOMPARE(window.Shown(), QString("Desk Reader"));
    }
    KeyDevice::Instance().SetCardPlatform(nullptr);
  }

  void EveryMakerIsAToggledRememberedSetting() {
    SimKeyScope key;
    Plug(key, "/dev/hidraw7", "Other Maker", 0x1050, 0x0407);
    {
      Window window(key);
      QAction* entry = window.dialog->allVendors()->action();
      QVERIFY(!entry->isChecked());
      QCOMPARE(window.Shown(), QString("<none>"));
      entry->trigger();
      QCOMPARE(UserSettings().value(ALL_VENDORS_SETTING).toBool(), true);
      QCOMPARE(window.Shown(), QString("Other Maker"));
    }
    QVERIFY(!KeyDevice::Instance().allVendors());  // the window's own
    Plug(key, "/dev/hidraw1", "Family Key");
    Window again(key);
    QAction* entry = again.dialog->allVendors()->action();
    QVERIFY(entry->isChecked());
    QCOMPARE(again.chooser->count(), 2);
    again.Choose(0);
    QCOMPARE(again.Shown(), QString("Other Maker"));
    // Off again: the key shown is no longer kept, the first key found is shown.
    entry->trigger();
    QCOMPARE(UserSettings().value(ALL_VENDORS_SETTING).toBool(), false);
    QCOMPARE(again.Shown(), QString("Family Key"));
    QVERIFY(again.chooser->isHidden());
  }
};

QTEST_MAIN(KeyChooserTest)
#include "key_chooser_test.moc"
