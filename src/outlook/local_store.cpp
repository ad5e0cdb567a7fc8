// The local store: the Outlook object model over the user's own files.
//
// Each default folder keeps what it read from each file with the file's
// stamp (size, modification and change time, inode). Items() hands out a
// snapshot of the folder: when the folder's inotify watch has no notice and
// the last look is recent, the snapshot in hand is still the truth and costs
// nothing; otherwise the folder is listed again, every file stat'ed, and only
// new or changed files are parsed. A file changed within the same tick of the
// file system clock as our read of it keeps being re-read until its stamp is
// old enough to be trusted.
#include "outlook/local_store.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>

#include "outlook/store_ical.h"
#include "outlook/store_maildir.h"
#include "outlook/store_watch.h"
#include "platform/folders.h"

namespace rn {
namespace {

namespace fs = std::filesystem;
using namespace rn::store;

std::atomic<uint64_t> gParses{0};

// Even with no notice a folder is looked at again after this long: file
// systems that send no inotify notices (network mounts) are read this late.
constexpr auto kRecheckInterval = std::chrono::seconds(5);
// A file whose modification time is this close to now may change again
// without its stamp showing it.
constexpr int64_t kRacyNanoseconds = 2'000'000'000;

struct TStamp {
  uintmax_t Size = 0;
  int64_t Mtime = 0;  // nanoseconds
  int64_t Ctime = 0;
  ino_t Inode = 0;
  dev_t Device = 0;
  bool operator==(const TStamp&) const = default;
};

int64_t Nanoseconds(const timespec& t) {
  return int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// The stamp of a regular file (symbolic links followed); nothing otherwise.
std::optional<TStamp> StampOf(const fs::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    return std::nullopt;
  return TStamp{static_cast<uintmax_t>(st.st_size), Nanoseconds(st.st_mtim),
                Nanoseconds(st.st_ctim), st.st_ino, st.st_dev};
}

bool Racy(const TStamp& s) {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return Nanoseconds(now) - s.Mtime < kRacyNanoseconds;
}

bool Hidden(const std::string& name) {
  return name.empty() || name[0] == '.';
}

bool IsIcs(const std::string& name) {
  if (name.size() < 4)
    return false;
  std::string ext = name.substr(name.size() - 4);
  for (char& c : ext)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".ics";
}

std::optional<std::string> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    return std::nullopt;
  std::ostringstream s;
  s << in.rdbuf();
  if (in.bad())
    return std::nullopt;
  return s.str();
}

// The entries of a directory, sorted by name, hidden ones left out.
std::vector<fs::directory_entry> Listing(const fs::path& dir) {
  std::vector<fs::directory_entry> out;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    if (!Hidden(it->path().filename().string()))
      out.push_back(*it);
  }
  std::sort(out.begin(), out.end(),
            [](const auto& a, const auto& b) { return a.path() < b.path(); });
  return out;
}

// ---------------------------------------------------------------------------
// Items

class TLocalAppointment final : public IOutlookItem,
                                public IAppointmentItem,
                                public std::enable_shared_from_this<TLocalAppointment> {
 public:
  explicit TLocalAppointment(TAppointmentData d) : d_(std::move(d)) {}
  std::shared_ptr<IAppointmentItem> AsAppointment() override { return shared_from_this(); }
  std::string Subject() override { return d_.Subject; }
  std::string Location() override { return d_.Location; }
  TDateTime Start() override { return d_.Start; }
  bool IsRecurring() override { return d_.IsRecurring; }
  int ReminderMinutesBeforeStart() override { return d_.ReminderMinutesBeforeStart; }
  std::shared_ptr<IRecurrencePattern> GetRecurrencePattern() override {
    return std::make_shared<TPatternValues>(d_.Pattern);
  }

 private:
  const TAppointmentData d_;
};

class TLocalTask final : public IOutlookItem,
                         public ITaskItem,
                         public std::enable_shared_from_this<TLocalTask> {
 public:
  TLocalTask(TTaskData d, fs::path file, TStoreLog log)
      : d_(std::move(d)), file_(std::move(file)), log_(std::move(log)) {}
  std::shared_ptr<ITaskItem> AsTask() override { return shared_from_this(); }
  std::string Subject() override { return Data().Subject; }
  TDateTime StartDate() override { return Data().StartDate; }
  TDateTime DueDate() override { return Data().DueDate; }
  TDateTime ReminderTime() override { return Data().ReminderTime; }
  bool Complete() override { return Data().Complete; }
  bool ReminderSet() override { return Data().ReminderSet; }
  bool IsRecurring() override { return Data().IsRecurring; }

  bool SkipRecurrence() override {
    std::lock_guard l(m_);
    if (!d_.IsRecurring)
      return false;
    try {
      std::optional<TTaskData> next = SkipTaskRecurrence(file_, d_.Index, d_.Uid, log_);
      if (!next)
        return false;
      d_ = std::move(*next);
      return true;
    } catch (const EStoreError& e) {
      throw EOleError(e.what());
    } catch (const fs::filesystem_error& e) {
      throw EOleError(std::string("Store: ") + e.what());
    }
  }

 private:
  TTaskData Data() {
    std::lock_guard l(m_);
    return d_;
  }
  std::mutex m_;
  TTaskData d_;
  const fs::path file_;
  const TStoreLog log_;
};

class TLocalMail final : public IOutlookItem,
                         public IMailItem,
                         public std::enable_shared_from_this<TLocalMail> {
 public:
  TLocalMail(std::shared_ptr<const TMailData> d, bool unread) : d_(std::move(d)), unread_(unread) {}
  std::shared_ptr<IMailItem> AsMail() override { return shared_from_this(); }
  bool UnRead() override { return unread_; }
  int Importance() override { return d_->Importance; }
  TDateTime ReceivedTime() override { return d_->ReceivedTime; }
  std::string Subject() override { return d_->Subject; }
  std::string Body() override { return d_->Body; }

 private:
  const std::shared_ptr<const TMailData> d_;
  const bool unread_;
};

using TItemList = std::vector<std::shared_ptr<IOutlookItem>>;

class TLocalItems final : public IItems {
 public:
  explicit TLocalItems(std::shared_ptr<const TItemList> list) : list_(std::move(list)) {}
  int Count() override { return static_cast<int>(list_->size()); }
  std::shared_ptr<IOutlookItem> Item(int index) override {
    if (index < 1 || static_cast<size_t>(index) > list_->size())
      return nullptr;
    return (*list_)[static_cast<size_t>(index) - 1];
  }

