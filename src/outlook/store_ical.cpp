// iCalendar files read with libical. Every time is turned into the local
// wall-clock TDateTime the engine works with: a TZID through the file's own
// VTIMEZONE or the system's zone database, UTC through the C library, a DATE
// as local midnight, a floating time as written.
#include "outlook/store_ical.h"

#include "outlook/ical_series.h"
#include "platform/files.h"

#include <fcntl.h>
#include <libical/ical.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>

namespace rn::store {
namespace {

namespace fs = std::filesystem;

// A zone name that could not be resolved is logged once per run, not once per event.
bool FirstUnknownZone(const std::string& tzid) {
  static std::mutex m;
  static std::set<std::string> seen;
  std::lock_guard l(m);
  return seen.insert(tzid).second;
}

using TZoned = TZonedTime;

struct TContext {
  icalcomponent* vcalendar = nullptr;  // for the file's own VTIMEZONEs
  const std::string& label;
  const TStoreLog& log;
};

void Log(const TContext& c, const std::string& line) {
  if (c.log)
    c.log(line);
}

// A zone of the system's database by its location ("Europe/Berlin"),
// libical's own prefixed name, or a location after some other producer's
// prefix ("/example.org/20240101_1/Europe/Berlin").
const icaltimezone* SystemZone(const char* tzid) {
  if (icaltimezone* z = icaltimezone_get_builtin_timezone(tzid))
    return z;
  if (icaltimezone* z = icaltimezone_get_builtin_timezone_from_tzid(tzid))
    return z;
  std::string rest = tzid;
  for (size_t slash = rest.find('/'); slash != std::string::npos; slash = rest.find('/')) {
    rest.erase(0, slash + 1);
    if (rest.empty())
      break;
    if (icaltimezone* z = icaltimezone_get_builtin_timezone(rest.c_str()))
      return z;
  }
  return nullptr;
}

// The zone a TZID names; `fileZone` tells whether it is one of the file's
// own VTIMEZONEs, which live only as long as the parsed text.
const icaltimezone* ResolveZone(const char* tzid, const TContext& c, bool& fileZone) {
  fileZone = false;
  if (!tzid || !*tzid)
    return nullptr;
  if (c.vcalendar) {
    if (icaltimezone* z = icalcomponent_get_timezone(c.vcalendar, tzid)) {
      fileZone = true;
      return z;
    }
  }
  // A zone of the system's, found once per name and run.
  static std::map<std::string, const icaltimezone*, std::less<>> system;
  auto [known, fresh] = system.try_emplace(tzid, nullptr);
  if (fresh)
    known->second = SystemZone(tzid);
  if (!known->second && FirstUnknownZone(tzid))
    Log(c, "Store: " + c.label + ": unknown time zone \"" + tzid + "\", read as local time");
  return known->second;
}

// A property's TZID parameter, read in place (libical's "as string" copies).
const char* Tzid(icalproperty* p) {
  icalparameter* tzid = icalproperty_get_first_parameter(p, ICAL_TZID_PARAMETER);
  return tzid ? icalparameter_get_tzid(tzid) : nullptr;
}

bool IsUtc(const icaltimetype& t) {
  return !t.is_date && (t.zone == icaltimezone_get_utc_timezone() || icaltime_is_utc(t));
}

// The date or date-time value of a property with its zone; nothing when the
// property holds no readable date.
std::optional<TZoned> ReadTime(icalproperty* p, const TContext& c) {
  if (!p)
    return std::nullopt;
  icalvalue* v = icalproperty_get_value(p);
  if (!v)
    return std::nullopt;
  TZoned z;
  switch (icalvalue_isa(v)) {
    case ICAL_DATETIME_VALUE:
      z.t = icalvalue_get_datetime(v);
      break;
    case ICAL_DATE_VALUE:
      z.t = icalvalue_get_date(v);
      break;
    default:
      return std::nullopt;
  }
  // libical takes month 13 or hour 25 as written.
  const icaltimetype& t = z.t;
  if (icaltime_is_null_time(t) || t.year < 1601 || t.year > 9999 || t.month < 1 || t.month > 12 ||
      t.day < 1 || t.day > DaysInMonth(t.year, t.month) ||
      (!t.is_date && (t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59 || t.second < 0 ||
                      t.second > 60)))
    return std::nullopt;
  if (z.t.is_date) {
    z.zone = nullptr;
  } else if (IsUtc(z.t)) {
    z.zone = icaltimezone_get_utc_timezone();
  } else {
    z.zone = ResolveZone(Tzid(p), c, z.fileZone);
  }
  return z;
}

// The local wall-clock value of a time.
TDateTime ToLocal(const TZoned& z) {
  const icaltimetype& t = z.t;
  if (t.is_date)
    return EncodeDate(t.year, t.month, t.day);
  if (z.zone) {
    icaltimetype wall = t;
    wall.zone = nullptr;
    return FromTimeT(icaltime_as_timet_with_zone(wall, z.zone));
  }
  return EncodeDateTime(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

// The day a date or date-time names, as Outlook keeps a task's dates: a
// DATE as written, a time in a named zone (or floating) on the date written
// there, whatever the zone read from; a UTC time, an instant, on its local day.
TDateTime DayNamed(const TZoned& z) {
  if (!z.t.is_date && z.zone == icaltimezone_get_utc_timezone())
    return DateOf(ToLocal(z));
  return EncodeDate(z.t.year, z.t.month, z.t.day);
}

std::string Text(const char* s) {
  return s ? ValidUtf8(s) : std::string();
}

std::string PropertyText(icalcomponent* comp, icalproperty_kind kind) {
  icalproperty* p = icalcomponent_get_first_property(comp, kind);
  if (!p)
    return {};
  icalvalue* v = icalproperty_get_value(p);
  if (!v || icalvalue_isa(v) != ICAL_TEXT_VALUE)
    return {};
  return Text(icalvalue_get_text(v));
}

bool RelatedToEnd(icalproperty* trigger) {
  icalparameter* related = icalproperty_get_first_parameter(trigger, ICAL_RELATED_PARAMETER);
  return related && icalparameter_get_related(related) == ICAL_RELATED_END;
}

// The event's length in seconds (DTEND or DURATION; a day for an all-day
// event without either), for alarms related to its end.
double EventLengthSeconds(icalcomponent* event, const TZoned& start, TDateTime startLocal,
                          const TContext& c) {
  if (auto end = ReadTime(icalcomponent_get_first_property(event, ICAL_DTEND_PROPERTY), c))
    return (ToLocal(*end) - startLocal) * 86400.0;
  if (icalproperty* d = icalcomponent_get_first_property(event, ICAL_DURATION_PROPERTY))
    return icaldurationtype_as_int(icalproperty_get_duration(d));
  return start.t.is_date ? 86400.0 : 0.0;
}

// Minutes before the start of the first alarm that goes off before (or at)
// the start; 15, Outlook's default lead, when there is none.
int EventReminderMinutes(icalcomponent* event, const TZoned& start, TDateTime startLocal,
                         const TContext& c) {
  for (icalcomponent* alarm = icalcomponent_get_first_component(event, ICAL_VALARM_COMPONENT);
       alarm; alarm = icalcomponent_get_next_component(event, ICAL_VALARM_COMPONENT)) {
    icalproperty* tp = icalcomponent_get_first_property(alarm, ICAL_TRIGGER_PROPERTY);
    if (!tp)
      continue;
    icaltriggertype tr = icalproperty_get_trigger(tp);
    double before;  // seconds before the start
    if (!icaltime_is_null_time(tr.time)) {
      TZoned when{tr.time, IsUtc(tr.time) ? icaltimezone_get_utc_timezone() : nullptr};
      before = (startLocal - ToLocal(when)) * 86400.0;
    } else {
      double offset = icaldurationtype_as_int(tr.duration);
      if (RelatedToEnd(tp))
        offset += EventLengthSeconds(event, start, startLocal, c);
      before = -offset;
    }
    if (before >= 0)
      return static_cast<int>(std::llround(before / 60.0));
  }
  return 15;
}

// The Outlook members of a recurring event: what they can say of its rule.
TPatternData MapRule(const icalrecurrencetype& rule, const TZoned& start, TDateTime startLocal) {
  TPatternData p;
  p.PatternStartDate = DateOf(startLocal);
  p.StartTime = startLocal;
  p.Interval = rule.interval > 0 ? rule.interval : 1;

  // The rule's days are days where the meeting is held; the pattern's are
  // local days. Seen from another zone a meeting may fall on the day before
  // or after (Monday 8:00 in Tokyo is Sunday evening in New York).
  const int shift = start.t.is_date
                        ? 0
                        : static_cast<int>(DateOf(startLocal) -
                                           EncodeDate(start.t.year, start.t.month, start.t.day));
  for (int i = 0; i < ICAL_BY_DAY_SIZE && rule.by_day[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i) {
    int weekday = icalrecurrencetype_day_day_of_week(rule.by_day[i]);  // Sunday 1
    if (weekday >= 1 && weekday <= 7)
      p.DayOfWeekMask |= 1 << (((weekday - 1 + shift) % 7 + 7) % 7);
  }
  const bool byDay = p.DayOfWeekMask != 0;
  // Which of the matching days: a position on the day ("2TU") or BYSETPOS;
  // Outlook's 5 is the last.
  const int position = rule.by_day[0] != ICAL_RECURRENCE_ARRAY_MAX
                           ? icalrecurrencetype_day_position(rule.by_day[0])
                           : 0;
  const int setPosition =
      rule.by_set_pos[0] != ICAL_RECURRENCE_ARRAY_MAX ? rule.by_set_pos[0] : position;
  p.Instance = setPosition < 0 ? 5 : std::min(setPosition, 5);
  switch (rule.freq) {
    case ICAL_DAILY_RECURRENCE:
      p.RecurrenceType = 0;
      break;
    case ICAL_WEEKLY_RECURRENCE:
      p.RecurrenceType = 1;
      // A weekly rule without BYDAY repeats on the start's weekday.
      if (!byDay)
        p.DayOfWeekMask = 1 << (DayOfWeek(startLocal) - 1);
      break;
    case ICAL_MONTHLY_RECURRENCE:
      p.RecurrenceType = byDay ? 3 : 2;
      break;
    case ICAL_YEARLY_RECURRENCE:
      p.RecurrenceType = byDay ? 6 : 5;
      break;
    default:
      p.RecurrenceType = -1;
      break;
  }

  const TDateParts parts = DecodeDateTime(startLocal);
  p.DayOfMonth = parts.Day;
  if (rule.by_month_day[0] != ICAL_RECURRENCE_ARRAY_MAX && rule.by_month_day[0] > 0 &&
      rule.by_month_day[0] + shift >= 1)
    p.DayOfMonth = rule.by_month_day[0] + shift;
  p.MonthOfYear = parts.Month;
  if (rule.by_month[0] != ICAL_RECURRENCE_ARRAY_MAX) {
    int month = icalrecurrencetype_month_month(rule.by_month[0]);
    if (month >= 1 && month <= 12)
      p.MonthOfYear = month;
  }

  const bool hasUntil = !icaltime_is_null_time(rule.until);
  if (rule.count > 0 || hasUntil) {
    p.NoEndDate = false;
    p.Occurrences = rule.count > 0 ? rule.count : 0;
    if (hasUntil) {
      TZoned until{rule.until, rule.until.is_date  ? nullptr
                               : IsUtc(rule.until) ? icaltimezone_get_utc_timezone()
                                                   : start.zone};
      p.PatternEndDate = DateOf(ToLocal(until));
    }
    // Outlook fills in both ends of a limited series, the end date of a
    // counted one and the count of one that ends on a date: the pattern
    // takes them from the series when asked (TPatternValues).
  }
  return p;
}

// The RECURRENCE-IDs of a file's overrides, by UID.
using TOverrides = std::map<std::string, std::vector<TZoned>>;

std::optional<TAppointmentData> ReadEvent(icalcomponent* event, const TContext& c,
                                          const std::vector<TZoned>* overridden) {
  // A cancelled meeting is no meeting to be reminded of.
  if (icalproperty* st = icalcomponent_get_first_property(event, ICAL_STATUS_PROPERTY)) {
    if (icalproperty_get_status(st) == ICAL_STATUS_CANCELLED)
      return std::nullopt;
  }
  TAppointmentData a;
  a.Subject = PropertyText(event, ICAL_SUMMARY_PROPERTY);
  a.Location = PropertyText(event, ICAL_LOCATION_PROPERTY);
  auto start = ReadTime(icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY), c);
  if (!start) {
    Log(c, "Store: " + c.label + ": event \"" + a.Subject + "\" has no readable DTSTART, skipped");
    return std::nullopt;
  }
  a.Start = ToLocal(*start);
  a.ReminderMinutesBeforeStart = EventReminderMinutes(event, *start, a.Start, c);
  icalproperty* rrule = icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY);
  if (rrule || icalcomponent_get_first_property(event, ICAL_RDATE_PROPERTY)) {
    a.IsRecurring = true;
    TRecurrenceSeries::TParts parts;
    parts.Start = *start;
    if (rrule) {
      char* text = icalproperty_get_value_as_string_r(rrule);
      parts.Rule = text ? text : "";
      std::free(text);
    }
    for (icalproperty* p = icalcomponent_get_first_property(event, ICAL_RDATE_PROPERTY); p;
         p = icalcomponent_get_next_property(event, ICAL_RDATE_PROPERTY)) {
      const icaldatetimeperiodtype rdate = icalproperty_get_rdate(p);
      TZoned added;
      added.t = icaltime_is_null_time(rdate.time) ? rdate.period.start : rdate.time;
      if (icaltime_is_null_time(added.t))
        continue;
      if (IsUtc(added.t))
        added.zone = icaltimezone_get_utc_timezone();
      else if (!added.t.is_date)
        added.zone = ResolveZone(Tzid(p), c, added.fileZone);
      parts.Added.push_back(added);
    }
    for (icalproperty* p = icalcomponent_get_first_property(event, ICAL_EXDATE_PROPERTY); p;
         p = icalcomponent_get_next_property(event, ICAL_EXDATE_PROPERTY)) {
      if (auto removed = ReadTime(p, c))
        parts.Removed.push_back(*removed);
    }
    // The occurrences its overrides stand in for: each is met on its own.
    if (overridden)
      parts.Removed.insert(parts.Removed.end(), overridden->begin(), overridden->end());
    auto series = std::make_shared<const TRecurrenceSeries>(parts);
    icalrecurrencetype none;
    icalrecurrencetype_clear(&none);
    a.Pattern = MapRule(rrule ? icalproperty_get_rrule(rrule) : none, *start, a.Start);
    a.Pattern.Series = std::move(series);
  }
  return a;
}

TTaskData ReadTodo(icalcomponent* todo, int index, const TContext& c) {
  TTaskData d;
  d.Index = index;
  d.Subject = PropertyText(todo, ICAL_SUMMARY_PROPERTY);
  if (icalproperty* uid = icalcomponent_get_first_property(todo, ICAL_UID_PROPERTY))
    d.Uid = Text(icalproperty_get_uid(uid));

  // The moments (for the alarms) and the days (Outlook's task dates) of the
  // start and the due time.
  std::optional<TDateTime> start, due;
  const auto startTime = ReadTime(icalcomponent_get_first_property(todo, ICAL_DTSTART_PROPERTY), c);
  if (startTime) {
    start = ToLocal(*startTime);
    d.StartDate = DayNamed(*startTime);
  }
  if (auto u = ReadTime(icalcomponent_get_first_property(todo, ICAL_DUE_PROPERTY), c)) {
    due = ToLocal(*u);
    d.DueDate = DayNamed(*u);
  } else if (icalproperty* dur = icalcomponent_get_first_property(todo, ICAL_DURATION_PROPERTY);
             dur && startTime) {
    // The due time is the start plus the duration, counted on the start's own
    // clock (a day is a calendar day there).
    TZoned end = *startTime;
    end.t = icaltime_add(startTime->t, icalproperty_get_duration(dur));
    due = ToLocal(end);
    d.DueDate = DayNamed(end);
  }

  // The first alarm: an absolute time, or an offset from the start (from the
  // due time when RELATED=END).
  for (icalcomponent* alarm = icalcomponent_get_first_component(todo, ICAL_VALARM_COMPONENT); alarm;
       alarm = icalcomponent_get_next_component(todo, ICAL_VALARM_COMPONENT)) {
    icalproperty* tp = icalcomponent_get_first_property(alarm, ICAL_TRIGGER_PROPERTY);
    if (!tp)
      continue;
    icaltriggertype tr = icalproperty_get_trigger(tp);
    if (!icaltime_is_null_time(tr.time)) {
      d.ReminderTime =
          ToLocal({tr.time, IsUtc(tr.time) ? icaltimezone_get_utc_timezone() : nullptr});
      d.ReminderSet = true;
    } else {
      std::optional<TDateTime> base = RelatedToEnd(tp) ? due : start;
      if (!base)
        base = start ? start : due;
      if (base) {
        d.ReminderTime = FromTimeT(ToTimeT(*base) + icaldurationtype_as_int(tr.duration));
        d.ReminderSet = true;
      }
    }
    break;
  }

  if (icalproperty* st = icalcomponent_get_first_property(todo, ICAL_STATUS_PROPERTY)) {
    icalproperty_status status = icalproperty_get_status(st);
    if (status == ICAL_STATUS_COMPLETED || status == ICAL_STATUS_CANCELLED)
      d.Complete = true;
  }
  if (icalcomponent_get_first_property(todo, ICAL_COMPLETED_PROPERTY))
    d.Complete = true;
  if (icalproperty* pc = icalcomponent_get_first_property(todo, ICAL_PERCENTCOMPLETE_PROPERTY)) {
    if (icalproperty_get_percentcomplete(pc) >= 100)
      d.Complete = true;
  }
  d.IsRecurring = icalcomponent_get_first_property(todo, ICAL_RRULE_PROPERTY) != nullptr;
  return d;
}

// The calendars in a parsed text: the root itself or, for several, its children.
std::vector<icalcomponent*> Calendars(icalcomponent* root) {
  std::vector<icalcomponent*> out;
  if (icalcomponent_isa(root) == ICAL_XROOT_COMPONENT) {
    for (icalcomponent* c = icalcomponent_get_first_component(root, ICAL_ANY_COMPONENT); c;
         c = icalcomponent_get_next_component(root, ICAL_ANY_COMPONENT))
      out.push_back(c);
  } else {
    out.push_back(root);
  }
  return out;
}

struct TComponentDeleter {
  void operator()(icalcomponent* c) const { icalcomponent_free(c); }
};
using TComponentPtr = std::unique_ptr<icalcomponent, TComponentDeleter>;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(), [](char upper, char c) {
           return std::toupper(static_cast<unsigned char>(c)) == upper;
         });
}

// Where an absolute TRIGGER without VALUE=DATE-TIME ("TRIGGER:19980403T120000",
// as in the RFC's own example to-do) needs that parameter, so that libical
// reads it as the time it is instead of dropping it as a bad duration: the
// offset of the line's value colon, for each such line.
std::vector<size_t> BareAbsoluteTriggers(std::string_view text) {
  std::vector<size_t> colons;
  for (size_t line = 0; line < text.size();) {
    const size_t end = std::min(text.find('\n', line), text.size());
    const std::string_view content = text.substr(line, end - line);
    if (StartsWithNoCase(content, "TRIGGER") && content.size() > 7 &&
        (content[7] == ':' || content[7] == ';')) {
      bool quoted = false;
      size_t colon = 7;
      for (; colon < content.size(); ++colon) {
        if (content[colon] == '"')
          quoted = !quoted;
        else if (content[colon] == ':' && !quoted)
          break;
      }
      const std::string_view params = content.substr(7, colon - 7);
      bool hasValue = false;
      for (size_t i = 0; i + 6 <= params.size(); ++i)
        hasValue = hasValue || StartsWithNoCase(params.substr(i), "VALUE=");
      if (colon + 1 < content.size() && !hasValue &&
          std::isdigit(static_cast<unsigned char>(content[colon + 1])))
        colons.push_back(line + colon);
    }
    line = end + 1;
  }
  return colons;
}

// The text libical is given. A NUL byte would end the text there and lose
// everything after it; it becomes U+FFFD, so it damages only the value it
// stands in. A bare absolute TRIGGER gets its VALUE parameter.
std::optional<std::string> MendedForParse(const std::string& text) {
  const bool nul = text.find('\0') != std::string::npos;
  const std::vector<size_t> triggers = BareAbsoluteTriggers(text);
  if (!nul && triggers.empty())
    return std::nullopt;
  std::string out;
  out.reserve(text.size() + triggers.size() * 16);
  size_t next = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (next < triggers.size() && triggers[next] == i) {
      out += ";VALUE=DATE-TIME";
      ++next;
    }
    if (text[i] == '\0')
      out += "\xEF\xBF\xBD";
    else
      out += text[i];
  }
  return out;
}

