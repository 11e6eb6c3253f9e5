// The main window against the simulated key: pages, lists, columns, the
// about entry, double clicks, device events and the status line.
// First: the simulated key's headers use a name that Qt defines as a macro.
#include "gui_test_support.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QTabBar>
#include <QTableView>
#include <QTimer>
#include <QtTest>
#include <cerrno>
#include <memory>

#include "app/access_message.h"
#include "app/device_change.h"
#include "app/device_event_source.h"
#include "app/quillmark_dlg.h"
#include "keyinfo/metadata_link.h"
#include "transport/key_device.h"

Q_DECLARE_METATYPE(SettingKind)

namespace {

// A window with in-memory services on the simulated key.
struct Window {
  explicit Window(SimKeyScope& key, SettingsSource& settings, int* aboutRuns = nullptr,
                  DeviceEventSource* events = nullptr) {
    QuillmarkDlgServices services;
    services.settings = &settings;
    services.opener = &opener;
    services.prompt = &prompt;
    services.clock = &key.platform.clock();
    services.deviceEvents = events;
    if (aboutRuns != nullptr) services.runAbout = [aboutRuns](QWidget*) { ++*aboutRuns; };
    dialog = std::make_unique<CQuillmarkDlg>(services);
  }
  // Every page's list, the seed's four first.
  std::vector<QTableView*> Lists() const {
    std::vector<QTableView*> lists;
    for (size_t page = 0; page < dialog->model().Pages().size(); ++page) {
      lists.push_back(dialog->pageView(page));
    }
    return lists;
  }
  std::vector<QTableView*> ShownLists() const {
    std::vector<QTableView*> shown;
    for (QTableView* view : Lists()) {
      if (!view->isHidden()) shown.push_back(view);
    }
    return shown;
  }
  RecordingOpener opener;
  RecordingPrompt prompt;
  std::unique_ptr<CQuillmarkDlg> dialog;
};

QStringList TabTexts(const QTabBar* tabs) {
  QStringList texts;
  for (int i = 0; i < tabs->count(); ++i) texts << tabs->tabText(i);
  return texts;
}

QStringList Captions(const QTableView* view) {
  QStringList captions;
  const QAbstractItemModel* model = view->model();
  for (int column = 0; column < model->columnCount(); ++column) {
    captions << model->headerData(column, Qt::Horizontal).toString();
  }
  return captions;
}

QString CellText(const QTableView* view, int row, int column) {
  return view->model()->index(row, column).data().toString();
}

int RowWithValuePrefix(const QTableView* view, const QString& prefix) {
  for (int row = 0; row < view->model()->rowCount(); ++row) {
    if (CellText(view, row, 1).startsWith(prefix)) return row;
  }
  return -1;
}

void DoubleClickRow(QTableView* view, int row) {
  view->scrollTo(view->model()->index(row, 0));
  const QRect cell = view->visualRect(view->model()->index(row, 0));
  QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
}

const char kSimKeyPath[] =
    "\\\\?\\USB#VID_096E&PID_0858#1-2#{A5DCBF10-6530-11D2-901F-00C04FB951ED}";

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void PagesFollowTheSetting_data() {
    QTest::addColumn<SettingKind>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("fourPages");
    QTest::newRow("\"1\"") << SettingKind::kString << "1" << true;
    QTest::newRow("\"10\"") << SettingKind::kString << "10" << true;
    QTest::newRow("\"0\"") << SettingKind::kString << "0" << false;
    QTest::newRow("\"01\"") << SettingKind::kString << "01" << false;
    QTest::newRow("\"\"") << SettingKind::kString << "" << false;
    QTest::newRow("missing") << SettingKind::kMissing << "" << false;
    QTest::newRow("a number 1") << SettingKind::kOtherType << "" << false;
  }

