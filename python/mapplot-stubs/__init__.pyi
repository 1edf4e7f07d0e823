"""z = z(x, y) shown three ways, over numpy arrays: the types of the module's
routines, for type checkers and editors (the module itself is compiled)."""

import os
from typing import Any, Callable, Literal, NamedTuple, SupportsIndex

import numpy as np
import numpy.typing as npt

__version__: str
__all__ = [
    "scr_map",
    "render",
    "ps_map",
    "dat_map",
    "nc_map",
    "read_map",
    "run_program",
    "quiet",
    "MapData",
    "MapFile",
    "Picture",
    "FatalError",
    "MapWarning",
    "Movie",
    "Page",
]

# x, y and z: real or integer numbers of any dtype, bools too, as numpy
# arrays or anything numpy.asarray takes (float32 or float16 throughout: the
# single-precision forms; anything else: the double-precision forms).
_Values = npt.ArrayLike
# A truth option (its lowest bit counts: True, -1, 1) or the size option.
_Int = SupportsIndex | None
# A label, title or device type: UTF-8 text, or its bytes.
_Text = str | bytes | None
# A file name, used whole whatever its length.
_Path = str | bytes | os.PathLike[str] | os.PathLike[bytes]
# A colour table: a built-in name ("viridis", "heat_r" ...), control points
# of shape (n, 4): level, red, green, blue, each from 0 to 1, or a colour map
# called on 256 levels, returning rows of red, green, blue (and alpha).
_Palette = str | npt.ArrayLike | Callable[[npt.NDArray[np.float64]], npt.ArrayLike] | None
# zmin, zmax: the values at the ends of the colour table (z.min() too).
_Real = float | np.floating[Any] | np.integer[Any] | None
# nan_colour, under, over: red, green, blue, each from 0 to 1.
_Colour = tuple[float, float, float] | npt.ArrayLike | None
# A field spread over MPI ranks: an mpi4py communicator (typed loosely, so
# that the stubs need no mpi4py) and the block's first cell, from 0.
_Comm = Any
_Offset = tuple[SupportsIndex, SupportsIndex] | None

class FatalError(Exception):
    """A fatal error of the module ("log10: SING error", "File Map.dat:
    cannot write: ...", "Out of memory"): no file on disk was changed. One
    about a file is also the OSError subclass of its errno (FileNotFoundError,
    PermissionError ...), with errno, strerror and filename."""

class MapWarning(UserWarning):
    """A warning line that leaves a usable result ("Array is flat!",
    "Warning: unknown palette sepia, grey used !!!" ...)."""

class MapData(NamedTuple):
    """A map file read back: the coordinates and the flat values (x index
    fastest), float32 from a data file, as stored from a NetCDF file, and the
    three texts."""

    x: npt.NDArray[np.float32 | np.float64]
    y: npt.NDArray[np.float32 | np.float64]
    z: npt.NDArray[np.float32 | np.float64]
    xlabel: str
    ylabel: str
    title: str

class Picture(np.ndarray[Any, np.dtype[np.uint8]]):
    """A picture painted by render: an array (rows, columns, 3) of uint8 RGB,
    which a notebook shows as the picture."""

    def _repr_png_(self) -> bytes | None: ...

class MapFile:
    """A file written by ps_map; a notebook shows PNG and SVG files."""

    @property
    def path(self) -> str: ...
    @property
    def format(self) -> Literal["ps", "pdf", "png", "svg"]: ...
    def __fspath__(self) -> str: ...
    def _repr_png_(self) -> bytes | None: ...
    def _repr_svg_(self) -> str | None: ...

class Movie:
    """A film of pictures (.mp4, .gif, .webm), written when it is closed;
    a notebook shows it once written."""

    def __init__(self, path: _Path, fps: _Real = None) -> None: ...
    def add(self, picture: npt.ArrayLike) -> None: ...
    def close(self) -> None: ...
    def __enter__(self) -> Movie: ...
    def __exit__(self, type: object, value: object, traceback: object) -> bool: ...
    @property
    def path(self) -> str: ...
    @property
    def fps(self) -> float: ...
    @property
    def frames(self) -> int: ...
    def _repr_html_(self) -> str | None: ...

