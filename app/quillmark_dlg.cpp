#include "app/quillmark_dlg.h"

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QTabBar>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "app/about_dlg.h"
#include "app/access_message.h"
#include "app/all_vendors.h"
#include "app/device_event_source.h"
#include "app/key_chooser.h"
#include "app/quillmark_app.h"
#include "app/report_list_model.h"
#include "app/report_saver.h"
#include "app/settings_switch.h"
#include "app/window_actions.h"
#include "app/window_geometry.h"
#include "attestation/certificate_fetch.h"
#include "attestation/passkeys_read.h"
#include "attestation/tab_state.h"
#include "keyinfo/device_state.h"
#include "keyinfo/metadata_link.h"
#include "keyinfo/metadata_rows.h"
#include "keyinfo/passkeys_page.h"
#include "keyinfo/shown_key.h"
#include "metadata/attestation_verdict.h"
#include "transport/key_clock.h"
#include "transport/key_device.h"

const char* const ABOUT_MENU_TEXT = "&About Quillmark...";
const char* const TOUCH_KEY_TEXT = "Touch your security key...";
const char* const METADATA_WARNING_STATUS_TEXT =
    "Warning: the FIDO metadata reports this key's model as revoked or compromised (see the "
    "\"Metadata\" page).";
const char* const METADATA_NOT_GENUINE_STATUS_TEXT =
    "Warning: this key is not genuine: the FIDO metadata and its attestation disagree (see the "
    "\"Metadata\" page).";

namespace {

// The window's first size, in dialog units of its font.
constexpr int WINDOW_WIDTH_DLU = 588;
constexpr int WINDOW_HEIGHT_DLU = 352;
constexpr int MARGIN_DLU = 7;

// A dialog unit is a quarter of the font's average character width across,
// an eighth of its height down.
struct DialogUnits {
  explicit DialogUnits(const QFontMetrics& metrics)
      : baseX((metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") /
                   26 +
               1) /
              2),
        baseY(metrics.height()) {}
  int X(int units) const { return units * baseX / 4; }
  int Y(int units) const { return units * baseY / 8; }
  int baseX;
  int baseY;
};

}  // namespace

CQuillmarkDlg::CQuillmarkDlg(const QuillmarkDlgServices& services, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      ownPrompt_(this),
      ownReportFile_(this),
      reportFile_(services.reportFile != nullptr ? services.reportFile : &ownReportFile_),
      ownKeyProfileFile_(this),
      keyProfileFile_(services.keyProfileFile != nullptr ? services.keyProfileFile
                                                         : &ownKeyProfileFile_),
      wallClock_(services.wallClock != nullptr ? services.wallClock : &SystemWallClock()),
      settings_(services.settings != nullptr ? *services.settings : SystemSettings()),
      opener_(services.opener != nullptr ? services.opener : &ownOpener_),
      prompt_(services.prompt != nullptr ? services.prompt : &ownPrompt_),
      runAbout_(services.runAbout),
      deviceChange_(services.clock != nullptr ? *services.clock : KeyTransportClock(),
                    [this](const std::string& vidText, const std::string& pidText) {
                      GetDeviceState(vidText, pidText);
                    }) {
  setWindowTitle("Quillmark");
  const DialogUnits units(fontMetrics());

  // Above the tabs, shown only while more than one key is attached.
  keyChooser_ = new KeyChooser(this);
  keyChooser_->onChosen = [this](const std::string& path) { GetDeviceStateOfPath(path); };

  tabs_ = new QTabBar(this);
  tabs_->setExpanding(false);
  tabs_->setDrawBase(true);

  // The lists lie on top of each other under the tab strip; exactly one
  // shows. They keep their place while hidden, so every list has its size
  // from the start.
  pageArea_ = new QWidget(this);
  auto* pages = new QGridLayout(pageArea_);
  pages->setContentsMargins(0, 0, 0, 0);
  for (size_t page = 0; page < model_.Pages().size(); ++page) {
    QStringList captions;
    for (const std::string& column : model_.Pages()[page].columns) {
      captions << QString::fromStdString(column);
    }
    QTableView* view = MakeList(model_.PageList(page), captions);
    view->setParent(pageArea_);
    pages->addWidget(view, 0, 0);
    views_.push_back(view);
  }
  infoView_ = views_.at(PAGE_HARDWARE_INFO);
  fido2View_ = views_.at(PAGE_FIDO2_CERTIFICATION);
  u2fView_ = views_.at(PAGE_U2F_CERTIFICATION);
  securityKeyView_ = views_.at(PAGE_SECURITY_KEY_INFO);
  for (size_t page = 0; page < model_.Pages().size(); ++page) {
    if (model_.Pages()[page].caption == PASSKEYS_PAGE_CAPTION) passkeysView_ = views_[page];
  }

  statusLine_ = new QLabel(this);
  statusLine_->setObjectName("statusLine");
  statusLine_->setWordWrap(true);
  statusLine_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  statusLine_->setMinimumHeight(fontMetrics().height());

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(units.X(MARGIN_DLU), units.Y(MARGIN_DLU), units.X(MARGIN_DLU),
                             units.Y(MARGIN_DLU) / 2);
  layout->setSpacing(0);
  layout->addWidget(keyChooser_, 0, Qt::AlignLeft);
  layout->addWidget(tabs_);
  layout->addWidget(pageArea_, 1);
  layout->addSpacing(units.Y(3));
  layout->addWidget(statusLine_);

  QSize size(units.X(WINDOW_WIDTH_DLU), units.Y(WINDOW_HEIGHT_DLU));
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    size = size.boundedTo(screen->availableSize() * 9 / 10);
  }
  resize(size);
  setMinimumSize(units.X(200), units.Y(120));
  // The size and place of the last run, before the columns take their widths.
  if (services.geometry != nullptr) services.geometry->Follow(this);

  metadata_ = std::make_unique<MetadataActions>(*this, *prompt_, services.metadata,
                                                [this] { ShowMetadata(); });
  metadata_->LoadInitialFile();
  policy_ = std::make_unique<PolicyActions>(
      *this, *prompt_, services.clock != nullptr ? *services.clock : KeyTransportClock(),
      services.policy, [this] { RefreshShownKey(); });
  policy_->LoadInitialFile();

  KeyDevice::Instance().SetWaitHook([this] { OnKeyWaiting(); });
  KeyClock* pollClock = services.clock != nullptr ? services.clock : &KeyTransportClock();
  onFido2DoubleClick = [this](int row) { ::OnDblClkFido2List(model_, row, *prompt_, *opener_); };
  onU2fDoubleClick = [this, pollClock](int row) {
    ::OnDblClkU2fList(model_, row, *prompt_, *opener_, *pollClock);
  };
  if (services.deviceEvents != nullptr) {
    connect(services.deviceEvents, &DeviceEventSource::deviceEvent, this,
            [this](quint32 eventType, const QString& path) {
              const DeviceEventRecord record{true, path.toStdString()};
              deviceChange_.WindowProc(eventType, &record);
            });
  }

  OnInitDialog();
}

