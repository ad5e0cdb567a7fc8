// TRecurrenceSeries: the recurrence set of RFC 5545 (DTSTART, the RRULE's
// occurrences, RDATE, less EXDATE and the overridden occurrences), walked
// with libical's icalrecur_iterator. Occurrences are made in the series' own
// zone and compared there; only the answer becomes local time.
//
// UNTIL and COUNT are kept out of the iterator: UNTIL is compared here as the
// moment it names (libical would compare wall-clock fields across zones), and
// COUNT is turned into the last occurrence once, so that a look near today
// can start the iterator close to today instead of at DTSTART.
#include "outlook/ical_series.h"

#include "outlook/pattern_values.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>

namespace rn {
namespace {

constexpr int64_t kDay = 86400;
constexpr TDateTime kUnixEpoch = 25569;  // 1970-01-01 as a TDateTime
// The most occurrences one look steps through: a look spans a few days.
constexpr int kLookSteps = 100000;
// A counted series this short keeps its occurrences once walked.
constexpr int kKeptOccurrences = 512;

bool IsUtc(const icaltimetype& t) {
  return !t.is_date && (t.zone == icaltimezone_get_utc_timezone() || icaltime_is_utc(t));
}

int64_t WallDays(const icaltimetype& t) {
  return static_cast<int64_t>(EncodeDate(t.year, t.month, t.day) - kUnixEpoch);
}

int64_t WallSeconds(const icaltimetype& t) {
  const int64_t seconds = t.is_date ? 0 : t.hour * 3600 + t.minute * 60 + t.second;
  return WallDays(t) * kDay + seconds;
}

int64_t WallSecondsOf(TDateTime local) {
  return std::llround((local - kUnixEpoch) * kDay);
}

time_t Instant(icaltimetype t, const icaltimezone* zone) {
  t.zone = nullptr;
  return icaltime_as_timet_with_zone(t, zone);
}

// A zone for as long as a series needs it. libical's own zones live for the
// whole run; a zone defined by a file is copied, once per distinct definition.
std::shared_ptr<const icaltimezone> KeepZone(const icaltimezone* zone, bool fileZone) {
  if (!fileZone)
    return std::shared_ptr<const icaltimezone>(zone, [](const icaltimezone*) {});
  static std::map<std::string, std::weak_ptr<const icaltimezone>> copies;
  icalcomponent* definition = icaltimezone_get_component(const_cast<icaltimezone*>(zone));
  if (!definition)
    return nullptr;
  char* text = icalcomponent_as_ical_string_r(definition);
  const std::string key = text ? text : "";
  std::free(text);
  if (auto kept = copies[key].lock())
    return kept;
  for (auto it = copies.begin(); it != copies.end();)
    it = it->second.expired() && it->first != key ? copies.erase(it) : std::next(it);
  icaltimezone* copy = icaltimezone_new();
  icaltimezone_set_component(copy, icalcomponent_new_clone(definition));
  std::shared_ptr<const icaltimezone> kept(
      copy, [](const icaltimezone* z) { icaltimezone_free(const_cast<icaltimezone*>(z), 1); });
  copies[key] = kept;
  return kept;
}

struct TRule {
  explicit TRule(const std::string& text) : r(icalrecurrencetype_from_string(text.c_str())) {}
  icalrecurrencetype r;
};

}  // namespace

std::unique_lock<std::recursive_mutex> LockIcal() {
  static std::recursive_mutex m;
  static std::once_flag once;
  std::unique_lock lock(m);
  std::call_once(once, [] { icalerror_set_errors_are_fatal(0); });
  return lock;
}

TRecurrenceSeries::TRecurrenceSeries(const TParts& parts) {
  const auto lock = LockIcal();
  start_ = parts.Start.t;
  start_.zone = nullptr;
  if (!start_.is_date && parts.Start.zone) {
    zone_ = KeepZone(parts.Start.zone, parts.Start.fileZone);
    instants_ = zone_ != nullptr;
  }

  if (!parts.Rule.empty()) {
    TRule rule(parts.Rule);
    if (rule.r.freq != ICAL_NO_RECURRENCE) {
      count_ = std::max(0, rule.r.count);
      const icaltimetype until = rule.r.until;
      if (!icaltime_is_null_time(until))
        until_ =
            KeyOfValue({until, IsUtc(until) ? icaltimezone_get_utc_timezone() : nullptr}, true);
      end_ = until_;
      rule.r.until = icaltime_null_time();
      rule.r.count = 0;
      if (char* text = icalrecurrencetype_as_string_r(&rule.r)) {
        rule_ = text;
        std::free(text);
      }
    }
  }

  if (parts.StartIsOccurrence)
    added_.push_back(KeyOf(start_));
  for (const TZonedTime& v : parts.Added) {
    if (start_.is_date) {
      added_.push_back(WallDays(v.t) * kDay);
    } else if (v.t.is_date) {
      // A date among the times of a timed series: that day at the series' time.
      icaltimetype t = start_;
      t.year = v.t.year, t.month = v.t.month, t.day = v.t.day;
      added_.push_back(KeyOf(t));
    } else {
      added_.push_back(KeyOfValue(v, false));
    }
  }
  for (const TZonedTime& v : parts.Removed) {
    if (start_.is_date || v.t.is_date)
      removedDays_.push_back(WallDays(v.t));
    else
      removed_.push_back(KeyOfValue(v, false));
  }
  for (auto* keys : {&added_, &removed_, &removedDays_}) {
    std::sort(keys->begin(), keys->end());
    keys->erase(std::unique(keys->begin(), keys->end()), keys->end());
  }
}

void TRecurrenceSeries::Walk() const {
  // Taken before the once flag, so that whoever walks holds libical's lock.
  const auto lock = LockIcal();
  std::call_once(walked_, [this] {
    if (rule_.empty() || (count_ == 0 && until_ == INT64_MAX))
      return;
    TRule rule(rule_);
    rule.r.count = count_;
    icalrecur_iterator* it = icalrecur_iterator_new(rule.r, start_);
    int64_t last = INT64_MIN;
    int n = 0;
    for (; it && n < kWalkCap; ++n) {
      const icaltimetype t = icalrecur_iterator_next(it);
      if (icaltime_is_null_time(t))
        break;
      const int64_t key = KeyOf(t);
      if (key > until_)
        break;
      last = key;
      if (count_ > 0 && n < kKeptOccurrences)
        counted_.push_back(key);
    }
    if (it)
      icalrecur_iterator_free(it);
    ruleCount_ = n;
    ruleLast_ = n > 0 ? LocalOf(last) : 0;
    if (count_ > 0)
      end_ = std::min(until_, last);
    if (n > kKeptOccurrences)
      counted_ = {};
    counted_.shrink_to_fit();
  });
}

int TRecurrenceSeries::RuleCount() const {
  Walk();
  return ruleCount_;
}

TDateTime TRecurrenceSeries::RuleLast() const {
  Walk();
  return ruleLast_;
}

TRecurrenceSeries::~TRecurrenceSeries() {
  const auto lock = LockIcal();
  zone_.reset();
}

int64_t TRecurrenceSeries::KeyOf(const icaltimetype& occurrence) const {
  if (instants_)
    return Instant(occurrence, zone_.get());
  return WallSeconds(occurrence);
}

// A time of another property (UNTIL, RDATE, EXDATE, RECURRENCE-ID) as a key
// of this series: the moment it names for a series in a zone, its local
// wall-clock time for a floating one. A floating value in a zoned series is
// read in the series' zone; a DATE as its first moment, or its last.
int64_t TRecurrenceSeries::KeyOfValue(const TZonedTime& value, bool endOfDay) const {
  icaltimetype t = value.t;
  if (t.is_date) {
    if (start_.is_date)
      return WallDays(t) * kDay;
    t.is_date = 0;
    t.hour = endOfDay ? 23 : 0, t.minute = endOfDay ? 59 : 0, t.second = endOfDay ? 59 : 0;
    return KeyOf(t);
  }
  if (start_.is_date)
    return WallDays(t) * kDay + (endOfDay ? kDay - 1 : 0);
  if (value.zone) {
    const time_t moment = Instant(t, value.zone);
    return instants_ ? moment : WallSecondsOf(FromTimeT(moment));
  }
  return KeyOf(t);
}

icaltimetype TRecurrenceSeries::WallOf(int64_t key) const {
  if (instants_)
    return icaltime_from_timet_with_zone(static_cast<time_t>(key), 0,
                                         const_cast<icaltimezone*>(zone_.get()));
  const TDateParts p = DecodeDateTime(LocalOf(key));
  icaltimetype t = icaltime_null_time();
  t.year = p.Year, t.month = p.Month, t.day = p.Day;
  if (start_.is_date)
    t.is_date = 1;
  else
    t.hour = p.Hour, t.minute = p.Minute, t.second = p.Second;
  return t;
}

TDateTime TRecurrenceSeries::LocalOf(int64_t key) const {
  if (instants_)
    return FromTimeT(static_cast<time_t>(key));
  return kUnixEpoch + static_cast<double>(key) / kDay;
}

bool TRecurrenceSeries::Removed(int64_t key, const icaltimetype& wall) const {
  return std::binary_search(removed_.begin(), removed_.end(), key) ||
         std::binary_search(removedDays_.begin(), removedDays_.end(), WallDays(wall));
}

TDateTime TRecurrenceSeries::FirstOccurrence(TDateTime firstDay, TDateTime lastDay) const {
  const auto lock = LockIcal();
  const TDateTime from = DateOf(firstDay), to = DateOf(lastDay) + 1;
  const int64_t a = instants_ ? ToTimeT(from) : WallSecondsOf(from);
  const int64_t b = instants_ ? ToTimeT(to) : WallSecondsOf(to);
  // Passes come every 15 minutes and ask again about the same days.
  if (a == askedFrom_ && b == askedTo_)
    return answer_;
  int64_t best = INT64_MAX;

  if (!rule_.empty()) {
    if (count_ > 0)
      Walk();
    if (!counted_.empty()) {
      // A short counted series: its occurrences, kept from the walk.
      for (auto k = std::lower_bound(counted_.begin(), counted_.end(), a);
           k != counted_.end() && *k < b; ++k) {
        if (!Removed(*k, WallOf(*k))) {
          best = *k;
          break;
        }
      }
    } else {
      best = FirstOfRule(a, b);
    }
  }
  for (auto k = std::lower_bound(added_.begin(), added_.end(), a); k != added_.end() && *k < b;
       ++k) {
    if (!Removed(*k, WallOf(*k))) {
      best = std::min(best, *k);
      break;
    }
  }
  askedFrom_ = a, askedTo_ = b;
  answer_ = best == INT64_MAX ? 0 : LocalOf(best);
  return answer_;
}

int64_t TRecurrenceSeries::FirstOfRule(int64_t a, int64_t b) const {
  TRule rule(rule_);
  icalrecur_iterator* it = icalrecur_iterator_new(rule.r, start_);
  if (!it)
    return INT64_MAX;
  // Two days of margin: a zone's day may begin up to a day apart from ours.
  const int64_t near = a - 2 * kDay;
  if (near > KeyOf(start_))
    icalrecur_iterator_set_start(it, WallOf(near));
  int64_t best = INT64_MAX;
  for (int step = 0; step < kLookSteps; ++step) {
    const icaltimetype t = icalrecur_iterator_next(it);
    if (icaltime_is_null_time(t))
      break;
    const int64_t key = KeyOf(t);
    if (key > end_ || key >= b)
      break;
    if (key < a || Removed(key, t))
      continue;
    best = key;
    break;
  }
  icalrecur_iterator_free(it);
  return best;
}

int SeriesCount(const TRecurrenceSeries& series) {
  return series.RuleCount();
}

TDateTime SeriesEndDate(const TRecurrenceSeries& series) {
  return DateOf(series.RuleLast());
}

}  // namespace rn