TComponentPtr ParseRoot(const std::string& text, const std::string& label) {
  const std::optional<std::string> mended = MendedForParse(text);
  TComponentPtr root(icalparser_parse_string(mended ? mended->c_str() : text.c_str()));
  if (!root)
    throw EStoreError("Store: " + label + ": no iCalendar data, file skipped");
  icalcomponent_kind kind = icalcomponent_isa(root.get());
  if (kind != ICAL_VCALENDAR_COMPONENT && kind != ICAL_XROOT_COMPONENT &&
      kind != ICAL_VEVENT_COMPONENT && kind != ICAL_VTODO_COMPONENT)
    throw EStoreError("Store: " + label + ": not an iCalendar file, skipped");
  return root;
}

// Walks the events or to-dos of a parsed text in file order. `visit` gets the
// component, its calendar and the to-do's place among the file's to-dos.
template <typename Visit>
void ForEachComponent(icalcomponent* root, icalcomponent_kind want, Visit visit) {
  int todoIndex = 0;
  for (icalcomponent* cal : Calendars(root)) {
    auto kind = icalcomponent_isa(cal);
    if (kind == ICAL_VEVENT_COMPONENT || kind == ICAL_VTODO_COMPONENT) {
      int index = kind == ICAL_VTODO_COMPONENT ? todoIndex++ : -1;
      if (kind == want)
        visit(cal, nullptr, index);
      continue;
    }
    for (icalcomponent* c = icalcomponent_get_first_component(cal, ICAL_ANY_COMPONENT); c;
         c = icalcomponent_get_next_component(cal, ICAL_ANY_COMPONENT)) {
      auto k = icalcomponent_isa(c);
      if (k != ICAL_VEVENT_COMPONENT && k != ICAL_VTODO_COMPONENT)
        continue;
      int index = k == ICAL_VTODO_COMPONENT ? todoIndex++ : -1;
      if (k == want)
        visit(c, cal, index);
    }
  }
}

