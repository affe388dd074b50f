#!/usr/bin/python3
# Rank-deficient polynomial fits for tests/signal/polynomials_test.cpp,
# printed for the test to keep as data: the fitted values at the distinct
# x (any least-squares fit has them) and the residual norm, from numpy's
# lstsq on the Vandermonde matrix, and numpy.polyfit's rank.
import numpy as np
import warnings

cases = [
    ([1, 1, 1], [1, 2, 3], 2),
    ([0, 0, 1, 1], [1, 2, 3, 4], 2),
    ([2, 2, 5, 5, 5], [1, 3, 4, 4, 7], 3),
    ([1, 2], [3, 5], 3),
]
for x, y, deg in cases:
    x = np.array(x, float)
    y = np.array(y, float)
    v = np.vander(x, deg + 1)
    p, res, rank, _ = np.linalg.lstsq(v, y, rcond=None)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        prank = np.polyfit(x, y, deg, full=True)[2]
    xs = np.unique(x)
    print("x=%s y=%s deg=%d: rank %d, fitted at %s = %s, normr %r" % (
        list(x), list(y), deg, prank, list(xs), [repr(float(t)) for t in np.polyval(p, xs)],
        float(np.linalg.norm(v @ p - y))))
