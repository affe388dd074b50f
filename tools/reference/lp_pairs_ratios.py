#!/usr/bin/python3
"""Random linear programs in which pairs of columns with A_b = -r A_a let
r x_a + x_b grow without moving A x, for r in RATIOS: the costs push the
pairs out along that ray until the far column of each pair (x_b for r < 1,
x_a for r > 1) meets its upper bound U, its lower bound -U, or a row of
size 1 holding it inside its box at U/2. The pairs sit in the equality
rows only or in the limits only; their columns are boxed, free but for
the bound that holds the far one, or bounded below only at -U; U runs
from 1e3 to 1e19; the costs are taken as drawn and negated. Verdicts and
optima from an independent solver (scipy.optimize.linprog with HiGHS).

Where HiGHS gives no answer at U = 1e15 or 1e19 (its tolerances are
absolute), the optimum comes from the line through the optima at 1e9 and
1e12, taken only where the optimum at 1e6 lies on it too (past its last
break point the optimum of an LP is affine in U). Where HiGHS answers
off that line, the variant has no reference and is left out.

    lp_pairs_ratios.py --all FILE   every variant, one problem a line
                                    (name|m n neq|A|b|c|lb|ub|status|optimum),
                                    to measure the family
    lp_pairs_ratios.py              the variants of KEPT as
                                    tests/optim/data/lp_pairs_ratios.inc
"""
import os
import sys

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from lp_highs import INF, cxx, highs  # noqa: E402
from lp_scaling_reference import ROOT, random_problem  # noqa: E402

RATIOS = [0.1, 0.3, 0.5, 0.9, 0.99, 1 - 1e-6, 1.5, 3]
STREAMS = {r: 1301 + i for i, r in enumerate(RATIOS)}  # streams no earlier table draws from
BOUNDS = [1e3, 1e6, 1e9, 1e12, 1e15, 1e19]
SHAPES = [(10, 15), (15, 25), (12, 20), (20, 30), (30, 50), (40, 80)]
DRAWS = 6
ROWS = ["limits", "equalities"]
COLUMNS = ["boxed", "free", "lower only"]
PLACES = ["upper", "lower", "inside"]
SIGNS = [1, -1]

