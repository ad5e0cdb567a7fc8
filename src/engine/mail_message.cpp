#include "engine/mail_message.h"

#include <gmime/gmime.h>

#include <memory>
#include <mutex>

#include "engine/mail_address.h"

namespace rn {

namespace {

void InitGMime() {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
}

struct GObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GFree {
  void operator()(gpointer memory) const { g_free(memory); }
};
using GCharPtr = std::unique_ptr<char, GFree>;

// Invalid UTF-8 (a text cut in the middle of a character, a Latin-1 file)
// becomes U+FFFD, so the declared charset is never a lie.
std::string ValidUtf8(const std::string& text) {
  GCharPtr valid(g_utf8_make_valid(text.data(), static_cast<gssize>(text.size())));
  return valid.get();
}

// Lines of the body end in LF for GMime, which writes them out as CRLF; a
// lone CR would otherwise reach the wire as it is.
std::string UnixLines(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n')
        ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

// Every line end CRLF, whatever the writer produced.
std::string DosLines(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
      out += '\r';
    out += text[i];
  }
  return out;
}

void AddAddress(GMimeMessage* message, GMimeAddressType type, const std::string& text) {
  InternetAddressList* list = g_mime_message_get_addresses(message, type);
  if (text.empty())
    return;
  GObjectPtr<InternetAddressList> parsed(internet_address_list_parse(nullptr, text.c_str()));
  if (parsed && internet_address_list_length(parsed.get()) > 0) {
    internet_address_list_append(list, parsed.get());
  } else {
    // Not a parsable address: it goes as the server will see it in the
    // envelope, and the server is the judge of it.
    GObjectPtr<InternetAddress> mailbox(internet_address_mailbox_new(nullptr, text.c_str()));
    internet_address_list_add(list, mailbox.get());
  }
}

std::string MessageIdDomain(const std::string& from) {
  const auto at = from.rfind('@');
  std::string domain = at == std::string::npos ? std::string() : from.substr(at + 1);
  if (!domain.empty() && domain.back() == '>')
    domain.pop_back();
  const bool plain =
      !domain.empty() && domain.find_first_not_of(
                             "abcdefghijklmnopqrstuvwxyz"
                             "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-") == std::string::npos;
  return plain ? domain : "ravenote.localhost";
}

}  // namespace

std::string SafeSubject(const std::string& subject) {
  std::string safe = subject;
  for (char& c : safe) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f)
      c = ' ';
  }
  return safe;
}

void CheckMailMessage(const TMailMessage& message) {
  EnvelopeAddress(message.From, "sender");
  EnvelopeAddress(message.To, "recipient");
}

std::string BuildMailMessage(const TMailMessage& source) {
  InitGMime();
  const std::string from = ValidUtf8(source.From);
  const std::string to = ValidUtf8(source.To);
  const std::string subject = ValidUtf8(SafeSubject(source.Subject));
  const std::string body = ValidUtf8(UnixLines(source.Body));

  GObjectPtr<GMimeMessage> message(g_mime_message_new(TRUE));
  AddAddress(message.get(), GMIME_ADDRESS_TYPE_FROM, from);
  AddAddress(message.get(), GMIME_ADDRESS_TYPE_TO, to);
  g_mime_message_set_subject(message.get(), subject.c_str(), "utf-8");

  GDateTime* now = g_date_time_new_now_local();
  g_mime_message_set_date(message.get(), now);
  g_date_time_unref(now);
  GCharPtr id(g_mime_utils_generate_message_id(MessageIdDomain(from).c_str()));
  g_mime_message_set_message_id(message.get(), id.get());

  // The body's bytes are UTF-8 and stay so: g_mime_text_part_set_text would
  // convert them to the "best" charset (Latin-1) behind our back.
  GObjectPtr<GMimePart> part(g_mime_part_new_with_type("text", "plain"));
  g_mime_object_set_content_type_parameter(GMIME_OBJECT(part.get()), "charset", "utf-8");
  GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(body.data(), body.size()));
  GObjectPtr<GMimeDataWrapper> content(
      g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
  g_mime_part_set_content(part.get(), content.get());
  // 7bit for ASCII, quoted-printable otherwise: servers without 8BITMIME
  // take it as well.
  g_mime_part_set_content_encoding(part.get(), g_mime_part_get_best_content_encoding(
                                                   part.get(), GMIME_ENCODING_CONSTRAINT_7BIT));
  g_mime_message_set_mime_part(message.get(), GMIME_OBJECT(part.get()));

  GMimeFormatOptions* options = g_mime_format_options_clone(nullptr);
  g_mime_format_options_set_newline_format(options, GMIME_NEWLINE_FORMAT_DOS);
  GCharPtr text(g_mime_object_to_string(GMIME_OBJECT(message.get()), options));
  g_mime_format_options_free(options);
  if (!text)
    throw EMailError("The message could not be built");
  return DosLines(text.get());
}

}  // namespace rn
