#!/usr/bin/python3
"""Fill of an independent minimum degree ordering (SuperLU's multiple minimum
degree on A + A', through scipy) on the graphs that
tests/optim/lp_ordering_test.cpp orders: the entries of L below its
diagonal. The test keeps these numbers as data and asks our ordering to stay
close to them.
"""
import numpy as np
import scipy.sparse as sp
from scipy.sparse.linalg import splu


def grid(k):
    """The 5-point grid graph on k x k nodes, node r + k c."""
    n = k * k
    rows, cols = [], []
    for c in range(k):
        for r in range(k):
            i = r + k * c
            if r + 1 < k:
                rows += [i, i + 1]
                cols += [i + 1, i]
            if c + 1 < k:
                rows += [i, i + k]
                cols += [i + k, i]
    return sp.csc_matrix((np.ones(len(rows)), (rows, cols)), shape=(n, n))


def mmd_fill(g):
    n = g.shape[0]
    # Diagonally dominant, so no pivot strays from the diagonal.
    m = (-g + sp.identity(n) * (abs(g).sum(axis=1).max() + 1)).tocsc()
    lu = splu(m, permc_spec="MMD_AT_PLUS_A", diag_pivot_thresh=0, options=dict(SymmetricMode=True))
    return lu.L.nnz - n


for k in (20, 40):
    print("grid %d x %d: %d entries below the diagonal" % (k, k, mmd_fill(grid(k))))
