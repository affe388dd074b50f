#!/usr/bin/python3
"""Optima of quadratic programmes and constrained least-squares fits whose
constraint rows repeat (a row given twice, a multiple of a row, a sum of
rows), for the tests that run qp and conls under many random states.
Each optimum is found by scipy's SLSQP on the same feasible set (the
equality rows that repeat left out), then made exact by one KKT solve on
the rows SLSQP leaves binding, and checked: every row kept, every
multiplier of a binding inequality non-negative, the gradient balanced
(such a point of a convex programme is its optimum). Where SLSQP stops
short with a wrong binding set, every set of independent rows is tried.
Usage: tools/reference/qp_repeated_rows.py > tests/optim/data/qp_repeated_rows.inc
"""
import itertools

import numpy as np
import scipy
from scipy.linalg import qr
from scipy.optimize import minimize

rng = np.random.default_rng(67)


def independent_rows(E, tol=1e-10):
    """Indices of a largest set of independent rows of E."""
    if E.shape[0] == 0:
        return np.array([], dtype=int)
    _, R, piv = qr(E.T, pivoting=True, mode="economic")
    d = np.abs(np.diag(R))
    rank = int(np.sum(d > tol * max(1.0, d[0])))
    return np.sort(piv[:rank])


def rows_and_bounds(A, b, neq, lb, ub):
    """The equality block and every inequality row g x <= h, bounds included."""
    n = A.shape[1]
    E, e = A[:neq], b[:neq]
    G, h = [A[neq:]], [b[neq:]]
    if len(lb):
        G.append(-np.eye(n)[:len(lb)])
        h.append(-np.asarray(lb))
    if len(ub):
        G.append(np.eye(n)[:len(ub)])
        h.append(np.asarray(ub))
    return E, e, np.vstack(G), np.concatenate(h)


def kkt_on(H, f, Ek, ek, G, h, rows):
    """The KKT point on the equalities and the inequality rows given, or
    None when those rows add no independent direction each or the point
    is not the optimum (a row broken, a multiplier negative)."""
    B = np.vstack([Ek, G[rows]]) if len(rows) else Ek
    if len(independent_rows(B)) < B.shape[0]:
        return None
    c = np.concatenate([ek, h[rows]])
    k = B.shape[0]
    K = np.block([[H, B.T], [B, np.zeros((k, k))]])
    s = np.linalg.solve(K, np.concatenate([-f, c]))
    x, y = s[:H.shape[0]], s[H.shape[0]:]
    if np.any(y[Ek.shape[0]:] < -1e-10) or np.any(G @ x - h > 1e-12 * (1 + np.abs(h))):
        return None
    assert np.linalg.norm(H @ x + f + B.T @ y) <= 1e-10 * (1 + np.linalg.norm(f))
    return x


def optimum(H, f, A, b, neq, lb=(), ub=()):
    E, e, G, h = rows_and_bounds(A, b, neq, lb, ub)
    keep = independent_rows(E)
    Ek, ek = E[keep], e[keep]
    x0 = np.linalg.lstsq(Ek, ek, rcond=None)[0] if len(keep) else np.zeros(H.shape[0])
    cons = [{"type": "ineq", "fun": lambda x: h - G @ x, "jac": lambda x: -G}] if len(h) else []
    if len(keep):
        cons.append({"type": "eq", "fun": lambda x: Ek @ x - ek, "jac": lambda x: Ek})
    res = minimize(lambda x: 0.5 * x @ H @ x + f @ x, x0, jac=lambda x: H @ x + f, constraints=cons,
                   method="SLSQP", options={"ftol": 1e-12, "maxiter": 1000})
    # The rows SLSQP leaves binding, less the ones that repeat a direction.
    binding = []
    for r in np.where(h - G @ res.x < 1e-7 * (1 + np.abs(h)))[0]:
        trial = np.vstack([Ek, G[binding + [r]]])
        if len(independent_rows(trial)) == trial.shape[0]:
            binding.append(int(r))
    x = kkt_on(H, f, Ek, ek, G, h, binding)
    if x is None:
        # SLSQP stopped short with a wrong binding set: try every set of
        # independent rows (H is positive definite, so one set gives the
        # optimum).
        free = H.shape[0] - len(keep)
        for size in range(free + 1):
            for rows in itertools.combinations(range(len(h)), size):
                x = kkt_on(H, f, Ek, ek, G, h, list(rows))
                if x is not None:
                    break
            if x is not None:
                break
    assert x is not None
    assert np.all(np.abs(E @ x - e) <= 1e-12 * (1 + np.abs(e)))
    return x, 0.5 * x @ H @ x + f @ x


