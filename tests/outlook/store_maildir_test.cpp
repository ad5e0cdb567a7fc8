// The mail reader case by case, in the time zone of New York.
#include "outlook/store_maildir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace rn::store {
namespace {

constexpr double kSecond = 1.0 / 86400;

class MailTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "America/New_York", 1);
    tzset();
  }
};

std::string Message(const std::string& headers, const std::string& body = "Hello\n") {
  return "From: a@example.invalid\nTo: b@example.invalid\n" + headers +
         "Content-Type: text/plain; charset=UTF-8\n\n" + body;
}

TEST_F(MailTest, ImportanceFromAnyOfItsHeaders) {
  struct Case {
    const char* headers;
    int importance;
  } cases[] = {
      {"", 1},
      {"Importance: high\n", 2},
      {"Importance: HIGH\n", 2},
      {"Importance: Low\n", 0},
      {"Importance: normal\n", 1},
      {"X-Priority: 1 (Highest)\n", 2},
      {"X-Priority: 2\n", 2},
      {"X-Priority: 3 (Normal)\n", 1},
      {"X-Priority: 5\n", 0},
      {"Priority: urgent\n", 2},
      {"Priority: non-urgent\n", 0},
      {"Priority: normal\n", 1},
      {"Importance: low\nX-Priority: 1\n", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.headers);
    EXPECT_EQ(ParseMail(Message(c.headers), 0, "m").Importance, c.importance);
  }
}

TEST_F(MailTest, ReceivedTimeFromTheNewestReceivedHeaderElseDateElseTheFile) {
  const std::time_t fileTime = 1796000000;  // 2026-11-30 00:53:20 UTC
  struct Case {
    const char* headers;
    TDateTime received;
  } cases[] = {
      {"Received: by b; Thu, 10 Dec 2026 14:05:00 +0000\n"
       "Received: by a; Thu, 10 Dec 2026 14:04:00 +0000\n"
       "Date: Thu, 10 Dec 2026 13:00:00 +0000\n",
       EncodeDateTime(2026, 12, 10, 9, 5)},
      // A Received: header without a readable date is passed over.
      {"Received: by b with nothing\nReceived: by a; Thu, 10 Dec 2026 14:04:00 +0000\n",
       EncodeDateTime(2026, 12, 10, 9, 4)},
      {"Date: Thu, 10 Dec 2026 13:00:00 +0100\n", EncodeDateTime(2026, 12, 10, 7, 0)},
      {"Subject: no dates\n", EncodeDateTime(2026, 11, 29, 19, 53, 20)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.headers);
    EXPECT_NEAR(ParseMail(Message(c.headers), fileTime, "m").ReceivedTime, c.received, kSecond);
  }
}

TEST_F(MailTest, SubjectAndBodyDecoded) {
  TMailData m = ParseMail(
      "Subject: =?ISO-8859-1?Q?Gr=FC=DFe_aus_K=F6ln?=\n"
      "MIME-Version: 1.0\n"
      "Content-Type: multipart/mixed; boundary=\"outer\"\n\n"
      "--outer\n"
      "Content-Type: text/plain; charset=UTF-8\n"
      "Content-Disposition: attachment; filename=\"notes.txt\"\n\n"
      "An attachment, not the body.\n"
      "--outer\n"
      "Content-Type: multipart/alternative; boundary=\"inner\"\n\n"
      "--inner\n"
      "Content-Type: text/html; charset=UTF-8\n\n"
      "<p>HTML</p>\n"
      "--inner\n"
      "Content-Type: text/plain; charset=UTF-8\n"
      "Content-Transfer-Encoding: base64\n\n"
      "VGhlIGJvZHkg4oCUIGZpbmFsbHku\n"
      "--inner--\n"
      "--outer--\n",
      0, "m");
  EXPECT_EQ(m.Subject,
            "Gr\xC3\xBC\xC3\x9F"
            "e aus K\xC3\xB6ln");
  EXPECT_EQ(m.Body, "The body \xE2\x80\x94 finally.");

  // Without a text/plain part the HTML one, as text; without either, nothing.
  EXPECT_EQ(ParseMail("Subject: h\nContent-Type: text/html\n\n<b>bold</b> text\n", 0, "m").Body,
            "bold text");
  EXPECT_EQ(ParseMail("Subject: i\nContent-Type: image/png\n\nxxxx\n", 0, "m").Body, "");
  // Bytes that are no UTF-8 never reach the engine as such.
  EXPECT_EQ(
      ParseMail("Subject: x\nContent-Type: text/plain; charset=utf-8\n\nbad \xFF byte\n", 0, "m")
          .Body.find('\xFF'),
      std::string::npos);
}

