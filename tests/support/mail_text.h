// Reading a message the loopback mail server received: its header lines as
// they came, and the subject and body decoded back with GMime. Header-only so
// that only test programs that link GMime include it.
#pragma once

#include <gmime/gmime.h>

#include <algorithm>
#include <cctype>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace rn::test {

// The header block's fields, folded lines joined, names as sent.
inline std::vector<std::pair<std::string, std::string>> MailHeaders(const std::string& message) {
  std::vector<std::pair<std::string, std::string>> headers;
  size_t start = 0;
  while (start < message.size()) {
    size_t end = message.find("\r\n", start);
    if (end == std::string::npos)
      end = message.size();
    const std::string line = message.substr(start, end - start);
    start = end + 2;
    if (line.empty())
      break;  // the blank line before the body
    if ((line[0] == ' ' || line[0] == '\t') && !headers.empty()) {
      headers.back().second += line;
      continue;
    }
    const auto colon = line.find(':');
    std::string value = colon == std::string::npos ? "" : line.substr(colon + 1);
    if (!value.empty() && value[0] == ' ')
      value.erase(0, 1);
    headers.emplace_back(line.substr(0, colon), value);
  }
  return headers;
}

// The raw value of the first header of that name (any letter case), or "".
inline std::string MailHeader(const std::string& message, const std::string& name) {
  for (const auto& [field, value] : MailHeaders(message)) {
    if (field.size() == name.size() &&
        std::equal(field.begin(), field.end(), name.begin(),
                   [](char a, char b) { return std::tolower(a) == std::tolower(b); })) {
      return value;
    }
  }
  return {};
}

// The message's subject and its text body as UTF-8, decoded by GMime.
struct TDecodedMail {
  std::string Subject;
  std::string Body;
};

inline TDecodedMail DecodeMail(const std::string& message) {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
  TDecodedMail decoded;
  GMimeStream* stream = g_mime_stream_mem_new_with_buffer(message.data(), message.size());
  GMimeParser* parser = g_mime_parser_new_with_stream(stream);
  GMimeMessage* parsed = g_mime_parser_construct_message(parser, nullptr);
  if (parsed) {
    if (const char* subject = g_mime_message_get_subject(parsed))
      decoded.Subject = subject;
    GMimeObject* body = g_mime_message_get_body(parsed);
    if (body && GMIME_IS_TEXT_PART(body)) {
      if (char* text = g_mime_text_part_get_text(GMIME_TEXT_PART(body))) {
        decoded.Body = text;
        g_free(text);
      }
    }
    g_object_unref(parsed);
  }
  g_object_unref(parser);
  g_object_unref(stream);
  return decoded;
}

}  // namespace rn::test
