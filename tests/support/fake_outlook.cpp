// The objects behind FakeOutlook: each member call is counted and may be made
// to fail, and items read the fake's vectors live.
#include "fake_outlook.h"

#include "outlook/store_ical.h"

namespace rn::test {
namespace {

template <class T>
T& Element(std::vector<T>& items, size_t index) {
  if (index >= items.size())
    throw EOleError("The item has been moved or deleted.");
  return items[index];
}

class FakePattern : public IRecurrencePattern {
 public:
  FakePattern(FakeOutlook& o, size_t index) : o_(o), index_(index) {}
  int RecurrenceType() override { return Get("RecurrenceType").RecurrenceType; }
  int DayOfWeekMask() override { return Get("DayOfWeekMask").DayOfWeekMask; }
  int DayOfMonth() override { return Get("DayOfMonth").DayOfMonth; }
  int MonthOfYear() override { return Get("MonthOfYear").MonthOfYear; }
  int Interval() override { return Get("Interval").Interval; }
  int Occurrences() override { return Get("Occurrences").Occurrences; }
  bool NoEndDate() override { return Get("NoEndDate").NoEndDate; }
  TDateTime PatternStartDate() override { return Get("PatternStartDate").PatternStartDate; }
  TDateTime PatternEndDate() override { return Get("PatternEndDate").PatternEndDate; }
  TDateTime StartTime() override { return Get("StartTime").StartTime; }
  int Instance() override { return Get("Instance").Instance; }
  std::shared_ptr<const TRecurrenceSeries> Series() override { return Get("Series").Series; }

 private:
  FakeRecurrence& Get(const char* member) {
    FakeRecurrence& p = Element(o_.Appointments, index_).Pattern;
    o_.Enter(member, &p.Fail);
    return p;
  }
  FakeOutlook& o_;
  size_t index_;
};

class FakeAppointmentItem : public IAppointmentItem {
 public:
  FakeAppointmentItem(FakeOutlook& o, size_t index) : o_(o), index_(index) {}
  std::string Subject() override { return Get("Subject").Subject; }
  std::string Location() override { return Get("Location").Location; }
  TDateTime Start() override { return Get("Start").Start; }
  bool IsRecurring() override { return Get("IsRecurring").IsRecurring; }
  int ReminderMinutesBeforeStart() override {
    return Get("ReminderMinutesBeforeStart").ReminderMinutesBeforeStart;
  }
  std::shared_ptr<IRecurrencePattern> GetRecurrencePattern() override {
    Get("GetRecurrencePattern");
    return std::make_shared<FakePattern>(o_, index_);
  }

 private:
  FakeAppointment& Get(const char* member) {
    FakeAppointment& a = Element(o_.Appointments, index_);
    o_.Enter(member, &a.Fail);
    return a;
  }
  FakeOutlook& o_;
  size_t index_;
};

class FakeTaskItem : public ITaskItem {
 public:
  FakeTaskItem(FakeOutlook& o, size_t index) : o_(o), index_(index) {}
  std::string Subject() override { return Get("Subject").Subject; }
  TDateTime StartDate() override { return Get("StartDate").StartDate; }
  TDateTime DueDate() override { return Get("DueDate").DueDate; }
  TDateTime ReminderTime() override { return Get("ReminderTime").ReminderTime; }
  bool Complete() override { return Get("Complete").Complete; }
  bool ReminderSet() override { return Get("ReminderSet").ReminderSet; }
  bool IsRecurring() override { return Get("IsRecurring").IsRecurring; }
  bool SkipRecurrence() override {
    FakeTask& t = Get("SkipRecurrence");
    ++t.Skips;
    if (t.SkipsLeft == 0)
      return false;
    if (t.SkipsLeft > 0)
      --t.SkipsLeft;
    if (t.StartDate != kNoDate)
      t.StartDate += t.RecurrenceDays;
    if (t.DueDate != kNoDate)
      t.DueDate += t.RecurrenceDays;
    if (t.ReminderTime != 0)
      t.ReminderTime += t.RecurrenceDays;
    return true;
  }

 private:
  FakeTask& Get(const char* member) {
    FakeTask& t = Element(o_.Tasks, index_);
    o_.Enter(member, &t.Fail);
    return t;
  }
  FakeOutlook& o_;
  size_t index_;
};

class FakeMailItem : public IMailItem {
 public:
  FakeMailItem(FakeOutlook& o, size_t index) : o_(o), index_(index) {}
  bool UnRead() override { return Get("UnRead").UnRead; }
  int Importance() override { return Get("Importance").Importance; }
  TDateTime ReceivedTime() override { return Get("ReceivedTime").ReceivedTime; }
  std::string Subject() override { return Get("Subject").Subject; }
  std::string Body() override { return Get("Body").Body; }

 private:
  FakeMail& Get(const char* member) {
    FakeMail& m = Element(o_.Mails, index_);
    o_.Enter(member, &m.Fail);
    return m;
  }
  FakeOutlook& o_;
  size_t index_;
};

class FakeItem : public IOutlookItem {
 public:
  FakeItem(FakeOutlook& o, int folder, size_t index) : o_(o), folder_(folder), index_(index) {}
  std::shared_ptr<IAppointmentItem> AsAppointment() override {
    if (folder_ != olFolderCalendar)
      return nullptr;
    return std::make_shared<FakeAppointmentItem>(o_, index_);
  }
  std::shared_ptr<ITaskItem> AsTask() override {
    if (folder_ != olFolderTasks)
      return nullptr;
    return std::make_shared<FakeTaskItem>(o_, index_);
  }
  std::shared_ptr<IMailItem> AsMail() override {
    if (folder_ != olFolderInbox)
      return nullptr;
    return std::make_shared<FakeMailItem>(o_, index_);
  }

