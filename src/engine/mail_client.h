// The SMTP and POP3 clients that every send goes through. The real ones speak
// to servers over sockets; tests substitute fakes. The text of a dialogue
// ended by a stop request is kMailStoppedText.
#pragma once

#include <chrono>
#include <stdexcept>
#include <stop_token>
#include <string>

#include "shell/settings.h"

namespace rn {

inline constexpr const char* kMailStoppedText = "stopped because Ravenote is ending";

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

// The most one send may take, its POP3 sign-in and SMTP transfer together.
inline constexpr std::chrono::milliseconds kSendLimit{120000};

// Connect and overall limits for one connection, so a silent server cannot
// hold the engine for ever.
struct TMailTimeouts {
  std::chrono::milliseconds Connect{30000};
  std::chrono::milliseconds Total{kSendLimit};
};

// What ends a mail dialogue before its own limits do: the deadline of the
// whole send, which its POP3 sign-in and its SMTP transfer share, and the
// engine's stop request, which ends a dialogue in progress at once (a reply
// awaited, a connection being made) and fails it with a text that says so.
struct TMailControl {
  std::chrono::steady_clock::time_point Deadline = std::chrono::steady_clock::time_point::max();
  std::stop_token Stop;
};

// Host, user name, password and authentication are client properties, set by
// the settings' setters (ISmtpClientConfig) and again at each send while
// MustSignIn is on.
class ISmtpClient : public ISmtpClientConfig {
 public:
  // One connection: greeting, EHLO, AUTH LOGIN when set, MAIL FROM, RCPT TO,
  // DATA, QUIT; always disconnected at the end. Throws EMailError on failure,
  // with the server's own words where it gave any.
  virtual void Send(const TMailMessage& message, const TMailControl& control = {}) = 0;
};

class IPop3Client {
 public:
  virtual ~IPop3Client() = default;
  // One connection: USER, PASS, STAT, QUIT; always disconnected at the end.
  // Throws EMailError on failure.
  virtual void SignIn(const std::string& host, const std::string& user, const std::string& password,
                      const TMailControl& control = {}) = 0;
};

}  // namespace rn
