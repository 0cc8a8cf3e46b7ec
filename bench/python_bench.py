#!/usr/bin/env python3
"""Speed of the Python module: hysteresis.stress on a numpy float32 array of
10^7 strains against the bare library call on the same arrays (the stepper
benchmark's backbone and a history of the same kind), median processor
seconds of several runs.

    bench/python_bench.py [--library build/libhysteresis.so] [--entries N] [--runs R]

The module's call must cost at most 1.2 times the stepping; the bare call is
what the C API costs (BM_ApiFeedWorkload10M against BM_StepHistoryWorkload10M
in hysteresis_bench gives that side of the ratio).
"""
import argparse
import os
import statistics
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def job(entries):
    import numpy as np
    stress = 800.0 * np.arange(241) / 240
    ey = (stress / 206000.0 + (stress / 1184.0) ** (1.0 / 0.187)).astype(np.float32)
    sy = stress.astype(np.float32)
    rng = np.random.default_rng(1)
    i = np.arange(entries, dtype=np.float64)
    strain = np.zeros(entries)
    for _ in range(6):
        strain += 0.004 * rng.random() * np.sin((0.001 + 0.05 * rng.random()) * i
                                                + 6.283185307 * rng.random())
    # Noise smoothed by s[i] = 0.9 s[i-1] + 0.1 x[i], truncated after 200 terms.
    kernel = 0.1 * 0.9 ** np.arange(200)
    strain += np.convolve(rng.normal(0.0, 0.0015, entries), kernel)[:entries]
    strain[0] = 0.0
    return ey, sy, strain.astype(np.float32)


def median_seconds(call, runs):
    times = []
    for _ in range(runs):
        start = time.process_time()
        call()
        times.append(time.process_time() - start)
    return statistics.median(times)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--library", default=os.path.join(ROOT, "build", "libhysteresis.so"))
    parser.add_argument("--entries", type=int, default=10_000_000)
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    os.environ.setdefault("HYSTERESIS_LIBRARY", args.library)
    sys.path.insert(0, os.path.join(ROOT, "src", "python"))
    import numpy as np
    import hysteresis

    ey, sy, strain = job(args.entries)
    out = np.empty_like(strain)

    def bare():
        status = hysteresis._lib.hys_stress(len(ey) - 2, ey.ctypes.data, sy.ctypes.data,
                                            strain.ctypes.data, out.ctypes.data, len(strain))
        assert status == 0

    module_result = hysteresis.stress(ey, sy, strain)
    bare()
    assert np.array_equal(module_result.view(np.uint32), out.view(np.uint32))
    module_time = median_seconds(lambda: hysteresis.stress(ey, sy, strain), args.runs)
    bare_time = median_seconds(bare, args.runs)
    print("entries %d, median of %d runs, processor seconds" % (args.entries, args.runs))
    print("hysteresis.stress (numpy float32)  %.3f" % module_time)
    print("hys_stress, bare call              %.3f" % bare_time)
    print("ratio                              %.3f" % (module_time / bare_time))


if __name__ == "__main__":
    main()