# Variants lp got wrong or left without an answer under some BLAS kernel
# (default, Prescott, Nehalem, SkylakeX), at cost scales 1e-8, 1 or 1e8:
# (ratio, draw) -> full names of variants. Every variant with a wrong
# verdict, a wrong optimum or a point off its rows, and the first variant
# of every other draw that was left without an answer.
KEPT = {
    (0.1, 0): [
        "r = 0.1, 10x15 draw 0, pairs in the equalities, boxed, far column inside, costs as drawn, U = 1e+15",
    ],
    (0.1, 1): [
        "r = 0.1, 15x25 draw 1, pairs in the equalities, free, far column inside, costs as drawn, U = 1e+06",
    ],
    (0.1, 2): [
        "r = 0.1, 12x20 draw 2, pairs in the limits, free, far column lower, costs negated, U = 1000",
    ],
    (0.1, 3): [
        "r = 0.1, 20x30 draw 3, pairs in the equalities, boxed, far column inside, costs as drawn, U = 1e+09",
        "r = 0.1, 20x30 draw 3, pairs in the equalities, free, far column inside, costs negated, U = 1e+19",
        "r = 0.1, 20x30 draw 3, pairs in the equalities, free, far column upper, costs negated, U = 1e+19",
    ],
    (0.1, 4): [
        "r = 0.1, 30x50 draw 4, pairs in the equalities, boxed, far column inside, costs as drawn, U = 1e+09",
    ],
    (0.1, 5): [
        "r = 0.1, 40x80 draw 5, pairs in the equalities, boxed, far column inside, costs as drawn, U = 1e+06",
    ],
    (0.3, 0): [
        "r = 0.3, 10x15 draw 0, pairs in the equalities, boxed, far column inside, costs as drawn, U = 1e+15",
    ],
    (0.3, 1): [
        "r = 0.3, 15x25 draw 1, pairs in the equalities, free, far column inside, costs as drawn, U = 1e+06",
    ],
    (0.3, 2): [
        "r = 0.3, 12x20 draw 2, pairs in the equalities, boxed, far column inside, costs as drawn, U = 1e+09",
    ],
    (0.3, 3): [
        "r = 0.3, 20x30 draw 3, pairs in the equalities, boxed, far column inside, costs as drawn, U = 1e+06",
    ],
    (0.3, 4): [
        "r = 0.3, 30x50 draw 4, pairs in the equalities, boxed, far column inside, costs as drawn, U = 1e+09",
        "r = 0.3, 30x50 draw 4, pairs in the equalities, free, far column inside, costs negated, U = 1e+19",
    ],
    (0.3, 5): [
        "r = 0.3, 40x80 draw 5, pairs in the equalities, boxed, far column inside, costs as drawn, U = 1e+06",
    ],
    (0.5, 0): [
        "r = 0.5, 10x15 draw 0, pairs in the equalities, boxed, far column inside, costs as drawn, U = 1e+15",
    ],
    (0.5, 1): [
        "r = 0.5, 15x25 draw 1, pairs in the equalities, free, far column inside, costs as drawn, U = 1e+06",
    ],
    (0.5, 2): [
        "r = 0.5, 12x20 draw 2, pairs in the limits, free, far column inside, costs as drawn, U = 1e+06",
    ],
    (0.5, 3): [
        "r = 0.5, 20x30 draw 3, pairs in the equalities, boxed, far column inside, costs as drawn, U = 1e+09",
    ],
    (0.5, 4): [
        "r = 0.5, 30x50 draw 4, pairs in the equalities, free, far column upper, costs negated, U = 1e+06",
    ],
    (0.5, 5): [
        "r = 0.5, 40x80 draw 5, pairs in the equalities, boxed, far column inside, costs as drawn, U = 1e+12",
        "r = 0.5, 40x80 draw 5, pairs in the equalities, lower only, far column inside, costs as drawn, U = 1e+06",
    ],
    (0.9, 0): [
        "r = 0.9, 10x15 draw 0, pairs in the equalities, boxed, far column inside, costs as drawn, U = 1e+09",
        "r = 0.9, 10x15 draw 0, pairs in the equalities, boxed, far column inside, costs negated, U = 1e+12",
        "r = 0.9, 10x15 draw 0, pairs in the equalities, boxed, far column inside, costs negated, U = 1e+15",
        "r = 0.9, 10x15 draw 0, pairs in the equalities, boxed, far column inside, costs negated, U = 1e+19",
    ],
    (0.9, 1): [
        "r = 0.9, 15x25 draw 1, pairs in the equalities, free, far column inside, costs as drawn, U = 1e+06",
    ],
    (0.9, 2): [
        "r = 0.9, 12x20 draw 2, pairs in the limits, boxed, far column inside, costs as drawn, U = 1e+15",
    ],
    (0.9, 3): [
        "r = 0.9, 20x30 draw 3, pairs in the equalities, boxed, far column inside, costs as drawn, U = 1e+09",
    ],
    (0.9, 4): [
        "r = 0.9, 30x50 draw 4, pairs in the equalities, boxed, far column inside, costs as drawn, U = 1e+09",
    ],
    (0.9, 5): [
        "r = 0.9, 40x80 draw 5, pairs in the equalities, boxed, far column inside, costs as drawn, U = 1e+06",
    ],
    (0.99, 0): [
        "r = 0.99, 10x15 draw 0, pairs in the equalities, boxed, far column inside, costs as drawn, U = 1e+09",
    ],
    (0.99, 1): [
        "r = 0.99, 15x25 draw 1, pairs in the equalities, boxed, far column inside, costs as drawn, U = 1e+09",
    ],
    (0.99, 2): [
        "r = 0.99, 12x20 draw 2, pairs in the equalities, boxed, far column inside, costs as drawn, U = 1e+09",
    ],
    (0.99, 3): [
        "r = 0.99, 20x30 draw 3, pairs in the equalities, boxed, far column inside, costs as drawn, U = 1e+09",
    ],
    (0.99, 4): [
        "r = 0.99, 30x50 draw 4, pairs in the equalities, boxed, far column inside, costs as drawn, U = 1e+12",
    ],
    (0.99, 5): [
        "r = 0.99, 40x80 draw 5, pairs in the equalities, boxed, far column inside, costs as drawn, U = 1e+12",
    ],
    (0.999999, 0): [
        "r = 0.999999, 10x15 draw 0, pairs in the equalities, boxed, far column inside, costs as drawn, U = 1e+09",
    ],
    (0.999999, 1): [
        "r = 0.999999, 15x25 draw 1, pairs in the equalities, boxed, far column inside, costs as drawn, U = 1e+09",
    ],
    (0.999999, 2): [
        "r = 0.999999, 12x20 draw 2, pairs in the limits, free, far column inside, costs as drawn, U = 1e+06",
    ],
    (0.999999, 3): [
        "r = 0.999999, 20x30 draw 3, pairs in the equalities, boxed, far column inside, costs as drawn, U = 1e+09",
    ],
    (0.999999, 4): [
        "r = 0.999999, 30x50 draw 4, pairs in the equalities, boxed, far column inside, costs as drawn, U = 1e+09",
    ],
    (0.999999, 5): [
        "r = 0.999999, 40x80 draw 5, pairs in the equalities, boxed, far column inside, costs as drawn, U = 1e+09",
    ],
    (1.5, 0): [
        "r = 1.5, 10x15 draw 0, pairs in the equalities, boxed, far column inside, costs as drawn, U = 1e+19",
    ],
    (1.5, 1): [
        "r = 1.5, 15x25 draw 1, pairs in the equalities, boxed, far column inside, costs as drawn, U = 1e+09",
    ],
    (1.5, 3): [
        "r = 1.5, 20x30 draw 3, pairs in the equalities, boxed, far column inside, costs as drawn, U = 1e+09",
    ],
    (1.5, 4): [
        "r = 1.5, 30x50 draw 4, pairs in the equalities, boxed, far column inside, costs as drawn, U = 1e+12",
    ],
    (1.5, 5): [
        "r = 1.5, 40x80 draw 5, pairs in the equalities, free, far column inside, costs as drawn, U = 1e+06",
    ],
    (3.0, 0): [
        "r = 3, 10x15 draw 0, pairs in the equalities, boxed, far column inside, costs as drawn, U = 1e+09",
        "r = 3, 10x15 draw 0, pairs in the equalities, free, far column lower, costs as drawn, U = 1e+06",
        "r = 3, 10x15 draw 0, pairs in the equalities, free, far column lower, costs as drawn, U = 1e+09",
        "r = 3, 10x15 draw 0, pairs in the equalities, free, far column lower, costs as drawn, U = 1e+12",
        "r = 3, 10x15 draw 0, pairs in the equalities, free, far column lower, costs as drawn, U = 1e+15",
        "r = 3, 10x15 draw 0, pairs in the equalities, free, far column lower, costs as drawn, U = 1e+19",
        "r = 3, 10x15 draw 0, pairs in the equalities, free, far column upper, costs as drawn, U = 1e+06",
        "r = 3, 10x15 draw 0, pairs in the equalities, free, far column upper, costs as drawn, U = 1e+09",
        "r = 3, 10x15 draw 0, pairs in the equalities, free, far column upper, costs as drawn, U = 1e+12",
        "r = 3, 10x15 draw 0, pairs in the equalities, free, far column upper, costs as drawn, U = 1e+15",
        "r = 3, 10x15 draw 0, pairs in the equalities, free, far column upper, costs as drawn, U = 1e+19",
    ],
    (3.0, 1): [
        "r = 3, 15x25 draw 1, pairs in the equalities, boxed, far column inside, costs as drawn, U = 1e+09",
    ],
    (3.0, 2): [
        "r = 3, 12x20 draw 2, pairs in the limits, free, far column inside, costs as drawn, U = 1e+06",
    ],
    (3.0, 3): [
        "r = 3, 20x30 draw 3, pairs in the equalities, boxed, far column inside, costs as drawn, U = 1e+09",
        "r = 3, 20x30 draw 3, pairs in the equalities, free, far column lower, costs as drawn, U = 1e+06",
        "r = 3, 20x30 draw 3, pairs in the equalities, free, far column lower, costs as drawn, U = 1e+09",
        "r = 3, 20x30 draw 3, pairs in the equalities, free, far column lower, costs as drawn, U = 1e+12",
        "r = 3, 20x30 draw 3, pairs in the equalities, free, far column lower, costs as drawn, U = 1e+15",
        "r = 3, 20x30 draw 3, pairs in the equalities, free, far column lower, costs as drawn, U = 1e+19",
        "r = 3, 20x30 draw 3, pairs in the equalities, free, far column upper, costs as drawn, U = 1e+06",
        "r = 3, 20x30 draw 3, pairs in the equalities, free, far column upper, costs as drawn, U = 1e+09",
        "r = 3, 20x30 draw 3, pairs in the equalities, free, far column upper, costs as drawn, U = 1e+12",
        "r = 3, 20x30 draw 3, pairs in the equalities, free, far column upper, costs as drawn, U = 1e+15",
        "r = 3, 20x30 draw 3, pairs in the equalities, free, far column upper, costs as drawn, U = 1e+19",
    ],
    (3.0, 4): [
        "r = 3, 30x50 draw 4, pairs in the equalities, boxed, far column inside, costs as drawn, U = 1e+06",
    ],
    (3.0, 5): [
        "r = 3, 40x80 draw 5, pairs in the equalities, boxed, far column inside, costs as drawn, U = 1e+09",
    ],
}