  void PagesFollowTheSetting() {
    QFETCH(SettingKind, kind);
    QFETCH(QString, text);
    QFETCH(bool, fourPages);
    SimKeyScope key;
    key.platform.AddDevice(SimDeviceConfig());
    FakeSettings settings(kind, text.toStdString());
    Window window(key, settings);

    QCOMPARE(settings.keys, std::vector<std::string>{"SecurityKeyInfo"});
    QCOMPARE(window.dialog->windowTitle(), QString("Quillmark"));
    QStringList expected = {"Hardware info", "FIDO2 Certification", "U2F Certification"};
    if (fourPages) expected << "Security Key info";
    expected << "Details"
             << "Passkeys"
             << "Metadata"
             << "Policy";
    QCOMPARE(TabTexts(window.dialog->tabs()), expected);
    QCOMPARE(window.dialog->model().securityKeyInfoEnabled, fourPages);

    // Right after start: page 0, and its list the only one shown.
    QCOMPARE(window.dialog->tabs()->currentIndex(), 0);
    QCOMPARE(window.ShownLists(), std::vector<QTableView*>{window.dialog->infoListView()});
    QCOMPARE(window.dialog->deviceChange().lastDeviceEvent, 0u);
    // The hardware record is read only with the page.
    QCOMPARE(window.dialog->securityKeyListView()->model()->rowCount() > 0, fourPages);
  }

  void PageSwitchShowsExactlyOneList() {
    for (bool fourPages : {false, true}) {
      SimKeyScope key;
      key.platform.AddDevice(SimDeviceConfig());
      FakeSettings settings(SettingKind::kString, fourPages ? "1" : "0");
      Window window(key, settings);
      CQuillmarkDlg& dialog = *window.dialog;
      const std::vector<QTableView*> pageLists = {dialog.infoListView(), dialog.fido2ListView(),
                                                  dialog.u2fListView(),
                                                  dialog.securityKeyListView()};
      const std::vector<size_t> shownPages = dialog.model().ShownPages();
      for (int page : {1, 2, 0, 3, 2, 4}) {
        if (page >= dialog.tabs()->count()) continue;
        dialog.tabs()->setCurrentIndex(page);
        QCOMPARE(window.ShownLists(), std::vector<QTableView*>{dialog.pageView(shownPages[page])});
        if (page < 3) QCOMPARE(dialog.pageView(shownPages[page]), pageLists[page]);
      }
      // Indexes without a page change nothing.
      dialog.tabs()->setCurrentIndex(1);
      for (int page : {-1, dialog.tabs()->count(), 99}) {
        dialog.OnSelChangeTab(page);
        QCOMPARE(window.ShownLists(), std::vector<QTableView*>{dialog.fido2ListView()});
      }
    }
  }

  void ColumnsTakeTheirShareOfTheWidthOnceAtStart() {
    SimKeyScope key;
    key.platform.AddDevice(SimDeviceConfig());
    FakeSettings settings(SettingKind::kString, "1");
    Window window(key, settings);
    CQuillmarkDlg& dialog = *window.dialog;

    struct Expected {
      QTableView* view;
      QStringList captions;
      std::vector<int> factors;
    };
    const Expected lists[] = {
        {dialog.infoListView(), {"Item", "Value"}, {3, 7}},
        {dialog.fido2ListView(), {"Item", "Value"}, {3, 7}},
        {dialog.u2fListView(), {"Item", "Value"}, {3, 7}},
        {dialog.securityKeyListView(),
         {"Tag", "Length", "Value", "Tag Definition", "Value Definition"},
         {1, 1, 2, 2, 5}},
    };
    std::vector<std::vector<int>> widths;
    const int startWidth = dialog.infoListView()->contentsRect().width();
    for (const Expected& list : lists) {
      QCOMPARE(Captions(list.view), list.captions);
      QVERIFY(list.view->showGrid());
      QCOMPARE(list.view->selectionBehavior(), QAbstractItemView::SelectRows);
      QVERIFY(list.view->verticalHeader()->isHidden());
      // All lists share the page area, so they share the client width.
      QCOMPARE(list.view->geometry(), dialog.infoListView()->geometry());
      const int clientWidth = list.view->width() - 2 * list.view->frameWidth();
      QVERIFY2(clientWidth > 300, qPrintable(QString::number(clientWidth)));
      std::vector<int> sizes;
      for (size_t column = 0; column < list.factors.size(); ++column) {
        const int size = list.view->horizontalHeader()->sectionSize(int(column));
        QCOMPARE(size, (clientWidth / 10) * list.factors[column]);
        sizes.push_back(size);
      }
      widths.push_back(sizes);
    }

    // Rows arriving, showing and resizing the window leave the widths alone,
    // while the lists follow the window.
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    // The window shows at the size its columns were computed for.
    const int listWidth = dialog.infoListView()->width();
    QCOMPARE(listWidth - 2 * dialog.infoListView()->frameWidth(), startWidth);
    dialog.resize(dialog.width() + 120, dialog.height() + 40);
    QTRY_COMPARE(dialog.infoListView()->width(), listWidth + 120);
    dialog.GetDeviceState("", "");
    for (size_t i = 0; i < std::size(lists); ++i) {
      for (size_t column = 0; column < widths[i].size(); ++column) {
        QCOMPARE(lists[i].view->horizontalHeader()->sectionSize(int(column)), widths[i][column]);
      }
    }
    dialog.tabs()->setCurrentIndex(2);
    QCOMPARE(dialog.u2fListView()->geometry(), dialog.infoListView()->geometry());
  }