def scr_map(
    x: _Values,
    y: _Values,
    z: _Values,
    *,
    log: _Int = None,
    xlabel: _Text = None,
    ylabel: _Text = None,
    title: _Text = None,
    size: _Int = None,
    own_window: _Int = None,
    continuation: _Int = None,
    palette: _Palette = None,
    zmin: _Real = None,
    zmax: _Real = None,
    nan_colour: _Colour = None,
    under: _Colour = None,
    over: _Colour = None,
    zcentre: _Real = None,
    zlabel: _Text = None,
    contours: SupportsIndex | npt.ArrayLike | None = None,
    contour_colour: _Colour = None,
    contour_labels: _Int = None,
    record: _Path | None = None,
    fps: _Real = None,
) -> None:
    """The grey-level map in a graphics window, or repainted in place."""

def render(
    x: _Values,
    y: _Values,
    z: _Values,
    *,
    log: _Int = None,
    xlabel: _Text = None,
    ylabel: _Text = None,
    title: _Text = None,
    size: _Int = None,
    palette: _Palette = None,
    zmin: _Real = None,
    zmax: _Real = None,
    nan_colour: _Colour = None,
    under: _Colour = None,
    over: _Colour = None,
    zcentre: _Real = None,
    zlabel: _Text = None,
    contours: SupportsIndex | npt.ArrayLike | None = None,
    contour_colour: _Colour = None,
    contour_labels: _Int = None,
) -> Picture:
    """The screen map painted without a window: the part of the surface it
    paints, (271, 580, 3), (452, 741, 3) or (663, 1005, 3) uint8 RGB."""

def ps_map(
    x: _Values,
    y: _Values,
    z: _Values,
    *,
    log: _Int = None,
    xlabel: _Text = None,
    ylabel: _Text = None,
    title: _Text = None,
    file: _Path | None = None,
    device: _Text = None,
    aspect: Literal["equal", "auto"] | str | None = None,
    pixels: tuple[int, int] | None = None,
    palette: _Palette = None,
    zmin: _Real = None,
    zmax: _Real = None,
    nan_colour: _Colour = None,
    under: _Colour = None,
    over: _Colour = None,
    zcentre: _Real = None,
    zlabel: _Text = None,
    contours: SupportsIndex | npt.ArrayLike | None = None,
    contour_colour: _Colour = None,
    contour_labels: _Int = None,
    comm: _Comm = None,
    offset: _Offset = None,
) -> MapFile | None:
    """The map drawn through PGPLOT into a file (default "Map.ps"): the file,
    None for the null device. No file written raises ValueError (arguments,
    device type) or OSError (FileNotFoundError ...)."""

def dat_map(
    x: _Values,
    y: _Values,
    z: _Values,
    *,
    log: _Int = None,
    xlabel: _Text = None,
    ylabel: _Text = None,
    title: _Text = None,
    file: _Path | None = None,
    comm: _Comm = None,
    offset: _Offset = None,
) -> None:
    """The map written to a plain text data file (default "Map.dat")."""

def nc_map(
    x: _Values,
    y: _Values,
    z: _Values,
    *,
    log: _Int = None,
    xlabel: _Text = None,
    ylabel: _Text = None,
    title: _Text = None,
    file: _Path | None = None,
    comm: _Comm = None,
    offset: _Offset = None,
) -> None:
    """The map written exactly to a NetCDF-4 file (default "Map.nc")."""

def read_map(path: _Path) -> MapData:
    """A data file written by dat_map or a NetCDF file by nc_map, read back."""

def run_program(name: str, main: Callable[[], int | None]) -> int:
    """main() run under the windowing runtime; its exit code."""

class _Quiet:
    """What quiet returns: a context manager giving back the setting before."""

    def __enter__(self) -> None: ...
    def __exit__(self, *exc: object) -> Literal[False]: ...

def quiet(on: bool = True) -> _Quiet:
    """Silences the console lines of this thread's calls (not warnings): for a
    with block, or from quiet(True) until quiet(False)."""

class Page:
    """A page of panels=(columns, rows) whole maps in one file, written
    when it closes; its ps_map draws into the next panel."""

    def __init__(
        self,
        file: _Path | None = None,
        device: _Text = None,
        panels: tuple[int, int] = (1, 1),
        pixels: tuple[int, int] | None = None,
    ) -> None: ...
    def __enter__(self) -> Page: ...
    def __exit__(self, *exc: object) -> None: ...
    def ps_map(self, x: _Values, y: _Values, z: _Values, **options: Any) -> None: ...
    def close(self) -> MapFile | None: ...
    @property
    def file(self) -> MapFile | None: ...
