#!/usr/bin/python3
"""Verdicts and optima of small problems with columns in [0, 10], in
[-10, 10] and free, by scipy's linprog(method='highs'), for LpUnits.* in
tests/optim/lp_units_test.cpp: the tests scale their bounds, right-hand
sides and costs by powers of 2 and put two of them side by side in units
far apart, where the optimum follows from these by hand.

The first neq rows are equalities, the rest <=. Prints one C++ initializer
per problem: name, m, n, neq, A (column-major), b, c, lb, ub, HiGHS's
status (1 optimal, 2 infeasible, 3 unbounded) and optimum.
"""
import numpy as np

from lp_highs import INF, cxx, header, highs
rng = np.random.default_rng(5)


header("lp_units_reference.py", "lb, ub")
count = 0
while count < 8:
    m = int(rng.integers(2, 7))
    n = int(rng.integers(3, 9))
    neq = int(rng.integers(0, m))
    A = np.round(rng.standard_normal((m, n)), 3)
    kind = rng.integers(0, 3, n)
    lb = np.where(kind == 0, 0.0, np.where(kind == 1, -INF, -10.0))
    ub = np.where(kind == 1, INF, 10.0)
    x0 = np.clip(rng.standard_normal(n) * 4, lb, ub)
    b = np.round(A @ x0 + np.r_[np.zeros(neq), rng.random(m - neq)], 3)
    if neq:
        b[:neq] = A[:neq] @ x0
    c = np.round(rng.standard_normal(n), 3)
    status, optimum = highs(c, A, b, lb, ub, neq)
    if status is None:
        continue
    print('{"u%d", %d, %d, %d, %s, %s, %s, %s, %s, %d, %r},' % (count, m, n, neq, cxx(A.flatten(order="F")), cxx(b),
          cxx(c), cxx(lb), cxx(ub), status, optimum))
    count += 1
