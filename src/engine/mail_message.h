// The e-mail message of one send, built with GMime: From, To, Subject, Date,
// Message-ID, MIME-Version, Content-Type text/plain; charset=utf-8, CRLF line
// ends. GMime stays behind this header.
#pragma once

#include <string>

#include "engine/mail_client.h"

namespace rn {

// The subject as it goes into the message: CR, LF and every other control
// character become spaces, so no text of a calendar, task or mail can end the
// Subject header and start a header of its own.
std::string SafeSubject(const std::string& subject);

// Checks what the envelope will carry (the From and To addresses) and throws
// EMailError when a server must not see it; what TSmtpClient::Send checks
// first, callable before a POP3 sign-in so that a message that cannot go
// costs no connection at all.
void CheckMailMessage(const TMailMessage& message);

// The whole message as it goes after DATA, every line ending in CRLF. A
// non-ASCII subject is RFC 2047-encoded; a non-ASCII body is sent
// quoted-printable. Throws EMailError when the message cannot be built.
std::string BuildMailMessage(const TMailMessage& message);

}  // namespace rn
