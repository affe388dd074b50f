#!/usr/bin/python3
# The largest and smallest eigenvalues of the large symmetric matrices the
# eig tests take to orders where the tridiagonal QL iteration needs more
# than 30 steps for one eigenvalue: Cauchy-like 1/(i+j+off) and its
# multiples, and d_i d_j/(1+|i-j|) graded over eight decades. scipy's
# eigvalsh (LAPACK's tridiagonal solvers); written as C++ table rows to
# tests/linalg/data/large_symmetric_eigenvalues.inc.
import os
import numpy as np
import scipy.linalg as sl


def cauchy(n, off, scale=1.0):
    i = np.arange(1, n + 1)
    return scale / (i[:, None] + i[None, :] + off)


def graded(n, decades):
    d = 10.0 ** (-decades * np.arange(n) / (n - 1))
    i = np.arange(n)
    return d[:, None] * d[None, :] / (1.0 + abs(i[:, None] - i[None, :]))


# (what, kind, n, offset or decades, scale): kind 0 Cauchy-like, 1 graded.
cases = [
    ("1/(i+j+0.5), n = 1000", 0, 1000, 0.5, 1.0),
    ("1/(i+j+0.5), n = 1200", 0, 1200, 0.5, 1.0),
    ("0.5/(i+j+0.5), n = 1000", 0, 1000, 0.5, 0.5),
    ("graded over 8 decades, n = 600", 1, 600, 8.0, 1.0),
]
rows = []
for what, kind, n, p, scale in cases:
    a = cauchy(n, p, scale) if kind == 0 else graded(n, p)
    w = sl.eigvalsh(a)
    rows.append('{"%s", %d, %d, %r, %r, %r},' % (what, kind, n, p, scale, float(w[-1])))
out = os.path.join(os.path.dirname(__file__), "../../tests/linalg/data/large_symmetric_eigenvalues.inc")
with open(out + ".tmp", "w") as f:
    f.write("// what, kind (0: scale/(i+j+offset); 1: graded), n, offset or decades, scale,\n")
    f.write("// largest eigenvalue. Written by tools/reference/large_symmetric_eigenvalues.py.\n")
    f.write("\n".join(rows) + "\n")
os.replace(out + ".tmp", out)
