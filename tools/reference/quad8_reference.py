#!/usr/bin/python3
"""Integrals for the warning cases of tests/optim/quad8_test.cpp, to 30
digits with mpmath: exp(-x^2) on [-10, 10], 1/(1 + 25x^2) on [-1, 1] and
sin(100x) on [0, 1]. Prints them; the test keeps them as data."""
import mpmath as m

m.mp.dps = 30
print("exp(-x^2) on [-10, 10]:", m.quad(lambda x: m.exp(-x * x), [-10, 0, 10]))
print("1/(1+25x^2) on [-1, 1]:", m.quad(lambda x: 1 / (1 + 25 * x * x), [-1, 0, 1]))
print("sin(100x) on [0, 1]:", m.quad(lambda x: m.sin(100 * x), m.linspace(0, 1, 33)))
