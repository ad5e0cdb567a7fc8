#include "engine/mail_address.h"

#include <algorithm>
#include <cctype>

#include "engine/mail_client.h"

namespace rn {

namespace {

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos)
    return {};
  const auto last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

bool IsHostNameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
}

bool IsIpv6Char(char c) {
  return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.';
}

// A visible rendering of a text that holds control characters, for error texts.
std::string Escaped(std::string_view text) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c < 0x20 || c == 0x7f) {
      out += "\\x";
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// Whether a comma stands outside the double-quoted parts of the text.
bool HasUnquotedComma(std::string_view text) {
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (quoted && text[i] == '\\') {
      ++i;  // a quoted pair: the next character is plain text
    } else if (text[i] == '"') {
      quoted = !quoted;
    } else if (text[i] == ',' && !quoted) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool HasControlCharacter(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7f;
  });
}

TServerAddress SplitServer(const std::string& text, int defaultPort, const char* what) {
  const std::string server = Trim(text);
  const auto refuse = [&](const char* problem) {
    std::string message = "The ";
    message.append(what).append(" \"").append(Escaped(text)).append("\" ").append(problem);
    return EMailError(message);
  };
  if (server.empty())
    throw EMailError(std::string("No ") + what + " is set");
  if (HasControlCharacter(server))
    throw refuse("holds a control character");

  TServerAddress result;
  std::string_view rest;  // what follows the host: empty or ":port"
  if (server.front() == '[') {
    const auto close = server.find(']');
    if (close == std::string::npos)
      throw refuse("is not a valid host");
    result.Host = server.substr(1, close - 1);
    rest = std::string_view(server).substr(close + 1);
    if (result.Host.empty() || !std::all_of(result.Host.begin(), result.Host.end(), IsIpv6Char))
      throw refuse("is not a valid host");
  } else {
    const auto colon = server.find(':');
    result.Host = server.substr(0, colon);
    if (colon != std::string::npos)
      rest = std::string_view(server).substr(colon);
    if (result.Host.empty() || !std::all_of(result.Host.begin(), result.Host.end(), IsHostNameChar))
      throw refuse("is not a valid host name");
  }

  result.Port = defaultPort;
  if (!rest.empty()) {
    if (rest.front() != ':')
      throw refuse("is not a valid host");
    const std::string_view digits = rest.substr(1);
    int port = 0;
    const bool number = !digits.empty() && digits.size() <= 5 &&
                        std::all_of(digits.begin(), digits.end(), [](char c) {
                          return std::isdigit(static_cast<unsigned char>(c));
                        });
    if (number) {
      for (char c : digits)
        port = port * 10 + (c - '0');
    }
    if (port < 1 || port > 65535)
      throw refuse("has no valid port number");
    result.Port = port;
  }
  return result;
}

std::string EnvelopeAddress(const std::string& text, const char* role) {
  if (HasControlCharacter(text)) {
    throw EMailError(std::string("The ") + role + " address \"" + Escaped(text) +
                     "\" holds a control character; nothing was sent");
  }
  const std::string whole = Trim(text);
  std::string address = whole;
  std::string name;  // the display name before "<address>", if any
  const auto open = whole.rfind('<');
  if (open != std::string::npos && whole.back() == '>') {
    name = whole.substr(0, open);
    address = Trim(whole.substr(open + 1, whole.size() - open - 2));
  }
  // A comma makes the header a list of addresses and the envelope address
  // something the server may read as two: "a@b.org,c@d.org" would put a
  // second recipient into the message. Only a quoted display name may hold
  // one ("\"Doe, Ann\" <ann@example.org>").
  if (address.find(',') != std::string::npos || HasUnquotedComma(name)) {
    throw EMailError(std::string("The ") + role + " address \"" + text +
                     "\" holds a comma; nothing was sent");
  }
  if (address.find_first_of(" <>") != std::string::npos) {
    throw EMailError(std::string("The ") + role + " address \"" + text +
                     "\" is not a valid e-mail address; nothing was sent");
  }
  return address;
}

std::string UrlHost(const std::string& host) {
  return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

}  // namespace rn
