#!/usr/bin/python3
# Reference inverse hyperbolic values at tiny and huge arguments (mpmath).
import mpmath
mpmath.mp.prec = 300
cases = [("asinh", mpmath.asinh, [1e-300, 1e-10, -1e-8, 0.5, -1e6, -262144.0, 1e300]),
         ("acosh", mpmath.acosh, [1 + 2.0**-40, 1.5, 1e10, 1e300]),
         ("atanh", mpmath.atanh, [1e-300, 1e-20, -0.5, 0.999999])]
for name, f, xs in cases:
    for x in xs:
        print('    {"%s", %s, %s},' % (name, float(x).hex(), float(f(mpmath.mpf(x))).hex()))
