#!/usr/bin/python3
"""The Runge-Kutta tables of the suite in exact rational arithmetic.

1. Proves the order conditions of every rooted tree for the pairs
   (Bogacki-Shampine 3(2) and 5(4) with its early fourth-order estimate,
   Prince-Dormand 8(7) with 13 stages): the propagated weights to the
   pair's order, the embedded weights to one less, and the embedded weights
   failing the higher order (so the estimate is real).
2. Derives the continuous extension of the 5(4) pair used for dense output.
   The stages 3 to 7 meet C(2) but not C(3); the weights of order 5
   annihilate their defects, and so does any multiple lambda(theta) of
   those weights. Two extra stages (nodes 1/2 and 5/6) that meet C(5),
   avoid the second stage (the only one without C(2)) and annihilate the
   same defects then carry the remaining (bushy) conditions with the
   eighth stage: per power of theta a square 4 x 4 system, whose solution
   has b(1) = b, b'(0) = e_1 and b'(1) = e_8 by itself, so the interpolant
   joins the steps with a continuous derivative. A third extra stage would
   add nothing to the order. Proves that every tree of order up to 5 holds
   as a polynomial identity in theta, and prints the C++ table for
   src/optim/rk_tables.hpp.
Usage: tools/reference/rk_tables.py
"""
from fractions import Fraction as F


def trees(A, s, max_order):
    """(order, phi, gamma) of every rooted tree up to max_order."""
    def times_a(v):
        return [sum(A[i][j] * v[j] for j in range(s)) for i in range(s)]
    out = [(1, [F(1)] * s, 1)]
    for n in range(2, max_order + 1):
        known = len(out)
        found = []

        def pick(remaining, first, chosen):
            if remaining == 0:
                phi, gamma = [F(1)] * s, n
                for k in chosen:
                    sub = times_a(out[k][1])
                    phi = [phi[i] * sub[i] for i in range(s)]
                    gamma *= out[k][2]
                found.append((n, phi, gamma))
                return
            for k in range(first, known):
                if out[k][0] <= remaining:
                    pick(remaining - out[k][0], k, chosen + [k])
        pick(n - 1, 0, [])
        out += found
    return out


def worst(b, tr, orders):
    return max(abs(float(sum(b[i] * phi[i] for i in range(len(b))) - F(1, g)))
               for n, phi, g in tr if n in orders)


def square(rows, s):
    A = [[F(0)] * s for _ in range(s)]
    for i, row in enumerate(rows):
        for j, v in enumerate(row):
            A[i][j] = F(v)
    return A


bs32_c = [F(0), F(1, 2), F(3, 4), F(1)]
bs32_A = square([[], [F(1, 2)], [0, F(3, 4)], [F(2, 9), F(1, 3), F(4, 9)]], 4)
bs32_b = [F(2, 9), F(1, 3), F(4, 9), F(0)]
bs32_bhat = [F(7, 24), F(1, 4), F(1, 3), F(1, 8)]

bs54_c = [F(0), F(1, 6), F(2, 9), F(3, 7), F(2, 3), F(3, 4), F(1), F(1)]
bs54_A = square([
    [],
    [F(1, 6)],
    [F(2, 27), F(4, 27)],
    [F(183, 1372), F(-162, 343), F(1053, 1372)],
    [F(68, 297), F(-4, 11), F(42, 143), F(1960, 3861)],
    [F(597, 22528), F(81, 352), F(63099, 585728), F(58653, 366080), F(4617, 20480)],
    [F(174197, 959244), F(-30942, 79937), F(8152137, 19744439), F(666106, 1039181), F(-29421, 29068),
     F(482048, 414219)],
    [F(587, 8064), 0, F(4440339, 15491840), F(24353, 124800), F(387, 44800), F(2152, 5985), F(7267, 94080)],
], 8)
bs54_b = bs54_A[7][:]
bs54_e = [F(3817, 1959552), 0, F(-140181, 15491840), F(4224731, 272937600), F(-8557, 403200), F(57928, 4363065),
          F(23930231, 4366535040), F(-3293, 556956)]
bs54_e_early = [F(-3, 1280), 0, F(6561, 632320), F(-343, 20800), F(243, 12800), F(-1, 95), 0, 0]

