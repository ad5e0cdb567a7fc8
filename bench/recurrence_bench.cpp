// NextOccurrence on old and new series: a meeting set up decades ago costs
// about what one set up last week, since the walk starts near the scan day
// instead of at the series' start. Patterns known by Outlook's members alone,
// and series read from iCalendar text with their zone, removed dates and
// overrides.
#include <benchmark/benchmark.h>

#include <string>

#include "outlook/pattern_values.h"
#include "outlook/recurrence.h"
#include "outlook/store_ical.h"

namespace {

rn::TPatternData Series(int type, int mask, rn::TDateTime start) {
  rn::TPatternData p;
  p.RecurrenceType = type;
  p.DayOfWeekMask = mask;
  p.PatternStartDate = start;
  p.StartTime = rn::EncodeTime(9, 0);
  return p;
}

const rn::TDateTime kD = rn::EncodeDateTime(2026, 3, 10, 10, 0);

// Arguments: the type (0 daily, 1 weekly), the day mask, the series' start year.
void BM_NextOccurrence(benchmark::State& state) {
  rn::TPatternValues pattern(Series(static_cast<int>(state.range(0)),
                                    static_cast<int>(state.range(1)),
                                    rn::EncodeDate(static_cast<int>(state.range(2)), 1, 1)));
  const rn::TLogFunction log = [](const std::string&) {};
  for (auto _ : state)
    benchmark::DoNotOptimize(rn::NextOccurrence(pattern, kD, log));
}
BENCHMARK(BM_NextOccurrence)
    ->Args({0, 0, 2026})
    ->Args({0, 0, 1900})
    ->Args({0, 62, 2026})
    ->Args({0, 62, 1900})
    ->Args({1, 62, 1900});

const char* const kSeries[] = {
    // Weekly in New York since 2019, two occurrences removed, one moved.
    "BEGIN:VEVENT\nUID:a\nDTSTART;TZID=America/New_York:20190105T100000\n"
    "RRULE:FREQ=WEEKLY;BYDAY=TU,SA;WKST=SU\nEXDATE;TZID=America/New_York:20260310T100000,"
    "20260303T100000\nEND:VEVENT\nBEGIN:VEVENT\nUID:a\nRECURRENCE-ID;TZID=America/New_York:"
    "20260314T100000\nDTSTART;TZID=America/New_York:20260314T120000\nEND:VEVENT\n",
    // The last weekday of the month since 2010.
    "BEGIN:VEVENT\nUID:b\nDTSTART:20100129T160000\n"
    "RRULE:FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=-1\nEND:VEVENT\n",
    // Daily, 5 000 times from 2015.
    "BEGIN:VEVENT\nUID:c\nDTSTART:20150301T090000Z\nRRULE:FREQ=DAILY;COUNT=5000\nEND:VEVENT\n",
};

// Argument: which of kSeries.
void BM_NextOccurrenceOfSeries(benchmark::State& state) {
  const std::string text = std::string("BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:-//bench//EN\n") +
                           kSeries[state.range(0)] + "END:VCALENDAR\n";
  auto file = rn::store::ParseIcal(text, rn::store::TIcalWant::Events, "bench", {});
  rn::TPatternValues pattern(file.Events.at(0).Pattern);
  const rn::TLogFunction log = [](const std::string&) {};
  for (auto _ : state)
    benchmark::DoNotOptimize(rn::NextOccurrence(pattern, kD, log));
}
BENCHMARK(BM_NextOccurrenceOfSeries)->Arg(0)->Arg(1)->Arg(2);

}  // namespace

BENCHMARK_MAIN();
