#!/usr/bin/python3
"""Reference solutions of square systems with one real and one complex
operand (tests/linalg/lu_test.cpp, Mldivide.RealAndComplexOperandsMix),
from numpy's LAPACK solve."""
import numpy as np

A = np.array([[4, 1], [2, 3]], float)
Ac = np.array([[4 + 1j, 1], [2, 3 - 2j]])
b = np.array([1 + 2j, 3 - 1j])
br = np.array([1.0, 2.0])
for what, x in (("real A \\ complex b", np.linalg.solve(A, b)),
                ("complex A \\ real b", np.linalg.solve(Ac, br)),
                ("complex A \\ complex b", np.linalg.solve(Ac, b))):
    print(what, [(repr(v.real), repr(v.imag)) for v in x])
