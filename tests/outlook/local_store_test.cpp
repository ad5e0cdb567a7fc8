// The local store as the scans meet it: folders of the fixture files under
// tests/data/store, copied into a temporary folder, read in the time zone of
// New York so that every local time below is fixed.
#include "outlook/local_store.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#include "fakes.h"
#include "platform/registry.h"

namespace rn {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

const fs::path kData = fs::path(RAVENOTE_TEST_DATA) / "store";

std::string ReadText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteText(const fs::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary | std::ios::trunc) << text;
}

// Every file under `root` with its content, to show the store changed nothing.
std::map<std::string, std::string> Contents(const fs::path& root) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file())
      out[fs::relative(e.path(), root).string()] = ReadText(e.path());
  return out;
}

// A modification time an hour back: a file the store may trust not to change
// unseen within the file system clock's tick.
void Age(const fs::path& p, std::chrono::minutes back = std::chrono::minutes(60)) {
  fs::last_write_time(p, fs::file_time_type::clock::now() - back);
}

class LocalStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "America/New_York", 1);
    tzset();
  }

  fs::path CopyFixture(const std::string& name) {
    fs::copy(kData / name, tmp / name, fs::copy_options::recursive);
    for (const auto& e : fs::recursive_directory_iterator(tmp / name))
      if (e.is_regular_file())
        Age(e.path());
    return tmp / name;
  }

  std::shared_ptr<IMAPIFolder> Open(int which, TStoreLocations where = {},
                                    TStoreOptions options = {}) {
    if (where.Calendar.empty())
      where.Calendar = tmp / "calendar";
    if (where.Tasks.empty())
      where.Tasks = tmp / "tasks";
    if (where.Inbox.empty())
      where.Inbox = tmp / "inbox";
    connector = MakeLocalStoreConnector(
        where, [this](const std::string& l) { logs.push_back(l); }, options);
    app = connector->Connect();
    return app->GetNamespace("MAPI")->GetDefaultFolder(which);
  }

  // What a pass does first: fetch its folder from the namespace.
  std::shared_ptr<IMAPIFolder> Pass(int which) {
    return app->GetNamespace("MAPI")->GetDefaultFolder(which);
  }

  int LogsMentioning(const std::string& text) const {
    int n = 0;
    for (const auto& l : logs)
      n += l.find(text) != std::string::npos ? 1 : 0;
    return n;
  }

  TempFolder tmp;
  std::vector<std::string> logs;
  std::unique_ptr<IOutlookConnector> connector;
  std::shared_ptr<IOutlookApplication> app;
};

constexpr double kSecond = 1.0 / 86400;

// ---------------------------------------------------------------------------
// Calendar

TEST_F(LocalStoreTest, CalendarListsEveryEventOfAFolderOfVdirsInPathOrder) {
  auto root = CopyFixture("calendar");
  const auto before = Contents(root);
  auto folder = Open(olFolderCalendar);
  ASSERT_TRUE(folder);
  auto items = folder->Items();

  // home/allday.ics, home/broken.ics (skipped), work/two_events.ics (two
  // events, in file order), work/weekly_berlin.ics; notes.txt is no calendar.
  std::vector<std::string> subjects;
  for (int i = 1; i <= items->Count(); ++i)
    subjects.push_back(items->Item(i)->AsAppointment()->Subject());
  EXPECT_EQ(subjects,
            (std::vector<std::string>{"Christmas", "Standup", "Budget review", "Weekly sync"}));
  EXPECT_EQ(LogsMentioning("broken.ics"), 1);
  EXPECT_EQ(Contents(root), before) << "the store never changes a calendar file";
  EXPECT_EQ(folder->UnReadItemCount(), 0);
}

