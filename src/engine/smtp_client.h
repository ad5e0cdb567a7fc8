// The real SMTP client: libcurl over a fresh connection per send.
#pragma once

#include <mutex>

#include "engine/mail_client.h"

namespace rn {

class TSmtpClient final : public ISmtpClient {
 public:
  explicit TSmtpClient(TMailTimeouts timeouts = {});
  void SetHost(const std::string& host) override;
  void SetUserName(const std::string& user) override;
  void SetPassword(const std::string& password) override;
  void SetLoginAuthentication(bool login) override;
  void Send(const TMailMessage& message, const TMailControl& control = {}) override;

 private:
  TMailTimeouts timeouts_;
  std::mutex mutex_;  // the properties are set from the window thread
  std::string host_, user_, password_;
  bool login_ = false;
};

}  // namespace rn
