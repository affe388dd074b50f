#!/usr/bin/python3
# Reference values for the array functions at their edges, written as C++
# table rows, all from numpy:
#   tests/array/data/setxor_nan.inc   {{A}, {B}, {R}, {ia}, {ib}}
#       numpy setxor1d (ascending, NaN last); ia and ib are 1-based positions
#       of the last occurrence of each member in A and in B.
#   tests/array/data/rot90_turns.inc  {k, {result}, {extents}} for the 2x3
#       matrix [1 3 5; 2 4 6]: numpy rot90 with k taken as a whole number.
#   tests/array/data/linspace_counts.inc  {a, b, n, {result}}: numpy
#       linspace with floor(n) points.
#   tests/array/data/nd_sort.inc  {{input}, {extents}, {sorted}, {index}}:
#       numpy sort and argsort (stable) along the first dimension longer
#       than 1, index 1-based.
#   tests/array/data/linspace_wide.inc  {a, b, n, {result}}: the points
#       a + k (b - a) / (n - 1) in exact rational arithmetic (Python
#       fractions), rounded once, for ends whose difference overflows.
import math
from fractions import Fraction

import numpy as np

import cxx_rows
from cxx_rows import d


def lst(vs):
    return "{" + ", ".join(d(v) for v in vs) + "}"


def ints(vs):
    return "{" + ", ".join(str(int(v)) for v in vs) + "}"


def write(name, rows, what):
    cxx_rows.write("array_edges.py", "tests/array/data", name, rows, what)


def last_position(values, v):
    where = [k for k, x in enumerate(values) if (x == v) or (math.isnan(v) and math.isnan(x))]
    return where[-1] + 1


def setxor():
    cases = [([1, math.nan], [2]), ([math.nan, 1], [2, 0]), ([3, math.nan, 1], [math.nan, 2, 3]),
             ([1, 2, 3], [math.nan, 4]), ([math.nan, math.nan, 5], [5, 6]), ([math.inf, math.nan], [-math.inf, 1]),
             ([2, math.nan, 4, 2], [4, 1, math.nan])]
    rows = []
    for A, B in cases:
        R = np.setxor1d(np.array(A, dtype=float), np.array(B, dtype=float))
        # numpy keeps NaN once per argument it came from, in A then B
        ia, ib = [], []
        na = [v for v in A if math.isnan(v)]
        nb = [v for v in B if math.isnan(v)]
        expect = []
        for v in R:
            if math.isnan(v):
                continue
            expect.append(v)
            if v in A and v not in B:
                ia.append(last_position(A, v))
            else:
                ib.append(last_position(B, v))
        # NaN is never common: every NaN of A, then every NaN of B, each kept
        for k, v in enumerate(A):
            if math.isnan(v):
                expect.append(v)
                ia.append(k + 1)
        for k, v in enumerate(B):
            if math.isnan(v):
                expect.append(v)
                ib.append(k + 1)
        numbers = [v for v in R if not math.isnan(v)]
        assert numbers == [v for v in expect if not math.isnan(v)]
        rows.append("{%s, %s, %s, %s, %s}," % (lst(A), lst(B), lst(expect), ints(ia), ints(ib)))
    write("setxor_nan.inc", rows, "numpy setxor1d; NaN never common, ascending with NaN last")


def rot90():
    a = np.array([[1, 3, 5], [2, 4, 6]], dtype=float)
    rows = []
    for k in [1, 2, 3, 4, -1, -5, 1.9, -2.5, 2**31, 2**31 + 1, 2**32, 2**32 + 3, -(2**33) - 1, 1e300, -1e300,
              2**53 + 2, 1e17 + 8]:
        r = np.rot90(a, int(math.trunc(k)))
        rows.append("{%s, %s, {%d, %d}}," % (d(k), lst(r.flatten(order="F")), r.shape[0], r.shape[1]))
    write("rot90_turns.inc", rows, "numpy rot90 of [1 3 5; 2 4 6]")


def linspace():
    rows = []
    for a, b, n in [(0, 1, 2.5), (0, 1, 2), (0, 1, 5), (0, 1, 5.99), (-2, 3, 3.2), (1, 0, 4.7), (0, 1, 3)]:
        r = np.linspace(a, b, int(math.floor(n)))
        rows.append("{%s, %s, %s, %s}," % (d(a), d(b), d(n), lst(r)))
    write("linspace_counts.inc", rows, "numpy linspace with floor(n) points")


def nd_sort():
    cases = [([2, 1, 4, 3], [1, 2, 2]), ([4, 3, 2, 1], [1, 2, 2]), ([3, 1, 2, 9, 8, 7], [1, 3, 2]),
             ([5, 1, 4, 2, 8, 0, 7, 3], [1, 1, 4, 2]), ([2, math.nan, 1, 1, 3, 1], [1, 3, 2]),
             ([4, 2, 9, 1], [1, 1, 4]), ([6, 5, 4, 3, 2, 1, 0, -1], [2, 2, 2]),
             ([3, 1, 2, 9, 8, 7, 6, 5, 4, 0, 1, 2], [1, 3, 2, 2])]
    rows = []
    for values, extents in cases:
        a = np.array(values, dtype=float).reshape(extents, order="F")
        axis = next(i for i, e in enumerate(extents) if e > 1)
        s = np.sort(a, axis=axis)
        i = np.argsort(a, axis=axis, kind="stable") + 1
        rows.append("{%s, %s, %s, %s}," % (lst(values), ints(extents), lst(s.flatten(order="F")),
                                          ints(i.flatten(order="F"))))
    write("nd_sort.inc", rows, "numpy sort and stable argsort along the first dimension longer than 1")


def linspace_wide():
    rows = []
    for a, b, n in [(1e308, -1e308, 3), (-1.5e308, 1.5e308, 5), (-1.7e308, 1.7e308, 7), (1.7e308, -1.7e308, 4),
                    (-1e308, 1.7976931348623157e308, 6), (5e307, -1.7e308, 9), (-1.7976931348623157e308,
                    1.7976931348623157e308, 11), (1e308, 1.7e308, 5), (0, 1.7e308, 10)]:
        m = n - 1
        r = [float(Fraction(a) + k * (Fraction(b) - Fraction(a)) / m) for k in range(n)]
        rows.append("{%s, %s, %s, %s}," % (d(a), d(b), d(n), lst(r)))
    write("linspace_wide.inc", rows, "exact rational points a + k (b - a) / (n - 1), rounded once")


setxor()
rot90()
linspace()
nd_sort()
linspace_wide()
