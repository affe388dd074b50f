#!/usr/bin/python3
"""Verdicts, optima and points of small problems with a variable in no row
(and one with a column no row holds back), by scipy's
linprog(method='highs'), for LpEmptyColumns.* in tests/optim/lp_test.cpp.

Each problem is given as lp takes it: c, A, b, lb, ub, neq (the first neq
rows equalities, the rest <=); a missing lb entry is -Inf, a missing ub
entry +Inf. Prints one line per problem: HiGHS's status (0 optimal,
2 infeasible, 3 unbounded), the optimum, x and the row multipliers in
lp's sign (c + A'y less the bound multipliers is 0: HiGHS's marginals
negated), equality rows first.
"""
import numpy as np
from scipy.optimize import linprog

INF = np.inf

problems = [
    # The three calls of the report.
    ("lp([1; 1], [-1 0], -1, [0; 0], [5; 5])", [1, 1], [[-1, 0]], [-1], [0, 0], [5, 5], 0),
    ("lp([1; 2; 0], [1 1 0; 1 -1 0], [2; 0], [0; 0; 0], [], [], 2)", [1, 2, 0], [[1, 1, 0], [1, -1, 0]], [2, 0],
     [0, 0, 0], [], 2),
    ("lp([-1; 0], [0 1; 0 -1], [-1; 0])", [-1, 0], [[0, 1], [0, -1]], [-1, 0], [], [], 0),
    # An empty column pulled toward its finite upper bound.
    ("cost -2 toward ub 4", [1, -2], [[1, 0]], [3], [1, 0], [INF, 4], 0),
    # Pulled toward an infinite bound, the rest feasible: unbounded.
    ("cost -1 toward +Inf, rest feasible", [1, -1], [[1, 0]], [3], [1, 0], [], 0),
    ("cost 1 toward -Inf, rest feasible", [1, 1], [[-1, 0]], [-1], [0, -INF], [INF, 2], 0),
    # Pulled toward an infinite bound, the rest infeasible (three equality
    # rows in two columns that only the substitutions find contradicting):
    # infeasible.
    ("cost 1 toward -Inf, rest infeasible", [1, 0, 0], [[0, 1, 1], [0, 1, 2], [0, 1, -1]], [1, 3, 0],
     [-INF, 0, 0], [], 3),
    # No row holds x2 back (entries only in rows it can only help), its cost
    # pulls it toward -Inf: unbounded when the rest is feasible, infeasible
    # when it is not.
    ("dominated column, rest feasible", [1, 1, 0], [[-1, 1, 0], [0, 0, 1]], [-1, 5], [0, -INF, 0], [], 0),
    ("dominated column, rest infeasible", [1, 1, 0, 0], [[-1, 1, 0, 0], [0, 0, -1, -1], [0, 0, 1, 1]],
     [-1, -3, 2], [0, -INF, 0, 0], [], 0),
    # Zero cost: our rule puts the column at its lower bound, or at 0 within
    # its bounds without one (HiGHS's x for that column may differ; the
    # optimum may not).
    ("cost 0 within [-5, 3]", [1, 0], [[1, 0]], [3], [1, -5], [INF, 3], 0),
    ("cost 0 with ub -2 and no lb", [1, 0], [[1, 0]], [3], [1, -INF], [INF, -2], 0),
    ("cost 0 free", [1, 0], [[1, 0]], [3], [1, -INF], [], 0),
    # Every column empty.
    ("A without non-zeros", [1], [[0]], [5], [2], [7], 0),
]

for name, c, A, b, lb, ub, neq in problems:
    n = len(c)
    lo = [lb[j] if j < len(lb) else -INF for j in range(n)]
    hi = [ub[j] if j < len(ub) else INF for j in range(n)]
    A = np.array(A, dtype=float)
    b = np.array(b, dtype=float)
    kw = {}
    if neq > 0:
        kw["A_eq"], kw["b_eq"] = A[:neq], b[:neq]
    if neq < len(b):
        kw["A_ub"], kw["b_ub"] = A[neq:], b[neq:]
    r = linprog(c, bounds=list(zip(lo, hi)), method="highs", **kw)
    x, y = [], []
    if r.status == 0:
        x = [float(v) for v in r.x]
        if neq > 0:
            y += [-float(v) for v in r.eqlin.marginals]
        if neq < len(b):
            y += [-float(v) for v in r.ineqlin.marginals]
    print("%-60s status %d fun %r x %r y %r" % (name, r.status, float(r.fun) if r.status == 0 else None, x, y))
