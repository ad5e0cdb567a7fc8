// The local store: the Outlook object model over the user's own files.
//
// Each default folder keeps what it read from each file with the file's
// stamp (size, modification and change time, inode), and hands out snapshots
// of its items. What makes it look at its files again:
// - on a local file system with inotify, the change notices alone: a file a
//   notice names is stat'ed and, when changed, parsed; an unchanged folder
//   costs one non-blocking read, whatever its size. Files reached through a
//   symbolic link, whose changes no notice tells, are stat'ed once a pass.
// - without notices that can be trusted (no inotify, a network or FUSE file
//   system, a folder that is missing), one look each time a pass fetches the
//   folder from the namespace: the folder listed, every file stat'ed, only
//   what changed parsed. However long that takes, a pass makes one.
// A file changed within the same tick of the file system clock as our read of
// it keeps being re-read, on every look or notice, until its stamp is old
// enough to be trusted.
#include "outlook/local_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>

#include "outlook/store_ical.h"
#include "outlook/store_maildir.h"
#include "outlook/store_watch.h"
#include "platform/files.h"
#include "platform/folders.h"

namespace rn {
namespace {

namespace fs = std::filesystem;
using namespace rn::store;

std::atomic<uint64_t> gLooks{0}, gListings{0}, gStats{0}, gParses{0};

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
std::optional<TStamp> StampOf(const std::string& path) {
  ++gStats;
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

bool Hidden(std::string_view name) {
  return name.empty() || name[0] == '.';
}

bool IsIcs(std::string_view name) {
  if (name.size() < 4)
    return false;
  std::string ext(name.substr(name.size() - 4));
  for (char& c : ext)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".ics";
}

// A regular file's stamp and text, from one open: nothing when it is gone
// or no regular file, a stamp without text when it cannot be read. Never
// waits on a pipe put in a file's place.
struct TRead {
  TStamp Stamp;
  std::optional<std::string> Text;
};

std::optional<TRead> ReadStamped(const std::string& path) {
  TFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (fd.Get() < 0) {
    std::optional<TStamp> stamp = StampOf(path);  // there, but not for us to read
    if (!stamp)
      return std::nullopt;
    return TRead{*stamp, std::nullopt};
  }
  ++gStats;
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode))
    return std::nullopt;
  TRead read{{static_cast<uintmax_t>(st.st_size), Nanoseconds(st.st_mtim), Nanoseconds(st.st_ctim),
              st.st_ino, st.st_dev},
             std::string()};
  // One byte more than its size: a read that fills it all says the file grew.
  std::string& text = *read.Text;
  text.resize(static_cast<size_t>(st.st_size) + 1);
  size_t have = 0;
  for (;;) {
    const ssize_t n = ::read(fd.Get(), text.data() + have, text.size() - have);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0) {
      read.Text.reset();
      return read;
    }
    have += static_cast<size_t>(n);
    if (n == 0 || have < text.size())
      break;  // a regular file's short read is its end
    text.resize(text.size() * 2);
  }
  text.resize(have);
  return read;
}

std::string Join(const std::string& dir, const std::string& name) {
  return dir + "/" + name;
}

struct TEntry {
  std::string Name;
  bool Dir = false;
  bool Link = false;  // reached through a symbolic link
};

// Calls `take` with each entry of a directory in the order the directory
// gives them, hidden ones and anything but files and directories left out.
// (Nothing is gathered: a folder of 50 000 files is not held twice.)
template <class Take>
void ForEachEntry(const std::string& dir, Take take) {
  ++gListings;
  DIR* d = ::opendir(dir.c_str());
  if (!d)
    return;
  TEntry entry;
  while (const dirent* e = ::readdir(d)) {
    if (Hidden(e->d_name))
      continue;
    entry.Name = e->d_name;
    entry.Link = false;
    unsigned char type = e->d_type;
    if (type == DT_LNK || type == DT_UNKNOWN) {
      entry.Link = type == DT_LNK;
      struct stat st {};
      ++gStats;
      if (::stat(Join(dir, entry.Name).c_str(), &st) != 0)
        continue;
      type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
    }
    if (type != DT_DIR && type != DT_REG)
      continue;
    entry.Dir = type == DT_DIR;
    take(entry);
  }
  ::closedir(d);
}

