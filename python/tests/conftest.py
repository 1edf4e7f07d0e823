"""Fixtures of the mapplot tests: what the C++ calls give, and the data they
were given (written by the program MAPPLOT_REFERENCE names)."""

import os
import pathlib
import subprocess
import sys

import numpy as np
import pytest

EXAMPLES = pathlib.Path(__file__).resolve().parent.parent / "examples"
NX, NY = 5, 4


@pytest.fixture(scope="session")
def reference(tmp_path_factory):
    """The folder of the C++ results."""
    folder = tmp_path_factory.mktemp("reference")
    subprocess.run([os.environ["MAPPLOT_REFERENCE"], str(folder)], check=True,
                   stdout=subprocess.DEVNULL)
    return folder


@pytest.fixture(scope="session")
def data(reference):
    """The data of the C++ calls: x, y and flat z (x index fastest) in float64
    ("8") and float32 ("4")."""
    arrays = {}
    for size, dtype in (("8", np.float64), ("4", np.float32)):
        for name in "xyz":
            arrays[name + size] = np.fromfile(reference / f"{name}{size}.bin", dtype=dtype)
    return arrays


@pytest.fixture
def in_tmp(tmp_path, monkeypatch):
    """A fresh current folder."""
    monkeypatch.chdir(tmp_path)
    return tmp_path


def matrix(flat):
    """The flat z (x index fastest) as the matrix z[i, j]: a Fortran-ordered view."""
    return flat.reshape(NY, NX).T


def run_python(script, env=None, **kwargs):
    """Runs the script in a Python of its own (the window system wants a
    process to itself) with the examples importable, in the environment
    given (this one by default)."""
    env = dict(os.environ if env is None else env)
    env["PYTHONPATH"] = os.pathsep.join([str(EXAMPLES), env.get("PYTHONPATH", "")])
    return subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                          env=env, timeout=120, **kwargs)


# The part of the 1005 x 663 surface a map of each size option paints in its
# own window: the drawing area and the frame's bottom edge below it.
PAINTED_SHAPES = {1: (271, 580, 3), 2: (452, 741, 3), 3: (663, 1005, 3)}


def surface(path):
    """A C++ surface written as RGB bytes, as an array (rows, columns, 3)."""
    return np.frombuffer(path.read_bytes(), dtype=np.uint8).reshape(663, 1005, 3)


def painted(path, size):
    """The part of the C++ surface that a map of the size option painted; the
    rest of the surface must be black, or a picture cut to it lost something."""
    whole = surface(path)
    rows, columns, _ = PAINTED_SHAPES[size]
    assert not whole[rows:].any() and not whole[:, columns:].any()
    return whole[:rows, :columns]
