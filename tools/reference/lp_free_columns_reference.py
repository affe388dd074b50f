#!/usr/bin/python3
"""Verdicts and optima of problems with free columns (lb = -Inf, ub = Inf)
and columns with only an upper bound, by scipy's linprog(method='highs'),
for LpFreeColumns.* in tests/optim/lp_free_columns_test.cpp.

Random problems with some or all columns free, bounded or unbounded;
square, tall and rank-deficient systems of free columns only; a free
column along a ray of zero cost, in no row, beside dense columns, and
twice over; columns in (-Inf, u]; infeasible problems with free columns.
The first neq rows are equalities, the rest <=. Prints one C++ initializer
per problem: name, m, n, neq, A (column-major), b, c, lb, ub, HiGHS's
status (1 optimal, 2 infeasible, 3 unbounded) and optimum.
"""
import numpy as np

from lp_highs import INF, cxx, header, highs
KEEP = {"rand3", "rand4", "rand7", "rand8", "rand11", "rand17", "rand18", "rand24", "rand34", "rand46", "rand56",
        "rand59", "rand0", "rand1", "rand2", "rand5", "rand6", "rand9", "sys0", "sys1", "sys2", "sys3", "sys5",
        "rankdef0", "rankdef1", "rankdef4", "rankdef5", "rankdef6", "ray0", "ray1", "ray2", "ray3", "ray4",
        "norow0", "norow1", "norow-1", "norowinf0", "norowinf1", "norowonly0", "norowonly1", "dense0",
        "dense1", "dense4", "dense5", "dup0", "dup1", "dup2", "dup3", "mi0", "mi1", "mi2", "mi3", "mi5",
        "infeas0", "infeas1", "infeas2", "infeas3",
        # Their costs cancel to 4e-16 in the substitutions of presolve.
        "s2 rand44", "s2 rand46", "s4 rand58", "s5 rand40", "s5 rand58", "s6 rand12"}
P = []


def add(name, A, b, c, lb, ub, neq):
    P.append(dict(name=name, A=np.array(A, float).reshape(len(b), len(c)), b=np.array(b, float),
                  c=np.array(c, float), lb=np.array(lb, float), ub=np.array(ub, float), neq=int(neq)))