// Paths in the order of their parts: a folder's files before the entry that
// merely begins with the folder's name ("a/x" before "a-b").
struct TPathOrder {
  bool operator()(std::string_view a, std::string_view b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
      const unsigned char ux = x == '/' ? 0 : x;
      const unsigned char uy = y == '/' ? 0 : y;
      return ux < uy;
    });
  }
};

// Whether the file system's change notices tell of every change: not on
// network and FUSE file systems, where changes made elsewhere send none.
bool NoticesTellAll(const std::string& dir) {
  struct statfs s {};
  if (::statfs(dir.c_str(), &s) != 0)
    return false;
  switch (static_cast<uint32_t>(s.f_type)) {
    case 0x6969:      // NFS
    case 0x517B:      // SMB
    case 0xFF534D42:  // CIFS
    case 0xFE534D42:  // SMB2
    case 0x65735546:  // FUSE
    case 0x01021997:  // 9P
    case 0x00C36400:  // Ceph
    case 0x5346414F:  // AFS
    case 0x73757245:  // Coda
    case 0x564C:      // NCP
      return false;
    default:
      return true;
  }
}

// ---------------------------------------------------------------------------
// Items

class TLocalAppointment final : public IOutlookItem,
                                public IAppointmentItem,
                                public std::enable_shared_from_this<TLocalAppointment> {
 public:
  // Kept small, as a calendar may hold tens of thousands: the subject and the
  // location in one text, the pattern only for a recurring appointment.
  explicit TLocalAppointment(TAppointmentData d)
      : subjectSize_(static_cast<uint32_t>(d.Subject.size())),
        locationSize_(static_cast<uint32_t>(d.Location.size())),
        texts_(std::make_unique<char[]>(subjectSize_ + locationSize_)),
        start_(d.Start),
        reminder_(d.ReminderMinutesBeforeStart),
        pattern_(d.IsRecurring ? std::make_unique<const TPatternData>(std::move(d.Pattern))
                               : nullptr) {
    std::copy(d.Subject.begin(), d.Subject.end(), texts_.get());
    std::copy(d.Location.begin(), d.Location.end(), texts_.get() + subjectSize_);
  }
  std::shared_ptr<IAppointmentItem> AsAppointment() override { return shared_from_this(); }
  std::string Subject() override { return std::string(texts_.get(), subjectSize_); }
  std::string Location() override {
    return std::string(texts_.get() + subjectSize_, locationSize_);
  }
  TDateTime Start() override { return start_; }
  bool IsRecurring() override { return pattern_ != nullptr; }
  int ReminderMinutesBeforeStart() override { return reminder_; }
  std::shared_ptr<IRecurrencePattern> GetRecurrencePattern() override {
    return std::make_shared<TPatternValues>(pattern_ ? *pattern_ : TPatternData{});
  }

 private:
  const uint32_t subjectSize_, locationSize_;
  const std::unique_ptr<char[]> texts_;
  const TDateTime start_;
  const int reminder_;
  const std::unique_ptr<const TPatternData> pattern_;
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
  TStoreFolder(fs::path root, std::string what, TStoreLog log, bool notices)
      : root_(root.lexically_normal().string()),
        what_(std::move(what)),
        log_(std::move(log)),
        notices_(notices) {
    while (root_.size() > 1 && root_.back() == '/')
      root_.pop_back();
  }

  std::shared_ptr<IItems> Items() override {
    std::lock_guard l(m_);
    Refresh();
    return std::make_shared<TLocalItems>(list_);
  }

  // A pass has fetched the folder: what no notice speaks for is due a look.
  void Arm() {
    std::lock_guard l(m_);
    armed_ = true;
  }

 protected:
  void Refresh() {
    if (!list_) {
      Look();
      return;
    }
    if (!trusted_) {
      if (armed_)
        Look();
      return;
    }
    TNotices notices = watch_.Drain();
    if (armed_) {
      armed_ = false;
      Linked(notices.Files);
    }
    if (notices.All)
      Look();
    else if (!notices.Empty())
      Update(notices);
  }

  // The whole folder, listed and stat'ed, watched anew.
  void Look() {
    ++gLooks;
    armed_ = false;
    if (notices_)
      watch_.Drain();  // what they name, this look sees
    watch_.BeginRound();
    watched_ = notices_ && watch_.Usable();
    rootThere_ = false;
    Rescan();
    watch_.EndRound();
    trusted_ = watched_ && rootThere_ && NoticesTellAll(WatchedRoot());
    if (!trusted_ && rootThere_ && !unwatchedLogged_) {
      Log("Store: no change notices for " + root_ + "; it is read anew on each pass");
      unwatchedLogged_ = true;
    }
    if (!list_)
      list_ = std::make_shared<TItemList>();
  }

  // Lists the folder anew (calling Watch for each directory read), parses
  // what changed and, when anything did, replaces list_.
  virtual void Rescan() = 0;
  // Looks at what the notices name, and replaces list_ when anything changed.
  virtual void Update(const TNotices& notices) = 0;
  // Adds the files reached through a symbolic link, which no notice speaks for.
  virtual void Linked(std::set<std::string>& files) = 0;
  // The directory watched for the root: itself, or the one holding a root file.
  virtual std::string WatchedRoot() const { return root_; }

  // A directory that cannot be watched (the watches are used up, say) leaves
  // the folder without notices it can trust, until a look finds otherwise.
  void Watch(const std::string& dir) {
    if (!watch_.Watch(dir))
      watched_ = trusted_ = false;
  }
  void Unwatch(const std::string& dir) { watch_.Unwatch(dir); }

  // False (with one log line until it is back) when the folder is missing.
  bool RootThere(struct stat& st) {
    ++gStats;
    if (::stat(root_.c_str(), &st) == 0) {
      missingLogged_ = false;
      rootThere_ = true;
      return true;
    }
    if (!missingLogged_)
      Log("Store: " + what_ + " " + root_ + " not found, read as empty");
    missingLogged_ = true;
    return false;
  }

  void Log(const std::string& line) {
    if (log_)
      log_(line);
  }

  std::mutex m_;
  std::string root_;
  const std::string what_;
  const TStoreLog log_;
  std::shared_ptr<const TItemList> list_;

 private:
  const bool notices_;
  TFolderWatch watch_;
  bool watched_ = false;
  bool rootThere_ = false;
  bool trusted_ = false;
  bool armed_ = false;
  bool missingLogged_ = false;
  bool unwatchedLogged_ = false;
};

