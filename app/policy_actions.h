// The window's policy: "Open policy..." in its context menu (the choice is
// remembered in the user's settings), the check of every key the window
// refreshes, and the status line's green PASS or red FAIL.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <optional>
#include <string>

#include "keyinfo/quillmark_model.h"
#include "metadata/mds_blob.h"
#include "metadata/utc_date.h"
#include "policy/policy_check.h"
#include "policy/policy_file.h"
#include "transport/key_clock.h"

class QAction;
class QLabel;
class QWidget;
class UserPrompt;

extern const char* const OPEN_POLICY_MENU_TEXT;  // "Open policy..."
extern const char* const POLICY_FILE_SETTING;    // "PolicyFile"

struct PolicyWindowServices {
  // Asks for a file; empty when the user cancels. Null: a file dialog.
  std::function<std::string(QWidget* owner)> chooseFile;
  const WallClock* clock = nullptr;  // null: the system's
};

class PolicyActions : public QObject {
  Q_OBJECT

 public:
  // Adds the action to `window`; `changed` runs after a new policy is read.
  PolicyActions(QWidget& window, UserPrompt& prompt, KeyClock& pollClock,
                const PolicyWindowServices& services, std::function<void()> changed);

  // Reads the remembered policy, if any; one that no longer reads is said.
  void LoadInitialFile();
  void OnOpenPolicy();

  bool active() const { return loaded_; }
  // With a policy and a key shown: the check (and what it needs of the key),
  // the "Policy" page; else the page is emptied.
  void CheckShownKey(QuillmarkModel& model, const MdsBlob& blob);
  // After the "Metadata" page was filled: the checked key judged again with
  // what the model and `blob` now say (a new file, a fetch by double click;
  // the key is asked nothing), then the status line: "PASS" in green or
  // "FAIL: reason" in red before `keyStatus`; `keyStatus` alone without a
  // checked key.
  void ShowResult(QuillmarkModel& model, const MdsBlob& blob, QLabel& statusLine,
                  QString& keyStatus);

  QAction* openAction() const { return openAction_; }

 private:
  bool Load(const std::string& file);
  int64_t Now() const;

  QWidget& window_;
  UserPrompt& prompt_;
  KeyClock& pollClock_;
  PolicyWindowServices services_;
  std::function<void()> changed_;
  bool loaded_ = false;
  Policy policy_;
  std::optional<PolicyResult> last_;
  QAction* openAction_ = nullptr;
};
