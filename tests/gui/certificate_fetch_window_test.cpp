// The certificate fetches started from the window by double-clicking the hint
// rows, against the simulated key.
#include "gui_test_support.h"

#include <QElapsedTimer>
#include <QTableView>
#include <QtTest>

#include "app/quillmark_dlg.h"
#include "app/simulated_platform.h"
#include "attestation/certificate_fetch.h"

namespace {

// Confirms every fetch and gives `pin` to the PIN dialog.
class YesPrompt : public RecordingPrompt {
 public:
  explicit YesPrompt(std::string pin) : pin_(std::move(pin)) {}
  bool Confirm(const std::string& text) override {
    messages.push_back(text);
    return true;
  }
  bool AskPin(std::string* pin) override {
    ++pinDialogs;
    *pin = pin_;
    return true;
  }
  int pinDialogs = 0;

 private:
  std::string pin_;
};

QString Value(const ReportList& list, const std::string& item) {
  for (size_t row = 0; row < list.RowCount(); ++row) {
    if (list.Cell(row, 0) == item) return QString::fromStdString(list.Cell(row, 1));
  }
  return "<none>";
}

}  // namespace

class CertificateFetchWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void fido2FetchWithPinShowsTheVerifiedCertificate() {
    SimKeyScope key;
    SimDeviceConfig config;
    config.pin = "2468";
    key.platform.AddDevice(config);
    FakeSettings settings;
    RecordingOpener opener;
    YesPrompt prompt("2468");
    QuillmarkDlgServices services;
    services.settings = &settings;
    services.opener = &opener;
    services.prompt = &prompt;
    services.clock = &key.platform.clock();
    CQuillmarkDlg dialog(services);

    dialog.OnDblClkFido2List(0);
    QCOMPARE(prompt.pinDialogs, 1);
    QCOMPARE(Value(dialog.model().fido2List, "Verify Result"), QString("YES"));
    QCOMPARE(dialog.fido2ListView()->model()->rowCount(),
             static_cast<int>(dialog.model().fido2List.RowCount()));

    const std::string file = dialog.model().fido2CertFile;
    QVERIFY(!file.empty());
    for (size_t row = 0; row < dialog.model().fido2List.RowCount(); ++row) {
      if (dialog.model().fido2List.Cell(row, 0) == "Base64 encode") {
        dialog.OnDblClkFido2List(static_cast<int>(row));
        break;
      }
    }
    QCOMPARE(opener.files.size(), size_t{1});
  }

  void u2fFetchPollsWithTheWindowsClock() {
    SimKeyScope key;
    SimDeviceConfig config;
    config.u2f.touchDelayMs = 3000;
    key.platform.AddDevice(config);
    FakeSettings settings;
    RecordingOpener opener;
    YesPrompt prompt("");
    QuillmarkDlgServices services;
    services.settings = &settings;
    services.opener = &opener;
    services.prompt = &prompt;
    services.clock = &key.platform.clock();
    CQuillmarkDlg dialog(services);

    const uint64_t start = key.platform.clock().NowMs();
    dialog.OnDblClkU2fList(0);
    QVERIFY(key.platform.clock().NowMs() - start >= 3000);
    QCOMPARE(Value(dialog.model().u2fList, "Verify Result"), QString("YES"));
  }

  // As `quillmark --simulate` wires it: the simulated key behind the
  // transport, and the window with no clock of its own.
  void u2fFetchOfTheSimulatedKeyWithTheWindowsOwnWiring() {
    SimulatedPlatform simulated;
    std::string error;
    QVERIFY(simulated.Start("", &error));
    FakeSettings settings;
    RecordingOpener opener;
    YesPrompt prompt("");
    QuillmarkDlgServices services;
    services.settings = &settings;
    services.opener = &opener;
    services.prompt = &prompt;
    CQuillmarkDlg dialog(services);

    QElapsedTimer elapsed;
    elapsed.start();
    dialog.OnDblClkU2fList(0);
    QCOMPARE(prompt.messages, std::vector<std::string>{FETCH_CONFIRM_TEXT});
    QCOMPARE(Value(dialog.model().u2fList, "Verify Result"), QString("YES"));
    QVERIFY2(elapsed.elapsed() < 5000, "the touch delay passes on the simulated clock");
    KeyLayerReady = false;
  }
};

QTEST_MAIN(CertificateFetchWindowTest)
#include "certificate_fetch_window_test.moc"
