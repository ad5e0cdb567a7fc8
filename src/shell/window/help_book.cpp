#include "shell/window/help_book.h"

#include <QDir>
#include <QFileInfo>

namespace rn {
namespace {
constexpr const char* kContentsPage = "index.html";
}  // namespace

THelpBook THelpBook::Locate(const QString& programFolder) {
  const QString installed =
      QDir(programFolder).absoluteFilePath(QStringLiteral("../" RAVENOTE_HELP_INSTALL_DIR));
  if (QFileInfo::exists(QDir(installed).filePath(kContentsPage)))
    return THelpBook(QDir::cleanPath(installed));
  return THelpBook(QStringLiteral(RAVENOTE_HELP_SOURCE_DIR));
}

QUrl THelpBook::Contents() const {
  return QUrl::fromLocalFile(QDir(folder_).filePath(kContentsPage));
}

QUrl THelpBook::AtContext(int context) const {
  QUrl url = Contents();
  url.setFragment(QStringLiteral("context-%1").arg(context));
  return url;
}

QUrl THelpBook::Address(const QString& addressOrPage) const {
  const QUrl url(addressOrPage);
  if (!url.scheme().isEmpty())
    return url;
  const qsizetype hash = addressOrPage.indexOf('#');
  QUrl page = QUrl::fromLocalFile(QDir(folder_).filePath(addressOrPage.left(hash)));
  if (hash >= 0)
    page.setFragment(addressOrPage.mid(hash + 1));
  return page;
}

QUrl THelpBook::HomePage() const {
  return Address(QStringLiteral(RAVENOTE_HOME_PAGE));
}

QUrl THelpBook::UpgradePage() const {
  return Address(QStringLiteral(RAVENOTE_UPGRADE_PAGE));
}

}  // namespace rn
