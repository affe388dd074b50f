#!/usr/bin/python3
# LAPACK's balancing (scipy's dgebal and zgebal, permute and scale) of the
# small matrices in tests/linalg/balance_kernels_test.cpp and schur_test.cpp:
# low and igh (1-based), the factors (exchange indices outside low..igh) and
# the balanced matrix, column-major, as the tests keep them.
import numpy as np
import scipy.linalg.lapack as la


def show(name, a):
    a = np.asarray(a)
    gebal = la.zgebal if np.iscomplexobj(a) else la.dgebal
    b, lo, hi, scale, info = gebal(a.copy(order="F"), scale=1, permute=1)
    assert info == 0
    print(name, "low", lo + 1, "igh", hi + 1, "scale", scale.tolist())
    print("   balanced", b.T.flatten().tolist())


def col(n, values):
    return np.array(values, dtype=float).reshape(n, n).T


show("scaled pair", col(2, [1, 0.01, 100, 1]))
show("scaled pair, imaginary", 1j * col(2, [1, 0.01, 100, 1]))
show("its balanced form again", col(2, [1, 0.64, 1.5625, 1]))
show("isolated 9 beside a scaled pair", col(3, [1, 1e-4, 0, 1e4, 2, 0, 3, 4, 9]))
show("modulus of both parts", np.array([[1, 100], [0.005 + 0.005j, 1]]))
show("complex diagonal", np.array([[1 + 1j, 100], [0.01, 1 - 1j]]))
show("infinite column sum", col(2, [1, np.inf, 1, 1]))
