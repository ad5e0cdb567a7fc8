// SendNewEmail and the pending test message through the real SMTP and POP3
// clients, against the loopback mail server: the order of the connections,
// what reaches the user when a server refuses, and that every connection is
// closed whatever happens.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include "engine/pop3_client.h"
#include "engine/processor.h"
#include "engine/smtp_client.h"
#include "engine_fixture.h"
#include "fakes.h"
#include "mail_server.h"
#include "mail_text.h"

namespace rn {
namespace {

using test::DecodeMail;
using test::MailHeader;
using test::TLoopbackMailServer;
using ::testing::AnyOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::SizeIs;
using ::testing::StartsWith;

constexpr const char* kPhone = "5551234567@vtext.com";

// A processor whose mail goes through TSmtpClient and TPop3Client to the
// loopback server, with the settings carrying host and credentials into the
// SMTP client as the tray window's settings do.
struct MailRig {
  explicit MailRig(TMailTimeouts timeouts = {}, std::chrono::milliseconds sendLimit = kSendLimit)
      : smtp(timeouts), pop3(timeouts), settings(nullptr, &smtp), clock(46000.5), wake(&clock) {
    settings.SetServer(server.SmtpAddress());
    settings.SetPop3Server(server.Pop3Address());
    settings.SetFromEmail("ravenote@example.org");
    settings.SetUserName("bob");
    settings.SetPass("s3cret");
    processor = std::make_unique<TOutlookProcessor>(
        TEngineDeps{settings, host, clock, wake, outlook, smtp, pop3, folder.Path(),
                    [](const std::string&) {}, sendLimit});
  }

  bool Send(const std::string& subject, const std::string& body = "",
            const std::string& to = kPhone) {
    const bool sent = processor->SendNewEmail(to, subject, body);
    EXPECT_TRUE(server.WaitForIdle());
    return sent;
  }

  // Position of an event in the server's record, or -1.
  long IndexOf(const std::string& event) const {
    const auto events = server.Events();
    const auto found = std::find(events.begin(), events.end(), event);
    return found == events.end() ? -1 : found - events.begin();
  }

