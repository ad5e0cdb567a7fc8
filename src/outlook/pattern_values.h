// A recurrence pattern as plain values, and a RecurrencePattern that answers
// from them: what the local store makes of a recurring event, and what tests
// and benchmarks hand to NextOccurrence.
#pragma once

#include <memory>

#include "outlook/outlook.h"
#include "platform/datetime.h"

namespace rn {

struct TPatternData {
  int RecurrenceType = 0;  // 0 daily, 1 weekly, 2 monthly, 3 monthly by weekday,
                           // 5 yearly, 6 yearly by weekday, -1 a frequency Outlook lacks
  int DayOfWeekMask = 0;
  int DayOfMonth = 0;
  int MonthOfYear = 0;
  int Interval = 1;
  int Occurrences = 0;
  bool NoEndDate = true;
  TDateTime PatternStartDate = 0;
  TDateTime PatternEndDate = 0;
  TDateTime StartTime = 0;
  int Instance = 0;  // 3 and 6: the first (1) to fourth, or the last (5), of the matching days
  // The series as the calendar holds it; null when the members say it all.
  std::shared_ptr<const TRecurrenceSeries> Series;
};

// The count and the local end day of a series' rule (outlook/ical_series.h).
int SeriesCount(const TRecurrenceSeries& series);
TDateTime SeriesEndDate(const TRecurrenceSeries& series);

class TPatternValues final : public IRecurrencePattern {
 public:
  explicit TPatternValues(const TPatternData& values) : v_(values) {}
  int RecurrenceType() override { return v_.RecurrenceType; }
  int DayOfWeekMask() override { return v_.DayOfWeekMask; }
  int DayOfMonth() override { return v_.DayOfMonth; }
  int MonthOfYear() override { return v_.MonthOfYear; }
  int Interval() override { return v_.Interval; }
  // Outlook fills in both ends of a limited series, the count of one that
  // ends on a date and the end date of a counted one: what the values leave
  // open, the series' walk gives.
  int Occurrences() override {
    return v_.Occurrences == 0 && Open() ? SeriesCount(*v_.Series) : v_.Occurrences;
  }
  bool NoEndDate() override { return v_.NoEndDate; }
  TDateTime PatternStartDate() override { return v_.PatternStartDate; }
  TDateTime PatternEndDate() override {
    return v_.PatternEndDate == 0 && Open() ? SeriesEndDate(*v_.Series) : v_.PatternEndDate;
  }
  TDateTime StartTime() override { return v_.StartTime; }
  int Instance() override { return v_.Instance; }
  std::shared_ptr<const TRecurrenceSeries> Series() override { return v_.Series; }

 private:
  // A limited series of a kind Outlook has, read from a calendar.
  bool Open() const { return !v_.NoEndDate && v_.Series && v_.RecurrenceType >= 0; }
  const TPatternData v_;
};

}  // namespace rn
