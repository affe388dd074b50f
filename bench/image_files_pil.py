# The same PNG reads and writes through PIL, for the ratios image_files_bench
# gives against libpng: run with Debian's python3 and python3-pil, the
# pictures the benchmark writes kept:
#   NUMRUN_BENCH_KEEP_FILES=1 image_files_bench
#   /usr/bin/python3 bench/image_files_pil.py /tmp/numrun_image_files_bench_3000x4000.png
import sys
import time

from PIL import Image


def best(f, repeats=3):
    times = []
    for _ in range(repeats):
        t0 = time.perf_counter()
        f()
        times.append(time.perf_counter() - t0)
    return min(times)


name = sys.argv[1]
im = Image.open(name)
im.load()
read = best(lambda: Image.open(name).load())
write = best(lambda: im.save(name + ".pil.png"))
print(f"{name}: {im.size[0]}x{im.size[1]} read {read * 1000:.0f} ms, write {write * 1000:.0f} ms")
