// NOTIFY.NTD, TASK.NTD and EMAIL.NTD: their exact bytes, damaged files, and
// saves that fail without losing the previous file.
#include "engine/state_files.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "engine_fixture.h"
#include "fakes.h"
#include "platform/text.h"

namespace rn {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

Bytes ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& file, const Bytes& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// "15 00 00 00" -> bytes.
Bytes Hex(const std::string& text) {
  Bytes out;
  std::istringstream in(text);
  std::string byte;
  while (in >> byte)
    out.push_back(static_cast<uint8_t>(std::stoul(byte, nullptr, 16)));
  return out;
}

Bytes Slice(const Bytes& bytes, size_t offset, size_t size) {
  if (offset + size > bytes.size())
    return {};
  return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
               bytes.begin() + static_cast<std::ptrdiff_t>(offset + size));
}

// A name block: length byte, text, zero filler to 256 bytes.
Bytes NameBlock(const std::string& name) {
  Bytes out(256, 0);
  out[0] = static_cast<uint8_t>(name.size());
  std::copy(name.begin(), name.end(), out.begin() + 1);
  return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts)
    out.insert(out.end(), p.begin(), p.end());
  return out;
}

const Bytes kHeader = Hex("15 00 00 00");
// Little-endian doubles.
const Bytes k38140 = Hex("00 00 00 00 80 9f e2 40");        // 2004-06-02
const Bytes k38140_4375 = Hex("00 00 00 00 8e 9f e2 40");   // 2004-06-02 10:30
const Bytes k38140_40625 = Hex("00 00 00 00 8d 9f e2 40");  // 2004-06-02 09:45
const Bytes kOne = Hex("00 00 00 00 00 00 f0 3f");
const Bytes kNoDateBytes = Hex("00 00 00 00 dc fd 2c 41");
const Bytes kZero(8, 0);

std::unique_ptr<TEventItem> Meeting(const std::string& name, TDateTime start, TDateTime notify,
                                    bool notified = false) {
  auto r = std::make_unique<TEventItem>();
  r->Name = name;
  r->StartTime = start;
  r->NotifyTime = notify;
  r->Notified = notified;
  return r;
}

void AddMeeting(TEventList& list, std::unique_ptr<TEventItem> r) {
  const std::string key = r->Name;
  ASSERT_TRUE(list.Add(key, std::move(r)));
}

class StateFiles : public ::testing::Test {
 protected:
  test::TempFolder folder;
  fs::path File(const char* name) const { return folder / name; }
};

// ---- exact layouts ----

TEST_F(StateFiles, EmptyListsAreTheFourHeaderBytesAndLoadEmpty) {
  WriteNotifyFile(File(kNotifyFile), TEventList{});
  WriteTaskFile(File(kTaskFile), TTaskList{});
  WriteEmailFile(File(kEmailFile), TEmailList{});
  for (const char* name : {kNotifyFile, kTaskFile, kEmailFile}) {
    EXPECT_EQ(ReadBytes(File(name)), kHeader) << name;
  }
  TEventList meetings;
  TTaskList tasks;
  TEmailList emails;
  ReadNotifyFile(File(kNotifyFile), meetings);
  ReadTaskFile(File(kTaskFile), tasks);
  ReadEmailFile(File(kEmailFile), emails);
  EXPECT_EQ(meetings.Count(), 0);
  EXPECT_EQ(tasks.Count(), 0);
  EXPECT_EQ(emails.Count(), 0);
}

TEST_F(StateFiles, NotifyRecordLayout) {
  TEventList list;
  AddMeeting(list, Meeting("10:30:00@loc:Room 4:Budget", 38140.4375, 38140.40625, true));
  WriteNotifyFile(File(kNotifyFile), list);

  const Bytes bytes = ReadBytes(File(kNotifyFile));
  ASSERT_EQ(bytes.size(), 4 + kNotifyRecordSize);
  EXPECT_EQ(bytes, Concat({kHeader, NameBlock("10:30:00@loc:Room 4:Budget"), k38140_4375,
                           k38140_40625, Hex("01")}));
}

