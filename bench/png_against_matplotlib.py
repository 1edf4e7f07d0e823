#!/usr/bin/python3
"""Times a 1000 x 1000 PNG map from ps_map against matplotlib drawing the same
picture (the grid of bench/ps_map_benchmark.cpp as an image of nearest cells,
grey scale, colour bar, axis labels and title, saved as an 800 x 600 PNG), in
one run, and prints both and their ratio.

    /usr/bin/python3 bench/png_against_matplotlib.py build/bench/ps_map_benchmark [SIDE]
"""
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402


def matplotlib_ms(side, runs, folder):
    x = -2.0 + 3.0 * np.arange(side, dtype=np.float32) / (side - 1)
    y = -1.5 + 3.0 * np.arange(side, dtype=np.float32) / (side - 1)
    z = np.sin(3 * x[None, :]) * np.cos(2 * y[:, None]) + x[None, :] * y[:, None]
    times = []
    for _ in range(runs + 1):
        start = time.perf_counter()
        fig, ax = plt.subplots(figsize=(8, 6), dpi=100)
        image = ax.imshow(z, origin="lower", interpolation="nearest", cmap="gray",
                          extent=(x[0], x[-1], y[0], y[-1]))
        fig.colorbar(image, ax=ax)
        ax.set_xlabel("Re(c)")
        ax.set_ylabel("Im(c)")
        ax.set_title("Benchmark")
        fig.savefig(os.path.join(folder, "matplotlib.png"))
        plt.close(fig)
        times.append((time.perf_counter() - start) * 1000)
    return statistics.median(times[1:])  # the first run loads fonts and caches


def ps_map_ms(benchmark, side, runs):
    out = subprocess.run(
        [benchmark, f"--benchmark_filter=BM_ps_map/png/{side}$",
         f"--benchmark_repetitions={runs}", "--benchmark_format=json"],
        check=True, capture_output=True, text=True).stdout
    for b in json.loads(out)["benchmarks"]:
        if b.get("aggregate_name") == "median":
            return b["real_time"]
    raise SystemExit("no median in the benchmark's output")


def main():
    benchmark = sys.argv[1]
    side = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
    runs = 9
    with tempfile.TemporaryDirectory() as folder:
        mine = ps_map_ms(benchmark, side, runs)
        theirs = matplotlib_ms(side, runs, folder)
    print(f"{side} x {side} PNG, median of {runs}: ps_map {mine:.1f} ms, "
          f"matplotlib {theirs:.1f} ms, ratio {mine / theirs:.2f}")


if __name__ == "__main__":
    main()
