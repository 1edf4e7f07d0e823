#!/usr/bin/python3
"""Times two Python threads each writing a SIDE x SIDE data file with
mapplot.dat_map (default 1000 x 1000) against the same two calls made one after
the other, and prints the medians of several runs and their ratio: about 0.5
where the two calls run at once on two cores, 1.0 where they take turns.

    /usr/bin/python3 bench/python_threads.py build/python [SIDE]

(the folder holding the module first). The machine may be shared: run it
when it is idle, or more than once.
"""
import os
import statistics
import sys
import tempfile
import threading
import time

RUNS = 9


def main():
    sys.path.insert(0, sys.argv[1])
    import mapplot
    import numpy as np

    side = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
    x = np.linspace(-2, 1, side, dtype=np.float32)
    y = np.linspace(-1.5, 1.5, side, dtype=np.float32)
    z = np.sin(3 * x)[:, None] * np.cos(2 * y)[None, :] + x[:, None] * y[None, :]

    with tempfile.TemporaryDirectory() as folder:
        names = [os.path.join(folder, f"{k}.dat") for k in range(2)]

        def write(name):
            mapplot.dat_map(x, y, z, file=name)

        def one_after_the_other():
            for name in names:
                write(name)

        def at_once():
            threads = [threading.Thread(target=write, args=(name,)) for name in names]
            for t in threads:
                t.start()
            for t in threads:
                t.join()

        def seconds(run):
            start = time.perf_counter()
            run()
            return time.perf_counter() - start

        # The console lines (" Output in ...") would be timed with the calls.
        sys.stdout = open(os.devnull, "w")
        seconds(one_after_the_other)  # the first run warms the caches
        times = {run: [] for run in (one_after_the_other, at_once)}
        for _ in range(RUNS):  # interleaved: a change of the machine's load hits both
            for run, measured in times.items():
                measured.append(seconds(run))
        sys.stdout = sys.__stdout__
    alone = statistics.median(times[one_after_the_other]) * 1000
    threaded = statistics.median(times[at_once]) * 1000
    print(f"two {side} x {side} data files, median of {RUNS}: one after the other "
          f"{alone:.1f} ms, two threads {threaded:.1f} ms, ratio {threaded / alone:.2f}")


if __name__ == "__main__":
    main()
