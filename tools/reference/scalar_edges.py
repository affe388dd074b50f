#!/usr/bin/python3
"""Every real scalar elementary and special function of the engine at +-0,
+-Inf, NaN, the ends of the double range and on each side of its own
overflow and underflow boundaries (the argument where the value passes the
largest double, leaves the normal range or rounds to zero), computed with
mpmath at 60 digits and rounded once to double, for tests/engine.

Each line: function name, argument, value (inf past the largest double,
signed zeros as the function's symmetry gives them, nan), and the allowed
relative error: 1e-14 plus eps times the condition number |x f'(x) / f(x)|,
which the rounding of the argument alone costs. Only arguments where the
value is real are listed (the language turns the others complex).

Writes tests/engine/data/scalar_edges.inc.
"""
import math
import os
import mpmath as mp

mp.mp.dps = 60
ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
MAX = 1.7976931348623157e308
TINY = 2.2250738585072014e-308
DENORM = 5e-324
INF = math.inf
EPS = 2.0 ** -52


def up(x):
    return math.nextafter(x, INF)


def down(x):
    return math.nextafter(x, -INF)


def sides(b):
    """The doubles on each side of a boundary b (an mpf)."""
    f = float(b)
    return [down(f), f, up(f)] if f != 0 else [f]


def solve(f, target, lo, hi):
    """x in [lo, hi] with f(x) = target, f monotone there (bisection)."""
    lo, hi = mp.mpf(lo), mp.mpf(hi)
    flo = f(lo) - target
    for _ in range(400):
        mid = (lo + hi) / 2
        fm = f(mid) - target
        if (fm < 0) == (flo < 0):
            lo, flo = mid, fm
        else:
            hi = mid
    return (lo + hi) / 2


BIG = mp.mpf(2) ** 1024 * (1 - mp.mpf(2) ** -54)  # rounds to Inf above
NORMAL = mp.mpf(2) ** -1022
ZERO = mp.mpf(2) ** -1075  # rounds to 0 below


def erfcx(x):
    if x > 1e6:
        t = 1 / (2 * x * x)
        return sum((-1) ** k * mp.fac2(2 * k - 1) * t ** k for k in range(12)) / (x * mp.sqrt(mp.pi))
    return mp.exp(x * x) * mp.erfc(x)


def sinc(x):
    return mp.mpf(1) if x == 0 else mp.sinpi(x) / (mp.pi * x)


