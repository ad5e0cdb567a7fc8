// The start of a recurring appointment's occurrence near the scan date.
#pragma once

#include <functional>
#include <string>

#include "outlook/outlook.h"
#include "platform/datetime.h"

namespace rn {

using TLogFunction = std::function<void(const std::string&)>;

// The occurrence today or tomorrow (daily, monthly, yearly) or within the next
// two days (weekly), at the pattern's time of day; 0 when there is none. Its
// log lines ("Daily Appt", "Weekly Appt", ...) go to `log`.
TDateTime NextOccurrence(IRecurrencePattern& pattern, TDateTime D, const TLogFunction& log);

}  // namespace rn
