// Placeholder until this file is written.
#include "shell/settings.h"
namespace rn {
TSettings::TSettings(ISettingsHost* host, ISmtpClientConfig* smtp) : host_(host), smtp_(smtp) {}
TSettingsData TSettings::Snapshot() const { std::lock_guard l(lock_); return data_; }
void TSettings::SetTaskRemindPeriod(int32_t v) { std::lock_guard l(lock_); data_.TaskRemindPeriod = v; }
}