TEST_F(MailTest, DataThatIsNoMessageIsRefused) {
  for (const char* data : {"", "just a line of text\nand another\n", "\x01\x02\xff\xfe"}) {
    SCOPED_TRACE(data);
    EXPECT_THROW(ParseMail(data, 0, "m"), EStoreError);
  }
}

TEST_F(MailTest, HtmlReducedToText) {
  struct Case {
    const char* html;
    const char* text;
  } cases[] = {
      {"<p>a</p><p>b</p>", "a\nb"},
      {"a&lt;b&gt;c &amp; d", "a<b>c & d"},
      {"x<br/>y<BR>z", "x\ny\nz"},
      {"<!-- hidden <p> -->shown", "shown"},
      {"<SCRIPT>var a = '<p>';</SCRIPT>ok<style>p{}</style>", "ok"},
      {"  lots   of\n\n  space  ", "lots of space"},
      {"&#x41;&#66;&unknown; &", "AB&unknown; &"},
      {"Tom &amp Jerry", "Tom &amp Jerry"},
      {"<a href=\"x\">link</a> text", "link text"},
      {"unclosed <b", "unclosed"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(HtmlToText(c.html), c.text) << c.html;
}

// The store keeps the start of a body, whatever its size: far more than the
// inbox pass sends, on a character boundary.
TEST_F(MailTest, BodyKeepsItsStartOnly) {
  std::string long_text;
  for (int i = 0; i < 5000; ++i)
    long_text += "\xC3\xA9";  // é
  for (const char* type : {"text/plain", "text/html"}) {
    SCOPED_TRACE(type);
    const std::string body = ParseMail(std::string("Subject: s\nContent-Type: ") + type +
                                           "; charset=UTF-8\n\n" + long_text + "\n",
                                       0, "m")
                                 .Body;
    EXPECT_EQ(body.size(), kMailBodyKept);
    EXPECT_EQ(body, long_text.substr(0, kMailBodyKept));
  }
  EXPECT_EQ(HtmlToText("<p>abc</p><p>def</p>", 3), "abc");
  EXPECT_EQ(HtmlToText("<p>" + std::string(100000, 'x') + "</p>", 100), std::string(100, 'x'));
  EXPECT_EQ(HtmlToText("\xC3\xA9\xC3\xA9", 3), "\xC3\xA9");  // never half a character
}

TEST_F(MailTest, MaildirNames) {
  struct Case {
    const char* name;
    bool seen;
    const char* unique;
  } cases[] = {
      {"1765.M1.host:2,S", true, "1765.M1.host"}, {"1765.M1.host:2,FS", true, "1765.M1.host"},
      {"1765.M1.host:2,", false, "1765.M1.host"}, {"1765.M1.host:2,RT", false, "1765.M1.host"},
      {"1765.M1.host", false, "1765.M1.host"},    {"1765.M1.ho:st:2,S", true, "1765.M1.ho:st"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MaildirSeen(c.name), c.seen) << c.name;
    EXPECT_EQ(MaildirUnique(c.name), c.unique) << c.name;
  }
}

}  // namespace
}  // namespace rn::store
