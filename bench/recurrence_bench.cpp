// NextOccurrence on old series: a daily meeting set up decades ago costs the
// same as one set up last week, since the walk jumps to the scan day instead
// of stepping there one interval at a time.
#include <benchmark/benchmark.h>

#include "outlook/recurrence.h"

namespace {

class Pattern : public rn::IRecurrencePattern {
 public:
  Pattern(int type, int mask, rn::TDateTime start) : type_(type), mask_(mask), start_(start) {}
  int RecurrenceType() override { return type_; }
  int DayOfWeekMask() override { return mask_; }
  int DayOfMonth() override { return 0; }
  int MonthOfYear() override { return 0; }
  int Interval() override { return 1; }
  int Occurrences() override { return 0; }
  bool NoEndDate() override { return true; }
  rn::TDateTime PatternStartDate() override { return start_; }
  rn::TDateTime PatternEndDate() override { return 0; }
  rn::TDateTime StartTime() override { return rn::EncodeTime(9, 0); }

 private:
  int type_, mask_;
  rn::TDateTime start_;
};

// Arguments: the type (0 daily, 1 weekly), the day mask, the series' start year.
void BM_NextOccurrence(benchmark::State& state) {
  Pattern pattern(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                  rn::EncodeDate(static_cast<int>(state.range(2)), 1, 1));
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
