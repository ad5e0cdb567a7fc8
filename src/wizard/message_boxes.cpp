// The message-box seam and its QMessageBox implementation.
#include "wizard/message_boxes.h"

#include <QMessageBox>

namespace rn {
namespace {

QMessageBox::Icon IconOf(TBoxIcon icon) {
  switch (icon) {
    case TBoxIcon::None:
      return QMessageBox::NoIcon;
    case TBoxIcon::Information:
      return QMessageBox::Information;
    case TBoxIcon::Warning:
      return QMessageBox::Warning;
    case TBoxIcon::Question:
      return QMessageBox::Question;
    case TBoxIcon::Error:
      return QMessageBox::Critical;
  }
  return QMessageBox::NoIcon;
}

std::function<void(TBoxAnswer)> OnOk(std::function<void()> done) {
  return [done = std::move(done)](TBoxAnswer) {
    if (done)
      done();
  };
}

}  // namespace

void IMessageBoxes::Information(QWidget* parent, const QString& caption, const QString& text,
                                std::function<void()> done) {
  Open(parent, {caption, text, TBoxIcon::Information, TBoxButtons::Ok}, OnOk(std::move(done)));
}

void IMessageBoxes::AskYesNo(QWidget* parent, const QString& caption, const QString& text,
                             TBoxIcon icon, TBoxAnswered answered) {
  Open(parent, {caption, text, icon, TBoxButtons::YesNo}, std::move(answered));
}

void IMessageBoxes::Error(QWidget* parent, const QString& caption, const QString& text,
                          std::function<void()> done) {
  Open(parent, {caption, text, TBoxIcon::Error, TBoxButtons::Ok}, OnOk(std::move(done)));
}

void TQtMessageBoxes::Open(QWidget* parent, const TMessageBox& box, TBoxAnswered answered) {
  const bool yesNo = box.Buttons == TBoxButtons::YesNo;
  auto* dialog =
      new QMessageBox(IconOf(box.Icon), box.Caption, box.Text,
                      yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, parent);
  dialog->setObjectName("MessageBox");
  // Texts come from servers, calendars and mail too: never read as markup.
  dialog->setTextFormat(Qt::PlainText);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  // Yes is the default, as in every question the program asks; Escape and
  // the close box mean No.
  dialog->setDefaultButton(yesNo ? QMessageBox::Yes : QMessageBox::Ok);
  dialog->setEscapeButton(yesNo ? QMessageBox::No : QMessageBox::Ok);
  QObject::connect(dialog, &QMessageBox::finished, dialog,
                   [dialog, yesNo, answered = std::move(answered)](int) {
                     TBoxAnswer answer = TBoxAnswer::Ok;
                     if (yesNo) {
                       answer = dialog->standardButton(dialog->clickedButton()) == QMessageBox::Yes
                                    ? TBoxAnswer::Yes
                                    : TBoxAnswer::No;
                     }
                     if (answered)
                       answered(answer);
                   });
  dialog->open();
}

}  // namespace rn