// ---------------------------------------------------------------------------
// Writing a task back: the file is edited as text, so everything but the
// edited values stays byte for byte.

struct TLogicalLine {
  size_t begin = 0, end = 0;  // raw bytes, continuation lines and line end included
  std::string text;           // unfolded, without the line end
  std::string eol;            // "\r\n", "\n" or "" at the end of the file
};

std::vector<TLogicalLine> SplitLines(const std::string& raw) {
  std::vector<TLogicalLine> lines;
  size_t pos = 0;
  while (pos < raw.size()) {
    size_t nl = raw.find('\n', pos);
    size_t next = nl == std::string::npos ? raw.size() : nl + 1;
    size_t contentEnd = nl == std::string::npos ? raw.size() : nl;
    std::string eol = nl == std::string::npos ? "" : "\n";
    if (contentEnd > pos && raw[contentEnd - 1] == '\r') {
      --contentEnd;
      eol = "\r" + eol;
    }
    std::string content = raw.substr(pos, contentEnd - pos);
    if (!lines.empty() && !content.empty() && (content[0] == ' ' || content[0] == '\t')) {
      lines.back().text += content.substr(1);
      lines.back().end = next;
      lines.back().eol = eol;
    } else {
      lines.push_back({pos, next, content, eol});
    }
    pos = next;
  }
  return lines;
}

