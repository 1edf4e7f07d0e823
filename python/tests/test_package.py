"""The module as a package: pip installs it from the source folder into a
virtual environment without any package index, python -m build makes a wheel
that installs the same way, and pip shows and uninstalls it. The backend
takes the module from the build folder MAPPLOT_CMAKE_BUILD_DIR names (the
one these tests run in) instead of building it again."""

import os
import pathlib
import re
import shutil
import subprocess
import sys

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]

CHECK = """
import importlib.metadata, pathlib, sys
import numpy as np
import mapplot
assert pathlib.Path(mapplot.__file__).is_relative_to(sys.prefix), mapplot.__file__
assert importlib.metadata.version("mapplot") == mapplot.__version__
x = np.array([0, 1, 2], np.float32)
mapplot.ps_map(x, x[:2], np.arange(6, dtype=np.float32), title="Ramp")
"""

# The installed stubs are the ones a type checker finds for the module.
WRONG = "import mapplot\nmapplot.ps_map(0, 0, 0, titel='a')\n"


def source_copy(folder):
    """The source tree without its build folders: what a user downloads."""
    def left_out(where, names):
        top = pathlib.Path(where) == ROOT
        return [n for n in names
                if n in (".git", "__pycache__") or (top and n.startswith("build"))]
    shutil.copytree(ROOT, folder, ignore=left_out)
    return folder


@pytest.fixture(scope="module")
def setting(tmp_path_factory):
    """A source copy, a virtual environment that sees the system's packages
    (numpy), and the environment to run pip in: no index, no cache."""
    top = tmp_path_factory.mktemp("package")
    source = source_copy(top / "source")
    venv = top / "venv"
    subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", str(venv)],
                   check=True)
    env = dict(os.environ, PIP_NO_INDEX="1", PIP_NO_CACHE_DIR="1",
               PIP_DISABLE_PIP_VERSION_CHECK="1")
    env.pop("PYTHONPATH", None)  # the build folder's module stays out of sight
    return top, source, venv, env


def run(command, env, cwd, timeout=180):
    result = subprocess.run([str(c) for c in command], capture_output=True, text=True, env=env,
                            cwd=cwd, timeout=timeout)
    assert result.returncode == 0, " ".join(map(str, command)) + "\n" + result.stdout + \
        result.stderr
    return result.stdout


def check_installed(top, venv, env, version):
    """Import, a PostScript map, pip show, mypy on the installed stubs, then
    pip uninstall leaves nothing of the package behind."""
    python = venv / "bin" / "python"
    work = top / "work"
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir()
    assert run([python, "-c", CHECK], env, work).splitlines() == ["  Output in Map.ps"]
    assert (work / "Map.ps").read_bytes().startswith(b"%!PS")

    shown = run([python, "-m", "pip", "show", "-f", "mapplot"], env, work)
    assert re.search(rf"^Version: {re.escape(version)}$", shown, re.M), shown
    files = {line.strip() for line in shown.splitlines() if line.startswith("  ")}
    assert {"mapplot-stubs/__init__.pyi", "mapplot-stubs/py.typed"} <= files, shown
    assert any(re.fullmatch(r"mapplot\.cpython-.*\.so", f) for f in files), shown

    (work / "wrong.py").write_text(WRONG)
    checked = subprocess.run([sys.executable, "-m", "mypy", "--python-executable", str(python),
                              "--no-error-summary", "--cache-dir", str(work / "cache"),
                              "wrong.py"], capture_output=True, text=True, env=env, cwd=work,
                             timeout=180)
    assert checked.stdout.startswith('wrong.py:2: error: Unexpected keyword argument "titel"'), \
        checked.stdout + checked.stderr
    assert "site-packages/mapplot-stubs/__init__.pyi" in checked.stdout

    run([python, "-m", "pip", "uninstall", "-y", "mapplot"], env, work)
    site = pathlib.Path(run([python, "-c", "import sysconfig; print(sysconfig.get_path('purelib'))"],
                            env, work).strip())
    assert not [p.name for p in site.iterdir() if p.name.startswith("mapplot")]


def cmake_version():
    return re.search(r"^project\(mapplot VERSION ([0-9.]+)", (ROOT / "CMakeLists.txt").read_text(),
                     re.M).group(1)


def test_pip_installs_the_source_folder_offline(setting):
    top, source, venv, env = setting
    run([venv / "bin" / "python", "-m", "pip", "install", "--no-build-isolation", source],
        env, top)
    check_installed(top, venv, env, cmake_version())


def test_the_wheel_installs_the_same_way(setting):
    top, source, venv, env = setting
    dist = top / "dist"
    run([sys.executable, "-m", "build", "--no-isolation", "--wheel", "--outdir", dist, source],
        env, top)
    wheels = list(dist.iterdir())
    assert [w.name.split("-")[:2] for w in wheels] == [["mapplot", cmake_version()]]
    run([venv / "bin" / "python", "-m", "pip", "install", wheels[0]], env, top)
    check_installed(top, venv, env, cmake_version())
