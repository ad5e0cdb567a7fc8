// The iCalendar side of the local store: one file's VEVENTs as appointments
// and VTODOs as tasks, read with libical into plain values in local time, and
// the move of a recurring task to its next occurrence, written back in place.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "outlook/pattern_values.h"
#include "platform/datetime.h"

namespace rn::store {

using TStoreLog = std::function<void(const std::string&)>;

// A file that holds no readable calendar, or one that cannot be read or written.
class EStoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TAppointmentData {
  std::string Subject;
  std::string Location;
  TDateTime Start = 0;
  int ReminderMinutesBeforeStart = 15;
  bool IsRecurring = false;
  TPatternData Pattern;
};

struct TTaskData {
  std::string Subject;
  TDateTime StartDate = kNoDate;
  TDateTime DueDate = kNoDate;
  TDateTime ReminderTime = kNoDate;
  bool ReminderSet = false;
  bool Complete = false;
  bool IsRecurring = false;
  int Index = 0;    // the VTODO's place among the file's VTODOs, from 0
  std::string Uid;  // empty when the VTODO has none
  bool operator==(const TTaskData&) const = default;
};

struct TIcalFile {
  std::vector<TAppointmentData> Events;
  std::vector<TTaskData> Todos;
};

enum class TIcalWant { Events, Todos };

// Reads one file's text. A component that cannot be used (an event without a
// readable start) is left out with a log line, a cancelled event silently; a
// text with no calendar in it throws EStoreError. `label` names the file in
// log lines.
TIcalFile ParseIcal(const std::string& text, TIcalWant want, const std::string& label,
                    const TStoreLog& log);

// Moves the VTODO (found by UID, else by its place `index`) of `file` to its
// next occurrence: DTSTART and DUE are rewritten in their own form (DATE, UTC,
// floating or with their TZID parameter, kept as written), a COUNT in the RRULE
// is lowered by the occurrence used up, and every other byte of the file stays
// as it was. The file is replaced atomically. Returns the task as it now reads,
// or nothing when the series has no further occurrence (the file is left
// alone). Throws EStoreError when the file or the task cannot be read or written.
std::optional<TTaskData> SkipTaskRecurrence(const std::filesystem::path& file, int index,
                                            const std::string& uid, const TStoreLog& log);

// `text` with every invalid UTF-8 sequence replaced by U+FFFD.
std::string ValidUtf8(std::string_view text);

}  // namespace rn::store
