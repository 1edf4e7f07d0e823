"""Builds the Python module "mapplot" with the project's own CMake build and
packages it with its type stubs (mapplot-stubs).

The version is the one of project(... VERSION ...) in CMakeLists.txt. The
build is a Release build of the module's target alone, with Ninja where it is
installed, in build-python/ beside this file; CMAKE_BUILD_PARALLEL_LEVEL sets
the number of jobs and CMAKE_ARGS adds options to the configure step.
MAPPLOT_CMAKE_BUILD_DIR names (by its absolute path) a build folder already
configured (static libraries, for the Python that runs this) whose module is
brought up to date and taken instead.
"""

import os
import pathlib
import re
import shlex
import shutil
import subprocess
import sys
import sysconfig

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

SOURCE = pathlib.Path(__file__).resolve().parent
BUILD_BASE = str(SOURCE / "build-python")  # build/ is the CMake build folder of the README
TARGET = "mapplot_python"
# The routines of a field spread over MPI ranks (comm=): a module of its own,
# built and packaged beside mapplot where the build found MPI.
MPI_TARGET, MPI_MODULE = "mapplot_python_mpi", "_mapplot_mpi"


def project_version():
    """The VERSION of the project() call in CMakeLists.txt."""
    cmake_lists = (SOURCE / "CMakeLists.txt").read_text()
    found = re.search(r"^project\(\s*mapplot\s+VERSION\s+([0-9][0-9.]*)", cmake_lists, re.M)
    if not found:
        sys.exit("CMakeLists.txt: no project(mapplot VERSION ...) to take the version from")
    return found.group(1)


def cache_value(build_dir, name):
    """A variable of a CMake build folder's cache, or None."""
    try:
        cache = (build_dir / "CMakeCache.txt").read_text()
    except OSError:
        return None
    found = re.search(rf"^{name}:[A-Z]+=(.*)$", cache, re.M)
    return found.group(1) if found else None


def is_on(value):
    """A CMake truth value."""
    return (value or "").upper() in ("1", "ON", "YES", "TRUE", "Y")


class CMakeBuild(build_ext):
    """The module's target built by CMake, its file put where setuptools
    packs it."""

    def build_extension(self, ext):
        given = os.environ.get("MAPPLOT_CMAKE_BUILD_DIR")
        if given:
            build_dir = pathlib.Path(given).resolve()
            if cache_value(build_dir, "CMAKE_HOME_DIRECTORY") is None:
                sys.exit(f"MAPPLOT_CMAKE_BUILD_DIR={given}: not a configured CMake build folder")
            for option, what in (("BUILD_SHARED_LIBS", "shared libraries"),
                                 ("MAPPLOT_SANITIZE", "sanitizers")):
                if is_on(cache_value(build_dir, option)):
                    sys.exit(f"MAPPLOT_CMAKE_BUILD_DIR={given}: a build with {what}; the "
                             "package takes a module that holds the libraries in, plainly built")
        else:
            build_dir = pathlib.Path(self.build_temp).resolve() / "cmake"
            self.configure(build_dir)
        self.spawn(["cmake", "--build", str(build_dir), "--target", TARGET])

        built = build_dir / "python" / ("mapplot" + sysconfig.get_config_var("EXT_SUFFIX"))
        if not built.is_file():
            sys.exit(f"{built}: not built (a build for another Python than {sys.executable}?)")
        destination = pathlib.Path(self.get_ext_fullpath(ext.name))
        destination.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, destination)
        os.chmod(destination, 0o755)

        targets = self.capture(["cmake", "--build", str(build_dir), "--target", "help"])
        if re.search(rf"\b{MPI_TARGET}\b", targets):
            self.spawn(["cmake", "--build", str(build_dir), "--target", MPI_TARGET])
            name = MPI_MODULE + sysconfig.get_config_var("EXT_SUFFIX")
            shutil.copyfile(build_dir / "python" / name, destination.parent / name)
            os.chmod(destination.parent / name, 0o755)

    @staticmethod
    def capture(command):
        """What a command prints; a failing command ends the build."""
        done = subprocess.run(command, capture_output=True, text=True)
        if done.returncode != 0:
            sys.exit(" ".join(command) + ":\n" + done.stdout + done.stderr)
        return done.stdout

    def configure(self, build_dir):
        command = ["cmake", "-S", str(SOURCE), "-B", str(build_dir),
                   "-DCMAKE_BUILD_TYPE=Release", "-DBUILD_SHARED_LIBS=OFF",
                   "-DMAPPLOT_BUILD_TESTS=OFF", "-DMAPPLOT_BUILD_BENCH=OFF",
                   "-DMAPPLOT_FORTRAN=OFF", f"-DPython3_EXECUTABLE={sys.executable}"]
        if shutil.which("ninja") and not (build_dir / "CMakeCache.txt").exists():
            command += ["-G", "Ninja"]
        command += shlex.split(os.environ.get("CMAKE_ARGS", ""))
        self.spawn(command)


os.makedirs(BUILD_BASE, exist_ok=True)
setup(
    version=project_version(),
    ext_modules=[Extension("mapplot", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    packages=["mapplot-stubs"],
    package_dir={"mapplot-stubs": "python/mapplot-stubs"},
    package_data={"mapplot-stubs": ["__init__.pyi", "py.typed"]},
    zip_safe=False,
    options={"build": {"build_base": BUILD_BASE}, "egg_info": {"egg_base": BUILD_BASE}},
)