TEST_F(StateFiles, TaskRecordLayout) {
  TTaskList list;
  auto r = std::make_unique<TTaskEvent>();
  r->Name = "Report:02/06/04";
  r->StartDate = 1.0;
  r->DueDate = 38140.0;
  r->RemindTime = 38140.4375;
  r->PreDueTime = 38140.40625;
  r->TaskNotifyTime = kNoDate;
  r->Notified = true;
  r->PreNotified = false;
  r->NotifiedAt = 38140.0;
  r->Complete = true;
  const std::string key = r->Name;
  ASSERT_TRUE(list.Add(key, std::move(r)));
  WriteTaskFile(File(kTaskFile), list);

  const Bytes bytes = ReadBytes(File(kTaskFile));
  ASSERT_EQ(bytes.size(), 4 + kTaskRecordSize);
  const Bytes record = Slice(bytes, 4, kTaskRecordSize);
  EXPECT_EQ(Slice(record, 0, 256), NameBlock("Report:02/06/04"));
  EXPECT_EQ(Slice(record, 256, 8), kOne);          // StartDate
  EXPECT_EQ(Slice(record, 264, 8), k38140);        // DueDate
  EXPECT_EQ(Slice(record, 272, 8), k38140_4375);   // RemindTime
  EXPECT_EQ(Slice(record, 280, 8), k38140_40625);  // PreDueTime
  EXPECT_EQ(Slice(record, 288, 8), kNoDateBytes);  // TaskNotifyTime
  EXPECT_EQ(Slice(record, 296, 2), Hex("01 00"));  // Notified, PreNotified
  EXPECT_EQ(Slice(record, 298, 8), k38140);        // NotifiedAt
  EXPECT_EQ(Slice(record, 306, 1), Hex("01"));     // Complete
}

TEST_F(StateFiles, EmailRecordLayout) {
  TEmailList list;
  auto r = std::make_unique<TEmailItem>();
  r->Name = "Server downPlease call";
  r->AddedTime = 38140.4375;
  const std::string key = r->Name;
  ASSERT_TRUE(list.Add(key, std::move(r)));
  WriteEmailFile(File(kEmailFile), list);
  EXPECT_EQ(ReadBytes(File(kEmailFile)),
            Concat({kHeader, NameBlock("Server downPlease call"), k38140_4375}));
}

TEST_F(StateFiles, ReadsAFileWrittenByHand) {
  // Filler after the name is ignored, and any non-zero byte is true.
  Bytes name = NameBlock("Lunch");
  std::fill(name.begin() + 6, name.end(), 0xAA);
  WriteBytes(File(kNotifyFile), Concat({kHeader, name, k38140_4375, k38140_40625, Hex("07")}));

  TEventList list;
  ReadNotifyFile(File(kNotifyFile), list);
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Key(0), "Lunch");
  EXPECT_EQ(list.At(0).Name, "Lunch");
  EXPECT_EQ(list.At(0).StartTime, 38140.4375);
  EXPECT_EQ(list.At(0).NotifyTime, 38140.40625);
  EXPECT_TRUE(list.At(0).Notified);
  EXPECT_EQ(list.At(0).LastSeen, 0);
}

