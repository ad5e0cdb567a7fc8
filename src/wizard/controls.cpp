#include "wizard/controls.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QRadioButton>
#include <QTime>
#include <QVBoxLayout>

namespace rn {
namespace {

constexpr int kOptionBoxWidth = 16;
constexpr int kOptionBoxHeight = 41;
constexpr int kOptionLabelWidth = 313;

class TPercentEcho final : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* data) const override {
    if (hint == SH_LineEdit_PasswordCharacter)
      return '%';
    if (hint == SH_LineEdit_PasswordMaskDelay)
      return 0;
    return QProxyStyle::styleHint(hint, option, widget, data);
  }
};

}  // namespace

TTimePicker::TTimePicker(QWidget* parent, const char* name, TDateTime date, int hour)
    : QTimeEdit(parent), date_(DateOf(date)) {
  setObjectName(name);
  setDisplayFormat("HH:mm");
  setTime(QTime(hour, 0));
}

TDateTime TTimePicker::Value() const {
  const QTime t = time();
  return date_ + EncodeTime(t.hour(), t.minute(), t.second(), t.msec());
}

void TTimePicker::SetTimeOf(TDateTime setting) {
  const TDateParts parts = DecodeDateTime(setting);
  setTime(QTime(parts.Hour, parts.Minute, parts.Second, parts.Millisecond));
}

TRadioGroup::TRadioGroup(QWidget* parent, const char* name, const QString& caption, int columns)
    : QGroupBox(caption, parent), columns_(columns) {
  setObjectName(name);
  grid_ = new QGridLayout(this);
  group_ = new QButtonGroup(this);
  group_->setExclusive(true);
  connect(group_, &QButtonGroup::idToggled, this, [this](int, bool checked) {
    if (checked && OnClick)
      OnClick();
  });
}

void TRadioGroup::SetItems(const QStringList& items) {
  for (QRadioButton* item : items_)
    delete item;
  items_.clear();
  const int perColumn = (static_cast<int>(items.size()) + columns_ - 1) / columns_;
  for (int i = 0; i < items.size(); ++i) {
    auto* item = new QRadioButton(items[i], this);
    item->setObjectName(QStringLiteral("Item%1").arg(i));
    group_->addButton(item, i);
    grid_->addWidget(item, i % perColumn, i / perColumn);
    items_.push_back(item);
  }
  // New items take the group's place in the tab order, not the window's end.
  QWidget* previous = this;
  for (QRadioButton* item : items_) {
    TabAfter(previous, item);
    previous = item;
  }
  if (OnClick)
    OnClick();  // nothing is selected now
}

int TRadioGroup::ItemIndex() const {
  return group_->checkedId();
}

void TRadioGroup::SetItemIndex(int index) {
  if (index >= 0 && index < Count()) {
    items_[index]->setChecked(true);
    return;
  }
  if (QAbstractButton* checked = group_->checkedButton()) {
    group_->setExclusive(false);
    checked->setChecked(false);
    group_->setExclusive(true);
  }
  if (OnClick)
    OnClick();
}

QRadioButton* TRadioGroup::Item(int index) const {
  return index >= 0 && index < Count() ? items_[index] : nullptr;
}

QCheckBox* AddOption(QVBoxLayout* layout, const char* boxName, const char* labelName,
                     const QString& text) {
  auto* row = new QHBoxLayout;
  auto* box = new QCheckBox;
  box->setObjectName(boxName);
  box->setFixedSize(kOptionBoxWidth, kOptionBoxHeight);
  box->setAccessibleName(text);
  auto* label = new QLabel(text);
  label->setObjectName(labelName);
  label->setWordWrap(true);
  label->setFixedWidth(kOptionLabelWidth);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  row->addWidget(box, 0, Qt::AlignTop);
  row->addWidget(label, 0, Qt::AlignTop);
  row->addStretch(1);
  layout->addLayout(row);
  return box;
}

QLabel* AddLabel(QVBoxLayout* layout, const char* name, const QString& text, bool wrap, bool bold) {
  auto* label = new QLabel(text);
  label->setObjectName(name);
  label->setWordWrap(wrap);
  if (bold) {
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
  }
  layout->addWidget(label);
  return label;
}

QString MemoText(const std::vector<const char*>& lines) {
  QString text;
  bool inParagraph = false;
  for (const char* line : lines) {
    const QString next = QString::fromUtf8(line);
    if (next.trimmed().isEmpty()) {
      text += '\n';
      inParagraph = false;
      continue;
    }
    if (inParagraph) {
      if (!text.endsWith(' '))
        text += ' ';
    } else if (!text.isEmpty()) {
      text += '\n';
    }
    text += next;
    inParagraph = true;
  }
  return text;
}

void TabAfter(QWidget* anchor, QWidget* widget) {
  // Qt orders only widgets that take focus; the anchor's place in the chain
  // is all that counts, so it takes focus for the moment of the move.
  const Qt::FocusPolicy policy = anchor->focusPolicy();
  if (policy == Qt::NoFocus)
    anchor->setFocusPolicy(Qt::TabFocus);
  QWidget::setTabOrder(anchor, widget);
  anchor->setFocusPolicy(policy);
}

void EchoPercent(QLineEdit* field) {
  auto* style = new TPercentEcho;
  style->setParent(field);
  field->setStyle(style);
  field->setEchoMode(QLineEdit::Password);
}

}  // namespace rn