CQuillmarkDlg::~CQuillmarkDlg() {
  KeyDevice::Instance().SetWaitHook(nullptr);
  // Every certificate file the tabs wrote goes with the window.
  DeleteAllCertificateFiles(model_);
}

void CQuillmarkDlg::OnInitDialog() {
  // The window manager owns the system menu: the about entry sits in the
  // window's context menu and on F1.
  aboutAction_ = new QAction(ABOUT_MENU_TEXT, this);
  aboutAction_->setShortcut(QKeySequence::HelpContents);
  aboutAction_->setShortcutContext(Qt::WindowShortcut);
  connect(aboutAction_, &QAction::triggered, this, [this] { OnSysCommand(IDM_ABOUTBOX); });
  addAction(aboutAction_);
  setContextMenuPolicy(Qt::ActionsContextMenu);
  WindowActions::Handlers handlers;
  handlers.shownList = [this] { return shownListView(); };
  handlers.saveReport = [this] { SaveReport(model_, *reportFile_, *prompt_); };
  handlers.saveKeyProfile = [this] {
    SaveKeyProfile(lastRefresh_.get(), *keyProfileFile_, *prompt_, *wallClock_);
  };
  handlers.refresh = [this] { RefreshShownKey(); };
  handlers.activateRow = [this](QTableView* view, int row) { OnDblClkList(view, row); };
  windowActions_ = new WindowActions(this, views_, handlers, aboutAction_);
  // "Show keys of every maker" follows "Refresh", in its group.
  allVendors_ = new AllVendorsAction(*this, [this] { RefreshAfterFilterChange(); });
  const QList<QAction*> ownActions = actions();
  const qsizetype afterRefresh = ownActions.indexOf(windowActions_->refreshAction()) + 1;
  insertAction(afterRefresh < ownActions.size() ? ownActions[afterRefresh] : nullptr,
               allVendors_->action());
  // The metadata entries follow the window's own, before the about entry.
  for (QAction* action :
       {metadata_->openAction(), metadata_->updateAction(), policy_->openAction()}) {
    removeAction(action);
    insertAction(aboutAction_, action);
  }
  auto* separator = new QAction(this);
  separator->setSeparator(true);
  insertAction(aboutAction_, separator);

  setWindowIcon(QuillmarkIcon());

  model_.securityKeyInfoEnabled = ReadSecurityKeyInfoSwitch(settings_);

  for (size_t page : model_.ShownPages()) {
    tabs_->addTab(QString::fromStdString(model_.Pages()[page].caption));
  }
  tabs_->setCurrentIndex(PAGE_HARDWARE_INFO);

  // Place the lists now, before the window shows, so that their client
  // width is known for the columns.
  layout()->activate();
  pageArea_->layout()->activate();
  for (size_t page : model_.ShownPages()) {
    SetColumnWidths(views_[page], model_.Pages()[page].columnTenths);
  }

  tabs_->setCurrentIndex(PAGE_HARDWARE_INFO);
  OnSelChangeTab(PAGE_HARDWARE_INFO);
  connect(tabs_, &QTabBar::currentChanged, this, &CQuillmarkDlg::OnSelChangeTab);
  // Tab goes from the tab strip to the list shown (hidden lists are passed by).
  for (QTableView* view : views_) setTabOrder(tabs_, view);
  infoView_->setFocus();

  deviceChange_.lastDeviceEvent = 0;
  GetDeviceState("", "");
}

