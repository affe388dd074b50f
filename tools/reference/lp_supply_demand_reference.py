#!/usr/bin/python3
"""Optima of small supply-and-demand problems (the shape of the timed ones
in lp_transport_times.py: demand rows as equalities first, supply rows as
<= with 20% spare supply, x >= 0) by scipy's linprog(method='highs'), for
LpSparseProblems.SupplyAndDemandReachTheReferenceOptimum in
tests/optim/lp_sparse_test.cpp; then balanced ones (no spare supply, the
supply rows equalities too, so the rows of each connected part sum to the
same total and one of them is dependent). Prints the C++ table rows:
sources, sinks, arcs, seed, balanced, optimum.
"""
import scipy.sparse
from scipy.optimize import linprog

from lp_transport_times import make_supply_demand

for sources, sinks, arcs, seed, balanced in [(3, 5, 12, 1, 0), (20, 30, 100, 2, 0), (40, 60, 200, 3, 0),
                                             (200, 300, 1000, 4, 0), (400, 600, 2000, 5, 0),
                                             (1000, 1500, 5000, 61, 0), (20, 30, 100, 6, 1), (400, 600, 2000, 7, 1),
                                             (1000, 1500, 5000, 8, 1)]:
    c, A_eq, b_eq, A_ub, b_ub = make_supply_demand(sources, sinks, arcs, seed, 1.0 if balanced else 1.2)
    if balanced:
        r = linprog(c, A_eq=scipy.sparse.vstack([A_eq, A_ub]), b_eq=list(b_eq) + list(b_ub), bounds=(0, None),
                    method="highs")
    else:
        r = linprog(c, A_ub=A_ub, b_ub=b_ub, A_eq=A_eq, b_eq=b_eq, bounds=(0, None), method="highs")
    assert r.status == 0
    print("        {%d, %d, %d, %d, %s, %r}," % (sources, sinks, arcs, seed, "true" if balanced else "false",
                                              float(r.fun)))