def convex(n, shift=0.1):
    M = rng.standard_normal((n, n))
    return M @ M.T + shift * np.eye(n)


def fmt(v):
    return "{%s}" % ", ".join(repr(float(t)) for t in np.ravel(np.asarray(v, dtype=float), order="F"))


n = 8
qp_cases = []
convex_cases = []

# Equality rows a1, a2, 2 a1 (consistent) and four inequality rows.
H, f = convex(n), rng.standard_normal(n) * 3
a = rng.standard_normal((2, n))
xf = rng.standard_normal(n) * 0.3
Aeq = np.vstack([a, 2 * a[0]])
beq = Aeq @ xf
G = rng.standard_normal((4, n))
x_eq, _ = optimum(H, f, Aeq, beq, 3)
qp_cases.append(("a1, a2, 2 a1; the optimum inside four rows", H, f, np.vstack([Aeq, G]),
                 np.concatenate([beq, G @ x_eq + 1.0]), 3, [], [], "ok"))
qp_cases.append(("a1, a2, 2 a1; two of four rows bind", H, f, np.vstack([Aeq, G]),
                 np.concatenate([beq, G @ x_eq + np.array([-0.5, -0.3, 1.0, 1.0])]), 3, [], [], "ok"))

# A row given twice, in a box that binds.
H, f = convex(n), rng.standard_normal(n) * 6
a = rng.standard_normal((2, n))
Aeq = np.vstack([a[0], a[0], a[1]])
beq = Aeq @ (rng.standard_normal(n) * 0.2)
G = rng.standard_normal((2, n))
qp_cases.append(("a1, a1, a2 in the box [-0.5, 0.5]", H, f, np.vstack([Aeq, G]),
                 np.concatenate([beq, G @ np.zeros(n) + 2.0]), 3, [-0.5] * n, [0.5] * n, "ok"))

# The third equality row the sum of the first two.
H, f = convex(n), rng.standard_normal(n) * 3
a = rng.standard_normal((2, n))
Aeq = np.vstack([a, a[0] + a[1]])
beq = Aeq @ (rng.standard_normal(n) * 0.3)
G = rng.standard_normal((3, n))
qp_cases.append(("a1, a2, a1 + a2", H, f, np.vstack([Aeq, G]), np.concatenate([beq, np.full(3, 0.2)]), 3, [], [],
                 "ok"))

# An inequality row three times (once scaled by 3), binding at the optimum.
H, f = convex(n), rng.standard_normal(n) * 3
G = rng.standard_normal((4, n))
x_free = np.linalg.solve(H, -f)
h = G @ x_free + np.array([-1.0, 1.0, 1.0, 1.0])
Gr = np.vstack([G[0], G[0], 3 * G[0], G[1:]])
hr = np.concatenate([[h[0], h[0], 3 * h[0]], h[1:]])
qp_cases.append(("g1, g1, 3 g1, g2, g3, g4 with g1 binding", H, f, Gr, hr, 0, [], [], "ok"))

# Repeated rows of both kinds, and bounds.
H, f = convex(n), rng.standard_normal(n) * 4
a = rng.standard_normal((2, n))
Aeq = np.vstack([a[0], 2 * a[0], a[1]])
beq = Aeq @ (rng.standard_normal(n) * 0.2)
G = rng.standard_normal((2, n))
Gr = np.vstack([G[0], G[0], G[1]])
x_g2, _ = optimum(H, f, np.vstack([Aeq, G[1]]), np.concatenate([beq, [0.5]]), 3, [-1.0] * n, [1.0] * n)
hr = np.array([G[0] @ x_g2 - 0.3, G[0] @ x_g2 - 0.3, 0.5])  # g1 binds
qp_cases.append(("a1, 2 a1, a2 with g1, g1, g2 in [-1, 1]", H, f, np.vstack([Aeq, Gr]), np.concatenate([beq, hr]), 3,
                 [-1.0] * n, [1.0] * n, "ok"))

