// The start of a recurring appointment's occurrence near the scan date.
#pragma once

#include <functional>
#include <string>

#include "outlook/outlook.h"
#include "platform/datetime.h"

namespace rn {

using TLogFunction = std::function<void(const std::string&)>;

// The first occurrence on D's day or the next (daily, monthly, yearly), or up
// to the day after next (weekly), in local time; 0 when there is none. It is
// the calendar's own: from the pattern's Series when it has one (its rule,
// added and removed dates, moved occurrences, its zone), else from the
// members. Its log lines ("Daily Appt", "Weekly Appt", ...) go to `log`.
TDateTime NextOccurrence(IRecurrencePattern& pattern, TDateTime D, const TLogFunction& log);

}  // namespace rn
