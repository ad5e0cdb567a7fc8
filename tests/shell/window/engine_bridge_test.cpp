// The engine-to-window bridge with real threads: status texts coalesce and
// never block the engine; an error box is shown by the window thread while
// the engine thread waits; and an exit requested while the engine waits on
// its box ends once the box is dismissed, with the window thread handling
// events all along. The window thread here is the test's own: it delivers
// posted events in rounds, never in an event loop of its own.
#include "shell/window/engine_bridge.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <thread>

#include "fake_message_boxes.h"
#include "fake_timers.h"
#include "fakes.h"
#include "message_recorder.h"
#include "shell/window/desktop.h"
#include "shell/window/ravenote_form.h"
#include "shell/wiring.h"

namespace rn {
namespace {

using test::DeliverPostedEvents;

// Delivers posted events until `done` holds; false when it never did. The
// limit only keeps a broken build from hanging: nothing here is timed.
template <class Done>
bool DeliverUntil(Done done) {
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!done()) {
    if (std::chrono::steady_clock::now() > giveUp)
      return false;
    QCoreApplication::sendPostedEvents();
    std::this_thread::yield();
  }
  return true;
}

TEST(EngineBridge, StatusTextsFromABurstCoalesceIntoTheLatest) {
  test::TFakeMessageBoxes boxes;
  std::vector<QString> shown;
  TEngineBridge bridge(boxes, "Ravenote", [&](const QString& text) { shown.push_back(text); });
  std::thread engine([&] {
    for (int i = 0; i < 5000; ++i)
      bridge.ShowStatus("Appointment " + std::to_string(i));
    bridge.ShowStatus("Processor Idle.");
  });
  engine.join();  // the engine never waited for the window
  EXPECT_TRUE(shown.empty()) << "texts are posted";
  DeliverPostedEvents();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown.back(), "Processor Idle.");
}

TEST(EngineBridge, AStatusLineIsOneLine) {
  test::TFakeMessageBoxes boxes;
  QString shown;
  TEngineBridge bridge(boxes, "Ravenote", [&](const QString& text) { shown = text; });
  bridge.ShowStatus("Unable initilize Outlook connection.\r\nPlease verify");
  DeliverPostedEvents();
  EXPECT_EQ(shown, "Unable initilize Outlook connection. Please verify");
}

TEST(EngineBridge, ErrorBoxIsShownByTheWindowThreadWhileTheEngineWaits) {
  test::TFakeMessageBoxes boxes;
  TEngineBridge bridge(boxes, "Ravenote", {});
  std::atomic<bool> returned{false};
  std::thread engine([&] {
    bridge.ShowErrorBox("550 mailbox unavailable\r\nfor 5551234567@txt.example.net");
    returned = true;
  });
  ASSERT_TRUE(DeliverUntil([&] { return boxes.OpenCount() == 1; }));
  EXPECT_EQ(boxes.Last().Box.Text, "550 mailbox unavailable\nfor 5551234567@txt.example.net");
  EXPECT_EQ(boxes.Last().Box.Caption, "Ravenote");
  EXPECT_EQ(boxes.Last().Box.Icon, TBoxIcon::Error);
  DeliverPostedEvents();
  EXPECT_FALSE(returned) << "the engine waits for the dismissal";
  boxes.Answer(TBoxAnswer::Ok);
  engine.join();
  EXPECT_TRUE(returned);
  EXPECT_EQ(bridge.OpenBoxes(), 0);
}

TEST(EngineBridge, ReleasingTheBoxesLetsAWaitingEngineGoOnAndLaterOnesPass) {
  test::TFakeMessageBoxes boxes;
  QString shown;
  TEngineBridge bridge(boxes, "Ravenote", [&](const QString& text) { shown = text; });
  std::thread engine([&] { bridge.ShowErrorBox("first"); });
  ASSERT_TRUE(DeliverUntil([&] { return boxes.OpenCount() == 1; }));
  bridge.ReleaseBoxes();  // the session ends
  engine.join();
  bridge.ShowErrorBox("second");  // returns at once, to the status line
  std::thread later([&] { bridge.ShowErrorBox("third"); });
  later.join();
  DeliverPostedEvents();
  EXPECT_EQ(boxes.Shown().size(), 1u);
  EXPECT_EQ(shown, "third");
}

