#!/usr/bin/python3
# fft at awkward lengths beside numpy.fft: runs the AwkwardLength cases of
# one or more fft_bench programs (say one built with FFTW and one without),
# times numpy.fft.fft on the same data here, and prints each time as a
# multiple of numpy's. Run with Debian's python3 and python3-numpy:
#   /usr/bin/python3 bench/fft_numpy_ratios.py build/bench/fft_bench build-nofftw/bench/fft_bench
# Each time is the best of a few repetitions, so a busy machine disturbs the
# ratios less.
import json
import subprocess
import sys
import timeit

import numpy as np


def signal(n, complex_):
    # the data of signal_column in fft_bench.cpp
    j = np.arange(n)
    x = np.sin(0.001 * j) + 0.25 * np.cos(0.37 * j)
    return x + 1j * np.cos(0.002 * j) if complex_ else x


def numpy_ms(n, complex_, repeats=5):
    x = signal(n, complex_)
    f = lambda: np.fft.fft(x)
    number = 1
    while timeit.timeit(f, number=number) < 0.1:
        number *= 2
    return 1e3 * min(timeit.repeat(f, number=number, repeat=repeats)) / number


def bench_ms(program, repeats=3):
    out = subprocess.run([program, "--benchmark_filter=AwkwardLength", "--benchmark_format=json",
                          f"--benchmark_repetitions={repeats}", "--benchmark_min_time=0.1"],
                         check=True, capture_output=True, text=True).stdout
    best = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("run_type") != "iteration":
            continue
        _, n, complex_ = b["run_name"].split("/")[:3]
        key = (int(n), complex_ == "1")
        scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
        ms = b["real_time"] * scale
        if key not in best or ms < best[key][0]:
            best[key] = (ms, b.get("x_baseline", 0.0))
    return best


def main(programs):
    runs = [bench_ms(p) for p in programs]
    keys = sorted(runs[0], key=lambda k: (list(runs[0]).index(k)))
    head = f"{'length':>9} {'input':>7} {'numpy ms':>9}"
    for p in programs:
        head += f" | {p}: ms, x numpy, x FFTW"
    print(head)
    for n, complex_ in keys:
        ref = numpy_ms(n, complex_)
        line = f"{n:>9} {'complex' if complex_ else 'real':>7} {ref:9.3f}"
        for r in runs:
            ms, base = r[(n, complex_)]
            line += f" | {ms:9.3f} {ms / ref:6.2f} {base:6.2f}"
        print(line, flush=True)


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit("usage: fft_numpy_ratios.py FFT_BENCH [FFT_BENCH ...]")
    main(sys.argv[1:])
