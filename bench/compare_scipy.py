#!/usr/bin/python3
"""Automatic marking of Zelmora next to a scipy peak pipeline on the same data.

The traces are written by Zelmora's own generator (zelmora-cli synth --raw):
Gaussian peaks of 10 mV and sigma 0.02 min, one per 500 samples of 0.001 min,
on a level of 1 mV with white noise of 0.02 mV (seed 5) -- the traces that
bench_marking builds in memory. The scipy pipeline is find_peaks (prominence
and distance), peak_widths at the base and trapezoid areas above the chord
between the two base points. Zelmora's figures come from bench_marking in the
same run. The machine is shared: every figure is the smallest of repeated
runs. 1e8 among the sizes runs bench_marking's BM_DetectAndIntegrateLarge
(400 MB of samples; scipy needs about 2.4 GB for its float64 copy and sums).

Usage: bench/compare_scipy.py BUILD_DIR [SIZES...]
"""
import json
import os
import subprocess
import sys
import tempfile
import time

import numpy as np
from scipy.signal import find_peaks, peak_widths

DT = 0.001


def scipy_pipeline(y):
    peaks, _ = find_peaks(y, prominence=1.0, distance=40)
    _, _, left, right = peak_widths(y, peaks, rel_height=0.999)
    # Trapezoid areas from a running sum, less the chord between the bounds.
    c = np.concatenate(([0.0], np.cumsum((y[1:] + y[:-1]) * 0.5, dtype=np.float64)))
    l = np.floor(left).astype(np.int64)
    r = np.ceil(right).astype(np.int64)
    area = (c[r] - c[l]) * DT - (r - l) * DT * (y[l] + y[r]) * 0.5
    return peaks, area


def best_of(f, repeat):
    best = None
    for _ in range(repeat):
        t = time.perf_counter()
        result = f()
        elapsed = time.perf_counter() - t
        best = elapsed if best is None else min(best, elapsed)
    return best, result


def zelmora_times(bench, sizes, repetitions, two_threads=False):
    """Smallest wall and CPU time of bench_marking per size, with its counters
    (on one thread, or on two: then the CPU time is both threads')."""
    zel = {}
    wanted = [n for n in sizes if n <= 10**7]
    suffix = "TwoThreads" if two_threads else ""
    runs = []
    if wanted:
        runs.append(("BM_DetectAndIntegrate" + suffix + "/", repetitions))
    if 10**8 in sizes:
        runs.append(("BM_DetectAndIntegrateLarge" + suffix + "/", 2))
    for name, reps in runs:
        out = subprocess.run([bench, "--benchmark_filter=" + name,
                              "--benchmark_format=json",
                              "--benchmark_repetitions=" + str(reps)],
                             check=True, capture_output=True, text=True).stdout
        for b in json.loads(out)["benchmarks"]:
            if b.get("run_type") != "iteration":
                continue
            n = int(b["run_name"].split("/")[1])
            wall, cpu = b["real_time"] / 1e3, b["cpu_time"] / 1e3
            extra = b.get("extra_MB", 0)
            old = zel.get(n)
            if old:
                wall, cpu, extra = min(wall, old[0]), min(cpu, old[1]), max(extra, old[3])
            zel[n] = (wall, cpu, b.get("peaks", 0), extra)
    return zel


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build/release"
    sizes = [int(float(s)) for s in sys.argv[2:]] or [10**4, 10**5, 10**6, 10**7]
    cli = os.path.join(build, "cli", "zelmora-cli")
    bench = os.path.join(build, "bench", "bench_marking")
    zel = zelmora_times(bench, sizes, 5)
    zel2 = zelmora_times(bench, sizes, 5, two_threads=True)
    print("Minimum of repeated runs (Zelmora 5, scipy 3; 2 each at 10^8).")
    print("| samples | peaks (Zelmora) | Zelmora wall s | Zelmora CPU s | CPU ns/sample | "
          "extra MB | peaks (scipy) | scipy s | Zelmora CPU / scipy | Zelmora wall / scipy | "
          "2 threads wall s | 2 threads CPU s |")
    print("|---|---|---|---|---|---|---|---|---|---|---|---|")
    with tempfile.TemporaryDirectory() as tmp:
        env = dict(os.environ, ZELMORA_HOME=os.path.join(tmp, "home"))
        for n in sizes:
            raw = os.path.join(tmp, "trace.f32")
            subprocess.run([cli, "synth", os.path.join(tmp, "trace.stg"), "--samples", str(n),
                            "--peaks", str(n // 500), "--dt", str(DT), "--sigma", "0.02",
                            "--noise", "0.02", "--seed", "5", "--raw", raw],
                           check=True, capture_output=True, env=env)
            os.remove(os.path.join(tmp, "trace.stg"))
            y = np.fromfile(raw, dtype="<f4").astype(np.float64)
            seconds, (peaks, _) = best_of(lambda: scipy_pipeline(y), 3 if n < 10**7 else 2)
            del y
            wall, cpu, found, extra = zel.get(n, (float("nan"), float("nan"), 0, 0))
            wall2, cpu2, _, _ = zel2.get(n, (float("nan"), float("nan"), 0, 0))
            print(f"| {n:.0e} | {found:.0f} | {wall:.4f} | {cpu:.4f} | {cpu / n * 1e9:.1f} | "
                  f"{extra:.1f} | {len(peaks)} | {seconds:.4f} | {cpu / seconds:.3f} | "
                  f"{wall / seconds:.3f} | {wall2:.4f} | {cpu2:.4f} |", flush=True)


if __name__ == "__main__":
    main()
