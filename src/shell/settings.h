// The user's settings: one TSettings record, persisted under
// Software\Quarrowmere\Ravenote in the registry file.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <utility>

#include "platform/datetime.h"
#include "platform/registry.h"

namespace rn {

inline constexpr const char* kRegistryKey = "Software\\Quarrowmere\\Ravenote";
inline constexpr const char* kSettingsVersion = "01.01.00.005";

// The seven notification switches, in the order of the tray window's commands.
enum class TSwitch {
  MeetingNotify,
  MorningNotify,
  EveningNotify,
  TaskNotify,
  TaskPreNotify,
  TaskReminder,
  UrgentEmail
};

// What the settings need of the window that owns them. The tray window
// implements it with Qt; ravenoted on the console.
class ISettingsHost {
 public:
  virtual ~ISettingsHost() = default;
  virtual void ShowWelcome(const std::string& text) = 0;        // modal information box
  virtual void ShowRegistryError(const std::string& text) = 0;  // plain message box
  virtual void PostOpenWizard() = 0;                            // WM_OPEN_WIZARD
  virtual int ScreenWidth() = 0;
  virtual int ScreenHeight() = 0;
  virtual int WindowTop() = 0;
  virtual int WindowLeft() = 0;
  virtual void SetWindowTop(int top) = 0;
  virtual void SetWindowLeft(int left) = 0;
  virtual void SetSwitchChecked(TSwitch which, bool checked) = 0;
};

// The SMTP client properties that the setters of Server, UserName, Pass and
// MustSignIn carry into the client.
class ISmtpClientConfig {
 public:
  virtual ~ISmtpClientConfig() = default;
  virtual void SetHost(const std::string& host) = 0;
  virtual void SetUserName(const std::string& user) = 0;
  virtual void SetPassword(const std::string& password) = 0;
  virtual void SetLoginAuthentication(bool login) = 0;
};

// The plain field values; a copy is what the engine works from.
struct TSettingsData {
  bool MeetingNotify = false;
  bool MorningNotify = false;
  bool EveningNotify = false;
  bool TaskNotify = false;
  bool TaskPreNotify = false;
  bool TaskReminder = false;
  bool UrgentEmail = false;
  int32_t Top = 0;
  int32_t Left = 0;
  int32_t TaskRemindPeriod = 0;
  std::string Pin;
  TDateTime EarlyTime = 0;
  TDateTime LateTime = 0;
  uint8_t Service = 0;
  std::string CustomAddr;
  std::string CustomEmail;
  std::string Server;
  std::string UserName;
  std::string Pass;
  bool MustSignIn = false;
  bool Pop3Signin = false;
  std::string Pop3Server;
  std::string FromEmail;
};

std::string ScramblePassword(const std::string& text);
std::string UnscramblePassword(const std::string& text);

class TSettings {
 public:
  // Both may be null (tests, or before the window exists); they can be set later.
  explicit TSettings(ISettingsHost* host = nullptr, ISmtpClientConfig* smtp = nullptr);

  void SetHost(ISettingsHost* host);
  ISettingsHost* Host() const;
  void SetSmtpClient(ISmtpClientConfig* smtp);

  // Reads the key; first run when Version is missing or different.
  void LoadSettings(const TRegistry& registry);
  // Writes the record and Version; throws ERegistryError when the write fails.
  void SaveSettings(TRegistry& registry);
  // The same, with other keys of the file changed in the same replacement of
  // the file: all are saved, or none.
  void SaveSettings(TRegistry& registry, const TRegistry::TKeyChanges& alongside);
  bool SettingsLoaded() const;

  // A consistent copy of every field, taken under the settings lock.
  TSettingsData Snapshot() const;

  void SetMeetingNotify(bool value);
  void SetMorningNotify(bool value);
  void SetEveningNotify(bool value);
  void SetTaskNotify(bool value);
  void SetTaskPreNotify(bool value);
  void SetTaskReminder(bool value);
  void SetUrgentEmail(bool value);
  void SetSwitch(TSwitch which, bool value);
  void SetTop(int32_t value);
  void SetLeft(int32_t value);
  void SetTaskRemindPeriod(int32_t value);
  void SetPin(const std::string& value);
  void SetEarlyTime(TDateTime value);
  void SetLateTime(TDateTime value);
  void SetService(uint8_t value);
  void SetCustomAddr(const std::string& value);
  void SetCustomEmail(const std::string& value);
  void SetServer(const std::string& value);
  void SetUserName(const std::string& value);
  void SetPass(const std::string& value);
  void SetMustSignIn(bool value);
  void SetPop3Signin(bool value);
  void SetPop3Server(const std::string& value);
  void SetFromEmail(const std::string& value);

 private:
  struct TListeners {
    ISettingsHost* Host;
    ISmtpClientConfig* Smtp;
  };
  // Stores one field under the lock and returns whom to tell about it.
  template <class T, class V>
  TListeners Store(T TSettingsData::*field, V&& value) {
    std::lock_guard l(lock_);
    data_.*field = std::forward<V>(value);
    return {host_, smtp_};
  }

  mutable std::recursive_mutex lock_;  // the settings lock
  TSettingsData data_;
  bool settingsLoaded_ = false;
  ISettingsHost* host_;
  ISmtpClientConfig* smtp_;
};

}  // namespace rn
