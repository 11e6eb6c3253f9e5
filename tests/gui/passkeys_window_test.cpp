// The "Passkeys" page read from the window: a double click or Enter on its
// Tips row reads the simulated key's store with the PIN the prompt gives.
#include "gui_test_support.h"

#include <QTabBar>
#include <QTableView>
#include <QtTest>

#include "app/quillmark_dlg.h"
#include "keyinfo/passkeys_page.h"

namespace {

class PinPrompt : public RecordingPrompt {
 public:
  explicit PinPrompt(bool answers) : answers_(answers) {}
  bool AskPin(std::string* pin) override {
    ++pinDialogs;
    *pin = answers_ ? "2468" : "";
    return answers_;
  }
  int pinDialogs = 0;

 private:
  bool answers_;
};

QStringList Rows(const ReportList& list) {
  QStringList rows;
  for (size_t row = 0; row < list.RowCount(); ++row) {
    rows << QString::fromStdString(list.Cell(row, 0) + ": " + list.Cell(row, 1));
  }
  return rows;
}

}  // namespace

class PasskeysWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void tipsRowReadsTheStore() {
    const QStringList tips = {QString("Tips: ") + PASSKEYS_TIPS_TEXT};
    const struct {
      const char* name;
      bool enter;
      bool pinGiven;
    } cases[] = {
        {"double click", false, true},
        {"Enter", true, true},
        {"double click, PIN dialog cancelled", false, false},
    };
    for (const auto& c : cases) {
      SimKeyScope key;
      SimDeviceConfig config;
      config.pin = "2468";
      SimStoredCredential credential;
      credential.rpId = "example.com";
      credential.rpName = "Example";
      credential.userId = {0x0A, 0x0B};
      credential.userName = "alice";
      credential.displayName = "Alice A.";
      credential.credentialId = {0xC1, 0xC2, 0xC3};
      credential.credProtect = 2;
      config.credentials.push_back(credential);
      key.platform.AddDevice(config);
      FakeSettings settings;
      PinPrompt prompt(c.pinGiven);
      QuillmarkDlgServices services;
      services.settings = &settings;
      services.prompt = &prompt;
      services.clock = &key.platform.clock();
      CQuillmarkDlg dialog(services);
      dialog.show();
      ReportList& list = PasskeysList(dialog.model());
      QCOMPARE(Rows(list), tips);

      QTableView* view = dialog.passkeysListView();
      QVERIFY(view != nullptr);
      for (int tab = 0; tab < dialog.tabs()->count(); ++tab) {
        if (dialog.tabs()->tabText(tab) == PASSKEYS_PAGE_CAPTION)
          dialog.tabs()->setCurrentIndex(tab);
      }
      QCOMPARE(dialog.shownListView(), view);
      const QModelIndex tipsRow = view->model()->index(0, 1);
      if (c.enter) {
        view->setCurrentIndex(tipsRow);
        QTest::keyClick(view, Qt::Key_Return);
      } else {
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier,
                           view->visualRect(tipsRow).center());
      }
      QCOMPARE(prompt.pinDialogs, 1);
      if (!c.pinGiven) {
        QCOMPARE(Rows(list), tips);
        continue;
      }
      const QStringList want = {
          "Discoverable credentials: 1 stored, 24 more fit",
          "Relying party: example.com (Example)",
          "User: alice (Alice A.)",
          "User id: 0a0b",
          "Credential id: c1c2c3",
          "Protection: UV optional with credential ID list",
          "Large blob array: 17 of 1024 bytes, 0 entries, digest OK",
      };
      QCOMPARE(Rows(list), want);
      QCOMPARE(view->model()->rowCount(), static_cast<int>(want.size()));
      // Read rows start nothing: the PIN is not asked again.
      QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier,
                         view->visualRect(view->model()->index(1, 1)).center());
      QCOMPARE(prompt.pinDialogs, 1);
    }
  }
};

QTEST_MAIN(PasskeysWindowTest)
#include "passkeys_window_test.moc"
