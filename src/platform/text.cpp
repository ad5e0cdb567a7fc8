#include "platform/text.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/stringpiece.h>
#include <unicode/utf8.h>

#include <cstdio>
#include <memory>
#include <mutex>

namespace rn {
namespace {

bool IsContinuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

// One collator for the process, made for the user's locale at first use.
// Secondary strength: letters and accents count, case does not.
const icu::Collator* KeyCollator() {
  static std::once_flag once;
  static std::unique_ptr<icu::Collator> collator;
  std::call_once(once, [] {
    UErrorCode status = U_ZERO_ERROR;
    // The C and POSIX locales map to en_US_POSIX, whose collation orders upper
    // and lower case letters apart at the first level; keys must not differ
    // by case, so that locale falls back to the root collation.
    icu::Locale locale = icu::Locale::getDefault();
    if (std::string(locale.getVariant()) == "POSIX")
      locale = icu::Locale::getRoot();
    collator.reset(icu::Collator::createInstance(locale, status));
    if (U_FAILURE(status)) {
      status = U_ZERO_ERROR;
      collator.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
    }
    if (collator)
      collator->setStrength(icu::Collator::SECONDARY);
  });
  return collator.get();
}

}  // namespace

std::string CutUtf8(std::string_view text, size_t max_bytes) {
  if (text.size() <= max_bytes)
    return std::string(text);
  size_t end = max_bytes;
  while (end > 0 && IsContinuation(static_cast<unsigned char>(text[end])))
    --end;
  return std::string(text.substr(0, end));
}

std::string FirstCharacters(std::string_view text, size_t count) {
  size_t i = 0;
  size_t seen = 0;
  while (i < text.size()) {
    if (!IsContinuation(static_cast<unsigned char>(text[i]))) {
      if (seen == count)
        break;
      ++seen;
    }
    ++i;
  }
  return std::string(text.substr(0, i));
}

std::string EscapeControls(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  char escape[8];
  for (int32_t i = 0; i < length;) {
    const int32_t start = i;
    UChar32 c;
    U8_NEXT(bytes, i, length, c);
    if (c < 0) {
      // Not UTF-8: every byte of the ill-formed sequence shown by its value.
      for (int32_t j = start; j < i; ++j) {
        std::snprintf(escape, sizeof escape, "\\x%02x", bytes[j]);
        out += escape;
      }
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned>(c));
      out += escape;
    } else if (c >= 0x80 && c <= 0x9F) {
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
      out += escape;
    } else {
      out.append(text.substr(start, i - start));
    }
  }
  return out;
}

int CompareKeys(std::string_view a, std::string_view b) {
  const icu::Collator* collator = KeyCollator();
  if (collator) {
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult r =
        collator->compareUTF8(icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
                              icu::StringPiece(b.data(), static_cast<int32_t>(b.size())), status);
    if (U_SUCCESS(status))
      return r;
  }
  // Without ICU data: plain byte order after ASCII case folding.
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    int ca = static_cast<unsigned char>(a[i]);
    int cb = static_cast<unsigned char>(b[i]);
    if (ca >= 'A' && ca <= 'Z')
      ca += 32;
    if (cb >= 'A' && cb <= 'Z')
      cb += 32;
    if (ca != cb)
      return ca < cb ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace rn