 private:
  const std::shared_ptr<const TItemList> list_;
};

// ---------------------------------------------------------------------------
// Folders

// What every folder shares: the lock, the watch, the decision when to look
// again, and the log of a missing folder.
class TStoreFolder : public IMAPIFolder {
 public:
  TStoreFolder(fs::path root, std::string what, TStoreLog log)
      : root_(std::move(root)), what_(std::move(what)), log_(std::move(log)) {}

  std::shared_ptr<IItems> Items() override {
    std::lock_guard l(m_);
    Refresh();
    return std::make_shared<TLocalItems>(list_);
  }

 protected:
  void Refresh() {
    const bool notices = watch_.Changed();  // drained before the look, never after
    const auto now = std::chrono::steady_clock::now();
    if (list_ && watched_ && !notices && now - lastLook_ < kRecheckInterval)
      return;
    lastLook_ = now;
    watch_.BeginRound();
    watched_ = watch_.Usable();
    Rescan();
    watch_.EndRound();
    if (!watched_ && !missingLogged_ && !unwatchedLogged_) {
      Log("Store: no change notices for " + root_.string() + "; it is read anew on every look");
      unwatchedLogged_ = true;
    }
    if (!list_)
      list_ = std::make_shared<TItemList>();
  }

  // Lists the folder anew (calling Watch for each directory read), parses
  // what changed and, when anything did, replaces list_.
  virtual void Rescan() = 0;

