// ravenoted's command line end to end: a person configuring a profile with
// --set alone, reading it back with --show-settings, trying the mail path with
// --test-message; one engine per profile; the folders it refuses; what its
// output shows of hostile texts.
#include <sys/syscall.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ctime>

#include "ravenoted_rig.h"

namespace rn::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// The --set of a person who sends to an address of their own through a
// local relay, every value given in words.
std::vector<std::string> EverydaySet(const TLoopbackMailServer& server) {
  return {"--set",
          "MeetingNotify=on",
          "TaskNotify=on",
          "EarlyTime=00:01",
          "LateTime=23:59",
          "TaskRemindPeriod=weekly",
          "Service=Other",
          "CustomEmail=5551234567@txt.example.net",
          "Server=" + server.SmtpAddress(),
          "FromEmail=me@example.org"};
}

TEST(RavenotedCommandLine, HelpVersionAndOptionsItDoesNotKnow) {
  Home home;
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out, err;
  } cases[] = {
      {{"--help"}, 0, "--set NAME=VALUE", ""},
      {{"--version"}, 0, "ravenoted (Ravenote) ", ""},
      {{"--frobnicate"}, 2, "", "unknown option \"--frobnicate\""},
      {{"--show-settings", "now"}, 2, "", "takes nothing after it"},
      {{"--set"}, 2, "", "at least one NAME=VALUE"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    const Outcome outcome = RunToEnd(home, "cli", c.args);
    EXPECT_EQ(outcome.status, c.status) << outcome.err;
    EXPECT_THAT(outcome.out, HasSubstr(c.out));
    EXPECT_THAT(outcome.err, HasSubstr(c.err));
  }
  // The help names every setting --set takes, the store's places too.
  const std::string help = RunToEnd(home, "help", {"--help"}).out;
  for (const char* name : {"MeetingNotify", "EarlyTime", "Service", "Pass", "Pop3Server",
                           "FromEmail", "Calendar", "Tasks", "Inbox"}) {
    EXPECT_THAT(help, HasSubstr("\n  " + std::string(name) + " ")) << name;
  }
  EXPECT_FALSE(fs::exists(home.RegistryFile()));
}

