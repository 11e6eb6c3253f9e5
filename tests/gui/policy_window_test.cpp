// The window with a policy: "Open policy..." remembered, each key refreshed
// checked, the status line green or red and the "Policy" page's rows.
// First: the simulated key's headers use a name that Qt defines as a macro.
#include "gui_test_support.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QSettings>
#include <QTableView>
#include <QtTest>
#include <memory>

#include "app/device_change.h"
#include "app/quillmark_dlg.h"

namespace {

QString WritePolicy(const QString& name, const QByteArray& text) {
  const QString path = kPrivateUserFolder + "/" + name;
  QFile file(path);
  file.open(QIODevice::WriteOnly | QIODevice::Truncate);
  file.write(text);
  return path;
}

struct Window {
  Window(SimKeyScope& key, const QString& chosen) {
    QuillmarkDlgServices services;
    services.settings = &settings;
    services.opener = &opener;
    services.prompt = &prompt;
    services.clock = &key.platform.clock();
    services.policy.chooseFile = [chosen](QWidget*) { return chosen.toStdString(); };
    dialog = std::make_unique<CQuillmarkDlg>(services);
  }
  QStringList PolicyRows() const {
    QStringList rows;
    const std::vector<ModelPage>& pages = dialog->model().Pages();
    for (size_t page = 0; page < pages.size(); ++page) {
      if (pages[page].caption != "Policy") continue;
      const QAbstractItemModel* list = dialog->pageView(page)->model();
      for (int row = 0; row < list->rowCount(); ++row) {
        rows << list->index(row, 0).data().toString() + " " + list->index(row, 1).data().toString();
      }
    }
    return rows;
  }
  FakeSettings settings;
  RecordingOpener opener;
  RecordingPrompt prompt;
  std::unique_ptr<CQuillmarkDlg> dialog;
};

}  // namespace

class PolicyWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { QSettings(QSettings::UserScope, "Microsoft", "Quillmark").clear(); }

  void EachKeyIsCheckedAndTheStatusLineSaysHow() {
    SimKeyScope key;
    key.platform.AddDevice(SimDeviceConfig());
    const QString policy = WritePolicy("pin.json", R"({"pin": "not set"})");
    Window window(key, policy);
    QVERIFY(window.PolicyRows().isEmpty());  // no policy yet

    window.dialog->policy().openAction()->trigger();
    QCOMPARE(window.dialog->statusLine()->text(), QString("PASS"));
    QVERIFY(window.dialog->statusLine()->styleSheet().contains("#1b7f2a"));
    QCOMPARE(window.PolicyRows(), QStringList({"pin PASS", "Result PASS"}));
    QCOMPARE(QSettings(QSettings::UserScope, "Microsoft", "Quillmark").value("PolicyFile"),
             QVariant(policy));

    // The key is swapped for one with a PIN: the device event checks it.
    key.platform.RemoveDevice(key.platform.device(0).config().path);
    SimDeviceConfig withPin;
    withPin.pin = "123456";
    key.platform.AddDevice(withPin);
    const DeviceEventRecord record{true, R"(\\?\USB#VID_096E&PID_0858#1-2#{A5DCBF10})"};
    window.dialog->deviceChange().WindowProc(DBT_DEVICEARRIVAL, &record);
    QCOMPARE(window.dialog->statusLine()->text(), QString("FAIL: pin: a PIN is set"));
    QVERIFY(window.dialog->statusLine()->styleSheet().contains("#c0261b"));
    QCOMPARE(window.PolicyRows(), QStringList({"pin FAIL: a PIN is set", "Result FAIL"}));
  }

  void TheRememberedPolicyChecksTheFirstKeyAndABadOneIsSaid() {
    SimKeyScope key;
    key.platform.AddDevice(SimDeviceConfig());
    const QString policy = WritePolicy("verdict.json", R"({"verdict": "genuine"})");
    QSettings(QSettings::UserScope, "Microsoft", "Quillmark").setValue("PolicyFile", policy);
    const QString bad = WritePolicy("bad.json", R"({"verdikt": "genuine"})");
    Window window(key, bad);
    // The fetch was declined: nothing was proved, so nothing passes.
    QVERIFY(window.dialog->statusLine()->text().startsWith("FAIL: verdict: unknown"));
    window.dialog->policy().openAction()->trigger();
    QVERIFY(!window.prompt.messages.empty());
    QVERIFY(QString::fromStdString(window.prompt.messages.back()).contains("/verdikt"));
    QCOMPARE(QSettings(QSettings::UserScope, "Microsoft", "Quillmark").value("PolicyFile"),
             QVariant(policy));
  }
};

QTEST_MAIN(PolicyWindowTest)
#include "policy_window_test.moc"
