#include "app/qt_report_file_chooser.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

namespace {

const char kTextFilter[] = "Text report (*.txt)";
const char kJsonFilter[] = "JSON report (*.json)";

}  // namespace

QString SaveDialogStartFolder(const QString& lastFolder) {
  QString folder = lastFolder;
  if (folder.isEmpty()) {
    folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  }
  if (folder.isEmpty() || !QDir(folder).exists()) folder = QDir::homePath();
  return folder;
}

bool QtReportFileChooser::ChooseReportFile(std::string* path) {
  const QString folder = SaveDialogStartFolder(lastFolder_);

  QFileDialog dialog(owner_.data(), "Save report");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters(QStringList{kTextFilter, kJsonFilter});
  dialog.setDefaultSuffix("txt");
  dialog.setDirectory(folder);
  dialog.selectFile("quillmark-report.txt");
  // A name typed without an extension takes the one of the chosen type.
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                   [&dialog](const QString& filter) {
                     dialog.setDefaultSuffix(filter == kJsonFilter ? "json" : "txt");
                   });
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  const QString chosen = dialog.selectedFiles().first();
  lastFolder_ = QFileInfo(chosen).absolutePath();
  *path = chosen.toStdString();
  return true;
}