class TIcalFolder final : public TStoreFolder {
 public:
  TIcalFolder(fs::path root, TIcalWant want, TStoreLog log, bool notices)
      : TStoreFolder(std::move(root), want == TIcalWant::Events ? "calendar" : "tasks",
                     std::move(log), notices),
        want_(want) {}

  int UnReadItemCount() override { return 0; }

 private:
  // The items of one file: most files hold one.
  class TFileItems {
   public:
    void Add(std::shared_ptr<IOutlookItem> item) {
      if (!first_) {
        first_ = std::move(item);
        return;
      }
      if (!more_)
        more_ = std::make_unique<TItemList>();
      more_->push_back(std::move(item));
    }
    void AppendTo(TItemList& list) const {
      if (first_)
        list.push_back(first_);
      if (more_)
        list.insert(list.end(), more_->begin(), more_->end());
    }

   private:
    std::shared_ptr<IOutlookItem> first_;
    std::unique_ptr<TItemList> more_;
  };

  struct TFileEntry {
    TStamp Stamp;
    bool Racy = false;
    bool Link = false;
    TFileItems Items;
  };
  // The folder's files in path order, by their path below the root ("" for a
  // root that is a file itself): sorted rows, not the nodes of a tree, so that
  // tens of thousands of files cost no allocation each; a deque, so that the
  // table never moves whole while it grows.
  struct TRow {
    std::string Key;
    TFileEntry Entry;
  };
  using TFiles = std::deque<TRow>;

