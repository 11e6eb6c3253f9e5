// The main window: a tab strip over the model's report lists, a status line,
// and the routing of tab switches, double clicks and device events.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/device_change.h"
#include "app/key_profile_saver.h"
#include "app/metadata_actions.h"
#include "app/policy_actions.h"
#include "app/qt_opener.h"
#include "app/qt_prompt.h"
#include "app/qt_report_file_chooser.h"
#include "keyinfo/quillmark_model.h"

class AllVendorsAction;
class DeviceEventSource;
class KeyChooser;
class KeyClock;
class Opener;
class QAction;
class QLabel;
class QTabBar;
class QTableView;
class ReportListModel;
class SettingsSource;
class UserPrompt;
class WindowActions;
class WindowGeometry;

// The command of the about entry.
constexpr uint32_t IDM_ABOUTBOX = 0x0010;
extern const char* const ABOUT_MENU_TEXT;  // "&About Quillmark..."
extern const char* const TOUCH_KEY_TEXT;   // "Touch your security key..."
// The status line's marks of a key the metadata page calls "cannot be
// trusted" (a revoked or compromised model) and "not genuine".
extern const char* const METADATA_WARNING_STATUS_TEXT;
extern const char* const METADATA_NOT_GENUINE_STATUS_TEXT;

// Tab indexes of the seed's pages, which are also their indexes in the
// model's list of pages.
enum QuillmarkPage : int {
  PAGE_HARDWARE_INFO = 0,
  PAGE_FIDO2_CERTIFICATION = 1,
  PAGE_U2F_CERTIFICATION = 2,
  PAGE_SECURITY_KEY_INFO = 3,  // only when the setting turns it on
};

// What the window uses of the world; null takes the real thing.
struct QuillmarkDlgServices {
  SettingsSource* settings = nullptr;  // SystemSettings()
  Opener* opener = nullptr;            // the desktop's handlers
  UserPrompt* prompt = nullptr;        // message boxes owned by the window
  KeyClock* clock = nullptr;           // KeyTransportClock(): the device-event wait, the U2F poll
  DeviceEventSource* deviceEvents = nullptr;        // none: no device events reach the window
  std::function<void(QWidget* owner)> runAbout;     // the about box, modally
  MetadataWindowServices metadata;                  // the metadata file and its menu entries
  PolicyWindowServices policy;                      // the policy file and its menu entry
  ReportFileChooser* reportFile = nullptr;          // a file dialog owned by the window
  KeyProfileFileChooser* keyProfileFile = nullptr;  // a file dialog owned by the window
  const WallClock* wallClock = nullptr;  // the date in a saved profile; null: the system's
  WindowGeometry* geometry = nullptr;    // none: the window starts at its first size, keeps nothing
};

class CQuillmarkDlg : public QDialog {
  Q_OBJECT

 public:
  // Builds the window and runs the first refresh.
  explicit CQuillmarkDlg(const QuillmarkDlgServices& services = QuillmarkDlgServices(),
                         QWidget* parent = nullptr);
  ~CQuillmarkDlg() override;

  // The refresh of every list, then the status line.
  void GetDeviceState(const std::string& vidText, const std::string& pidText);
  // The same refresh of the key at `path` (an entry of the key chooser).
  void GetDeviceStateOfPath(const std::string& path);
  // IDM_ABOUTBOX runs the about box; other commands do nothing here.
  void OnSysCommand(uint32_t commandId);
  // Shows exactly the list of page `index`; other indexes change nothing.
  void OnSelChangeTab(int index);
  // Double clicks; `row` -1 is empty space below the rows.
  void OnDblClkInfoList(int row);
  void OnDblClkFido2List(int row);
  void OnDblClkU2fList(int row);
  // Reads the passkeys with the PIN when the page still offers it (its Tips row).
  void OnDblClkPasskeysList(int row);
  // The refresh of the key the lists show now (the first key found when they
  // show none), as a device event for it would run it; with the key chooser
  // shown, of the key chosen there.
  void RefreshShownKey();

  // Runs `operation`, which talks to the key. While the key keeps it waiting
  // the window repaints and says so in the status line, but takes no user
  // input and cannot be closed; afterwards the status line is restored.
  void RunWithKey(const std::function<void()>& operation);
  bool keyBusy() const { return keyBusy_ > 0; }

