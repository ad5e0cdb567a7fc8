// The inbox pass on the fake Outlook: which messages are urgent, what is sent
// and remembered, the walk's end, its pauses, the purge, the gate and failures.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/state_files.h"
#include "platform/text.h"
#include "scan_fixture.h"
#include "shell/carriers.h"

namespace rn::test {
namespace {

constexpr const char* kPhone = "5551234567@text.example.net";

FakeMail Mail(const std::string& subject, const std::string& body, TDateTime received,
              int importance = olImportanceHigh, bool unread = true) {
  FakeMail m;
  m.Subject = subject;
  m.Body = body;
  m.ReceivedTime = received;
  m.Importance = importance;
  m.UnRead = unread;
  return m;
}

class EmailScan : public ScanTest {
 protected:
  EmailScan() {
    rig.settings.SetService(kCustomService);
    rig.settings.SetCustomEmail(kPhone);
  }
  std::vector<std::string> SentSubjects() const {
    std::vector<std::string> subjects;
    for (const TMailMessage& m : rig.smtp.Sent)
      subjects.push_back(m.Subject);
    return subjects;
  }
  TDateTime HourAgo() { return ScanNow() - kOneHour; }
};

TEST(EmailScanSelection, OnlyUnreadHighImportanceMailOfTheLastDayIsSent) {
  const struct {
    const char* what;
    FakeMail mail;
    bool sent;
  } cases[] = {
      {"urgent, an hour old", Mail("A", "b", ScanNow() - kOneHour), true},
      {"urgent, exactly a day old", Mail("A", "b", ScanNow() - kOneDay), true},
      {"urgent, 25 hours old", Mail("A", "b", ScanNow() - 25 * kOneHour), false},
      {"high importance but read", Mail("A", "b", ScanNow(), olImportanceHigh, false), false},
      {"unread, normal importance", Mail("A", "b", ScanNow(), 1), false},
      {"unread, low importance", Mail("A", "b", ScanNow(), 0), false},
  };
  for (const auto& c : cases) {
    FakeOutlook outlook;
    outlook.Mails.push_back(c.mail);
    EngineRig rig(ScanNow(), &outlook);
    rig.processor->CheckUrgentEmail();
    EXPECT_EQ(rig.smtp.Sent.size(), c.sent ? 1u : 0u) << c.what;
    EXPECT_EQ(rig.processor->Emails.Count(), c.sent ? 1 : 0) << c.what;
  }
}

TEST_F(EmailScan, SendsSubjectAndBodyStartToThePhone) {
  outlook.Mails.push_back(Mail("Server down", "The main server has stopped", HourAgo()));
  processor.CheckUrgentEmail();

  ASSERT_EQ(rig.smtp.Sent.size(), 1u);
  EXPECT_EQ(rig.smtp.Sent[0].Subject, "Urgent Email:Server downThe main server has stopped");
  EXPECT_EQ(rig.smtp.Sent[0].To, DestinationAddress(rig.settings.Snapshot()));
  EXPECT_EQ(rig.smtp.Sent[0].To, kPhone);
  EXPECT_EQ(rig.smtp.Sent[0].Body, "");
  ASSERT_EQ(Keys(processor.Emails),
            std::vector<std::string>{"Server downThe main server has stopped"});
  EXPECT_EQ(processor.Emails.At(0).Name, "Server downThe main server has stopped");
  EXPECT_EQ(processor.Emails.At(0).AddedTime, ScanNow());
  EXPECT_EQ(processor.NextInboxScan, ScanNow() + 1.0 / 96);
}

TEST_F(EmailScan, BodyContributesItsFirst160Characters) {
  std::string body;
  for (int i = 0; i < 200; ++i)
    body += "\xC3\xA9";  // é, two bytes each
  outlook.Mails.push_back(Mail("S", body, HourAgo()));
  processor.CheckUrgentEmail();

  const std::string text = "S" + body.substr(0, 320);
  ASSERT_EQ(SentSubjects(), std::vector<std::string>{"Urgent Email:" + text});
  // The key is cut to 255 bytes on a character boundary.
  ASSERT_EQ(processor.Emails.Count(), 1);
  EXPECT_EQ(processor.Emails.Key(0), text.substr(0, 255));
}

TEST_F(EmailScan, LongTextIsSentWholeAndKeyedByItsFirst255Characters) {
  const std::string subject(140, 's');
  const std::string body = std::string(150, 'b') + "FIRST" + std::string(50, 'z');
  std::string other = body;
  other[152] = 'X';  // character 292 of the mail text: past the key
  outlook.Mails.push_back(Mail(subject, body, HourAgo()));
  outlook.Mails.push_back(Mail(subject, other, HourAgo()));
  processor.CheckUrgentEmail();

  const std::string text = subject + body.substr(0, 160);
  ASSERT_EQ(text.size(), 300u);
  EXPECT_EQ(SentSubjects(), std::vector<std::string>{"Urgent Email:" + text});
  EXPECT_EQ(Keys(processor.Emails), std::vector<std::string>{text.substr(0, 255)});
}

TEST_F(EmailScan, SameTextIsSentOnce) {
  outlook.Mails.push_back(Mail("Fire drill", "At noon", HourAgo()));
  outlook.Mails.push_back(Mail("Fire drill", "At noon", HourAgo()));  // a copy
  outlook.Mails.push_back(Mail("FIRE DRILL", "at NOON", HourAgo()));  // letter case only
  processor.CheckUrgentEmail();
  EXPECT_EQ(SentSubjects(), std::vector<std::string>{"Urgent Email:Fire drillAt noon"});

  rig.clock.Advance(1.0 / 96);
  processor.CheckUrgentEmail();  // still unread on the next pass
  EXPECT_EQ(rig.smtp.Sent.size(), 1u);
  EXPECT_EQ(processor.Emails.Count(), 1);
}

TEST_F(EmailScan, RecordIsPurgedADayLaterWhenTheMessageNoLongerQualifies) {
  outlook.Mails.push_back(Mail("Fire drill", "At noon", HourAgo()));
  processor.CheckUrgentEmail();
  ASSERT_EQ(processor.Emails.Count(), 1);

  rig.clock.Set(ScanNow() + kOneDay + kOneMinute);
  processor.CheckUrgentEmail();
  EXPECT_EQ(processor.Emails.Count(), 0);
  EXPECT_EQ(rig.smtp.Sent.size(), 1u);
}

TEST_F(EmailScan, InboxWithoutUnreadMailIsNotWalked) {
  outlook.Mails.push_back(Mail("Old", "news", HourAgo(), olImportanceHigh, false));
  outlook.Mails.push_back(Mail("Older", "news", HourAgo(), olImportanceHigh, false));
  auto stale = std::make_unique<TEmailItem>();
  stale->Name = "stale";
  stale->AddedTime = ScanNow() - kOneDay - kOneMinute;
  processor.Emails.Add("stale", std::move(stale));
  processor.CheckUrgentEmail();
  EXPECT_EQ(outlook.Calls("UnReadItemCount"), 1);
  EXPECT_EQ(outlook.Calls("Item"), 0);
  EXPECT_EQ(processor.Emails.Count(), 0);  // the purge ran
}

TEST_F(EmailScan, EmptyInboxCostsOneCount) {
  processor.CheckUrgentEmail();
  EXPECT_EQ(outlook.Calls("Count"), 1);
  EXPECT_EQ(outlook.Calls("UnReadItemCount"), 0);
}

TEST_F(EmailScan, PausesOnlyAfterAnUrgentMessage) {
  outlook.Mails.push_back(Mail("Urgent", "x", HourAgo()));
  outlook.Mails.push_back(Mail("Urgent", "x", HourAgo()));  // urgent, already sent
  outlook.Mails.push_back(Mail("Read", "x", HourAgo(), olImportanceHigh, false));
  outlook.Mails.push_back(Mail("Normal", "x", HourAgo(), 1));
  outlook.Mails.push_back(Mail("Old", "x", ScanNow() - 2 * kOneDay));
  outlook.Mails.push_back(Mail("Read too", "x", HourAgo(), 1, false));
  processor.CheckUrgentEmail();
  EXPECT_EQ(outlook.Calls("Item"), 6);
  EXPECT_NEAR(Now() - ScanNow(), 2 * 54 / 86400000.0, 1e-9);
}

// 2 463 unread mails of normal importance used to hold the walk for 133 s
// of pauses, so the next pass came after the meeting's minute of grace and
// its reminder was lost.
TEST(EmailScanLoop, LargeUnreadInboxDoesNotHoldBackAMeetingReminder) {
  FakeOutlook outlook;
  FakeAppointment meeting;
  meeting.Subject = "Standup";
  meeting.Start = EncodeDateTime(2026, 3, 10, 10, 15);  // reminder at 10:00
  outlook.Appointments.push_back(meeting);
  for (int i = 0; i < 2463; ++i)
    outlook.Mails.push_back(Mail("News " + std::to_string(i), "", ScanNow() - 3 * kOneDay, 1));
  EngineRig rig(EncodeDateTime(2026, 3, 10, 9, 57), &outlook);
  rig.settings.SetEarlyTime(EncodeTime(7, 0));
  rig.settings.SetLateTime(EncodeTime(19, 0));
  rig.settings.SetMeetingNotify(true);
  rig.settings.SetUrgentEmail(true);
  rig.wake.OnWait = [&](unsigned) {
    if (rig.wake.Waits.size() >= 2)
      rig.processor->Stop();
  };
  rig.processor->Execute();

  ASSERT_EQ(rig.smtp.Sent.size(), 1u);
  EXPECT_NE(rig.smtp.Sent[0].Subject.find(":Standup"), std::string::npos);
}

// The record of a forwarded mail is on disk at the end of the pass that sent
// it, even when nothing else changed: a crash before the next pass cannot
// send it again.
TEST(EmailScanLoop, ForwardedMailIsSavedByThePassThatSentIt) {
  FakeOutlook outlook;
  outlook.Mails.push_back(Mail("Server down", "Call ops", ScanNow() - kOneHour));
  EngineRig rig(ScanNow(), &outlook);
  rig.settings.SetEarlyTime(EncodeTime(7, 0));
  rig.settings.SetLateTime(EncodeTime(19, 0));
  rig.settings.SetUrgentEmail(true);
  rig.processor->RunPass();
  ASSERT_EQ(rig.smtp.Sent.size(), 1u);

  TEmailList saved;
  ReadEmailFile(rig.folder / kEmailFile, saved);
  ASSERT_EQ(saved.Count(), 1);
  EXPECT_EQ(saved.Key(0), "Server downCall ops");
}

TEST_F(EmailScan, WalkEndsOnceNoUnreadMailIsLeft) {
  for (int i = 0; i < 4; ++i)
    outlook.Mails.push_back(Mail("M" + std::to_string(i), "", HourAgo(), 1));
  int fetches = 0;
  outlook.OnCall = [&](const std::string& member) {
    if (member == "Item" && ++fetches == 2)
      outlook.UnReadOverride = 0;
  };
  processor.CheckUrgentEmail();
  EXPECT_EQ(outlook.Calls("Item"), 2);
}

TEST_F(EmailScan, StopDuringTheWalkStillPurges) {
  outlook.Mails.push_back(Mail("First", "x", HourAgo()));
  outlook.Mails.push_back(Mail("Second", "x", HourAgo()));
  auto stale = std::make_unique<TEmailItem>();
  stale->Name = "stale";
  stale->AddedTime = ScanNow() - kOneDay - kOneMinute;
  processor.Emails.Add("stale", std::move(stale));
  outlook.OnCall = [&](const std::string& member) {
    if (member == "Item")
      processor.Stop();
  };
  processor.CheckUrgentEmail();
  EXPECT_EQ(outlook.Calls("Item"), 1);
  EXPECT_EQ(SentSubjects(), std::vector<std::string>{"Urgent Email:Firstx"});
  EXPECT_EQ(Keys(processor.Emails), std::vector<std::string>{"Firstx"});
}

TEST_F(EmailScan, FailureInTheWalkReachesTheLoopWithoutPurging) {
  outlook.Mails.push_back(Mail("First", "x", HourAgo()));
  outlook.Mails.push_back(Mail("Broken", "x", HourAgo()));
  outlook.Mails.back().Fail = {"ReceivedTime"};
  auto stale = std::make_unique<TEmailItem>();
  stale->Name = "stale";
  stale->AddedTime = ScanNow() - kOneDay - kOneMinute;
  processor.Emails.Add("stale", std::move(stale));
  EXPECT_THROW(processor.CheckUrgentEmail(), EOleError);
  EXPECT_EQ(rig.smtp.Sent.size(), 1u);
  EXPECT_GE(processor.Emails.Find("stale"), 0);
  EXPECT_EQ(processor.NextInboxScan, ScanNow() + 1.0 / 96);
}

TEST(EmailScanFailure, NoInboxReachesTheLoop) {
  for (bool nullNamespace : {true, false}) {
    FakeOutlook outlook;
    outlook.NullNamespace = nullNamespace;
    outlook.MissingFolders = {olFolderInbox};
    EngineRig rig(ScanNow(), &outlook);
    EXPECT_THROW(rig.processor->CheckUrgentEmail(), EOleError);
  }
}

TEST_F(EmailScan, RunsAtMostEveryFifteenMinutes) {
  processor.CheckUrgentEmail();
  rig.clock.Advance(14 * kOneMinute);
  processor.CheckUrgentEmail();
  EXPECT_EQ(outlook.Calls("GetDefaultFolder(6)"), 1);
  EXPECT_EQ(Messages(), (std::vector<std::string>{"Getting Inbox", "Got Inbox"}));
  rig.clock.Set(ScanNow() + 1.0 / 96);
  processor.CheckUrgentEmail();
  EXPECT_EQ(outlook.Calls("GetDefaultFolder(6)"), 2);
}

TEST_F(EmailScan, FailedSendKeepsTheRecordAndIsNotRepeated) {
  rig.smtp.FailWith = "550 relay refused";
  outlook.Mails.push_back(Mail("Fire drill", "At noon", HourAgo()));
  processor.CheckUrgentEmail();
  EXPECT_EQ(rig.host.Errors.size(), 1u);
  EXPECT_EQ(processor.Emails.Count(), 1);

  rig.clock.Advance(1.0 / 96);
  processor.CheckUrgentEmail();
  EXPECT_EQ(rig.smtp.Events.size(), 1u);
}

}  // namespace
}  // namespace rn::test