# Variants lp left without an answer (status 4) under some BLAS kernel at
# some cost scale, before it finished from the far bounds it left out of
# its first solve, in boxes of growing size, and by a ray and a point of
# the problem as given: the first (smallest U) of each such family of
# ratio, draw, rows, columns, place and sign.
WITHOUT_ANSWER = {
    (0.1, 1): [
        "r = 0.1, 15x25 draw 1, pairs in the limits, free, far column inside, costs as drawn, U = 1e+19",
    ],
    (0.1, 3): [
        "r = 0.1, 20x30 draw 3, pairs in the limits, free, far column inside, costs as drawn, U = 1e+19",
        "r = 0.1, 20x30 draw 3, pairs in the limits, free, far column inside, costs negated, U = 1e+06",
        "r = 0.1, 20x30 draw 3, pairs in the limits, free, far column upper, costs negated, U = 1e+06",
    ],
    (0.1, 5): [
        "r = 0.1, 40x80 draw 5, pairs in the limits, free, far column inside, costs negated, U = 1000",
    ],
    (0.3, 0): [
        "r = 0.3, 10x15 draw 0, pairs in the limits, free, far column inside, costs negated, U = 1e+06",
        "r = 0.3, 10x15 draw 0, pairs in the limits, free, far column upper, costs negated, U = 1e+12",
    ],
    (0.3, 3): [
        "r = 0.3, 20x30 draw 3, pairs in the limits, free, far column inside, costs negated, U = 1e+06",
        "r = 0.3, 20x30 draw 3, pairs in the limits, free, far column lower, costs negated, U = 1e+15",
        "r = 0.3, 20x30 draw 3, pairs in the limits, free, far column upper, costs negated, U = 1e+15",
    ],
    (0.3, 4): [
        "r = 0.3, 30x50 draw 4, pairs in the limits, free, far column upper, costs negated, U = 1000",
    ],
    (0.5, 0): [
        "r = 0.5, 10x15 draw 0, pairs in the limits, free, far column inside, costs negated, U = 1000",
        "r = 0.5, 10x15 draw 0, pairs in the limits, free, far column upper, costs negated, U = 1e+09",
    ],
    (0.5, 3): [
        "r = 0.5, 20x30 draw 3, pairs in the limits, free, far column inside, costs negated, U = 1000",
    ],
    (0.9, 3): [
        "r = 0.9, 20x30 draw 3, pairs in the limits, free, far column inside, costs negated, U = 1e+09",
    ],
    (0.99, 0): [
        "r = 0.99, 10x15 draw 0, pairs in the limits, free, far column inside, costs negated, U = 1e+06",
        "r = 0.99, 10x15 draw 0, pairs in the limits, free, far column upper, costs negated, U = 1000",
    ],
    (0.99, 2): [
        "r = 0.99, 12x20 draw 2, pairs in the limits, free, far column lower, costs as drawn, U = 1000",
        "r = 0.99, 12x20 draw 2, pairs in the limits, free, far column lower, costs negated, U = 1000",
    ],
    (0.99, 3): [
        "r = 0.99, 20x30 draw 3, pairs in the equalities, free, far column lower, costs negated, U = 1e+06",
        "r = 0.99, 20x30 draw 3, pairs in the equalities, free, far column upper, costs negated, U = 1e+06",
        "r = 0.99, 20x30 draw 3, pairs in the limits, free, far column inside, costs negated, U = 1000",
        "r = 0.99, 20x30 draw 3, pairs in the limits, free, far column lower, costs negated, U = 1e+12",
    ],
    (0.99, 4): [
        "r = 0.99, 30x50 draw 4, pairs in the equalities, free, far column lower, costs negated, U = 1000",
    ],
    (0.99, 5): [
        "r = 0.99, 40x80 draw 5, pairs in the equalities, free, far column inside, costs as drawn, U = 1e+19",
        "r = 0.99, 40x80 draw 5, pairs in the equalities, free, far column upper, costs as drawn, U = 1e+19",
        "r = 0.99, 40x80 draw 5, pairs in the equalities, lower only, far column inside, costs as drawn, U = 1e+19",
    ],
    (0.999999, 3): [
        "r = 0.999999, 20x30 draw 3, pairs in the limits, free, far column lower, costs negated, U = 1e+06",
        "r = 0.999999, 20x30 draw 3, pairs in the limits, free, far column upper, costs negated, U = 1e+15",
    ],
    (0.999999, 4): [
        "r = 0.999999, 30x50 draw 4, pairs in the equalities, free, far column lower, costs negated, U = 1000",
        "r = 0.999999, 30x50 draw 4, pairs in the equalities, free, far column upper, costs negated, U = 1000",
    ],
    (1.5, 0): [
        "r = 1.5, 10x15 draw 0, pairs in the limits, free, far column inside, costs as drawn, U = 1e+09",
        "r = 1.5, 10x15 draw 0, pairs in the limits, free, far column inside, costs negated, U = 1e+15",
        "r = 1.5, 10x15 draw 0, pairs in the limits, free, far column upper, costs as drawn, U = 1e+09",
    ],
    (1.5, 3): [
        "r = 1.5, 20x30 draw 3, pairs in the limits, free, far column inside, costs negated, U = 1e+06",
        "r = 1.5, 20x30 draw 3, pairs in the limits, free, far column upper, costs negated, U = 1e+06",
    ],
    (3.0, 0): [
        "r = 3, 10x15 draw 0, pairs in the equalities, free, far column inside, costs as drawn, U = 1e+06",
        "r = 3, 10x15 draw 0, pairs in the equalities, free, far column lower, costs negated, U = 1e+06",
        "r = 3, 10x15 draw 0, pairs in the equalities, free, far column upper, costs as drawn, U = 1e+06",
        "r = 3, 10x15 draw 0, pairs in the limits, free, far column lower, costs negated, U = 1e+19",
    ],
    (3.0, 1): [
        "r = 3, 15x25 draw 1, pairs in the limits, free, far column upper, costs negated, U = 1000",
    ],
    (3.0, 3): [
        "r = 3, 20x30 draw 3, pairs in the equalities, free, far column inside, costs as drawn, U = 1e+06",
        "r = 3, 20x30 draw 3, pairs in the equalities, free, far column upper, costs as drawn, U = 1e+09",
        "r = 3, 20x30 draw 3, pairs in the equalities, lower only, far column inside, costs as drawn, U = 1e+19",
    ],
    (3.0, 4): [
        "r = 3, 30x50 draw 4, pairs in the equalities, free, far column inside, costs negated, U = 1e+12",
    ],
}
for key, names in WITHOUT_ANSWER.items():
    KEPT.setdefault(key, []).extend(w for w in names if w not in KEPT.get(key, []))