  // The certificate fetches of the two certification lists (tests may put
  // others in their place).
  std::function<void(int row)> onFido2DoubleClick;
  std::function<void(int row)> onU2fDoubleClick;

  QuillmarkModel& model() { return model_; }
  UserPrompt& prompt() { return *prompt_; }
  Opener& opener() { return *opener_; }
  DeviceChangeHandler& deviceChange() { return deviceChange_; }

  QTabBar* tabs() const { return tabs_; }
  QTableView* infoListView() const { return infoView_; }
  QTableView* fido2ListView() const { return fido2View_; }
  QTableView* securityKeyListView() const { return securityKeyView_; }
  QTableView* u2fListView() const { return u2fView_; }
  QTableView* passkeysListView() const { return passkeysView_; }
  // The list of the model's page `page`, shown or not.
  QTableView* pageView(size_t page) const { return views_.at(page); }
  QLabel* statusLine() const { return statusLine_; }
  QAction* aboutAction() const { return aboutAction_; }
  MetadataActions& metadata() { return *metadata_; }
  PolicyActions& policy() { return *policy_; }
  WindowActions* windowActions() const { return windowActions_; }
  KeyChooser* keyChooser() const { return keyChooser_; }
  AllVendorsAction* allVendors() const { return allVendors_; }
  // The list of the page the tab strip shows.
  QTableView* shownListView() const;

 protected:
  // Closing (close box, Escape) waits until no exchange runs.
  void reject() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void OnInitDialog();
  QTableView* MakeList(ReportList& list, const QStringList& captions);
  // Widths as shares of the list's client width, fixed from then on.
  static void SetColumnWidths(QTableView* view, const std::vector<int>& factors);
  void OnKeyWaiting();
  std::string KeyStatusText() const;
  // After every refresh: the key chooser, the "Metadata" page and the status
  // line; `goneKeyPath` names a chosen key that the refresh no longer found.
  // Runs `refresh` and keeps what it exchanged with the key in lastRefresh_.
  void RecordRefresh(const std::function<void()>& refresh);
  void AfterRefresh(const std::string& goneKeyPath);
  // After the vendor filter changed: the refresh of the key shown, when it is
  // still kept, else of the first key found.
  void RefreshAfterFilterChange();
  // Fills the "Metadata" page and, when the window is idle, the status line.
  void ShowMetadata();
  // What a double click (or Enter) on `row` of `view` does.
  void OnDblClkList(QTableView* view, int row);

  QuillmarkModel model_;
  // One per page of the model. Declared after model_, so they stop observing
  // its lists before the lists go.
  std::vector<std::unique_ptr<ReportListModel>> listModels_;

  QtOpener ownOpener_;
  QtPrompt ownPrompt_;
  QtReportFileChooser ownReportFile_;
  ReportFileChooser* reportFile_;
  QtKeyProfileFileChooser ownKeyProfileFile_;
  KeyProfileFileChooser* keyProfileFile_;
  const WallClock* wallClock_;
  // What the last refresh exchanged with the key it shows: the record that
  // "Save key as profile..." writes.
  std::unique_ptr<KeyExchangeLog> lastRefresh_;
  SettingsSource& settings_;
  Opener* opener_;
  UserPrompt* prompt_;
  std::function<void(QWidget*)> runAbout_;
  DeviceChangeHandler deviceChange_;

  QTabBar* tabs_ = nullptr;
  QWidget* pageArea_ = nullptr;  // the lists, on top of each other
  // The list of each page of the model, in the model's order.
  std::vector<QTableView*> views_;
  QTableView* infoView_ = nullptr;
  QTableView* fido2View_ = nullptr;
  QTableView* securityKeyView_ = nullptr;
  QTableView* u2fView_ = nullptr;
  QTableView* passkeysView_ = nullptr;
  QLabel* statusLine_ = nullptr;
  QAction* aboutAction_ = nullptr;
  std::unique_ptr<MetadataActions> metadata_;
  std::unique_ptr<PolicyActions> policy_;
  WindowActions* windowActions_ = nullptr;
  KeyChooser* keyChooser_ = nullptr;
  AllVendorsAction* allVendors_ = nullptr;
  // The chosen key that the last refresh no longer found; empty otherwise.
  std::string goneKeyPath_;

  // What the status line says between exchanges.
  QString keyStatus_;
  int keyBusy_ = 0;
};