std::string Upper(std::string s) {
  for (char& ch : s)
    ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  return s;
}

// The property name of a content line and where its value starts (after the
// first colon outside a quoted parameter value).
std::string LineName(const std::string& text) {
  size_t end = text.find_first_of(";:");
  return Upper(text.substr(0, end));
}

size_t ValueColon(const std::string& text) {
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"')
      quoted = !quoted;
    if (text[i] == ':' && !quoted)
      return i;
  }
  return std::string::npos;
}

// Folds a content line at 75 octets without splitting a UTF-8 character. A
// run of continuation bytes longer than a line holds no character to keep
// whole: it is cut at the limit, so every line moves the fold on.
std::string Fold(const std::string& line, const std::string& eol) {
  const std::string sep = eol.empty() ? "\r\n" : eol;
  std::string out;
  size_t pos = 0, limit = 75;
  while (line.size() - pos > limit) {
    size_t cut = pos + limit;
    while (cut > pos && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)
      --cut;
    if (cut == pos)
      cut = pos + limit;
    out += line.substr(pos, cut - pos) + sep + " ";
    pos = cut;
    limit = 74;
  }
  return out + line.substr(pos) + eol;
}

std::string FormatTime(const icaltimetype& t, bool utc) {
  char buf[32];
  if (t.is_date) {
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", t.year, t.month, t.day);
  } else {
    std::snprintf(buf, sizeof buf, "%04d%02d%02dT%02d%02d%02d%s", t.year, t.month, t.day, t.hour,
                  t.minute, t.second, utc ? "Z" : "");
  }
  return buf;
}

