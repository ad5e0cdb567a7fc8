// One Maildir message from any bytes, as the inbox reads it: it is read or
// refused with EStoreError, its texts are UTF-8, its body is the start the
// store keeps, its importance one of three; the HTML reducer and the file
// name's flags take the same bytes.
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "outlook/store_maildir.h"

namespace {

using rn::fuzz::Require;

bool ValidUtf8(const std::string& text) {
  return rn::store::ValidUtf8(text) == text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  const std::string data(reinterpret_cast<const char*>(bytes), size);
  try {
    const rn::store::TMailData mail = rn::store::ParseMail(data, 1765400000, "fuzz");
    Require(ValidUtf8(mail.Subject), "the subject is UTF-8");
    Require(ValidUtf8(mail.Body), "the body is UTF-8");
    Require(mail.Body.size() <= rn::store::kMailBodyKept, "the body kept is its start");
    Require(mail.Importance >= 0 && mail.Importance <= 2, "importance is low, normal or high");
  } catch (const rn::store::EStoreError&) {
  }
  Require(ValidUtf8(rn::store::HtmlToText(data)), "HTML reduces to UTF-8");
  Require(rn::store::HtmlToText(data, 160).size() <= 160, "the reducer stops once it has enough");
  const std::string_view unique = rn::store::MaildirUnique(data);
  Require(data.compare(0, unique.size(), unique) == 0, "the unique part begins the name");
  (void)rn::store::MaildirSeen(data);
  return 0;
}
