// The readers against hostile input of growing size: each must cost time in
// proportion to its input (Google Benchmark fits the figures and names the
// growth it sees, O(N) where all is well). A mail of megabytes of '&', a
// registry file of many values and of many keys, a state file in reverse
// order.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "engine/state_files.h"
#include "outlook/store_maildir.h"
#include "platform/registry.h"

namespace {

namespace fs = std::filesystem;

fs::path MakeFolder() {
  std::string pattern = (fs::temp_directory_path() / "ravenote-bench-XXXXXX").string();
  if (!::mkdtemp(pattern.data()))
    throw std::runtime_error("mkdtemp failed");
  return pattern;
}

void BM_HtmlMailOfAmpersands(benchmark::State& state) {
  const std::string mail = "From: a@example.org\nSubject: s\nContent-Type: text/html\n\n<p>x</p>" +
                           std::string(static_cast<size_t>(state.range(0)), '&');
  for (auto _ : state)
    benchmark::DoNotOptimize(rn::store::ParseMail(mail, 0, "bench").Body);
  state.SetComplexityN(state.range(0));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(mail.size()));
}
BENCHMARK(BM_HtmlMailOfAmpersands)
    ->RangeMultiplier(4)
    ->Range(1 << 18, 1 << 22)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

void BM_HtmlOfEntitiesWithoutSemicolons(benchmark::State& state) {
  std::string html;
  while (html.size() < static_cast<size_t>(state.range(0)))
    html += "&amp";
  for (auto _ : state)
    benchmark::DoNotOptimize(rn::store::HtmlToText(html));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_HtmlOfEntitiesWithoutSemicolons)
    ->RangeMultiplier(4)
    ->Range(1 << 18, 1 << 22)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// `values` values in one key, or `values` keys of one value each.
void Registry(benchmark::State& state, bool keys) {
  const fs::path folder = MakeFolder();
  const fs::path file = folder / "registry.reg";
  {
    std::ofstream out(file);
    out << "Windows Registry Editor Version 5.00\n\n";
    if (!keys)
      out << "[HKEY_CURRENT_USER\\Software\\Quarrowmere\\Ravenote]\n";
    for (int64_t i = 0; i < state.range(0); ++i) {
      if (keys)
        out << "[HKEY_CURRENT_USER\\Software\\Key" << i << "]\n";
      out << "\"Value" << i << "\"=dword:00000001\n";
    }
  }
  const rn::TRegistry registry(file);
  for (auto _ : state)
    benchmark::DoNotOptimize(registry.OpenKey("Software\\Quarrowmere\\Ravenote").Values().size());
  state.SetComplexityN(state.range(0));
  fs::remove_all(folder);
}
void BM_RegistryOfManyValues(benchmark::State& s) {
  Registry(s, false);
}
void BM_RegistryOfManyKeys(benchmark::State& s) {
  Registry(s, true);
}
BENCHMARK(BM_RegistryOfManyValues)
    ->RangeMultiplier(4)
    ->Range(1 << 12, 1 << 16)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);
BENCHMARK(BM_RegistryOfManyKeys)
    ->RangeMultiplier(4)
    ->Range(1 << 12, 1 << 16)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

void BM_StateFileInReverseOrder(benchmark::State& state) {
  const fs::path folder = MakeFolder();
  const fs::path file = folder / rn::kNotifyFile;
  {
    std::string bytes("\x15\0\0\0", 4);
    for (int64_t i = state.range(0); i > 0; --i) {
      const std::string name = "Meeting " + std::to_string(1000000 + i);
      std::string record(rn::kNotifyRecordSize, '\0');
      record[0] = static_cast<char>(name.size());
      record.replace(1, name.size(), name);
      bytes += record;
    }
    std::ofstream(file, std::ios::binary) << bytes;
  }
  for (auto _ : state) {
    rn::TEventList list;
    rn::ReadNotifyFile(file, list);
    benchmark::DoNotOptimize(list.Count());
  }
  state.SetComplexityN(state.range(0));
  fs::remove_all(folder);
}
BENCHMARK(BM_StateFileInReverseOrder)
    ->RangeMultiplier(4)
    ->Range(1 << 12, 1 << 16)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oNLogN);

}  // namespace

BENCHMARK_MAIN();