pd87_c = [F(0), F(1, 18), F(1, 12), F(1, 8), F(5, 16), F(3, 8), F(59, 400), F(93, 200), F(5490023248, 9719169821),
          F(13, 20), F(1201146811, 1299019798), F(1), F(1)]
pd87_A = square([
    [],
    [F(1, 18)],
    [F(1, 48), F(1, 16)],
    [F(1, 32), 0, F(3, 32)],
    [F(5, 16), 0, F(-75, 64), F(75, 64)],
    [F(3, 80), 0, 0, F(3, 16), F(3, 20)],
    [F(29443841, 614563906), 0, 0, F(77736538, 692538347), F(-28693883, 1125000000), F(23124283, 1800000000)],
    [F(16016141, 946692911), 0, 0, F(61564180, 158732637), F(22789713, 633445777), F(545815736, 2771057229),
     F(-180193667, 1043307555)],
    [F(39632708, 573591083), 0, 0, F(-433636366, 683701615), F(-421739975, 2616292301), F(100302831, 723423059),
     F(790204164, 839813087), F(800635310, 3783071287)],
    [F(246121993, 1340847787), 0, 0, F(-37695042795, 15268766246), F(-309121744, 1061227803),
     F(-12992083, 490766935), F(6005943493, 2108947869), F(393006217, 1396673457), F(123872331, 1001029789)],
    [F(-1028468189, 846180014), 0, 0, F(8478235783, 508512852), F(1311729495, 1432422823),
     F(-10304129995, 1701304382), F(-48777925059, 3047939560), F(15336726248, 1032824649),
     F(-45442868181, 3398467696), F(3065993473, 597172653)],
    [F(185892177, 718116043), 0, 0, F(-3185094517, 667107341), F(-477755414, 1098053517),
     F(-703635378, 230739211), F(5731566787, 1027545527), F(5232866602, 850066563), F(-4093664535, 808688257),
     F(3962137247, 1805957418), F(65686358, 487910083)],
    [F(403863854, 491063109), 0, 0, F(-5068492393, 434740067), F(-411421997, 543043805), F(652783627, 914296604),
     F(11173962825, 925320556), F(-13158990841, 6184727034), F(3936647629, 1978049680), F(-160528059, 685178525),
     F(248638103, 1413531060)],
], 13)
pd87_b = [F(14005451, 335480064), 0, 0, 0, 0, F(-59238493, 1068277825), F(181606767, 758867731),
          F(561292985, 797845732), F(-1041891430, 1371343529), F(760417239, 1151165299), F(118820643, 751138087),
          F(-528747749, 2220607170), F(1, 4)]
pd87_bhat = [F(13451932, 455176623), 0, 0, 0, 0, F(-808719846, 976000145), F(1757004468, 5645159321),
             F(656045339, 265891186), F(-3867574721, 1518517206), F(465885868, 322736535), F(53011238, 667516719),
             F(2, 45), 0]

pairs = [
    ("Bogacki-Shampine 3(2)", bs32_c, bs32_A, bs32_b, bs32_bhat, 3, 0),
    ("Bogacki-Shampine 5(4)", bs54_c, bs54_A, bs54_b, [bs54_b[i] - bs54_e[i] for i in range(8)], 5, 0),
    ("Bogacki-Shampine 5(4), early", bs54_c, bs54_A, bs54_b, [bs54_b[i] - bs54_e_early[i] for i in range(8)], 5, 0),
    # The published 8(7) rationals carry about 18 digits of irrational values.
    ("Prince-Dormand 8(7)", pd87_c, pd87_A, pd87_b, pd87_bhat, 8, 1e-16),
]
for name, c, A, b, bhat, p, slack in pairs:
    s = len(c)
    rows = max(abs(float(sum(A[i]) - c[i])) for i in range(s))
    tr = trees(A, s, p)
    high, low, miss = worst(b, tr, range(1, p + 1)), worst(bhat, tr, range(1, p)), worst(bhat, tr, [p])
    print("# %-30s rows %.1e  b to order %d %.1e  bhat to order %d %.1e  bhat at order %d %.1e"
          % (name, rows, p, high, p - 1, low, p, miss))
    assert rows <= slack and high <= slack and low <= slack and miss > 1e-6

