#include "shell/window/desktop.h"

#include <QDesktopServices>
#include <QProcess>
#include <QSystemTrayIcon>

namespace rn {

bool TQtDesktop::TrayAvailable() {
  return QSystemTrayIcon::isSystemTrayAvailable();
}

bool TQtDesktop::OpenUrl(const QUrl& url) {
  return QDesktopServices::openUrl(url);
}

bool TQtDesktop::RunDetached(const QString& program, const QStringList& arguments) {
  return QProcess::startDetached(program, arguments);
}

void OpenAddress(IDesktop& desktop, const QUrl& url) {
  if (!desktop.OpenUrl(url))
    desktop.RunDetached(QStringLiteral("xdg-open"), {url.toString(QUrl::FullyEncoded)});
}

}  // namespace rn
