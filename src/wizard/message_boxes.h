// Message boxes that never run an event loop of their own: a box is opened
// with QMessageBox::open() and its answer arrives later through a callback.
// Windows get an IMessageBoxes through their constructors; tests pass one
// that records each box and answers as the test has said.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace rn {

enum class TBoxIcon { None, Information, Warning, Question, Error };
enum class TBoxButtons { Ok, YesNo };
enum class TBoxAnswer { Ok, Yes, No };

struct TMessageBox {
  QString Caption;
  QString Text;
  TBoxIcon Icon = TBoxIcon::Information;
  TBoxButtons Buttons = TBoxButtons::Ok;
};

using TBoxAnswered = std::function<void(TBoxAnswer)>;

class IMessageBoxes {
 public:
  virtual ~IMessageBoxes() = default;

  // Shows the box over `parent` (modal to that window; with no parent, to the
  // whole program) and returns at once. `answered`, if given, runs once with
  // the button chosen; closing a Yes/No box without a choice answers No.
  virtual void Open(QWidget* parent, const TMessageBox& box, TBoxAnswered answered) = 0;

  // An information box with OK.
  void Information(QWidget* parent, const QString& caption, const QString& text,
                   std::function<void()> done = {});
  // A question with Yes and No, under a warning or a question icon.
  void AskYesNo(QWidget* parent, const QString& caption, const QString& text, TBoxIcon icon,
                TBoxAnswered answered);
  // An error box with OK.
  void Error(QWidget* parent, const QString& caption, const QString& text,
             std::function<void()> done = {});
};

// The real boxes: QMessageBox, parented to the given window, deleted when
// answered.
class TQtMessageBoxes final : public IMessageBoxes {
 public:
  void Open(QWidget* parent, const TMessageBox& box, TBoxAnswered answered) override;
};

}  // namespace rn
