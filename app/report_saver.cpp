#include "app/report_saver.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QString>

#include "app/report_format.h"

const char* const REPORT_DEFAULT_EXTENSION = ".txt";

ReportFileFormat ReportFormatForPath(const std::string& path) {
  return QFileInfo(QString::fromStdString(path)).suffix().compare("json", Qt::CaseInsensitive) == 0
             ? ReportFileFormat::kJson
             : ReportFileFormat::kText;
}

std::string WithReportExtension(const std::string& path) {
  const QString fileName = QFileInfo(QString::fromStdString(path)).fileName();
  // A leading dot marks a hidden file, not an extension.
  if (fileName.lastIndexOf('.') > 0) return path;
  return path + REPORT_DEFAULT_EXTENSION;
}

bool WriteFileWhole(const std::string& path, const std::string& contents, std::string* error) {
  // QSaveFile writes to a new file in the same folder and renames it over
  // `path` on commit; on any failure it removes that file again.
  QSaveFile file(QString::fromStdString(path));
  file.setDirectWriteFallback(false);
  const bool written = file.open(QIODevice::WriteOnly) &&
                       file.write(contents.data(), static_cast<qint64>(contents.size())) ==
                           static_cast<qint64>(contents.size()) &&
                       file.commit();
  if (written) return true;
  // Not committed: the new file goes with `file`.
  *error = file.errorString().toStdString();
  return false;
}

bool SaveReport(const QuillmarkModel& model, ReportFileChooser& chooser, UserPrompt& prompt) {
  std::string chosen;
  if (!chooser.ChooseReportFile(&chosen) || chosen.empty()) return false;
  const std::string path = WithReportExtension(chosen);

  const std::vector<ReportPage> pages = ReportPages(model, model.securityKeyInfoEnabled);
  const std::string report = ReportFormatForPath(path) == ReportFileFormat::kJson
                                 ? FormatReportJson(pages)
                                 : FormatReportText(pages);
  std::string error;
  if (WriteFileWhole(path, report, &error)) return true;
  prompt.Message("The report could not be saved as \"" + path + "\": " + error, PromptIcon::kError,
                 true);
  return false;
}
