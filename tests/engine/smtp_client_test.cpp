// TSmtpClient against the loopback server: the exact dialogue, the message
// bytes, the server's refusals and the checks made before anything is sent.
#include "engine/smtp_client.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "mail_server.h"
#include "mail_text.h"

namespace rn {
namespace {

using test::DecodeMail;
using test::MailHeader;
using test::MailHeaders;
using test::TLoopbackMailServer;
using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

constexpr auto kShort = std::chrono::milliseconds(300);

class SmtpClientTest : public ::testing::Test {
 protected:
  SmtpClientTest() { client.SetHost(server.SmtpAddress()); }

  // The EMailError text of a send that must fail.
  std::string FailingSend(TSmtpClient& through, const TMailMessage& message) {
    try {
      through.Send(message);
    } catch (const EMailError& error) {
      return error.what();
    }
    ADD_FAILURE() << "the send did not fail";
    return {};
  }
  std::string FailingSend(const TMailMessage& message) { return FailingSend(client, message); }

  TLoopbackMailServer server;
  TSmtpClient client;
  TMailMessage notification{"ravenote@example.org", "5551234567@vtext.com",
                            "10:00:00 AM@loc:Room 4:Budget review", ""};
};

TEST_F(SmtpClientTest, SendsOneMessageInTheExpectedDialogue) {
  client.Send(notification);
  ASSERT_TRUE(server.WaitForIdle());

  EXPECT_THAT(server.Commands(TLoopbackMailServer::Smtp),
              ElementsAre(StartsWith("EHLO "), "MAIL FROM:<ravenote@example.org>",
                          "RCPT TO:<5551234567@vtext.com>", "DATA", "QUIT"));
  EXPECT_EQ(server.Connections(TLoopbackMailServer::Smtp), 1);
  EXPECT_EQ(server.Connections(TLoopbackMailServer::Pop3), 0);
  EXPECT_THAT(server.SignIns(), IsEmpty());
}

TEST_F(SmtpClientTest, MessageCarriesTheHeadersAndAnEmptyBody) {
  client.Send(notification);
  ASSERT_TRUE(server.WaitForMessages(1));
  const std::string message = server.Messages().at(0);

  std::vector<std::string> names;
  for (const auto& [name, value] : MailHeaders(message))
    names.push_back(name);
  EXPECT_THAT(names, ::testing::UnorderedElementsAre("From", "To", "Subject", "Date", "Message-Id",
                                                     "MIME-Version", "Content-Type"));
  EXPECT_EQ(MailHeader(message, "From"), "ravenote@example.org");
  EXPECT_EQ(MailHeader(message, "To"), "5551234567@vtext.com");
  EXPECT_EQ(MailHeader(message, "Subject"), "10:00:00 AM@loc:Room 4:Budget review");
  EXPECT_EQ(MailHeader(message, "MIME-Version"), "1.0");
  EXPECT_EQ(MailHeader(message, "Content-Type"), "text/plain; charset=utf-8");
  EXPECT_THAT(MailHeader(message, "Message-Id"),
              AllOf(StartsWith("<"), HasSubstr("@example.org>")));
  EXPECT_FALSE(MailHeader(message, "Date").empty());

  // Headers, one blank line, nothing after it; every line ends in CRLF.
  EXPECT_THAT(message, ::testing::EndsWith("\r\n\r\n"));
  EXPECT_EQ(message.find("\r\n\r\n"), message.size() - 4);
  for (size_t at = message.find('\n'); at != std::string::npos; at = message.find('\n', at + 1)) {
    ASSERT_GT(at, 0u);
    EXPECT_EQ(message[at - 1], '\r') << "bare LF at " << at;
  }
}

TEST_F(SmtpClientTest, BodyLinesArriveIntactAndDecodeBack) {
  // Dots at a line's start are doubled on the wire and undone by the server;
  // a lone LF or CR becomes CRLF; non-ASCII text travels quoted-printable.
  const TMailMessage test{"ravenote@example.org", "me@example.org", "Ravenote Test message",
                          "If you got this message Ravenote Notification is working.\n.\n"
                          "..two dots\rcafé ✓"};
  client.Send(test);
  ASSERT_TRUE(server.WaitForMessages(1));
  const std::string message = server.Messages().at(0);
  const auto decoded = DecodeMail(message);
  EXPECT_EQ(decoded.Subject, "Ravenote Test message");
  EXPECT_EQ(decoded.Body,
            "If you got this message Ravenote Notification is working.\r\n.\r\n..two dots\r\n"
            "café ✓\r\n");
  EXPECT_EQ(MailHeader(message, "Content-Transfer-Encoding"), "quoted-printable");
}

TEST_F(SmtpClientTest, LineEndsInTheSubjectCannotAddAHeader) {
  notification.Subject = "Lunch\r\nBcc: victim@example.com\r\n\r\nhello\nX-Evil: 1\rEnd";
  client.Send(notification);
  ASSERT_TRUE(server.WaitForMessages(1));
  const std::string message = server.Messages().at(0);

  for (const auto& [name, value] : MailHeaders(message)) {
    EXPECT_NE(name, "Bcc");
    EXPECT_NE(name, "X-Evil");
  }
  EXPECT_EQ(DecodeMail(message).Subject, "Lunch  Bcc: victim@example.com    hello X-Evil: 1 End");
  EXPECT_THAT(server.Commands(TLoopbackMailServer::Smtp),
              ElementsAre(StartsWith("EHLO "), "MAIL FROM:<ravenote@example.org>",
                          "RCPT TO:<5551234567@vtext.com>", "DATA", "QUIT"));
}

TEST_F(SmtpClientTest, NonAsciiSubjectIsEncodedAndDecodesBack) {
  notification.Subject = "Réunion à 10:00 — café ☕ Zürich";
  client.Send(notification);
  ASSERT_TRUE(server.WaitForMessages(1));
  const std::string message = server.Messages().at(0);

  const std::string raw = MailHeader(message, "Subject");
  EXPECT_THAT(raw, HasSubstr("=?"));
  for (unsigned char c : raw)
    EXPECT_LT(c, 0x80) << raw;
  EXPECT_EQ(DecodeMail(message).Subject, notification.Subject);
}

TEST_F(SmtpClientTest, AuthenticatesWithLoginOnlyWhenSet) {
  server.SetAdvertiseAuthLogin(true);
  client.SetUserName("bob");
  client.SetPassword("s3cret pass");

  client.Send(notification);  // authentication off: the user name is not used
  client.SetLoginAuthentication(true);
  client.Send(notification);
  ASSERT_TRUE(server.WaitForIdle());

  EXPECT_THAT(server.Commands(TLoopbackMailServer::Smtp),
              ElementsAre(StartsWith("EHLO "), "MAIL FROM:<ravenote@example.org>",
                          "RCPT TO:<5551234567@vtext.com>", "DATA", "QUIT",  //
                          StartsWith("EHLO "), "AUTH LOGIN", "Ym9i",
                          "czNjcmV0IHBhc3M=", "MAIL FROM:<ravenote@example.org>",
                          "RCPT TO:<5551234567@vtext.com>", "DATA", "QUIT"));
  EXPECT_THAT(server.SignIns(), ElementsAre("bob|s3cret pass"));
  EXPECT_EQ(server.Messages().size(), 2u);
}

TEST_F(SmtpClientTest, LoginSetButNotOfferedSendsWithoutCredentials) {
  // A server that offers no AUTH at all takes mail without it (an internal
  // relay); the credentials are not sent, and the server stays the judge.
  client.SetLoginAuthentication(true);
  client.SetUserName("bob");
  client.SetPassword("s3cret");
  client.Send(notification);
  ASSERT_TRUE(server.WaitForIdle());
  EXPECT_THAT(server.Commands(TLoopbackMailServer::Smtp), Not(::testing::Contains("AUTH LOGIN")));
  EXPECT_THAT(server.SignIns(), IsEmpty());
  EXPECT_EQ(server.Messages().size(), 1u);
}

TEST_F(SmtpClientTest, RefusalsCarryTheServersWords) {
  struct Case {
    const char* name;
    std::function<void(TLoopbackMailServer&, TSmtpClient&)> arrange;
    const char* words;
  };
  const Case cases[] = {
      {"recipient refused",
       [](TLoopbackMailServer& s, TSmtpClient&) { s.SetRefuseRecipient(true); },
       "550 5.1.1 <5551234567@vtext.com>: Recipient address rejected"},
      {"sign-in refused",
       [](TLoopbackMailServer& s, TSmtpClient& c) {
         s.SetAdvertiseAuthLogin(true);
         s.SetRefuseSignIn(true);
         c.SetLoginAuthentication(true);
         c.SetUserName("bob");
         c.SetPassword("wrong");
       },
       "535 5.7.8 Authentication credentials invalid"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TLoopbackMailServer refusing;
    TSmtpClient through;
    through.SetHost(refusing.SmtpAddress());
    c.arrange(refusing, through);

    const std::string error = FailingSend(through, notification);
    EXPECT_THAT(error, HasSubstr(c.words));
    EXPECT_THAT(error, Not(HasSubstr("wrong")));  // never the password
    ASSERT_TRUE(refusing.WaitForIdle());          // the connection is closed
    EXPECT_THAT(refusing.Commands(TLoopbackMailServer::Smtp), Not(::testing::Contains("DATA")));
    EXPECT_THAT(refusing.Messages(), IsEmpty());
  }
}

TEST_F(SmtpClientTest, ABrokenOrSilentServerFailsTheSend) {
  struct Case {
    const char* name;
    std::function<void(TLoopbackMailServer&)> arrange;
  };
  const Case cases[] = {
      {"silent", [](TLoopbackMailServer& s) { s.SetSilent(true); }},
      {"dropped after MAIL FROM", [](TLoopbackMailServer& s) { s.SetDropAfter(2); }},
      {"dropped after DATA", [](TLoopbackMailServer& s) { s.SetDropAfter(4); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TLoopbackMailServer broken;
    c.arrange(broken);
    TSmtpClient through(TMailTimeouts{kShort, kShort});
    through.SetHost(broken.SmtpAddress());
    EXPECT_THAT(FailingSend(through, notification), HasSubstr("Sending through"));
    EXPECT_TRUE(broken.WaitForIdle());
    EXPECT_THAT(broken.Messages(), IsEmpty());
  }
}

TEST_F(SmtpClientTest, NoServerListeningFailsTheSend) {
  // A port that was just free: nothing listens on it.
  const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length), 0);
  ::close(probe);

  client.SetHost("127.0.0.1:" + std::to_string(ntohs(address.sin_port)));
  EXPECT_THAT(FailingSend(notification), HasSubstr("127.0.0.1"));
}

TEST_F(SmtpClientTest, UnsafeAddressesSendNothing) {
  const std::pair<std::string, std::string> cases[] = {
      {"ravenote@example.org\r\nRCPT TO:<evil@example.com>", "5551234567@vtext.com"},
      {"ravenote@example.org", "5551234567@vtext.com\r\nDATA"},
      {"ravenote@example.org", "5551234567@vtext.com\nQUIT"},
      {"ravenote@example.org", "5551234567@vtext.com\rRSET"},
      {"ravenote@example.org", std::string("5551234567@vtext.com\0x", 22)},
      {"ravenote@example.org", "a@b.org> NOTIFY=NEVER"},
      {"ravenote@example.org", "two words@example.org"},
      {"ravenote@example.org", "5551234567@vtext.com,evil@example.com"},
      {"ravenote@example.org", "Phone <5551234567@vtext.com>,evil@example.com"},
      {"ravenote@example.org", "evil@example.com,<5551234567@vtext.com>"},
      {"Doe, Ann <ravenote@example.org>", "5551234567@vtext.com"},
      {"\"Doe\", Ann <ravenote@example.org>", "5551234567@vtext.com"},
      {"ravenote@example.org", "<\"a,b\"@vtext.com>"},
  };
  for (const auto& [from, to] : cases) {
    SCOPED_TRACE(to);
    const std::string error = FailingSend({from, to, "Subject", ""});
    EXPECT_THAT(error, HasSubstr("nothing was sent"));
    EXPECT_EQ(error.find('\r'), std::string::npos);
    EXPECT_EQ(error.find('\n'), std::string::npos);
  }
  EXPECT_EQ(server.Connections(TLoopbackMailServer::Smtp), 0);
}

TEST_F(SmtpClientTest, AddressWithADisplayNameUsesItsAddressInTheEnvelope) {
  notification.From = "Ravenote <ravenote@example.org>";
  client.Send(notification);
  ASSERT_TRUE(server.WaitForMessages(1));
  EXPECT_THAT(server.Commands(TLoopbackMailServer::Smtp),
              ::testing::Contains("MAIL FROM:<ravenote@example.org>"));
  EXPECT_EQ(MailHeader(server.Messages().at(0), "From"), "Ravenote <ravenote@example.org>");
}

TEST_F(SmtpClientTest, QuotedDisplayNameMayHoldAComma) {
  notification.From = "\"Doe, Ann \\\"Ravenote\\\"\" <ravenote@example.org>";
  client.Send(notification);
  ASSERT_TRUE(server.WaitForMessages(1));
  EXPECT_THAT(server.Commands(TLoopbackMailServer::Smtp),
              ::testing::Contains("MAIL FROM:<ravenote@example.org>"));
}

TEST_F(SmtpClientTest, EmptyRecipientIsLeftToTheServerAndFailsClearly) {
  server.SetRefuseRecipient(true);
  notification.To = "";
  EXPECT_THAT(FailingSend(notification), HasSubstr("Recipient address rejected"));
  EXPECT_THAT(server.Messages(), IsEmpty());
}

TEST_F(SmtpClientTest, BadServerSettingsFailBeforeConnecting) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "No SMTP server is set"},
      {"   ", "No SMTP server is set"},
      {"127.0.0.1:0", "no valid port"},
      {"127.0.0.1:99999", "no valid port"},
      {"127.0.0.1:", "no valid port"},
      {"127.0.0.1:25x", "no valid port"},
      {"mail.example.org/path", "not a valid host"},
      {"user@mail.example.org", "not a valid host"},
      {"mail.example.org\r\n", "control character"},
      {"[::1", "not a valid host"},
  };
  for (const auto& [host, words] : cases) {
    SCOPED_TRACE(host);
    client.SetHost(host);
    EXPECT_THAT(FailingSend(notification), HasSubstr(words));
  }
  EXPECT_EQ(server.Connections(TLoopbackMailServer::Smtp), 0);
}

}  // namespace
}  // namespace rn
