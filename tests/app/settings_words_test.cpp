#include "app/settings_words.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "shell/settings.h"

namespace rn {
namespace {

using ::testing::HasSubstr;

TSettingsData Applied(const std::vector<std::string>& assignments, TStoreValues* store = nullptr,
                      const TPasswordReader& read = {}) {
  TSettings settings;
  TStoreValues values;
  for (const std::string& text : assignments)
    ApplyAssignment(ParseAssignment(text), settings, store ? *store : values, read);
  return settings.Snapshot();
}

TEST(SettingsWords, ValuesAreTakenInTheWordsPeopleUse) {
  struct Case {
    std::string assignment;
    std::function<bool(const TSettingsData&)> holds;
  } cases[] = {
      {"MeetingNotify=on", [](const TSettingsData& d) { return d.MeetingNotify; }},
      {"UrgentEmail=YES", [](const TSettingsData& d) { return d.UrgentEmail; }},
      {"MustSignIn=1", [](const TSettingsData& d) { return d.MustSignIn; }},
      {"Pop3Signin=true", [](const TSettingsData& d) { return d.Pop3Signin; }},
      {"EarlyTime=7:05", [](const TSettingsData& d) { return d.EarlyTime == EncodeTime(7, 5); }},
      {"LateTime=23:59:30",
       [](const TSettingsData& d) { return d.LateTime == EncodeTime(23, 59, 30); }},
      {"TaskRemindPeriod=hourly", [](const TSettingsData& d) { return d.TaskRemindPeriod == 0; }},
      {"TaskRemindPeriod=Twice-Daily",
       [](const TSettingsData& d) { return d.TaskRemindPeriod == 1; }},
      {"TaskRemindPeriod=3", [](const TSettingsData& d) { return d.TaskRemindPeriod == 3; }},
      {"Service=0", [](const TSettingsData& d) { return d.Service == 0; }},
      {"Service=at&t wireless", [](const TSettingsData& d) { return d.Service == 0; }},
      {"Service=Verizon", [](const TSettingsData& d) { return d.Service == 5; }},
      {"Service=Other (including Text Pagers)",
       [](const TSettingsData& d) { return d.Service == 8; }},
      {"Pin=5551234567", [](const TSettingsData& d) { return d.Pin == "5551234567"; }},
      {"Pin=", [](const TSettingsData& d) { return d.Pin.empty(); }},
      {"CustomEmail=Phone <5551234567@txt.example.net>",
       [](const TSettingsData& d) {
         return d.CustomEmail == "Phone <5551234567@txt.example.net>";
       }},
      {"Server=[::1]:2525", [](const TSettingsData& d) { return d.Server == "[::1]:2525"; }},
      {"Pop3Server=pop.example.org:995",
       [](const TSettingsData& d) { return d.Pop3Server == "pop.example.org:995"; }},
      {"Pass=pa=ss word", [](const TSettingsData& d) { return d.Pass == "pa=ss word"; }},
      {"Top=-40", [](const TSettingsData& d) { return d.Top == -40; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.assignment);
    EXPECT_TRUE(c.holds(Applied({c.assignment})));
  }
}

TEST(SettingsWords, ValuesThatCannotBeUsedAreRefusedWithWhatTheyTake) {
  struct Case {
    std::string assignment, said;
  } cases[] = {
      {"Service=V", "the start of more than one carrier's name"},
      {"Service=9", "Service takes a carrier's number (0 to 8)"},
      {"EarlyTime=7:5", "EarlyTime takes a time of day, HH:MM"},
      {"EarlyTime=07:00:60", "EarlyTime takes a time of day"},
      {"EarlyTime=-1:00", "EarlyTime takes a time of day"},
      {"Pin=55512345678", "Pin takes the phone number's ten digits"},
      {"Pop3Server=pop.example.org:99999", "Pop3Server takes"},
      {"UserName=ann\nQUIT", "it holds a control character"},
      {"Top=99999999999", "Top takes a whole number"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.assignment);
    try {
      Applied({c.assignment});
      ADD_FAILURE() << "taken";
    } catch (const EBadSetting& error) {
      EXPECT_THAT(error.what(), HasSubstr(c.said));
    }
  }
}

TEST(SettingsWords, APasswordNeverAppearsInAnError) {
  try {
    Applied({"Pass=s3cret\x1b"});
    ADD_FAILURE() << "taken";
  } catch (const EBadSetting& error) {
    EXPECT_THAT(error.what(), HasSubstr("control character"));
    EXPECT_THAT(error.what(), testing::Not(HasSubstr("s3cret")));
  }
  // "-" reads it.
  EXPECT_EQ(Applied({"Pass=-"}, nullptr, [] { return std::string("from input"); }).Pass,
            "from input");
}

TEST(SettingsWords, StorePlacesAreKeptAsTheStoreKeyReadsThem) {
  TStoreValues store;
  Applied({"Calendar=~/calendars/personal", "Tasks=todo.ics", "inbox="}, &store);
  EXPECT_EQ(store["Calendar"], "~/calendars/personal");  // the home, when it is read
  EXPECT_EQ(store["Tasks"], (std::filesystem::current_path() / "todo.ics").string());
  EXPECT_EQ(store["Inbox"], "");  // the default folder
}

TEST(SettingsWords, EverySettingIsShownInWords) {
  TSettingsData d;
  d.MeetingNotify = true;
  d.TaskRemindPeriod = 7;                                               // acts as daily
  d.EarlyTime = EncodeDateTime(2026, 12, 11, 6, 59, 59) + 0.9 / 86400;  // the day does not count
  d.LateTime = EncodeTime(19, 0, 30);
  d.Service = 1;
  d.Pass = "x";
  std::map<std::string, std::string> shown;
  for (const auto& [name, value] : SettingsInWords(d))
    shown[name] = value;
  EXPECT_EQ(shown["MeetingNotify"], "on");
  EXPECT_EQ(shown["MorningNotify"], "off");
  EXPECT_EQ(shown["TaskRemindPeriod"], "daily (stored as 7)");
  EXPECT_EQ(shown["EarlyTime"], "07:00");
  EXPECT_EQ(shown["LateTime"], "19:00:30");
  EXPECT_EQ(shown["Service"], "Cingular Wireless (1)");
  EXPECT_EQ(shown["Pass"], "set");
  EXPECT_EQ(shown["Pin"], "(empty)");
  EXPECT_EQ(CarrierText(200), "none (200)");
  // Every name that is shown can be set, and the other way round.
  std::vector<std::string> settable;
  for (const auto& [name, takes] : SettingNames())
    settable.push_back(name);
  for (const auto& [name, value] : shown)
    EXPECT_THAT(settable, testing::Contains(name));
  EXPECT_EQ(settable.size(), shown.size() + 3);  // and the store's three places
}

}  // namespace
}  // namespace rn