// Wall-clock arithmetic on the fields of a time, zone left aside.
TDateTime Wall(const icaltimetype& t) {
  return EncodeDateTime(t.year, t.month, t.day, t.is_date ? 0 : t.hour, t.is_date ? 0 : t.minute,
                        t.is_date ? 0 : t.second);
}

icaltimetype FromWall(TDateTime wall, bool isDate) {
  wall = std::round(wall * 86400.0) / 86400.0;
  TDateParts p = DecodeDateTime(wall);
  icaltimetype t = icaltime_null_time();
  t.year = p.Year;
  t.month = p.Month;
  t.day = p.Day;
  if (isDate) {
    t.is_date = 1;
  } else {
    t.hour = p.Hour;
    t.minute = p.Minute;
    t.second = p.Second;
  }
  return t;
}

time_t Absolute(const TZoned& z) {
  icaltimetype wall = z.t;
  wall.zone = nullptr;
  return icaltime_as_timet_with_zone(wall, z.zone ? z.zone : icaltimezone_get_utc_timezone());
}

bool SameForm(icalproperty* a, const TZoned& za, icalproperty* b, const TZoned& zb) {
  if (za.t.is_date || zb.t.is_date)
    return true;
  if (IsUtc(za.t) != IsUtc(zb.t))
    return false;
  const char* ta = Tzid(a);
  const char* tb = Tzid(b);
  return std::string(ta ? ta : "") == std::string(tb ? tb : "");
}

