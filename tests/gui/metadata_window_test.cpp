// The window's metadata: the "Metadata" page, "Open metadata file..." and
// "Update metadata" in the context menu, and the status line's mark.
// First: the simulated key's headers use a name that Qt defines as a macro.
#include "gui_test_support.h"
#include "simkey/sim_attestation.h"
#include "tests/metadata/mds_test_pki.h"

#include <QAction>
#include <QLabel>
#include <QSettings>
#include <QTableView>
#include <QtTest>
#include <memory>

#include "app/quillmark_dlg.h"
#include "keyinfo/metadata_rows.h"
#include "metadata/attestation_verdict.h"
#include "metadata/metadata_page.h"
#include "tests/app/loopback_http_server.h"

namespace {

using Json = nlohmann::json;

TestMdsWorld& World() {
  static TestMdsWorld world;
  return world;
}

std::string BlobText(const Json& reports) {
  const Json entry = SimulatedModelEntry(SimAttestation().chain[SIMKEY_CHAIN_ROOT], reports);
  return World().Blob(TestPayload(Json::array({entry})), JwsAlgorithm::kEs256);
}

const Json kCertified = {{{"status", "FIDO_CERTIFIED_L1"}, {"effectiveDate", "2024-02-01"}}};

struct Window {
  Window(SimKeyScope& key, const std::string& chosenFile, const std::string& url = {}) {
    QuillmarkDlgServices services;
    services.settings = &settings;
    services.opener = &opener;
    services.prompt = &prompt;
    services.clock = &key.platform.clock();
    services.metadata.clock = &clock;
    services.metadata.options.roots = {WriteTestFile("root.pem", World().RootPem())};
    services.metadata.options.url = url;
    services.metadata.chooseFile = [chosenFile](QWidget*) { return chosenFile; };
    dialog = std::make_unique<CQuillmarkDlg>(services);
  }
  QTableView* Page() const {
    const std::vector<ModelPage>& pages = dialog->model().Pages();
    for (size_t page = 0; page < pages.size(); ++page) {
      if (pages[page].caption == "Metadata") return dialog->pageView(page);
    }
    return nullptr;
  }
  QString Cell(int row, int column) const {
    return Page()->model()->index(row, column).data().toString();
  }
  FakeSettings settings;
  RecordingOpener opener;
  RecordingPrompt prompt;
  FixedWallClock clock{TEST_NOW};
  std::unique_ptr<CQuillmarkDlg> dialog;
};

}  // namespace

class MetadataWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    QSettings(QSettings::UserScope, "Microsoft", "Quillmark").clear();
    QFile::remove(kPrivateUserFolder + "/cache/quillmark/mds.jwt");
  }

  void OpenMetadataFileFillsThePageAndIsRemembered() {
    SimKeyScope key;
    key.platform.AddDevice(SimDeviceConfig());
    const std::string blob = WriteTestFile("blob.jwt", BlobText(kCertified));
    {
      Window window(key, blob);
      CQuillmarkDlg& dialog = *window.dialog;
      // The entries sit before the about entry of the context menu, after a
      // separator that ends the group of "Show keys of every maker".
      const QList<QAction*> actions = dialog.actions();
      const qsizetype open = actions.indexOf(dialog.metadata().openAction());
      QVERIFY(open > 1);
      QVERIFY(actions[open - 1]->isSeparator());
      QCOMPARE(actions[open - 2]->text(), QString("Show keys of every maker"));
      QCOMPARE(actions.size(), open + 5);
      QCOMPARE(actions[open]->text(), QString("Open metadata file..."));
      QCOMPARE(actions[open + 1]->text(), QString("Update metadata"));
      QCOMPARE(actions[open + 2]->text(), QString("Open policy..."));
      QVERIFY(actions[open + 3]->isSeparator());
      QCOMPARE(actions[open + 4], dialog.aboutAction());

      QCOMPARE(window.Page()->model()->rowCount(), 2);
      QCOMPARE(window.Cell(0, 0), QString("Metadata BLOB"));
      QCOMPARE(window.Cell(0, 1), QString(METADATA_NO_FILE_TEXT));

      dialog.metadata().openAction()->trigger();
      QCOMPARE(window.Cell(0, 1),
               QString("no. 7, next update 2024-07-01, signed by Test BLOB "
                       "Signer, root Test Metadata Root; revocation not checked (no "
                       "revocation list)"));
      QCOMPARE(window.Cell(1, 1), QString("Simulated Key Model"));
      QCOMPARE(QSettings(QSettings::UserScope, "Microsoft", "Quillmark")
                   .value("MetadataFile")
                   .toString()
                   .toStdString(),
               blob);
      QCOMPARE(dialog.statusLine()->text(), QString());
    }
    // The next window starts with the remembered file.
    Window again(key, "");
    QCOMPARE(again.Cell(1, 1), QString("Simulated Key Model"));
    QVERIFY(again.prompt.messages.empty());
  }

  void CompromisedModelMarksTheStatusLine() {
    SimKeyScope key;
    key.platform.AddDevice(SimDeviceConfig());
    const Json revoked = {{{"status", "REVOKED"}, {"effectiveDate", "2024-05-02"}},
                          {{"status", "FIDO_CERTIFIED_L1"}, {"effectiveDate", "2024-02-01"}}};
    Window window(key, WriteTestFile("revoked.jwt", BlobText(revoked)));
    CQuillmarkDlg& dialog = *window.dialog;
    QCOMPARE(dialog.statusLine()->text(), QString());
    dialog.metadata().openAction()->trigger();
    QCOMPARE(dialog.statusLine()->text(), QString(METADATA_WARNING_STATUS_TEXT));
    QCOMPARE(MetadataVerdictOfKey(dialog.model()), std::string(VERDICT_CANNOT_BE_TRUSTED));
    // A refresh keeps the mark while the file says so.
    dialog.GetDeviceState("", "");
    QCOMPARE(dialog.statusLine()->text(), QString(METADATA_WARNING_STATUS_TEXT));
    // Without a key there is nothing to mark.
    key.platform.RemoveDevice(key.platform.device(0).config.path);
    dialog.GetDeviceState("", "");
    QVERIFY(dialog.statusLine()->text() != QString(METADATA_WARNING_STATUS_TEXT));
    QCOMPARE(window.Page()->model()->rowCount(), 0);
  }

  void UpdateMetadataDownloadsIntoTheCacheAndShowsIt() {
    SimKeyScope key;
    key.platform.AddDevice(SimDeviceConfig());
    QSettings(QSettings::UserScope, "Microsoft", "Quillmark")
        .setValue("MetadataFile", "/nonexistent/old.jwt");
    LoopbackServer server(200, QByteArray::fromStdString(BlobText(kCertified)));
    Window window(key, "", server.Url());
    CQuillmarkDlg& dialog = *window.dialog;
    QVERIFY(window.Cell(0, 1).startsWith("The file /nonexistent/old.jwt cannot be opened"));

    dialog.metadata().updateAction()->trigger();
    QCOMPARE(server.requests, 1);
    QCOMPARE(window.prompt.messages.size(), size_t{1});
    QVERIFY(QString::fromStdString(window.prompt.messages[0]).startsWith("Metadata no. 7"));
    QVERIFY(QFile::exists(kPrivateUserFolder + "/cache/quillmark/mds.jwt"));
    QCOMPARE(window.Cell(1, 1), QString("Simulated Key Model"));
    QVERIFY(!QSettings(QSettings::UserScope, "Microsoft", "Quillmark").contains("MetadataFile"));

    // A failed update says why and leaves the page as it was.
    LoopbackServer missing(404, "gone");
    Window other(key, "", missing.Url());
    other.dialog->metadata().updateAction()->trigger();
    QCOMPARE(other.prompt.messages.size(), size_t{1});
    QVERIFY(QString::fromStdString(other.prompt.messages[0]).contains("cached copy is unchanged"));
    QCOMPARE(other.Cell(1, 1), QString("Simulated Key Model"));
  }
};

QTEST_MAIN(MetadataWindowTest)
#include "metadata_window_test.moc"
