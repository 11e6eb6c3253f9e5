#include "app/key_profile_saver.h"

#include <QFileDialog>
#include <QFileInfo>

#include "app/key_record.h"
#include "app/qt_report_file_chooser.h"

bool QtKeyProfileFileChooser::ChooseKeyProfileFile(std::string* path) {
  const QString folder = SaveDialogStartFolder(lastFolder_);

  QFileDialog dialog(owner_.data(), "Save key as profile");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter("Simulated key profile (*.json)");
  dialog.setDefaultSuffix("json");
  dialog.setDirectory(folder);
  dialog.selectFile("quillmark-key.json");
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  const QString chosen = dialog.selectedFiles().first();
  lastFolder_ = QFileInfo(chosen).absolutePath();
  *path = chosen.toStdString();
  return true;
}

bool SaveKeyProfile(const KeyExchangeLog* refresh, KeyProfileFileChooser& chooser,
                    UserPrompt& prompt, const WallClock& clock) {
  if (refresh == nullptr || refresh->device().IsEmpty()) {
    prompt.Message("No key is shown: there is nothing to save as a profile.",
                   PromptIcon::kInformation, true);
    return false;
  }
  std::string path;
  if (!chooser.ChooseKeyProfileFile(&path) || path.empty()) return false;
  std::string error;
  // The file dialog asked before it named an existing file.
  if (WriteKeyRecord(path, *refresh, true, clock, &error)) return true;
  prompt.Message("The key could not be saved as a profile: " + error + ".", PromptIcon::kError,
                 true);
  return false;
}