# name: value, symmetry ("odd", "even" or None), the limits at -Inf and +Inf
# (None: not real there), the real domain, extra boundary arguments
F = {
    "exp": (mp.exp, None, (0.0, INF), lambda x: True,
            [mp.log(BIG), mp.log(NORMAL), mp.log(ZERO)]),
    "pow2": (lambda x: mp.mpf(2) ** x, None, (0.0, INF), lambda x: True, [1024, -1022, -1074, -1075, 1023.5]),
    "log": (mp.log, None, (None, INF), lambda x: x > 0, []),
    "log2": (mp.log(2) and (lambda x: mp.log(x, 2)), None, (None, INF), lambda x: x > 0, []),
    "log10": (mp.log10, None, (None, INF), lambda x: x > 0, []),
    "reallog": (mp.log, None, (None, INF), lambda x: x > 0, []),
    "sqrt": (mp.sqrt, "odd0", (None, INF), lambda x: x >= 0, []),
    "realsqrt": (mp.sqrt, "odd0", (None, INF), lambda x: x >= 0, []),
    "sin": (mp.sin, "odd", (None, None), lambda x: True, []),
    "cos": (mp.cos, "even", (None, None), lambda x: True, []),
    "tan": (mp.tan, "odd", (None, None), lambda x: True, []),
    "sec": (mp.sec, "even", (None, None), lambda x: True, []),
    "csc": (mp.csc, "odd", (None, None), lambda x: True, [1 / BIG]),
    "cot": (mp.cot, "odd", (None, None), lambda x: True, [1 / BIG]),
    "sinc": (sinc, "even", (math.nan, math.nan), lambda x: True, [1 / BIG]),
    "atan": (mp.atan, "odd", (-mp.pi / 2, mp.pi / 2), lambda x: True, []),
    "acot": (mp.acot, "odd", (-0.0, 0.0), lambda x: True, [1 / BIG]),
    "sinh": (mp.sinh, "odd", (-INF, INF), lambda x: True, [mp.asinh(BIG)]),
    "cosh": (mp.cosh, "even", (INF, INF), lambda x: True, [mp.acosh(BIG)]),
    "tanh": (mp.tanh, "odd", (-1.0, 1.0), lambda x: True, [mp.atanh(1 - mp.mpf(2) ** -54)]),
    "sech": (mp.sech, "even", (0.0, 0.0), lambda x: True, [mp.asech(NORMAL), mp.asech(ZERO)]),
    "csch": (mp.csch, "odd", (-0.0, 0.0), lambda x: True, [mp.acsch(NORMAL), mp.acsch(ZERO), 1 / BIG]),
    "coth": (mp.coth, "odd", (-1.0, 1.0), lambda x: True, [1 / BIG]),
    "asinh": (mp.asinh, "odd", (-INF, INF), lambda x: True, []),
    "acsch": (mp.acsch, "odd", (-0.0, 0.0), lambda x: x != 0, [1 / BIG, NORMAL]),
    "acosh": (mp.acosh, None, (None, INF), lambda x: x >= 1, [1]),
    "asin": (mp.asin, "odd", (None, None), lambda x: -1 <= x <= 1, [1]),
    "acos": (mp.acos, None, (None, None), lambda x: -1 <= x <= 1, [1]),
    "atanh": (mp.atanh, "odd", (None, None), lambda x: -1 <= x <= 1, [1]),
    "asech": (mp.asech, None, (None, None), lambda x: 0 <= x <= 1, [1, 1 / BIG, NORMAL]),
    "asec": (mp.asec, None, (mp.pi / 2, mp.pi / 2), lambda x: abs(x) >= 1, [1]),
    "acsc": (mp.acsc, "odd", (-0.0, 0.0), lambda x: abs(x) >= 1, [1]),
    "acoth": (mp.acoth, "odd", (-0.0, 0.0), lambda x: abs(x) >= 1, [1]),
    "erf": (lambda x: mp.erf(x) if abs(x) < 1e5 else mp.sign(x), "odd", (-1.0, 1.0), lambda x: True, [mp.erfinv(1 - mp.mpf(2) ** -54)]),
    "erfc": (lambda x: mp.erfc(x) if abs(x) < 1e5 else (mp.mpf(0) if x > 0 else mp.mpf(2)), None, (2.0, 0.0), lambda x: True,
             [solve(lambda t: -mp.log(mp.erfc(t)), -mp.log(NORMAL), 20, 30),
              solve(lambda t: -mp.log(mp.erfc(t)), -mp.log(ZERO), 20, 30)]),
    "erfcx": (erfcx, None, (INF, 0.0), lambda x: True,
              [solve(lambda t: -(t * t) - mp.log(2), -mp.log(BIG), -30, -20)]),
    "erfinv": (mp.erfinv, "odd", (None, None), lambda x: -1 <= x <= 1, [1]),
    "gamma": (mp.gamma, None, (None, INF), lambda x: x > 0 or x != math.floor(x),
              [solve(lambda t: mp.loggamma(t), mp.log(BIG), 170, 172), 1 / BIG]),
    "gammaln": (mp.loggamma, None, (None, INF), lambda x: x > 0,
                [solve(lambda t: mp.loggamma(t), BIG, mp.mpf("1e305"), mp.mpf("1e306"))]),
    "expint": (lambda x: mp.e1(x), None, (None, 0.0), lambda x: x > 0,
               [solve(lambda t: -mp.log(mp.e1(t)), -mp.log(NORMAL), 690, 720),
                solve(lambda t: -mp.log(mp.e1(t)), -mp.log(ZERO), 720, 760)]),
    "abs": (abs, "even", (INF, INF), lambda x: True, []),
    "fix": (lambda x: mp.mpf(int(x)), "odd", (-INF, INF), lambda x: True, [0.5, 1]),
    "round": (lambda x: mp.sign(x) * mp.floor(abs(x) + mp.mpf(1) / 2), "odd", (-INF, INF), lambda x: True,
              [0.5, 1.5, 2.5]),
    "floor": (mp.floor, "odd0", (-INF, INF), lambda x: True, [1]),
    "ceil": (mp.ceil, "odd0", (-INF, INF), lambda x: True, [1]),
}

