#!/usr/bin/python3
# Determinants whose partial products of pivots leave the doubles, for
# tests/linalg/inv_det_test.cpp (printed; the test keeps them as data):
# - the 2-D Poisson matrix of a 150x150 grid (4 on the diagonal, -1 for
#   each grid neighbour), log det from scipy's sparse LU (splu), and
#   det(c*P) for c = 0.3103884609439081 (near exp(-log det(P)/n));
# - diag of 150 copies of 1e3 and 150 of 1e-3 (the doubles nearest them),
#   the exact product of those doubles by mpmath.
import mpmath
import numpy as np
import scipy.sparse as sp
import scipy.sparse.linalg as spl

m = 150
t = sp.diags([-np.ones(m - 1), 2 * np.ones(m), -np.ones(m - 1)], [-1, 0, 1])
p = (sp.kron(sp.identity(m), t) + sp.kron(t, sp.identity(m))).tocsc()
n = p.shape[0]
lu = spl.splu(p)
logdet = float(np.sum(np.log(np.abs(lu.U.diagonal()))))
c = 0.3103884609439081
mpmath.mp.prec = 200
print("log det(P) = %r" % logdet)
print("det(c*P)   = %r" % float(mpmath.exp(mpmath.mpf(logdet) + n * mpmath.log(mpmath.mpf(c)))))

mpmath.mp.prec = 4000
prod = mpmath.mpf(1e3) ** 150 * mpmath.mpf(1e-3) ** 150
print("prod(diag([1e3 x150, 1e-3 x150])) = %r" % float(prod))