TEST_F(StateFiles, SaveThenLoadGivesTheSameRecords) {
  TEventList meetings;
  AddMeeting(meetings, Meeting("b", 2.5, 2.25, true));
  AddMeeting(meetings, Meeting("A", 3.5, 3.25, false));
  meetings.At(meetings.Find("b")).LastSeen = 99;

  TTaskList tasks;
  for (int i = 0; i < 3; ++i) {
    auto t = std::make_unique<TTaskEvent>();
    t->Name = "task " + std::to_string(i);
    t->StartDate = i + 0.5;
    t->DueDate = i + 1;
    t->RemindTime = i + 1.25;
    t->PreDueTime = i;
    t->TaskNotifyTime = i + 0.75;
    t->Notified = i == 0;
    t->PreNotified = i == 1;
    t->NotifiedAt = i + 0.125;
    t->Complete = i == 2;
    const std::string key = t->Name;
    ASSERT_TRUE(tasks.Add(key, std::move(t)));
  }
  TEmailList emails;
  auto e = std::make_unique<TEmailItem>();
  e->Name = "Grüße aus Köln";
  e->AddedTime = 46367.5;
  const std::string key = e->Name;
  ASSERT_TRUE(emails.Add(key, std::move(e)));

  WriteNotifyFile(File(kNotifyFile), meetings);
  WriteTaskFile(File(kTaskFile), tasks);
  WriteEmailFile(File(kEmailFile), emails);
  TEventList meetings2;
  TTaskList tasks2;
  TEmailList emails2;
  ReadNotifyFile(File(kNotifyFile), meetings2);
  ReadTaskFile(File(kTaskFile), tasks2);
  ReadEmailFile(File(kEmailFile), emails2);

  ASSERT_EQ(meetings2.Count(), 2);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(meetings2.Key(i), meetings.Key(i));
    EXPECT_EQ(meetings2.At(i).Name, meetings.At(i).Name);
    EXPECT_EQ(meetings2.At(i).StartTime, meetings.At(i).StartTime);
    EXPECT_EQ(meetings2.At(i).NotifyTime, meetings.At(i).NotifyTime);
    EXPECT_EQ(meetings2.At(i).Notified, meetings.At(i).Notified);
    EXPECT_EQ(meetings2.At(i).LastSeen, 0);  // not stored
  }
  ASSERT_EQ(tasks2.Count(), 3);
  for (int i = 0; i < 3; ++i) {
    const TTaskEvent& a = tasks.At(i);
    const TTaskEvent& b = tasks2.At(i);
    EXPECT_EQ(b.Name, a.Name);
    EXPECT_EQ(b.StartDate, a.StartDate);
    EXPECT_EQ(b.DueDate, a.DueDate);
    EXPECT_EQ(b.RemindTime, a.RemindTime);
    EXPECT_EQ(b.PreDueTime, a.PreDueTime);
    EXPECT_EQ(b.TaskNotifyTime, a.TaskNotifyTime);
    EXPECT_EQ(b.Notified, a.Notified);
    EXPECT_EQ(b.PreNotified, a.PreNotified);
    EXPECT_EQ(b.NotifiedAt, a.NotifiedAt);
    EXPECT_EQ(b.Complete, a.Complete);
  }
  ASSERT_EQ(emails2.Count(), 1);
  EXPECT_EQ(emails2.At(0).Name, "Grüße aus Köln");
  EXPECT_EQ(emails2.At(0).AddedTime, 46367.5);
}

// ---- names ----

TEST_F(StateFiles, LongNamesAreStoredCutOnACharacterBoundary) {
  struct Case {
    std::string name;
    size_t stored;
  } cases[] = {
      {std::string(300, 'x'), 255},
      {[] {  // 300 two-byte characters: 127 whole ones fit in 255 bytes
         std::string s;
         for (int i = 0; i < 300; ++i)
           s += "é";
         return s;
       }(),
       254},
      {std::string(255, 'y'), 255},
  };
  for (const Case& c : cases) {
    TEventList list;
    AddMeeting(list, Meeting(c.name, 1, 1));
    WriteNotifyFile(File(kNotifyFile), list);
    const Bytes bytes = ReadBytes(File(kNotifyFile));
    ASSERT_EQ(bytes.size(), 4 + kNotifyRecordSize);
    EXPECT_EQ(bytes[4], c.stored);

    TEventList loaded;
    ReadNotifyFile(File(kNotifyFile), loaded);
    ASSERT_EQ(loaded.Count(), 1);
    EXPECT_EQ(loaded.At(0).Name, CutUtf8(c.name));
    EXPECT_EQ(loaded.At(0).Name.size(), c.stored);
  }
}

TEST_F(StateFiles, KeysDifferingOnlyInCaseLoadOnce) {
  WriteBytes(File(kEmailFile), Concat({kHeader, NameBlock("Urgent"), kOne, NameBlock("URGENT"),
                                       k38140, NameBlock("other"), k38140}));
  TEmailList list;
  ReadEmailFile(File(kEmailFile), list);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.At(list.Find("urgent")).Name, "Urgent");  // the first one stays
  EXPECT_EQ(list.At(list.Find("urgent")).AddedTime, 1.0);
}

// ---- damaged files ----

TEST_F(StateFiles, MissingFileLoadsNothing) {
  TEventList list;
  EXPECT_NO_THROW(ReadNotifyFile(File(kNotifyFile), list));
  EXPECT_EQ(list.Count(), 0);
}