TEST_F(LocalStoreTest, AppointmentMembersInLocalTime) {
  CopyFixture("calendar");
  auto items = Open(olFolderCalendar)->Items();
  ASSERT_EQ(items->Count(), 4);
  struct Case {
    int index;
    std::string location;
    TDateTime start;
    int reminder;
    bool recurring;
  } cases[] = {
      // An all-day event starts at local midnight.
      {1, "", EncodeDate(2026, 12, 25), 15, true},
      // 14:30 UTC is 9:30 in New York; no alarm: Outlook's 15 minutes.
      {2, "", EncodeDateTime(2026, 12, 14, 9, 30), 15, false},
      // A floating time is taken as written; its alarm is 30 minutes ahead.
      {3, "Room 7", EncodeDateTime(2026, 12, 14, 16, 0), 30, false},
      // 10:00 in Berlin is 4:00 in New York.
      {4, "Room 4", EncodeDateTime(2026, 12, 7, 4, 0), 10, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.index);
    auto a = items->Item(c.index)->AsAppointment();
    ASSERT_TRUE(a);
    EXPECT_EQ(items->Item(c.index)->AsTask(), nullptr);
    EXPECT_EQ(a->Location(), c.location);
    EXPECT_NEAR(a->Start(), c.start, kSecond);
    EXPECT_EQ(a->ReminderMinutesBeforeStart(), c.reminder);
    EXPECT_EQ(a->IsRecurring(), c.recurring);
  }
}

TEST_F(LocalStoreTest, RecurrencePatternsOfTheFixtureMeetings) {
  CopyFixture("calendar");
  auto items = Open(olFolderCalendar)->Items();

  auto weekly = items->Item(4)->AsAppointment()->GetRecurrencePattern();
  EXPECT_EQ(weekly->RecurrenceType(), 1);
  EXPECT_EQ(weekly->DayOfWeekMask(), 2 | 8);  // Monday, Wednesday
  EXPECT_EQ(weekly->Interval(), 2);
  EXPECT_FALSE(weekly->NoEndDate());
  EXPECT_EQ(weekly->PatternStartDate(), EncodeDate(2026, 12, 7));
  EXPECT_EQ(weekly->PatternEndDate(), EncodeDate(2027, 3, 1));
  // Every other week on Monday and Wednesday from 7 December to 1 March.
  EXPECT_EQ(weekly->Occurrences(), 13);
  EXPECT_NEAR(TimeOf(weekly->StartTime()), EncodeTime(4, 0), kSecond);

  auto yearly = items->Item(1)->AsAppointment()->GetRecurrencePattern();
  EXPECT_EQ(yearly->RecurrenceType(), 5);
  EXPECT_EQ(yearly->DayOfMonth(), 25);
  EXPECT_EQ(yearly->MonthOfYear(), 12);
  EXPECT_EQ(yearly->Interval(), 1);
  EXPECT_TRUE(yearly->NoEndDate());
  EXPECT_EQ(yearly->PatternEndDate(), 0);
}

TEST_F(LocalStoreTest, CalendarPathMayBeOneFileOrOneVdir) {
  auto root = CopyFixture("calendar");
  auto file = Open(olFolderCalendar, {root / "work" / "two_events.ics", {}, {}});
  EXPECT_EQ(file->Items()->Count(), 2);
  auto vdir = Open(olFolderCalendar, {root / "work", {}, {}});
  EXPECT_EQ(vdir->Items()->Count(), 3);
}

TEST_F(LocalStoreTest, MissingFolderIsEmptyLoggedOnceAndReadOnThePassAfterItAppears) {
  auto folder = Open(olFolderCalendar, {tmp / "nowhere", {}, {}});
  EXPECT_EQ(folder->Items()->Count(), 0);
  EXPECT_EQ(Pass(olFolderCalendar)->Items()->Count(), 0);
  EXPECT_EQ(LogsMentioning("nowhere"), 1);

  fs::create_directories(tmp / "nowhere");
  fs::copy(kData / "calendar" / "work" / "two_events.ics", tmp / "nowhere" / "a.ics");
  EXPECT_EQ(Pass(olFolderCalendar)->Items()->Count(), 2);
}

TEST_F(LocalStoreTest, ItemOutOfRangeIsNullAndOtherFoldersAreNotThere) {
  CopyFixture("calendar");
  auto folder = Open(olFolderCalendar);
  auto items = folder->Items();
  EXPECT_EQ(items->Item(0), nullptr);
  EXPECT_EQ(items->Item(-1), nullptr);
  EXPECT_EQ(items->Item(items->Count() + 1), nullptr);
  auto ns = app->GetNamespace("mapi");
  EXPECT_EQ(ns->GetDefaultFolder(5), nullptr);
  EXPECT_EQ(ns->GetDefaultFolder(olFolderCalendar), folder);
  EXPECT_THROW(app->GetNamespace("LDAP"), EOleError);
}

// ---------------------------------------------------------------------------
// Tasks