  static TFiles::iterator LowerBound(TFiles& files, std::string_view key) {
    return std::lower_bound(
        files.begin(), files.end(), key,
        [](const TRow& row, std::string_view k) { return TPathOrder()(row.Key, k); });
  }
  static TRow* Find(TFiles& files, std::string_view key) {
    auto it = LowerBound(files, key);
    return it != files.end() && it->Key == key ? &*it : nullptr;
  }
  static void Sort(TFiles& files) {
    std::sort(files.begin(), files.end(),
              [](const TRow& a, const TRow& b) { return TPathOrder()(a.Key, b.Key); });
  }

  std::string Full(const std::string& key) const { return key.empty() ? root_ : Join(root_, key); }

  std::string WatchedRoot() const override {
    if (!rootIsFile_)
      return root_;
    const std::string parent = fs::path(root_).parent_path().string();
    return parent.empty() ? "." : parent;
  }

  void Rescan() override {
    TFiles next;
    struct stat st {};
    rootIsFile_ = false;
    if (RootThere(st)) {
      if (S_ISDIR(st.st_mode)) {
        Watch(root_);
        ForEachEntry(root_, [&](const TEntry& entry) {
          if (entry.Dir) {
            Watch(Join(root_, entry.Name));
            ForEachEntry(Join(root_, entry.Name), [&](const TEntry& inner) {
              if (!inner.Dir && IsIcs(inner.Name))
                Take(files_, next, entry.Name + "/" + inner.Name, inner.Link);
            });
          } else if (IsIcs(entry.Name)) {
            Take(files_, next, entry.Name, entry.Link);
          }
        });
      } else {
        rootIsFile_ = true;
        Watch(WatchedRoot());
        struct stat lst {};
        Take(files_, next, "", ::lstat(root_.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode));
      }
    }
    Sort(next);
    const bool changed = changed_ || next.size() != files_.size() || !list_;
    changed_ = false;
    files_ = std::move(next);
    if (changed)
      Rebuild();
  }

  // The file at `key` into `into`: what `from` holds of it when its stamp is
  // the same, else read anew. Notes any change.
  void Take(TFiles& from, TFiles& into, std::string key, bool link) {
    const std::string path = Full(key);
    if (TRow* old = Find(from, key)) {
      std::optional<TStamp> stamp = StampOf(path);
      if (!stamp)
        return;  // gone since the listing
      if (old->Entry.Stamp == *stamp && !old->Entry.Racy) {
        into.push_back({std::move(key), std::move(old->Entry)});
        return;
      }
    }
    if (std::optional<TFileEntry> entry = Parse(path, link)) {
      changed_ = true;
      into.push_back({std::move(key), std::move(*entry)});
    }
  }

