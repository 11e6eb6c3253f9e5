#include "app/metadata_actions.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileDialog>
#include <QProgressDialog>
#include <QSettings>
#include <QWidget>

#include "app/metadata_download.h"
#include "app/user_settings.h"
#include "attestation/user_prompt.h"
#include "keyinfo/metadata_rows.h"

const char* const OPEN_METADATA_MENU_TEXT = "Open metadata file...";
const char* const UPDATE_METADATA_MENU_TEXT = "Update metadata";
const char* const METADATA_FILE_SETTING = "MetadataFile";

MetadataActions::MetadataActions(QWidget& window, UserPrompt& prompt,
                                 const MetadataWindowServices& services,
                                 std::function<void()> changed)
    : QObject(&window),
      window_(window),
      prompt_(prompt),
      services_(services),
      changed_(std::move(changed)) {
  LoadTrustRoots(services_.options.roots, trust_, rootError_);
  openAction_ = new QAction(OPEN_METADATA_MENU_TEXT, &window);
  updateAction_ = new QAction(UPDATE_METADATA_MENU_TEXT, &window);
  connect(openAction_, &QAction::triggered, this, [this] { OnOpenMetadataFile(); });
  connect(updateAction_, &QAction::triggered, this, [this] { OnUpdateMetadata(); });
  window.addAction(openAction_);
  window.addAction(updateAction_);
}

const WallClock& MetadataActions::clock() const {
  return services_.clock != nullptr ? *services_.clock : SystemWallClock();
}

void MetadataActions::Load(const std::string& file) {
  LoadShownMetadata(file, trust_, clock(), blob_);
}

void MetadataActions::LoadInitialFile() {
  // A root named on the command line that cannot be used is said once.
  if (!rootError_.empty()) prompt_.Message(rootError_, PromptIcon::kError, true);
  std::string file = services_.options.file;
  if (file.empty()) file = UserSettings().value(METADATA_FILE_SETTING).toString().toStdString();
  Load(file);
}

void MetadataActions::ShowPage(QuillmarkModel& model) const {
  ShowMetadataPage(model, blob_, clock().NowUnixSeconds());
}

void MetadataActions::OnOpenMetadataFile() {
  std::string file;
  if (services_.chooseFile) {
    file = services_.chooseFile(&window_);
  } else {
    file = QFileDialog::getOpenFileName(&window_, "Open metadata file", QString(),
                                        "FIDO metadata (*.jwt *.blob);;All files (*)")
               .toStdString();
  }
  if (file.empty()) return;
  UserSettings().setValue(METADATA_FILE_SETTING, QString::fromStdString(file));
  Load(file);
  if (changed_) changed_();
}

void MetadataActions::OnUpdateMetadata() {
  QProgressDialog progress("Downloading the metadata file...", "Cancel", 0, 0, &window_);
  progress.setWindowTitle(UPDATE_METADATA_MENU_TEXT);
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(0);
  progress.setValue(0);
  std::string message;
  const bool stored = UpdateMetadataCache(services_.options, clock(), MetadataCachePath(), message,
                                          [&progress](int64_t received, int64_t total) {
                                            if (total > 0) {
                                              progress.setMaximum(static_cast<int>(total / 1024));
                                              progress.setValue(static_cast<int>(received / 1024));
                                            }
                                            return !progress.wasCanceled();
                                          });
  progress.reset();
  prompt_.Message(message, stored ? PromptIcon::kInformation : PromptIcon::kError, true);
  if (!stored) return;
  // The user asked for the published file: it replaces a remembered choice.
  UserSettings().remove(METADATA_FILE_SETTING);
  services_.options.file.clear();
  Load({});
  if (changed_) changed_();
}
