// The engine's window on the window thread. The engine thread hands its
// status texts and error boxes over here; the window thread shows them.
// A status text never blocks the engine: a burst of them (one per meeting of
// a calendar pass) is coalesced into one update showing the latest text. An
// error box is opened by the window thread while the engine thread waits for
// its dismissal, as the engine's own box would.
#pragma once

#include <QObject>
#include <QString>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "engine/engine_host.h"

namespace rn {

class IMessageBoxes;

class TEngineBridge final : public QObject, public IEngineHost {
 public:
  using TShowStatus = std::function<void(const QString& text)>;

  // Lives on the window thread. `showStatus` puts a text in the status line;
  // boxes are titled `caption`.
  TEngineBridge(IMessageBoxes& boxes, QString caption, TShowStatus showStatus);
  // Releases an engine thread still waiting for its box.
  ~TEngineBridge() override;

  // Any thread; returns at once.
  void ShowStatus(const std::string& text) override;
  // The engine thread: returns when the user has dismissed the box (or the
  // boxes have been released). On the window thread itself it only opens
  // the box, since waiting there would keep the box from ever answering.
  void ShowErrorBox(const std::string& text) override;

  // From now on engine texts no longer reach the status line, so the
  // window's own last text (the program's end) stays.
  void MuteStatus();
  // The session is ending: a waiting engine thread goes on at once, and
  // later error boxes go to the status line without waiting for anyone.
  void ReleaseBoxes();

  // Error boxes open now (window thread).
  int OpenBoxes() const { return openBoxes_; }

 protected:
  bool event(QEvent* event) override;

 private:
  struct TBoxRequest {
    std::string Text;
    bool Answered = false;  // under mutex_
  };
  void DeliverStatus();
  void DeliverBoxes();
  // Opens the box; its dismissal answers `request` (if any).
  void OpenBox(const std::string& text, std::shared_ptr<TBoxRequest> request);

  IMessageBoxes& boxes_;
  QString caption_;
  TShowStatus showStatus_;
  int openBoxes_ = 0;  // window thread

  std::mutex mutex_;
  std::condition_variable answered_;
  std::string latestStatus_;
  bool statusPosted_ = false;
  bool muted_ = false;
  bool released_ = false;
  // Boxes the engine thread has asked for, not yet opened. Everything the
  // threads share passes through mutex_; the posted events carry nothing.
  std::deque<std::shared_ptr<TBoxRequest>> boxesAsked_;
};

}  // namespace rn
