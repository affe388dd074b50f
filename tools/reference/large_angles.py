#!/usr/bin/python3
# Reference cos and sin of large arguments (mpmath, 1200-bit precision),
# printed as C++ table rows for tests/engine/scalar_real_test.cpp.
import mpmath
mpmath.mp.prec = 1200
for x in [1e9 + 1, -1e9 - 1, 3.0e9, 1e12 + 0.5, 2.0 ** 60, 1e15, 1e22, -1e22, 5e100, 1e300, 1.7976931348623157e308]:
    c = float(mpmath.cos(mpmath.mpf(x)))
    s = float(mpmath.sin(mpmath.mpf(x)))
    print("    {%s, %s, %s}," % (float(x).hex(), c.hex(), s.hex()))
