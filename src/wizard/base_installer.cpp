// The sequencer's run, page placement and the base protocol.
#include "wizard/base_installer.h"

#include <QGuiApplication>
#include <QLayout>
#include <QWidget>

#include "wizard/generic_frame.h"
#include "wizard/main_form.h"
#include "wizard/message_boxes.h"

namespace rn {

TBaseInstaller::~TBaseInstaller() = default;

void TBaseInstaller::StartRun() {
  TMainForm* host = wizardHost_;
  if (!host)
    return;
  finished_ = false;
  CreatePages();
  QGuiApplication::setApplicationDisplayName(host->windowTitle());
  PlacePage(imagePage_, host->ImagePanel());
  ShowPage(FirstPage());
}

void TBaseInstaller::ShowPage(TGenericFrame* page) {
  TMainForm* host = wizardHost_;
  if (!host || !page)
    return;
  SetStatusText(QString());
  if (currentPage_ && currentPage_ != page)
    TakeOut(currentPage_);
  PlacePage(page, host->MainPanel());
  currentPage_ = page;
  page->PageShown();
  page->KeepFocus();
}

void TBaseInstaller::PlacePage(QWidget* frame, QWidget* panel) {
  if (!frame || !panel)
    return;
  if (frame->parentWidget() != panel) {
    TakeOut(frame);
    frame->setParent(panel);
    panel->layout()->addWidget(frame);
  }
  frame->show();
}

void TBaseInstaller::TakeOut(QWidget* frame) {
  // Out of its panel the frame is a hidden window of its own: it stays alive
  // and keeps its control values.
  if (frame->parentWidget())
    frame->setParent(nullptr);
  frame->hide();
}

void TBaseInstaller::HostCreated(TMainForm* host) {
  wizardHost_ = host;
}

void TBaseInstaller::HostDestroyed(TMainForm* host) {
  for (const auto& frame : frames_) {
    if (host->isAncestorOf(frame.get()))
      TakeOut(frame.get());
  }
  if (wizardHost_ == host)
    wizardHost_ = nullptr;
}

QString TBaseInstaller::GetStatusText() {
  return wizardHost_ ? wizardHost_->StatusText() : QString();
}

void TBaseInstaller::SetStatusText(const QString& text) {
  TMainForm* host = wizardHost_;
  if (!host)
    return;
  const std::u32string chars = text.toStdU32String();
  if (IsErrorStatusText(chars)) {
    host->SetStatusLine(QString());
    host->MessageBoxes().Error(host, QStringLiteral("Error"),
                               QString::fromStdU32String(ErrorBoxText(chars)));
    return;
  }
  host->SetStatusLine(text);
}

void TBaseInstaller::Cancel() {
  if (wizardHost_)
    wizardHost_->close();
}

void TBaseInstaller::Finish() {
  finished_ = true;
  if (wizardHost_)
    wizardHost_->close();
}

void TBaseInstaller::ShowFailure(const QString& text) {
  if (TMainForm* host = wizardHost_)
    host->MessageBoxes().Error(host, host->windowTitle(), text);
}

void TBaseInstaller::OpenHelp(int context) {
  if (wizardHost_)
    wizardHost_->OpenHelp(context);
}

}  // namespace rn
