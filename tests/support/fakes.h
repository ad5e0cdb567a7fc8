// Fakes shared by the engine's tests: a clock that only moves when told, a
// wake event whose waits move that clock, a host that records what the engine
// shows, and mail clients that record what would have been sent.
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/engine_host.h"
#include "engine/mail_client.h"
#include "platform/clock.h"

namespace rn::test {

class FakeClock : public IClock {
 public:
  explicit FakeClock(TDateTime now = 0) : now_(now) {}
  TDateTime Now() override {
    std::lock_guard l(m_);
    return now_;
  }
  void Sleep(unsigned ms) override { Advance(ms * kOneSecond / 1000.0); }
  void Set(TDateTime now) {
    std::lock_guard l(m_);
    now_ = now;
  }
  void Advance(double days) {
    std::lock_guard l(m_);
    now_ += days;
  }
  std::vector<unsigned> Sleeps;  // not filled by Sleep; for tests that need it

 private:
  std::mutex m_;
  TDateTime now_;
};

// A manual-reset event that never blocks: a wait records its length, moves the
// clock by it (unless the event is set) and calls the optional hook, through
// which a test can set the event, stop the engine or change the settings.
class FakeWakeEvent : public IWakeEvent {
 public:
  explicit FakeWakeEvent(FakeClock* clock = nullptr) : clock_(clock) {}
  void Set() override { set_ = true; }
  void Reset() override { set_ = false; }
  bool Wait(unsigned ms) override {
    Waits.push_back(ms);
    if (OnWait)
      OnWait(ms);
    if (set_)
      return true;
    if (clock_)
      clock_->Advance(ms / 86400000.0);
    return false;
  }
  bool IsSet() const { return set_; }
  std::vector<unsigned> Waits;
  std::function<void(unsigned)> OnWait;

 private:
  FakeClock* clock_;
  std::atomic<bool> set_{false};
};

class RecordingHost : public IEngineHost {
 public:
  void ShowStatus(const std::string& text) override {
    std::lock_guard l(m_);
    Statuses.push_back(text);
  }
  void ShowErrorBox(const std::string& text) override {
    std::lock_guard l(m_);
    Errors.push_back(text);
  }
  std::vector<std::string> Statuses;
  std::vector<std::string> Errors;

 private:
  std::mutex m_;
};

class FakeSmtpClient : public ISmtpClient {
 public:
  void SetHost(const std::string& h) override { Host = h; }
  void SetUserName(const std::string& u) override { UserName = u; }
  void SetPassword(const std::string& p) override { Password = p; }
  void SetLoginAuthentication(bool login) override { Login = login; }
  void Send(const TMailMessage& message, const TMailControl& control = {}) override {
    Events.push_back("smtp");
    Controls.push_back(control);
    if (!FailWith.empty())
      throw EMailError(FailWith);
    Sent.push_back(message);
  }
  std::string Host, UserName, Password;
  bool Login = false;
  std::string FailWith;  // non-empty: every send fails with this text
  std::vector<TMailMessage> Sent;
  std::vector<std::string> Events;     // shared order with the POP3 fake when wired together
  std::vector<TMailControl> Controls;  // what each send was given
};

class FakePop3Client : public IPop3Client {
 public:
  explicit FakePop3Client(std::vector<std::string>* events = nullptr) : events_(events) {}
  void SignIn(const std::string& host, const std::string& user, const std::string& password,
              const TMailControl& control = {}) override {
    if (events_)
      events_->push_back("pop3");
    Controls.push_back(control);
    SignIns.push_back(host + "|" + user + "|" + password);
    if (!FailWith.empty())
      throw EMailError(FailWith);
  }
  std::string FailWith;
  std::vector<std::string> SignIns;
  std::vector<TMailControl> Controls;

 private:
  std::vector<std::string>* events_;
};

// A fresh folder under the system's temporary folder, removed with the object.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

}  // namespace rn::test
