#!/usr/bin/env python3
# Singular values, at 700 digits, of tridiagonal matrices whose rows are
# graded across the doubles: A(i,j) = 2^g(i) * (1 + (3i + 5j mod 7)/4) on the
# three central diagonals (i, j from 0), g(i) = round(-498 + 996 i/(n-1))
# for 'u' and its negative for 'd'. Writes tests/linalg/data/svd_graded_reference.inc.
import mpmath

# The values span 600 decades, so the working precision must exceed that.
mpmath.mp.dps = 700


def matrix(n, grading):
    a = mpmath.zeros(n, n)
    for i in range(n):
        g = round(-498 + 996 * i / (n - 1))
        if grading == 'd':
            g = -g
        for j in range(max(0, i - 1), min(n, i + 2)):
            a[i, j] = mpmath.ldexp(1 + mpmath.mpf((3 * i + 5 * j) % 7) / 4, g)
    return a


with open('tests/linalg/data/svd_graded_reference.inc', 'w') as out:
    for n in (2, 5, 39, 40, 64):
        for grading in ('u', 'd'):
            s = mpmath.svd_r(matrix(n, grading), compute_uv=False)
            vals = sorted((s[i] for i in range(n)), reverse=True)
            out.write('{%d, \'%s\', {%s}},\n' % (n, grading, ', '.join(repr(float(v)) for v in vals)))
