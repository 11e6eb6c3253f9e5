// The about box: the icon, the program's name and version, and OK.
#pragma once

#include <QDialog>

class QPushButton;

extern const char* const ABOUT_CAPTION;  // "About Quillmark"
extern const char* const ABOUT_TEXT;     // "Quillmark, Version 1.0"

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);

  QPushButton* okButton() const { return okButton_; }

 private:
  QPushButton* okButton_;
};