  void Watch(const fs::path& dir) { watched_ = watch_.Watch(dir) && watched_; }

  // False (with one log line until it is back) when the folder is missing.
  bool RootThere(struct stat& st) {
    if (::stat(root_.c_str(), &st) == 0) {
      missingLogged_ = false;
      return true;
    }
    if (!missingLogged_)
      Log("Store: " + what_ + " " + root_.string() + " not found, read as empty");
    missingLogged_ = true;
    watched_ = false;  // no notice will tell when it appears
    return false;
  }

  void Log(const std::string& line) {
    if (log_)
      log_(line);
  }

  std::mutex m_;
  const fs::path root_;
  const std::string what_;
  const TStoreLog log_;
  std::shared_ptr<const TItemList> list_;

 private:
  TFolderWatch watch_;
  bool watched_ = false;
  bool missingLogged_ = false;
  bool unwatchedLogged_ = false;
  std::chrono::steady_clock::time_point lastLook_{};
};

class TIcalFolder final : public TStoreFolder {
 public:
  TIcalFolder(fs::path root, TIcalWant want, TStoreLog log)
      : TStoreFolder(std::move(root), want == TIcalWant::Events ? "calendar" : "tasks",
                     std::move(log)),
        want_(want) {}

  int UnReadItemCount() override { return 0; }

 private:
  struct TFileEntry {
    TStamp Stamp;
    bool Racy = false;
    TItemList Items;
  };

  void Rescan() override {
    std::vector<fs::path> found;
    struct stat st {};
    if (RootThere(st)) {
      if (S_ISDIR(st.st_mode)) {
        Watch(root_);
        for (const auto& entry : Listing(root_)) {
          std::error_code ec;
          if (entry.is_directory(ec)) {
            Watch(entry.path());
            for (const auto& inner : Listing(entry.path()))
              if (IsIcs(inner.path().filename().string()) && inner.is_regular_file(ec))
                found.push_back(inner.path());
          } else if (IsIcs(entry.path().filename().string()) && entry.is_regular_file(ec)) {
            found.push_back(entry.path());
          }
        }
      } else {
        Watch(root_.has_parent_path() ? root_.parent_path() : fs::path("."));
        found.push_back(root_);
      }
    }

    std::map<std::string, TFileEntry> next;
    bool changed = false;
    for (const fs::path& path : found) {
      const std::string key = path.string();
      std::optional<TStamp> stamp = StampOf(path);
      if (!stamp)
        continue;  // gone since the listing
      auto old = files_.find(key);
      if (old != files_.end() && old->second.Stamp == *stamp && !old->second.Racy) {
        next.emplace(key, std::move(old->second));
        continue;
      }
      changed = true;
      next.emplace(key, Parse(path, *stamp));
    }
    // A file gone is one the listing no longer names (or that vanished
    // since): fewer entries, or a new one parsed in its place.
    changed = changed || next.size() != files_.size();
    files_ = std::move(next);
    if (!changed && list_)
      return;
    auto list = std::make_shared<TItemList>();
    for (const auto& [path, entry] : files_)
      list->insert(list->end(), entry.Items.begin(), entry.Items.end());
    list_ = std::move(list);
  }

  TFileEntry Parse(const fs::path& path, const TStamp& stamp) {
    TFileEntry entry{stamp, Racy(stamp), {}};
    std::optional<std::string> text = ReadFile(path);
    if (!text) {
      Log("Store: cannot read " + path.string() + ", skipped");
      return entry;
    }
    ++gParses;
    try {
      TIcalFile file = ParseIcal(*text, want_, path.string(), log_);
      for (auto& e : file.Events)
        entry.Items.push_back(std::make_shared<TLocalAppointment>(e));
      for (auto& t : file.Todos)
        entry.Items.push_back(std::make_shared<TLocalTask>(std::move(t), path, log_));
    } catch (const EStoreError& e) {
      Log(e.what());
    }
    return entry;
  }

