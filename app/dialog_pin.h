// The PIN entry dialog: one masked field, OK and Cancel, no close box.
#pragma once

#include <QDialog>
#include <string>

class QLineEdit;
class QPushButton;

class CDialogPIN : public QDialog {
  Q_OBJECT

 public:
  explicit CDialogPIN(QWidget* parent = nullptr);

  // The PIN as typed (UTF-8); empty when created and after Cancel.
  std::string pinText;

  // OK (also Enter): keeps the field's text and closes with Accepted.
  void OnBnClickedOk();
  // Cancel (also Escape): empties the text and closes with Rejected.
  void OnBnClickedCancel();
  // Overwrites `pinText` and the field's text where they are stored, then
  // empties both; for when the PIN has been copied to where it is used.
  void WipePin();

  QLineEdit* pinField() const { return pinField_; }
  QPushButton* okButton() const { return okButton_; }
  QPushButton* cancelButton() const { return cancelButton_; }

 protected:
  void reject() override;

 private:
  QLineEdit* pinField_;
  QPushButton* okButton_;
  QPushButton* cancelButton_;
};
