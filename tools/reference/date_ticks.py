#!/usr/bin/python3
"""Reference date axis ticks for tests/vizmo/date_labels_test.cpp, from
Python's datetime: for a span of serial day numbers (day 1 = 1-Jan-0000)
and a largest count, the ticks on calendar boundaries that the finest step
within the count gives (seconds, minutes, hours and days counted from day
0; month starts counted from January of year 0; year starts at multiples
of the step). Writes tests/vizmo/data/date_ticks.inc."""
import datetime
import math
import os

DAY_STEPS = [s / 86400 for s in (1, 5, 10, 15, 30, 60, 300, 600, 900, 1800, 3600, 7200,
                                 10800, 21600, 43200, 86400, 172800, 604800, 1209600)]


def serial(d):
    midnight = datetime.datetime(d.year, d.month, d.day)
    return d.toordinal() + 366 + (d - midnight).total_seconds() / 86400


def day_of(s):
    return datetime.date.fromordinal(int(math.floor(s)) - 366)


def ticks(lo, hi, most):
    for step in DAY_STEPS:
        first, last = math.ceil(lo / step - 1e-9), math.floor(hi / step + 1e-9)
        if last - first + 1 <= most:
            return [k * step for k in range(first, last + 1)]
    a, b = day_of(lo), day_of(hi)
    for step in (1, 2, 3, 6):
        out = []
        month = (a.year * 12 + a.month - 1) // step * step
        while month <= b.year * 12 + b.month - 1 + step:
            s = serial(datetime.datetime(month // 12, month % 12 + 1, 1))
            if lo - 1e-9 <= s <= hi + 1e-9:
                out.append(s)
            month += step
        if len(out) <= most:
            return out
    mag = 1
    while True:
        for f in (1, 2, 5):
            step = f * mag
            first = math.ceil(a.year / step) * step
            if (b.year - first) / step + 1 > most:
                continue
            return [s for s in (serial(datetime.datetime(y, 1, 1)) for y in range(first, b.year + 1, step))
                    if lo - 1e-9 <= s <= hi + 1e-9]
        mag *= 10


def at(*args):
    return serial(datetime.datetime(*args))


CASES = [
    ("ten months, every second month start", at(2020, 7, 15), at(2021, 5, 10), 8),
    ("one year, every second month start", at(2021, 1, 1), at(2021, 12, 31), 6),
    ("one year, quarters", at(2021, 1, 1), at(2021, 12, 31), 4),
    ("fifty days, month starts", at(2019, 12, 20), at(2020, 2, 8), 2),
    ("five days, each day", at(2021, 3, 1), at(2021, 3, 6), 8),
    ("sixty days, fortnights", at(2021, 3, 1), at(2021, 4, 30), 8),
    ("six hours, each hour", at(2021, 3, 1), at(2021, 3, 1, 6), 7),
    ("forty years, every tenth year", at(1990, 6, 1), at(2030, 6, 1), 8),
    ("three weeks over a leap day, weeks", at(2024, 2, 20), at(2024, 3, 10), 4),
]


def main():
    path = os.path.join(os.path.dirname(__file__), "..", "..", "tests", "vizmo", "data", "date_ticks.inc")
    with open(path, "w") as f:
        f.write("// Written by tools/reference/date_ticks.py from Python's datetime.\n")
        for what, lo, hi, most in CASES:
            t = ticks(lo, hi, most)
            f.write('{"%s", %.17g, %.17g, %d, {%s}},\n' % (what, lo, hi, most, ", ".join("%.17g" % v for v in t)))


main()
