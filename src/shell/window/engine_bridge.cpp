#include "shell/window/engine_bridge.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QThread>

#include "wizard/message_boxes.h"

namespace rn {
namespace {

const QEvent::Type kStatusEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type kBoxEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// A status line holds one line; a box shows the text's own lines.
QString StatusLine(const std::string& text) {
  QString line = QString::fromStdString(text);
  line.replace(QLatin1String("\r\n"), QLatin1String(" "));
  line.replace(QChar('\r'), QChar(' '));
  line.replace(QChar('\n'), QChar(' '));
  return line;
}

QString BoxText(const std::string& text) {
  QString box = QString::fromStdString(text);
  box.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  return box;
}

}  // namespace

TEngineBridge::TEngineBridge(IMessageBoxes& boxes, QString caption, TShowStatus showStatus)
    : boxes_(boxes), caption_(std::move(caption)), showStatus_(std::move(showStatus)) {
  setObjectName("EngineBridge");
}

TEngineBridge::~TEngineBridge() {
  ReleaseBoxes();
}

void TEngineBridge::ShowStatus(const std::string& text) {
  std::lock_guard lock(mutex_);
  latestStatus_ = text;
  if (statusPosted_ || muted_)
    return;
  statusPosted_ = true;
  QCoreApplication::postEvent(this, new QEvent(kStatusEvent));
}

void TEngineBridge::ShowErrorBox(const std::string& text) {
  std::unique_lock lock(mutex_);
  if (released_) {
    lock.unlock();
    ShowStatus(text);
    return;
  }
  if (QThread::currentThread() == thread()) {
    lock.unlock();
    OpenBox(text, nullptr);
    return;
  }
  auto request = std::make_shared<TBoxRequest>(TBoxRequest{text});
  boxesAsked_.push_back(request);
  QCoreApplication::postEvent(this, new QEvent(kBoxEvent));
  answered_.wait(lock, [&] { return request->Answered || released_; });
}

void TEngineBridge::MuteStatus() {
  std::lock_guard lock(mutex_);
  muted_ = true;
}

void TEngineBridge::ReleaseBoxes() {
  std::lock_guard lock(mutex_);
  released_ = true;
  answered_.notify_all();
}

bool TEngineBridge::event(QEvent* event) {
  if (event->type() == kStatusEvent) {
    DeliverStatus();
    return true;
  }
  if (event->type() == kBoxEvent) {
    DeliverBoxes();
    return true;
  }
  return QObject::event(event);
}

void TEngineBridge::DeliverStatus() {
  std::string text;
  {
    std::lock_guard lock(mutex_);
    statusPosted_ = false;
    if (muted_)
      return;
    text = latestStatus_;
  }
  if (showStatus_)
    showStatus_(StatusLine(text));
}

void TEngineBridge::DeliverBoxes() {
  std::deque<std::shared_ptr<TBoxRequest>> asked;
  {
    std::lock_guard lock(mutex_);
    asked.swap(boxesAsked_);
  }
  for (auto& request : asked) {
    const std::string text = request->Text;  // written before it was queued
    OpenBox(text, std::move(request));
  }
}

void TEngineBridge::OpenBox(const std::string& text, std::shared_ptr<TBoxRequest> request) {
  ++openBoxes_;
  boxes_.Error(nullptr, caption_, BoxText(text),
               [bridge = QPointer<TEngineBridge>(this), request = std::move(request)] {
                 if (!bridge)
                   return;
                 --bridge->openBoxes_;
                 if (!request)
                   return;
                 std::lock_guard lock(bridge->mutex_);
                 request->Answered = true;
                 bridge->answered_.notify_all();
               });
}

}  // namespace rn