bool Excluded(icalcomponent* todo, const TZoned& occurrence, const TContext& c) {
  for (icalproperty* p = icalcomponent_get_first_property(todo, ICAL_EXDATE_PROPERTY); p;
       p = icalcomponent_get_next_property(todo, ICAL_EXDATE_PROPERTY)) {
    auto ex = ReadTime(p, c);
    if (!ex)
      continue;
    if (ex->t.is_date || occurrence.t.is_date) {
      if (ex->t.year == occurrence.t.year && ex->t.month == occurrence.t.month &&
          ex->t.day == occurrence.t.day)
        return true;
    } else if ((ex->zone && occurrence.zone) ? Absolute(*ex) == Absolute(occurrence)
                                             : Wall(ex->t) == Wall(occurrence.t)) {
      return true;
    }
  }
  return false;
}

std::string ReadWholeFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in)
    throw EStoreError("Store: cannot read " + file.string());
  std::ostringstream s;
  s << in.rdbuf();
  if (in.bad())
    throw EStoreError("Store: cannot read " + file.string());
  return s.str();
}

// Replaces `file` by a file holding `text`, keeping the old file's mode; a
// failure leaves the old file whole.
void ReplaceFile(const fs::path& file, const std::string& text) {
  try {
    ReplaceFileAtomically(file, text);
  } catch (const std::system_error& error) {
    throw EStoreError("Store: cannot rewrite " + file.string() + ": " + error.what());
  }
}

}  // namespace

