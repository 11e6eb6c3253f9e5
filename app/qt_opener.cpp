#include "app/qt_opener.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

// A failure to open is silent: the desktop has no handler, or it refused.
void QtOpener::OpenFile(const std::string& path) {
  QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

void QtOpener::OpenUrl(const std::string& url) {
  QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}
