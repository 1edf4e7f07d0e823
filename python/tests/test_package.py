"""The module as a package, installed as the README says: pip from the source
folder into a virtual environment, offline, then a wheel from python -m build
the same way; pip shows and uninstalls it. The build backend takes the module
from the build folder MAPPLOT_CMAKE_BUILD_DIR names (the one these tests run
in) instead of building it again."""

import os
import pathlib
import re
import shutil
import subprocess
import sys

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


def readme_block(word):
    """The command block of the README's Python section that holds word."""
    section = (ROOT / "README.md").read_text().split("\n## From Python\n")[1].split("\n## ")[0]
    return next(b for b in re.findall(r"(?:^    \S.*\n)+", section, re.M) if word in b)


def source_copy(folder):
    """The source tree without what builds and installs leave in it."""
    def left_out(where, names):
        top = pathlib.Path(where) == ROOT
        return [n for n in names if n in (".git", "__pycache__")
                or (top and (n.startswith("build") or n in ("dist", "venv")))]
    shutil.copytree(ROOT, folder, ignore=left_out)
    return folder


def run(command, env, cwd):
    result = subprocess.run([str(c) for c in command], capture_output=True, text=True, env=env,
                            cwd=cwd, timeout=180)
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
    # Where the build has the MPI module, the package holds it beside mapplot.
    if list((pathlib.Path(os.environ["MAPPLOT_CMAKE_BUILD_DIR"]) / "python").glob("_mapplot_mpi.*")):
        assert any(re.fullmatch(r"_mapplot_mpi\.cpython-.*\.so", f) for f in files), shown

    (work / "wrong.py").write_text(WRONG)
    checked = subprocess.run([sys.executable, "-m", "mypy", "--python-executable", str(python),
                              "--no-error-summary", "--cache-dir", str(work / "cache"),
                              "wrong.py"], capture_output=True, text=True, env=env, cwd=work,
                             timeout=180)
    assert checked.stdout.startswith('wrong.py:2: error: Unexpected keyword argument "titel"'), \
        checked.stdout + checked.stderr
    assert "site-packages/mapplot-stubs/__init__.pyi" in checked.stdout

    run([python, "-m", "pip", "uninstall", "-y", "mapplot"], env, work)
    site = run([python, "-c", "import sysconfig; print(sysconfig.get_path('purelib'))"], env, work)
    assert not [p.name for p in pathlib.Path(site.strip()).iterdir()
                if p.name.startswith("mapplot")]


def test_pip_installs_from_the_source_folder_and_from_a_wheel(tmp_path):
    source = source_copy(tmp_path / "source")
    env = dict(os.environ, PIP_NO_INDEX="1", PIP_NO_CACHE_DIR="1",
               PIP_DISABLE_PIP_VERSION_CHECK="1")
    env.pop("PYTHONPATH", None)  # the build folder's module stays out of sight
    version = re.search(r"^project\(mapplot VERSION ([0-9.]+)",
                        (ROOT / "CMakeLists.txt").read_text(), re.M).group(1)

    run(["bash", "-ec", readme_block("-m venv")], env, source)
    check_installed(tmp_path, source / "venv", env, version)

    run(["bash", "-ec", readme_block("-m build")], env, source)
    wheels = [w.name for w in (source / "dist").iterdir()]
    assert [w.split("-")[:2] for w in wheels] == [["mapplot", version]], wheels
    check_installed(tmp_path, source / "venv", env, version)
