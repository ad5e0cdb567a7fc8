// NextOccurrence on old series: a daily meeting set up decades ago costs the
// same as one set up last week, since the walk jumps to the scan day instead
// of stepping there one interval at a time.
#include <benchmark/benchmark.h>

#include "outlook/pattern_values.h"
#include "outlook/recurrence.h"

namespace {

rn::TPatternData Series(int type, int mask, rn::TDateTime start) {
  rn::TPatternData p;
  p.RecurrenceType = type;
  p.DayOfWeekMask = mask;
  p.PatternStartDate = start;
  p.StartTime = rn::EncodeTime(9, 0);
  return p;
}

// Arguments: the type (0 daily, 1 weekly), the day mask, the series' start year.
void BM_NextOccurrence(benchmark::State& state) {
  rn::TPatternValues pattern(Series(static_cast<int>(state.range(0)),
                                    static_cast<int>(state.range(1)),
                                    rn::EncodeDate(static_cast<int>(state.range(2)), 1, 1)));
  const rn::TDateTime D = rn::EncodeDateTime(2026, 3, 10, 10, 0);
  const rn::TLogFunction log = [](const std::string&) {};
  for (auto _ : state)
    benchmark::DoNotOptimize(rn::NextOccurrence(pattern, D, log));
}
BENCHMARK(BM_NextOccurrence)
    ->Args({0, 0, 2026})
    ->Args({0, 0, 1900})
    ->Args({0, 62, 2026})
    ->Args({0, 62, 1900})
    ->Args({1, 62, 1900});

}  // namespace

BENCHMARK_MAIN();
