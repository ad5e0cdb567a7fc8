// Maildir messages read with GMime 3.
#include "outlook/store_maildir.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/text.h"

namespace rn::store {
namespace {

void InitGMimeOnce() {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
}

template <typename T>
struct TUnref {
  void operator()(T* p) const {
    if (p)
      g_object_unref(p);
  }
};
template <typename T>
using TGPtr = std::unique_ptr<T, TUnref<T>>;

std::string Lower(std::string s) {
  for (char& ch : s)
    ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return s;
}

std::string Trimmed(const char* s) {
  if (!s)
    return {};
  std::string t = s;
  size_t b = t.find_first_not_of(" \t\r\n");
  if (b == std::string::npos)
    return {};
  size_t e = t.find_last_not_of(" \t\r\n");
  return t.substr(b, e - b + 1);
}

// 2 when any of Importance:, X-Priority: or Priority: says high (urgent), 0
// when one says low and none high, else 1.
int ImportanceOf(GMimeObject* message) {
  bool high = false, low = false;
  const std::string importance = Lower(Trimmed(g_mime_object_get_header(message, "Importance")));
  if (importance == "high")
    high = true;
  if (importance == "low")
    low = true;
  const std::string priority = Trimmed(g_mime_object_get_header(message, "X-Priority"));
  if (!priority.empty() && std::isdigit(static_cast<unsigned char>(priority[0]))) {
    int level = priority[0] - '0';
    if (level == 1 || level == 2)
      high = true;
    if (level == 4 || level == 5)
      low = true;
  }
  const std::string urgency = Lower(Trimmed(g_mime_object_get_header(message, "Priority")));
  if (urgency == "urgent")
    high = true;
  if (urgency == "non-urgent")
    low = true;
  return high ? 2 : low ? 0 : 1;
}

// The newest Received: header (the topmost: each hop adds its own above the
// others) that carries a readable date.
std::optional<std::time_t> ReceivedDate(GMimeObject* message) {
  GMimeHeaderList* headers = g_mime_object_get_header_list(message);
  const int n = g_mime_header_list_get_count(headers);
  for (int i = 0; i < n; ++i) {
    GMimeHeader* h = g_mime_header_list_get_header_at(headers, i);
    const char* name = g_mime_header_get_name(h);
    if (!name || g_ascii_strcasecmp(name, "Received") != 0)
      continue;
    const char* value = g_mime_header_get_value(h);
    if (!value)
      continue;
    const char* semi = std::strrchr(value, ';');
    if (!semi)
      continue;
    GDateTime* when = g_mime_utils_header_decode_date(semi + 1);
    if (!when)
      continue;
    std::time_t t = static_cast<std::time_t>(g_date_time_to_unix(when));
    g_date_time_unref(when);
    return t;
  }
  return std::nullopt;
}

std::string PartText(GMimeObject* part) {
  char* text = g_mime_text_part_get_text(GMIME_TEXT_PART(part));
  if (!text)
    return {};
  std::string out = ValidUtf8(text);
  g_free(text);
  return out;
}

// The first text/plain part that is not an attachment; the first text/html
// one noted on the way. A forwarded message's parts are not this message's
// body.
void FindBody(GMimeObject* part, GMimeObject*& plain, GMimeObject*& html) {
  if (plain)
    return;
  if (GMIME_IS_MULTIPART(part)) {
    GMimeMultipart* mp = GMIME_MULTIPART(part);
    const int n = g_mime_multipart_get_count(mp);
    for (int i = 0; i < n && !plain; ++i)
      FindBody(g_mime_multipart_get_part(mp, i), plain, html);
    return;
  }
  if (!GMIME_IS_TEXT_PART(part))
    return;
  GMimeContentDisposition* disposition = g_mime_object_get_content_disposition(part);
  if (disposition && g_mime_content_disposition_is_attachment(disposition))
    return;
  GMimeContentType* type = g_mime_object_get_content_type(part);
  if (g_mime_content_type_is_type(type, "text", "plain")) {
    plain = part;
  } else if (!html && g_mime_content_type_is_type(type, "text", "html")) {
    html = part;
  }
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
    cp = 0xFFFD;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

// "&" to ";" of the longest entity the reducer decodes.
constexpr size_t kLongestEntity = 10;

// GMime reads the address headers of a message (and of every message inside
// it) into address lists as it parses, and it reads a group inside a group
// by calling itself: "To: g:g:g:..." of some 100 KB uses up the stack and
// ends the program. Groups never nest in a real address (RFC 5322 3.4), and
// the store reads none of these headers, so one with more colons than any
// real address list has is renamed before GMime sees it, wherever it stands:
// its name's letters become 'X', and the message reads as before.
constexpr size_t kMostColonsInAddresses = 1000;

bool IsAddressHeaderName(std::string_view name) {
  for (const char* known : {"from", "sender", "reply-to", "to", "cc", "bcc"}) {
    if (name.size() == std::strlen(known) &&
        g_ascii_strncasecmp(name.data(), known, name.size()) == 0)
      return true;
  }
  return false;
}

std::string DefuseDeepAddressGroups(const std::string& data) {
  std::string out;  // a copy only once something is renamed
  size_t line = 0;
  while (line < data.size()) {
    size_t end = data.find('\n', line);
    end = end == std::string::npos ? data.size() : end + 1;
    size_t name = line;
    while (name < end &&
           (std::isalnum(static_cast<unsigned char>(data[name])) || data[name] == '-'))
      ++name;
    size_t colon = name;
    while (colon < end && (data[colon] == ' ' || data[colon] == '\t'))
      ++colon;
    if (colon < end && data[colon] == ':' &&
        IsAddressHeaderName(std::string_view(data).substr(line, name - line))) {
      // The header with its continuation lines.
      size_t colons = 0;
      size_t stop = end;
      for (size_t k = colon + 1; k < end; ++k)
        colons += data[k] == ':';
      while (stop < data.size() && (data[stop] == ' ' || data[stop] == '\t')) {
        size_t next = data.find('\n', stop);
        next = next == std::string::npos ? data.size() : next + 1;
        colons +=
            static_cast<size_t>(std::count(data.begin() + static_cast<std::ptrdiff_t>(stop),
                                           data.begin() + static_cast<std::ptrdiff_t>(next), ':'));
        stop = next;
      }
      if (colons > kMostColonsInAddresses) {
        if (out.empty())
          out = data;
        std::fill(out.begin() + static_cast<std::ptrdiff_t>(line),
                  out.begin() + static_cast<std::ptrdiff_t>(name), 'X');
      }
      end = stop;
    }
    line = end;
  }
  return out;
}

}  // namespace

bool MaildirSeen(std::string_view name) {
  size_t info = name.rfind(":2,");
  if (info == std::string_view::npos)
    return false;
  return name.substr(info + 3).find('S') != std::string_view::npos;
}

std::string_view MaildirUnique(std::string_view name) {
  size_t info = name.rfind(":2,");
  return info == std::string_view::npos ? name : name.substr(0, info);
}

std::string HtmlToText(std::string_view html, size_t most) {
  static const std::pair<const char*, uint32_t> kEntities[] = {
      {"amp", '&'},      {"lt", '<'},        {"gt", '>'},      {"quot", '"'},     {"apos", '\''},
      {"nbsp", 0xA0},    {"copy", 0xA9},     {"reg", 0xAE},    {"euro", 0x20AC},  {"ndash", 0x2013},
      {"mdash", 0x2014}, {"hellip", 0x2026}, {"laquo", 0xAB},  {"raquo", 0xBB},   {"auml", 0xE4},
      {"ouml", 0xF6},    {"uuml", 0xFC},     {"Auml", 0xC4},   {"Ouml", 0xD6},    {"Uuml", 0xDC},
      {"szlig", 0xDF},   {"eacute", 0xE9},   {"egrave", 0xE8}, {"rsquo", 0x2019}, {"lsquo", 0x2018},
      {"rdquo", 0x201D}, {"ldquo", 0x201C}};
  static const char* kBreaks[] = {
      "br",    "p",      "/p", "div", "/div", "li",  "tr",         "/tr",         "h1",  "h2",
      "h3",    "h4",     "h5", "h6",  "/h1",  "/h2", "/h3",        "/h4",         "/h5", "/h6",
      "table", "/table", "ul", "/ul", "ol",   "/ol", "blockquote", "/blockquote", "hr"};
  std::string out;
  bool pendingSpace = false;
  auto emit = [&](const std::string& text) {
    if (pendingSpace && !out.empty() && out.back() != '\n')
      out += ' ';
    pendingSpace = false;
    out += text;
  };
  auto newline = [&] {
    pendingSpace = false;
    while (!out.empty() && out.back() == ' ')
      out.pop_back();
    // One line break between blocks, none at the start: the phone shows only
    // the start of the body, and blank lines would waste it.
    if (out.empty() || out.back() == '\n')
      return;
    out += '\n';
  };
  size_t i = 0;
  while (i < html.size() && out.size() < most) {
    char c = html[i];
    if (c == '<') {
      if (html.compare(i, 4, "<!--") == 0) {
        size_t end = html.find("-->", i + 4);
        i = end == std::string_view::npos ? html.size() : end + 3;
        continue;
      }
      size_t end = html.find('>', i);
      if (end == std::string_view::npos)
        break;
      std::string tag;
      for (size_t k = i + 1; k < end && !IsBlank(html[k]) && html[k] != '>'; ++k) {
        if (html[k] == '/' && !tag.empty())
          break;
        tag += static_cast<char>(std::tolower(static_cast<unsigned char>(html[k])));
      }
      i = end + 1;
      if (tag == "script" || tag == "style" || tag == "head" || tag == "title") {
        const std::string close = "</" + tag;
        size_t k = i;
        while (k < html.size()) {
          k = html.find("</", k);
          if (k == std::string_view::npos)
            break;
          std::string candidate;
          for (size_t j = k; j < html.size() && j < k + close.size(); ++j)
            candidate += static_cast<char>(std::tolower(static_cast<unsigned char>(html[j])));
          if (candidate == close)
            break;
          k += 2;
        }
        if (k == std::string_view::npos || k >= html.size())
          break;
        size_t after = html.find('>', k);
        i = after == std::string_view::npos ? html.size() : after + 1;
        continue;
      }
      for (const char* b : kBreaks) {
        if (tag == b) {
          newline();
          break;
        }
      }
      continue;
    }
    if (IsBlank(c)) {
      pendingSpace = true;
      ++i;
      continue;
    }
    if (c == '&') {
      // An entity is short: the ';' is looked for among the next few bytes
      // only, so a run of '&' without one costs its length, not its square.
      const size_t semi =
          html.substr(0, std::min(html.size(), i + kLongestEntity + 1)).find(';', i);
      if (semi != std::string_view::npos) {
        std::string name(html.substr(i + 1, semi - i - 1));
        std::string decoded;
        if (!name.empty() && name[0] == '#') {
          bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
          const std::string digits = name.substr(hex ? 2 : 1);
          char* endp = nullptr;
          unsigned long cp = std::strtoul(digits.c_str(), &endp, hex ? 16 : 10);
          if (!digits.empty() && endp && *endp == '\0')
            AppendUtf8(decoded, static_cast<uint32_t>(cp));
        } else {
          for (const auto& [n, cp] : kEntities)
            if (name == n)
              AppendUtf8(decoded, cp);
        }
        if (!decoded.empty()) {
          emit(decoded);
          i = semi + 1;
          continue;
        }
      }
    }
    // A word, no longer than the room left (a word of megabytes included).
    const size_t room = most == std::string::npos ? most : most - out.size() + 1;
    size_t start = i;
    while (i < html.size() && html[i] != '<' && html[i] != '&' && !IsBlank(html[i]) &&
           i - start < room)
      ++i;
    if (i == start)
      ++i;  // a lone '&'
    emit(std::string(html.substr(start, i - start)));
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
    out.pop_back();
  return most == std::string::npos ? ValidUtf8(out) : CutUtf8(ValidUtf8(out), most);
}

TMailData ParseMail(const std::string& data, std::time_t fileTime, const std::string& label) {
  InitGMimeOnce();
  const std::string defused = DefuseDeepAddressGroups(data);
  const std::string& text = defused.empty() ? data : defused;
  TGPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(text.data(), text.size()));
  TGPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
  TGPtr<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), nullptr));
  if (!message)
    throw EStoreError("Store: " + label + ": not a mail message, skipped");
  GMimeObject* object = GMIME_OBJECT(message.get());
  if (g_mime_header_list_get_count(g_mime_object_get_header_list(object)) == 0)
    throw EStoreError("Store: " + label + ": a mail message without headers, skipped");

  TMailData m;
  const char* subject = g_mime_message_get_subject(message.get());
  m.Subject = subject ? ValidUtf8(subject) : std::string();
  m.Importance = ImportanceOf(object);

  if (auto received = ReceivedDate(object)) {
    m.ReceivedTime = FromTimeT(*received);
  } else if (GDateTime* date = g_mime_message_get_date(message.get())) {
    m.ReceivedTime = FromTimeT(static_cast<std::time_t>(g_date_time_to_unix(date)));
  } else {
    m.ReceivedTime = FromTimeT(fileTime);
  }

  GMimeObject *plain = nullptr, *html = nullptr;
  if (GMimeObject* body = g_mime_message_get_mime_part(message.get()))
    FindBody(body, plain, html);
  if (plain) {
    m.Body = CutUtf8(PartText(plain), kMailBodyKept);
  } else if (html) {
    m.Body = HtmlToText(PartText(html), kMailBodyKept);
  }
  return m;
}

}  // namespace rn::store