# the limits at +0 and -0 where the function has a pole or an end of its
# domain there (a value at -0 of an odd function takes its sign)
AT_ZERO = {
    "log": (-INF, -INF), "log2": (-INF, -INF), "log10": (-INF, -INF), "reallog": (-INF, -INF),
    "csc": (INF, -INF), "cot": (INF, -INF), "csch": (INF, -INF), "coth": (INF, -INF),
    "acsch": (INF, -INF), "asech": (INF, INF), "acot": (math.pi / 2, -math.pi / 2),
    "gamma": (INF, -INF), "gammaln": (INF, INF), "expint": (INF, INF),
    # erf's sign rule takes -0 with the non-negative arguments
    "erf": (0.0, 0.0),
}

# the derivatives of the trigonometric functions
TRIG = {"sin": mp.cos, "cos": lambda x: -mp.sin(x), "tan": lambda x: 1 + mp.tan(x) ** 2,
        "sec": lambda x: mp.sec(x) * mp.tan(x), "csc": lambda x: -mp.csc(x) * mp.cot(x),
        "cot": lambda x: -(1 + mp.cot(x) ** 2)}

COMMON = [DENORM, 3 * DENORM, TINY, 1e-300, 1e-20, 0.5, 1.0, 2.0, 10.0, 100.0, 1e20, 1e300, MAX]


def fmt(x):
    if math.isnan(x):
        return "nan"
    if math.isinf(x):
        return "inf" if x > 0 else "-inf"
    return repr(x)


rows = []


def add(name, x, want, tol):
    rows.append('{"%s", %s, %s, %.3g},' % (name, fmt(x), fmt(want), tol))


def rounded(v):
    v = mp.mpf(v)
    if abs(v) > BIG:
        return INF if v > 0 else -INF
    return float(v)


for name, (f, sym, limits, domain, bounds) in F.items():
    # the special arguments
    add(name, math.nan, math.nan, 0)
    for x, lim in ((-INF, limits[0]), (INF, limits[1])):
        if lim is not None:
            add(name, x, float(lim) if not isinstance(lim, float) else lim, 1e-15)
    if name in AT_ZERO:
        plus, minus = AT_ZERO[name]
        add(name, 0.0, plus, 1e-15)
        add(name, -0.0, minus, 1e-15)
    elif domain(0.0):
        z = rounded(f(mp.mpf(0)))
        add(name, 0.0, z, 1e-15)
        add(name, -0.0, -0.0 if sym in ("odd", "odd0") and z == 0 else z, 1e-15)
    # finite arguments on both sides of every boundary, and the common ones
    args = set()
    for b in bounds:
        for x in sides(mp.mpf(b)):
            args.update((x, -x))
    for x in COMMON:
        args.update((x, -x))
    for x in sorted(args):
        if not domain(x) or x == 0:
            continue
        if name == "gamma" and x < 0 and abs(x) > 1e16:
            continue  # every such double is a whole number
        if name in ("fix", "round", "floor", "ceil", "abs"):
            v = f(mp.mpf(x))
            add(name, x, rounded(v), 0)
            continue
        X = mp.mpf(x)
        v = f(X)
        if mp.im(mp.mpc(v)) != 0:
            continue
        v = mp.re(mp.mpc(v))
        want = rounded(v)
        if want == 0 or math.isinf(want) or v == 0:
            add(name, x, want, 0)
            continue
        try:
            cond = abs(X * mp.diff(f, X) / v)
        except (ValueError, ZeroDivisionError):
            cond = mp.mpf(0)
        tol = 1e-14 + cond * EPS
        if name in TRIG and abs(x) > 1e9:
            # angles past 1e9 are reduced by adding up to 53 entries of a
            # table of 2^k mod 2 pi, each rounded to a double: the reduced
            # angle is right within about 2.4e-14, which costs |f'/f| of it
            tol = 1e-14 + float(abs(TRIG[name](X) / v)) * 2.4e-14
        elif name in TRIG or name == "sinc":
            tol = 1e-14  # reduced exactly; cond reflects the argument, not the method
        add(name, x, want, float(tol))

with open(os.path.join(ROOT, "tests", "engine", "data", "scalar_edges.inc"), "w") as out:
    out.write("// Generated by tools/reference/scalar_edges.py (mpmath, 60 digits); do not edit.\n")
    out.write("// function, argument, value, allowed relative error\n")
    for r in rows:
        out.write(r + "\n")
print(len(rows), "rows")
