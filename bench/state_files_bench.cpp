// Saving and loading 10 000 records per state file, and the sorted list's
// key comparisons that loading and the scans pay for.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/state_files.h"

namespace {

namespace fs = std::filesystem;
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
    write(folder / name, list);
  state.SetItemsProcessed(state.iterations() * list.Count());
  fs::remove_all(folder);
}

template <class List, class Write, class Read>
void Load(benchmark::State& state, List list, Write write, Read read, const char* name) {
  const fs::path folder = MakeFolder();
  write(folder / name, list);
  for (auto _ : state) {
    List loaded;
    read(folder / name, loaded);
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
BENCHMARK(BM_SaveNotify)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveTasks)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveEmail)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadNotify)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadTasks)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadEmail)->Unit(benchmark::kMillisecond);

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
