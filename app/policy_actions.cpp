#include "app/policy_actions.h"

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QSettings>
#include <QWidget>

#include "app/policy_run.h"
#include "app/user_settings.h"
#include "attestation/user_prompt.h"

const char* const OPEN_POLICY_MENU_TEXT = "Open policy...";
const char* const POLICY_FILE_SETTING = "PolicyFile";

PolicyActions::PolicyActions(QWidget& window, UserPrompt& prompt, KeyClock& pollClock,
                             const PolicyWindowServices& services, std::function<void()> changed)
    : QObject(&window),
      window_(window),
      prompt_(prompt),
      pollClock_(pollClock),
      services_(services),
      changed_(std::move(changed)) {
  openAction_ = new QAction(OPEN_POLICY_MENU_TEXT, &window);
  connect(openAction_, &QAction::triggered, this, [this] { OnOpenPolicy(); });
  window.addAction(openAction_);
}

bool PolicyActions::Load(const std::string& file) {
  Policy policy;
  const std::string problem = ReadPolicyFile(file, policy);
  if (!problem.empty()) {
    prompt_.Message("The policy " + file + " cannot be used: " + problem, PromptIcon::kError, true);
    return false;
  }
  policy_ = std::move(policy);
  loaded_ = true;
  return true;
}

void PolicyActions::LoadInitialFile() {
  const std::string file = UserSettings().value(POLICY_FILE_SETTING).toString().toStdString();
  if (!file.empty()) Load(file);
}

void PolicyActions::OnOpenPolicy() {
  std::string file;
  if (services_.chooseFile) {
    file = services_.chooseFile(&window_);
  } else {
    file = QFileDialog::getOpenFileName(&window_, "Open policy", QString(),
                                        "Policy (*.json);;All files (*)")
               .toStdString();
  }
  // A policy that does not read leaves the one before in force.
  if (file.empty() || !Load(file)) return;
  UserSettings().setValue(POLICY_FILE_SETTING, QString::fromStdString(file));
  if (changed_) changed_();
}

void PolicyActions::CheckShownKey(QuillmarkModel& model, const MdsBlob& blob) {
  last_.reset();
  ReportList* page = model.FindPage(POLICY_PAGE_CAPTION);
  if (page != nullptr) page->Clear();
  if (!loaded_ || model.infoList.RowCount() == 0) return;
  last_ = CheckRefreshedKey(model, policy_, blob, Now(), prompt_, pollClock_).result;
}

int64_t PolicyActions::Now() const {
  return (services_.clock != nullptr ? *services_.clock : SystemWallClock()).NowUnixSeconds();
}

void PolicyActions::ShowResult(QuillmarkModel& model, const MdsBlob& blob, QLabel& statusLine,
                               QString& keyStatus) {
  if (last_ && model.infoList.RowCount() > 0) {
    last_ = CheckPolicy(policy_, GatherPolicyFacts(model, blob, Now()));
    if (ReportList* page = model.FindPage(POLICY_PAGE_CAPTION)) WritePolicyPage(*last_, *page);
  }
  if (!last_) {
    statusLine.setStyleSheet(QString());
    return;
  }
  const QString line = QString::fromStdString(PolicyResultLine(*last_));
  keyStatus = keyStatus.isEmpty() ? line : line + "  " + keyStatus;
  statusLine.setStyleSheet(last_->passed ? "color: #1b7f2a; font-weight: bold"
                                         : "color: #c0261b; font-weight: bold");
}