  const TIcalWant want_;
  std::map<std::string, TFileEntry> files_;  // by path: the items' order
};

class TMaildirFolder final : public TStoreFolder {
 public:
  TMaildirFolder(fs::path root, TStoreLog log)
      : TStoreFolder(std::move(root), "inbox", std::move(log)) {}

  int UnReadItemCount() override {
    std::lock_guard l(m_);
    Refresh();
    return unread_;
  }

 private:
  struct TMessage {
    std::string Path;
    TStamp Stamp;
    bool Racy = false;
    bool Broken = false;
    std::shared_ptr<const TMailData> Data;
    bool Unread = false;
    std::shared_ptr<IOutlookItem> Item;
  };

  void Rescan() override {
    // Messages by the unique part of their name: a message that moves from
    // new/ to cur/ or gains a flag is the same message, not parsed again.
    std::map<std::string, TMessage> next;
    struct stat st {};
    if (RootThere(st)) {
      Watch(root_);
      for (const char* sub : {"new", "cur"}) {
        const fs::path dir = root_ / sub;
        if (!fs::is_directory(dir))
          continue;
        Watch(dir);
        for (const auto& entry : Listing(dir)) {
          const std::string name = entry.path().filename().string();
          const std::string unique(MaildirUnique(name));
          if (next.count(unique))
            continue;
          std::optional<TStamp> stamp = StampOf(entry.path());
          if (!stamp)
            continue;
          TMessage m;
          m.Path = entry.path().string();
          m.Stamp = *stamp;
          m.Unread = std::string(sub) == "new" || !MaildirSeen(name);
          auto old = messages_.find(unique);
          if (old != messages_.end() && old->second.Stamp.Size == stamp->Size &&
              old->second.Stamp.Mtime == stamp->Mtime && !old->second.Racy) {
            m.Racy = false;
            m.Broken = old->second.Broken;
            m.Data = old->second.Data;
            if (old->second.Path == m.Path && old->second.Unread == m.Unread)
              m.Item = old->second.Item;
          } else {
            Parse(m);
          }
          if (!m.Item && m.Data)
            m.Item = std::make_shared<TLocalMail>(m.Data, m.Unread);
          next.emplace(unique, std::move(m));
        }
      }
    }

    bool changed = next.size() != messages_.size() || !list_;
    for (const auto& [unique, m] : next) {
      auto old = messages_.find(unique);
      changed = changed || old == messages_.end() || old->second.Item != m.Item;
    }
    messages_ = std::move(next);
    if (!changed)
      return;

    std::vector<const TMessage*> order;
    for (const auto& [unique, m] : messages_)
      if (m.Item)
        order.push_back(&m);
    std::sort(order.begin(), order.end(), [](const TMessage* a, const TMessage* b) {
      if (a->Data->ReceivedTime != b->Data->ReceivedTime)
        return a->Data->ReceivedTime < b->Data->ReceivedTime;
      return a->Path < b->Path;
    });
    auto list = std::make_shared<TItemList>();
    int unread = 0;
    for (const TMessage* m : order) {
      list->push_back(m->Item);
      unread += m->Unread ? 1 : 0;
    }
    list_ = std::move(list);
    unread_ = unread;
  }

