#!/usr/bin/python3
"""The same median filters with scipy, on the signals that bench_filters dumps.

    ZELMORA_BENCH_DUMP=/tmp/zb build/release/bench/bench_filters
    /usr/bin/python3 bench/filters_scipy.py /tmp/zb   (Debian's python3 with python3-scipy)
"""
import sys
import time

import numpy as np
from scipy import ndimage, signal


def timed(fn, repeat=3):
    best = float("inf")
    for _ in range(repeat):
        t = time.perf_counter()
        fn()
        best = min(best, time.perf_counter() - t)
    return best


def main(folder):
    hour = np.fromfile(f"{folder}/hour20hz.f32", dtype=np.float32)
    ten = np.fromfile(f"{folder}/ten_million.f32", dtype=np.float32)
    # 60 s at 20 Hz: 1201 samples; at 10 Hz: 601 samples.
    print(f"hour at 20 Hz, median 1201: ndimage.median_filter "
          f"{timed(lambda: ndimage.median_filter(hour, size=1201, mode='nearest')) * 1e3:.1f} ms, "
          f"signal.medfilt {timed(lambda: signal.medfilt(hour, 1201)) * 1e3:.1f} ms")
    # signal.medfilt sorts every window: minutes on 10^7 samples, so it is
    # timed on the first 10^6 only.
    print(f"10^7 samples, median 601: ndimage.median_filter "
          f"{timed(lambda: ndimage.median_filter(ten, size=601, mode='nearest'), 1):.2f} s, "
          f"signal.medfilt on 10^6 {timed(lambda: signal.medfilt(ten[:1000000], 601), 1):.2f} s")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "/tmp")
