// The mail side of the local store: one Maildir message read with GMime into
// the values the inbox pass uses. The store only reads; it never changes a
// message or its name.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

#include "outlook/store_ical.h"
#include "platform/datetime.h"

namespace rn::store {

// How much of a message's body text the store keeps: its start, far more
// than the 160 characters the inbox pass sends, and little enough that a
// message of megabytes costs no more memory than a short one.
inline constexpr size_t kMailBodyKept = 4096;

struct TMailData {
  std::string Subject;  // UTF-8
  // UTF-8: the start (kMailBodyKept bytes at most, cut on a character
  // boundary) of the first text/plain part, else of the HTML part as text.
  std::string Body;
  int Importance = 1;  // 0 low, 1 normal, 2 high
  TDateTime ReceivedTime = 0;
};

// Reads one message, in time that grows with its size and no faster. `fileTime`
// is the file's modification time, used when the message carries no readable
// Received: or Date: header. Throws EStoreError for data that is no mail
// message.
TMailData ParseMail(const std::string& data, std::time_t fileTime, const std::string& label);

// The text of an HTML document: tags dropped (script and style with their
// content), entities decoded, block elements and <br> as single line breaks,
// runs of blanks folded. It stops at `most` bytes of text, cut on a
// character boundary, so a huge document costs no more than its start.
std::string HtmlToText(std::string_view html, size_t most = std::string::npos);

// Whether a Maildir file name ("unique:2,FLAGS") carries the Seen flag.
bool MaildirSeen(std::string_view fileName);

// The part of a Maildir file name before its ":2," information.
std::string_view MaildirUnique(std::string_view fileName);

}  // namespace rn::store
