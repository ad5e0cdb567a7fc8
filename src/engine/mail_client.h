// The SMTP and POP3 clients that every send goes through. The real ones speak
// to servers over sockets; tests substitute fakes.
#pragma once

#include <chrono>
#include <stdexcept>
#include <string>

#include "shell/settings.h"

namespace rn {

class EMailError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TMailMessage {
  std::string From;
  std::string To;
  std::string Subject;
  std::string Body;
};

// Connect and overall limits for one connection, so a silent server cannot
// hold the engine for ever.
struct TMailTimeouts {
  std::chrono::milliseconds Connect{30000};
  std::chrono::milliseconds Total{120000};
};

// Host, user name, password and authentication are client properties, set by
// the settings' setters (ISmtpClientConfig) and again at each send while
// MustSignIn is on.
class ISmtpClient : public ISmtpClientConfig {
 public:
  // One connection: greeting, EHLO, AUTH LOGIN when set, MAIL FROM, RCPT TO,
  // DATA, QUIT; always disconnected at the end. Throws EMailError on failure,
  // with the server's own words where it gave any.
  virtual void Send(const TMailMessage& message) = 0;
};

class IPop3Client {
 public:
  virtual ~IPop3Client() = default;
  // One connection: USER, PASS, STAT, QUIT; always disconnected at the end.
  // Throws EMailError on failure.
  virtual void SignIn(const std::string& host, const std::string& user,
                      const std::string& password) = 0;
};

}  // namespace rn
