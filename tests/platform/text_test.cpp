#include "platform/text.h"

#include <gtest/gtest.h>

namespace rn {
namespace {

TEST(EscapeControls, MakesVisibleWhatATerminalWouldActOn) {
  struct Case {
    const char* what;
    std::string text, shown;
  } cases[] = {
      {"plain text", "Budget review @ Room 4", "Budget review @ Room 4"},
      {"line breaks", "one\r\ntwo\nthree", "one\\r\\ntwo\\nthree"},
      {"a tab", "a\tb", "a\\tb"},
      {"an escape sequence", "\x1b[2J\x1b]0;title\x07", "\\x1b[2J\\x1b]0;title\\x07"},
      {"NUL and DEL", std::string("a\0b\x7f", 4), "a\\x00b\\x7f"},
      {"backslashes stay", "C:\\dir\\n", "C:\\dir\\n"},
      {"UTF-8 stays", "Caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\x85",
       "Caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\x85"},
      {"a C1 control (CSI)",
       "a\xc2\x9b"
       "2Jb",
       "a\\u009b2Jb"},
      {"bytes that are not UTF-8",
       "a\x9b\xff"
       "b\xe2\x82",
       "a\\x9b\\xffb\\xe2\\x82"},
      {"an overlong form", "\xc0\x8a", "\\xc0\\x8a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(EscapeControls(c.text), c.shown);
  }
}

}  // namespace
}  // namespace rn