TEST_F(LocalStoreTest, TaskMembers) {
  CopyFixture("tasks");
  auto items = Open(olFolderTasks)->Items();
  // recurring.ics (two to-dos; its event is no task), then tasks.ics.
  ASSERT_EQ(items->Count(), 5);
  struct Case {
    std::string subject;
    TDateTime start, due, reminder;
    bool reminderSet, complete, recurring;
  } cases[] = {
      {"Other task", EncodeDate(2026, 12, 7), kNoDate, kNoDate, false, false, false},
      // 8:00 to 18:00 in Berlin (the file's own VTIMEZONE) is 2:00 to 12:00
      // here; the alarm goes 15 minutes before the start.
      {"Water plants", EncodeDate(2026, 12, 7), EncodeDate(2026, 12, 7),
       EncodeDateTime(2026, 12, 7, 1, 45), true, false, true},
      // Due 17:00 UTC, noon here; the alarm an hour before the due time.
      {"Send report", EncodeDate(2026, 12, 14), EncodeDate(2026, 12, 15),
       EncodeDateTime(2026, 12, 15, 11, 0), true, false, false},
      {"Pay rent", kNoDate, EncodeDate(2026, 12, 1), kNoDate, false, true, false},
      {"Someday", kNoDate, kNoDate, kNoDate, false, false, false},
  };
  for (int i = 0; i < 5; ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.subject);
    auto t = items->Item(i + 1)->AsTask();
    ASSERT_TRUE(t);
    EXPECT_EQ(items->Item(i + 1)->AsAppointment(), nullptr);
    EXPECT_EQ(t->Subject(), c.subject);
    EXPECT_EQ(t->StartDate(), c.start);
    EXPECT_EQ(t->DueDate(), c.due);
    EXPECT_EQ(t->ReminderSet(), c.reminderSet);
    if (c.reminderSet) {
      EXPECT_NEAR(t->ReminderTime(), c.reminder, kSecond);
    }
    EXPECT_EQ(t->Complete(), c.complete);
    EXPECT_EQ(t->IsRecurring(), c.recurring);
  }
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos)
    text.replace(at, from.size(), to);
  return text;
}

TEST_F(LocalStoreTest, SkipRecurrenceMovesTheTaskAndKeepsTheRestOfItsFile) {
  auto root = CopyFixture("tasks");
  const fs::path file = root / "recurring.ics";
  const std::string original = ReadText(file);
  auto folder = Open(olFolderTasks);
  auto task = folder->Items()->Item(2)->AsTask();
  ASSERT_EQ(task->Subject(), "Water plants");

  ASSERT_TRUE(task->SkipRecurrence());
  EXPECT_EQ(task->StartDate(), EncodeDate(2026, 12, 14));
  EXPECT_EQ(task->DueDate(), EncodeDate(2026, 12, 14));
  EXPECT_NEAR(task->ReminderTime(), EncodeDateTime(2026, 12, 14, 1, 45), kSecond);
  // Only the task's own DTSTART, DUE and the count left changed; the TZID
  // parameter, the folded description, the other to-do, the event and the
  // time zone's own DTSTART lines are as they were.
  std::string expected = original;
  expected = Replaced(expected, "\":20261207T080000", "\":20261214T080000");
  expected = Replaced(expected, "\":20261207T180000", "\":20261214T180000");
  expected = Replaced(expected, "FREQ=WEEKLY;COUNT=3", "FREQ=WEEKLY;COUNT=2");
  EXPECT_EQ(ReadText(file), expected);

  // The folder reads the moved task on its next look.
  auto again = folder->Items()->Item(2)->AsTask();
  EXPECT_EQ(again->StartDate(), EncodeDate(2026, 12, 14));

  ASSERT_TRUE(task->SkipRecurrence());
  EXPECT_EQ(task->DueDate(), EncodeDate(2026, 12, 21));
  const std::string last = ReadText(file);
  EXPECT_NE(last.find("COUNT=1"), std::string::npos);
  // The third of three occurrences is the last: nothing to move on to, and
  // the file stays as it is.
  EXPECT_FALSE(task->SkipRecurrence());
  EXPECT_EQ(task->DueDate(), EncodeDate(2026, 12, 21));
  EXPECT_EQ(ReadText(file), last);
  // No temporary file is left beside it.
  int files = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(root))
    ++files;
  EXPECT_EQ(files, 2);
}

