// Saving and loading 10 000 records per state file, and the sorted list's
// key comparisons that loading and the scans pay for.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "engine/state_files.h"
#include "engine_fixture.h"

namespace {

namespace fs = std::filesystem;
using rn::TOutlookProcessor;
namespace test = rn::test;
constexpr int kRecords = 10000;

fs::path MakeFolder() {
  std::string pattern = (fs::temp_directory_path() / "ravenote-bench-XXXXXX").string();
  if (!::mkdtemp(pattern.data()))
    throw std::runtime_error("mkdtemp failed");
  return pattern;
}

// Keys shaped like the calendar's: time, "@loc:", location, ":", subject.
std::vector<std::string> MeetingKeys() {
  std::vector<std::string> keys;
  for (int i = 0; i < kRecords; ++i) {
    keys.push_back(std::to_string(i % 24) + ":" + std::to_string(i % 60) + ":00@loc:Room " +
                   std::to_string(i % 37) + ":Project review number " + std::to_string(i));
  }
  return keys;
}

rn::TEventList Meetings() {
  rn::TEventList list;
  for (const std::string& key : MeetingKeys()) {
    auto r = std::make_unique<rn::TEventItem>();
    r->Name = key;
    r->NotifyTime = 46367.4;
    list.Add(key, std::move(r));
  }
  return list;
}

rn::TTaskList Tasks() {
  rn::TTaskList list;
  for (int i = 0; i < kRecords; ++i) {
    auto r = std::make_unique<rn::TTaskEvent>();
    r->Name = "Task number " + std::to_string(i) + ":12/11/26";
    r->DueDate = 46367;
    const std::string key = r->Name;
    list.Add(key, std::move(r));
  }
  return list;
}

rn::TEmailList Emails() {
  rn::TEmailList list;
  for (int i = 0; i < kRecords; ++i) {
    auto r = std::make_unique<rn::TEmailItem>();
    r->Name = "Urgent: server " + std::to_string(i) +
              " is down. Please call the operations desk as soon as you read this message.";
    r->AddedTime = 46367.5;
    const std::string key = r->Name;
    list.Add(key, std::move(r));
  }
  return list;
}

template <class List, class Write>
void Save(benchmark::State& state, List list, Write write, const char* name) {
  const fs::path folder = MakeFolder();
  for (auto _ : state)
    write(folder / name, list, nullptr);
  state.SetItemsProcessed(state.iterations() * list.Count());
  fs::remove_all(folder);
}

template <class List, class Write, class Read>
void Load(benchmark::State& state, List list, Write write, Read read, const char* name) {
  const fs::path folder = MakeFolder();
  write(folder / name, list, nullptr);
  for (auto _ : state) {
    List loaded;
    read(folder / name, loaded, nullptr);
    benchmark::DoNotOptimize(loaded.Count());
  }
  state.SetItemsProcessed(state.iterations() * list.Count());
  fs::remove_all(folder);
}

void BM_SaveNotify(benchmark::State& s) {
  Save(s, Meetings(), rn::WriteNotifyFile, rn::kNotifyFile);
}
void BM_SaveTasks(benchmark::State& s) {
  Save(s, Tasks(), rn::WriteTaskFile, rn::kTaskFile);
}
void BM_SaveEmail(benchmark::State& s) {
  Save(s, Emails(), rn::WriteEmailFile, rn::kEmailFile);
}
void BM_LoadNotify(benchmark::State& s) {
  Load(s, Meetings(), rn::WriteNotifyFile, rn::ReadNotifyFile, rn::kNotifyFile);
}
void BM_LoadTasks(benchmark::State& s) {
  Load(s, Tasks(), rn::WriteTaskFile, rn::ReadTaskFile, rn::kTaskFile);
}
void BM_LoadEmail(benchmark::State& s) {
  Load(s, Emails(), rn::WriteEmailFile, rn::ReadEmailFile, rn::kEmailFile);
}
// A file whose records stand in descending key order (written by hand, or
// damaged): loading must not cost one shift of the whole list per record.
void BM_LoadNotifyReversed(benchmark::State& state) {
  const fs::path folder = MakeFolder();
  const fs::path file = folder / rn::kNotifyFile;
  rn::WriteNotifyFile(file, Meetings(), nullptr);
  std::string bytes;
  {
    std::ifstream in(file, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::string reversed = bytes.substr(0, 4);
  for (size_t at = bytes.size(); at > 4; at -= rn::kNotifyRecordSize)
    reversed += bytes.substr(at - rn::kNotifyRecordSize, rn::kNotifyRecordSize);
  std::ofstream(file, std::ios::binary | std::ios::trunc) << reversed;
  for (auto _ : state) {
    rn::TEventList loaded;
    rn::ReadNotifyFile(file, loaded, nullptr);
    benchmark::DoNotOptimize(loaded.Count());
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
  fs::remove_all(folder);
}
BENCHMARK(BM_LoadNotifyReversed)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_SaveNotify)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveTasks)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveEmail)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadNotify)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadTasks)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadEmail)->Unit(benchmark::kMillisecond);

