#!/usr/bin/python3
"""Verdicts and optima of small problems with integer data whose columns
take the MPS bound types FR, MI, PL, UP, LO and FX, alone and in sequence,
by scipy's linprog(method='highs'), for LpFreeColumns.MpsBoundTypes in
tests/optim/lp_free_columns_test.cpp.

The bound lines of a column are read as lp's MPS reader reads them, in
order: FR sets the lower bound to -Inf and leaves the upper one, MI sets
the lower bound to -Inf and the upper one to 0, PL changes nothing, UP,
LO and FX set the upper, the lower or both bounds to the value. The first
neq rows are E rows, the rest L rows. Prints one C++ initializer per
problem: name, m, n, neq, A (column-major), b, c, the bound lines (per
column separated by ';', lines of one column by ','), HiGHS's status
(1 optimal, 2 infeasible, 3 unbounded) and optimum.
"""
import numpy as np

from lp_highs import INF, cxx, header, highs
rng = np.random.default_rng(11)
kinds = ["FR", "MI", "PL", "UP", "LO", "FR,UP", "MI,UP", "FX", ""]


def bounds_of(lines):
    lo, hi = 0.0, INF
    for line in lines.split(","):
        if not line:
            continue
        t = line.split()
        v = float(t[1]) if len(t) > 1 else 0.0
        if t[0] == "FR":
            lo = -INF
        elif t[0] == "MI":
            lo, hi = -INF, 0.0
        elif t[0] == "UP":
            hi = v
        elif t[0] == "LO":
            lo = v
        elif t[0] == "FX":
            lo = hi = v
    return lo, hi


header("lp_mps_bounds_reference.py", "bound lines")
count = 0
while count < 24:
    m = int(rng.integers(1, 5))
    n = int(rng.integers(2, 6))
    neq = int(rng.integers(0, m + 1))
    A = rng.integers(-3, 4, (m, n)).astype(float)
    b = rng.integers(-5, 6, m).astype(float)
    c = rng.integers(-3, 4, n).astype(float)
    cols = []
    for j in range(n):
        k = kinds[rng.integers(len(kinds))]
        v = int(rng.integers(-4, 6))
        lines = ",".join(x + (" %d" % (v if x != "LO" else -abs(v)) if x in ("UP", "LO", "FX") else "")
                         for x in k.split(",") if x)
        cols.append(lines)
    bnds = [bounds_of(s) for s in cols]
    if any(lo > hi for lo, hi in bnds):
        continue
    # Mostly problems with a point: b from an integer point within the
    # bounds, the L rows with some room; now and then a first row moved off.
    x0 = np.array([min(max(float(rng.integers(-3, 4)), lo), hi) for lo, hi in bnds])
    b = A @ x0 + np.r_[np.zeros(neq), rng.integers(0, 3, m - neq)]
    if rng.random() < 0.15:
        b[0] += 7
    status, optimum = highs(c, A, b, [lo for lo, hi in bnds], [hi for lo, hi in bnds], neq)
    if status is None:
        continue
    print('{"mps%d", %d, %d, %d, %s, %s, %s, "%s", %d, %r},' % (count, m, n, neq, cxx(A.flatten(order="F")), cxx(b),
          cxx(c), ";".join(cols), status, optimum))
    count += 1