TEST_F(LocalStoreTest, SkipRecurrenceOfATaskWithoutSeriesOrWithoutFile) {
  auto root = CopyFixture("tasks");
  auto items = Open(olFolderTasks)->Items();
  EXPECT_FALSE(items->Item(3)->AsTask()->SkipRecurrence());  // Send report: no RRULE
  fs::remove(root / "recurring.ics");
  EXPECT_THROW(items->Item(2)->AsTask()->SkipRecurrence(), EOleError);
}

// ---------------------------------------------------------------------------
// Inbox

TEST_F(LocalStoreTest, InboxMessagesByReceivedTime) {
  auto root = CopyFixture("inbox");
  const auto before = Contents(root);
  auto folder = Open(olFolderInbox);
  auto items = folder->Items();
  ASSERT_EQ(items->Count(), 3);  // the damaged message is left out
  EXPECT_EQ(LogsMentioning("1765100000.M4P100.host"), 1);
  EXPECT_EQ(folder->UnReadItemCount(), 2);

  auto read = items->Item(1)->AsMail();
  EXPECT_EQ(read->Subject(), "Read already");
  EXPECT_FALSE(read->UnRead());
  EXPECT_EQ(read->Importance(), 2);  // Priority: urgent
  EXPECT_NEAR(read->ReceivedTime(), EncodeDateTime(2026, 12, 8, 10, 0), kSecond);

  auto html = items->Item(2)->AsMail();
  EXPECT_EQ(html->Subject(), "Weekly news");
  EXPECT_TRUE(html->UnRead());
  EXPECT_EQ(html->Importance(), 2);  // Importance: High
  EXPECT_EQ(html->Body(),
            "Hello & welcome\nLine two\nthree \xE2\x82\xAC"
            "5");
  EXPECT_NEAR(html->ReceivedTime(), EncodeDateTime(2026, 12, 9, 8, 0), kSecond);

  auto urgent = items->Item(3)->AsMail();
  EXPECT_EQ(urgent->Subject(), "Server down \xE2\x80\x94 dringend");
  EXPECT_TRUE(urgent->UnRead());
  EXPECT_EQ(urgent->Importance(), 2);  // X-Priority: 1
  EXPECT_EQ(urgent->Body(),
            "The main server has stopped. Gr\xC3\xBC\xC3\x9F"
            "e");
  // The newest Received: header, 14:05 UTC, not the Date: of 13:00.
  EXPECT_NEAR(urgent->ReceivedTime(), EncodeDateTime(2026, 12, 10, 9, 5), kSecond);
  EXPECT_EQ(items->Item(3)->AsAppointment(), nullptr);

  EXPECT_EQ(Contents(root), before) << "the store never changes the Maildir";
}

// ---------------------------------------------------------------------------
// Re-reading

TEST_F(LocalStoreTest, OnlyChangedFilesAreParsedAgain) {
  auto root = CopyFixture("calendar");
  auto folder = Open(olFolderCalendar);
  uint64_t start = LocalStoreCounts().Parses;
  EXPECT_EQ(folder->Items()->Count(), 4);
  EXPECT_EQ(LocalStoreCounts().Parses - start, 4u);  // the four .ics files, broken one too

  // Nothing changed: the scans' repeated calls parse nothing.
  start = LocalStoreCounts().Parses;
  for (int i = 0; i < 20; ++i) {
    auto items = folder->Items();
    EXPECT_EQ(items->Count(), 4);
    EXPECT_TRUE(items->Item(i % 4 + 1));
  }
  EXPECT_EQ(LocalStoreCounts().Parses - start, 0u);
  EXPECT_EQ(LogsMentioning("broken.ics"), 1) << "a broken file is reported once, not per look";

  // One file changed: it alone is parsed, and the change is seen at once.
  const fs::path changed = root / "work" / "two_events.ics";
  WriteText(changed, Replaced(ReadText(changed), "SUMMARY:Standup", "SUMMARY:Stand-up meeting"));
  Age(changed, std::chrono::minutes(30));
  start = LocalStoreCounts().Parses;
  auto items = folder->Items();
  EXPECT_EQ(LocalStoreCounts().Parses - start, 1u);
  EXPECT_EQ(items->Item(2)->AsAppointment()->Subject(), "Stand-up meeting");

  // A new file is parsed; a removed one just leaves the list.
  fs::copy(kData / "calendar" / "home" / "allday.ics", root / "home" / "again.ics");
  Age(root / "home" / "again.ics");
  fs::remove(root / "work" / "weekly_berlin.ics");
  start = LocalStoreCounts().Parses;
  EXPECT_EQ(folder->Items()->Count(), 4);
  EXPECT_EQ(LocalStoreCounts().Parses - start, 1u);

  // A file replaced by another of the same size and time (an atomic rewrite
  // by a sync tool) is a new file.
  const fs::path allday = root / "home" / "allday.ics";
  const auto when = fs::last_write_time(allday);
  WriteText(root / "home" / ".new", Replaced(ReadText(allday), "Christmas", "Xmas Day!"));
  fs::last_write_time(root / "home" / ".new", when);
  fs::rename(root / "home" / ".new", allday);
  EXPECT_EQ(folder->Items()->Item(2)->AsAppointment()->Subject(), "Xmas Day!");
}