  void Parse(TMessage& m) {
    m.Racy = Racy(m.Stamp);
    std::optional<std::string> data = ReadFile(m.Path);
    if (!data) {
      Log("Store: cannot read " + m.Path + ", skipped");
      m.Broken = true;
      return;
    }
    ++gParses;
    try {
      m.Data = std::make_shared<const TMailData>(
          ParseMail(*data, static_cast<std::time_t>(m.Stamp.Mtime / 1'000'000'000), m.Path));
    } catch (const EStoreError& e) {
      Log(e.what());
      m.Broken = true;
    }
  }

  std::map<std::string, TMessage> messages_;
  int unread_ = 0;
};

// ---------------------------------------------------------------------------

class TLocalNameSpace final : public INameSpace {
 public:
  TLocalNameSpace(const TStoreLocations& locations, TStoreLog log)
      : locations_(locations), log_(std::move(log)) {}

  std::shared_ptr<IMAPIFolder> GetDefaultFolder(int folder) override {
    std::lock_guard l(m_);
    switch (folder) {
      case olFolderCalendar:
        if (!calendar_)
          calendar_ = std::make_shared<TIcalFolder>(locations_.Calendar, TIcalWant::Events, log_);
        return calendar_;
      case olFolderTasks:
        if (!tasks_)
          tasks_ = std::make_shared<TIcalFolder>(locations_.Tasks, TIcalWant::Todos, log_);
        return tasks_;
      case olFolderInbox:
        if (!inbox_)
          inbox_ = std::make_shared<TMaildirFolder>(locations_.Inbox, log_);
        return inbox_;
      default:
        return nullptr;
    }
  }

 private:
  std::mutex m_;
  const TStoreLocations locations_;
  const TStoreLog log_;
  std::shared_ptr<IMAPIFolder> calendar_, tasks_, inbox_;
};

class TLocalApplication final : public IOutlookApplication {
 public:
  TLocalApplication(const TStoreLocations& locations, TStoreLog log)
      : locations_(locations), log_(std::move(log)) {}

  std::shared_ptr<INameSpace> GetNamespace(const std::string& type) override {
    std::string t = type;
    for (char& c : t)
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (t != "MAPI")
      throw EOleError("GetNamespace: no namespace \"" + type + "\"");
    std::lock_guard l(m_);
    if (!ns_)
      ns_ = std::make_shared<TLocalNameSpace>(locations_, log_);
    return ns_;
  }

  // Drops every folder and what it read; the next use reads the files anew.
  void Quit() override {
    std::lock_guard l(m_);
    ns_.reset();
  }

 private:
  std::mutex m_;
  const TStoreLocations locations_;
  const TStoreLog log_;
  std::shared_ptr<INameSpace> ns_;
};

class TLocalConnector final : public IOutlookConnector {
 public:
  TLocalConnector(TStoreLocations locations, TStoreLog log)
      : locations_(std::move(locations)), log_(std::move(log)) {}
  std::shared_ptr<IOutlookApplication> Connect() override {
    return std::make_shared<TLocalApplication>(locations_, log_);
  }

 private:
  const TStoreLocations locations_;
  const TStoreLog log_;
};

// A path as the user wrote it, with a leading "~/" meaning the home folder.
fs::path UserPath(const std::string& text) {
  if (text.rfind("~/", 0) == 0) {
    const char* home = std::getenv("HOME");
    if (home && *home)
      return fs::path(home) / text.substr(2);
  }
  return text;
}

}  // namespace

TStoreLocations ReadStoreLocations(const TRegistry& registry) {
  const fs::path data = DataFolder();
  TStoreLocations locations{data / "Calendar", data / "Tasks", data / "Inbox"};
  const TRegKey key = registry.OpenKey(kStoreKey);
  for (auto [name, into] :
       {std::pair{"Calendar", &locations.Calendar}, std::pair{"Tasks", &locations.Tasks},
        std::pair{"Inbox", &locations.Inbox}}) {
    std::string value = key.ReadString(name);
    if (!value.empty())
      *into = UserPath(value);
  }
  return locations;
}

std::unique_ptr<IOutlookConnector> MakeLocalStoreConnector(
    TStoreLocations locations, std::function<void(const std::string&)> log) {
  return std::make_unique<TLocalConnector>(std::move(locations), std::move(log));
}

uint64_t LocalStoreParseCount() {
  return gParses.load();
}

}  // namespace rn
