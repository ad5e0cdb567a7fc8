// Checks of the texts that end up on a mail server's command lines: the
// envelope addresses and the "host" or "host:port" of a server setting.
// libcurl and our POP3 client put these texts straight onto the wire, so a
// CR or LF in them would start a command of its own; they are refused here,
// before anything is sent.
#pragma once

#include <string>
#include <string_view>

namespace rn {

struct TServerAddress {
  std::string Host;  // without the brackets of an IPv6 literal
  int Port = 0;
};

// True when the text holds a byte below 0x20 or DEL (CR, LF, NUL, TAB, ...).
bool HasControlCharacter(std::string_view text);

// Splits "host", "host:port", "[v6]" or "[v6]:port" (spaces around are
// ignored). Throws EMailError naming `what` ("SMTP server", "POP3 server")
// when the text is empty or is not a plain host name or address and port.
TServerAddress SplitServer(const std::string& text, int defaultPort, const char* what);

// The address for MAIL FROM or RCPT TO: "Name <a@b.org>" gives "a@b.org",
// "a@b.org" stays as it is, an empty text stays empty. Throws EMailError
// naming `role` ("sender", "recipient") when the text holds a control
// character or a comma (outside a quoted display name), or when the address
// itself holds a space or an angle bracket.
std::string EnvelopeAddress(const std::string& text, const char* role);

// A host name or IP literal fit for a URL: an IPv6 literal gets its brackets.
std::string UrlHost(const std::string& host);

}  // namespace rn