QTableView* CQuillmarkDlg::MakeList(ReportList& list, const QStringList& captions) {
  listModels_.push_back(std::make_unique<ReportListModel>(list, captions));
  auto* view = new QTableView(this);
  view->setModel(listModels_.back().get());
  view->setShowGrid(true);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setSelectionMode(QAbstractItemView::ExtendedSelection);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setWordWrap(false);
  view->setTabKeyNavigation(false);  // Tab leaves the list, as in other dialogs
  view->setTextElideMode(Qt::ElideRight);
  view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  view->setCornerButtonEnabled(false);
  view->verticalHeader()->hide();
  view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  QHeaderView* header = view->horizontalHeader();
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  header->setHighlightSections(false);
  header->setStretchLastSection(false);
  header->setSectionResizeMode(QHeaderView::Interactive);
  header->setSectionsMovable(false);
  QSizePolicy policy = view->sizePolicy();
  policy.setRetainSizeWhenHidden(true);
  view->setSizePolicy(policy);
  view->viewport()->installEventFilter(this);
  return view;
}

void CQuillmarkDlg::SetColumnWidths(QTableView* view, const std::vector<int>& factors) {
  // The client width of the empty list: no scroll bar, no row header.
  const int width = view->contentsRect().width();
  for (size_t column = 0; column < factors.size(); ++column) {
    view->horizontalHeader()->resizeSection(static_cast<int>(column),
                                            (width / 10) * factors[column]);
  }
}

void CQuillmarkDlg::OnSelChangeTab(int index) {
  // Tab `index` is the index-th page shown.
  const std::vector<size_t> shownPages = model_.ShownPages();
  if (index < 0 || static_cast<size_t>(index) >= shownPages.size()) return;
  QTableView* shown = views_[shownPages[index]];
  for (QTableView* view : views_) {
    if (view != shown) view->hide();
  }
  shown->show();
  shown->raise();
}

void CQuillmarkDlg::OnSysCommand(uint32_t commandId) {
  if ((commandId & 0xFFF0) != IDM_ABOUTBOX) return;
  if (runAbout_) {
    runAbout_(this);
    return;
  }
  CAboutDlg about(this);
  about.exec();
}

void CQuillmarkDlg::OnDblClkInfoList(int row) {
  ::OnDblClkInfoList(model_.infoList, row, *opener_);
}

void CQuillmarkDlg::OnDblClkFido2List(int row) {
  if (onFido2DoubleClick) {
    RunWithKey([&] {
      onFido2DoubleClick(row);
      ShowMetadata();
    });
  }
}

void CQuillmarkDlg::OnDblClkU2fList(int row) {
  if (onU2fDoubleClick) {
    RunWithKey([&] {
      onU2fDoubleClick(row);
      ShowMetadata();
    });
  }
}

void CQuillmarkDlg::OnDblClkPasskeysList(int row) {
  RunWithKey([&] {
    ::OnDblClkPasskeysList(model_, row, *prompt_);
    // A key that stopped answering says so in the status line too.
    ShowMetadata();
  });
}

void CQuillmarkDlg::OnDblClkList(QTableView* view, int row) {
  if (view == infoView_) {
    OnDblClkInfoList(row);
  } else if (view == fido2View_) {
    OnDblClkFido2List(row);
  } else if (view == u2fView_) {
    OnDblClkU2fList(row);
  } else if (view != nullptr && view == passkeysView_) {
    OnDblClkPasskeysList(row);
  }
}

bool CQuillmarkDlg::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonDblClick &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    const QPoint position = static_cast<QMouseEvent*>(event)->position().toPoint();
    for (QTableView* view : views_) {
      if (watched == view->viewport()) OnDblClkList(view, view->indexAt(position).row());
    }
  }
  return QDialog::eventFilter(watched, event);
}

QTableView* CQuillmarkDlg::shownListView() const {
  const std::vector<size_t> shownPages = model_.ShownPages();
  const int index = tabs_->currentIndex();
  if (index < 0 || static_cast<size_t>(index) >= shownPages.size()) return nullptr;
  return views_[shownPages[index]];
}

