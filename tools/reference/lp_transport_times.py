#!/usr/bin/python3
"""Times and optima of scipy.optimize.linprog(method='highs-ipm') on the
transportation problems of bench/lp_bench.cpp, for the ratios printed there.

The problems come from one splitmix64 stream shared with the benchmark:
`sources` sources of equal capacity (rows: shipped <= capacity), the other
m - sources rows sinks needing 1 each (rows: -received <= -1), n routes of
cost 1 + 9 u (u uniform in [0, 1) from the stream's top 53 bits). Route j
runs from source j mod 2 to sink j div 2 when there are two sources (every
pair is a route), else from a source drawn from the stream (r mod sources)
to sink (j div (n / sinks)) mod sinks. Capacity: 0.6 * sinks with two
sources, else 100. x >= 0.

The supply-and-demand problems (make_supply_demand, splitmix64 seed 61)
put `sinks` demand rows first, as equalities (received = demand, an
integer from 1 to 10), then `sources` supply rows (shipped <= capacity),
and `arcs` columns of cost 1 + 9 u. Arc j < sinks brings sink j its demand
from source j when j < sources, else from a drawn source (r mod sources);
every later arc joins a drawn sink (r mod sinks) to a drawn source. Each
source's capacity is 1.2 times the demand of the planned arcs it serves,
so the plan is feasible with 20% spare supply. Every entry of A is 1,
x >= 0.

Run with one thread (OMP_NUM_THREADS=1 OPENBLAS_NUM_THREADS=1) while
bench/lp_bench runs in the same period; each time is the best of
`--runs` runs (five by default). Prints the C++ table rows for
bench/lp_bench.cpp.
"""
import argparse
import time

import numpy as np
from scipy.optimize import linprog
from scipy.sparse import csc_matrix

MASK = (1 << 64) - 1


class SplitMix64:
    def __init__(self, seed):
        self.state = seed & MASK

    def next(self):
        self.state = (self.state + 0x9E3779B97F4A7C15) & MASK
        z = self.state
        z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & MASK
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & MASK
        return z ^ (z >> 31)


def make(m, n, sources):
    gen = SplitMix64(2026)
    sinks = m - sources
    rows_src = np.empty(n, dtype=np.int64)
    rows_sink = np.empty(n, dtype=np.int64)
    c = np.empty(n)
    for j in range(n):
        if sources == 2:
            src = j % 2
            sink = sources + (j // 2) % sinks
        else:
            src = gen.next() % sources
            sink = sources + (j // (n // sinks)) % sinks
        rows_src[j] = src
        rows_sink[j] = sink
        c[j] = 1 + 9 * ((gen.next() >> 11) * 2.0 ** -53)
    cols = np.arange(n)
    A = csc_matrix((np.concatenate([np.ones(n), -np.ones(n)]),
                    (np.concatenate([rows_src, rows_sink]), np.concatenate([cols, cols]))), shape=(m, n))
    capacity = 0.6 * sinks if sources == 2 else 100.0
    b = np.where(np.arange(m) < sources, capacity, -1.0)
    return c, A, b


def make_supply_demand(sources, sinks, arcs, seed=61, spare=1.2):
    """c, A_eq, b_eq, A_ub, b_ub of the supply-and-demand problem; spare = 1
    with the supply rows taken as equalities gives the balanced problem."""
    gen = SplitMix64(seed)
    demand = np.array([1 + gen.next() % 10 for _ in range(sinks)], dtype=float)
    src = np.empty(arcs, dtype=np.int64)
    snk = np.empty(arcs, dtype=np.int64)
    c = np.empty(arcs)
    planned = np.zeros(sources)
    for j in range(arcs):
        if j < sinks:
            sink = j
            source = j if j < sources else gen.next() % sources
            planned[source] += demand[sink]
        else:
            sink = gen.next() % sinks
            source = gen.next() % sources
        src[j] = source
        snk[j] = sink
        c[j] = 1 + 9 * ((gen.next() >> 11) * 2.0 ** -53)
    cols = np.arange(arcs)
    A_eq = csc_matrix((np.ones(arcs), (snk, cols)), shape=(sinks, arcs))
    A_ub = csc_matrix((np.ones(arcs), (src, cols)), shape=(sources, arcs))
    return c, A_eq, demand, A_ub, spare * planned


def best_time(solve, runs):
    best = None
    for _ in range(runs):
        t0 = time.perf_counter()
        r = solve()
        t = time.perf_counter() - t0
        best = t if best is None else min(best, t)
    assert r.status == 0
    return best, float(r.fun)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--only", choices=["transport", "supply-demand"])
    args = parser.parse_args()
    if args.only != "supply-demand":
        for m, n, sources in [(5000, 9996, 2), (20000, 39996, 2), (5000, 10000, 2500)]:
            c, A, b = make(m, n, sources)
            t, fun = best_time(lambda: linprog(c, A_ub=A, b_ub=b, bounds=(0, None), method="highs-ipm"), args.runs)
            print("    {%d, %d, %d, %.4f, %r}," % (m, n, sources, t, fun))
    if args.only != "transport":
        for sources, sinks, arcs in [(2000, 3000, 10000), (8000, 12000, 40000)]:
            c, A_eq, b_eq, A_ub, b_ub = make_supply_demand(sources, sinks, arcs)
            t, fun = best_time(lambda: linprog(c, A_ub=A_ub, b_ub=b_ub, A_eq=A_eq, b_eq=b_eq, bounds=(0, None),
                                               method="highs-ipm"), args.runs)
            print("    {%d, %d, %d, %.4f, %r}," % (sources, sinks, arcs, t, fun))
