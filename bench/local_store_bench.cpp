// The local store on large calendars: vdirs of 1 000, 10 000 and 50 000
// events (one file each, as calendar sync tools keep them) and a Maildir of
// 10 000 messages, generated into a temporary folder.
//
// Measured at each size: a bare libical parse of the same files (the floor a
// first load is held against), the store's first load, its peak memory (a
// fresh process that loads the calendar and reports its peak resident size),
// and a calendar pass over unchanged data as passes really come: 15 minutes
// apart, each starting by fetching the folder. The wait between two passes
// is taken out of the timing; it is a few seconds of real time, longer than
// any interval a store could keep for looking again.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <libical/ical.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "outlook/local_store.h"
#include "outlook/recurrence.h"

namespace {

namespace fs = std::filesystem;
using namespace rn;

constexpr int kMessages = 10000;
constexpr int kItemsPerPass = 150;
// Real passes come 15 minutes apart; this much real time between two
// measured passes outlasts any recheck interval of the store.
constexpr auto kBetweenPasses = std::chrono::milliseconds(5500);

// Written an hour back, as a settled folder is.
void Write(const fs::path& path, const char* text) {
  std::ofstream(path, std::ios::binary) << text;
  struct timespec times[2];
  ::clock_gettime(CLOCK_REALTIME, &times[0]);
  times[0].tv_sec -= 3600;
  times[1] = times[0];
  ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

void GenerateCalendar(const fs::path& dir, int events) {
  fs::create_directories(dir);
  char buf[2048];
  for (int i = 0; i < events; ++i) {
    int day = 1 + i % 28, month = 1 + (i / 28) % 12, hour = 7 + i % 10;
    const char* rule = i % 5 == 0 ? "RRULE:FREQ=WEEKLY;BYDAY=MO,WE;COUNT=10\r\n" : "";
    std::snprintf(buf, sizeof buf,
                  "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Ravenote bench//EN\r\n"
                  "BEGIN:VEVENT\r\nUID:event-%d@bench\r\nDTSTAMP:20260101T000000Z\r\n"
                  "DTSTART;TZID=Europe/Berlin:2027%02d%02dT%02d0000\r\n"
                  "DTEND;TZID=Europe/Berlin:2027%02d%02dT%02d3000\r\n%s"
                  "SUMMARY:Meeting number %d about the quarterly plan\r\n"
                  "LOCATION:Room %d\r\nDESCRIPTION:Agenda: figures\\, plans and questions.\r\n"
                  "BEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:Reminder\r\n"
                  "TRIGGER:-PT%dM\r\nEND:VALARM\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n",
                  i, month, day, hour, month, day, hour, rule, i, i % 40, 5 + i % 30);
    Write(dir / ("event-" + std::to_string(i) + ".ics"), buf);
  }
}

void GenerateInbox(const fs::path& inbox) {
  fs::create_directories(inbox / "cur");
  fs::create_directories(inbox / "new");
  fs::create_directories(inbox / "tmp");
  char buf[2048];
  for (int i = 0; i < kMessages; ++i) {
    std::snprintf(buf, sizeof buf,
                  "Received: from mx.example.invalid by mail.example.invalid; "
                  "Mon, %d Nov 2026 %02d:%02d:00 +0000\n"
                  "From: Sender %d <sender%d@example.invalid>\nTo: me@example.invalid\n"
                  "Subject: Message %d about the project\nDate: Mon, %d Nov 2026 %02d:%02d:00 "
                  "+0000\nMessage-ID: <%d@example.invalid>\n%s"
                  "MIME-Version: 1.0\nContent-Type: text/plain; charset=UTF-8\n\n"
                  "Hello,\n\nthis is message %d. The figures are attached below.\n\n"
                  "Regards\n",
                  1 + i % 28, i % 24, i % 60, i, i, i, 1 + i % 28, i % 24, i % 60, i,
                  i % 50 == 0 ? "X-Priority: 1\n" : "", i);
    const bool unread = i % 10 == 0;
    fs::path name = inbox / (unread ? "new" : "cur") /
                    (std::to_string(1790000000 + i) + ".M" + std::to_string(i) + "P1.bench" +
                     (unread ? "" : ":2,S"));
    Write(name, buf);
  }
}

// The generated data, made on first use and removed at exit.
class TBenchData {
 public:
  static TBenchData& Get() {
    static TBenchData data;
    return data;
  }

  const fs::path& Calendar(int events) {
    auto it = calendars_.find(events);
    if (it == calendars_.end()) {
      const fs::path dir = root_ / ("calendar-" + std::to_string(events));
      GenerateCalendar(dir, events);
      it = calendars_.emplace(events, dir).first;
    }
    return it->second;
  }

  const fs::path& Inbox() {
    if (inbox_.empty()) {
      inbox_ = root_ / "inbox";
      GenerateInbox(inbox_);
    }
    return inbox_;
  }

  TStoreLocations Where(int events) {
    return {Calendar(events), root_ / "tasks", events ? root_ / "inbox" : Inbox()};
  }

 private:
  TBenchData() {
    char tmpl[] = "/tmp/ravenote-store-bench-XXXXXX";
    root_ = ::mkdtemp(tmpl);
  }
  ~TBenchData() {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  fs::path root_;
  std::map<int, fs::path> calendars_;
  fs::path inbox_;
};

std::shared_ptr<IMAPIFolder> Folder(IOutlookConnector& connector, int which) {
  return connector.Connect()->GetNamespace("MAPI")->GetDefaultFolder(which);
}

// The floor: list the folder, read every file and parse it with libical, then
// free the result. Returns the files parsed.
int BareParse(const fs::path& dir) {
  icalerror_set_errors_are_fatal(0);
  int parsed = 0;
  DIR* d = ::opendir(dir.c_str());
  std::string text;
  while (dirent* e = ::readdir(d)) {
    if (e->d_name[0] == '.')
      continue;
    const std::string path = dir.string() + "/" + e->d_name;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    ::fstat(fd, &st);
    text.resize(static_cast<size_t>(st.st_size));
    ssize_t n = ::read(fd, text.data(), text.size());
    ::close(fd);
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    if (icalcomponent* c = icalparser_parse_string(text.c_str())) {
      ++parsed;
      icalcomponent_free(c);
    }
  }
  ::closedir(d);
  return parsed;
}

void BM_BareLibicalParse(benchmark::State& state) {
  const int events = static_cast<int>(state.range(0));
  const fs::path& dir = TBenchData::Get().Calendar(events);
  for (auto _ : state) {
    if (BareParse(dir) != events)
      state.SkipWithError("not every file was parsed");
  }
  state.SetItemsProcessed(state.iterations() * events);
}

// Peak resident size of a fresh process that loads the calendar: this
// program run again with --peak-memory=DIR.
long PeakKilobytes(const fs::path& dir, long* baseline) {
  int out[2];
  if (::pipe(out) != 0)
    return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out[1], 1);
    const std::string arg = "--peak-memory=" + dir.string();
    ::execl("/proc/self/exe", "local_store_bench", arg.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(out[1]);
  char buf[128] = {};
  ssize_t n = ::read(out[0], buf, sizeof buf - 1);
  ::close(out[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  long peak = -1, before = -1;
  if (n <= 0 || std::sscanf(buf, "%ld %ld", &before, &peak) != 2 || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0)
    return -1;
  *baseline = before;
  return peak;
}

// A line of /proc/self/status in kilobytes ("VmHWM", the peak resident size
// of this process image; getrusage's figure would include the parent's).
long StatusKilobytes(const char* field) {
  std::ifstream status("/proc/self/status");
  const std::string prefix = std::string(field) + ":";
  for (std::string line; std::getline(status, line);)
    if (line.rfind(prefix, 0) == 0)
      return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
  return -1;
}

int PeakMemoryChild(const char* dir) {
  const long before = StatusKilobytes("VmHWM");
  auto connector = MakeLocalStoreConnector({dir, "/nonexistent", "/nonexistent"});
  auto folder = Folder(*connector, olFolderCalendar);
  const int n = folder->Items()->Count();
  std::printf("%ld %ld\n", before, StatusKilobytes("VmHWM"));
  return n > 0 ? 0 : 1;
}

// The store's first load, each one paired with a bare parse just before it
// (outside the timing): vs_bare is the median of the pairs' ratios, which a
// machine's drift from one minute to the next does not move. The store is put
// away outside the timing too.
void BM_CalendarFirstLoad(benchmark::State& state) {
  const int events = static_cast<int>(state.range(0));
  const TStoreLocations where = TBenchData::Get().Where(events);
  std::vector<double> ratios;
  using TClock = std::chrono::steady_clock;
  for (auto _ : state) {
    state.PauseTiming();
    const auto bareStart = TClock::now();
    BareParse(where.Calendar);
    const auto bare = TClock::now() - bareStart;
    state.ResumeTiming();
    const auto loadStart = TClock::now();
    auto connector = MakeLocalStoreConnector(where);
    const int n = Folder(*connector, olFolderCalendar)->Items()->Count();
    const auto load = TClock::now() - loadStart;
    if (n != events)
      state.SkipWithError("not every event was read");
    ratios.push_back(std::chrono::duration<double>(load) / std::chrono::duration<double>(bare));
    // Putting the store away is no part of its load.
    state.PauseTiming();
    connector.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * events);
  std::sort(ratios.begin(), ratios.end());
  state.counters["vs_bare"] = ratios[ratios.size() / 2];
  long baseline = 0;
  const long peak = PeakKilobytes(where.Calendar, &baseline);
  state.counters["peak_MB"] = static_cast<double>(peak) / 1024.0;
  state.counters["start_MB"] = static_cast<double>(baseline) / 1024.0;
}

// One calendar pass as the engine makes it: the folder fetched, its count,
// then up to 150 appointments, each from Items() fetched anew after the
// count is read anew, with the next occurrence of the recurring ones.
int CalendarPass(INameSpace& mapi, int& position, TDateTime D) {
  auto folder = mapi.GetDefaultFolder(olFolderCalendar);
  benchmark::DoNotOptimize(folder->Items()->Count());
  int seen = 0;
  for (int n = 0; n < kItemsPerPass && folder->Items()->Count() >= position; ++n) {
    auto appointment = folder->Items()->Item(position++)->AsAppointment();
    benchmark::DoNotOptimize(appointment->Subject());
    benchmark::DoNotOptimize(appointment->Location());
    benchmark::DoNotOptimize(appointment->ReminderMinutesBeforeStart());
    if (appointment->IsRecurring())
      benchmark::DoNotOptimize(NextOccurrence(*appointment->GetRecurrencePattern(), D, {}));
    else
      benchmark::DoNotOptimize(appointment->Start());
    ++seen;
  }
  if (folder->Items()->Count() < position)
    position = 1;
  return seen;
}

void BM_CalendarPassUnchanged(benchmark::State& state) {
  const int events = static_cast<int>(state.range(0));
  auto connector = MakeLocalStoreConnector(TBenchData::Get().Where(events));
  auto app = connector->Connect();
  auto mapi = app->GetNamespace("MAPI");
  mapi->GetDefaultFolder(olFolderCalendar)->Items();
  const uint64_t parses = LocalStoreCounts().Parses;
  const TDateTime D = EncodeDateTime(2027, 3, 10, 10, 0);
  int position = 1;
  double slowest = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::this_thread::sleep_for(kBetweenPasses);
    state.ResumeTiming();
    const auto start = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(CalendarPass(*mapi, position, D));
    slowest = std::max(
        slowest, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                     .count());
  }
  state.counters["slowest_ms"] = slowest;
  if (LocalStoreCounts().Parses != parses)
    state.SkipWithError("an unchanged file was parsed again");
  state.SetItemsProcessed(state.iterations() * kItemsPerPass);
}

void BM_InboxFirstLoad(benchmark::State& state) {
  const TStoreLocations where = TBenchData::Get().Where(0);
  for (auto _ : state) {
    auto connector = MakeLocalStoreConnector(where);
    const int n = Folder(*connector, olFolderInbox)->Items()->Count();
    if (n != kMessages)
      state.SkipWithError("not every message was read");
    benchmark::DoNotOptimize(n);
  }
  state.SetItemsProcessed(state.iterations() * kMessages);
}

// The inbox pass over an unchanged inbox, as it comes: the folder fetched,
// the count once, then for every message the unread count and the message.
void BM_InboxWalkUnchanged(benchmark::State& state) {
  auto connector = MakeLocalStoreConnector(TBenchData::Get().Where(0));
  auto app = connector->Connect();
  auto mapi = app->GetNamespace("MAPI");
  mapi->GetDefaultFolder(olFolderInbox)->Items();
  const uint64_t parses = LocalStoreCounts().Parses;
  for (auto _ : state) {
    state.PauseTiming();
    std::this_thread::sleep_for(kBetweenPasses);
    state.ResumeTiming();
    auto folder = mapi->GetDefaultFolder(olFolderInbox);
    const int n = folder->Items()->Count();
    int urgent = 0;
    for (int i = 1; i <= n; ++i) {
      if (folder->UnReadItemCount() == 0)
        break;
      auto mail = folder->Items()->Item(i)->AsMail();
      if (mail->UnRead() && mail->Importance() == olImportanceHigh)
        ++urgent;
    }
    benchmark::DoNotOptimize(urgent);
  }
  if (LocalStoreCounts().Parses != parses)
    state.SkipWithError("an unchanged file was parsed again");
  state.SetItemsProcessed(state.iterations() * kMessages);
}

void Sizes(benchmark::internal::Benchmark* b) {
  b->Arg(1000)->Arg(10000)->Arg(50000);
}

BENCHMARK(BM_BareLibicalParse)->Apply(Sizes)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_CalendarFirstLoad)->Apply(Sizes)->Unit(benchmark::kMillisecond)->Iterations(7);
BENCHMARK(BM_CalendarPassUnchanged)->Apply(Sizes)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_InboxFirstLoad)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_InboxWalkUnchanged)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
  // Every local time of the data is a time in Berlin.
  setenv("TZ", "Europe/Berlin", 1);
  tzset();
  if (argc == 2 && std::strncmp(argv[1], "--peak-memory=", 14) == 0)
    return PeakMemoryChild(argv[1] + 14);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
