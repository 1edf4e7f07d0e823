"""The Mandelbrot zoom of mandel_zoom, computed with numpy and shown by mapplot.

    python3 zoom.py                     the 350 frames in one window
    python3 zoom.py --frames 20         the first 20
    python3 zoom.py --picture zoom.png  frame 60 as a PostScript map in PNG
    python3 zoom.py --palette magma --zmin 0 --zmax 200
                                        in colour, one range for every frame

frame(k) gives the same grid as the C++ zoom, bit for bit: every formula is
evaluated in double precision from the single-precision parts, in the order
written, and rounded once to single precision when stored.
"""

import argparse
import sys

import numpy as np

import mapplot

FRAMES = 350
SHRINK = float(np.float32(0.95))  # the single-precision 0.95
TARGET = (-0.04288163, 0.98979723)


def frame(k):
    """x, y (121 values each) and z[i, j], the escape value at (x[i], y[j]),
    of frame k, all float32."""
    p, power, bits = 1.0, SHRINK, k  # 0.95 ** k by square-and-multiply
    while bits:
        if bits & 1:
            p *= power
        power *= power
        bits >>= 1
    approach = 1.0 - p * p
    xc = np.float32(TARGET[0] * approach)
    yc = np.float32(TARGET[1] * approach)
    r = np.float32(2.0 * p)
    limit = int(np.ceil(35.0 - 20.0 * np.log(0.5 * float(r))))

    i = np.arange(-60, 61, dtype=np.float64)
    x = (i * float(r) / 60.0 + float(xc)).astype(np.float32)
    y = (i * float(r) / 60.0 + float(yc)).astype(np.float32)

    c_re, c_im = np.meshgrid(x.astype(np.float64), y.astype(np.float64), indexing="ij")
    re = np.zeros(c_re.shape, np.float32)
    im = np.zeros(c_re.shape, np.float32)
    z = np.zeros(c_re.shape, np.float32)
    going = np.ones(c_re.shape, bool)
    with np.errstate(over="ignore", invalid="ignore"):
        for n in range(-2, limit + 2):
            re8, im8 = re.astype(np.float64), im.astype(np.float64)
            modulus = np.sqrt(re8 * re8 + im8 * im8).astype(np.float32)
            going &= modulus < 256  # not a number leaves too
            if not going.any():
                break
            z[going] = n
            re = np.where(going, ((re8 - im8) * (re8 + im8) + c_re).astype(np.float32), re)
            im = np.where(going, (2.0 * re8 * im8 + c_im).astype(np.float32), im)
    return x, y, z


def show(frames, palette=None, zmin=None, zmax=None):
    """The frames in one window, each repainted over the one before; with
    palette in its colours, with zmin and zmax the same value in the same
    colour in every frame (else each frame spans the table from its lowest
    to its highest value)."""
    for k in range(1, frames + 1):
        x, y, z = frame(k)
        mapplot.scr_map(x, y, z, xlabel="Re(c)", ylabel="Im(c)", title="Mandelbrot set",
                        size=1, own_window=True, continuation=k > 1, palette=palette,
                        zmin=zmin, zmax=zmax)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--frames", type=int, default=FRAMES)
    parser.add_argument("--picture", help="write a frame's PostScript map as PNG instead")
    parser.add_argument("--frame", type=int, default=60, help="the frame of --picture")
    parser.add_argument("--palette", help="a colour table: grey (the default), heat, rainbow, "
                        "viridis, magma, cividis, each reversed with _r")
    parser.add_argument("--zmin", type=float, help="the value of the lowest colour")
    parser.add_argument("--zmax", type=float, help="the value of the highest colour")
    args = parser.parse_args()
    colours = dict(palette=args.palette, zmin=args.zmin, zmax=args.zmax)
    if args.picture:
        x, y, z = frame(args.frame)
        mapplot.ps_map(x, y, z, xlabel="Re(c)", ylabel="Im(c)",
                       title=f"Mandelbrot set, frame {args.frame}", file=args.picture,
                       device="png", **colours)
        return 0
    return mapplot.run_program("Mandelbrot zoom", lambda: show(args.frames, **colours))


if __name__ == "__main__":
    sys.exit(main())