 private:
  FakeOutlook& o_;
  int folder_;
  size_t index_;
};

class FakeItems : public IItems {
 public:
  FakeItems(FakeOutlook& o, int folder) : o_(o), folder_(folder) {}
  int Count() override {
    o_.Enter("Count");
    return static_cast<int>(Size());
  }
  std::shared_ptr<IOutlookItem> Item(int index) override {
    o_.Enter("Item");
    o_.Enter("Item(" + std::to_string(folder_) + ")");
    if (index < 1 || static_cast<size_t>(index) > Size()) {
      throw EOleError("Array index out of bounds.");
    }
    const size_t i = static_cast<size_t>(index) - 1;
    bool missing = false;
    if (folder_ == olFolderCalendar)
      missing = o_.Appointments[i].Missing;
    if (folder_ == olFolderTasks)
      missing = o_.Tasks[i].Missing;
    if (folder_ == olFolderInbox)
      missing = o_.Mails[i].Missing;
    if (missing)
      return nullptr;
    return std::make_shared<FakeItem>(o_, folder_, i);
  }

 private:
  size_t Size() const {
    if (folder_ == olFolderCalendar)
      return o_.Appointments.size();
    if (folder_ == olFolderTasks)
      return o_.Tasks.size();
    return o_.Mails.size();
  }
  FakeOutlook& o_;
  int folder_;
};

class FakeFolder : public IMAPIFolder {
 public:
  FakeFolder(FakeOutlook& o, int folder) : o_(o), folder_(folder) {}
  std::shared_ptr<IItems> Items() override {
    o_.Enter("Items");
    return std::make_shared<FakeItems>(o_, folder_);
  }
  int UnReadItemCount() override {
    o_.Enter("UnReadItemCount");
    if (o_.UnReadOverride >= 0)
      return o_.UnReadOverride;
    if (folder_ != olFolderInbox)
      return 0;
    int unread = 0;
    for (const FakeMail& m : o_.Mails)
      unread += m.UnRead ? 1 : 0;
    return unread;
  }

 private:
  FakeOutlook& o_;
  int folder_;
};

class FakeNameSpace : public INameSpace {
 public:
  explicit FakeNameSpace(FakeOutlook& o) : o_(o) {}
  std::shared_ptr<IMAPIFolder> GetDefaultFolder(int folder) override {
    o_.Enter("GetDefaultFolder");
    o_.Enter("GetDefaultFolder(" + std::to_string(folder) + ")");
    if (o_.MissingFolders.count(folder) != 0)
      return nullptr;
    if (folder != olFolderCalendar && folder != olFolderTasks && folder != olFolderInbox) {
      return nullptr;
    }
    return std::make_shared<FakeFolder>(o_, folder);
  }

 private:
  FakeOutlook& o_;
};

class FakeApplication : public IOutlookApplication {
 public:
  explicit FakeApplication(FakeOutlook& o) : o_(o) {}
  std::shared_ptr<INameSpace> GetNamespace(const std::string& type) override {
    o_.Enter("GetNamespace");
    if (o_.NullNamespace || type != "MAPI")
      return nullptr;
    return std::make_shared<FakeNameSpace>(o_);
  }
  void Quit() override { o_.Enter("Quit"); }

 private:
  FakeOutlook& o_;
};

}  // namespace

std::vector<FakeAppointment> AppointmentsFromIcal(const std::string& text) {
  std::vector<FakeAppointment> out;
  for (const store::TAppointmentData& a :
       store::ParseIcal(text, store::TIcalWant::Events, "test.ics", {}).Events) {
    FakeAppointment f;
    f.Subject = a.Subject;
    f.Location = a.Location;
    f.Start = a.Start;
    f.IsRecurring = a.IsRecurring;
    f.ReminderMinutesBeforeStart = a.ReminderMinutesBeforeStart;
    static_cast<TPatternData&>(f.Pattern) = a.Pattern;
    out.push_back(f);
  }
  return out;
}

std::shared_ptr<IOutlookApplication> FakeOutlook::Connect() {
  Enter("Connect");
  return std::make_shared<FakeApplication>(*this);
}

void FakeOutlook::FailCall(const std::string& member, int after) {
  std::lock_guard lock(mutex_);
  failAfter_[member] = after;
}

void FakeOutlook::ClearFailures() {
  std::lock_guard lock(mutex_);
  failAfter_.clear();
}

int FakeOutlook::Calls(const std::string& member) const {
  std::lock_guard lock(mutex_);
  const auto it = calls_.find(member);
  return it == calls_.end() ? 0 : it->second;
}

void FakeOutlook::ClearCalls() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

void FakeOutlook::Enter(const std::string& member, const std::set<std::string>* itemFail) {
  if (OnCall)
    OnCall(member);
  std::lock_guard lock(mutex_);
  ++calls_[member];
  if (itemFail && itemFail->count(member) != 0) {
    throw EOleError("Outlook failed the call " + member);
  }
  const auto it = failAfter_.find(member);
  if (it == failAfter_.end())
    return;
  if (it->second > 0) {
    --it->second;
    return;
  }
  throw EOleError("Outlook failed the call " + member);
}

}  // namespace rn::test
