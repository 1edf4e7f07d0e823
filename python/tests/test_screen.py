"""The screen map from Python: render gives the part of the C++ surfaces each
map paints, pixel for pixel; run_program runs a Python main under the
windowing runtime."""

import os
import sys

import numpy as np
import pytest

import mapplot
from conftest import EXAMPLES, matrix, painted, run_python

sys.path.insert(0, str(EXAMPLES))
import zoom  # noqa: E402  (the example computes the zoom's frames)

# The C++ calls of reference_maps.cpp: (surface, precision, z as matrix, options).
SCREEN_CASES = [
    ("scr_map.rgb", "8", False, dict(title="Base", size=2)),
    ("scr_map_r4.rgb", "4", False, {}),
    ("scr_map_2d.rgb", "4", True, dict(log=-1, xlabel="Re", ylabel="Im")),
    ("scr_map_2d_r8.rgb", "8", True, dict(title="Large", size=3)),
]


@pytest.mark.parametrize("name,size,as_matrix,options", SCREEN_CASES)
def test_render_gives_the_part_of_the_cpp_surface_the_map_paints(reference, data, name, size,
                                                                 as_matrix, options):
    x, y, z = data["x" + size], data["y" + size], data["z" + size]
    expected = painted(reference / name, options.get("size", 1))
    for z_layout in (matrix(z), np.ascontiguousarray(matrix(z))) if as_matrix else (z, z[::-1][::-1]):
        picture = mapplot.render(x, y, z_layout, **options)
        assert picture.shape == expected.shape and picture.dtype == np.uint8
        assert picture.tobytes() == expected.tobytes()


def test_the_zooms_first_frame_rendered_in_a_notebook(reference):
    """A notebook computes the zoom's frames with numpy: the grids are the
    C++ grids, and frame 1 rendered is the C++ window's surface."""
    for k in (1, 175, 350):
        grid = np.fromfile(reference / f"zoom{k}_z.bin", dtype=np.float32).reshape(121, 121)
        x, y, z = zoom.frame(k)
        assert np.array_equal(z, grid.T), k  # the grid is stored z(i, j) at [j, i]
    x, y, z = zoom.frame(1)
    picture = mapplot.render(x, y, z, xlabel="Re(c)", ylabel="Im(c)", title="Mandelbrot set",
                             size=1)
    assert picture.tobytes() == painted(reference / "zoom1.rgb", 1).tobytes()


def test_run_program_runs_main_on_a_worker_thread(tmp_path):
    result = run_python("""
import threading, numpy as np, mapplot
x = np.array([0., 1., 2.]); y = np.array([0., 1.]); z = np.array([0., 1., 2., 0., 1., 2.])
def main():
    print("worker:", threading.current_thread() is not threading.main_thread())
    for k in range(3):
        mapplot.scr_map(x, y, z * (k + 1), own_window=True, continuation=k > 0)
    mapplot.dat_map(x, y, z)
    try:
        mapplot.dat_map(x, y, z, log=True)
    except mapplot.FatalError as e:
        print("caught:", e)
    mapplot.scr_map(x, y, z)  # the console window waits for a line: the input's end
    return 3
print("code", mapplot.run_program("program", main))
print("again", mapplot.run_program("program", lambda: None))
""", cwd=tmp_path, input="")
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines() == [
        "worker: True", "  Output in Map.dat", "caught: log10: SING error", "code 3", "again 0"]
    assert (tmp_path / "Map.dat").exists()


def test_how_main_ends_and_where_run_program_refuses():
    result = run_python("""
import sys, threading, mapplot
def outcome(call):
    try:
        return call()
    except Exception as e:
        return f"{type(e).__name__} {e}"
def fails():
    raise KeyError("from main")
def nested():
    mapplot.run_program("inner", lambda: 0)
for main in (lambda: sys.exit(4), lambda: sys.exit(), fails,
             lambda: mapplot.dat_map([1.], [1.], [0.], log=True), lambda: "text", nested, 5):
    print(outcome(lambda: mapplot.run_program("program", main)))
thread = threading.Thread(
    target=lambda: print(outcome(lambda: mapplot.run_program("thread", lambda: 0))))
thread.start(); thread.join()
mapplot.render([0., 1.], [0., 1.], [0., 1., 2., 3.])
print(outcome(lambda: mapplot.run_program("late", lambda: 0)))
""")
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines() == [
        "4", "0", "KeyError 'from main'", "FatalError log10: SING error",
        "TypeError main must return an int or None",
        "ValueError run_program is already running",  # raised again from the inner call
        "TypeError main must be callable",
        "ValueError run_program must be called from the main thread",
        "ValueError run_program cannot start after a screen map was painted outside it in this "
        "process (render, scr_map)"]


def test_the_zoom_example_writes_its_picture(tmp_path):
    result = run_python("import sys, zoom; sys.argv = ['zoom.py', '--picture', 'z.png']; "
                        "sys.exit(zoom.main())", cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    assert result.stdout == "  Output in z.png\n"
    assert (tmp_path / "z.png").read_bytes().startswith(b"\x89PNG")


def test_render_leaves_standard_error_to_the_program():
    env = {k: v for k, v in os.environ.items() if k != "XDG_RUNTIME_DIR"}
    result = run_python("import mapplot; mapplot.render([0., 1.], [0., 1.], [0., 1., 2., 3.])",
                        env=env)
    assert result.returncode == 0, result.stderr
    assert result.stderr == ""
