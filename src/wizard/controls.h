// Controls the wizard's pages share: the time-of-day picker, the radio group
// whose items are replaced when a page is shown, and an option made of a
// check box and the wrapping label beside it.
#pragma once

#include <QGroupBox>
#include <QStringList>
#include <QTimeEdit>
#include <vector>

#include "platform/datetime.h"

class QButtonGroup;
class QCheckBox;
class QGridLayout;
class QLabel;
class QRadioButton;
class QVBoxLayout;

namespace rn {

// A time-of-day picker that keeps a date of its own: set from a setting it
// takes only the setting's time of day, and its value is its whole date-time.
class TTimePicker final : public QTimeEdit {
  Q_OBJECT

 public:
  // `date`: the picker's own date; `hour`: its time in the design.
  TTimePicker(QWidget* parent, const char* name, TDateTime date, int hour);

  TDateTime Value() const;
  // Takes the time of day of `setting`; the picker's date stays.
  void SetTimeOf(TDateTime setting);

 private:
  TDateTime date_;
};

// A group of radio buttons in columns, filled column by column; the items
// can be replaced at any time, and selecting one (by the user or by the
// program) runs OnClick.
class TRadioGroup final : public QGroupBox {
  Q_OBJECT

 public:
  TRadioGroup(QWidget* parent, const char* name, const QString& caption, int columns);

  void SetItems(const QStringList& items);
  int ItemIndex() const;
  // -1 selects nothing.
  void SetItemIndex(int index);
  QRadioButton* Item(int index) const;
  int Count() const { return static_cast<int>(items_.size()); }

  std::function<void()> OnClick;

 private:
  int columns_;
  QGridLayout* grid_;
  QButtonGroup* group_;
  std::vector<QRadioButton*> items_;
};

// A check box without caption and the label that carries its text; clicking
// the label does not change the box.
QCheckBox* AddOption(QVBoxLayout* layout, const char* boxName, const char* labelName,
                     const QString& text);

// A label on a page: wrapping, bold and red as asked.
QLabel* AddLabel(QVBoxLayout* layout, const char* name, const QString& text, bool wrap = true,
                 bool bold = false);

// The text of a memo from the lines of its design: the lines of a paragraph
// flow together, so the words wrap at the memo's width in any font; empty
// (or blank) lines stay as paragraph breaks.
QString MemoText(const std::vector<const char*>& lines);

// Puts `widget` right after `anchor` in the tab order, also when the anchor
// itself takes no focus (a group box, a label).
void TabAfter(QWidget* anchor, QWidget* widget);

// Echoes "%" for every character of a password field.
void EchoPercent(QLineEdit* field);

}  // namespace rn