  void ListsShowTheRefreshOfTheSimulatedKey() {
    SimKeyScope key;
    key.platform.AddDevice(SimDeviceConfig());
    FakeSettings settings(SettingKind::kString, "1");
    Window window(key, settings);
    CQuillmarkDlg& dialog = *window.dialog;
    const QuillmarkModel& model = dialog.model();

    const std::pair<QTableView*, const ReportList*> lists[] = {
        {dialog.infoListView(), &model.infoList},
        {dialog.fido2ListView(), &model.fido2List},
        {dialog.u2fListView(), &model.u2fList},
        {dialog.securityKeyListView(), &model.securityKeyList},
    };
    for (const auto& [view, list] : lists) {
      QVERIFY(list->RowCount() > 0);
      QCOMPARE(view->model()->rowCount(), int(list->RowCount()));
      for (size_t row = 0; row < list->RowCount(); ++row) {
        for (int column = 0; column < view->model()->columnCount(); ++column) {
          QCOMPARE(CellText(view, int(row), column),
                   QString::fromStdString(list->Cell(row, size_t(column))));
        }
      }
    }
    QCOMPARE(CellText(dialog.infoListView(), 0, 0), QString("Device name"));
    QCOMPARE(CellText(dialog.infoListView(), 0, 1), QString("Simulated Key"));
    QCOMPARE(CellText(dialog.fido2ListView(), 0, 0), QString("Tips"));
    QCOMPARE(dialog.statusLine()->text(), QString());
    QVERIFY(window.prompt.messages.empty());

    // A refresh that finds nothing empties every list and says why.
    key.platform.RemoveDevice(key.platform.device(0).config.path);
    dialog.GetDeviceState("", "");
    for (const auto& [view, list] : lists) QCOMPARE(view->model()->rowCount(), 0);
    QCOMPARE(dialog.statusLine()->text(), QString::fromStdString(NoKeyMessage({})));
  }

  void AboutEntryInContextMenuAndOnF1() {
    SimKeyScope key;
    FakeSettings settings;
    int aboutRuns = 0;
    Window window(key, settings, &aboutRuns);
    CQuillmarkDlg& dialog = *window.dialog;

    QAction* about = dialog.aboutAction();
    QCOMPARE(about->text(), QString("&About Quillmark..."));
    QVERIFY(dialog.actions().contains(about));
    QCOMPARE(dialog.contextMenuPolicy(), Qt::ActionsContextMenu);
    QCOMPARE(about->shortcut(), QKeySequence(Qt::Key_F1));

    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QTest::keyClick(dialog.infoListView(), Qt::Key_F1);
    QCOMPARE(aboutRuns, 1);

    // Only the about command runs the about box.
    dialog.OnSysCommand(0xF060);
    dialog.OnSysCommand(0x0000);
    QCOMPARE(aboutRuns, 1);
    dialog.OnSysCommand(IDM_ABOUTBOX | 0x000F);
    QCOMPARE(aboutRuns, 2);
  }