  void Update(const TNotices& notices) override {
    const std::string& watched = rootIsFile_ ? WatchedRoot() : root_;
    for (const std::string& dir : notices.Dirs) {
      if (dir == watched || rootIsFile_) {
        Look();
        return;
      }
    }
    bool changed = false;
    for (const std::string& dir : notices.Dirs) {
      const fs::path d(dir);
      if (d.parent_path().string() == root_ && !Hidden(d.filename().string()))
        changed = Relist(d.filename().string()) || changed;
    }
    for (const std::string& file : notices.Files) {
      std::string key;
      if (rootIsFile_) {
        if (file != root_)
          continue;
      } else {
        if (file.size() <= root_.size() + 1 || file.compare(0, root_.size() + 1, root_ + "/"))
          continue;
        key = file.substr(root_.size() + 1);
        const size_t slash = key.find('/');
        const std::string name = slash == std::string::npos ? key : key.substr(slash + 1);
        if (Hidden(name) || !IsIcs(name) || name.find('/') != std::string::npos ||
            (slash != std::string::npos && Hidden(key.substr(0, slash))))
          continue;
      }
      changed = Again(key) || changed;
    }
    if (changed)
      Rebuild();
  }

  // One file named by a notice: read anew when it changed, left out when gone.
  bool Again(const std::string& key) {
    std::optional<TStamp> stamp = StampOf(Full(key));
    auto at = LowerBound(files_, key);
    TRow* old = at != files_.end() && at->Key == key ? &*at : nullptr;
    if (!stamp) {
      if (!old)
        return false;
      files_.erase(at);
      return true;
    }
    if (old && old->Entry.Stamp == *stamp && !old->Entry.Racy)
      return false;
    bool link = old && old->Entry.Link;
    if (!old) {
      struct stat lst {};
      link = ::lstat(Full(key).c_str(), &lst) == 0 && S_ISLNK(lst.st_mode);
    }
    std::optional<TFileEntry> entry = Parse(Full(key), link);
    if (!entry) {
      if (old)
        files_.erase(at);
      return old != nullptr;
    }
    if (old)
      old->Entry = std::move(*entry);
    else
      files_.insert(at, TRow{key, std::move(*entry)});
    return true;
  }

  // A folder of the root made, removed or renamed: its files listed anew.
  bool Relist(const std::string& name) {
    const std::string prefix = name + "/";
    auto first = LowerBound(files_, prefix);
    auto last = first;
    while (last != files_.end() && last->Key.compare(0, prefix.size(), prefix) == 0)
      ++last;
    TFiles was(std::make_move_iterator(first), std::make_move_iterator(last));
    const size_t at = static_cast<size_t>(first - files_.begin());
    files_.erase(first, last);
    const std::string dir = Join(root_, name);
    struct stat st {};
    ++gStats;
    TFiles found;
    if (::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      Watch(dir);
      ForEachEntry(dir, [&](const TEntry& inner) {
        if (!inner.Dir && IsIcs(inner.Name))
          Take(was, found, prefix + inner.Name, inner.Link);
      });
    } else {
      Unwatch(dir);
    }
    Sort(found);
    const bool changed = changed_ || found.size() != was.size();
    changed_ = false;
    files_.insert(files_.begin() + static_cast<std::ptrdiff_t>(at),
                  std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
    return changed;
  }

  void Linked(std::set<std::string>& files) override {
    for (auto it = files_.begin(); linked_ > 0 && it != files_.end(); ++it)
      if (it->Entry.Link)
        files.insert(Full(it->Key));
  }

  void Rebuild() {
    auto list = std::make_shared<TItemList>();
    list->reserve(list_ ? list_->size() + 16 : files_.size());
    linked_ = 0;
    for (const TRow& row : files_) {
      row.Entry.Items.AppendTo(*list);
      linked_ += row.Entry.Link ? 1 : 0;
    }
    list->shrink_to_fit();
    list_ = std::move(list);
  }

  // What a file holds now; nothing when it is gone.
  std::optional<TFileEntry> Parse(const std::string& path, bool link) {
    std::optional<TRead> read = ReadStamped(path);
    if (!read)
      return std::nullopt;
    TFileEntry entry{read->Stamp, Racy(read->Stamp), link, {}};
    if (!read->Text) {
      Log("Store: cannot read " + path + ", skipped");
      return entry;
    }
    ++gParses;
    try {
      TIcalFile file = ParseIcal(*read->Text, want_, path, log_);
      for (auto& e : file.Events)
        entry.Items.Add(std::make_shared<TLocalAppointment>(std::move(e)));
      for (auto& t : file.Todos)
        entry.Items.Add(std::make_shared<TLocalTask>(std::move(t), path, log_));
    } catch (const EStoreError& e) {
      Log(e.what());
    }
    return entry;
  }

  const TIcalWant want_;
  TFiles files_;
  size_t linked_ = 0;  // files reached through a link, which Linked must name
  bool rootIsFile_ = false;
  bool changed_ = false;
};

class TMaildirFolder final : public TStoreFolder {
 public:
  TMaildirFolder(fs::path root, TStoreLog log, bool notices)
      : TStoreFolder(std::move(root), "inbox", std::move(log), notices) {}

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
  // Messages by the unique part of their name: a message that moves from
  // new/ to cur/ or gains a flag is the same message, not parsed again.
  using TMessages = std::map<std::string, TMessage>;