def draw(r, k):
    """Draw k of ratio r's stream: a bounded random problem (one to four
    boxed free columns, two to eight equalities) and one to three pairs,
    each a column a with its costs (c_a, the cost of the ray r c_a + c_b)."""
    rng = np.random.default_rng([STREAMS[r], k])
    m, n = SHAPES[k % len(SHAPES)]
    neq = [2, 4, 8][k % 3] if m >= 20 else [2, 4][k % 2]
    density = [0.25, 1, 0.4, 0.1][k % 4] if m >= 30 else [0.25, 1, 0.4][k % 3]
    A, b, c, pattern = random_problem(m, n, neq, 1 + k % 4, density, gen=rng)
    pairs = []
    for _ in range(1 + k % 3):
        a = (rng.normal(size=m) * (rng.random(m) < max(density, 0.3))).round(3)
        pairs.append((a, int(rng.integers(0, neq)), int(rng.integers(neq, m)), float(rng.uniform(-1, 1)),
                      float(rng.uniform(0.1, 1))))
    return "%dx%d" % (m, n), A, b, c, pattern, neq, pairs


def variant(r, base, rows, columns, place, sign, U):
    """The problem (A, b, c, lb, ub, neq) of one variant of a draw."""
    _, A0, b0, c0, pattern, neq, pairs = base
    m = A0.shape[0]
    lb = [-U if p == 1 else 0.0 for p in pattern]
    ub = [U for _ in pattern]
    cols, costs, extra = [A0], list(c0), []
    far_b = r < 1  # which column of a pair meets the bound first
    push = -1.0 if place == "lower" else 1.0
    for a, eq_row, limit_row, ca, gain in pairs:
        a = a.copy()
        if rows == "equalities":
            a[neq:] = 0.0
            a[eq_row] = 1.0
        else:
            a[:neq] = 0.0
            a[limit_row] = 1.0
        cols.append(np.stack([a, -r * a], axis=1))
        # Along (r, 1) the cost is r c_a + c_b = -push * gain.
        costs += [ca, -r * ca - push * gain]
        if columns == "boxed":
            lo = -U if place == "lower" else 0.0
            pair_lb, pair_ub = [lo, lo], [U, U]
        elif columns == "free":
            pair_lb, pair_ub = [-INF, -INF], [INF, INF]
            far = 1 if far_b else 0
            if place == "upper":
                pair_ub[far] = U
            elif place == "lower":
                pair_lb[far] = -U
        else:
            pair_lb, pair_ub = [-U, -U], [INF, INF]
        lb += pair_lb
        ub += pair_ub
        if place == "inside":
            extra.append(len(costs) - (1 if far_b else 2))
    A = np.concatenate(cols, axis=1)
    b = np.array(b0, dtype=float)
    if extra:
        # x_far <= U/2 for each pair, rows of size 1 at the far value.
        R = np.zeros((len(extra), A.shape[1]))
        for i, j in enumerate(extra):
            R[i, j] = 1.0
        A = np.concatenate([A, R], axis=0)
        b = np.concatenate([b, np.full(len(extra), U / 2)])
    return A, b, sign * np.array(costs), np.array(lb), np.array(ub), neq