  void AboutBoxRunsModally() {
    SimKeyScope key;
    FakeSettings settings;
    Window window(key, settings);  // no about runner: the real box
    QString title;
    QWidget* parent = nullptr;
    QTimer::singleShot(0, [&] {
      QWidget* box = QApplication::activeModalWidget();
      if (box == nullptr) return;
      title = box->windowTitle();
      parent = box->parentWidget();
      box->close();
    });
    window.dialog->aboutAction()->trigger();
    QCOMPARE(title, QString("About Quillmark"));
    QCOMPARE(parent, window.dialog.get());
  }

  void DoubleClickOnAaguidRowOpensTheExplorer() {
    SimKeyScope key;
    key.platform.AddDevice(SimDeviceConfig());
    FakeSettings settings;
    Window window(key, settings);
    CQuillmarkDlg& dialog = *window.dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    QTableView* info = dialog.infoListView();
    const int aaguidRow = RowWithValuePrefix(info, "aaguid: ");
    QVERIFY(aaguidRow > 0);
    DoubleClickRow(info, 0);
    DoubleClickRow(info, aaguidRow - 1);
    QVERIFY(window.opener.urls.empty());
    DoubleClickRow(info, aaguidRow);
    QCOMPARE(window.opener.urls,
             std::vector<std::string>{std::string(METADATA_EXPLORER_HOST) +
                                      "/fido-mds-explorer/?aaguid=514d2d53-494d-4b45-592d-"
                                      "414147554944"});
  }

  void CertificationListsPassTheRowOrEmptySpace() {
    SimKeyScope key;
    key.platform.AddDevice(SimDeviceConfig());
    FakeSettings settings;
    Window window(key, settings);
    CQuillmarkDlg& dialog = *window.dialog;
    std::vector<int> fido2Rows;
    std::vector<int> u2fRows;
    dialog.onFido2DoubleClick = [&](int row) { fido2Rows.push_back(row); };
    dialog.onU2fDoubleClick = [&](int row) { u2fRows.push_back(row); };
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    dialog.tabs()->setCurrentIndex(1);
    DoubleClickRow(dialog.fido2ListView(), 0);
    QWidget* viewport = dialog.fido2ListView()->viewport();
    QTest::mouseDClick(viewport, Qt::LeftButton, Qt::NoModifier,
                       QPoint(10, viewport->height() - 5));
    dialog.tabs()->setCurrentIndex(2);
    DoubleClickRow(dialog.u2fListView(), 1);
    QCOMPARE(fido2Rows, (std::vector<int>{0, -1}));
    QCOMPARE(u2fRows, std::vector<int>{1});
    QVERIFY(window.opener.urls.empty());
  }

  void DeviceEventsRefreshTheLists() {
    SimKeyScope key;
    FakeSettings settings;
    DeviceEventSource events;  // not started: events are fed by hand
    Window window(key, settings, nullptr, &events);
    CQuillmarkDlg& dialog = *window.dialog;
    QCOMPARE(dialog.infoListView()->model()->rowCount(), 0);

    key.platform.AddDevice(SimDeviceConfig());
    const uint64_t before = key.platform.clock().NowMs();
    emit events.deviceEvent(DBT_DEVICEARRIVAL, kSimKeyPath);
    QCOMPARE(dialog.deviceChange().lastDeviceEvent, DBT_DEVICEARRIVAL);
    QVERIFY(key.platform.clock().NowMs() - before >= 1000);  // the wait, on the injected clock
    QCOMPARE(CellText(dialog.infoListView(), 0, 1), QString("Simulated Key"));
    QCOMPARE(dialog.statusLine()->text(), QString());

    key.platform.RemoveDevice(key.platform.device(0).config.path);
    emit events.deviceEvent(DBT_DEVICEREMOVECOMPLETE, kSimKeyPath);
    QCOMPARE(dialog.infoListView()->model()->rowCount(), 0);
    QCOMPARE(dialog.fido2ListView()->model()->rowCount(), 0);
  }

