// The settings record: its load from and save to the registry key, its
// setters (which also reach the tray window and the SMTP client) and the
// password scrambling of the stored Pass value.
#include "shell/settings.h"

#include <cmath>

#include "platform/registry.h"

namespace rn {
namespace {

constexpr const char* kWelcomeText =
    "Welcome To Ravenote. You must complete\r\nthe configuration at this time.";
constexpr const char* kReadErrorText = "Error Reading Registry";
constexpr int kScrambleShift = 21;
constexpr uint8_t kDefaultService = 4;
constexpr int32_t kFirstRunRemindPeriod = -1;
constexpr int32_t kDefaultRemindPeriod = 2;  // daily
constexpr int kScreenMargin = 20;

TDateTime DefaultEarlyTime() {
  return EncodeTime(7, 0);
}
TDateTime DefaultLateTime() {
  return EncodeTime(19, 0);
}

bool ReadBool(const TRegKey& key, const char* name) {
  return key.ReadDword(name) != 0;
}
int32_t ReadInt(const TRegKey& key, const char* name) {
  return static_cast<int32_t>(key.ReadDword(name));
}

// A time that is not a number cannot be a time of day; it reads as a failure
// so that the window falls back to its defaults.
TDateTime ReadTime(const TRegKey& key, const char* name) {
  const double value = key.ReadDouble(name);
  if (!std::isfinite(value))
    throw ERegistryError("registry value " + std::string(name) + " is not a time");
  return value;
}

std::string ShiftBytes(const std::string& text, int shift) {
  std::string out(text.rbegin(), text.rend());
  for (char& c : out)
    c = static_cast<char>(static_cast<uint8_t>(c) + shift);
  return out;
}

}  // namespace

std::string ScramblePassword(const std::string& text) {
  return ShiftBytes(text, kScrambleShift);
}

std::string UnscramblePassword(const std::string& text) {
  return ShiftBytes(text, -kScrambleShift);
}

TSettings::TSettings(ISettingsHost* host, ISmtpClientConfig* smtp) : host_(host), smtp_(smtp) {}

void TSettings::SetHost(ISettingsHost* host) {
  std::lock_guard l(lock_);
  host_ = host;
}

ISettingsHost* TSettings::Host() const {
  std::lock_guard l(lock_);
  return host_;
}

void TSettings::SetSmtpClient(ISmtpClientConfig* smtp) {
  std::lock_guard l(lock_);
  smtp_ = smtp;
}

bool TSettings::SettingsLoaded() const {
  std::lock_guard l(lock_);
  return settingsLoaded_;
}

TSettingsData TSettings::Snapshot() const {
  std::lock_guard l(lock_);
  return data_;
}

void TSettings::LoadSettings(const TRegistry& registry) {
  ISettingsHost* host;
  {
    std::lock_guard l(lock_);
    settingsLoaded_ = false;
    host = host_;
  }

  // A file that cannot be read or parsed is shown and left alone: neither the
  // first-run path nor a later save may replace what it holds.
  TRegKey key;
  try {
    key = registry.OpenKey(kRegistryKey);
  } catch (const ERegistryError& e) {
    if (host)
      host->ShowRegistryError(std::string(kReadErrorText) + "\n" + e.what());
    return;
  }

  std::string version;
  try {
    version = key.ReadString("Version");
  } catch (const ERegistryError&) {
    version.clear();  // a Version of another type is no current Version either
  }
  if (version != kSettingsVersion) {
    if (host) {
      host->ShowWelcome(kWelcomeText);
      host->PostOpenWizard();
    }
    SetService(kDefaultService);
    SetLateTime(DefaultLateTime());
    SetEarlyTime(DefaultEarlyTime());
    SetTaskRemindPeriod(kFirstRunRemindPeriod);
    return;
  }

  // The main group, read through the setters; the first failure ends the
  // load with the fields read so far.
  try {
    SetMeetingNotify(ReadBool(key, "MeetingNotify"));
    SetMorningNotify(ReadBool(key, "MorningNotify"));
    SetEveningNotify(ReadBool(key, "EveningNotify"));
    SetTaskNotify(ReadBool(key, "TaskNotify"));
    SetTaskPreNotify(ReadBool(key, "TaskPreNotify"));
    SetTaskReminder(ReadBool(key, "TaskReminder"));
    SetUrgentEmail(ReadBool(key, "UrgentEmail"));
    SetTop(ReadInt(key, "Top"));
    SetLeft(ReadInt(key, "Left"));
    SetPin(key.ReadString("Pin"));
    SetCustomAddr(key.ReadString("CustomAddr"));
    SetCustomEmail(key.ReadString("CustomEmail"));
    SetServer(key.ReadString("Server"));
    SetUserName(key.ReadString("UserName"));
    SetPass(UnscramblePassword(key.ReadString("Pass")));
    SetMustSignIn(ReadBool(key, "MustSignIn"));
    SetPop3Server(key.ReadString("Pop3Server"));
    SetFromEmail(key.ReadString("FromEmail"));
  } catch (const ERegistryError& e) {
    // The box's text, then the value at fault on a line of its own.
    if (host)
      host->ShowRegistryError(std::string(kReadErrorText) + "\n" + e.what());
    return;
  }

  // The guarded reads, each with its own fallback.
  try {
    SetPop3Signin(ReadBool(key, "Pop3Signin"));
  } catch (const ERegistryError&) {
    // the previous value stays
  }
  try {
    SetService(static_cast<uint8_t>(key.ReadDword("Service")));
  } catch (const ERegistryError&) {
    SetService(kDefaultService);
  }
  try {
    SetEarlyTime(ReadTime(key, "EarlyTime"));
    SetLateTime(ReadTime(key, "LateTime"));
  } catch (const ERegistryError&) {
    SetLateTime(DefaultLateTime());
    SetEarlyTime(DefaultEarlyTime());
  }
  try {
    SetTaskRemindPeriod(ReadInt(key, "TaskRemindPeriod"));
  } catch (const ERegistryError&) {
    SetTaskRemindPeriod(kDefaultRemindPeriod);
  }

  // Keep the window on the screen it opens on.
  if (host) {
    const int height = host->ScreenHeight();
    const int width = host->ScreenWidth();
    const TSettingsData now = Snapshot();
    if (height < now.Top)
      SetTop(height - kScreenMargin);
    if (width < now.Left)
      SetLeft(width - kScreenMargin);
  }

  std::lock_guard l(lock_);
  settingsLoaded_ = true;
}

void TSettings::SaveSettings(TRegistry& registry) {
  SaveSettings(registry, {});
}

void TSettings::SaveSettings(TRegistry& registry, const TRegistry::TKeyChanges& alongside) {
  ISettingsHost* host;
  TSettingsData data;
  {
    std::lock_guard l(lock_);
    host = host_;
  }
  // The window's own position is what is saved; the record follows it.
  if (host) {
    const int top = host->WindowTop();
    const int left = host->WindowLeft();
    std::lock_guard l(lock_);
    data_.Top = top;
    data_.Left = left;
  }
  data = Snapshot();

  // The whole key is written at once: a failure leaves the file as it was.
  TRegistry::TKeyChanges changes;
  changes.emplace_back(kRegistryKey, [&data](TRegKey& key) {
    key.WriteString("Version", kSettingsVersion);
    key.WriteDword("MeetingNotify", data.MeetingNotify);
    key.WriteDword("MorningNotify", data.MorningNotify);
    key.WriteDword("EveningNotify", data.EveningNotify);
    key.WriteDword("TaskNotify", data.TaskNotify);
    key.WriteDword("TaskPreNotify", data.TaskPreNotify);
    key.WriteDword("TaskReminder", data.TaskReminder);
    key.WriteDword("UrgentEmail", data.UrgentEmail);
    key.WriteDword("Top", static_cast<uint32_t>(data.Top));
    key.WriteDword("Left", static_cast<uint32_t>(data.Left));
    key.WriteDword("TaskRemindPeriod", static_cast<uint32_t>(data.TaskRemindPeriod));
    key.WriteString("Pin", data.Pin);
    key.WriteDouble("EarlyTime", data.EarlyTime);
    key.WriteDouble("LateTime", data.LateTime);
    key.WriteDword("Service", data.Service);
    key.WriteString("CustomAddr", data.CustomAddr);
    key.WriteString("CustomEmail", data.CustomEmail);
    key.WriteString("Server", data.Server);
    key.WriteString("UserName", data.UserName);
    // A scrambled password may hold a zero byte (235 + 21); the registry file
    // stores such a text in its hex form, so it comes back whole.
    key.WriteString("Pass", ScramblePassword(data.Pass));
    key.WriteDword("MustSignIn", data.MustSignIn);
    key.WriteDword("Pop3Signin", data.Pop3Signin);
    key.WriteString("Pop3Server", data.Pop3Server);
    key.WriteString("FromEmail", data.FromEmail);
  });
  changes.insert(changes.end(), alongside.begin(), alongside.end());
  registry.UpdateKeys(changes);
}

// Each setter stores its field under the lock, then tells the window or the
// SMTP client outside it, so a slow window never holds up the engine.

void TSettings::SetSwitch(TSwitch which, bool value) {
  bool* field = nullptr;
  ISettingsHost* host;
  {
    std::lock_guard l(lock_);
    switch (which) {
      case TSwitch::MeetingNotify:
        field = &data_.MeetingNotify;
        break;
      case TSwitch::MorningNotify:
        field = &data_.MorningNotify;
        break;
      case TSwitch::EveningNotify:
        field = &data_.EveningNotify;
        break;
      case TSwitch::TaskNotify:
        field = &data_.TaskNotify;
        break;
      case TSwitch::TaskPreNotify:
        field = &data_.TaskPreNotify;
        break;
      case TSwitch::TaskReminder:
        field = &data_.TaskReminder;
        break;
      case TSwitch::UrgentEmail:
        field = &data_.UrgentEmail;
        break;
    }
    if (!field)
      return;
    *field = value;
    host = host_;
  }
  if (host)
    host->SetSwitchChecked(which, value);
}

void TSettings::SetMeetingNotify(bool value) {
  SetSwitch(TSwitch::MeetingNotify, value);
}
void TSettings::SetMorningNotify(bool value) {
  SetSwitch(TSwitch::MorningNotify, value);
}
void TSettings::SetEveningNotify(bool value) {
  SetSwitch(TSwitch::EveningNotify, value);
}
void TSettings::SetTaskNotify(bool value) {
  SetSwitch(TSwitch::TaskNotify, value);
}
void TSettings::SetTaskPreNotify(bool value) {
  SetSwitch(TSwitch::TaskPreNotify, value);
}
void TSettings::SetTaskReminder(bool value) {
  SetSwitch(TSwitch::TaskReminder, value);
}
void TSettings::SetUrgentEmail(bool value) {
  SetSwitch(TSwitch::UrgentEmail, value);
}

void TSettings::SetTop(int32_t value) {
  if (auto to = Store(&TSettingsData::Top, value); to.Host)
    to.Host->SetWindowTop(value);
}

void TSettings::SetLeft(int32_t value) {
  if (auto to = Store(&TSettingsData::Left, value); to.Host)
    to.Host->SetWindowLeft(value);
}

void TSettings::SetTaskRemindPeriod(int32_t value) {
  Store(&TSettingsData::TaskRemindPeriod, value);
}
void TSettings::SetPin(const std::string& value) {
  Store(&TSettingsData::Pin, value);
}
void TSettings::SetEarlyTime(TDateTime value) {
  Store(&TSettingsData::EarlyTime, value);
}
void TSettings::SetLateTime(TDateTime value) {
  Store(&TSettingsData::LateTime, value);
}
void TSettings::SetService(uint8_t value) {
  Store(&TSettingsData::Service, value);
}
void TSettings::SetCustomAddr(const std::string& value) {
  Store(&TSettingsData::CustomAddr, value);
}
void TSettings::SetCustomEmail(const std::string& value) {
  Store(&TSettingsData::CustomEmail, value);
}

void TSettings::SetServer(const std::string& value) {
  if (auto to = Store(&TSettingsData::Server, value); to.Smtp)
    to.Smtp->SetHost(value);
}

void TSettings::SetUserName(const std::string& value) {
  if (auto to = Store(&TSettingsData::UserName, value); to.Smtp)
    to.Smtp->SetUserName(value);
}

void TSettings::SetPass(const std::string& value) {
  if (auto to = Store(&TSettingsData::Pass, value); to.Smtp)
    to.Smtp->SetPassword(value);
}

void TSettings::SetMustSignIn(bool value) {
  if (auto to = Store(&TSettingsData::MustSignIn, value); to.Smtp)
    to.Smtp->SetLoginAuthentication(value);
}

void TSettings::SetPop3Signin(bool value) {
  Store(&TSettingsData::Pop3Signin, value);
}
void TSettings::SetPop3Server(const std::string& value) {
  Store(&TSettingsData::Pop3Server, value);
}
void TSettings::SetFromEmail(const std::string& value) {
  Store(&TSettingsData::FromEmail, value);
}

}  // namespace rn