def name(r, k, base, rows, columns, place, sign):
    return "r = %r, %s draw %s, pairs in the %s, %s, far column %s, costs %s" % (
        r, base[0], k, rows, columns, place, "as drawn" if sign > 0 else "negated")


def references(r, base, rows, columns, place, sign):
    """(U, status, optimum) per U of BOUNDS, None where there is no sound
    reference. HiGHS runs in a child process: on some of these problems it
    aborts (std::length_error), which leaves those variants without one."""
    read, write = os.pipe()
    pid = os.fork()
    if pid == 0:
        os.close(read)
        try:
            text = repr(highs_references(r, base, rows, columns, place, sign))
        except BaseException as e:  # noqa: B902
            text = repr(("error", str(e)))
        with os.fdopen(write, "w") as out:
            out.write(text)
        os._exit(0)
    os.close(write)
    with os.fdopen(read) as inp:
        text = inp.read()
    os.waitpid(pid, 0)
    got = eval(text, {"inf": INF, "nan": float("nan")}) if text else None
    if not isinstance(got, list):
        print("HiGHS failed:", name(r, None, base, rows, columns, place, sign), got, file=sys.stderr)
        return [(U, None, 0.0) for U in BOUNDS]
    return got


def highs_references(r, base, rows, columns, place, sign):
    refs = []
    for U in BOUNDS:
        A, b, c, lb, ub, neq = variant(r, base, rows, columns, place, sign, U)
        s, f = highs(c, A, b, lb, ub, neq)
        if s == 2 and highs(0 * c, A, b, lb, ub, neq)[0] == 1:
            # HiGHS's presolve says "infeasible or unbounded" as status 2;
            # a point that meets the rows makes it a ray.
            s = 3
        refs.append((s, f))
    out = []
    line = None
    (s6, f6), (s9, f9), (s12, f12) = refs[1:4]
    if s6 == s9 == s12 == 1:
        slope = (f12 - f9) / (1e12 - 1e9)
        if abs(f9 + slope * (1e6 - 1e9) - f6) <= 1e-7 * max(1.0, abs(f6)):
            line = lambda U: f12 + slope * (U - 1e12)  # noqa: E731
    for U, (s, f) in zip(BOUNDS, refs):
        if U >= 1e15 and line is not None:
            if s is None:
                s, f = 1, line(U)
            elif s != 1 or abs(f - line(U)) > 1e-7 * abs(line(U)):
                s = None
        elif U >= 1e15 and s12 in (2, 3) and s in (None, 2):
            # No point, or a ray, at 1e12 is one at every larger U (every
            # variant has a point by construction: the draw's own, with the
            # pairs at 0); at 1e19 HiGHS says "infeasible" of some rays.
            s = s12
        out.append((U, s, f))
    return out


