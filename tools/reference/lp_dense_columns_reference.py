#!/usr/bin/python3
"""Optima of general sparse problems with a few dense columns, for the
test LpSparseProblems.DenseColumnsReachTheReferenceOptimum: the problems of
test::general_sparse (tests/support/lp_problems.hpp, drawn as in
lp_general_times.py), from one dense column to one more than the solver
keeps out of its factor, solved by scipy's linprog with HiGHS.

Writes tests/optim/data/lp_dense_columns_reference.inc.
"""
import os
import sys

from scipy.optimize import linprog

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from lp_general_times import general_sparse  # noqa: E402

CASES = [  # m, n, neq, boxed, dense, seed
    (150, 300, 15, 0, 2, 86),
    (400, 800, 40, 0, 1, 81),
    (400, 800, 40, 0, 3, 82),
    (400, 800, 40, 80, 3, 83),
    (400, 800, 0, 0, 5, 88),
    (400, 800, 40, 0, 16, 84),
    (400, 800, 40, 0, 17, 85),
    (1000, 2000, 100, 0, 3, 87),
]

here = os.path.dirname(os.path.abspath(__file__))
out = os.path.join(here, "..", "..", "tests", "optim", "data", "lp_dense_columns_reference.inc")
lines = ["// m, n, neq, boxed, dense, seed, status (0 ok), optimum: scipy linprog (HiGHS),",
         "// from tools/reference/lp_dense_columns_reference.py."]
for m, n, neq, boxed, dense, seed in CASES:
    c, A, b, bounds = general_sparse(m, n, neq, boxed, dense, seed)
    A = A.tocsr()
    kw = {}
    if neq:
        kw = dict(A_eq=A[:neq], b_eq=b[:neq])
    r = linprog(c, A_ub=A[neq:], b_ub=b[neq:], bounds=bounds, method="highs", **kw)
    lines.append("{%d, %d, %d, %d, %d, %d, %d, %r}," % (m, n, neq, boxed, dense, seed, r.status, r.fun))
open(out, "w").write("\n".join(lines) + "\n")
print("\n".join(lines))