  TLoopbackMailServer server;
  test::TempFolder folder;
  TSmtpClient smtp;
  TPop3Client pop3;
  TSettings settings;
  test::RecordingHost host;
  test::FakeClock clock;
  test::FakeWakeEvent wake;
  test::NullOutlookConnector outlook;
  std::unique_ptr<TOutlookProcessor> processor;
};

TEST(DeliveryTest, WithoutSignInsOneSmtpConnectionAndNoAuth) {
  MailRig rig;
  rig.server.SetAdvertiseAuthLogin(true);  // offered, but MustSignIn is off
  EXPECT_TRUE(rig.Send("10:00:00 AM@loc:Room 4:Budget"));

  EXPECT_THAT(rig.server.Events(), ElementsAre("SMTP open", StartsWith("SMTP EHLO "),
                                               "SMTP MAIL FROM:<ravenote@example.org>",
                                               std::string("SMTP RCPT TO:<") + kPhone + ">",
                                               "SMTP DATA", "SMTP QUIT", "SMTP close"));
  EXPECT_EQ(rig.server.Connections(TLoopbackMailServer::Pop3), 0);
  EXPECT_THAT(rig.host.Errors, IsEmpty());

  const std::string message = rig.server.Messages().at(0);
  EXPECT_EQ(DecodeMail(message).Subject, "10:00:00 AM@loc:Room 4:Budget");
  EXPECT_EQ(DecodeMail(message).Body, "");
  EXPECT_EQ(MailHeader(message, "To"), kPhone);

  std::vector<std::string> lines(rig.processor->Log().Lines().begin(),
                                 rig.processor->Log().Lines().end());
  EXPECT_THAT(lines, Contains(EndsWith(std::string(": SendNewemail to ") + kPhone)));
  EXPECT_THAT(lines, Contains(EndsWith(std::string(": Sent ") + kPhone)));
  EXPECT_THAT(lines, Not(Contains(HasSubstr("Pop Sign in"))));
  EXPECT_THAT(lines, Not(Contains(HasSubstr("Authentication "))));
}

TEST(DeliveryTest, Pop3SignInIsCompleteBeforeTheSmtpConnectionOpens) {
  MailRig rig;
  rig.settings.SetPop3Signin(true);
  EXPECT_TRUE(rig.Send("Tommorrows: 9:00 Standup"));

  EXPECT_THAT(rig.server.Commands(TLoopbackMailServer::Pop3),
              ElementsAre("USER bob", "PASS s3cret", "STAT", "QUIT"));
  // The client waits for the answer to QUIT before it opens the SMTP
  // connection, so QUIT is recorded before the SMTP server sees a connection.
  ASSERT_GE(rig.IndexOf("POP3 QUIT"), 0);
  EXPECT_LT(rig.IndexOf("POP3 QUIT"), rig.IndexOf("SMTP open"));
  EXPECT_THAT(rig.server.Commands(TLoopbackMailServer::Smtp), Not(Contains(StartsWith("AUTH"))));
  EXPECT_THAT(rig.server.Messages(), SizeIs(1));
}

TEST(DeliveryTest, MustSignInAuthenticatesWithTheSettingsCredentials) {
  MailRig rig;
  rig.server.SetAdvertiseAuthLogin(true);
  rig.settings.SetMustSignIn(true);
  rig.settings.SetPop3Signin(true);
  EXPECT_TRUE(rig.Send("Urgent Email:Server down"));

  EXPECT_THAT(rig.server.Commands(TLoopbackMailServer::Smtp), Contains("AUTH LOGIN"));
  EXPECT_THAT(rig.server.SignIns(), ElementsAre("bob|s3cret", "bob|s3cret"));  // POP3, then SMTP
  EXPECT_THAT(rig.server.Messages(), SizeIs(1));
}

TEST(DeliveryTest, RefusedPop3SignInShowsAnErrorAndSendsNothing) {
  MailRig rig;
  rig.settings.SetPop3Signin(true);
  rig.server.SetRefuseSignIn(true);
  EXPECT_FALSE(rig.Send("Tommorrows: 9:00 Standup"));

  ASSERT_THAT(rig.host.Errors, SizeIs(1));
  EXPECT_THAT(rig.host.Errors[0], HasSubstr("-ERR [AUTH] Invalid login"));
  EXPECT_THAT(rig.host.Statuses, Contains(rig.host.Errors[0]));
  EXPECT_EQ(rig.server.Connections(TLoopbackMailServer::Smtp), 0);
}

TEST(DeliveryTest, FailingStatClosesThePop3ConnectionSoTheNextSendSignsIn) {
  MailRig rig;
  rig.settings.SetPop3Signin(true);
  rig.server.SetFailStat(true);
  EXPECT_FALSE(rig.Send("first"));
  EXPECT_THAT(rig.server.Commands(TLoopbackMailServer::Pop3),
              ElementsAre("USER bob", "PASS s3cret", "STAT", "QUIT"));
  EXPECT_EQ(rig.server.Connections(TLoopbackMailServer::Smtp), 0);
  ASSERT_THAT(rig.host.Errors, SizeIs(1));
  EXPECT_THAT(rig.host.Errors[0], HasSubstr("mailbox locked"));

  rig.server.SetFailStat(false);
  EXPECT_TRUE(rig.Send("second"));
  EXPECT_EQ(rig.server.Connections(TLoopbackMailServer::Pop3), 2);
  ASSERT_THAT(rig.server.Messages(), SizeIs(1));
  EXPECT_EQ(DecodeMail(rig.server.Messages()[0]).Subject, "second");
}

TEST(DeliveryTest, RefusedRecipientShowsTheServersWordsAndClosesTheConnection) {
  MailRig rig;
  rig.server.SetRefuseRecipient(true);
  EXPECT_FALSE(rig.Send("10:00:00 AM@loc::Review"));

  ASSERT_THAT(rig.host.Errors, SizeIs(1));
  EXPECT_THAT(rig.host.Errors[0],
              HasSubstr("550 5.1.1 <5551234567@vtext.com>: Recipient address rejected"));
  EXPECT_EQ(rig.server.Events().back(), "SMTP close");
  EXPECT_THAT(rig.server.Commands(TLoopbackMailServer::Smtp), Not(Contains("DATA")));

  // The next send starts from a closed connection and goes through.
  rig.server.SetRefuseRecipient(false);
  EXPECT_TRUE(rig.Send("10:00:00 AM@loc::Review"));
  EXPECT_EQ(rig.server.Connections(TLoopbackMailServer::Smtp), 2);
}

TEST(DeliveryTest, SilentServersGiveUpWithinTheTimeLimit) {
  for (const bool pop3 : {false, true}) {
    SCOPED_TRACE(pop3 ? "POP3" : "SMTP");
    MailRig rig(TMailTimeouts{std::chrono::milliseconds(300), std::chrono::milliseconds(300)});
    rig.settings.SetPop3Signin(pop3);
    rig.server.SetSilent(true);
    EXPECT_FALSE(rig.Send("10:00:00 AM@loc::Review"));
    EXPECT_THAT(rig.host.Errors, SizeIs(1));
    EXPECT_THAT(rig.server.Messages(), IsEmpty());
  }
}

// Where a server can fall silent in the middle of a send.
enum class TSilence { Pop3, SmtpGreeting, SmtpAfterMessage };

struct TSilentCase {
  const char* what;
  TSilence silence;
};

const TSilentCase kSilences[] = {
    {"POP3 server silent", TSilence::Pop3},
    {"SMTP server silent from the start", TSilence::SmtpGreeting},
    {"SMTP server silent after the message's end", TSilence::SmtpAfterMessage},
};

void MakeSilent(MailRig& rig, TSilence silence) {
  rig.settings.SetPop3Signin(silence == TSilence::Pop3);
  if (silence == TSilence::SmtpAfterMessage)
    rig.server.SetSilentAfterData(true);
  else
    rig.server.SetSilent(true);
}

// Far below the clients' own limits of 120 s: a send that is still going
// when it runs out has ignored what should have ended it.
constexpr auto kGuard = std::chrono::seconds(20);

// A stop request (SIGTERM, the window's Exit) ends a send in progress at
// once; the program then ends without an error box, whatever the server does.
TEST(DeliveryTest, StopEndsAMailDialogueInProgress) {
  for (const TSilentCase& c : kSilences) {
    SCOPED_TRACE(c.what);
    MailRig rig;
    MakeSilent(rig, c.silence);
    auto send = std::async(std::launch::async, [&] { return rig.Send("Standup"); });
    if (c.silence == TSilence::SmtpAfterMessage) {
      ASSERT_TRUE(rig.server.WaitForMessages(1));
    } else {
      const auto protocol =
          c.silence == TSilence::Pop3 ? TLoopbackMailServer::Pop3 : TLoopbackMailServer::Smtp;
      for (int i = 0; i < 2000 && rig.server.Connections(protocol) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      ASSERT_EQ(rig.server.Connections(protocol), 1);
    }
    rig.processor->Stop();
    ASSERT_EQ(send.wait_for(kGuard), std::future_status::ready);
    EXPECT_FALSE(send.get());
    EXPECT_THAT(rig.host.Errors, IsEmpty());
    EXPECT_TRUE(rig.server.WaitForIdle());
  }
}

// One limit for the whole send, POP3 sign-in and SMTP together, however the
// time is spent: here it is 800 ms, against the clients' own 120 s.
TEST(DeliveryTest, OneLimitForTheWholeSend) {
  for (const TSilentCase& c : kSilences) {
    for (const bool pop3First : {false, true}) {
      if (c.silence == TSilence::Pop3 && !pop3First)
        continue;
      SCOPED_TRACE(std::string(c.what) + (pop3First ? ", after a POP3 sign-in" : ""));
      MailRig rig({}, std::chrono::milliseconds(800));
      MakeSilent(rig, c.silence);
      rig.settings.SetPop3Signin(pop3First);
      auto send = std::async(std::launch::async, [&] { return rig.Send("Standup"); });
      ASSERT_EQ(send.wait_for(kGuard), std::future_status::ready);
      EXPECT_FALSE(send.get());
      ASSERT_THAT(rig.host.Errors, SizeIs(1));
      EXPECT_THAT(rig.host.Errors[0], AnyOf(HasSubstr("in time"), HasSubstr("timed out")));
    }
  }
}

// Both clients are handed the same deadline, the send's limit from its
// start, and the engine's stop request.
TEST(DeliveryTest, SignInAndTransferShareOneDeadlineAndTheStop) {
  test::EngineRig rig(46000.5);
  rig.settings.SetPop3Signin(true);
  rig.settings.SetFromEmail("ravenote@example.org");
  const auto before = std::chrono::steady_clock::now();
  ASSERT_TRUE(rig.processor->SendNewEmail(kPhone, "Standup", ""));
  const auto after = std::chrono::steady_clock::now();
  ASSERT_THAT(rig.pop3.Controls, SizeIs(1));
  ASSERT_THAT(rig.smtp.Controls, SizeIs(1));
  const TMailControl& signIn = rig.pop3.Controls[0];
  EXPECT_EQ(rig.smtp.Controls[0].Deadline, signIn.Deadline);
  EXPECT_GE(signIn.Deadline, before + kSendLimit);
  EXPECT_LE(signIn.Deadline, after + kSendLimit);
  EXPECT_FALSE(signIn.Stop.stop_requested());
  rig.processor->Stop();
  EXPECT_TRUE(signIn.Stop.stop_requested());
  EXPECT_TRUE(rig.smtp.Controls[0].Stop.stop_requested());
}

TEST(DeliveryTest, AddressWithALineEndOrACommaSendsNothing) {
  MailRig rig;
  rig.settings.SetPop3Signin(true);
  EXPECT_FALSE(rig.Send("Lunch", "", "5551234567@vtext.com\r\nRCPT TO:<evil@example.com>"));
  ASSERT_THAT(rig.host.Errors, SizeIs(1));
  EXPECT_THAT(rig.host.Errors[0], HasSubstr("control character"));

  rig.settings.SetFromEmail("ravenote@example.org\nDATA");
  EXPECT_FALSE(rig.Send("Lunch"));
  EXPECT_THAT(rig.host.Errors, SizeIs(2));

  // A comma would make the destination two addresses: refused alike.
  rig.settings.SetFromEmail("ravenote@example.org");
  EXPECT_FALSE(rig.Send("Lunch", "", "5551234567@vtext.com,evil@example.com"));
  ASSERT_THAT(rig.host.Errors, SizeIs(3));
  EXPECT_THAT(rig.host.Errors[2], HasSubstr("comma"));
  EXPECT_EQ(rig.server.Connections(TLoopbackMailServer::Smtp), 0);
  EXPECT_EQ(rig.server.Connections(TLoopbackMailServer::Pop3), 0);
}

TEST(DeliveryTest, SubjectWithLineEndsStaysOneHeader) {
  MailRig rig;
  EXPECT_TRUE(rig.Send("Review\r\nBcc: everyone@example.com"));
  const std::string message = rig.server.Messages().at(0);
  EXPECT_EQ(MailHeader(message, "Bcc"), "");
  EXPECT_EQ(DecodeMail(message).Subject, "Review  Bcc: everyone@example.com");
}

TEST(DeliveryTest, TestMessageCarriesSubjectAndBodyAndIsSentOnce) {
  MailRig rig;
  rig.processor->SetPendingMessage(kPhone, "first request", "overwritten");
  rig.processor->SetPendingMessage(kPhone, "Ravenote Test message",
                                   "If you got this message Ravenote Notification is working.");
  rig.processor->SendPendingMessage();
  rig.processor->SendPendingMessage();
  ASSERT_TRUE(rig.server.WaitForIdle());

  ASSERT_THAT(rig.server.Messages(), SizeIs(1));
  const auto decoded = DecodeMail(rig.server.Messages()[0]);
  EXPECT_EQ(decoded.Subject, "Ravenote Test message");
  EXPECT_EQ(decoded.Body, "If you got this message Ravenote Notification is working.\r\n");
  EXPECT_THAT(rig.host.Statuses, Contains("Ravenote Test message"));
}

TEST(DeliveryTest, FailedTestMessageIsNotRepeated) {
  MailRig rig;
  rig.server.SetRefuseRecipient(true);
  rig.processor->SetPendingMessage(kPhone, "Ravenote Test message", "body");
  rig.processor->SendPendingMessage();
  rig.processor->SendPendingMessage();
  ASSERT_TRUE(rig.server.WaitForIdle());
  EXPECT_EQ(rig.server.Connections(TLoopbackMailServer::Smtp), 1);
  EXPECT_THAT(rig.host.Errors, SizeIs(1));
}

}  // namespace
}  // namespace rn
