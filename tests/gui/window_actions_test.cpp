// The main window's everyday actions against the simulated key: copying
// rows, saving the report, refreshing the shown key, Enter on a row, the
// focus order, and the size and place kept between runs.
// First: the simulated key's headers use a name that Qt defines as a macro.
#include "gui_test_support.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QSettings>
#include <QStandardPaths>
#include <QTabBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <sstream>

#include "app/command_line.h"
#include "app/device_change.h"
#include "app/device_event_source.h"
#include "app/quillmark_dlg.h"
#include "app/report_command.h"
#include "app/report_file_chooser.h"
#include "app/window_actions.h"
#include "app/window_geometry.h"
#include "keyinfo/metadata_link.h"
#include "transport/ctaphid.h"

namespace {

// Answers the file dialog of "Save report..." with `path`, or cancels.
class FixedReportFile : public ReportFileChooser {
 public:
  bool ChooseReportFile(std::string* chosen) override {
    ++asked;
    if (cancel) return false;
    *chosen = path;
    return true;
  }
  std::string path;
  bool cancel = false;
  int asked = 0;
};

// Answers the file dialog of "Save key as profile..." with `path`.
class FixedKeyProfileFile : public KeyProfileFileChooser {
 public:
  bool ChooseKeyProfileFile(std::string* chosen) override {
    ++asked;
    *chosen = path;
    return true;
  }
  std::string path;
  int asked = 0;
};

// Records what it is asked; confirms a fetch when told to.
class ConfirmingPrompt : public RecordingPrompt {
 public:
  bool Confirm(const std::string& text) override {
    messages.push_back(text);
    return confirm;
  }
  bool confirm = false;
};

struct Window {
  explicit Window(SimKeyScope& key, SettingsSource& settings, WindowGeometry* geometry = nullptr,
                  DeviceEventSource* events = nullptr) {
    QuillmarkDlgServices services;
    services.settings = &settings;
    services.opener = &opener;
    services.prompt = &prompt;
    services.clock = &key.platform.clock();
    services.reportFile = &reportFile;
    services.keyProfileFile = &keyProfileFile;
    services.wallClock = &wallClock;
    services.geometry = geometry;
    services.deviceEvents = events;
    dialog = std::make_unique<CQuillmarkDlg>(services);
  }
  // Shown and active, so that its shortcuts take keys.
  void ShowActive() {
    dialog->show();
    QApplication::setActiveWindow(dialog.get());
    QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
  }
  RecordingOpener opener;
  ConfirmingPrompt prompt;
  FixedReportFile reportFile;
  FixedKeyProfileFile keyProfileFile;
  FixedWallClock wallClock{1796805600};  // 2026-12-09 08:40 UTC
  std::unique_ptr<CQuillmarkDlg> dialog;
};

SimKeyScope& WithOneKey(SimKeyScope& key) {
  key.platform.AddDevice(SimDeviceConfig());
  return key;
}

// A window on the built-in simulated key, with three pages or four.
struct OneKeyWindow {
  explicit OneKeyWindow(bool securityKeyInfo = false)
      : settings(SettingKind::kString, securityKeyInfo ? "1" : "0"),
        window(WithOneKey(key), settings) {}
  SimKeyScope key;
  FakeSettings settings;
  Window window;
};

int RowWithItem(const QTableView* view, const QString& item) {
  for (int row = 0; row < view->model()->rowCount(); ++row) {
    if (view->model()->index(row, 0).data().toString() == item) return row;
  }
  return -1;
}

int RowWithValuePrefix(const QTableView* view, const QString& prefix) {
  for (int row = 0; row < view->model()->rowCount(); ++row) {
    if (view->model()->index(row, 1).data().toString().startsWith(prefix)) return row;
  }
  return -1;
}

// Makes `row` the current and only selected row, whatever modifier keys an
// earlier simulated click left.
void SelectOnly(QTableView* view, int row) {
  const QModelIndex index = view->model()->index(row, 0);
  view->selectionModel()->setCurrentIndex(
      index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

QPoint RowCenter(QTableView* view, int row) {
  view->scrollTo(view->model()->index(row, 0));
  return view->visualRect(view->model()->index(row, 0)).center();
}

std::string ReadFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return "<unreadable>";
  return file.readAll().toStdString();
}

// What `quillmark --report` (with --json) writes for the key plugged in now.
std::string ReportCommandOutput(bool json, bool securityKeyInfo) {
  CommandLine line;
  line.report = true;
  line.json = json;
  std::istringstream in;
  std::ostringstream out;
  std::ostringstream err;
  RunReportCommand(line, securityKeyInfo, in, out, err);
  return out.str();
}

// The context menu's entries in order, "|" for a separator.
QStringList ActionTexts(const QWidget* window) {
  QStringList texts;
  for (const QAction* action : window->actions()) {
    texts << (action->isSeparator() ? "|" : action->text());
  }
  return texts;
}

const char kSecondKeyPath[] =
    "\\\\?\\USB#VID_2CCF&PID_0880#1-3#{A5DCBF10-6530-11D2-901F-00C04FB951ED}";

}  // namespace

class WindowActionsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    // Nothing of a test run reaches the real home's settings or folders.
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(settingsFolder_.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder_.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsFolder_.path());
  }

  void ContextMenuHoldsTheActionsAndTheirKeys() {
    SimKeyScope key;
    FakeSettings settings;
    Window window(key, settings);
    const CQuillmarkDlg& dialog = *window.dialog;
    QCOMPARE(dialog.contextMenuPolicy(), Qt::ActionsContextMenu);
    QCOMPARE(ActionTexts(&dialog),
             (QStringList{"&Copy", "Copy &value", "|", "&Save report...", "Save key as &profile...",
                          "&Refresh", "Show keys of every maker", "|", "Open metadata file...",
                          "Update metadata", "Open policy...", "|", "&About Quillmark..."}));
    const WindowActions& actions = *dialog.windowActions();
    QCOMPARE(actions.copyAction()->shortcut(), QKeySequence(QKeySequence::Copy));
    QCOMPARE(actions.copyValueAction()->shortcut(), QKeySequence("Ctrl+Shift+C"));
    QCOMPARE(actions.saveReportAction()->shortcut(), QKeySequence(QKeySequence::Save));
    QCOMPARE(actions.refreshAction()->shortcut(), QKeySequence(Qt::Key_F5));
    QCOMPARE(dialog.windowTitle(), QString("Quillmark"));
  }

  void CopyTakesTheSelectedRowsAsTabSeparatedLines() {
    OneKeyWindow one;
    Window& window = one.window;
    window.ShowActive();
    QTableView* info = window.dialog->infoListView();
    QCOMPARE(info->selectionMode(), QAbstractItemView::ExtendedSelection);
    QClipboard* clipboard = QGuiApplication::clipboard();

    QTest::mouseClick(info->viewport(), Qt::LeftButton, Qt::NoModifier, RowCenter(info, 0));
    QTest::keyClick(info, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(clipboard->text(), QString("Device name\tSimulated Key"));

    // Control adds rows to the selection; they copy top to bottom.
    QTest::mouseClick(info->viewport(), Qt::LeftButton, Qt::NoModifier, RowCenter(info, 2));
    QTest::mouseClick(info->viewport(), Qt::LeftButton, Qt::ControlModifier, RowCenter(info, 0));
    QTest::keyClick(info, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(clipboard->text(), QString("Device name\tSimulated Key\nPID\t0858"));

    // A row without a value copies its empty cell as well.
    const int separator = RowWithItem(info, "    ");
    QVERIFY(separator > 0);
    QTest::mouseClick(info->viewport(), Qt::LeftButton, Qt::NoModifier, RowCenter(info, separator));
    window.dialog->windowActions()->copyAction()->trigger();
    QCOMPARE(clipboard->text(), QString("    \t"));

    // "Copy value" takes the value of the current row alone.
    const int aaguid = RowWithValuePrefix(info, "aaguid: ");
    QVERIFY(aaguid > 0);
    info->setCurrentIndex(info->model()->index(aaguid, 0));
    window.dialog->windowActions()->copyValueAction()->trigger();
    QCOMPARE(clipboard->text(), QString("aaguid: 514d2d53494d4b45592d414147554944"));
    QTest::mouseClick(info->viewport(), Qt::LeftButton, Qt::NoModifier, RowCenter(info, 0));
    QTest::keyClick(info, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(clipboard->text(), QString("Simulated Key"));

    // Nothing selected: the clipboard keeps what it holds.
    info->clearSelection();
    info->setCurrentIndex(QModelIndex());
    window.dialog->windowActions()->copyAction()->trigger();
    window.dialog->windowActions()->copyValueAction()->trigger();
    QCOMPARE(clipboard->text(), QString("Simulated Key"));
  }

  void CopyFollowsThePageShown() {
    OneKeyWindow one(true);
    Window& window = one.window;
    window.ShowActive();
    CQuillmarkDlg& dialog = *window.dialog;
    QClipboard* clipboard = QGuiApplication::clipboard();

    dialog.tabs()->setCurrentIndex(PAGE_FIDO2_CERTIFICATION);
    QCOMPARE(dialog.shownListView(), dialog.fido2ListView());
    SelectOnly(dialog.fido2ListView(), 0);
    dialog.windowActions()->copyAction()->trigger();
    QCOMPARE(clipboard->text(),
             "Tips\t" + dialog.fido2ListView()->model()->index(0, 1).data().toString());

    // Five columns; "Copy value" takes the column captioned "Value".
    dialog.tabs()->setCurrentIndex(PAGE_SECURITY_KEY_INFO);
    QTableView* list = dialog.securityKeyListView();
    QVERIFY(list->model()->rowCount() > 1);
    SelectOnly(list, 1);
    dialog.windowActions()->copyAction()->trigger();
    QStringList cells;
    for (size_t column = 0; column < 5; ++column) {
      cells << QString::fromStdString(dialog.model().securityKeyList.Cell(1, column));
    }
    QCOMPARE(clipboard->text(), cells.join('\t'));
    dialog.windowActions()->copyValueAction()->trigger();
    QCOMPARE(clipboard->text(), cells[2]);
  }

  void SavedReportIsTheReportCommandsOutput_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("savedAs");
    QTest::addColumn<bool>("json");
    QTest::newRow("text") << "report.txt"
                          << "report.txt" << false;
    QTest::newRow("json") << "report.json"
                          << "report.json" << true;
    QTest::newRow("JSON, upper case") << "REPORT.JSON"
                                      << "REPORT.JSON" << true;
    QTest::newRow("no extension") << "report"
                                  << "report.txt" << false;
    QTest::newRow("other extension") << "report.log"
                                     << "report.log" << false;
  }

  void SavedReportIsTheReportCommandsOutput() {
    QFETCH(QString, name);
    QFETCH(QString, savedAs);
    QFETCH(bool, json);
    OneKeyWindow one(true);
    Window& window = one.window;
    window.ShowActive();
    QTemporaryDir folder;
    window.reportFile.path = folder.filePath(name).toStdString();

    QTest::keyClick(window.dialog->infoListView(), Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(window.reportFile.asked, 1);
    QVERIFY(window.prompt.messages.empty());
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{savedAs});
    const std::string saved = ReadFile(folder.filePath(savedAs));
    QCOMPARE(saved, ReportCommandOutput(json, true));
    QVERIFY(saved.find("Simulated Key") != std::string::npos);
  }

  void SavedKeyProfileReplaysToTheSameReport() {
    QTemporaryDir folder;
    const QString path = folder.filePath("key.json");
    std::string shown;
    {
      OneKeyWindow one;
      Window& window = one.window;
      QAction* save = window.dialog->windowActions()->saveKeyProfileAction();
      QVERIFY(save->isEnabled());
      window.keyProfileFile.path = path.toStdString();
      save->trigger();
      QCOMPARE(window.keyProfileFile.asked, 1);
      QVERIFY(window.prompt.messages.empty());
      shown = ReportCommandOutput(true, false);
    }
    const std::string record = ReadFile(path);
    QVERIFY(record.find("2026-12-09 08:40 UTC") != std::string::npos);
    QVERIFY(record.find("\"builtin\": false") != std::string::npos);

    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    const CommandLine line =
        ParseCommandLine({"--report", "--json", "--simulate", path.toStdString()});
    QCOMPARE(RunReportCommand(line, false, in, out, err), EXIT_KEY_SHOWN);
    QCOMPARE(out.str(), shown);
  }

  void SaveKeyProfileWaitsForAKey() {
    SimKeyScope key;
    FakeSettings settings;
    Window window(key, settings);
    QAction* save = window.dialog->windowActions()->saveKeyProfileAction();
    QVERIFY(!save->isEnabled());
    key.platform.AddDevice(SimDeviceConfig());
    window.dialog->windowActions()->refreshAction()->trigger();
    QVERIFY(save->isEnabled());
  }

  void SaveReplacesAFileWhole() {
    OneKeyWindow one;
    Window& window = one.window;
    QTemporaryDir folder;
    const QString path = folder.filePath("report.txt");
    {
      QFile old(path);
      QVERIFY(old.open(QIODevice::WriteOnly));
      old.write("an older report, longer than nothing\n");
    }
    window.reportFile.path = path.toStdString();
    window.dialog->windowActions()->saveReportAction()->trigger();
    QCOMPARE(ReadFile(path), ReportCommandOutput(false, false));
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"report.txt"});

    // Cancelling the file dialog writes nothing and says nothing.
    window.reportFile.cancel = true;
    QFile::remove(path);
    window.dialog->windowActions()->saveReportAction()->trigger();
    QCOMPARE(window.reportFile.asked, 2);
    QVERIFY(!QFile::exists(path));
    QVERIFY(window.prompt.messages.empty());
  }

  void FailedSaveSaysSoAndLeavesNothing() {
    OneKeyWindow one;
    Window& window = one.window;
    QTemporaryDir folder;

    // The name is taken by a folder: the new file cannot take its place.
    QVERIFY(QDir(folder.path()).mkdir("report.txt"));
    window.reportFile.path = folder.filePath("report.txt").toStdString();
    window.dialog->windowActions()->saveReportAction()->trigger();
    QCOMPARE(window.prompt.messages.size(), size_t(1));
    const QString message = QString::fromStdString(window.prompt.messages[0]);
    QVERIFY2(message.startsWith("The report could not be saved as \"" + folder.path()),
             qPrintable(message));
    QCOMPARE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"report.txt"});
    QVERIFY(QDir(folder.filePath("report.txt")).isEmpty());

    // A folder that does not exist.
    window.reportFile.path = folder.filePath("missing/report.json").toStdString();
    window.dialog->windowActions()->saveReportAction()->trigger();
    QCOMPARE(window.prompt.messages.size(), size_t(2));
    QVERIFY(!QDir(folder.filePath("missing")).exists());
  }

  void F5RefreshesTheKeyShown() {
    SimKeyScope key;
    SimDevice& first = key.platform.AddDevice(SimDeviceConfig());
    SimDeviceConfig secondConfig;
    secondConfig.vendorId = 0x2CCF;
    secondConfig.productId = 0x0880;
    secondConfig.product = "Second Key";
    SimDevice& second = key.platform.AddDevice(secondConfig);
    FakeSettings settings;
    DeviceEventSource events;  // not started: events are fed by hand
    Window window(key, settings, nullptr, &events);
    CQuillmarkDlg& dialog = *window.dialog;
    QTableView* info = dialog.infoListView();
    QCOMPARE(info->model()->index(0, 1).data().toString(), QString("Simulated Key"));

    // A device event for the second key shows it.
    emit events.deviceEvent(DBT_DEVICEARRIVAL, kSecondKeyPath);
    QCOMPARE(info->model()->index(0, 1).data().toString(), QString("Second Key"));
    const int firstRefreshes = GetInfoCount(first);
    const int secondRefreshes = GetInfoCount(second);
    QCOMPARE(secondRefreshes, 1);

    // F5 reads the second key again, once, and leaves the device events alone.
    window.ShowActive();
    dialog.tabs()->setCurrentIndex(PAGE_U2F_CERTIFICATION);
    QTest::keyClick(dialog.u2fListView(), Qt::Key_F5);
    QCOMPARE(GetInfoCount(second), secondRefreshes + 1);
    QCOMPARE(GetInfoCount(first), firstRefreshes);
    QCOMPARE(info->model()->index(0, 1).data().toString(), QString("Second Key"));
    QCOMPARE(dialog.deviceChange().lastDeviceEvent, DBT_DEVICEARRIVAL);

    // Showing no key, it takes the first key found.
    key.platform.RemoveDevice(first.config().path);
    key.platform.RemoveDevice(second.config().path);
    dialog.windowActions()->refreshAction()->trigger();
    QCOMPARE(info->model()->rowCount(), 0);
    SimDevice& third = key.platform.AddDevice(secondConfig);
    dialog.windowActions()->refreshAction()->trigger();
    QCOMPARE(GetInfoCount(third), 1);
    QCOMPARE(info->model()->index(0, 1).data().toString(), QString("Second Key"));
  }

  void EnterDoesWhatADoubleClickDoes() {
    auto tipsRun = [](bool byEnter, QStringList* items, std::vector<std::string>* messages) {
      OneKeyWindow one;
      Window& window = one.window;
      window.prompt.confirm = true;
      window.ShowActive();
      CQuillmarkDlg& dialog = *window.dialog;
      dialog.tabs()->setCurrentIndex(PAGE_FIDO2_CERTIFICATION);
      QTableView* list = dialog.fido2ListView();
      const int tips = RowWithItem(list, "Tips");
      QCOMPARE(tips, 0);
      const int rowsBefore = list->model()->rowCount();
      if (byEnter) {
        list->setFocus();
        list->setCurrentIndex(list->model()->index(tips, 0));
        QTest::keyClick(list, Qt::Key_Return);
      } else {
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, RowCenter(list, tips));
      }
      // The fetch ran: the certificate's rows follow the tips.
      QVERIFY(list->model()->rowCount() > rowsBefore);
      for (int row = 0; row < list->model()->rowCount(); ++row) {
        *items << list->model()->index(row, 0).data().toString();
      }
      *messages = window.prompt.messages;
    };
    QStringList clicked;
    QStringList entered;
    std::vector<std::string> clickMessages;
    std::vector<std::string> enterMessages;
    tipsRun(false, &clicked, &clickMessages);
    tipsRun(true, &entered, &enterMessages);
    QCOMPARE(entered, clicked);
    QCOMPARE(enterMessages, clickMessages);

    // The aaguid row of the info list opens the explorer on Enter (the
    // keypad's as well); other rows open nothing.
    OneKeyWindow one;
    Window& window = one.window;
    window.ShowActive();
    QTableView* info = window.dialog->infoListView();
    const int aaguid = RowWithValuePrefix(info, "aaguid: ");
    QVERIFY(aaguid > 0);
    info->setFocus();
    info->setCurrentIndex(info->model()->index(0, 0));
    QTest::keyClick(info, Qt::Key_Return);
    QVERIFY(window.opener.urls.empty());
    info->setCurrentIndex(info->model()->index(aaguid, 0));
    QTest::keyClick(info, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(window.opener.urls.size(), size_t(1));
    QVERIFY(window.opener.urls[0].rfind(METADATA_EXPLORER_HOST, 0) == 0);
  }

  void FocusFollowsTheVisualOrder() {
    OneKeyWindow one;
    Window& window = one.window;
    window.ShowActive();
    CQuillmarkDlg& dialog = *window.dialog;
    QCOMPARE(QApplication::focusWidget(), dialog.infoListView());

    for (int page : {0, 1, 2}) {
      dialog.tabs()->setCurrentIndex(page);
      dialog.tabs()->setFocus();
      QTest::keyClick(dialog.tabs(), Qt::Key_Tab);
      QCOMPARE(QApplication::focusWidget(), dialog.shownListView());
      QTest::keyClick(dialog.shownListView(), Qt::Key_Tab);
      QCOMPARE(QApplication::focusWidget(), dialog.tabs());
      QTest::keyClick(dialog.tabs(), Qt::Key_Backtab, Qt::ShiftModifier);
      QCOMPARE(QApplication::focusWidget(), dialog.shownListView());
    }
    // The arrow keys switch pages on the tab strip.
    dialog.tabs()->setFocus();
    dialog.tabs()->setCurrentIndex(0);
    QTest::keyClick(dialog.tabs(), Qt::Key_Right);
    QCOMPARE(dialog.shownListView(), dialog.fido2ListView());
    QVERIFY(dialog.fido2ListView()->isVisible());
  }

  void GeometryIsRestoredInTheNextWindow() {
    const QString file =
        QSettings(QSettings::UserScope, USER_SETTINGS_ORGANIZATION, USER_SETTINGS_APPLICATION)
            .fileName();
    QVERIFY2(file.startsWith(settingsFolder_.path()), qPrintable(file));
    QFile::remove(file);

    QRect saved;
    {
      SimKeyScope key;
      FakeSettings settings;
      WindowGeometry geometry;
      Window window(key, settings, &geometry);
      QVERIFY(!geometry.restored());
      window.dialog->show();
      QVERIFY(QTest::qWaitForWindowExposed(window.dialog.get()));
      window.dialog->setGeometry(60, 70, window.dialog->width() + 90, window.dialog->height() + 50);
      QTRY_COMPARE(window.dialog->geometry().topLeft(), QPoint(60, 70));
      saved = window.dialog->geometry();
      window.dialog->close();  // closing saves
    }
    QVERIFY(QFile::exists(file));

    SimKeyScope key;
    FakeSettings settings;
    WindowGeometry geometry;
    Window window(key, settings, &geometry);
    QVERIFY(geometry.restored());
    QCOMPARE(window.dialog->size(), saved.size());
    window.dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.dialog.get()));
    QTRY_COMPARE(window.dialog->geometry(), saved);
    // The columns take their shares of the list's width in the restored size.
    QTableView* info = window.dialog->infoListView();
    QCOMPARE(info->horizontalHeader()->sectionSize(0), (info->contentsRect().width() / 10) * 3);
    QCOMPARE(window.dialog->windowTitle(), QString("Quillmark"));
  }

  void UnreadableGeometryLeavesTheFirstSize() {
    QSettings(QSettings::UserScope, USER_SETTINGS_ORGANIZATION, USER_SETTINGS_APPLICATION)
        .setValue(WINDOW_GEOMETRY_KEY, QByteArray("not a geometry"));
    SimKeyScope key;
    FakeSettings settings;
    Window plain(key, settings);
    WindowGeometry geometry;
    Window window(key, settings, &geometry);
    QVERIFY(!geometry.restored());
    QCOMPARE(window.dialog->size(), plain.dialog->size());
  }

 private:
  QTemporaryDir settingsFolder_;
};

QTEST_MAIN(WindowActionsTest)
#include "window_actions_test.moc"
