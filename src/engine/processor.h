// TOutlookProcessor: the engine thread. Each pass scans the calendar and the
// task list, saves the state files and, inside the daily notification window,
// dispatches due notifications and looks for urgent mail; then it waits two or
// five minutes on the wake event.
#pragma once

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

#include "engine/debug_log.h"
#include "engine/engine_host.h"
#include "engine/mail_client.h"
#include "engine/records.h"
#include "engine/state_files.h"
#include "outlook/outlook.h"
#include "platform/clock.h"
#include "shell/settings.h"

namespace rn {

inline constexpr const char* kWakeEventName = "QuarrowmereProcessor";
inline constexpr unsigned kShortWaitMs = 120000;
inline constexpr unsigned kLongWaitMs = 300000;
// Failing passes in a row that are retried at once; past them the loop waits
// its usual time between passes, so a lasting failure cannot make it spin.
inline constexpr int kQuickRetries = 10;

// Everything the engine reaches outside itself, passed in by its owner.
struct TEngineDeps {
  TSettings& Settings;
  IEngineHost& Host;
  IClock& Clock;
  IWakeEvent& WakeEvent;
  IOutlookConnector& Outlook;
  ISmtpClient& Smtp;
  IPop3Client& Pop3;
  std::filesystem::path Folder;  // the program folder
  // The debugger output ("Event:...:Notificed", "Find Task :...").
  std::function<void(const std::string&)> DebugOutput;
  // The most one send may take, POP3 sign-in and SMTP together.
  std::chrono::milliseconds SendLimit = kSendLimit;
};

class TOutlookProcessor {
 public:
  // Builds the engine; the thread starts with Start().
  explicit TOutlookProcessor(TEngineDeps deps);
  // Requests the stop, waits for the thread, then frees the records.
  ~TOutlookProcessor();
  TOutlookProcessor(const TOutlookProcessor&) = delete;
  TOutlookProcessor& operator=(const TOutlookProcessor&) = delete;

  void Start();
  // Called on the engine thread as its last act, however the thread ends, so
  // an owner can sleep until then instead of looking from time to time. Set
  // it before Start().
  void SetFinishedHandler(std::function<void()> handler) { finishedHandler_ = std::move(handler); }
  // Requests the stop and sets the wake event. Any thread.
  void Stop();
  bool StopRequested() const { return terminated_.load(); }
  // Waits for the thread to finish, up to `milliseconds`; true when it has.
  bool WaitFor(unsigned milliseconds);
  // Set at creation, cleared when the thread finishes by any path.
  bool EngineRunning() const { return engineRunning_.load(); }
  // The debug switch.
  void SetDebug(bool on) { log_.Enabled = on; }
  bool Debug() const { return log_.Enabled; }

  // The window's test message: fills the slot, then sets the wake event.
  void SetPendingMessage(const std::string& to, const std::string& subject,
                         const std::string& body);

  // ---- the engine thread's own operations; public so tests can drive them ----
  void Execute();
  void RunPass();  // one guarded pass of the loop (scans, save, window steps)
  void ProcessChecks();
  void WaitForNextPass();
  void ShowStatus(const std::string& text);
  void DebugLog(const std::string& message) { log_.DebugLog(message); }
  TDebugLog& Log() { return log_; }

  // Outlook connection.
  void ConnectOutlook();               // creates a new connection, not yet connected
  void CloseOutlook();                 // asks the application to quit
  IOutlookApplication& Application();  // connects on first use
  void GetCalendarFolder();
  void GetTaskFolder();
  void GetInboxFolder();

  // State files.
  void LoadAll();
  void SaveAll();
  void LoadNotify();
  void LoadTasks();
  void LoadEmail();
  void SaveNotify();
  void SaveTasks();
  void SaveEmail();

  // Dispatch.
  void HandleNotify();
  void HandleTaskNotify();
  void MorningFirstMeeting();
  void EveningFirstMeeting();
  void NotifyEvent(const TEventItem& meeting);
  void NotifyEventWithPrefix(const TEventItem& meeting, const std::string& prefix);
  void NotifyTask(const TTaskEvent& task);

  // Delivery.
  bool SendNewEmail(const std::string& to, const std::string& subject, const std::string& body);
  void SendPendingMessage();

  // Scans.
  void CheckNewAppointments();
  void CheckNewTasks();
  void CheckUrgentEmail();

  // ---- fields ----
  TDateTime NextCalendarScan;
  TDateTime NextInboxScan;
  TDateTime NextTaskScan;
  int32_t CalendarPosition = 0;
  int32_t TaskPosition = 0;
  bool Changed = false;
  TDateTime NextMorningMessage;
  TDateTime NextEveningMessage;
  int PassCounter = 0;  // in-window passes, modulo 5, for the urgent-mail scan
  int FailedPasses() const { return failedPasses_; }  // failing passes in a row

  TEventList Meetings;
  TTaskList Tasks;
  TEmailList Emails;

  std::shared_ptr<IMAPIFolder> CalendarFolder;
  std::shared_ptr<IMAPIFolder> TaskFolder;
  std::shared_ptr<IMAPIFolder> InboxFolder;

  TSettingsData Settings() const { return deps_.Settings.Snapshot(); }
  TEngineDeps& Deps() { return deps_; }

 private:
  // What every message builder does: mark the pass changed, show the subject,
  // send it with an empty body to the destination address.
  void Notify(const std::string& subject);
  std::filesystem::path FileIn(const char* name) const { return deps_.Folder / name; }
  void RunLoop();
  void PassSteps();
  // Runs `steps` under the failure handling of a pass; false when they failed.
  template <class Steps>
  bool GuardPass(Steps steps);

  TEngineDeps deps_;
  TDebugLog log_;
  std::atomic<bool> terminated_{false};
  std::stop_source stopSource_;  // requested with the stop: ends a mail dialogue at once
  std::atomic<bool> engineRunning_{false};
  std::thread thread_;
  std::mutex finishedMutex_;
  std::condition_variable finishedCv_;
  bool finished_ = false;
  std::function<void()> finishedHandler_;

  // What NOTIFY.NTD, TASK.NTD and EMAIL.NTD hold as last read or written.
  TStateFileMemo notifyMemo_, taskMemo_, emailMemo_;

  std::shared_ptr<IOutlookApplication> application_;  // null until first use
  bool connectionOpen_ = false;
  int failedPasses_ = 0;

  std::mutex sendLock_;  // SendLock: one send at a time
  std::mutex pendingLock_;
  struct {
    std::string To, Subject, Body;
    bool Pending = false;
  } pending_;
};

}  // namespace rn