# Strictly convex, six rows far away: never unbounded. The generators'
# seeds pick problems that qp once called unbounded under one random state
# ('state' 2, 3 and 7).
for seed in (37, 90):
    g = np.random.default_rng(seed)
    M = g.standard_normal((n, n))
    H = M @ M.T + 0.1 * np.eye(n)
    f = g.standard_normal(n) * 2
    G = g.standard_normal((6, n))
    convex_cases.append(("strictly convex (%d), six rows at 1000" % seed, H, f, G, np.full(6, 1000.0), 0, [], [], "ok"))

# A row repeated inconsistently: no feasible point.
H, f = convex(n), rng.standard_normal(n)
a = rng.standard_normal((2, n))
Aeq = np.vstack([a, 2 * a[0]])
beq = Aeq @ (rng.standard_normal(n) * 0.3)
beq[2] += 1.0
G = rng.standard_normal((4, n))
qp_cases.append(("a1, a2, 2 a1 inconsistent", H, f, np.vstack([Aeq, G]), np.concatenate([beq, np.full(4, 5.0)]), 3, [],
                 [], "infeasible"))

# Constrained least squares: a fit of 6 coefficients to 14 points.
conls_cases = []
C = rng.standard_normal((14, 6))
d = rng.standard_normal(14) * 2
g = rng.standard_normal((2, 6))
Geq = np.vstack([g[0], g[0], g[1]])
heq = Geq @ (rng.standard_normal(6) * 0.3)
Gi = rng.standard_normal((2, 6))
conls_cases.append(("g1, g1, g2 and two rows", C, d, np.vstack([Geq, Gi]), np.concatenate([heq, [0.1, -0.1]]), 3,
                    [], []))
C = rng.standard_normal((14, 6))
d = rng.standard_normal(14) * 2
g = rng.standard_normal((2, 6))
Geq = np.vstack([g[0], g[1], -3 * g[0]])
heq = Geq @ (rng.standard_normal(6) * 0.3)
Gi = rng.standard_normal((2, 6))
x_box, _ = optimum(C.T @ C, -(C.T @ d), np.vstack([Geq, Gi[1]]), np.concatenate([heq, [0.3]]), 3, [-0.4] * 6,
                   [0.4] * 6)
h0 = Gi[0] @ x_box - 0.1  # the row given twice binds
conls_cases.append(("g1, g2, -3 g1 and a row given twice, in [-0.4, 0.4]", C, d,
                    np.vstack([Geq, Gi[0], Gi[0], Gi[1]]), np.concatenate([heq, [h0, h0, 0.3]]), 3, [-0.4] * 6,
                    [0.4] * 6))

print("// Generated by tools/reference/qp_repeated_rows.py (scipy %s, numpy %s)." % (scipy.__version__,
                                                                                    np.__version__))
print("struct qp_repeated_case { const char* name; int n, rows, neq; std::vector<double> H, f, A, b, lb, ub;"
      " const char* how; std::vector<double> x; double fval; };")
for array, cases in (("qp_repeated_cases", qp_cases), ("qp_strictly_convex_cases", convex_cases)):
    print("const std::vector<qp_repeated_case> %s = {" % array)
    for name, H, f, A, b, neq, lb, ub, how in cases:
        x, fval = optimum(H, f, A, b, neq, lb, ub) if how == "ok" else ([], None)
        print('    {"%s", %d, %d, %d, %s, %s, %s, %s, %s, %s, "%s", %s, %s},' % (
            name, H.shape[0], A.shape[0], neq, fmt(H), fmt(f), fmt(A), fmt(b), fmt(lb), fmt(ub), how, fmt(x),
            "NAN" if fval is None else repr(float(fval))))
    print("};")
print("struct conls_repeated_case { const char* name; int m, n, rows, neq; std::vector<double> C, d, G, h, lb, ub, x;"
      " };")
print("const std::vector<conls_repeated_case> conls_repeated_cases = {")
for name, C, d, G, h, neq, lb, ub in conls_cases:
    x, _ = optimum(C.T @ C, -(C.T @ d), G, h, neq, lb, ub)
    print('    {"%s", %d, %d, %d, %d, %s, %s, %s, %s, %s, %s, %s},' % (
        name, C.shape[0], C.shape[1], G.shape[0], neq, fmt(C), fmt(d), fmt(G), fmt(h), fmt(lb), fmt(ub), fmt(x)))
print("};")
