// The local store on a large calendar and inbox: a vdir of 10 000 events (one
// file each, as calendar sync tools keep them) and a Maildir of 10 000
// messages, generated into a temporary folder. Measures the first load, a
// calendar pass's 150 items when nothing changed, and a walk of the inbox.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "outlook/local_store.h"

namespace {

namespace fs = std::filesystem;
using namespace rn;

constexpr int kEvents = 10000;
constexpr int kMessages = 10000;

// The generated data, made once and removed at exit.
struct TBenchData {
  fs::path root;
  TStoreLocations where;

  TBenchData() {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    char tmpl[] = "/tmp/ravenote-store-bench-XXXXXX";
    root = ::mkdtemp(tmpl);
    where = {root / "calendar", root / "tasks", root / "inbox"};
    fs::create_directories(where.Calendar);
    fs::create_directories(where.Inbox / "cur");
    fs::create_directories(where.Inbox / "new");
    fs::create_directories(where.Inbox / "tmp");
    char buf[2048];
    for (int i = 0; i < kEvents; ++i) {
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
      Write(where.Calendar / ("event-" + std::to_string(i) + ".ics"), buf);
    }
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
      const bool unread = i % 20 == 0;
      fs::path name = where.Inbox / (unread ? "new" : "cur") /
                      (std::to_string(1790000000 + i) + ".M" + std::to_string(i) + "P1.bench" +
                       (unread ? "" : ":2,S"));
      Write(name, buf);
    }
  }

  ~TBenchData() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }

  // Written an hour back, as a settled folder is.
  static void Write(const fs::path& path, const char* text) {
    std::ofstream(path, std::ios::binary) << text;
    struct timespec times[2];
    ::clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= 3600;
    times[1] = times[0];
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
  }
};

TBenchData& Data() {
  static TBenchData data;
  return data;
}

std::shared_ptr<IMAPIFolder> Folder(std::unique_ptr<IOutlookConnector>& connector, int which) {
  connector = MakeLocalStoreConnector(Data().where);
  return connector->Connect()->GetNamespace("MAPI")->GetDefaultFolder(which);
}

void BM_CalendarFirstLoad(benchmark::State& state) {
  Data();
  for (auto _ : state) {
    std::unique_ptr<IOutlookConnector> connector;
    auto folder = Folder(connector, olFolderCalendar);
    int n = folder->Items()->Count();
    if (n != kEvents)
      state.SkipWithError("not every event was read");
    benchmark::DoNotOptimize(n);
  }
  state.SetItemsProcessed(state.iterations() * kEvents);
}
BENCHMARK(BM_CalendarFirstLoad)->Unit(benchmark::kMillisecond)->Iterations(3);

// What a calendar pass asks of an unchanged folder: the count read anew for
// each test and 150 items fetched by index, each from Items() fetched anew.
void BM_CalendarPassUnchanged(benchmark::State& state) {
  std::unique_ptr<IOutlookConnector> connector;
  auto folder = Folder(connector, olFolderCalendar);
  folder->Items();
  const uint64_t parses = LocalStoreParseCount();
  int position = 1;
  for (auto _ : state) {
    for (int n = 0; n < 150 && folder->Items()->Count() >= position; ++n) {
      auto appointment = folder->Items()->Item(position++)->AsAppointment();
      benchmark::DoNotOptimize(appointment->Start());
      benchmark::DoNotOptimize(appointment->Subject());
    }
    if (position > kEvents)
      position = 1;
  }
  if (LocalStoreParseCount() != parses)
    state.SkipWithError("an unchanged file was parsed again");
  state.SetItemsProcessed(state.iterations() * 150);
}
BENCHMARK(BM_CalendarPassUnchanged)->Unit(benchmark::kMicrosecond);

void BM_InboxFirstLoad(benchmark::State& state) {
  Data();
  for (auto _ : state) {
    std::unique_ptr<IOutlookConnector> connector;
    auto folder = Folder(connector, olFolderInbox);
    int n = folder->Items()->Count();
    if (n != kMessages)
      state.SkipWithError("not every message was read");
    benchmark::DoNotOptimize(n);
  }
  state.SetItemsProcessed(state.iterations() * kMessages);
}
BENCHMARK(BM_InboxFirstLoad)->Unit(benchmark::kMillisecond)->Iterations(3);

// The inbox pass over an unchanged inbox: the count once, then for every
// message the unread count and the message.
void BM_InboxWalkUnchanged(benchmark::State& state) {
  std::unique_ptr<IOutlookConnector> connector;
  auto folder = Folder(connector, olFolderInbox);
  folder->Items();
  const uint64_t parses = LocalStoreParseCount();
  for (auto _ : state) {
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
  if (LocalStoreParseCount() != parses)
    state.SkipWithError("an unchanged file was parsed again");
  state.SetItemsProcessed(state.iterations() * kMessages);
}
BENCHMARK(BM_InboxWalkUnchanged)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
