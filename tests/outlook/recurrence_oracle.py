#!/usr/bin/python3
"""The occurrences a calendar has, computed by python-dateutil alone.

Reads cases from standard input and prints, for each case, one line: for each
scan day, the first occurrence (local wall-clock time, YYYYMMDDTHHMMSS) whose
local day lies in the day's window, or "-" for none.

Input, for each case:
    CASE <window days> <first scan day YYYYMMDD> <number of scan days>
    <the iCalendar text of the case: VEVENTs, one content line a line>
    END
The local zone is the first argument.

The recurrence set is RFC 5545's: DTSTART, the RRULE's occurrences and the
RDATEs, less the EXDATEs; an override (a VEVENT of the same UID with a
RECURRENCE-ID) takes its occurrence's place with its own start, or removes it
when it is cancelled.
"""

import datetime
import sys

from dateutil import rrule, tz


def unfold(lines):
    out = []
    for line in lines:
        if line[:1] in (" ", "\t") and out:
            out[-1] += line[1:]
        else:
            out.append(line)
    return out


def split_property(line):
    quoted = False
    for i, c in enumerate(line):
        if c == '"':
            quoted = not quoted
        elif c == ":" and not quoted:
            head, value = line[:i], line[i + 1:]
            break
    else:
        raise ValueError("no value in " + line)
    parts = head.split(";")
    params = {}
    for p in parts[1:]:
        k, _, v = p.partition("=")
        params[k.upper()] = v.strip('"')
    return parts[0].upper(), params, value


def parse_time(text, params):
    """A DATE or DATE-TIME: naive for a date or a floating time, aware otherwise."""
    text = text.split("/")[0]  # a PERIOD counts from its start
    if params.get("VALUE") == "DATE" or len(text) == 8:
        d = datetime.datetime.strptime(text, "%Y%m%d")
        return d, True
    if text.endswith("Z"):
        d = datetime.datetime.strptime(text[:-1], "%Y%m%dT%H%M%S")
        return d.replace(tzinfo=tz.UTC), False
    d = datetime.datetime.strptime(text, "%Y%m%dT%H%M%S")
    if "TZID" in params:
        zone = tz.gettz(params["TZID"])
        if zone is None:
            raise ValueError("unknown zone " + params["TZID"])
        d = d.replace(tzinfo=zone)
    return d, False


def events(lines):
    found, current = [], None
    depth = 0
    for line in unfold(lines):
        if not line:
            continue
        name, params, value = split_property(line)
        if name == "BEGIN":
            depth += 1
            if value.upper() == "VEVENT" and depth == 1:
                current = []
            continue
        if name == "END":
            depth -= 1
            if value.upper() == "VEVENT" and depth == 0:
                found.append(current)
                current = None
            continue
        if current is not None and depth == 1:
            current.append((name, params, value))
    return found


def occurrence_set(lines):
    """The series' recurrence set as a dateutil rruleset."""
    evs = events(lines)
    master = next(e for e in evs if not any(n == "RECURRENCE-ID" for n, _, _ in e))
    uid = next(v for n, _, v in master if n == "UID")
    start = next((p, v) for n, p, v in master if n == "DTSTART")
    dtstart, _ = parse_time(start[1], start[0])
    rset = rrule.rruleset()
    rset.rdate(dtstart)
    for name, params, value in master:
        if name == "RRULE":
            rset.rrule(rrule.rrulestr(value, dtstart=dtstart))
        elif name in ("RDATE", "EXDATE"):
            for one in value.split(","):
                t, _ = parse_time(one, params)
                (rset.rdate if name == "RDATE" else rset.exdate)(t)
    for e in evs:
        if e is master or next(v for n, _, v in e if n == "UID") != uid:
            continue
        rid = next((p, v) for n, p, v in e if n == "RECURRENCE-ID")
        rset.exdate(parse_time(rid[1], rid[0])[0])
        cancelled = any(n == "STATUS" and v.upper() == "CANCELLED" for n, _, v in e)
        if not cancelled:
            new = next((p, v) for n, p, v in e if n == "DTSTART")
            rset.rdate(parse_time(new[1], new[0])[0])
    return rset, dtstart.tzinfo is not None


def local_times(rset, aware, local, first, last):
    """Every occurrence from the day before `first` to the day after `last`, as
    local wall-clock times."""
    begin = datetime.datetime.combine(first - datetime.timedelta(days=2), datetime.time())
    end = datetime.datetime.combine(last + datetime.timedelta(days=2), datetime.time())
    if aware:
        begin, end = begin.replace(tzinfo=local), end.replace(tzinfo=local)
    out = []
    for t in rset.between(begin, end, inc=True):
        if t.tzinfo is not None:
            t = t.astimezone(local).replace(tzinfo=None)
        out.append(t)
    return sorted(out)


def answer(case, local):
    window, first, days, lines = case
    rset, aware = occurrence_set(lines)
    last = first + datetime.timedelta(days=days + window)
    times = local_times(rset, aware, local, first, last)
    answers = []
    for n in range(days):
        day = first + datetime.timedelta(days=n)
        hit = next((t for t in times if day <= t.date() < day + datetime.timedelta(days=window)),
                   None)
        answers.append(hit.strftime("%Y%m%dT%H%M%S") if hit else "-")
    return " ".join(answers)


def main():
    local = tz.gettz(sys.argv[1])
    cases, current = [], None
    for line in sys.stdin.read().splitlines():
        if line.startswith("CASE "):
            _, window, first, days = line.split()
            current = (int(window), datetime.datetime.strptime(first, "%Y%m%d").date(),
                       int(days), [])
        elif line == "END":
            cases.append(current)
            current = None
        elif current is not None:
            current[3].append(line)
    for case in cases:
        print(answer(case, local))


if __name__ == "__main__":
    main()
