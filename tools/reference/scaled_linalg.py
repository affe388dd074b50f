#!/usr/bin/python3
"""Reference values for the linear-algebra tests on scaled, singular and
non-finite inputs: singular values and eigenvalues from mpmath at 50
digits, generalized eigenvalues and matrix exponentials from scipy."""
import mpmath as mp
import numpy as np
import scipy.linalg as sl

mp.mp.dps = 50


def sv(a, scale):
    m = mp.matrix(a) * mp.mpf(scale)
    return sorted((mp.sqrt(x) for x in mp.eigsy(m.T * m)[0]), reverse=True)


A = [[1, 2], [3, 4]]
for scale in ("1e200", "1e-200", "1e-160", "1e160", "1e300"):
    print("svd", scale, [mp.nstr(x, 17) for x in sv(A, scale)])
s = sv(A, 1)
print("cond", mp.nstr(s[0] / s[1], 17))
print("pinv*1e300", mp.matrix(A) ** -1)

A0 = [[1, 2, 0.5], [-3, 1, 2], [0.3, -1, 2]]
for scale in ("1e-200", "1e-160", "1e200", "1e300"):
    m = mp.matrix(A0) * mp.mpf(scale)
    print("eig", scale, [mp.nstr(x, 17) for x in mp.eig(m, left=False, right=False)])

w, _ = sl.eig([[2.0, 1.0], [3.0, 4.0]], [[1.0, 0.0], [0.0, 0.0]])
print("eig pencil", w)
print("solve with NaN", np.linalg.solve(np.array([[1, np.nan], [5, 1]]), [1, 1]))
print("expm nilpotent", sl.expm(np.array([[0, 1e308], [0, 0]])))
print("expm -1e308 I", sl.expm(-1e308 * np.eye(2)))
print("expm 2^1022", sl.expm(np.array([[-2.0**1022, 0], [0, -2.0**1023]])))

C = np.array([[1, 2], [3, 4]]) + 1j * np.array([[1, 3], [2, 4]])
print("complex svd (unscaled)", [repr(x) for x in np.linalg.svd(C, compute_uv=False)])
print("drotg(3e170, 4e170): r = 5e170, c = 0.6, s = 0.8, z = 1/0.6 =", repr(1 / 0.6))

# A large entry beside a tiny one: the tiny eigenvalue and the tiny diagonal
# of the Schur and Hessenberg forms must survive the scaling.
print("eig tiny beside large", [repr(x) for x in np.linalg.eigvals(np.diag([1e40, 1.234567890123e-290]))])
print("eig diag 2e200 3e-200 5", [repr(x) for x in np.linalg.eigvals(np.diag([2e200, 3e-200, 5.0]))])
B = np.array([[1e40, 1.0], [0.0, 1.23e-290]])
for output in ("real", "complex"):
    T, Z = sl.schur(B, output=output)
    print("schur", output, [repr(x) for x in T.ravel()], [repr(x) for x in Z.ravel()])
H, Q = sl.hessenberg(B, calc_q=True)
print("hess", [repr(x) for x in H.ravel()], [repr(x) for x in Q.ravel()])
Bc = B + 1j * np.array([[0.0, 1.0], [0.0, 0.0]])
T, Z = sl.schur(Bc)
print("schur of [1e40 1+1i;0 1.23e-290]", [repr(x) for x in T.ravel()], [repr(x) for x in Z.ravel()])
H, Q = sl.hessenberg(Bc, calc_q=True)
print("hess of [1e40 1+1i;0 1.23e-290]", [repr(x) for x in H.ravel()], [repr(x) for x in Q.ravel()])

# A complex matrix near the bottom of the range: magic(4) + 16i*hilb(4)
# (hilb's elements rounded to doubles, as the library makes them), whose
# singular values times 2^-1000 are those of A0*2^-1000.
magic4 = [[16, 2, 3, 13], [5, 11, 10, 8], [9, 7, 6, 12], [4, 14, 15, 1]]
A0 = mp.matrix([[mp.mpc(magic4[i][j], 16 * float(1.0 / (i + j + 1))) for j in range(4)] for i in range(4)])
s = mp.svd_c(A0, compute_uv=False)
print("complex svd of (magic(4) + 16i*hilb(4))*2^-1000",
      [repr(float(x * mp.mpf(2) ** -1000)) for x in sorted(s, reverse=True)])
