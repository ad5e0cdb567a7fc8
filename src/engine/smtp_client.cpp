// Placeholder until this file is written.
#include "engine/smtp_client.h"
namespace rn {
TSmtpClient::TSmtpClient(TMailTimeouts timeouts) : timeouts_(timeouts) {}
void TSmtpClient::SetHost(const std::string& host) { std::lock_guard l(mutex_); host_ = host; }
void TSmtpClient::SetUserName(const std::string& user) { std::lock_guard l(mutex_); user_ = user; }
void TSmtpClient::SetPassword(const std::string& p) { std::lock_guard l(mutex_); password_ = p; }
void TSmtpClient::SetLoginAuthentication(bool login) { std::lock_guard l(mutex_); login_ = login; }
void TSmtpClient::Send(const TMailMessage&) { throw EMailError("SMTP client not built yet"); }
}