TEST(RavenotedCommandLine, FreshProfileConfiguredWithSetAloneShowsTestsAndRuns) {
  Home home;
  TLoopbackMailServer server;
  const fs::path calendar = home.root / "calendars" / "personal";
  WriteFile(calendar / "budget.ics", MeetingSoon("Budget review", "Room 4"));

  std::vector<std::string> set = EverydaySet(server);
  set.push_back("Pass=s3cret");
  set.push_back("Calendar=" + calendar.string());
  const Outcome saved = RunToEnd(home, "set", set);
  ASSERT_EQ(saved.status, 0) << saved.err;
  EXPECT_THAT(saved.out, HasSubstr("not configured before"));  // the first-run path is left

  const std::string registry = ReadFile(home.RegistryFile());
  EXPECT_THAT(registry, HasSubstr("\"Version\"=\"01.01.00.005\""));
  EXPECT_THAT(registry, HasSubstr("\"TaskRemindPeriod\"=dword:00000003"));
  EXPECT_THAT(registry, Not(HasSubstr("s3cret")));  // stored scrambled
  struct stat info {};
  ASSERT_EQ(::stat(home.RegistryFile().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  const Outcome shown = RunToEnd(home, "show", {"--show-settings"});
  ASSERT_EQ(shown.status, 0) << shown.err;
  for (const char* line :
       {"Version           01.01.00.005", "MeetingNotify     on", "MorningNotify     off",
        "TaskRemindPeriod  weekly", "EarlyTime         00:01", "LateTime          23:59",
        "Service           Other (including Text Pagers) (8)", "Pass              set",
        "Messages go to    5551234567@txt.example.net", "Engine            not running"}) {
    EXPECT_THAT(shown.out, HasSubstr(std::string(line) + "\n")) << line;
  }
  EXPECT_THAT(shown.out, HasSubstr("Calendar          " + calendar.string() + "\n"));

  const Outcome tried = RunToEnd(home, "test", {"--test-message"});
  ASSERT_EQ(tried.status, 0) << tried.err;
  EXPECT_THAT(tried.out, HasSubstr("The test message was sent."));
  ASSERT_TRUE(server.WaitForMessages(1));
  const TDecodedMail test = DecodeMail(server.Messages()[0]);
  EXPECT_EQ(test.Subject, "Ravenote Test message");
  EXPECT_THAT(test.Body, HasSubstr("If you got this message Ravenote Notification is working."));
  EXPECT_FALSE(fs::exists(home.ProgramFolder() / "DEBUG.LOG"));  // the engine's own file

  Ravenoted program(home, "run");
  ASSERT_TRUE(server.WaitForMessages(2, kPatience)) << Report(program, home);
  EXPECT_EQ(program.Stop(), 0);
  EXPECT_THAT(Subjects(server)[1], HasSubstr("@loc:Room 4:Budget review"));
  EXPECT_THAT(program.Err(), Not(HasSubstr("Welcome")));
}

TEST(RavenotedCommandLine, BadNamesAndValuesAreRefusedAndWriteNothing) {
  Home home;
  const std::string stored = RegistryText(Config{});
  WriteFile(home.RegistryFile(), stored);
  struct Case {
    std::vector<std::string> assignments;
    std::string said;
  } cases[] = {
      {{"MeetingNotify=maybe"}, "MeetingNotify takes on or off"},
      {{"EarlyTime=25:00"}, "EarlyTime takes a time of day"},
      {{"LateTime=7"}, "LateTime takes a time of day"},
      {{"Service=42"}, "Service takes a carrier's number"},
      {{"Service=Acme"}, "no carrier has that name"},
      {{"TaskRemindPeriod=fortnightly"}, "TaskRemindPeriod takes hourly"},
      {{"Pin=555-1234"}, "Pin takes the phone number's ten digits"},
      {{"CustomEmail=nobody"}, "an address needs an @"},
      {{"FromEmail=me@example.org\r\nRCPT TO:<x@y>"}, "FromEmail takes"},
      {{"Server=smtp example.com"}, "is not a valid host name"},
      {{"Top=high"}, "Top takes a whole number"},
      {{"Calendar=/tmp/\x1b[2J"}, "control character"},
      {{"NoSuchSetting=1"}, "there is no setting \"NoSuchSetting\""},
      {{"MeetingNotify"}, "is not NAME=VALUE"},
      // The good ones before a bad one are not written either.
      {{"MeetingNotify=on", "Server=relay.example.org", "LateTime=evening"}, "LateTime takes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.assignments));
    std::vector<std::string> args = {"--set"};
    args.insert(args.end(), c.assignments.begin(), c.assignments.end());
    const Outcome outcome = RunToEnd(home, "bad", args);
    EXPECT_EQ(outcome.status, 2);
    EXPECT_THAT(outcome.err, HasSubstr(c.said));
    EXPECT_THAT(outcome.err, HasSubstr("Nothing was written."));
    EXPECT_EQ(ReadFile(home.RegistryFile()), stored);
  }
  // Names are the registry's: letter case does not matter.
  const Outcome fine = RunToEnd(home, "fine", {"--set", "meetingnotify=ON", "service=sprint"});
  EXPECT_EQ(fine.status, 0) << fine.err;
  EXPECT_THAT(RunToEnd(home, "show", {"--show-settings"}).out,
              HasSubstr("Service           Sprint PCS (4)\n"));
}

TEST(RavenotedCommandLine, ADamagedOrIncompleteRegistryFileIsAnErrorAndStaysAsItIs) {
  struct Case {
    const char* what;
    std::string file;
    std::string said;
  } cases[] = {
      {"damaged", "this is not a registry file\n\"Version\"=dword:zz\n", "Error Reading Registry"},
      {"a value missing",
       [] {
         std::string text = RegistryText(Config{});
         text.erase(text.find("\"MeetingNotify\""),
                    text.find("\"MorningNotify\"") - text.find("\"MeetingNotify\""));
         return text;
       }(),
       "registry value MeetingNotify is missing"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Home home;
    WriteFile(home.RegistryFile(), c.file);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--set", "TaskNotify=on"}, {"--show-settings"}, {"--test-message"}}) {
      SCOPED_TRACE(args[0]);
      const Outcome outcome = RunToEnd(home, "damaged", args);
      EXPECT_EQ(outcome.status, 2);
      EXPECT_THAT(outcome.err, HasSubstr(c.said));
      EXPECT_THAT(outcome.err, HasSubstr(home.RegistryFile().string()));
      EXPECT_EQ(ReadFile(home.RegistryFile()), c.file);
    }
  }
}

TEST(RavenotedCommandLine, TestMessageGoesTheConfiguredWayAndSaysHowItWent) {
  struct Case {
    const char* what;
    std::vector<std::string> set;  // after the everyday settings
    std::function<void(TLoopbackMailServer&)> arrange;
    int status;
    std::string said;
  } cases[] = {
      {"plain SMTP", {}, [](TLoopbackMailServer&) {}, 0, "The test message was sent."},
      {"POP3 sign-in first, the password read from standard input",
       {"UserName=ann", "Pass=-", "Pop3Signin=on"},
       [](TLoopbackMailServer&) {},
       0,
       "after signing in to"},
      {"recipient refused",
       {},
       [](TLoopbackMailServer& server) { server.SetRefuseRecipient(true); },
       1,
       "Recipient address rejected"},
      {"POP3 sign-in refused",
       {"UserName=ann", "Pass=-", "Pop3Signin=on"},
       [](TLoopbackMailServer& server) { server.SetRefuseSignIn(true); },
       1,
       "The test message could not be sent"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Home home;
    TLoopbackMailServer server;
    std::vector<std::string> set = EverydaySet(server);
    set.push_back("Pop3Server=" + server.Pop3Address());
    set.insert(set.end(), c.set.begin(), c.set.end());
    const Outcome saved = RunToEnd(home, "set", RunOptions{set, {}, "s3cret\n"});
    ASSERT_EQ(saved.status, 0) << saved.err;
    c.arrange(server);

    const Outcome outcome = RunToEnd(home, "test", {"--test-message"});
    EXPECT_EQ(outcome.status, c.status) << outcome.err;
    EXPECT_THAT(outcome.out + outcome.err, HasSubstr(c.said));
    ASSERT_TRUE(server.WaitForIdle());
    EXPECT_EQ(server.Messages().size(), c.status == 0 ? 1u : 0u);
    if (c.set.empty())
      continue;
    // The sign-in comes first, with the password given on standard input.
    ASSERT_FALSE(server.Commands(TLoopbackMailServer::Pop3).empty());
    EXPECT_EQ(server.Commands(TLoopbackMailServer::Pop3)[0], "USER ann");
    EXPECT_THAT(server.SignIns(), testing::Contains("ann|s3cret"));
    EXPECT_EQ(server.Events()[0], "POP3 open");
  }
}

TEST(RavenotedCommandLine, TestMessageBeforeAnythingIsConfiguredSaysSo) {
  Home home;
  const Outcome outcome = RunToEnd(home, "test", {"--test-message"});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_THAT(outcome.err, HasSubstr("not configured yet"));
  EXPECT_FALSE(fs::exists(home.RegistryFile()));
}

TEST(RavenotedCommandLine, OneEnginePerProgramFolder) {
  Home home;
  WriteFile(home.RegistryFile(), RegistryText(Config{}));
  Ravenoted first(home, "first");
  ASSERT_TRUE(Eventually([&] { return first.Passes() >= 1; })) << first.Err();
  const std::string holder = "ravenoted (process " + std::to_string(first.Pid()) + ")";

  const Outcome second = RunToEnd(home, "second", RunOptions{});
  EXPECT_EQ(second.status, 1);
  EXPECT_THAT(second.err, HasSubstr("already running"));
  EXPECT_THAT(second.err, HasSubstr(holder));
  EXPECT_THAT(second.out, Not(HasSubstr("Processor Idle.")));  // no engine of its own

  // The commands that need no engine work beside it, and tell of it.
  EXPECT_THAT(RunToEnd(home, "show", {"--show-settings"}).out,
              HasSubstr("Engine            " + holder + " is running\n"));
  const Outcome set = RunToEnd(home, "set", {"--set", "TaskNotify=on"});
  EXPECT_EQ(set.status, 0) << set.err;
  EXPECT_THAT(set.out, HasSubstr("kill -HUP " + std::to_string(first.Pid())));

  EXPECT_EQ(first.Stop(), 0) << first.Err();
  struct stat info {};
  ASSERT_EQ(::lstat((home.ProgramFolder() / "RAVENOTE.LCK").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  // Once the first has ended, the folder is free again.
  Ravenoted again(home, "again");
  ASSERT_TRUE(Eventually([&] { return again.Passes() >= 1; })) << again.Err();
  EXPECT_EQ(again.Stop(), 0);
}

TEST(RavenotedCommandLine, SighupReadsTheStoreLocationsAgain) {
  Home home;
  TLoopbackMailServer server;
  const fs::path before = home.root / "old-calendar";
  const fs::path after = home.root / "new-calendar";
  WriteFile(before / "budget.ics", MeetingSoon("Budget review", "Room 4"));
  WriteFile(after / "budget.ics", MeetingSoon("Budget review", "Room 9"));
  std::vector<std::string> set = EverydaySet(server);
  set.push_back("MeetingNotify=off");  // no calendar scan yet
  set.push_back("Calendar=" + before.string());
  ASSERT_EQ(RunToEnd(home, "set", set).status, 0);

  Ravenoted program(home, "run");
  ASSERT_TRUE(Eventually([&] { return program.Passes() >= 1; })) << program.Err();
  const Outcome moved =
      RunToEnd(home, "move", {"--set", "Calendar=" + after.string(), "MeetingNotify=on"});
  ASSERT_EQ(moved.status, 0) << moved.err;
  program.Signal(SIGHUP);
  ASSERT_TRUE(server.WaitForMessages(1, kPatience)) << Report(program, home);
  EXPECT_THAT(Subjects(server)[0], HasSubstr("@loc:Room 9:Budget review"));
  EXPECT_EQ(program.Stop(), 0);
  EXPECT_EQ(server.Messages().size(), 1u);
}

TEST(RavenotedCommandLine, RefusesToRunWithoutAFolderOfTheUsersOwn) {
  struct Case {
    const char* what;
    std::map<std::string, std::optional<std::string>> env;
    std::function<void(const Home&)> arrange;
    std::string said;
  } cases[] = {
      {"no home",
       {{"HOME", std::nullopt},
        {"XDG_STATE_HOME", std::nullopt},
        {"XDG_CONFIG_HOME", std::nullopt},
        {"XDG_DATA_HOME", std::nullopt}},
       [](const Home&) {},
       "HOME is not set"},
      {"a relative home",
       {{"HOME", "home"}, {"XDG_STATE_HOME", std::nullopt}},
       [](const Home&) {},
       "HOME is not an absolute path"},
      {"a program folder others may write to",
       {},
       [](const Home& home) {
         home.MakeProgramFolder();
         fs::permissions(home.ProgramFolder(), fs::perms::all);
       },
       "may be written by others (mode 0777)"},
      {"a settings folder its group may write to",
       {},
       [](const Home& home) {
         fs::permissions(home.RegistryFile().parent_path(), fs::perms::group_write,
                         fs::perm_options::add);
       },
       "may be written by its group (mode 0720)"},
      {"a program folder that is a file",
       {},
       [](const Home& home) {
         fs::create_directories(home.State());
         WriteFile(home.ProgramFolder(), "");
       },
       "is not a folder"},
      {"a lock file that is a link",
       {},
       [](const Home& home) {
         home.MakeProgramFolder();
         fs::create_symlink(home.root / "elsewhere", home.ProgramFolder() / "RAVENOTE.LCK");
       },
       "symbolic link"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Home home;
    WriteFile(home.RegistryFile(), RegistryText(Config{}));
    c.arrange(home);
    const Outcome outcome = RunToEnd(home, "refused", RunOptions{{}, c.env, {}});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_THAT(outcome.err, HasSubstr(c.said));
    EXPECT_THAT(outcome.out, Not(HasSubstr("Processor Idle.")));
    EXPECT_FALSE(fs::exists(home.root / "elsewhere"));  // nothing written through the link
  }
}

TEST(RavenotedCommandLine, ControlCharactersInTextsAreEscapedOnOutputAndError) {
  Home home;
  TLoopbackMailServer server;
  const fs::path calendar = home.root / "calendar";
  // A subject that tries to start a line of its own and to clear the screen.
  WriteFile(calendar / "forged.ics",
            MeetingSoon("Budget\\nravenoted: forged line\x1b[2J\x07", "Room 4"));
  std::vector<std::string> set = EverydaySet(server);
  set.push_back("Calendar=" + calendar.string());
  ASSERT_EQ(RunToEnd(home, "set", set).status, 0);

  Ravenoted program(home, "run");
  ASSERT_TRUE(server.WaitForMessages(1, kPatience)) << Report(program, home);
  ASSERT_TRUE(Eventually([&] { return program.Err().find(":Notificed") != std::string::npos; }))
      << program.Err();
  EXPECT_EQ(program.Stop(), 0);

  for (const std::string& output : {program.Out(), program.Err()}) {
    EXPECT_EQ(output.find('\x1b'), std::string::npos) << output;
    EXPECT_EQ(output.find('\x07'), std::string::npos) << output;
    EXPECT_EQ(output.find('\r'), std::string::npos) << output;
    for (const std::string& line : Lines(output))
      EXPECT_THAT(line, Not(testing::StartsWith("ravenoted: forged"))) << output;
  }
  EXPECT_THAT(program.Out(), HasSubstr("Budget\\nravenoted: forged line\\x1b[2J\\x07"));
  EXPECT_THAT(program.Err(), HasSubstr("Event:"));
  EXPECT_THAT(program.Err(), HasSubstr("Budget\\nravenoted: forged line\\x1b[2J\\x07:Notificed"));
}

// The main thread sleeps in sigwaitinfo without a time limit until a signal
// comes or the engine ends: between passes nothing in the program wakes.
TEST(RavenotedCommandLine, MainThreadSleepsUntilASignalComes) {
  Home home;
  WriteFile(home.RegistryFile(), RegistryText(Config{}));
  Ravenoted program(home, "run");
  ASSERT_TRUE(Eventually([&] { return program.Passes() >= 1; })) << program.Err();
  const fs::path syscallFile = "/proc/" + std::to_string(program.Pid()) + "/syscall";
  std::string syscall;
  const bool asleep = Eventually([&] {
    syscall = ReadFile(syscallFile);
    return syscall.rfind(std::to_string(SYS_rt_sigtimedwait) + " ", 0) == 0;
  });
  if (syscall.empty())
    GTEST_SKIP() << syscallFile << " cannot be read here";
  ASSERT_TRUE(asleep) << syscall;
  // The arguments: the set, the info, the time limit (none), the set's size.
  std::istringstream fields(syscall);
  std::string number, set, info, limit;
  fields >> number >> set >> info >> limit;
  EXPECT_EQ(limit, "0x0") << syscall;
  EXPECT_EQ(program.Stop(), 0);
}

}  // namespace
}  // namespace rn::test
