// What the window asks of the desktop: whether it shows a tray, opening an
// address in the user's browser, and starting a helper program.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

namespace rn {

class IDesktop {
 public:
  virtual ~IDesktop() = default;
  // The desktop shows a notification area (StatusNotifierItem or XEmbed).
  virtual bool TrayAvailable() = 0;
  // Opens `url` with the desktop's handler; false when that failed.
  virtual bool OpenUrl(const QUrl& url) = 0;
  // Starts `program` on its own; false when it could not be started.
  virtual bool RunDetached(const QString& program, const QStringList& arguments) = 0;
};

class TQtDesktop final : public IDesktop {
 public:
  bool TrayAvailable() override;
  bool OpenUrl(const QUrl& url) override;
  bool RunDetached(const QString& program, const QStringList& arguments) override;
};

// Opens an address: the desktop's handler, and `xdg-open` when that fails.
// The outcome of the second try is not looked at.
void OpenAddress(IDesktop& desktop, const QUrl& url);

}  // namespace rn
