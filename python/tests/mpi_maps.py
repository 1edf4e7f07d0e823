"""Run under mpirun (3 ranks): dat_map, nc_map and ps_map with comm= and
offset= write the files the one-process calls write for the whole grid, for
blocks split along x, along y and both, a rank holding nothing; a fatal error
on one rank raises mapplot.FatalError on every rank; one NetCDF library is
loaded. Exits 1 on any difference."""

import os
import sys

import numpy as np
from mpi4py import MPI

import mapplot

comm = MPI.COMM_WORLD
rank, size = comm.Get_rank(), comm.Get_size()


def split(n, parts, k):
    return n * k // parts, n * (k + 1) // parts


# Each layout: this rank's (i0, i1, j0, j1) of an nx x ny grid.
def along_x(r, nx, ny):
    return (*split(nx, size, r), 0, ny)


def along_y(r, nx, ny):
    return (0, nx, *split(ny, size, size - 1 - r))


def both_last_empty(r, nx, ny):
    if r == size - 1:
        return (0, 0, 0, 0)
    half = ny // 2
    return (0, nx, 0, half) if r == 0 else (0, nx, half, ny)


def field(nx, ny, dtype):
    x = np.linspace(-1.0, 2.0, nx).astype(dtype)
    y = np.linspace(3.0, -1.0, ny).astype(dtype)
    i, j = np.meshgrid(np.arange(nx), np.arange(ny))
    z = (np.sin(0.3 * i) * np.cos(0.2 * j) * 10.0 ** (i % 4 - 2)).astype(dtype)
    return x, y, z


CASES = [
    # name, routine, layout, nx, ny, dtype, matrix, options
    ("dat_x", "dat_map", along_x, 7, 5, np.float32, False, {"title": "spread"}),
    ("dat_both", "dat_map", both_last_empty, 9, 6, np.float64, True, {"log": 0, "xlabel": " e"}),
    ("nc_y", "nc_map", along_y, 8, 7, np.float64, False, {"title": "nc"}),
    ("ps_png", "ps_map", along_y, 300, 200, np.float32, True, {"device": "png", "zmin": -0.5}),
    ("ps_pdf", "ps_map", both_last_empty, 12, 9, np.float64, False, {"device": "pdf"}),
]

failures = []
for name, routine, layout, nx, ny, dtype, matrix, options in CASES:
    x, y, z = field(nx, ny, dtype)
    i0, i1, j0, j1 = layout(rank, nx, ny)
    # A matrix is z[i, j] at (x[i], y[j]); flat, the x index runs fastest.
    zb = z.T[i0:i1, j0:j1] if matrix else z[j0:j1, i0:i1].ravel()
    ending = {"dat_map": ".dat", "nc_map": ".nc"}.get(routine, "." + options.get("device", "ps"))
    one, spread = f"one_{name}{ending}", f"spread_{name}{ending}"
    call = getattr(mapplot, routine)
    if rank == 0:
        with mapplot.quiet():
            call(x, y, z.T if matrix else z.ravel(), file=one, **options)
    comm.Barrier()
    with mapplot.quiet():
        call(x[i0:i1], y[j0:j1], zb, file=spread, comm=comm, offset=(i0, j0), **options)
    if rank == 0:
        if routine == "nc_map":
            a, b = mapplot.read_map(one), mapplot.read_map(spread)
            same = all(np.array_equal(getattr(a, f), getattr(b, f)) for f in a._fields)
        else:
            with open(one, "rb") as f1, open(spread, "rb") as f2:
                same = f1.read() == f2.read()
        if not same:
            failures.append(name)

# A value without a logarithm on the last rank: FatalError on every rank.
x, y, z = field(6, 4, np.float64)
z = np.abs(z) + 1.0
i0, i1, j0, j1 = along_x(rank, 6, 4)
zb = z[j0:j1, i0:i1].ravel()
if rank == size - 1:
    zb[0] = -1.0
try:
    mapplot.dat_map(x[i0:i1], y[j0:j1], zb, log=1, file="never.dat", comm=comm, offset=(i0, j0))
    failures.append(f"no error on rank {rank}")
except mapplot.FatalError as e:
    if "log10" not in str(e):
        failures.append(f"rank {rank}: {e}")
if os.path.exists("never.dat"):
    failures.append("never.dat written")

# Both modules' NetCDF files, the one-process ones too, came from one NetCDF
# library: the process never holds both builds.
with open("/proc/self/maps") as maps:
    netcdf = {line.split("/")[-1].strip() for line in maps if "/libnetcdf" in line}
if len(netcdf) != 1:
    failures.append(f"rank {rank}: NetCDF libraries {sorted(netcdf)}")

all_failures = comm.gather(failures, root=0)
if rank == 0:
    flat = [f for fs in all_failures for f in fs]
    print("differences:", flat if flat else "none")
    sys.exit(1 if flat else 0)