def variants_of(r, k, keep=None):
    base = draw(r, k)
    for rows in ROWS:
        for columns in COLUMNS:
            for place in PLACES:
                for sign in SIGNS:
                    label = name(r, k, base, rows, columns, place, sign)
                    if keep is not None and not any(w.startswith(label + ",") for w in keep):
                        continue
                    for U, s, f in references(r, base, rows, columns, place, sign):
                        full = "%s, U = %g" % (label, U)
                        if keep is not None and full not in keep and label not in keep:
                            continue
                        if s is None:
                            print("no reference:", full, file=sys.stderr)
                            continue
                        yield full, variant(r, base, rows, columns, place, sign, U), s, f


def line_of(full, problem, s, f):
    A, b, c, lb, ub, neq = problem
    fmt = lambda v: " ".join(repr(float(t)) for t in v)  # noqa: E731
    return "%s|%d %d %d|%s|%s|%s|%s|%s|%d|%r" % (full, A.shape[0], A.shape[1], neq, fmt(A.flatten(order="F")),
                                                fmt(b), fmt(c), fmt(lb), fmt(ub), s, f if s == 1 else 0.0)


if __name__ == "__main__":
    if sys.argv[1:2] == ["--all"]:
        with open(sys.argv[2], "w") as out:
            for r in RATIOS:
                for k in range(DRAWS):
                    for full, problem, s, f in variants_of(r, k):
                        out.write(line_of(full, problem, s, f) + "\n")
        sys.exit(0)
    rows = []
    for (r, k), keep in sorted(KEPT.items()):
        r = RATIOS[RATIOS.index(r)]  # 3.0 as 3, the names' own spelling
        for full, (A, b, c, lb, ub, neq), s, f in variants_of(r, k, keep):
            rows.append('{"%s", %d, %d, %d, %s, %s, %s, %s, %s, %d, %r},' % (
                full, A.shape[0], A.shape[1], neq, cxx(A.flatten(order="F")), cxx(b), cxx(c), cxx(lb), cxx(ub),
                s, f if s == 1 else 0.0))
    with open(os.path.join(ROOT, "tests", "optim", "data", "lp_pairs_ratios.inc"), "w") as out:
        out.write("// Generated by tools/reference/lp_pairs_ratios.py (scipy linprog, HiGHS); do not edit.\n")
        out.write("// name, m, n, neq, A (column-major), b, c, lb, ub, status (1 ok, 2 infeasible, 3 unbounded), "
                  "optimum\n")
        for row in rows:
            out.write(row + "\n")
    print(len(rows), "cases")