// The save that ends every pass, as a real pass makes it: 150 meetings, 120
// tasks and 20 forwarded mails, the three files written in the engine's
// order. "Unchanged" is the common pass, where nothing was met or sent;
// "OneChange" marks one meeting notified before each save.
void SavePass(benchmark::State& state, bool change) {
  test::EngineRig rig(46000.5);
  TOutlookProcessor& engine = *rig.processor;
  for (int i = 0; i < 150; ++i) {
    auto r = std::make_unique<rn::TEventItem>();
    r->Name = MeetingKeys()[i];
    r->NotifyTime = 46000.6;
    const std::string key = r->Name;
    engine.Meetings.Add(key, std::move(r));
  }
  for (int i = 0; i < 120; ++i) {
    auto r = std::make_unique<rn::TTaskEvent>();
    r->Name = "Task number " + std::to_string(i) + ":12/11/26";
    const std::string key = r->Name;
    engine.Tasks.Add(key, std::move(r));
  }
  for (int i = 0; i < 20; ++i) {
    auto r = std::make_unique<rn::TEmailItem>();
    r->Name = "Urgent: server " + std::to_string(i) + " is down.";
    const std::string key = r->Name;
    engine.Emails.Add(key, std::move(r));
  }
  engine.SaveAll();
  int flip = 0;
  for (auto _ : state) {
    if (change)
      engine.Meetings.At(0).Notified = (++flip % 2) != 0;
    engine.SaveAll();
  }
}
void BM_SavePassUnchanged(benchmark::State& s) {
  SavePass(s, false);
}
void BM_SavePassOneChange(benchmark::State& s) {
  SavePass(s, true);
}
BENCHMARK(BM_SavePassUnchanged)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SavePassOneChange)->Unit(benchmark::kMicrosecond);

// Adding 10 000 keys in no particular order, as scans do: a binary search of
// ICU comparisons for each.
void BM_AddShuffled(benchmark::State& state) {
  std::vector<std::string> keys = MeetingKeys();
  std::shuffle(keys.begin(), keys.end(), std::mt19937(7));
  for (auto _ : state) {
    rn::TEventList list;
    for (const std::string& key : keys)
      list.Add(key, std::make_unique<rn::TEventItem>());
    benchmark::DoNotOptimize(list.Count());
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_AddShuffled)->Unit(benchmark::kMillisecond);

// Looking up every key of a full list.
void BM_FindAll(benchmark::State& state) {
  const rn::TEventList list = Meetings();
  std::vector<std::string> keys = MeetingKeys();
  std::shuffle(keys.begin(), keys.end(), std::mt19937(7));
  for (auto _ : state) {
    int found = 0;
    for (const std::string& key : keys)
      found += list.Find(key) >= 0;
    benchmark::DoNotOptimize(found);
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_FindAll)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
