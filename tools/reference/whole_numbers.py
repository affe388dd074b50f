#!/usr/bin/python3
"""Whole numbers from 2^50 to 2^64 and beyond through the integer functions
(gcd with its Bezout coefficients, lcm, rem, mod, factor, isprime, nchoosek
and dec2bin), every result from exact integer arithmetic on Python ints and
rounded to a double once. Every argument is a double (a whole one when it
is 2^53 or more), taken as the integer it is exactly.

Writes tests/engine/data/whole_numbers.inc, one row a line:
    {"function", {arguments}, {results}, "text"}
gcd: {a, b} -> {g} and, below 2^53 where they are exact, {g, c, d} with
g = a c + b d from the extended Euclidean algorithm; lcm: {a, b} -> {l},
signed as a b; rem, mod: {a, b} -> {r}; factor: {n} -> its prime factors
(n itself for n <= 3); isprime: {n} -> {0 or 1}; nchoosek: {n, k} ->
{C(n, k)} (inf past the largest double); dec2bin: {x} -> {} and the digits.
"""
import math
import random

import cxx_rows
from cxx_rows import d


def exact(x):
    f = float(x)
    assert f == int(f)
    return int(f)


def to_double(n):
    try:
        return float(n)
    except OverflowError:
        return math.inf if n > 0 else -math.inf


def row(f, args, results, text=""):
    return '{"%s", {%s}, {%s}, "%s"},' % (f, ", ".join(d(a) for a in args), ", ".join(d(r) for r in results), text)


def bezout(a, b):
    # The library's walk: r0 = |a|, r1 = |b|, q = floor(r0 / r1).
    r0, r1, s0, s1, t0, t1 = abs(a), abs(b), 1, 0, 0, 1
    while r1:
        q = r0 // r1
        r0, r1 = r1, r0 - q * r1
        s0, s1 = s1, s0 - q * s1
        t0, t1 = t1, t0 - q * t1
    sign = lambda v: (v > 0) - (v < 0)
    return r0, sign(a) * s0, sign(b) * t0


def prime_factors(n):
    out, p = [], 2
    while n % p == 0:
        out.append(p)
        n //= p
    p = 3
    while p * p <= n:
        while n % p == 0:
            out.append(p)
            n //= p
        p += 2
    if n > 1:
        out.append(n)
    return out


def is_prime(n):
    if n < 2:
        return False
    for p in (2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37):
        if n % p == 0:
            return n == p
    dd, s = n - 1, 0
    while dd % 2 == 0:
        dd //= 2
        s += 1
    for a in (2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37):
        x = pow(a, dd, n)
        if x in (1, n - 1):
            continue
        for _ in range(s - 1):
            x = x * x % n
            if x == n - 1:
                break
        else:
            return False
    return True


rng = random.Random(68)
rows = []
t53, t64 = 2**53, 2**64

# Pairs: the issue's, powers of two and their neighbours, random pairs up
# to 2^70 (with and without a large common factor), huge ones, signs.
pairs = [(9007199254740996, 5), (9007199254741008, 9), (t53, 6), (t53 + 2, t53 - 1), (t64, 3 * 2**40),
         (t64 - 2048, t64 - 4096), (2**70, 3**30), (10**20, 6**20), (2**100, 2**90 * 3), (1e300, 1e299),
         (-(t53 + 6), 10), (t53 + 6, -10), (-(2**60), -(3 * 2**50)), (0, t64), (t64, 0), (12, 18), (-12, 18),
         (2**52 + 1, 2**52 - 1), (3 * 2**60 + 2**20, 2**31 - 1)]
for _ in range(160):
    pairs.append((exact(rng.randrange(1, 2**70)), exact(rng.randrange(1, 2**70))))
for _ in range(80):
    g = rng.randrange(2, 2**40)
    pairs.append((exact(g * rng.randrange(1, 2**30)), exact(g * rng.randrange(1, 2**30))))
for _ in range(40):
    pairs.append((exact(rng.randrange(1, 2**53)), exact(rng.randrange(1, 2**53))))
for a, b in pairs:
    a, b = exact(a), exact(b)
    g = math.gcd(a, b)
    if max(abs(a), abs(b)) <= t53:
        rows.append(row("gcd", [a, b], list(bezout(a, b))))
    else:
        rows.append(row("gcd", [a, b], [g]))
    if a and b:
        rows.append(row("lcm", [a, b], [to_double(a * b // g)]))
    if b:
        r = abs(a) % abs(b)
        rows.append(row("rem", [a, b], [-r if a < 0 else r]))
        rows.append(row("mod", [a, b], [a % b]))

# factor and isprime: powers of two times small odd parts, numbers with a
# large prime factor, and whole doubles past 2^53 (even, since every one
# is), up to 1e20 and 2^100.
for n in [t53 - 1, t53, t53 + 2, 2**53 - 111, 2**62, t64 - 2048, t64, t64 + 4096, 10**20, 2**100, 3**33,
          2**61 - 1, 6**20, 999999999989 * 2**30, 4294967291 * 4294967279, 2**31 - 1, 97, 4, 3, 1]:
    n = exact(n)
    rows.append(row("factor", [n], prime_factors(n) if n > 3 else [n]))
    rows.append(row("isprime", [n], [1 if is_prime(n) else 0]))
for _ in range(40):
    n = exact(rng.randrange(2**20, 2**45) * 2**rng.randrange(0, 40))
    rows.append(row("factor", [n], prime_factors(n)))
for n in [9007199254740881, 9007199254740847, 9007199254740997 - 6, 2**52 + 21, 2**52 + 27, 4503599627370449]:
    rows.append(row("isprime", [exact(n)], [1 if is_prime(exact(n)) else 0]))

# nchoosek past 2^64 and 2^128, up to the largest double and beyond.
for n, k in [(t64, 1), (t64, 2), (t64 - 2048, 3), (10**20, 2), (10**20, 5), (2**100, 3), (1000, 500),
             (1030, 515), (1029, 514), (200, 100), (150, 75), (t53 + 2, 2), (3e9, 3), (5e15, 4), (1e30, 10),
             (1e100, 10), (1e150, 6), (1e200, 5), (2**80, 12), (67, 33), (130, 65), (500, 20), (1100, 30)]:
    n, k = exact(n), exact(k)
    rows.append(row("nchoosek", [n, k], [to_double(math.comb(n, k))]))

# dec2bin: the digits of whole numbers past 2^53 and 2^64.
for x in [t53 - 1, t53, t53 + 2, t64 - 2048, t64, t64 + 4096, 2**70 + 2**20, 10**20, 3 * 2**90, 5]:
    x = exact(x)
    rows.append(row("dec2bin", [x], [], bin(x)[2:]))

cxx_rows.write("whole_numbers.py", "tests/engine/data", "whole_numbers.inc", rows,
               "exact integer arithmetic on Python ints, rounded to double once")
print(len(rows), "rows")
