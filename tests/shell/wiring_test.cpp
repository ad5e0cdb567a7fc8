#include "shell/wiring.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "fakes.h"
#include "mail_server.h"
#include "mail_text.h"
#include "platform/named_event.h"
#include "shell/carriers.h"

namespace rn {
namespace {

namespace fs = std::filesystem;
using ::testing::Contains;
using ::testing::HasSubstr;

// Long enough never to run out on a loaded machine; what is awaited comes
// at once, so the tests never sit through it.
constexpr unsigned kPatienceMs = 60000;

class SettingsHost : public ISettingsHost {
 public:
  void ShowWelcome(const std::string& text) override { Welcomes.push_back(text); }
  void ShowRegistryError(const std::string& text) override { Errors.push_back(text); }
  void PostOpenWizard() override {}
  int ScreenWidth() override { return 1920; }
  int ScreenHeight() override { return 1080; }
  int WindowTop() override { return 0; }
  int WindowLeft() override { return 0; }
  void SetWindowTop(int) override {}
  void SetWindowLeft(int) override {}
  void SetSwitchChecked(TSwitch, bool) override {}
  std::vector<std::string> Welcomes, Errors;
};

std::string Event(const std::string& uid) {
  return "BEGIN:VEVENT\r\nUID:" + uid +
         "\r\nDTSTAMP:20261201T120000Z\r\nDTSTART:20261212T090000Z\r\n"
         "DTEND:20261212T100000Z\r\nSUMMARY:" +
         uid + "\r\nEND:VEVENT\r\n";
}

void WriteCalendar(const fs::path& file, const std::vector<std::string>& uids) {
  fs::create_directories(file.parent_path());
  std::string text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n";
  for (const std::string& uid : uids)
    text += Event(uid);
  std::ofstream(file, std::ios::binary) << text << "END:VCALENDAR\r\n";
}

// A user's folders in a temporary folder, and a wake event of the test's own.
class Wiring : public ::testing::Test {
 protected:
  Wiring() {
    paths.RegistryFile = home / "config/ravenote/registry.reg";
    paths.ProgramFolder = home / "state";
    paths.WakeEventName = std::string("test-wiring-") +
                          ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-" +
                          std::to_string(::getpid());
    EnsureFolder(paths.ProgramFolder);
    ::setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);  // the default store
    TNamedEvent::Remove(paths.WakeEventName);
  }
  ~Wiring() override { TNamedEvent::Remove(paths.WakeEventName); }

  void WriteStoreKey(const std::string& calendar) {
    TRegistry(paths.RegistryFile).UpdateKey(kStoreKey, [&](TRegKey& key) {
      key.WriteString("Calendar", calendar);
    });
  }

  // The settings of a user who sends to an address of their own.
  static void Configure(TSettings& settings, const test::TLoopbackMailServer& server) {
    settings.SetService(kCustomService);
    settings.SetCustomEmail("phone@example.org");
    settings.SetFromEmail("ravenote@example.org");
    settings.SetServer(server.SmtpAddress());
  }

