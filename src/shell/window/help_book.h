// The help book: HTML pages installed with the program (or this source
// tree's copy, for a program run from its build folder), opened in the
// user's browser. Help context numbers are anchors of its contents page.
#pragma once

#include <QString>
#include <QUrl>

namespace rn {

class THelpBook {
 public:
  // The book in `folder` (the folder of its contents page).
  explicit THelpBook(QString folder) : folder_(std::move(folder)) {}
  // The installed book beside the program in `programFolder` (bin/ ->
  // share/ravenote/help), else the source tree's.
  static THelpBook Locate(const QString& programFolder);

  const QString& Folder() const { return folder_; }
  QUrl Contents() const;
  // The contents page at the anchor of help context `context`.
  QUrl AtContext(int context) const;
  // An address set at build time: a URL as it stands, or a page of the book.
  QUrl Address(const QString& addressOrPage) const;
  // The maker's home page (the link label) and upgrade page.
  QUrl HomePage() const;
  QUrl UpgradePage() const;

 private:
  QString folder_;
};

}  // namespace rn