TEST_F(StateFiles, WrongHeaderLoadsNothingSilently) {
  for (const Bytes& header : {Hex("14 00 00 00"), Hex("00 00 00 15"), Hex("15 00 00 01")}) {
    WriteBytes(File(kEmailFile), Concat({header, NameBlock("a"), kOne}));
    TEmailList list;
    EXPECT_NO_THROW(ReadEmailFile(File(kEmailFile), list));
    EXPECT_EQ(list.Count(), 0);
  }
}

TEST_F(StateFiles, CutOffLastRecordKeepsTheCompleteOnesAndReports) {
  const Bytes whole = Concat({kHeader, NameBlock("a"), kOne, NameBlock("b"), k38140});
  for (size_t cut : {size_t{1}, size_t{100}, kEmailRecordSize - 1}) {
    Bytes bytes = Concat({whole, NameBlock("c"), k38140});
    bytes.resize(whole.size() + cut);
    WriteBytes(File(kEmailFile), bytes);

    TEmailList list;
    try {
      ReadEmailFile(File(kEmailFile), list);
      ADD_FAILURE() << "no error for a record cut to " << cut << " bytes";
    } catch (const std::runtime_error& error) {
      EXPECT_NE(std::string(error.what()).find("EMAIL.NTD"), std::string::npos) << error.what();
      EXPECT_NE(std::string(error.what()).find("cut short"), std::string::npos) << error.what();
    }
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Key(0), "a");
    EXPECT_EQ(list.Key(1), "b");
  }
}

TEST_F(StateFiles, FileShorterThanItsHeaderIsAnError) {
  WriteBytes(File(kTaskFile), Hex("15 00"));
  TTaskList list;
  EXPECT_THROW(ReadTaskFile(File(kTaskFile), list), std::runtime_error);
  EXPECT_EQ(list.Count(), 0);
}

// ---- failing saves keep the previous file ----

// The three kinds of save, against a list of `count` records.
void SaveNotifyRecords(const fs::path& file, int count) {
  TEventList list;
  for (int i = 0; i < count; ++i)
    AddMeeting(list, Meeting("m" + std::to_string(i), i, i));
  WriteNotifyFile(file, list);
}

std::vector<fs::path> Leftovers(const fs::path& folder) {
  std::vector<fs::path> out;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().filename().string().front() == '.')
      out.push_back(entry.path());
  }
  return out;
}

TEST_F(StateFiles, SaveIntoAnUnwritableFolderKeepsTheOldFile) {
  SaveNotifyRecords(File(kNotifyFile), 2);
  const Bytes before = ReadBytes(File(kNotifyFile));
  fs::permissions(folder.Path(), fs::perms::owner_read | fs::perms::owner_exec);
  {
    // Root writes anyway; then there is nothing to test.
    std::ofstream probe(folder / "probe");
    if (probe) {
      fs::permissions(folder.Path(), fs::perms::owner_all);
      GTEST_SKIP() << "running as a user whom folder permissions do not stop";
    }
  }
  try {
    SaveNotifyRecords(File(kNotifyFile), 5);
    ADD_FAILURE() << "the save did not fail";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find("NOTIFY.NTD"), std::string::npos) << error.what();
  }
  fs::permissions(folder.Path(), fs::perms::owner_all);
  EXPECT_EQ(ReadBytes(File(kNotifyFile)), before);
}

TEST_F(StateFiles, SaveFailingMidwayKeepsTheOldFileAndLeavesNoTemporary) {
  SaveNotifyRecords(File(kNotifyFile), 2);
  const Bytes before = ReadBytes(File(kNotifyFile));

  // A file size limit makes the write stop part of the way through, as a
  // full disk would.
  struct sigaction ignore {
  }, old{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &old);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 2000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string message;
  try {
    SaveNotifyRecords(File(kNotifyFile), 20);  // 5464 bytes
  } catch (const std::runtime_error& error) {
    message = error.what();
  }
  setrlimit(RLIMIT_FSIZE, &saved);
  sigaction(SIGXFSZ, &old, nullptr);

  EXPECT_NE(message.find("Unable to save NOTIFY.NTD"), std::string::npos) << message;
  EXPECT_EQ(ReadBytes(File(kNotifyFile)), before);
  EXPECT_TRUE(Leftovers(folder.Path()).empty());
}

