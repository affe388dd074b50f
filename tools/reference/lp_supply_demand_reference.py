#!/usr/bin/python3
"""Optima of small supply-and-demand problems (the shape of the timed ones
in lp_transport_times.py: demand rows as equalities first, supply rows as
<= with 20% spare supply, x >= 0) by scipy's linprog(method='highs'), for
LpSparseProblems.SupplyAndDemandReachTheReferenceOptimum in
tests/optim/lp_sparse_test.cpp. Prints the C++ table rows.
"""
from scipy.optimize import linprog

from lp_transport_times import make_supply_demand

for sources, sinks, arcs, seed in [(3, 5, 12, 1), (20, 30, 100, 2), (40, 60, 200, 3), (200, 300, 1000, 4),
                                   (400, 600, 2000, 5), (1000, 1500, 5000, 61)]:
    c, A_eq, b_eq, A_ub, b_ub = make_supply_demand(sources, sinks, arcs, seed)
    r = linprog(c, A_ub=A_ub, b_ub=b_ub, A_eq=A_eq, b_eq=b_eq, bounds=(0, None), method="highs")
    assert r.status == 0
    print("    {%d, %d, %d, %d, %r}," % (sources, sinks, arcs, seed, float(r.fun)))
