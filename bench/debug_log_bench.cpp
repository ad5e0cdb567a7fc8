// The diagnostic log's cost per line at different buffer sizes: appending a
// line and the share of the file write that comes once per 250 lines. Both,
// and the cut-back's front removal, cost the same at any buffer size.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "engine/debug_log.h"

namespace {

class StillClock : public rn::IClock {
 public:
  rn::TDateTime Now() override { return now_ += rn::kOneSecond; }
  void Sleep(unsigned) override {}

 private:
  rn::TDateTime now_ = rn::EncodeDateTime(2026, 12, 11, 8, 0);
};

std::filesystem::path MakeFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "ravenote-bench-XXXXXX").string();
  if (!::mkdtemp(pattern.data()))
    throw std::runtime_error("mkdtemp failed");
  return pattern;
}

// 1000 lines appended to a buffer that already holds range(0) lines.
void BM_DebugLog1000LinesAt(benchmark::State& state) {
  const auto folder = MakeFolder();
  StillClock clock;
  const std::string message = "Check Times:12/11/26 09:45:00 <= 12/11/26 09:47:00";
  for (auto _ : state) {
    state.PauseTiming();
    rn::TDebugLog log(folder, clock);
    while (log.Lines().size() < static_cast<size_t>(state.range(0)))
      log.DebugLog(message);
    state.ResumeTiming();
    for (int i = 0; i < 1000; ++i)
      log.DebugLog(message);
    benchmark::DoNotOptimize(log.Lines().size());
  }
  state.SetItemsProcessed(state.iterations() * 1000);
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_DebugLog1000LinesAt)->Arg(1000)->Arg(5000)->Arg(14000)->Unit(benchmark::kMicrosecond);

// The line that crosses 15000: the cut-back to 500 lines and the backup.
void BM_DebugLogCutBack(benchmark::State& state) {
  const auto folder = MakeFolder();
  StillClock clock;
  for (auto _ : state) {
    state.PauseTiming();
    rn::TDebugLog log(folder, clock);
    while (log.Lines().size() < rn::kLogMaxLines)
      log.DebugLog("filler line of the log");
    state.ResumeTiming();
    log.DebugLog("the line too many");
  }
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_DebugLogCutBack)->Unit(benchmark::kMicrosecond);

// Twenty thousand lines in a row, cut-back included.
void BM_DebugLog20000Lines(benchmark::State& state) {
  const auto folder = MakeFolder();
  StillClock clock;
  for (auto _ : state) {
    rn::TDebugLog log(folder, clock);
    for (int i = 0; i < 20000; ++i)
      log.DebugLog("Sleep:12/11/26 09:45:00");
    benchmark::DoNotOptimize(log.Lines().size());
  }
  state.SetItemsProcessed(state.iterations() * 20000);
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_DebugLog20000Lines)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