// An engine on a thread of its own that fails a send (its error box) after a
// burst of status texts, then waits to be stopped.
class TBlockedSendEngine final : public IEngine {
 public:
  explicit TBlockedSendEngine(IEngineHost& host) : host_(host) {}
  ~TBlockedSendEngine() override {
    Stop();
    if (thread_.joinable())
      thread_.join();
  }
  void Start() override {
    thread_ = std::thread([this] {
      for (int i = 0; i < 2000; ++i)
        host_.ShowStatus("Meeting " + std::to_string(i));
      host_.ShowErrorBox("550 mailbox unavailable");
      boxDismissed_ = true;
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return stop_; });
      running_ = false;
      finished_ = true;
      changed_.notify_all();
    });
  }
  void Stop() override {
    std::lock_guard lock(mutex_);
    stop_ = true;
    changed_.notify_all();
  }
  void SetWakeEvent() override {}
  bool EngineRunning() const override { return running_; }
  void SetDebug(bool) override {}
  bool Debug() const override { return true; }
  void SetPendingMessage(const std::string&, const std::string&, const std::string&) override {}
  bool WaitFor(unsigned milliseconds) override {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                             [this] { return finished_; });
  }

  std::atomic<bool> boxDismissed_{false};

 private:
  IEngineHost& host_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stop_ = false;
  bool finished_ = false;
  std::atomic<bool> running_{true};
};

class TNoDesktop final : public IDesktop {
 public:
  bool TrayAvailable() override { return true; }
  bool OpenUrl(const QUrl&) override { return true; }
  bool RunDetached(const QString&, const QStringList&) override { return true; }
};

TEST(EngineBridgeUnderLoad, ExitWhileTheEngineWaitsOnItsBoxEndsOnceTheBoxIsDismissed) {
  test::TempFolder folder;
  TWiring wiring(TWiringPaths{folder / "registry.reg", folder / "state", "bridge-load-test"},
                 nullptr);
  wiring.Settings().SetService(8);
  wiring.SaveSettings();
  test::TFakeMessageBoxes boxes;
  test::TFakeTimers timers;
  TNoDesktop desktop;
  TBlockedSendEngine* engine = nullptr;
  IEngineHost* host = nullptr;
  int quits = 0;
  TRavenoteForm form(TFormDeps{wiring,
                               boxes,
                               timers,
                               desktop,
                               THelpBook("/help"),
                               [&](IEngineHost& h) -> std::unique_ptr<IEngine> {
                                 host = &h;
                                 auto made = std::make_unique<TBlockedSendEngine>(h);
                                 engine = made.get();
                                 return made;
                               },
                               {},
                               [&] { ++quits; },
                               [](const std::string&) {}});
  form.show();
  DeliverPostedEvents();
  ASSERT_TRUE(engine);

  // The engine's send fails: its box is up, the engine thread waits on it.
  ASSERT_TRUE(DeliverUntil([&] { return boxes.OpenCount() == 1; }));
  EXPECT_EQ(boxes.Last().Box.Text, "550 mailbox unavailable");
  DeliverPostedEvents();
  EXPECT_EQ(form.StatusText(), "Meeting 1999");

  // Status texts keep coming from another thread while the box is up.
  std::atomic<bool> flooding{true};
  std::thread flood([&] {
    for (int i = 0; flooding; ++i)
      host->ShowStatus("Checking for current notifications. " + std::to_string(i));
  });
  ASSERT_TRUE(DeliverUntil([&] { return form.StatusText().startsWith("Checking"); }));

  // The user exits meanwhile.
  form.BringForward();
  boxes.SetNextAnswer(TBoxAnswer::Yes);
  form.close();
  EXPECT_EQ(form.StopSequence().Step(), TStopSequence::TStep::Waiting);
  timers["ExitWait"].Fire();  // 3000 ms pass: now the destruction's wait
  for (int round = 0; round < 200; ++round) {
    QCoreApplication::sendPostedEvents();
    timers["DestroyWait"].Fire();
  }
  EXPECT_EQ(quits, 0) << "the engine still waits on its box";
  EXPECT_FALSE(engine->boxDismissed_);
  EXPECT_EQ(form.StatusText(), kShuttingDown) << "the end's text stays";
  EXPECT_EQ(boxes.OpenCount(), 1u) << "and the box can still be answered";

  boxes.Answer(TBoxAnswer::Ok);
  EXPECT_TRUE(DeliverUntil([&] {
    timers["DestroyWait"].Fire();
    return quits == 1;
  }));
  EXPECT_EQ(form.Engine(), nullptr);
  flooding = false;
  flood.join();
  DeliverPostedEvents();
  EXPECT_EQ(form.StatusText(), kShuttingDown);
}

}  // namespace
}  // namespace rn
