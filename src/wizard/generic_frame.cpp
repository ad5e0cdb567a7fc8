// The page base's button row, actions and Enter key.
#include "wizard/generic_frame.h"

#include <QAction>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>
#include <exception>

#include "wizard/base_installer.h"
#include "wizard/controls.h"

namespace rn {
namespace {

constexpr int kButtonPanelHeight = 39;
constexpr int kPanel1Width = 258;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kButtonTop = 5;

// A button that shows its action: caption, enabled and visible follow the
// action, a click executes it.
void BindToAction(QPushButton* button, QAction* action) {
  auto follow = [button, action] {
    button->setText(action->text());
    button->setEnabled(action->isEnabled());
    button->setVisible(action->isVisible());
  };
  follow();
  QObject::connect(action, &QAction::changed, button, follow);
  QObject::connect(button, &QPushButton::clicked, action, &QAction::trigger);
}

QPushButton* MakeButton(QWidget* parent, const char* name, int left) {
  auto* button = new QPushButton(parent);
  button->setObjectName(name);
  button->setGeometry(left, kButtonTop, kButtonWidth, kButtonHeight);
  // Enter belongs to the page's Enter action, not to whichever button has
  // the focus.
  button->setAutoDefault(false);
  return button;
}

QAction* MakeAction(QWidget* page, const char* name, const QString& caption) {
  auto* action = new QAction(caption, page);
  action->setObjectName(name);
  return action;
}

}  // namespace

TGenericFrame::TGenericFrame(TBaseInstaller& installer) : WizardInstaller(installer) {
  setObjectName("TGenericFrame");
  resize(425, 390);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  clientArea_ = new QWidget(this);
  clientArea_->setObjectName("ClientArea");
  layout->addWidget(clientArea_, 1);

  ButtonPanel = new QWidget(this);
  ButtonPanel->setObjectName("ButtonPanel");
  ButtonPanel->setFixedHeight(kButtonPanelHeight);
  layout->addWidget(ButtonPanel);

  HelpButton = MakeButton(ButtonPanel, "HelpButton", 12);
  HelpButton->setText("&Help");
  HelpButton->setProperty(kHelpContextProperty, 0);

  auto* row = new QHBoxLayout(ButtonPanel);
  row->setContentsMargins(0, 0, 0, 0);
  row->addStretch(1);
  Panel1 = new QWidget(ButtonPanel);
  Panel1->setObjectName("Panel1");
  Panel1->setFixedSize(kPanel1Width, kButtonPanelHeight);
  row->addWidget(Panel1);

  BackButton = MakeButton(Panel1, "BackButton", 7);
  NextButton = MakeButton(Panel1, "NextButton", 91);
  CancelButton = MakeButton(Panel1, "CancelButton", 175);

  acBack = MakeAction(this, "acBack", "< &Back");
  acNext = MakeAction(this, "acNext", "&Next >");
  acCancel = MakeAction(this, "acCancel", "Cancel");
  Enter = MakeAction(this, "Enter", "Enter");
  // Only the page that is shown reacts to Enter: the shortcut is live only
  // while the focus is inside this page.
  Enter->setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
  Enter->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  addAction(Enter);

  BindToAction(BackButton, acBack);
  BindToAction(NextButton, acNext);
  BindToAction(CancelButton, acCancel);
  connect(acBack, &QAction::triggered, this, &TGenericFrame::acBackExecute);
  connect(acNext, &QAction::triggered, this, &TGenericFrame::acNextExecute);
  connect(acCancel, &QAction::triggered, this, &TGenericFrame::acCancelExecute);
  connect(Enter, &QAction::triggered, this, &TGenericFrame::EnterExecute);
  connect(HelpButton, &QPushButton::clicked, this, &TGenericFrame::ButtonHelpClick);
}

void TGenericFrame::Loaded() {
  HelpButton->setVisible(HelpButton->property(kHelpContextProperty).toInt() != 0);
  if (!acNext->isVisible())
    BackButton->move(NextButton->pos());
}

void TGenericFrame::ArrangeTabOrder() {
  // Tab goes through the page's own controls first, then the button row.
  // Done while the page is placed: a move into another window reorders the
  // chain of the widgets moved.
  QWidget* last = clientArea_;
  for (QWidget* w = clientArea_->nextInFocusChain(); w && w != window();
       w = w->nextInFocusChain()) {
    if (clientArea_->isAncestorOf(w))
      last = w;
  }
  QWidget* row[] = {HelpButton, BackButton, NextButton, CancelButton};
  for (QWidget* button : row) {
    TabAfter(last, button);
    last = button;
  }
}

void TGenericFrame::DoBack() {
  WizardInstaller.Back();
}

void TGenericFrame::DoNext() {
  WizardInstaller.Next();
}

void TGenericFrame::DoCancel() {
  WizardInstaller.Cancel();
}

void TGenericFrame::PageShown() {
  ArrangeTabOrder();
  if (NextButton->isEnabled())
    NextButton->setFocus();
}

void TGenericFrame::KeepFocus() {
  const QWidget* focus = window()->focusWidget();
  if (focus && isAncestorOf(focus))
    return;
  if (NextButton->isEnabled()) {
    NextButton->setFocus();
    return;
  }
  for (QWidget* w = clientArea_->nextInFocusChain(); w && w != window();
       w = w->nextInFocusChain()) {
    if (isAncestorOf(w) && w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus)) {
      w->setFocus();
      return;
    }
  }
}

void TGenericFrame::RunStep(const std::function<void()>& step) {
  if (!ButtonPanel->isEnabled())
    return;  // a step is running; a second press waits for it
  ButtonPanel->setEnabled(false);
  try {
    step();
  } catch (const std::exception& failure) {
    ButtonPanel->setEnabled(true);
    WizardInstaller.ShowFailure(QString::fromStdString(failure.what()));
    return;
  }
  ButtonPanel->setEnabled(true);
}

void TGenericFrame::acBackExecute() {
  RunStep([this] { DoBack(); });
}

void TGenericFrame::acNextExecute() {
  RunStep([this] { DoNext(); });
}

void TGenericFrame::acCancelExecute() {
  DoCancel();
}

void TGenericFrame::ButtonHelpClick() {
  WizardInstaller.OpenHelp(HelpButton->property(kHelpContextProperty).toInt());
}

void TGenericFrame::EnterExecute() {
  const QWidget* focus = window()->focusWidget();
  if (focus == CancelButton)
    acCancel->trigger();
  else if (focus == HelpButton)
    ButtonHelpClick();
  else if (focus == BackButton)
    acBack->trigger();
  else if (NextButton->isEnabled())
    acNext->trigger();
}

}  // namespace rn
