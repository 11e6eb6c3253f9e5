// The file dialog of "Save report...".
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include "app/report_file_chooser.h"

// Where a save dialog starts: the folder of the last file chosen, else the
// user's documents, else home.
QString SaveDialogStartFolder(const QString& lastFolder);

class QtReportFileChooser final : public ReportFileChooser {
 public:
  explicit QtReportFileChooser(QWidget* owner = nullptr) : owner_(owner) {}
  bool ChooseReportFile(std::string* path) override;

 private:
  QPointer<QWidget> owner_;
  // The folder of the last file chosen, where the next dialog starts.
  QString lastFolder_;
};