  void StatusLineWhileTheKeyWaitsForATouch() {
    SimKeyScope key;
    SimDeviceConfig config;
    config.touchDelayMs = 1500;
    config.cbor[0x01] = {0x00, 0xA0};  // a make-credential answer after the touch
    key.platform.AddDevice(config);
    FakeSettings settings;
    Window window(key, settings);
    CQuillmarkDlg& dialog = *window.dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.statusLine()->text(), QString());

    // Timers run inside the wait: the window keeps handling events.
    QString duringWait;
    bool closedDuringWait = false;
    QTimer::singleShot(0, [&] {
      duringWait = dialog.statusLine()->text();
      dialog.close();  // the close box, while an exchange runs
      closedDuringWait = !dialog.isVisible();
    });
    uint16_t status = 0;
    const uint8_t request[] = {0x01, 0xA0};  // authenticatorMakeCredential, empty map
    uint8_t reply[1024];
    uint32_t replyLength = sizeof reply;
    dialog.RunWithKey([&] {
      status = KeySendCbor(request, sizeof request, reply, &replyLength);
      QVERIFY(dialog.keyBusy());
    });
    QCOMPARE(status, uint16_t(0));
    QVERIFY(key.platform.clock().NowMs() >= 1500);
    QCOMPARE(duringWait, QString(TOUCH_KEY_TEXT));
    QVERIFY(!closedDuringWait);
    QVERIFY(dialog.isVisible());
    QVERIFY(!dialog.keyBusy());
    QCOMPARE(dialog.statusLine()->text(), QString());
  }

  void KeyThatDoesNotAnswerIsSaidPlainly() {
    SimKeyScope key;
    SimDeviceConfig config;
    config.misbehave.silent = true;
    key.platform.AddDevice(config);
    FakeSettings settings;
    Window window(key, settings);
    QCOMPARE(window.dialog->statusLine()->text(),
             QString("The key did not answer. Unplug it and plug it in again."));
    QCOMPARE(window.dialog->infoListView()->model()->rowCount(), 4);
    QCOMPARE(key.platform.clock().NowMs(), uint64_t(KEY_READ_TIMEOUT_MS));
  }

  void KeyPulledOutMidRefreshIsSaidPlainly() {
    SimKeyScope key;
    SimDeviceConfig config;
    config.misbehave.goneAfterReports = 3;
    key.platform.AddDevice(config);
    FakeSettings settings;
    Window window(key, settings);
    QCOMPARE(window.dialog->statusLine()->text(),
             QString("The key was removed or stopped answering."));
    QVERIFY(window.dialog->infoListView()->model()->rowCount() >= 4);
  }

  void AccessProblemsAreSaidPlainly() {
    {
      SimKeyScope key;
      SimDeviceConfig denied;
      denied.path = "/dev/hidraw3";
      denied.openError = EACCES;
      key.platform.AddDevice(denied);
      FakeSettings settings;
      Window window(key, settings);
      const QString text = window.dialog->statusLine()->text();
      QCOMPARE(text, QString::fromStdString(NoKeyMessage({"/dev/hidraw3"})));
      QVERIFY(text.contains("/dev/hidraw3"));
      QCOMPARE(window.dialog->infoListView()->model()->rowCount(), 0);
    }
    {
      SimKeyScope key;
      SimDeviceConfig shown;
      shown.path = "/dev/hidraw1";
      key.platform.AddDevice(shown);
      SimDeviceConfig denied;
      denied.path = "/dev/hidraw4";
      denied.openError = EPERM;
      key.platform.AddDevice(denied);
      FakeSettings settings;
      Window window(key, settings);
      QCOMPARE(window.dialog->statusLine()->text(),
               QString::fromStdString(AccessProblemMessage({"/dev/hidraw4"})));
      QVERIFY(window.dialog->infoListView()->model()->rowCount() > 0);
    }
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
