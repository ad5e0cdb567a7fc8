// Placeholder until this file is written.
#include "outlook/recurrence.h"
namespace rn {
TDateTime NextOccurrence(IRecurrencePattern&, TDateTime, const TLogFunction&) { return 0; }
}
