#include "app/qt_prompt.h"

#include <QMessageBox>
#include <QString>

#include "app/dialog_pin.h"

const char* const PROMPT_CAPTION = "Quillmark";

void QtPrompt::Message(const std::string& text, PromptIcon icon, bool owned) {
  const QMessageBox::Icon shown = icon == PromptIcon::kWarning       ? QMessageBox::Warning
                                  : icon == PromptIcon::kInformation ? QMessageBox::Information
                                                                     : QMessageBox::Critical;
  QMessageBox box(shown, PROMPT_CAPTION, QString::fromStdString(text), QMessageBox::Ok,
                  owned ? owner_.data() : nullptr);
  box.exec();
}

bool QtPrompt::Confirm(const std::string& text) {
  QMessageBox box(QMessageBox::Warning, PROMPT_CAPTION, QString::fromStdString(text),
                  QMessageBox::Ok | QMessageBox::Cancel, owner_.data());
  box.setDefaultButton(QMessageBox::Ok);
  return box.exec() == QMessageBox::Ok;
}

bool QtPrompt::AskPin(std::string* pin) {
  // A new dialog each time, so no PIN is remembered between fetches.
  CDialogPIN dialog(owner_.data());
  const bool confirmed = dialog.exec() == QDialog::Accepted;
  *pin = confirmed ? dialog.pinText : std::string();
  dialog.WipePin();
  return confirmed;
}