TEST_F(StateFiles, SaveThatCannotReplaceTheOldFileLeavesNoTemporary) {
  fs::create_directories(File(kEmailFile) / "occupied");  // a folder where the file goes
  EXPECT_THROW(WriteEmailFile(File(kEmailFile), TEmailList{}), std::runtime_error);
  EXPECT_TRUE(fs::is_directory(File(kEmailFile)));
  EXPECT_TRUE(Leftovers(folder.Path()).empty());
}

// ---- the engine's state operations ----

// Counts the replacements of each file in a folder as the system reports
// them: every save renames a new file over its name.
class TReplacementCounter {
 public:
  explicit TReplacementCounter(const fs::path& folder)
      : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    EXPECT_GE(::inotify_add_watch(fd_, folder.c_str(), IN_MOVED_TO | IN_CREATE), 0);
  }
  ~TReplacementCounter() { ::close(fd_); }
  // Replacements of `name` and temporary files made, since the last call.
  std::map<std::string, int> Take() {
    std::map<std::string, int> counts;
    alignas(inotify_event) char buffer[1 << 16];
    for (;;) {
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n <= 0)
        break;
      for (ssize_t at = 0; at < n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        const std::string name = event->len ? event->name : "";
        if (event->mask & IN_MOVED_TO)
          ++counts[name];
        else if (name.rfind('.', 0) == 0)
          ++counts["temporary"];
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
    return counts;
  }

 private:
  int fd_;
};

// A pass whose lists did not change writes nothing: no replacement, no
// flush to disk. A file that changed, went missing or was changed by
// someone else is written again; loading counts as knowing what a file holds.
TEST(StateOperations, FileWhoseBytesWouldNotChangeIsNotRewritten) {
  using Counts = std::map<std::string, int>;
  test::EngineRig rig(EncodeDateTime(2026, 12, 11, 9, 0));
  TOutlookProcessor& engine = *rig.processor;
  AddMeeting(engine.Meetings, Meeting("10:00@loc:A:Standup", 46367.4, 46367.39));
  auto e = std::make_unique<TEmailItem>();
  e->Name = "Down";
  ASSERT_TRUE(engine.Emails.Add("Down", std::move(e)));
  TReplacementCounter counter(rig.folder.Path());

  engine.SaveAll();
  EXPECT_EQ(counter.Take(),
            (Counts{{kNotifyFile, 1}, {kTaskFile, 1}, {kEmailFile, 1}, {"temporary", 3}}));
  for (int pass = 0; pass < 10; ++pass)
    engine.RunPass();  // nothing to scan, outside the window's dispatch
  engine.SaveAll();
  EXPECT_EQ(counter.Take(), Counts{});

  engine.Meetings.At(0).Notified = true;
  engine.SaveAll();
  EXPECT_EQ(counter.Take(), (Counts{{kNotifyFile, 1}, {"temporary", 1}}));

  fs::remove(rig.folder / kTaskFile);
  WriteBytes(rig.folder / kEmailFile, Concat({kHeader, NameBlock("Up"), kZero}));
  counter.Take();
  engine.SaveAll();
  EXPECT_EQ(counter.Take(), (Counts{{kTaskFile, 1}, {kEmailFile, 1}, {"temporary", 2}}));
  TEmailList emails;
  ReadEmailFile(rig.folder / kEmailFile, emails);
  ASSERT_EQ(emails.Count(), 1);
  EXPECT_EQ(emails.Key(0), "Down");

  // A fresh engine that loaded the files writes nothing until something
  // changes; one that loaded a damaged file writes it whole again.
  test::EngineRig again(EncodeDateTime(2026, 12, 11, 9, 0));
  for (const char* name : {kNotifyFile, kTaskFile, kEmailFile})
    fs::copy_file(rig.folder / name, again.folder / name);
  Bytes cut = ReadBytes(again.folder / kNotifyFile);
  cut.resize(cut.size() - 1);
  WriteBytes(again.folder / kNotifyFile, cut);
  again.processor->LoadAll();
  TReplacementCounter fresh(again.folder.Path());
  again.processor->SaveAll();
  EXPECT_EQ(fresh.Take(), (Counts{{kNotifyFile, 1}, {"temporary", 1}}));
  again.processor->SaveAll();
  EXPECT_EQ(fresh.Take(), Counts{});
}