  void Rescan() override {
    TMessages next;
    struct stat st {};
    if (RootThere(st)) {
      Watch(root_);
      for (const char* sub : {"new", "cur"}) {
        const std::string dir = Join(root_, sub);
        struct stat sd {};
        ++gStats;
        if (::stat(dir.c_str(), &sd) != 0 || !S_ISDIR(sd.st_mode))
          continue;
        Watch(dir);
        ForEachEntry(dir, [&](const TEntry& entry) {
          if (entry.Dir)
            return;
          const std::string unique(MaildirUnique(entry.Name));
          if (next.count(unique))
            return;
          if (std::optional<TMessage> m = Message(Join(dir, entry.Name), sub, entry.Name))
            next.emplace(unique, std::move(*m));
        });
      }
    }
    bool changed = next.size() != messages_.size() || !list_;
    for (const auto& [unique, m] : next) {
      auto old = messages_.find(unique);
      changed = changed || old == messages_.end() || old->second.Item != m.Item;
    }
    messages_ = std::move(next);
    if (changed)
      Rebuild();
  }

  // The message at `path` as it is now, from what was read of it when its
  // size and time are the same; nothing when it is gone.
  std::optional<TMessage> Message(const std::string& path, std::string_view sub,
                                  const std::string& name) {
    std::optional<TStamp> stamp = StampOf(path);
    if (!stamp)
      return std::nullopt;
    TMessage m;
    m.Path = path;
    m.Stamp = *stamp;
    m.Unread = sub == "new" || !MaildirSeen(name);
    auto old = messages_.find(std::string(MaildirUnique(name)));
    if (old != messages_.end() && old->second.Stamp.Size == stamp->Size &&
        old->second.Stamp.Mtime == stamp->Mtime && !old->second.Racy) {
      m.Broken = old->second.Broken;
      m.Data = old->second.Data;
      if (old->second.Path == m.Path && old->second.Unread == m.Unread)
        m.Item = old->second.Item;
    } else {
      Parse(m);
    }
    if (!m.Item && m.Data)
      m.Item = std::make_shared<TLocalMail>(m.Data, m.Unread);
    return m;
  }

  void Update(const TNotices& notices) override {
    for (const std::string& dir : notices.Dirs) {
      if (dir == root_ || dir == Join(root_, "new") || dir == Join(root_, "cur")) {
        Look();  // the Maildir, new/ or cur/ made, gone or replaced
        return;
      }
    }
    bool changed = false;
    for (const std::string& file : notices.Files) {
      const fs::path path(file);
      const std::string dir = path.parent_path().string();
      const std::string name = path.filename().string();
      const bool inNew = dir == Join(root_, "new");
      if ((!inNew && dir != Join(root_, "cur")) || Hidden(name))
        continue;
      const std::string unique(MaildirUnique(name));
      std::optional<TMessage> m = Message(file, inNew ? "new" : "cur", name);
      auto old = messages_.find(unique);
      if (!m) {
        // Gone from here; a message moved on is in its new place already.
        if (old != messages_.end() && old->second.Path == file) {
          messages_.erase(old);
          changed = true;
        }
        continue;
      }
      if (old != messages_.end() && old->second.Item == m->Item && m->Item)
        continue;
      messages_[unique] = std::move(*m);
      changed = true;
    }
    if (changed)
      Rebuild();
  }