# ---- the continuous extension of the 5(4) pair ----


def rref_solve(rows, rhs):
    """A solution of a consistent linear system, free unknowns zero."""
    m, n = len(rows), len(rows[0])
    R = [row[:] + [rhs[i]] for i, row in enumerate(rows)]
    pivots, r = [], 0
    for col in range(n):
        piv = next((k for k in range(r, m) if R[k][col] != 0), None)
        if piv is None:
            continue
        R[r], R[piv] = R[piv], R[r]
        R[r] = [v / R[r][col] for v in R[r]]
        for k in range(m):
            if k != r and R[k][col] != 0:
                f = R[k][col]
                R[k] = [R[k][j] - f * R[r][j] for j in range(n + 1)]
        pivots.append(col)
        r += 1
    assert all(R[k][n] == 0 for k in range(r, m)), "inconsistent"
    x = [F(0)] * n
    for k, col in enumerate(pivots):
        x[col] = R[k][n]
    return x


S = 10
A = [[F(0)] * S for _ in range(S)]
for i in range(8):
    A[i][:8] = bs54_A[i][:]
b = bs54_b[:]
extra_c = [F(1, 2), F(5, 6)]
c = bs54_c + extra_c


def c3_defect(j):
    return sum(A[j][k] * c[k] ** 2 for k in range(j)) - c[j] ** 3 / 3


for e, ce in enumerate(extra_c):
    i = 8 + e
    cols = [j for j in range(i) if j != 1]
    rows = [[c[j] ** (k - 1) for j in cols] for k in range(1, 6)]
    rhs = [ce ** k / k for k in range(1, 6)]
    rows.append([c3_defect(j) for j in cols])
    rhs.append(F(0))
    rows.append([A[j][1] for j in cols])
    rhs.append(F(0))
    for j, v in zip(cols, rref_solve(rows, rhs)):
        A[i][j] = v

# Weights b_i(theta) = lambda(theta) b_i on stages 3..7; b_8 and the extra
# stages carry the bushy conditions; b_1 takes the rest.
Sk = [sum(b[i] * c[i] ** (k - 1) for i in range(2, 7)) for k in range(1, 6)]
M = [[Sk[k - 1], F(1)] + [x ** (k - 1) for x in extra_c] for k in range(2, 6)]
B = [[F(0)] * 5 for _ in range(S)]
B[0][0] = F(1)
for m in range(2, 6):
    rhs = [F(0)] * 4
    rhs[m - 2] = F(1, m)
    lam, w8, w9, w10 = rref_solve(M, rhs)
    for i in range(2, 7):
        B[i][m - 1] += lam * b[i]
    for i, w in zip(range(7, 10), (w8, w9, w10)):
        B[i][m - 1] += w
    B[0][m - 1] -= lam * sum(b[2:7]) + w8 + w9 + w10

# Proofs: row sums, every tree to order 5 per power of theta, the ends.
assert all(sum(A[i]) == c[i] for i in range(S))
for n, phi, g in trees(A, S, 5):
    for m in range(1, 6):
        assert sum(B[i][m - 1] * phi[i] for i in range(S)) == (F(1, g) if m == n else 0)
for i in range(S):
    assert sum(B[i]) == (b[i] if i < 8 else 0)                      # b(1) = b
    assert B[i][0] == (1 if i == 0 else 0)                          # b'(0) = e_1
    assert sum((m + 1) * B[i][m] for m in range(5)) == (1 if i == 7 else 0)  # b'(1) = e_8
print("# 5(4) continuous extension: order 5 at every theta, C1 at both ends (exact)")


def cxx(v):
    return "0.0" if v == 0 else "%d.0 / %d.0" % (v.numerator, v.denominator)


print("constexpr double bs54_extra_c[2] = {%s};" % ", ".join(cxx(x) for x in extra_c))
print("constexpr double bs54_extra_a[2][9] = {")
for i in range(8, 10):
    print("    {%s}," % ", ".join(cxx(A[i][j]) for j in range(9)))
print("};")
print("constexpr double bs54_dense[10][5] = {")
for i in range(S):
    print("    {%s}," % ", ".join(cxx(B[i][m]) for m in range(5)))
print("};")