# The draws of the first seed by their names, those of the others by the
# seed and their names.
for seed in (1, 2, 4, 5, 6):
    rng = np.random.default_rng(seed)
    first = len(P)
    # random with some/all free, inequality rows, bounded via construction
    for t in range(60):
        m = rng.integers(2, 12); n = rng.integers(2, 15); neq = rng.integers(0, m + 1)
        A = rng.standard_normal((m, n)) * (rng.random((m, n)) < 0.6)
        x0 = rng.standard_normal(n) * 3
        b = A @ x0 + np.r_[np.zeros(neq), rng.random(m - neq)]
        y = rng.standard_normal(m); y[neq:] = -np.abs(y[neq:])  # dual feasible for <= rows (c + A'y = z)
        frac = rng.choice([0.3, 0.6, 1.0])
        free = rng.random(n) < frac
        z = rng.random(n) * (~free)
        c = -A.T @ y + z if t % 2 == 0 else rng.standard_normal(n)
        lb = np.where(free, -INF, 0.0); ub = np.where(free, INF, np.where(rng.random(n) < 0.3, 10.0, INF))
        lb = np.where(free, -INF, np.minimum(x0, 0) - rng.random(n))
        add('rand%d' % t, A, b, c, lb, ub, neq)
    # square / tall systems of free columns
    for t in range(12):
        n = rng.integers(1, 8); m = n + (t % 3)
        A = rng.standard_normal((m, n)); x0 = rng.standard_normal(n)
        b = A @ x0
        if t % 4 == 1: b = b + rng.standard_normal(m) * (m > n)  # inconsistent when tall
        c = rng.standard_normal(n) if t % 2 else np.zeros(n)
        add('sys%d' % t, A, b, c, [-INF]*n, [INF]*n, m)
    # rank deficient square system
    for t in range(8):
        n = 5; B = rng.standard_normal((3, n)); A = np.vstack([B, B[0] + B[1], 2 * B[2]])
        x0 = rng.standard_normal(n); b = A @ x0
        if t % 2: b[3] += 1
        c = (B.T @ rng.standard_normal(3)) if t < 4 else rng.standard_normal(n)
        add('rankdef%d' % t, A, b, c, [-INF]*n, [INF]*n, 5)
    # zero cost free column along ray
    add('ray0', [[1, -1, 0], [0, 0, 1]], [1, 2], [0, 0, 1], [-INF, -INF, 0], [INF, INF, INF], 1)  # x1-x2<=1 eq? neq=1 first row eq
    add('ray1', [[1, -1, 0], [0, 0, 1]], [1, 2], [0, 1, 1], [-INF, -INF, 0], [INF, INF, INF], 1)
    add('ray2', [[1, -1, 0], [0, 0, 1]], [1, 2], [1, 1, -1], [-INF, -INF, 0], [INF, INF, INF], 1)
    add('ray3', [[1, 1], [1, -1]], [1, 1], [0, -1], [-INF, -INF], [INF, INF], 0)
    add('ray4', [[1, 1], [-1, -1]], [1, 1], [-1, -1], [-INF, -INF], [INF, INF], 0)
    # free column in no row
    for cost in (0, 1, -1, 1e-9):
        add('norow%g' % cost, [[1, 1, 0], [1, -1, 0]], [4, 2], [-1, -2, cost], [0, 0, -INF], [INF, INF, INF], 0)
        add('norowinf%g' % cost, [[1, 1, 0], [-1, -1, 0]], [1, -2], [-1, -2, cost], [0, 0, -INF], [INF, INF, INF], 0)
        add('norowonly%g' % cost, np.zeros((1, 2)), [1], [0, cost], [-INF, -INF], [INF, INF], 0)
    # dense column free
    for t in range(8):
        m = 30; n = 60
        A = rng.standard_normal((m, n)) * (rng.random((m, n)) < 0.1)
        A[:, 0] = rng.standard_normal(m); A[:, 1] = rng.standard_normal(m)
        x0 = rng.random(n); x0[:2] = rng.standard_normal(2) * 5
        b = A @ x0 + rng.random(m)
        c = rng.random(n) + 0.1; c[:2] = rng.standard_normal(2)
        lb = np.zeros(n); ub = np.full(n, 10.0); lb[:2] = -INF; ub[:2] = INF
        if t % 2: lb[2:5] = -INF; ub[2:5] = INF
        # make bounded: add rows bounding free cols
        A = np.vstack([A, np.eye(n)[:2], -np.eye(n)[:2]]) if t < 4 else A
        b = np.r_[b, [50, 50, 50, 50]] if t < 4 else b
        add('dense%d' % t, A, b, c, lb, ub, 3)
    # duplicate free columns
    for t in range(6):
        m = 4; n = 5
        A = rng.standard_normal((m, n)); A[:, 1] = A[:, 0]
        x0 = rng.random(n); b = A @ x0 + rng.random(m)
        c = rng.random(n); c[1] = c[0] if t % 2 == 0 else c[0] + 0.5
        lb = np.zeros(n); ub = np.full(n, 5.0); lb[:2] = -INF; ub[:2] = INF
        A = np.vstack([A, [[1, 1, 0, 0, 0], [-1, -1, 0, 0, 0]]]); b = np.r_[b, 3, 3]
        add('dup%d' % t, A, b, c, lb, ub, t % 3)
    # MI columns: -inf .. finite
    for t in range(10):
        m = rng.integers(2, 8); n = rng.integers(2, 10)
        A = rng.standard_normal((m, n)); x0 = rng.standard_normal(n)
        b = A @ x0 + rng.random(m)
        c = rng.standard_normal(n)
        lb = np.where(rng.random(n) < 0.5, -INF, -5.0); ub = np.where(rng.random(n) < 0.5, 3.0 * rng.random(n) + x0, INF)
        add('mi%d' % t, A, b, c, lb, ub, rng.integers(0, m))
    # infeasible with free
    for t in range(8):
        m = 4; n = 6
        A = rng.standard_normal((m, n)); b = rng.standard_normal(m)
        A = np.vstack([A, A[0], -A[0]]); b = np.r_[b, 1.0, -2.0]  # a0 x <= 1 and a0 x >= 2
        c = rng.standard_normal(n)
        lb = np.where(rng.random(n) < 0.5, -INF, 0.0); ub = np.full(n, INF)
        add('infeas%d' % t, A, b, c, lb, ub, t % 3)
    # all-free square system with costs: equality square nonsingular
    if seed != 1:
        for p in P[first:]:
            p["name"] = "s%d %s" % (seed, p["name"])



header("lp_free_columns_reference.py", "lb, ub")
for p in P:
    if p["name"] not in KEEP:
        continue
    A, b, neq = p["A"], p["b"], p["neq"]
    status, optimum = highs(p["c"], A, b, p["lb"], p["ub"], neq)
    assert status is not None, p["name"]
    print('{"%s", %d, %d, %d, %s, %s, %s, %s, %s, %d, %r},' % (p["name"], len(b), A.shape[1], neq,
          cxx(A.flatten(order="F")), cxx(b), cxx(p["c"]), cxx(p["lb"]), cxx(p["ub"]), status, optimum))
