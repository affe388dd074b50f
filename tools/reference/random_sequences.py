#!/usr/bin/python3
# Reference draws for tests/array/random_test.cpp, computed with Python's exact
# integers and IEEE doubles, independently of the C++ kernels: the uniform
# 'state' generator from its reset table, the Park-Miller 'seed' generators
# and the normal 'state' generator with the path each draw took.
import math
import re
import struct

here = __file__.rsplit("/", 3)[0]
rows = re.findall(r"\{0x([0-9A-F]+)u, 0x([0-9A-F]+)u\}", open(here + "/src/array/uniform_reset_table.inc").read())
assert len(rows) == 32

M32 = 0xFFFFFFFF


def as_double(bits):
    return struct.unpack("<d", struct.pack("<Q", bits))[0]


def as_bits(x):
    return struct.unpack("<Q", struct.pack("<d", x))[0]


def uniform_state(seed_j):
    x = []
    for k, (hi, lo) in enumerate(rows):
        key = (k * 0x08020101) & M32
        x.append(as_double(((int(hi, 16) ^ key) << 32) | (int(lo, 16) ^ key)))
    return {"x": x, "i": 0, "borrow": 0, "j": seed_j}


def uniform_next(g):
    i = g["i"]
    x = g["x"]
    v = x[(i + 20) % 32] - x[(i + 5) % 32]
    if g["borrow"]:
        v -= 2.0 ** -53
    g["borrow"] = 1 if v < 0 else 0
    if g["borrow"]:
        v += 1.0
    x[i] = v
    g["i"] = (i + 1) % 32
    j_old = g["j"]
    j = (j_old ^ (j_old << 13)) & M32
    j ^= j >> 17
    j = (j ^ (j << 5)) & M32
    g["j"] = j
    return as_double(as_bits(v) ^ j_old ^ ((j & 0xFFFFF) << 32))


def seed_to_state(y):
    d = int(y) & M32
    if d == 0:
        d = 931316785
    if d & 0x8000:
        d ^= 0x80008000
    return float(((d >> 16) | (d << 16)) & M32)


def park_miller(s):
    return math.fmod(16807.0 * s, 2147483647.0)


V = [0.68189, 0.9146292, 1.0795586, 1.2124854, 1.3263382, 1.427395, 1.519225, 1.6040712, 1.6834454,
     1.7584204, 1.8297896, 1.8981582, 1.964001, 2.0276984, 2.089562, 2.1498508, 2.2087834, 2.2665476,
     2.323306, 2.379202, 2.434363, 2.4889032, 2.542927, 2.59653, 2.6498016, 2.702825, 2.7556798,
     2.8084422, 2.8611858, 2.913983, 2.9669054, 3.0200244, 3.0734122, 3.1271424, 3.1812908, 3.235936,
     3.2911604, 3.347051, 3.4037006, 3.461209, 3.5196844, 3.5792446, 3.6400198, 3.702154, 3.7658088,
     3.8311662, 3.8984332, 3.9678478, 4.0396862, 4.1142712, 4.191986, 4.27329, 4.3587426, 4.449035,
     4.5450372, 4.6478676, 4.7590016, 4.8804436, 5.0150234, 5.1669316, 5.3427832] + [5.5539884] * 4
D = [round(V[k + 1] - V[k], 7) for k in range(64)]
W = [V[k + 1] * 2.0 ** -32 for k in range(64)]


class Normal:
    def __init__(self):
        self.x, self.y = 362436069, 521288629

    def step(self):
        self.x = (69069 * self.x + 1234567) & M32
        y = self.y
        y = (y ^ (y << 13)) & M32
        y ^= y >> 17
        y = (y ^ (y << 5)) & M32
        self.y = y
        t = (self.x + self.y) & M32
        return t - (1 << 32) if t >= 1 << 31 else t

    def draw(self):
        t = self.step()
        k = t & 63
        r = t * W[k]
        a = 2 * abs(r)
        if a <= V[k]:
            return r, "rectangle"
        w = (V[k + 1] - a) / D[k]
        u = self.step() * 2.0 ** -32 + 0.5
        c = 1 - u
        q = c + w
        z = 0.4878992 * w
        signed_z = -z if r < 0 else z
        if q <= 0.698802:
            return signed_z, "wedge, low"
        if q >= 1.0310721:
            return r, "wedge, high"
        if 12.37586 * math.exp(-z * z / 2) > c + 11.67706:
            return signed_z, "wedge, density"
        if math.exp(-V[k + 1] ** 2 / 8) + 0.03916606 * u / V[k + 1] <= math.exp(-a * a / 8):
            return r, "wedge, bound"
        while True:
            l = math.log(self.step() * 2.0 ** -32 + 0.5)
            m = math.log(self.step() * 2.0 ** -32 + 0.5)
            if -15.423391352072002 * m >= l * l:
                break
        return (2.776994 - 0.3601016062692249 * l if r >= 0 else 0.3601016062692249 * l - 2.776994), "tail"


print("uniform 'state' after seed 0 (j = 0x80000000), draws 1..6:")
g = uniform_state(0x80000000)
print("  " + ", ".join(float(uniform_next(g)).hex() for _ in range(6)))
print("uniform 'state' after seed 7, draws 1..3:")
g = uniform_state(7)
print("  " + ", ".join(float(uniform_next(g)).hex() for _ in range(3)))
g = uniform_state(0x80000000)
for _ in range(1000):
    uniform_next(g)
print("uniform 'state' after seed 0, draw 1001:", float(uniform_next(g)).hex())

print("uniform 'seed' 12345, draws 1..3:")
s = seed_to_state(12345)
out = []
for _ in range(3):
    s = park_miller(s)
    out.append(float(s * 4.656612875245797e-10).hex())
print("  " + ", ".join(out))

print("normal 'seed' 12345, draws 1..3:")
s = seed_to_state(12345)
out = []
while len(out) < 3:
    s = park_miller(s)
    g1 = 2 * (s * 4.656612875245797e-10) - 1
    s = park_miller(s)
    h1 = 2 * (s * 4.656612875245797e-10) - 1
    w = g1 * g1 + h1 * h1
    if 0 < w <= 1:
        out.append(float(g1 * math.sqrt(-2 * math.log(w) / w)).hex())
print("  " + ", ".join(out))

print("normal 'state' from load: first draw of each path (draw number, value):")
n = Normal()
seen = {}
for k in range(1, 200001):
    v, path = n.draw()
    if path not in seen:
        seen[path] = (k, v)
for path, (k, v) in sorted(seen.items(), key=lambda e: e[1][0]):
    print("  {%d, %s},  // %s" % (k, float(v).hex(), path))