  test::TempFolder home;
  TWiringPaths paths;
  SettingsHost host;
};

int CalendarCount(IOutlookApplication& application) {
  return application.GetNamespace("MAPI")->GetDefaultFolder(olFolderCalendar)->Items()->Count();
}

TEST_F(Wiring, LoadsTheSettingsAndTheStoreLocationsThroughItsHost) {
  TWiring wiring(paths, &host);
  EXPECT_FALSE(wiring.Store().Locations());  // nothing read yet: an empty store
  wiring.LoadSettings();
  EXPECT_EQ(host.Welcomes.size(), 1u);  // first run
  ASSERT_TRUE(wiring.Store().Locations());
  EXPECT_EQ(wiring.Store().Locations()->Calendar, home / "data/ravenote/Calendar");

  WriteStoreKey("/srv/calendars");
  wiring.LoadSettings();
  EXPECT_EQ(wiring.Store().Locations()->Calendar, "/srv/calendars");
  // Loading the same places again keeps what the store has read.
  const uint64_t generation = wiring.Store().Current().second;
  wiring.LoadSettings();
  EXPECT_EQ(wiring.Store().Current().second, generation);
  EXPECT_TRUE(host.Errors.empty()) << host.Errors[0];
}

TEST_F(Wiring, StoreLocationsThatCannotBeReadKeepThePreviousOnes) {
  TWiring wiring(paths, &host);
  WriteStoreKey("/srv/calendars");
  wiring.LoadSettings();

  TRegistry(paths.RegistryFile).UpdateKey(kStoreKey, [](TRegKey& key) {
    key.WriteDword("Calendar", 7);
  });
  wiring.LoadSettings();
  ASSERT_EQ(host.Errors.size(), 1u);
  EXPECT_THAT(host.Errors[0],
              HasSubstr("Cannot read the store locations\nregistry value Calendar"));
  EXPECT_EQ(wiring.Store().Locations()->Calendar, "/srv/calendars");

  // A file that cannot be parsed at all is told once, by the settings.
  std::ofstream(paths.RegistryFile) << "not a registry file\n";
  host.Errors.clear();
  wiring.LoadSettings();
  ASSERT_EQ(host.Errors.size(), 1u);
  EXPECT_THAT(host.Errors[0], HasSubstr("Error Reading Registry"));
  EXPECT_EQ(wiring.Store().Locations()->Calendar, "/srv/calendars");
}

TEST_F(Wiring, AConnectionFollowsTheStoreToItsNewPlace) {
  WriteCalendar(home / "one/a.ics", {"first"});
  WriteCalendar(home / "two/b.ics", {"first", "second"});
  TWiring wiring(paths, &host);
  wiring.Store().SetLocations({home / "one", home / "tasks", home / "inbox"});
  const std::shared_ptr<IOutlookApplication> connection = wiring.Store().Connect();
  EXPECT_EQ(CalendarCount(*connection), 1);

  wiring.Store().SetLocations({home / "two", home / "tasks", home / "inbox"});
  EXPECT_EQ(CalendarCount(*connection), 2);  // the engine's next pass
  connection->Quit();
  EXPECT_EQ(CalendarCount(*connection), 2);  // a new connection after a failure
}

TEST_F(Wiring, OneEngineAtATimePerProgramFolder) {
  auto first = std::make_unique<TWiring>(paths, &host);
  ASSERT_TRUE(first->LockProgramFolder("ravenote"));
  EXPECT_TRUE(first->LockProgramFolder("ravenote"));  // its own lock, already held

  TWiring second(paths, &host);
  EXPECT_FALSE(second.LockProgramFolder("ravenoted"));
  const std::optional<TLockHolder> holder = TFolderLock::Holder(paths.ProgramFolder);
  ASSERT_TRUE(holder);
  EXPECT_EQ(holder->Program, "ravenote");
  EXPECT_EQ(holder->Pid, ::getpid());
  test::RecordingHost engineHost;
  EXPECT_THROW(second.CreateEngine(engineHost), std::logic_error);

  first.reset();
  EXPECT_TRUE(second.LockProgramFolder("ravenoted"));
  EXPECT_EQ(TFolderLock::Holder(paths.ProgramFolder)->Program, "ravenoted");
}

TEST_F(Wiring, TheEngineRunsSendsAndEndsThroughItsInterface) {
  test::TLoopbackMailServer server;
  TWiring wiring(paths, &host);
  wiring.LoadSettings();
  Configure(wiring.Settings(), server);
  ASSERT_TRUE(wiring.LockProgramFolder("ravenote"));

  test::RecordingHost engineHost;
  std::atomic<int> finished{0};
  std::atomic<bool> finishedOnItsThread{false};
  const std::thread::id self = std::this_thread::get_id();
  std::unique_ptr<IEngine> engine = wiring.CreateEngine(engineHost, [&] {
    finishedOnItsThread = std::this_thread::get_id() != self;
    ++finished;
  });
  EXPECT_TRUE(engine->Debug());
  EXPECT_TRUE(engine->EngineRunning());  // before its thread starts
  EXPECT_TRUE(engine->WaitFor(0));       // nothing to wait for yet
  engine->Start();

  RequestTestMessage(*engine, wiring.Settings());
  ASSERT_TRUE(server.WaitForMessages(1, std::chrono::milliseconds(kPatienceMs)));
  const test::TDecodedMail mail = test::DecodeMail(server.Messages()[0]);
  EXPECT_EQ(mail.Subject, kTestMessageSubject);
  EXPECT_THAT(mail.Body, HasSubstr(kTestMessageBody));
  EXPECT_THAT(server.Messages()[0], HasSubstr("To: phone@example.org"));
  EXPECT_FALSE(engine->WaitFor(0));

  engine->Stop();
  EXPECT_TRUE(engine->WaitFor(kPatienceMs));
  EXPECT_FALSE(engine->EngineRunning());
  engine.reset();
  EXPECT_EQ(finished, 1);
  EXPECT_TRUE(finishedOnItsThread);
  EXPECT_TRUE(fs::exists(paths.ProgramFolder / "NOTIFY.NTD"));
  EXPECT_TRUE(fs::exists(paths.ProgramFolder / "DEBUG.LOG"));
}

TEST_F(Wiring, TheTestMessageAloneGoesThroughTheEnginesDeliveryAndTouchesNothingElse) {
  test::TLoopbackMailServer server;
  TWiring wiring(paths, &host);
  wiring.LoadSettings();
  Configure(wiring.Settings(), server);
  wiring.Settings().SetPop3Signin(true);
  wiring.Settings().SetPop3Server(server.Pop3Address());
  wiring.Settings().SetUserName("ann");
  wiring.Settings().SetPass("s3cret");

  test::RecordingHost engineHost;
  EXPECT_TRUE(wiring.SendTestMessage(engineHost));
  ASSERT_TRUE(server.WaitForIdle());
  ASSERT_EQ(server.Messages().size(), 1u);
  EXPECT_EQ(test::DecodeMail(server.Messages()[0]).Subject, kTestMessageSubject);
  EXPECT_EQ(server.Events()[0], "POP3 open");  // the sign-in first
  EXPECT_THAT(server.SignIns(), Contains("ann|s3cret"));
  EXPECT_TRUE(fs::is_empty(paths.ProgramFolder));  // no log, no lock, no state
  TNamedEvent shared(paths.WakeEventName);
  EXPECT_FALSE(shared.Wait(0));  // a running engine was not woken

  server.SetRefuseRecipient(true);
  EXPECT_FALSE(wiring.SendTestMessage(engineHost));
  ASSERT_EQ(engineHost.Errors.size(), 1u);
  EXPECT_THAT(engineHost.Errors[0], HasSubstr("Recipient address rejected"));
}

TEST_F(Wiring, SavingMakesThePrivateFolderOfTheRegistryFile) {
  TWiring wiring(paths, &host);
  wiring.LoadSettings();
  wiring.SaveSettings({{kStoreKey, [](TRegKey& key) { key.WriteString("Inbox", "/mail"); }}});
  struct stat info {};
  ASSERT_EQ(::stat(paths.RegistryFile.parent_path().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  const TRegistry registry(paths.RegistryFile);
  EXPECT_EQ(registry.OpenKey(kRegistryKey).ReadString("Version"), kSettingsVersion);
  EXPECT_EQ(registry.OpenKey(kStoreKey).ReadString("Inbox"), "/mail");
}

}  // namespace
}  // namespace rn