std::string ValidUtf8(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t len = c < 0x80           ? 1
                 : (c >> 5) == 0x6  ? 2
                 : (c >> 4) == 0xE  ? 3
                 : (c >> 3) == 0x1E ? 4
                                    : 0;
    bool ok = len > 0 && i + len <= s.size();
    for (size_t k = 1; ok && k < len; ++k)
      ok = (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
    if (ok && len > 1) {
      uint32_t cp = c & (0xFF >> (len + 1));
      for (size_t k = 1; k < len; ++k)
        cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
      static constexpr uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
      ok = cp >= kMin[len] && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
    }
    if (ok) {
      out.append(s.substr(i, len));
      i += len;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return out;
}

TIcalFile ParseIcal(const std::string& text, TIcalWant want, const std::string& label,
                    const TStoreLog& log) {
  const auto lock = LockIcal();
  TComponentPtr root = ParseRoot(text, label);
  TIcalFile out;
  const icalcomponent_kind kind =
      want == TIcalWant::Events ? ICAL_VEVENT_COMPONENT : ICAL_VTODO_COMPONENT;
  TOverrides overrides;
  if (kind == ICAL_VEVENT_COMPONENT) {
    ForEachComponent(root.get(), kind, [&](icalcomponent* comp, icalcomponent* cal, int) {
      icalproperty* rid = icalcomponent_get_first_property(comp, ICAL_RECURRENCEID_PROPERTY);
      icalproperty* uid = icalcomponent_get_first_property(comp, ICAL_UID_PROPERTY);
      if (!rid || !uid)
        return;
      if (auto when = ReadTime(rid, TContext{cal, label, log}))
        overrides[Text(icalproperty_get_uid(uid))].push_back(*when);
    });
  }
  ForEachComponent(root.get(), kind, [&](icalcomponent* comp, icalcomponent* cal, int index) {
    TContext c{cal, label, log};
    if (kind == ICAL_VEVENT_COMPONENT) {
      const std::vector<TZoned>* overridden = nullptr;
      if (!overrides.empty() &&
          !icalcomponent_get_first_property(comp, ICAL_RECURRENCEID_PROPERTY)) {
        if (icalproperty* uid = icalcomponent_get_first_property(comp, ICAL_UID_PROPERTY)) {
          auto found = overrides.find(Text(icalproperty_get_uid(uid)));
          overridden = found == overrides.end() ? nullptr : &found->second;
        }
      }
      if (auto a = ReadEvent(comp, c, overridden))
        out.Events.push_back(std::move(*a));
    } else {
      out.Todos.push_back(ReadTodo(comp, index, c));
    }
  });
  return out;
}

std::optional<TTaskData> SkipTaskRecurrence(const fs::path& path, int index, const std::string& uid,
                                            const TStoreLog& log) {
  const auto lock = LockIcal();
  const fs::path file = fs::is_symlink(path) ? fs::canonical(path) : path;
  const std::string label = path.string();
  const std::string raw = ReadWholeFile(file);
  TComponentPtr root = ParseRoot(raw, label);

  // The task: the first of that UID that is not an override of one
  // occurrence, else the one at its place.
  icalcomponent *todo = nullptr, *todoCal = nullptr;
  int place = -1;
  ForEachComponent(
      root.get(), ICAL_VTODO_COMPONENT, [&](icalcomponent* comp, icalcomponent* cal, int i) {
        if (todo && !uid.empty())
          return;
        icalproperty* u = icalcomponent_get_first_property(comp, ICAL_UID_PROPERTY);
        bool uidMatch = !uid.empty() && u && uid == Text(icalproperty_get_uid(u)) &&
                        !icalcomponent_get_first_property(comp, ICAL_RECURRENCEID_PROPERTY);
        if (uidMatch || (uid.empty() && i == index)) {
          todo = comp;
          todoCal = cal;
          place = i;
        }
      });
  if (!todo)
    throw EStoreError("Store: " + label + ": the task is no longer in the file");

  TContext c{todoCal, label, log};
  icalproperty* rrule = icalcomponent_get_first_property(todo, ICAL_RRULE_PROPERTY);
  if (!rrule)
    return std::nullopt;
  icalproperty* startProp = icalcomponent_get_first_property(todo, ICAL_DTSTART_PROPERTY);
  icalproperty* dueProp = icalcomponent_get_first_property(todo, ICAL_DUE_PROPERTY);
  auto start = ReadTime(startProp, c);
  auto due = ReadTime(dueProp, c);
  // The series runs from DTSTART, or from DUE when the task has no start.
  std::optional<TZoned> anchor = start ? start : due;
  if (!anchor)
    return std::nullopt;

  icalrecurrencetype rule = icalproperty_get_rrule(rrule);
  icaltimetype first = anchor->t;
  first.zone = anchor->zone;
  icalrecur_iterator* it = icalrecur_iterator_new(rule, first);
  if (!it)
    throw EStoreError("Store: " + label + ": the task's RRULE cannot be expanded");
  std::optional<TZoned> next;
  for (int n = 0; n < TRecurrenceSeries::kWalkCap; ++n) {
    icaltimetype t = icalrecur_iterator_next(it);
    if (icaltime_is_null_time(t))
      break;
    TZoned candidate{t, anchor->zone};
    candidate.t.is_date = anchor->t.is_date;
    if (Wall(candidate.t) <= Wall(anchor->t))
      continue;
    if (Excluded(todo, candidate, c))
      continue;
    next = candidate;
    break;
  }
  icalrecur_iterator_free(it);
  if (!next)
    return std::nullopt;

  // The new values, each in the form its property was written in.
  std::string newAnchor = FormatTime(next->t, IsUtc(anchor->t));
  std::string newDue;
  if (start && due) {
    icaltimetype d;
    if (SameForm(startProp, *start, dueProp, *due)) {
      d = FromWall(Wall(next->t) + (Wall(due->t) - Wall(start->t)), due->t.is_date);
    } else {
      time_t when = Absolute(*next) + (Absolute(*due) - Absolute(*start));
      d = icaltime_from_timet_with_zone(when, due->t.is_date,
                                        due->zone ? due->zone : icaltimezone_get_utc_timezone());
    }
    newDue = FormatTime(d, IsUtc(due->t));
  }

  // Edit the lines of that VTODO itself (not of its alarms).
  std::vector<TLogicalLine> lines = SplitLines(raw);
  std::vector<std::string> stack;
  int todoCount = -1;
  size_t targetDepth = 0;
  std::vector<std::pair<size_t, std::string>> edits;  // line, new unfolded text
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& text = lines[i].text;
    const std::string name = LineName(text);
    size_t colon = ValueColon(text);
    std::string value = colon == std::string::npos ? "" : text.substr(colon + 1);
    if (name == "BEGIN") {
      // Counted as the reader counts them: a to-do at the top, or one inside
      // a top-level component that is no event or to-do; one nested deeper
      // (in an event, an alarm, an X- component) is not the reader's.
      const bool listed =
          stack.empty() || (stack.size() == 1 && stack[0] != "VEVENT" && stack[0] != "VTODO");
      stack.push_back(Upper(value));
      if (stack.back() == "VTODO" && listed && ++todoCount == place)
        targetDepth = stack.size();
      continue;
    }
    if (name == "END") {
      if (!stack.empty()) {
        if (stack.size() == targetDepth)
          targetDepth = 0;
        stack.pop_back();
      }
      continue;
    }
    if (targetDepth == 0 || stack.size() != targetDepth || colon == std::string::npos)
      continue;
    const std::string prefix = text.substr(0, colon + 1);
    if (name == (start ? "DTSTART" : "DUE")) {
      edits.emplace_back(i, prefix + newAnchor);
    } else if (name == "DUE" && !newDue.empty()) {
      edits.emplace_back(i, prefix + newDue);
    } else if (name == "RRULE" && rule.count > 0) {
      // The occurrence just left is used up: the series holds one fewer.
      std::string out, part;
      std::istringstream parts(value);
      while (std::getline(parts, part, ';')) {
        if (Upper(part).rfind("COUNT=", 0) == 0)
          part = "COUNT=" + std::to_string(rule.count - 1);
        out += (out.empty() ? "" : ";") + part;
      }
      edits.emplace_back(i, prefix + out);
    }
  }
  if (edits.empty())
    throw EStoreError("Store: " + label + ": the task's dates were not found");

  std::string rewritten;
  size_t copied = 0;
  for (const auto& [i, text] : edits) {
    rewritten.append(raw, copied, lines[i].begin - copied);
    rewritten += Fold(text, lines[i].eol);
    copied = lines[i].end;
  }
  rewritten.append(raw, copied, std::string::npos);

  // The file is replaced only when the text now reads as intended: the task
  // moved to that occurrence and every other to-do exactly as it was.
  const TIcalFile before = ParseIcal(raw, TIcalWant::Todos, label, {});
  TIcalFile now = ParseIcal(rewritten, TIcalWant::Todos, label, {});
  std::optional<TTaskData> moved;
  bool othersKept = before.Todos.size() == now.Todos.size();
  for (size_t i = 0; othersKept && i < now.Todos.size(); ++i) {
    if (now.Todos[i].Index == place)
      moved = now.Todos[i];
    else
      othersKept = now.Todos[i] == before.Todos[i];
  }
  const TDateTime movedDay = moved ? (start ? moved->StartDate : moved->DueDate) : 0;
  if (!othersKept || !moved || movedDay != DayNamed(*next))
    throw EStoreError("Store: " + label +
                      ": the task's lines cannot be told apart, file left as it is");
  ReplaceFile(file, rewritten);
  return moved;
}

}  // namespace rn::store
