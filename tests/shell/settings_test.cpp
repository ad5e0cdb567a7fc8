#include "shell/settings.h"

#include <fstream>
#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "../support/fakes.h"
#include "platform/registry.h"

namespace rn {
namespace {

using test::TempFolder;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// What the tray window would have been asked to do.
class FakeSettingsHost : public ISettingsHost {
 public:
  void ShowWelcome(const std::string& text) override { Welcomes.push_back(text); }
  void ShowRegistryError(const std::string& text) override { Errors.push_back(text); }
  void PostOpenWizard() override { ++WizardRequests; }
  int ScreenWidth() override { return Width; }
  int ScreenHeight() override { return Height; }
  int WindowTop() override { return Top; }
  int WindowLeft() override { return Left; }
  void SetWindowTop(int top) override {
    Top = top;
    TopMoves.push_back(top);
  }
  void SetWindowLeft(int left) override {
    Left = left;
    LeftMoves.push_back(left);
  }
  void SetSwitchChecked(TSwitch which, bool checked) override {
    Checks.emplace_back(which, checked);
  }

  int Width = 1280, Height = 1024;
  int Top = 100, Left = 200;
  std::vector<std::string> Welcomes, Errors;
  int WizardRequests = 0;
  std::vector<int> TopMoves, LeftMoves;
  std::vector<std::pair<TSwitch, bool>> Checks;
};

class FakeSmtpConfig : public ISmtpClientConfig {
 public:
  void SetHost(const std::string& host) override { Host = host; }
  void SetUserName(const std::string& user) override { User = user; }
  void SetPassword(const std::string& password) override { Password = password; }
  void SetLoginAuthentication(bool login) override { Login = login; }
  std::string Host, User, Password;
  bool Login = false;
};

// Every field away from its default and from every other record below.
TSettingsData FullRecord() {
  TSettingsData d;
  d.MeetingNotify = true;
  d.MorningNotify = false;
  d.EveningNotify = true;
  d.TaskNotify = true;
  d.TaskPreNotify = false;
  d.TaskReminder = true;
  d.UrgentEmail = true;
  d.Top = 300;
  d.Left = -40;
  d.TaskRemindPeriod = 3;
  d.Pin = "5551234567";
  d.EarlyTime = EncodeDateTime(2026, 12, 11, 6, 30);
  d.LateTime = EncodeDateTime(2026, 12, 11, 22, 15);
  d.Service = 5;
  d.CustomAddr = "mobile.example";
  d.CustomEmail = "pager@example.com";
  d.Server = "smtp.example.com";
  d.UserName = "ann";
  d.Pass = "pa\"ss\\w0rd";
  d.MustSignIn = true;
  d.Pop3Signin = true;
  d.Pop3Server = "pop.example.com";
  d.FromEmail = "ann@example.com";
  return d;
}

// Another record, differing from FullRecord in every field.
TSettingsData OtherRecord() {
  TSettingsData d;
  d.MeetingNotify = false;
  d.MorningNotify = true;
  d.EveningNotify = false;
  d.TaskNotify = false;
  d.TaskPreNotify = true;
  d.TaskReminder = false;
  d.UrgentEmail = false;
  d.Top = 10;
  d.Left = 20;
  d.TaskRemindPeriod = 1;
  d.Pin = "old pin";
  d.EarlyTime = EncodeTime(8, 0);
  d.LateTime = EncodeTime(17, 0);
  d.Service = 2;
  d.CustomAddr = "old addr";
  d.CustomEmail = "old@example.com";
  d.Server = "old-smtp";
  d.UserName = "old-user";
  d.Pass = "old-pass";
  d.MustSignIn = false;
  d.Pop3Signin = false;
  d.Pop3Server = "old-pop";
  d.FromEmail = "old-from@example.com";
  return d;
}

void Fill(TSettings& s, const TSettingsData& d) {
  s.SetMeetingNotify(d.MeetingNotify);
  s.SetMorningNotify(d.MorningNotify);
  s.SetEveningNotify(d.EveningNotify);
  s.SetTaskNotify(d.TaskNotify);
  s.SetTaskPreNotify(d.TaskPreNotify);
  s.SetTaskReminder(d.TaskReminder);
  s.SetUrgentEmail(d.UrgentEmail);
  s.SetTop(d.Top);
  s.SetLeft(d.Left);
  s.SetTaskRemindPeriod(d.TaskRemindPeriod);
  s.SetPin(d.Pin);
  s.SetEarlyTime(d.EarlyTime);
  s.SetLateTime(d.LateTime);
  s.SetService(d.Service);
  s.SetCustomAddr(d.CustomAddr);
  s.SetCustomEmail(d.CustomEmail);
  s.SetServer(d.Server);
  s.SetUserName(d.UserName);
  s.SetPass(d.Pass);
  s.SetMustSignIn(d.MustSignIn);
  s.SetPop3Signin(d.Pop3Signin);
  s.SetPop3Server(d.Pop3Server);
  s.SetFromEmail(d.FromEmail);
}

// Compares field by field, so a failure names the field.
void ExpectSameRecord(const TSettingsData& want, const TSettingsData& got) {
  EXPECT_EQ(got.MeetingNotify, want.MeetingNotify);
  EXPECT_EQ(got.MorningNotify, want.MorningNotify);
  EXPECT_EQ(got.EveningNotify, want.EveningNotify);
  EXPECT_EQ(got.TaskNotify, want.TaskNotify);
  EXPECT_EQ(got.TaskPreNotify, want.TaskPreNotify);
  EXPECT_EQ(got.TaskReminder, want.TaskReminder);
  EXPECT_EQ(got.UrgentEmail, want.UrgentEmail);
  EXPECT_EQ(got.Top, want.Top);
  EXPECT_EQ(got.Left, want.Left);
  EXPECT_EQ(got.TaskRemindPeriod, want.TaskRemindPeriod);
  EXPECT_EQ(got.Pin, want.Pin);
  EXPECT_EQ(got.EarlyTime, want.EarlyTime);
  EXPECT_EQ(got.LateTime, want.LateTime);
  EXPECT_EQ(got.Service, want.Service);
  EXPECT_EQ(got.CustomAddr, want.CustomAddr);
  EXPECT_EQ(got.CustomEmail, want.CustomEmail);
  EXPECT_EQ(got.Server, want.Server);
  EXPECT_EQ(got.UserName, want.UserName);
  EXPECT_EQ(got.Pass, want.Pass);
  EXPECT_EQ(got.MustSignIn, want.MustSignIn);
  EXPECT_EQ(got.Pop3Signin, want.Pop3Signin);
  EXPECT_EQ(got.Pop3Server, want.Pop3Server);
  EXPECT_EQ(got.FromEmail, want.FromEmail);
}

std::string ReadAll(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A registry file holding a key saved from FullRecord (window at 300/-40),
// and a record with its window and SMTP client to load it into.
struct TStoreRig {
  TStoreRig() : Registry(Folder / "registry.reg") {
    FakeSettingsHost host;
    host.Top = FullRecord().Top;
    host.Left = FullRecord().Left;
    TSettings saver(&host);
    Fill(saver, FullRecord());
    saver.SaveSettings(Registry);
  }

  void ChangeKey(const std::function<void(TRegKey&)>& change) {
    Registry.UpdateKey(kRegistryKey, change);
  }

  // Loads into the record after filling it with OtherRecord.
  TSettingsData LoadOverOther() {
    Fill(Settings, OtherRecord());
    Host = FakeSettingsHost();
    Settings.LoadSettings(Registry);
    return Settings.Snapshot();
  }

  TempFolder Folder;
  TRegistry Registry;
  FakeSettingsHost Host;
  FakeSmtpConfig Smtp;
  TSettings Settings{&Host, &Smtp};
};

TEST(SettingsStore, SavedKeyLoadsBackFieldForField) {
  TStoreRig r;
  const TSettingsData loaded = r.LoadOverOther();
  ExpectSameRecord(FullRecord(), loaded);
  EXPECT_TRUE(r.Settings.SettingsLoaded());
  EXPECT_TRUE(r.Host.Errors.empty());
  EXPECT_TRUE(r.Host.Welcomes.empty());
  // The load went through the setters: window, check marks and SMTP client follow.
  EXPECT_EQ(r.Host.Top, 300);
  EXPECT_EQ(r.Host.Left, -40);
  EXPECT_EQ(r.Host.Checks.size(), 7u);
  EXPECT_EQ(r.Smtp.Host, "smtp.example.com");
  EXPECT_EQ(r.Smtp.User, "ann");
  EXPECT_EQ(r.Smtp.Password, "pa\"ss\\w0rd");
  EXPECT_TRUE(r.Smtp.Login);
}

TEST(SettingsStore, SaveWritesEveryValueInOrderAndType) {
  TStoreRig r;
  const TRegKey key = r.Registry.OpenKey(kRegistryKey);
  std::vector<std::string> names;
  for (const auto& [name, value] : key.Values())
    names.push_back(name);
  EXPECT_THAT(names, ElementsAre("Version", "MeetingNotify", "MorningNotify", "EveningNotify",
                                 "TaskNotify", "TaskPreNotify", "TaskReminder", "UrgentEmail",
                                 "Top", "Left", "TaskRemindPeriod", "Pin", "EarlyTime", "LateTime",
                                 "Service", "CustomAddr", "CustomEmail", "Server", "UserName",
                                 "Pass", "MustSignIn", "Pop3Signin", "Pop3Server", "FromEmail"));
  EXPECT_EQ(key.ReadString("Version"), "01.01.00.005");
  EXPECT_EQ(key.ReadDword("MeetingNotify"), 1u);
  EXPECT_EQ(key.ReadDword("MorningNotify"), 0u);
  EXPECT_EQ(key.ReadDword("Left"), 0xFFFFFFD8u);  // -40
  EXPECT_EQ(key.ReadDword("Service"), 5u);
  EXPECT_EQ(key.ReadDouble("EarlyTime"), EncodeDateTime(2026, 12, 11, 6, 30));
  EXPECT_EQ(key.ReadString("Pass"), ScramblePassword("pa\"ss\\w0rd"));
  EXPECT_EQ(key.ReadString("Pin"), "5551234567");
}

TEST(SettingsStore, SaveTakesThePositionFromTheWindow) {
  TStoreRig r;
  TSettings settings(&r.Host);
  Fill(settings, FullRecord());
  r.Host.Top = 77;
  r.Host.Left = 88;
  settings.SaveSettings(r.Registry);
  const TRegKey key = r.Registry.OpenKey(kRegistryKey);
  EXPECT_EQ(key.ReadDword("Top"), 77u);
  EXPECT_EQ(key.ReadDword("Left"), 88u);

  // Without a window, the record's own position.
  TSettings headless;
  Fill(headless, FullRecord());
  headless.SaveSettings(r.Registry);
  EXPECT_EQ(r.Registry.OpenKey(kRegistryKey).ReadDword("Top"), 300u);
}

TEST(SettingsStore, SaveKeepsOtherKeysAndValues) {
  TStoreRig r;
  TRegKey store;
  store.WriteString("Calendar", "/cal");
  r.Registry.SaveKey(std::string(kRegistryKey) + "\\Store", store);
  r.ChangeKey([](TRegKey& key) { key.WriteString("LegacyValue", "from an older release"); });

  TSettings settings(&r.Host);
  Fill(settings, OtherRecord());
  settings.SaveSettings(r.Registry);

  EXPECT_EQ(r.Registry.OpenKey(std::string(kRegistryKey) + "\\Store").ReadString("Calendar"),
            "/cal");
  EXPECT_EQ(r.Registry.OpenKey(kRegistryKey).ReadString("LegacyValue"), "from an older release");
  EXPECT_EQ(r.Registry.OpenKey(kRegistryKey).ReadString("Pin"), "old pin");
}

TEST(SettingsStore, FirstRunWelcomesAndReadsNothingElse) {
  TStoreRig r;
  const std::function<void(TRegKey&)> keys[] = {
      [](TRegKey& key) { key.Remove("Version"); },
      [](TRegKey& key) { key.WriteString("Version", "01.01.00.004"); },
      [](TRegKey& key) { key.WriteString("Version", "01.01.00.005 "); },
      [](TRegKey& key) { key.WriteDword("Version", 1); },
  };
  for (size_t i = 0; i < std::size(keys); ++i) {
    SCOPED_TRACE(i);
    r.ChangeKey([](TRegKey& key) { key.WriteString("Version", "01.01.00.005"); });
    r.ChangeKey(keys[i]);
    const TSettingsData loaded = r.LoadOverOther();
    EXPECT_THAT(r.Host.Welcomes,
                ElementsAre("Welcome To Ravenote. You must complete\r\nthe configuration at "
                            "this time."));
    EXPECT_EQ(r.Host.WizardRequests, 1);
    EXPECT_TRUE(r.Host.Errors.empty());
    EXPECT_FALSE(r.Settings.SettingsLoaded());

    TSettingsData want = OtherRecord();
    want.Service = 4;
    want.EarlyTime = EncodeTime(7, 0);
    want.LateTime = EncodeTime(19, 0);
    want.TaskRemindPeriod = -1;
    ExpectSameRecord(want, loaded);
    EXPECT_TRUE(r.Host.TopMoves.empty());
  }
}

TEST(SettingsFirstRun, AtProgramStartLeavesEverySwitchOff) {
  TempFolder folder;
  TRegistry registry(folder / "registry.reg");  // no file at all
  FakeSettingsHost host;
  TSettings settings(&host);
  settings.LoadSettings(registry);
  TSettingsData want;
  want.Service = 4;
  want.EarlyTime = EncodeTime(7, 0);
  want.LateTime = EncodeTime(19, 0);
  want.TaskRemindPeriod = -1;
  ExpectSameRecord(want, settings.Snapshot());
  EXPECT_EQ(host.Welcomes.size(), 1u);
  EXPECT_FALSE(settings.SettingsLoaded());
  EXPECT_FALSE(std::filesystem::exists(registry.File()));  // a load writes nothing
}

TEST(SettingsStore, MainGroupFailureStopsTheLoad) {
  TStoreRig r;
  // MeetingNotify is the first value read: nothing changes.
  r.ChangeKey([](TRegKey& key) {
    key.Remove("MeetingNotify");
    key.WriteDword("Top", 5000);  // would be corrected, had the load got that far
  });
  r.Host.Height = 1024;
  const TSettingsData loaded = r.LoadOverOther();
  EXPECT_THAT(r.Host.Errors,
              ElementsAre("Error Reading Registry\nregistry value MeetingNotify is missing"));
  EXPECT_TRUE(r.Host.Welcomes.empty());
  EXPECT_FALSE(r.Settings.SettingsLoaded());
  ExpectSameRecord(OtherRecord(), loaded);
  EXPECT_TRUE(r.Host.TopMoves.empty());
}

TEST(SettingsStore, FieldsBeforeTheFailureKeepTheirNewValues) {
  TStoreRig r;
  struct Case {
    const char* what;
    std::function<void(TRegKey&)> damage;
  } cases[] = {
      {"Pin not a string", [](TRegKey& key) { key.WriteDword("Pin", 5); }},
      {"Pin a binary", [](TRegKey& key) { key.WriteBinary("Pin", {1}); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    r.ChangeKey(c.damage);
    const TSettingsData loaded = r.LoadOverOther();
    ASSERT_EQ(r.Host.Errors.size(), 1u);
    EXPECT_THAT(r.Host.Errors[0], StartsWith("Error Reading Registry\nregistry value Pin is "));
    EXPECT_FALSE(r.Settings.SettingsLoaded());
    // Read before Pin: the switches, Top and Left.
    EXPECT_EQ(loaded.MeetingNotify, FullRecord().MeetingNotify);
    EXPECT_EQ(loaded.UrgentEmail, FullRecord().UrgentEmail);
    EXPECT_EQ(loaded.Left, FullRecord().Left);
    // From Pin on, and the guarded ones: as they were.
    TSettingsData want = OtherRecord();
    want.MeetingNotify = loaded.MeetingNotify;
    want.MorningNotify = loaded.MorningNotify;
    want.EveningNotify = loaded.EveningNotify;
    want.TaskNotify = loaded.TaskNotify;
    want.TaskPreNotify = loaded.TaskPreNotify;
    want.TaskReminder = loaded.TaskReminder;
    want.UrgentEmail = loaded.UrgentEmail;
    want.Top = FullRecord().Top;
    want.Left = FullRecord().Left;
    ExpectSameRecord(want, loaded);
  }
}

TEST(SettingsStore, MissingStringsReadAsEmpty) {
  TStoreRig r;
  r.ChangeKey([](TRegKey& key) {
    key.Remove("CustomEmail");
    key.Remove("FromEmail");
  });
  const TSettingsData loaded = r.LoadOverOther();
  EXPECT_TRUE(r.Settings.SettingsLoaded());
  EXPECT_EQ(loaded.CustomEmail, "");
  EXPECT_EQ(loaded.FromEmail, "");
  EXPECT_TRUE(r.Host.Errors.empty());
}

TEST(SettingsStore, GuardedReadsFallBackSilently) {
  struct Case {
    const char* what;
    std::function<void(TRegKey&)> damage;
    std::function<void(TSettingsData&)> expect;  // from FullRecord
  } cases[] = {
      {"Service deleted", [](TRegKey& k) { k.Remove("Service"); },
       [](TSettingsData& d) { d.Service = 4; }},
      {"Service a string", [](TRegKey& k) { k.WriteString("Service", "5"); },
       [](TSettingsData& d) { d.Service = 4; }},
      {"Service above 255 keeps its low byte", [](TRegKey& k) { k.WriteDword("Service", 0x105); },
       [](TSettingsData& d) { d.Service = 5; }},
      {"LateTime deleted", [](TRegKey& k) { k.Remove("LateTime"); },
       [](TSettingsData& d) {
         d.EarlyTime = EncodeTime(7, 0);
         d.LateTime = EncodeTime(19, 0);
       }},
      {"EarlyTime deleted", [](TRegKey& k) { k.Remove("EarlyTime"); },
       [](TSettingsData& d) {
         d.EarlyTime = EncodeTime(7, 0);
         d.LateTime = EncodeTime(19, 0);
       }},
      {"EarlyTime four bytes",
       [](TRegKey& k) {
         k.WriteBinary("EarlyTime", {0, 0, 0, 0});
       },
       [](TSettingsData& d) {
         d.EarlyTime = EncodeTime(7, 0);
         d.LateTime = EncodeTime(19, 0);
       }},
      {"LateTime not a number",
       [](TRegKey& k) {
         k.WriteBinary("LateTime", {0, 0, 0, 0, 0, 0, 0xf8, 0x7f});
       },
       [](TSettingsData& d) {
         d.EarlyTime = EncodeTime(7, 0);
         d.LateTime = EncodeTime(19, 0);
       }},
      {"TaskRemindPeriod deleted", [](TRegKey& k) { k.Remove("TaskRemindPeriod"); },
       [](TSettingsData& d) { d.TaskRemindPeriod = 2; }},
      {"Pop3Signin deleted keeps the previous value", [](TRegKey& k) { k.Remove("Pop3Signin"); },
       [](TSettingsData& d) { d.Pop3Signin = OtherRecord().Pop3Signin; }},
      {"booleans read any non-zero as true", [](TRegKey& k) { k.WriteDword("MorningNotify", 7); },
       [](TSettingsData& d) { d.MorningNotify = true; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TStoreRig fresh;  // a key saved from FullRecord for each case
    fresh.ChangeKey(c.damage);
    const TSettingsData loaded = fresh.LoadOverOther();
    TSettingsData want = FullRecord();
    c.expect(want);
    ExpectSameRecord(want, loaded);
    EXPECT_TRUE(fresh.Host.Errors.empty());
    EXPECT_TRUE(fresh.Settings.SettingsLoaded());
  }
}

TEST(SettingsStore, KeepsTheWindowOnTheScreen) {
  TStoreRig r;
  struct Case {
    int top, left, height, width;
    int wantTop, wantLeft;
  } cases[] = {
      {5000, 100, 1024, 1280, 1004, 100},   {100, 3000, 1024, 1280, 100, 1260},
      {1024, 1280, 1024, 1280, 1024, 1280}, {1025, 1281, 1024, 1280, 1004, 1260},
      {-300, -500, 1024, 1280, -300, -500},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.top) + "/" + std::to_string(c.left));
    r.ChangeKey([&](TRegKey& key) {
      key.WriteDword("Top", static_cast<uint32_t>(c.top));
      key.WriteDword("Left", static_cast<uint32_t>(c.left));
    });
    Fill(r.Settings, OtherRecord());
    r.Host = FakeSettingsHost();
    r.Host.Height = c.height;
    r.Host.Width = c.width;
    r.Settings.LoadSettings(r.Registry);
    EXPECT_EQ(r.Settings.Snapshot().Top, c.wantTop);
    EXPECT_EQ(r.Settings.Snapshot().Left, c.wantLeft);
    EXPECT_EQ(r.Host.Top, c.wantTop);
    EXPECT_EQ(r.Host.Left, c.wantLeft);
  }
}

TEST(SettingsStore, DamagedFileIsReportedAndNeverOverwritten) {
  TStoreRig r;
  const std::string damaged = ReadAll(r.Registry.File()) + "\"Broken\"=dword:xyz\n";
  std::ofstream(r.Registry.File(), std::ios::binary | std::ios::trunc) << damaged;

  const TSettingsData loaded = r.LoadOverOther();
  ASSERT_EQ(r.Host.Errors.size(), 1u);
  EXPECT_THAT(r.Host.Errors[0], HasSubstr("Error Reading Registry"));
  EXPECT_THAT(r.Host.Errors[0], HasSubstr("line"));
  EXPECT_TRUE(r.Host.Welcomes.empty());  // no first run over a file that could not be read
  EXPECT_EQ(r.Host.WizardRequests, 0);
  EXPECT_FALSE(r.Settings.SettingsLoaded());
  ExpectSameRecord(OtherRecord(), loaded);

  EXPECT_THROW(r.Settings.SaveSettings(r.Registry), ERegistryError);
  EXPECT_EQ(ReadAll(r.Registry.File()), damaged);
}

TEST(SettingsSave, WriteFailureReachesTheCaller) {
  TempFolder folder;
  std::ofstream(folder / "not-a-folder") << "x";
  TRegistry registry(folder / "not-a-folder" / "registry.reg");
  TSettings settings;
  EXPECT_THROW(settings.SaveSettings(registry), ERegistryError);
}

TEST(SettingsPassword, ReversesAndShiftsEveryByte) {
  EXPECT_EQ(ScramblePassword("abc"), "xwv");
  EXPECT_EQ(UnscramblePassword("xwv"), "abc");
  EXPECT_EQ(ScramblePassword(""), "");
  EXPECT_EQ(ScramblePassword("\xeb"), std::string(1, '\0'));  // 235 + 21 wraps to 0
  EXPECT_EQ(ScramblePassword("\xff"), "\x14");
  std::string every;
  for (int b = 0; b < 256; ++b)
    every += static_cast<char>(b);
  EXPECT_EQ(ScramblePassword(every).size(), 256u);
  EXPECT_EQ(UnscramblePassword(ScramblePassword(every)), every);
}

TEST(SettingsPassword, EveryByteSurvivesSaveAndLoad) {
  const std::string passwords[] = {
      "\xeb",              // scrambles to a lone zero byte
      "pass\xebword\xeb",  // zero bytes inside and at the start
      "\xf8\xf7\xeb",      // scrambles to CR, LF and zero
      "caf\xc3\xa9",       // UTF-8 text scrambles to invalid UTF-8
      std::string("x\0y", 3),
  };
  for (const auto& pass : passwords) {
    TempFolder folder;
    TRegistry registry(folder / "registry.reg");
    TSettings saver;
    Fill(saver, FullRecord());
    saver.SetPass(pass);
    saver.SaveSettings(registry);

    FakeSmtpConfig smtp;
    TSettings loader(nullptr, &smtp);
    loader.LoadSettings(registry);
    EXPECT_TRUE(loader.SettingsLoaded());
    EXPECT_EQ(loader.Snapshot().Pass, pass);
    EXPECT_EQ(smtp.Password, pass);
    // The rest of the key is still read: nothing after Pass was cut off.
    EXPECT_EQ(loader.Snapshot().FromEmail, FullRecord().FromEmail);
  }
}

TEST(SettingsSetters, ReachTheWindowAndTheSmtpClient) {
  FakeSettingsHost host;
  FakeSmtpConfig smtp;
  TSettings settings(&host, &smtp);

  const std::pair<void (TSettings::*)(bool), TSwitch> switches[] = {
      {&TSettings::SetMeetingNotify, TSwitch::MeetingNotify},
      {&TSettings::SetMorningNotify, TSwitch::MorningNotify},
      {&TSettings::SetEveningNotify, TSwitch::EveningNotify},
      {&TSettings::SetTaskNotify, TSwitch::TaskNotify},
      {&TSettings::SetTaskPreNotify, TSwitch::TaskPreNotify},
      {&TSettings::SetTaskReminder, TSwitch::TaskReminder},
      {&TSettings::SetUrgentEmail, TSwitch::UrgentEmail},
  };
  for (const auto& [setter, which] : switches) {
    host.Checks.clear();
    (settings.*setter)(true);
    EXPECT_THAT(host.Checks, ElementsAre(std::make_pair(which, true)));
    settings.SetSwitch(which, false);
    EXPECT_THAT(host.Checks,
                ElementsAre(std::make_pair(which, true), std::make_pair(which, false)));
  }
  settings.SetSwitch(TSwitch::TaskReminder, true);
  EXPECT_TRUE(settings.Snapshot().TaskReminder);
  EXPECT_FALSE(settings.Snapshot().UrgentEmail);

  settings.SetTop(12);
  settings.SetLeft(34);
  EXPECT_THAT(host.TopMoves, ElementsAre(12));
  EXPECT_THAT(host.LeftMoves, ElementsAre(34));

  settings.SetServer("mail.example.net");
  settings.SetUserName("bob");
  settings.SetPass("hunter2");
  settings.SetMustSignIn(true);
  EXPECT_EQ(smtp.Host, "mail.example.net");
  EXPECT_EQ(smtp.User, "bob");
  EXPECT_EQ(smtp.Password, "hunter2");
  EXPECT_TRUE(smtp.Login);
  settings.SetMustSignIn(false);
  EXPECT_FALSE(smtp.Login);

  // Fields the window and the client do not show touch neither.
  host.Checks.clear();
  smtp = FakeSmtpConfig();
  settings.SetPin("1");
  settings.SetPop3Server("pop");
  settings.SetPop3Signin(true);
  settings.SetFromEmail("f@x");
  EXPECT_TRUE(host.Checks.empty());
  EXPECT_EQ(smtp.Host, "");
  EXPECT_EQ(smtp.Password, "");
}

TEST(SettingsSetters, WorkWithoutAWindowOrClient) {
  TSettings settings;
  Fill(settings, FullRecord());
  ExpectSameRecord(FullRecord(), settings.Snapshot());
}

}  // namespace
}  // namespace rn
