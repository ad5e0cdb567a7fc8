// The program's 8-bit text is UTF-8. Record keys are short strings: at most
// 255 bytes, cut on a character boundary, compared without regard to case in
// the user's locale.
#pragma once

#include <string>
#include <string_view>

namespace rn {

inline constexpr size_t kShortStringMax = 255;

// The longest prefix of `text` of at most `max_bytes` bytes that does not split
// a UTF-8 character.
std::string CutUtf8(std::string_view text, size_t max_bytes = kShortStringMax);

// Locale-aware, case-insensitive comparison of two keys (<0, 0, >0). Two keys
// that differ only in letter case compare equal.
int CompareKeys(std::string_view a, std::string_view b);

// The first `count` characters (code points) of a UTF-8 text.
std::string FirstCharacters(std::string_view text, size_t count);

// The text as it may go to a terminal or a log: what a terminal would act on
// is made visible, so a subject or a file name cannot start a line of its own
// or send an escape sequence. CR, LF and TAB become \r, \n and \t, the other
// C0 controls and DEL \xHH (ESC is \x1b), the C1 controls \u0080 to \u009f,
// and bytes that are not UTF-8 \xHH each. Everything else, backslashes
// included, stays as it is.
std::string EscapeControls(std::string_view text);

}  // namespace rn