TEST_F(LocalStoreTest, MarkingMailReadIsNoNewMessage) {
  auto root = CopyFixture("inbox");
  auto folder = Open(olFolderInbox);
  EXPECT_EQ(folder->UnReadItemCount(), 2);
  uint64_t start = LocalStoreCounts().Parses;
  // A mail program moves the new message to cur/ and flags it seen.
  fs::rename(root / "new" / "1765400000.M1P100.host", root / "cur" / "1765400000.M1P100.host:2,S");
  EXPECT_EQ(folder->UnReadItemCount(), 1);
  auto items = folder->Items();
  ASSERT_EQ(items->Count(), 3);
  EXPECT_FALSE(items->Item(3)->AsMail()->UnRead());
  EXPECT_EQ(LocalStoreCounts().Parses - start, 0u);

  // A delivery is read at once.
  fs::copy(kData / "inbox" / "new" / "1765400000.M1P100.host", root / "new" / "1765500000.M9.host");
  Age(root / "new" / "1765500000.M9.host");
  EXPECT_EQ(folder->UnReadItemCount(), 2);
  EXPECT_EQ(folder->Items()->Count(), 4);
  EXPECT_EQ(LocalStoreCounts().Parses - start, 1u);
}

TStoreCounts Since(const TStoreCounts& start) {
  const TStoreCounts now = LocalStoreCounts();
  return {now.Looks - start.Looks, now.Listings - start.Listings, now.Stats - start.Stats,
          now.Parses - start.Parses};
}

TEST_F(LocalStoreTest, APassLooksAtItsFolderAtMostOnce) {
  // Passes as the engine makes them, over a calendar of four files in two
  // vdirs and an inbox of four messages: the folder fetched, then its items
  // fetched anew for each count and each item. Where the file system's
  // notices are trusted an unchanged pass costs no stat at all; without
  // them it costs one look, however many calls it makes.
  CopyFixture("calendar");
  CopyFixture("inbox");
  for (const bool notices : {true, false}) {
    SCOPED_TRACE(notices ? "with change notices" : "without change notices");
    Open(olFolderCalendar, {}, {notices})->Items();
    Pass(olFolderInbox)->Items();
    for (int pass = 0; pass < 3; ++pass) {
      const TStoreCounts start = LocalStoreCounts();
      auto calendar = Pass(olFolderCalendar);
      for (int n = 0; n < 150; ++n)
        if (calendar->Items()->Count() >= n % 4 + 1)
          calendar->Items()->Item(n % 4 + 1);
      const TStoreCounts calendarPass = Since(start);
      EXPECT_EQ(calendarPass.Looks, notices ? 0u : 1u);
      EXPECT_EQ(calendarPass.Listings, notices ? 0u : 3u);  // the root and its two vdirs
      EXPECT_LE(calendarPass.Stats, notices ? 0u : 8u);
      EXPECT_EQ(calendarPass.Parses, 0u);

      const TStoreCounts walkStart = LocalStoreCounts();
      auto inbox = Pass(olFolderInbox);
      const int n = inbox->Items()->Count();
      for (int i = 1; i <= n && inbox->UnReadItemCount() > 0; ++i)
        inbox->Items()->Item(i);
      const TStoreCounts walk = Since(walkStart);
      EXPECT_EQ(walk.Looks, notices ? 0u : 1u);
      EXPECT_EQ(walk.Listings, notices ? 0u : 2u);  // new/ and cur/
      EXPECT_EQ(walk.Parses, 0u);
    }
  }
}

