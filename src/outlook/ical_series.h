// A recurring series as iCalendar holds it, expanded with libical's own
// recurrence iterator: its start in its zone, its rule, the dates it adds and
// those it removes (EXDATE, and the occurrences its overrides replace). It
// answers which occurrence falls on given local days. Made by the iCalendar
// reader for a recurring event, or from the members of an Outlook pattern.
#pragma once

#include <libical/ical.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/datetime.h"

namespace rn {

// libical keeps process-wide state (its zone cache, its error code): every
// use of it goes through this lock, which also sets libical up on first use.
std::unique_lock<std::recursive_mutex> LockIcal();

// A date or date-time as a calendar writes it and the zone it is in: UTC, a
// named zone, or none for a floating time and for a DATE.
struct TZonedTime {
  icaltimetype t{};
  const icaltimezone* zone = nullptr;
  bool fileZone = false;  // the zone is a VTIMEZONE of the file, gone with its parse
};

class TRecurrenceSeries {
 public:
  // Past this many occurrences a counted or dated series is not walked
  // further: its count and its last occurrence are those of the walk so far.
  static constexpr int kWalkCap = 20000;

  struct TParts {
    TZonedTime Start;  // DTSTART
    bool StartIsOccurrence =
        true;          // iCalendar's DTSTART always is; Outlook's start date need not be
    std::string Rule;  // the RRULE's value; empty for none
    std::vector<TZonedTime> Added;    // RDATE
    std::vector<TZonedTime> Removed;  // EXDATE, and the RECURRENCE-IDs of its overrides
  };
  explicit TRecurrenceSeries(const TParts& parts);
  ~TRecurrenceSeries();
  TRecurrenceSeries(const TRecurrenceSeries&) = delete;
  TRecurrenceSeries& operator=(const TRecurrenceSeries&) = delete;

  // The first occurrence whose local day lies from `firstDay` to `lastDay`
  // (whole days, both included), in local time; 0 when there is none.
  TDateTime FirstOccurrence(TDateTime firstDay, TDateTime lastDay) const;

  // For a rule with COUNT or UNTIL: how many occurrences it gives and the
  // local time of the last (0 and 0 for a rule without end, or with none).
  // Walked on first use, not when the series is read.
  int RuleCount() const;
  TDateTime RuleLast() const;

 private:
  int64_t KeyOf(const icaltimetype& occurrence) const;
  int64_t KeyOfValue(const TZonedTime& value, bool endOfDay) const;
  icaltimetype WallOf(int64_t key) const;
  TDateTime LocalOf(int64_t key) const;
  bool Removed(int64_t key, const icaltimetype& wall) const;
  // The bounded walk from DTSTART: the rule's count, its last occurrence, and
  // for COUNT the end it stands for.
  void Walk() const;
  // The first occurrence of the rule itself from key `a` to before `b`.
  int64_t FirstOfRule(int64_t a, int64_t b) const;

  // Times of the series compare as keys: UTC seconds for a series in a zone,
  // wall-clock seconds for a floating or all-day one.
  bool instants_ = false;
  icaltimetype start_{};
  std::shared_ptr<const icaltimezone> zone_;
  std::string rule_;  // without its COUNT and UNTIL, which until_ and count_ stand for
  int count_ = 0;
  int64_t until_ = INT64_MAX;
  std::vector<int64_t> added_, removed_;  // sorted
  std::vector<int64_t> removedDays_;      // whole days removed (a DATE among the times)
  mutable std::once_flag walked_;
  mutable int64_t end_ = INT64_MAX;  // until_, or the last counted occurrence
  mutable int ruleCount_ = 0;
  mutable TDateTime ruleLast_ = 0;
  mutable std::vector<int64_t> counted_;  // a short counted rule's occurrences
  // The last question and its answer.
  mutable int64_t askedFrom_ = INT64_MIN, askedTo_ = INT64_MIN;
  mutable TDateTime answer_ = 0;
};

}  // namespace rn
