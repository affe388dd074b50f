#!/usr/bin/python3
# fft at awkward lengths beside numpy.fft: runs the AwkwardLength cases of
# one or more fft_bench programs (say one built with FFTW and one without),
# times numpy.fft.fft on the same data here, and prints each time as a
# multiple of numpy's. Run with Debian's python3 and python3-numpy:
#   /usr/bin/python3 bench/fft_numpy_ratios.py build/bench/fft_bench build-nofftw/bench/fft_bench
# Each case runs in turn in every program and in numpy, a few rounds, and
# each keeps its best time, so a machine whose load drifts disturbs the
# ratios less.
import json
import subprocess
import sys
import timeit

import numpy as np

ROUNDS = 3


def signal(n, complex_):
    # the data of signal_column in fft_bench.cpp
    j = np.arange(n)
    x = np.sin(0.001 * j) + 0.25 * np.cos(0.37 * j)
    return x + 1j * np.cos(0.002 * j) if complex_ else x


def numpy_ms(n, complex_):
    x = signal(n, complex_)
    f = lambda: np.fft.fft(x)
    number = 1
    while timeit.timeit(f, number=number) < 0.05:
        number *= 2
    return 1e3 * min(timeit.repeat(f, number=number, repeat=3)) / number


def cases(program):
    out = subprocess.run([program, "--benchmark_filter=AwkwardLength", "--benchmark_list_tests"], check=True,
                         capture_output=True, text=True).stdout
    return [line.strip() for line in out.splitlines() if line.strip()]


def bench_ms(program, case):
    out = subprocess.run([program, f"--benchmark_filter=^{case}$", "--benchmark_format=json",
                          "--benchmark_min_time=0.05"], check=True, capture_output=True, text=True).stdout
    b = json.loads(out)["benchmarks"][0]
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
    return b["real_time"] * scale, b.get("x_baseline", 0.0)


def main(programs):
    head = f"{'length':>9} {'input':>7} {'numpy ms':>9}"
    for p in programs:
        head += f" | {p}: ms, x numpy, x FFTW"
    print(head)
    for case in cases(programs[0]):
        _, n, complex_ = case.split("/")[:3]
        n, complex_ = int(n), complex_ == "1"
        best = [(float("inf"), 0.0)] * len(programs)
        ref = float("inf")
        for _ in range(ROUNDS):
            for k, p in enumerate(programs):
                best[k] = min(best[k], bench_ms(p, case))
            ref = min(ref, numpy_ms(n, complex_))
        line = f"{n:>9} {'complex' if complex_ else 'real':>7} {ref:9.3f}"
        for ms, base in best:
            line += f" | {ms:9.3f} {ms / ref:6.2f} {base:6.2f}"
        print(line, flush=True)


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit("usage: fft_numpy_ratios.py FFT_BENCH [FFT_BENCH ...]")
    main(sys.argv[1:])