void CQuillmarkDlg::RefreshShownKey() {
  if (const std::string chosen = keyChooser_->chosenPath(); !chosen.empty()) {
    GetDeviceStateOfPath(chosen);
    return;
  }
  std::string vidText;
  std::string pidText;
  ShownKeyIds(model_, &vidText, &pidText);
  GetDeviceState(vidText, pidText);
}

void CQuillmarkDlg::GetDeviceState(const std::string& vidText, const std::string& pidText) {
  RunWithKey([&] {
    // A key named with --device stays the one shown, whichever key came or went.
    const bool named = KeyDevice::Instance().namedDevice() != nullptr;
    RecordRefresh([&] { ::GetDeviceState(model_, named ? "" : vidText, named ? "" : pidText); });
    AfterRefresh(std::string());
  });
}

void CQuillmarkDlg::GetDeviceStateOfPath(const std::string& path) {
  RunWithKey([&] {
    RecordRefresh([&] { ::GetDeviceStateOfPath(model_, path); });
    const KeyDevice& key = KeyDevice::Instance();
    // A node that is there but cannot be opened has its own message.
    const bool denied =
        std::find(key.deniedPaths.begin(), key.deniedPaths.end(), path) != key.deniedPaths.end();
    AfterRefresh(key.selected.IsEmpty() && !denied ? path : std::string());
  });
}

void CQuillmarkDlg::RecordRefresh(const std::function<void()>& refresh) {
  auto exchanges = std::make_unique<KeyExchangeLog>();
  refresh();
  exchanges->Stop();
  lastRefresh_ = std::move(exchanges);
  if (windowActions_ != nullptr) {
    // A refresh cut short by a failed link is no profile of the key.
    windowActions_->saveKeyProfileAction()->setEnabled(!lastRefresh_->device().IsEmpty() &&
                                                       !model_.keyLinkLost);
  }
}

void CQuillmarkDlg::AfterRefresh(const std::string& goneKeyPath) {
  goneKeyPath_ = goneKeyPath;
  keyChooser_->Update();
  // Before the page and the status line: the check makes the fetch they show.
  policy_->CheckShownKey(model_, metadata_->blob());
  ShowMetadata();
}

void CQuillmarkDlg::RefreshAfterFilterChange() {
  const KeyDeviceInfo shown = KeyDevice::Instance().selected;
  RunWithKey([&] {
    if (!shown.IsEmpty()) RecordRefresh([&] { ::GetDeviceStateOfPath(model_, shown.path); });
    if (KeyDevice::Instance().selected.IsEmpty()) {
      RecordRefresh([&] { ::GetDeviceState(model_, "", ""); });
    }
    AfterRefresh(std::string());
  });
}

void CQuillmarkDlg::ShowMetadata() {
  metadata_->ShowPage(model_);
  keyStatus_ = QString::fromStdString(KeyStatusText());
  policy_->ShowResult(model_, metadata_->blob(), *statusLine_, keyStatus_);
  if (keyBusy_ == 0) statusLine_->setText(keyStatus_);
}

std::string CQuillmarkDlg::KeyStatusText() const {
  const std::vector<std::string>& denied = KeyDevice::Instance().deniedPaths;
  if (model_.infoList.RowCount() == 0) {
    return goneKeyPath_.empty() ? NoKeyMessage(denied) : ChosenKeyGoneText(goneKeyPath_);
  }
  if (model_.keyDidNotAnswer) return KeyStoppedText(model_);
  const std::string access = AccessProblemMessage(denied);
  const std::string verdict = MetadataVerdictOfKey(model_);
  const char* mark = verdict == VERDICT_CANNOT_BE_TRUSTED ? METADATA_WARNING_STATUS_TEXT
                     : verdict == VERDICT_NOT_GENUINE     ? METADATA_NOT_GENUINE_STATUS_TEXT
                                                          : nullptr;
  if (mark == nullptr) return access;
  return access.empty() ? mark : std::string(mark) + " " + access;
}

void CQuillmarkDlg::RunWithKey(const std::function<void()>& operation) {
  ++keyBusy_;
  operation();
  --keyBusy_;
  if (keyBusy_ == 0) statusLine_->setText(keyStatus_);
}

void CQuillmarkDlg::OnKeyWaiting() {
  if (statusLine_->text() != TOUCH_KEY_TEXT) statusLine_->setText(TOUCH_KEY_TEXT);
  // Repaint and keep answering the desktop, but take no clicks or keys (no
  // second request can start) and leave device events queued until the
  // exchange is over.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                  QEventLoop::ExcludeSocketNotifiers);
}

void CQuillmarkDlg::reject() {
  if (keyBusy()) return;
  QDialog::reject();
}