  void Linked(std::set<std::string>&) override {}

  void Rebuild() {
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
    list->reserve(order.size());
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
    std::optional<TRead> read = ReadStamped(m.Path);
    std::optional<std::string> data = read ? std::move(read->Text) : std::nullopt;
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

  TMessages messages_;
  int unread_ = 0;
};

// ---------------------------------------------------------------------------

class TLocalNameSpace final : public INameSpace {
 public:
  TLocalNameSpace(const TStoreLocations& locations, TStoreLog log, TStoreOptions options)
      : locations_(locations), log_(std::move(log)), options_(options) {}

  // Each pass starts by fetching its folder: that is when a folder without
  // trusted notices looks at its files again.
  std::shared_ptr<IMAPIFolder> GetDefaultFolder(int folder) override {
    std::lock_guard l(m_);
    std::shared_ptr<TStoreFolder>* held = nullptr;
    switch (folder) {
      case olFolderCalendar:
        held = &calendar_;
        if (!*held)
          *held = std::make_shared<TIcalFolder>(locations_.Calendar, TIcalWant::Events, log_,
                                                options_.ChangeNotices);
        break;
      case olFolderTasks:
        held = &tasks_;
        if (!*held)
          *held = std::make_shared<TIcalFolder>(locations_.Tasks, TIcalWant::Todos, log_,
                                                options_.ChangeNotices);
        break;
      case olFolderInbox:
        held = &inbox_;
        if (!*held)
          *held = std::make_shared<TMaildirFolder>(locations_.Inbox, log_, options_.ChangeNotices);
        break;
      default:
        return nullptr;
    }
    (*held)->Arm();
    return *held;
  }

 private:
  std::mutex m_;
  const TStoreLocations locations_;
  const TStoreLog log_;
  const TStoreOptions options_;
  std::shared_ptr<TStoreFolder> calendar_, tasks_, inbox_;
};

class TLocalApplication final : public IOutlookApplication {
 public:
  TLocalApplication(const TStoreLocations& locations, TStoreLog log, TStoreOptions options)
      : locations_(locations), log_(std::move(log)), options_(options) {}

  std::shared_ptr<INameSpace> GetNamespace(const std::string& type) override {
    std::string t = type;
    for (char& c : t)
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (t != "MAPI")
      throw EOleError("GetNamespace: no namespace \"" + type + "\"");
    std::lock_guard l(m_);
    if (!ns_)
      ns_ = std::make_shared<TLocalNameSpace>(locations_, log_, options_);
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
  const TStoreOptions options_;
  std::shared_ptr<INameSpace> ns_;
};

class TLocalConnector final : public IOutlookConnector {
 public:
  TLocalConnector(TStoreLocations locations, TStoreLog log, TStoreOptions options)
      : locations_(std::move(locations)), log_(std::move(log)), options_(options) {}
  std::shared_ptr<IOutlookApplication> Connect() override {
    return std::make_shared<TLocalApplication>(locations_, log_, options_);
  }

 private:
  const TStoreLocations locations_;
  const TStoreLog log_;
  const TStoreOptions options_;
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
    TStoreLocations locations, std::function<void(const std::string&)> log, TStoreOptions options) {
  return std::make_unique<TLocalConnector>(std::move(locations), std::move(log), options);
}

TStoreCounts LocalStoreCounts() {
  return {gLooks.load(), gListings.load(), gStats.load(), gParses.load()};
}

}  // namespace rn
