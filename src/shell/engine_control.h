// What the tray window needs of the notification engine, as one narrow
// interface: the window's tests run against a fake engine without a thread.
#pragma once

#include <string>

namespace rn {

class TSettings;

// The test message of the window's Settings menu and of ravenoted --test-message.
inline constexpr const char* kTestMessageSubject = "Ravenote Test message";
inline constexpr const char* kTestMessageBody =
    "If you got this message Ravenote Notification is working.";

// How long the program's end waits for the engine's thread before destroying
// the engine (whose destruction waits for the rest): the user's exit up to
// kExitWaitMs; the end of the session up to kSessionEndPauses pauses of
// kSessionEndPauseMs while the engine is running, setting the wake event
// after each.
inline constexpr unsigned kExitWaitMs = 3000;
inline constexpr unsigned kSessionEndPauseMs = 54;
inline constexpr int kSessionEndPauses = 11;

class IEngine {
 public:
  // Stops the engine and waits until its thread has finished.
  virtual ~IEngine() = default;

  // Starts the engine's thread.
  virtual void Start() = 0;
  // Requests the stop and sets the wake event; returns at once.
  virtual void Stop() = 0;
  // Ends the engine's current wait at once.
  virtual void SetWakeEvent() = 0;
  // Set when the engine is created, cleared when its thread finishes.
  virtual bool EngineRunning() const = 0;
  // The debug switch of the diagnostic log.
  virtual void SetDebug(bool on) = 0;
  virtual bool Debug() const = 0;
  // Hands the engine a message to send at its next step and wakes it.
  virtual void SetPendingMessage(const std::string& to, const std::string& subject,
                                 const std::string& body) = 0;
  // Waits up to `milliseconds` for the thread to finish; true when it has
  // (or never started).
  virtual bool WaitFor(unsigned milliseconds) = 0;
};

// The window's test message: to the destination address of the settings as
// they are now, handed to the engine, which is woken to send it.
void RequestTestMessage(IEngine& engine, const TSettings& settings);

}  // namespace rn
