#!/usr/bin/python3
# Reference values at the edges of the engine's scalar functions, written as
# C++ table rows:
#   tests/engine/data/whole_remainders.inc   {"rem"|"mod", a, b, result}
#       Python integers (exact), checked against numpy fmod / mod.
#   tests/engine/data/nchoosek_large.inc     {n, k, result}
#       math.comb on Python integers, rounded once to double; an infinite n
#       and one whose coefficient leaves the double range give inf, a NaN n
#       gives nan.
#   tests/engine/data/coordinate_extremes.inc
#       {x, y, z, th, r_polar, phi, r_spherical}: mpmath at 60 digits,
#       rounded once to double, checked against numpy hypot / arctan2.
#   tests/engine/data/nd_median.inc          {{input}, {extents}, {median}}
#       numpy median along the first dimension longer than 1.
import math

import mpmath
import numpy as np

import cxx_rows
from cxx_rows import d

mpmath.mp.dps = 60


def write(name, rows, what):
    cxx_rows.write("engine_edges.py", "tests/engine/data", name, rows, what)


def remainders():
    cases = [
        ("rem", 4503599627370497, 2), ("rem", 9007199254740991, 10), ("mod", 10**17, 3), ("rem", 10**22, 7),
        ("mod", 10**22, 7), ("rem", -4503599627370497, 2), ("mod", -4503599627370497, 2),
        ("mod", 10**17, -3), ("rem", -10**17, 3), ("mod", -10**17, 3), ("rem", 2**60 + 2**9, 1000),
        ("mod", 9007199254740991, -10), ("rem", 2**62, 3), ("mod", -(2**62), 7), ("rem", 10**300, 7),
        ("mod", 10**300, -7), ("rem", 12345678901234567890, 4294967291),
        ("mod", -12345678901234567890, 4294967291), ("rem", 7, 2**60), ("mod", -7, 2**60),
        ("rem", 2**53, 2**53 - 1), ("mod", 6, -3), ("rem", -6, 3),
    ]
    rows = []
    for f, a, b in cases:
        A, B = int(float(a)), int(float(b))  # the doubles the test passes
        if f == "rem":
            r = abs(A) % abs(B) * (1 if A >= 0 else -1)
            check = np.fmod(np.float64(A), np.float64(B))
        else:
            r = A % B
            check = np.mod(np.float64(A), np.float64(B))
        assert float(r) == float(check), (f, A, B, r, check)
        rows.append('{"%s", %s, %s, %s},' % (f, d(A), d(B), d(r)))
    write("whole_remainders.inc", rows, "Python integers, numpy fmod and mod")


def binomials():
    cases = [(2147483648, 1), (3e9, 2), (2147483647, 2), (2147483648, 2), (4294967296, 3), (1e15, 2),
             (2**53, 2), (2**53 + 2, 3), (1e17, 1), (1e17, 4), (1e18, 16), (3e9, 2147483647),
             (1e10, 10), (123456789012, 7), (2**64, 2), (1e20, 5), (1e300, 1), (1e300, 2), (1e154, 2),
             (1e30, 11), (float("inf"), 1), (float("inf"), 2), (float("nan"), 2), (float("nan"), 0),
             (5e9, 4999999999), (5e9, 4999999998), (1e20, 1e20 - 3e4)]
    rows = []
    for n, k in cases:
        if math.isnan(n):
            r = float("nan")
        elif math.isinf(n):
            r = float("inf")
        else:
            k_int = int(k)
            m = min(k_int, int(n) - k_int)
            # A coefficient above 2^1100 is past the double range; its
            # logarithm says so without forming a number of a billion digits.
            log2_c = (math.lgamma(int(n) + 1) - math.lgamma(m + 1) - math.lgamma(int(n) - m + 1)) / math.log(2)
            if log2_c > 1100:
                r = float("inf")
            else:
                try:
                    r = float(math.comb(int(n), k_int))
                except OverflowError:
                    r = float("inf")
        rows.append("{%s, %s, %s}," % (d(n), d(k), d(r)))
    write("nchoosek_large.inc", rows, "math.comb, rounded to double")


def coordinates():
    cases = [(3e200, 4e200, 5e200), (3e-200, 4e-200, 5e-200), (-3e200, 4e200, -5e200), (1e308, 1e308, 1e308),
             (3e-170, -4e-170, 1e-170), (2e-300, 1e-300, -3e-300), (1.5, -2.0, 0.5), (-1e160, 1e160, 1e160),
             (0.0, 0.0, 0.0), (1e300, 1.0, -1e-300)]
    rows = []
    for x, y, z in cases:
        X, Y, Z = mpmath.mpf(x), mpmath.mpf(y), mpmath.mpf(z)
        th = mpmath.atan2(Y, X)
        rp = mpmath.sqrt(X * X + Y * Y)
        rs = mpmath.sqrt(X * X + Y * Y + Z * Z)
        phi = mpmath.atan2(Z, rp)
        assert float(rp) == float(np.hypot(x, y)) or abs(float(rp) - float(np.hypot(x, y))) <= 2 * abs(np.spacing(float(rp)))
        assert abs(float(phi) - float(np.arctan2(z, np.hypot(x, y)))) <= 4 * abs(np.spacing(float(phi))) + 1e-300
        rows.append("{%s, %s, %s, %s, %s, %s, %s}," % (d(x), d(y), d(z), d(th), d(rp), d(phi), d(rs)))
    write("coordinate_extremes.inc", rows, "mpmath, 60 digits; numpy hypot and arctan2 agree")


def medians():
    cases = [([-9, math.inf, 0.5, 1, 2, 3], [1, 3, 2]), ([2, 1, 4, 3], [1, 2, 2]), ([4, 3, 2, 1], [1, 2, 2]),
             ([5, 1, 4, 2, 8, 0, 7, 3], [1, 1, 4, 2]), ([3, 1, 2, 9, 8, 7, 6, 5, 4, 0, 1, 2], [1, 3, 2, 2]),
             ([1, math.nan, 3, 4, 6, 5], [1, 3, 2]), ([4, 2, 9, 1], [1, 1, 4]), ([6, 5, 4, 3, 2, 1], [2, 3])]
    rows = []
    for values, extents in cases:
        a = np.array(values, dtype=float).reshape(extents, order="F")
        axis = next(i for i, e in enumerate(extents) if e > 1)
        m = np.median(a, axis=axis, keepdims=True)
        while m.ndim > 2 and m.shape[-1] == 1:
            m = m.reshape(m.shape[:-1], order="F")
        rows.append("{{%s}, {%s}, {%s}, {%s}}," % (", ".join(d(v) for v in values), ", ".join(str(e) for e in extents),
                                                   ", ".join(str(e) for e in m.shape),
                                                   ", ".join(d(v) for v in m.flatten(order="F"))))
    write("nd_median.inc", rows, "numpy median along the first dimension longer than 1")


remainders()
binomials()
coordinates()
medians()