TEST_F(LocalStoreTest, ChangesAreSeenWhereNoticesNameThem) {
  auto root = CopyFixture("calendar");
  auto folder = Open(olFolderCalendar);
  ASSERT_EQ(folder->Items()->Count(), 4);
  auto subjects = [&] {
    std::vector<std::string> out;
    auto items = folder->Items();
    for (int i = 1; i <= items->Count(); ++i)
      out.push_back(items->Item(i)->AsAppointment()->Subject());
    return out;
  };

  // A new vdir with a file, and one in a hidden folder that is no calendar.
  fs::create_directories(root / "club");
  fs::copy(kData / "calendar" / "home" / "allday.ics", root / "club" / "party.ics");
  fs::create_directories(root / ".trash");
  fs::copy(kData / "calendar" / "home" / "allday.ics", root / ".trash" / "old.ics");
  TStoreCounts start = LocalStoreCounts();
  EXPECT_EQ(subjects(), (std::vector<std::string>{"Christmas", "Christmas", "Standup",
                                                  "Budget review", "Weekly sync"}));
  EXPECT_EQ(Since(start).Looks, 0u);
  EXPECT_EQ(Since(start).Parses, 1u);

  // A vdir renamed and one removed: their events move or leave.
  fs::rename(root / "club", root / "zoo");
  fs::remove_all(root / "work");
  EXPECT_EQ(subjects(), (std::vector<std::string>{"Christmas", "Christmas"}));

  // A file reached through a link changes without a notice: the next pass sees it.
  const fs::path elsewhere = tmp / "elsewhere.ics";
  fs::copy(kData / "calendar" / "work" / "two_events.ics", elsewhere);
  fs::create_symlink(elsewhere, root / "home" / "linked.ics");
  EXPECT_EQ(folder->Items()->Count(), 4);
  WriteText(elsewhere, Replaced(ReadText(elsewhere), "SUMMARY:Standup", "SUMMARY:Stand-up"));
  Age(elsewhere, std::chrono::minutes(30));
  EXPECT_EQ(Pass(olFolderCalendar)->Items()->Item(2)->AsAppointment()->Subject(), "Stand-up");
  EXPECT_EQ(Since(start).Looks, 0u);
}

TEST_F(LocalStoreTest, QuitDropsWhatWasRead) {
  CopyFixture("inbox");
  Open(olFolderInbox)->Items();
  uint64_t start = LocalStoreCounts().Parses;
  app->Quit();
  auto folder = app->GetNamespace("MAPI")->GetDefaultFolder(olFolderInbox);
  EXPECT_EQ(folder->Items()->Count(), 3);
  EXPECT_EQ(LocalStoreCounts().Parses - start, 4u);
}

// ---------------------------------------------------------------------------
// Locations

TEST_F(LocalStoreTest, LocationsFromTheStoreKeyOrTheDataFolder) {
  setenv("XDG_DATA_HOME", (tmp / "data").c_str(), 1);
  setenv("HOME", tmp.Path().c_str(), 1);
  TRegistry registry(tmp / "registry.reg");

  TStoreLocations defaults = ReadStoreLocations(registry);
  EXPECT_EQ(defaults.Calendar, tmp / "data" / "ravenote" / "Calendar");
  EXPECT_EQ(defaults.Tasks, tmp / "data" / "ravenote" / "Tasks");
  EXPECT_EQ(defaults.Inbox, tmp / "data" / "ravenote" / "Inbox");

  TRegKey key;
  key.WriteString("Calendar", "/srv/cal/personal.ics");
  key.WriteString("Inbox", "~/Mail/INBOX");
  key.WriteString("Tasks", "");  // empty: the default place
  registry.SaveKey(kStoreKey, key);
  TStoreLocations stored = ReadStoreLocations(registry);
  EXPECT_EQ(stored.Calendar, fs::path("/srv/cal/personal.ics"));
  EXPECT_EQ(stored.Tasks, tmp / "data" / "ravenote" / "Tasks");
  EXPECT_EQ(stored.Inbox, tmp / "Mail" / "INBOX");

  // A value that is no text is reported, not passed over.
  key.WriteDword("Tasks", 1);
  registry.SaveKey(kStoreKey, key);
  EXPECT_THROW(ReadStoreLocations(registry), ERegistryError);
}

}  // namespace
}  // namespace rn