// Records in any order, and repeated ones, load as added one by one would.
TEST_F(StateFiles, RecordsInAnyOrderLoadSortedAndOnce) {
  Bytes data = kHeader;
  for (const char* name : {"zulu", "alpha", "Mike", "ALPHA", "bravo", "mike"})
    data = Concat({data, NameBlock(name), kZero, kZero, Bytes{1}});
  WriteBytes(File(kNotifyFile), data);
  TEventList meetings;
  AddMeeting(meetings, Meeting("Bravo", 1, 2));
  ReadNotifyFile(File(kNotifyFile), meetings);
  ASSERT_EQ(meetings.Count(), 4);
  const std::vector<std::string> keys = {meetings.Key(0), meetings.Key(1), meetings.Key(2),
                                         meetings.Key(3)};
  EXPECT_EQ(keys, (std::vector<std::string>{"alpha", "Bravo", "Mike", "zulu"}));
  EXPECT_EQ(meetings.At(1).StartTime, 1);  // the listed record stays
}

TEST(StateOperations, SaveAllThenLoadAllRestoresTheLists) {
  test::EngineRig rig(EncodeDateTime(2026, 12, 11, 9, 0));
  TOutlookProcessor& engine = *rig.processor;
  AddMeeting(engine.Meetings, Meeting("10:00@loc:A:Standup", 46367.4, 46367.39, true));
  auto t = std::make_unique<TTaskEvent>();
  t->Name = "Report:12/11/26";
  t->DueDate = 46367;
  ASSERT_TRUE(engine.Tasks.Add("Report:12/11/26", std::move(t)));
  auto e = std::make_unique<TEmailItem>();
  e->Name = "Down";
  ASSERT_TRUE(engine.Emails.Add("Down", std::move(e)));
  engine.SaveAll();

  test::EngineRig again(EncodeDateTime(2026, 12, 11, 9, 0));
  std::error_code ec;
  for (const char* name : {kNotifyFile, kTaskFile, kEmailFile}) {
    fs::copy_file(rig.folder / name, again.folder / name, ec);
    ASSERT_FALSE(ec) << name;
  }
  again.processor->LoadAll();
  EXPECT_EQ(again.processor->Meetings.Count(), 1);
  EXPECT_TRUE(again.processor->Meetings.At(0).Notified);
  EXPECT_EQ(again.processor->Tasks.Count(), 1);
  EXPECT_EQ(again.processor->Tasks.At(0).DueDate, 46367);
  EXPECT_EQ(again.processor->Emails.Count(), 1);
  EXPECT_TRUE(again.host.Statuses.empty());
}

TEST(StateOperations, DamagedFileShowsItsErrorAndTheOthersStillLoad) {
  test::EngineRig rig(EncodeDateTime(2026, 12, 11, 9, 0));
  Bytes task = Concat({kHeader, NameBlock("kept")});
  task.resize(4 + kTaskRecordSize);
  Bytes cut = Concat({task, NameBlock("lost")});
  WriteBytes(rig.folder / kTaskFile, cut);
  WriteBytes(rig.folder / kEmailFile, Concat({kHeader, NameBlock("mail"), kOne}));

  EXPECT_NO_THROW(rig.processor->LoadAll());
  EXPECT_EQ(rig.processor->Tasks.Count(), 1);
  EXPECT_EQ(rig.processor->Emails.Count(), 1);
  ASSERT_EQ(rig.host.Statuses.size(), 1u);
  EXPECT_NE(rig.host.Statuses[0].find("TASK.NTD"), std::string::npos) << rig.host.Statuses[0];
}

TEST(StateOperations, FailingSaveShowsItsErrorAndGoesOn) {
  test::EngineRig rig(EncodeDateTime(2026, 12, 11, 9, 0));
  fs::create_directories(rig.folder / kNotifyFile / "occupied");
  EXPECT_NO_THROW(rig.processor->SaveAll());
  ASSERT_EQ(rig.host.Statuses.size(), 1u);
  EXPECT_NE(rig.host.Statuses[0].find("NOTIFY.NTD"), std::string::npos) << rig.host.Statuses[0];
  // The files before and after the failing one were written.
  EXPECT_EQ(ReadBytes(rig.folder / kTaskFile), kHeader);
  EXPECT_EQ(ReadBytes(rig.folder / kEmailFile), kHeader);
}

}  // namespace
}  // namespace rn
