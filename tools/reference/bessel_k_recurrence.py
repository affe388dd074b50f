#!/usr/bin/python3
"""Reference values of I at a negative order just off an integer, at small
|z| where the K term of its reflection overflows and the weighted K comes
from the recurrence in the order (mpmath, 40 digits), for
tests/bessel/bessel_test.cpp. Prints one line per case: order, Re z, Im z,
scale, Re f, Im f (scale 1: exp(-|Re z|) I)."""
import mpmath as mp

mp.mp.dps = 40
for nu in (mp.mpf(150) + mp.mpf(2) ** -20, mp.mpf(150) + mp.mpf(2) ** -30):
    for zr, zi in ((0.9, 0.0), (0.9, 0.3)):
        z = mp.mpc(zr, zi)
        for scale in (0, 1):
            v = mp.besseli(-nu, z)
            if scale:
                v *= mp.exp(-abs(mp.mpf(zr)))
            print("{%s, %r, %r, %d, %s, %s}," % (mp.nstr(-nu, 20), zr, zi, scale,
                                                mp.nstr(v.real, 17), mp.nstr(v.imag, 17)))
