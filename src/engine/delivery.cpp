// SendNewEmail, the one send operation, and the pending test-message slot.
#include <exception>

#include "engine/mail_message.h"
#include "engine/processor.h"

namespace rn {

bool TOutlookProcessor::SendNewEmail(const std::string& to, const std::string& subject,
                                     const std::string& body) {
  DebugLog("SendNewemail to " + to);
  std::lock_guard sendLock(sendLock_);
  bool result = true;
  // One deadline for the POP3 sign-in and the SMTP transfer together; a stop
  // request ends either at once.
  const TMailControl control{std::chrono::steady_clock::now() + deps_.SendLimit,
                             stopSource_.get_token()};
  try {
    const TSettingsData settings = Settings();
    const TMailMessage message{settings.FromEmail, to, subject, body};
    CheckMailMessage(message);  // an address that cannot go costs no sign-in either
    if (settings.Pop3Signin) {
      DebugLog("Pop Sign in" + to);
      // A refused sign-in throws here, so no SMTP connection is made.
      deps_.Pop3.SignIn(settings.Pop3Server, settings.UserName, settings.Pass, control);
    }
    if (settings.MustSignIn) {
      DebugLog("Authentication " + to);
      deps_.Smtp.SetLoginAuthentication(true);
      deps_.Smtp.SetUserName(settings.UserName);
      deps_.Smtp.SetPassword(settings.Pass);
    }
    DebugLog("Sending " + to);
    deps_.Smtp.Send(message, control);  // connects, transfers and always disconnects
    DebugLog("Sent " + to);
  } catch (const std::exception& error) {
    result = false;
    if (StopRequested()) {
      // The engine is ending: the log keeps why, and no box holds it up.
      DebugLog(std::string("Error") + error.what());
    } else {
      ShowStatus(error.what());
      deps_.Host.ShowErrorBox(error.what());
    }
  }
  return result;
}

void TOutlookProcessor::SetPendingMessage(const std::string& to, const std::string& subject,
                                          const std::string& body) {
  {
    std::lock_guard lock(pendingLock_);
    pending_.To = to;
    pending_.Subject = subject;
    pending_.Body = body;
    pending_.Pending = true;
  }
  deps_.WakeEvent.Set();
}

void TOutlookProcessor::SendPendingMessage() {
  std::string to, subject, body;
  {
    std::lock_guard lock(pendingLock_);
    if (!pending_.Pending)
      return;
    to = pending_.To;
    subject = pending_.Subject;
    body = pending_.Body;
  }
  DebugLog("Sending Test");
  ShowStatus(subject);
  SendNewEmail(to, subject, body);
  std::lock_guard lock(pendingLock_);
  // One attempt, whatever its outcome. A request that arrived during the send
  // replaced the slot's texts and is kept for the next step.
  if (pending_.To == to && pending_.Subject == subject && pending_.Body == body) {
    pending_.Pending = false;
  }
}

}  // namespace rn
