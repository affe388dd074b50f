#!/usr/bin/python3
"""Times and optima of scipy.optimize.linprog(method='highs-ipm') on the
general sparse problems of bench/lp_bench.cpp, for the ratios printed there.

The problems come from the splitmix64 stream of test::general_sparse in
tests/support/lp_problems.hpp, draw for draw: `dense` columns first with an
entry 2u - 1 in every row, then columns with (r mod 12) entries 2u - 1 in
drawn rows (r mod m), entries named twice adding up; the last `boxed` columns lie in [-10, 10], the others are
x >= 0. x0 (u, or 20u - 10 when boxed) meets the first neq rows and lies
a slack u inside the others; c = A'y + z with y = 2u - 1 on the equality
rows and -u on the others and z = u, the boxed columns' costs 2u - 1.

Run with one thread (OMP_NUM_THREADS=1 OPENBLAS_NUM_THREADS=1) in the same
period as bench/lp_bench; each time is the best of `--runs` runs (five by
default). Prints the C++ table rows for bench/lp_bench.cpp.
"""
import argparse
import os
import sys

import numpy as np
from scipy.optimize import linprog
from scipy.sparse import csc_matrix

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from lp_transport_times import SplitMix64, best_time  # noqa: E402


def unit(gen):
    return (gen.next() >> 11) * 2.0 ** -53


def general_sparse(m, n, neq, boxed, dense, seed):
    gen = SplitMix64(seed)
    rows, cols, vals = [], [], []
    for j in range(n):
        if j < dense:
            for i in range(m):
                rows.append(i)
                cols.append(j)
                vals.append(2 * unit(gen) - 1)
        else:
            for _ in range(gen.next() % 12):
                rows.append(gen.next() % m)
                cols.append(j)
                vals.append(2 * unit(gen) - 1)
    A = csc_matrix((np.array(vals), (np.array(rows), np.array(cols))), shape=(m, n))
    is_boxed = np.arange(n) >= n - boxed
    x0 = np.array([20 * unit(gen) - 10 if is_boxed[j] else unit(gen) for j in range(n)])
    b = A @ x0
    for i in range(neq, m):
        b[i] += unit(gen)
    y = np.array([2 * unit(gen) - 1 if i < neq else -unit(gen) for i in range(m)])
    aty = A.T @ y
    c = np.empty(n)
    for j in range(n):
        c[j] = 2 * unit(gen) - 1 if is_boxed[j] else aty[j] + unit(gen)
    bounds = [(-10.0, 10.0) if is_boxed[j] else (0.0, None) for j in range(n)]
    return c, A, b, bounds


SHAPES = [  # m, n, neq, boxed, dense, seed
    (2000, 4000, 200, 0, 0, 71),
    (2000, 4000, 200, 400, 0, 72),
    (2000, 4000, 200, 0, 3, 73),
    (2000, 5000, 200, 0, 0, 74),
    (5000, 10000, 500, 0, 0, 75),
    (5000, 10000, 500, 1000, 0, 76),
    (5000, 10000, 500, 0, 3, 77),
]

if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    for m, n, neq, boxed, dense, seed in SHAPES:
        c, A, b, bounds = general_sparse(m, n, neq, boxed, dense, seed)
        A = A.tocsr()
        t, fun = best_time(lambda: linprog(c, A_ub=A[neq:], b_ub=b[neq:], A_eq=A[:neq], b_eq=b[:neq], bounds=bounds,
                                           method="highs-ipm"), args.runs)
        print("    {%d, %d, %d, %d, %d, %d, %.4f, %r},  // %d non-zeros" % (m, n, neq, boxed, dense, seed, t, fun,
                                                                             A.nnz))
