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

}  // namespace rn
