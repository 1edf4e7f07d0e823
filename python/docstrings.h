#pragma once
// The docstrings of the Python module mapplot. Each function's begins with
// its signature written for readers (None, not "object"): the module turns
// pybind11's own signatures off, and gives that line (without its return
// annotation) to CPython as the function's text signature, which
// inspect.signature, help() and editors read.

namespace pymapplot {

inline constexpr const char* kModuleDoc = R"doc(z = z(x, y) shown three ways, over numpy arrays.

    scr_map   a grey-level map in a graphics window (under run_program)
    render    the same map painted off screen, returned as an RGB array
              (a Picture, which a notebook shows)
    ps_map    a PostScript (or PNG, PDF, SVG) map drawn through PGPLOT
    dat_map   a plain text data file; read_map reads one back
    nc_map    an exact NetCDF file (CF conventions); read_map reads it too
    quiet     the console lines of this thread's calls silenced

x and y are one-dimensional, z is either flat (len(x) * len(y) values, the x
index fastest) or a matrix with z[i, j] the value at (x[i], y[j]): the first
index runs along x. A C-ordered Z from numpy.meshgrid(x, y) is indexed
[j, i], the other way round: pass Z.T, a view, not a copy. They hold real
or integer numbers of any dtype, bools too (anything numpy.asarray takes):
when all three are float32 (or float16, widened to float32) the call uses
the module's single-precision form of that shape, else (ints, bools,
float64, precisions mixed) its double-precision form on float64 copies, so
the files, console lines and pixels are exactly that form's. float32 and
float64 arrays of the form's precision are read in place, strided, reversed
and Fortran-ordered too; the arrays are never changed.

The options are keywords, None (or left out) meaning absent: log (lowest
bit set: log10 of the values and the title "log(...)"; True works), xlabel,
ylabel, title, then size, own_window and continuation (screen map) or file
and device (PostScript map, data file). A text that is given replaces the
default, even when empty; texts are held in 80-byte fields. The screen map
and the PostScript map also take palette, zmin and zmax: a colour table and
the values at its two ends, and nan_colour, under and over: the colours of
cells that are not a number (or masked) and of values beyond zmin and zmax,
zcentre: without zmin and zmax, the range is the smallest one symmetric
around it that holds the data (for signed fields, with the coolwarm or RdBu
palette), zlabel: a text beside the wedge, or under the z lines of the
screen map's text column, and contours, contour_colour and contour_labels:
lines of equal value over the map (see ps_map).

Console lines (" Output in Map.dat" ...) are written to sys.stdout when
the call's work is done; mapplot.quiet() silences them for a thread.
Warning lines that leave a usable result (" Array is flat!", an unknown
palette, zmin not below zmax ...) are Python warnings of the category
MapWarning instead, pointing at the line that called, so the warnings
filters control them; a call that raises gives no warnings.
Complex, object and text dtypes raise TypeError, wrong dimensions or sizes
ValueError, options of the wrong type and unknown keywords TypeError, before
anything is done.
The module's fatal errors (log10 of zero or a negative value, a file that
cannot be written, storage that cannot be obtained: "Out of memory") raise
FatalError with the module's message; no file on disk is changed by them
and the next call works as usual. A file that cannot be created, replaced
or written raises a FatalError that is also the OSError subclass of its
errno (FileNotFoundError, PermissionError, IsADirectoryError ...), with
errno, strerror and filename. Nothing is printed for them: the exception
is the report.

Calls run at once from any number of threads: the routines' work runs
without the interpreter lock (the screen maps' paintings take turns, as
they share the windows). Python code run inside a call (a signal handler)
may call the module again, except for a PostScript map inside a PostScript
map, or a screen map inside a screen map, of the same thread: that raises
RuntimeError. An exception it raises stops the call at its next check and
is raised when the call returns; so Ctrl+C stops a long call with
KeyboardInterrupt, no file on disk changed (a single drawing call of giza
is waited for). An exception raised while the lines go on (by sys.stdout,
or a warnings filter of "error") is raised when they have gone.
)doc";

inline constexpr const char* kScrMapDoc = R"doc(scr_map(x, y, z, *, log=None, xlabel=None, ylabel=None, title=None, size=None, own_window=None, continuation=None, palette=None, zmin=None, zmax=None, nan_colour=None, under=None, over=None, zcentre=None, zlabel=None, contours=None, contour_colour=None, contour_labels=None, record=None, fps=None)

Paints z as a grey-level map (black for the smallest value, white for the
largest) beside a column of text naming the axes and the title and giving
the smallest and largest x, y and z.

size: 3 or more gives 1005 x 662 pixels, 2 gives 741 x 451, else 580 x 270
(own window) or 580 x 290. own_window (lowest bit set): a window of the map's
own, else the console window, and the call then waits for a line on standard
input (its end counts as Enter). continuation (lowest bit set): a later call
of a sequence, repainting the window in place; clear: open and frame a new
window. palette, zmin, zmax: colours in place of the greys, as for ps_map; a
cell of level L (0 .. 255) takes the table's colour at L / 255, and the text
column still gives the data's own smallest and largest z. With one zmin and
zmax for every frame of a sequence, a value keeps its colour. nan_colour,
under, over: as for ps_map (the screen map has no wedge). The windows are shown while run_program runs; outside it they are
surfaces only, each kept to the end of the process as a window would be (see
render for pictures without a window). record (a first call, continuation
clear): a film file (.mp4, .gif, .webm, as Movie writes them) of the map's
window, whose frames are this call's picture and every later call's, the
window's whole surface; it is written at the next first call, when the
window is cleared, or at the end of the process. fps: its pictures a second
(default 30).
)doc";

inline constexpr const char* kRenderDoc = R"doc(render(x, y, z, *, log=None, xlabel=None, ylabel=None, title=None, size=None, palette=None, zmin=None, zmax=None, nan_colour=None, under=None, over=None, zcentre=None, zlabel=None, contours=None, contour_colour=None, contour_labels=None) -> Picture

The screen map of scr_map(..., own_window=True, continuation=False) painted
into a surface without any window, returned as the part of the surface it
paints: a Picture (a numpy.ndarray, dtype uint8, of shape (rows, columns, 3),
red green blue) holding the map's area and the frame around the map, whose
bottom edge lies on the row below the area: size 1 gives 580 x 270 pixels
and the shape (271, 580, 3), 2 gives 741 x 451 and (452, 741, 3), 3 or more
1005 x 662 and (663, 1005, 3). In a notebook it shows as the picture. The
windows and sequences of scr_map are left as they were. palette, zmin, zmax,
nan_colour, under and over colour it as scr_map's.
)doc";

inline constexpr const char* kPictureDoc = R"doc(A picture painted by render: a numpy.ndarray of shape (rows, columns, 3),
dtype uint8 (red green blue), which a notebook shows as the picture (its
_repr_png_). Everything of numpy works on it as on the array itself;
numpy.asarray(picture) is a plain ndarray of the same pixels.
)doc";

inline constexpr const char* kPictureReprPngDoc = R"doc(The PNG file of the pixels as they are now, for IPython and Jupyter; None
when the array is not of shape (rows, columns, 3) with dtype uint8 (a slice
of one channel, the result of arithmetic), which then shows as text.
)doc";

inline constexpr const char* kMapFileDoc = R"doc(A file written by ps_map: its name (path, also through os.fspath, so
open() and PIL.Image.open take it) and format ("ps", "pdf", "png" or
"svg"). A notebook shows a PNG or SVG file (_repr_png_, _repr_svg_), read
when it is shown, from where it was written; PostScript and PDF files show
as text.
)doc";

inline constexpr const char* kMapFileFormatDoc =
    R"doc("ps" (PostScript, Encapsulated PostScript too), "pdf", "png" or "svg".)doc";

inline constexpr const char* kFatalErrorDoc = R"doc(A fatal error of the module: the message the program would end with
("log10: SING error", "File name holds a NUL byte: a\0b", "Out of memory").
No file on disk was changed, and the next call works as usual. One about a
file that cannot be created, replaced, written or read ("File Map.dat:
cannot open: Permission denied") is also the OSError subclass of its errno,
with errno, strerror and filename.
)doc";

inline constexpr const char* kFileFatalErrorDoc = R"doc(A fatal error of the module about a file that cannot be created,
replaced, written or read: mapplot.FatalError and the OSError subclass of
its errno, with errno, strerror and filename; str() is the module's message
("File Map.dat: cannot open: Permission denied"). No file on disk was changed.
)doc";

inline constexpr const char* kMapWarningDoc = R"doc(A warning line of the module that leaves a usable result: "Array is
flat!", "Warning: unknown palette sepia, grey used !!!", "Warning: zmin must
be below zmax, both finite: the data's range used !!!" ... The map was drawn
(in grey, with the data's range) and the file written all the same;
warnings.simplefilter("error", mapplot.MapWarning) makes such calls raise,
"ignore" silences them.
)doc";

inline constexpr const char* kPsMapDoc = R"doc(ps_map(x, y, z, *, log=None, xlabel=None, ylabel=None, title=None, file=None, device=None, aspect=None, pixels=None, palette=None, zmin=None, zmax=None, nan_colour=None, under=None, over=None, zcentre=None, zlabel=None, contours=None, contour_colour=None, contour_labels=None, comm=None, offset=None) -> MapFile | None

Draws z through PGPLOT as a grey-scale image (lowest value black, highest
white) with a frame, numbered axes, a grey wedge, labels and title into the
file (default "Map.ps"). device: ps, cps (landscape PostScript), vps, vcps
(portrait), eps, pdf, vpdf, png, tpng, svg or null (either case). A file name
ending in "ps" takes the device type as its ending (Map.ps with png gives
Map.png). Afterwards " Output in <file>" is written. file may be a str or an
os.PathLike, used whole whatever its length; a NUL byte in file or device
raises FatalError. Returns the MapFile of the file written (a notebook shows
PNG and SVG files), or None for the null device, which writes none.

When it writes no file it raises: fewer than two x or y values, an x or y
value that is not finite, or a device type PGPLOT does not know (one holding
"/" among them) raise ValueError with the warning's text; a file or folder
that may not be written raises the OSError subclass of its errno
(FileNotFoundError, PermissionError, IsADirectoryError ...) with errno,
strerror and filename, after PGPLOT's message on standard error.

palette: the colour table of the image and the wedge in place of the grey
ramp. A name, in either case, "_r" appended for it reversed: grey (the
default), heat, rainbow, viridis, magma, cividis, coolwarm, RdBu; or
control points, an array of shape (n, 4), each row a level from 0 to 1
along the table and a red, green and blue intensity from 0 to 1, linearly
interpolated (PGPLOT's PGCTAB); or a callable, such as a matplotlib colour
map, called once on an array of 256 levels from 0 to 1 and returning rows
of red, green, blue (and alpha, left out), which become the points. zmin, zmax: the values drawn in the table's first and last colour
in place of the data's smallest and largest (either may be given alone;
with log, their log10 is taken, and a limit of zero or below raises
FatalError); values beyond them take the end colours. An unknown name,
unusable points (fewer than 2, levels not increasing, an intensity outside
0 .. 1) or zmin not below zmax give a MapWarning and draw the map in grey
or with the data's range, as does " Array is flat!" a map of equal values. A palette neither a str nor an array of
numbers, or a zmin or zmax not a number, raises TypeError; points not of
shape (n, 4) raise ValueError.

nan_colour: (red, green, blue), each from 0 to 1: the colour of cells whose
value is not a number, and of the masked cells of a numpy.ma.MaskedArray z
(NaN in the module's copy; the caller's array is left as it is); default
black. under, over: the colours of values below zmin and above zmax, while
the range given is in use, each also drawn as a triangle beyond that end of
the wedge; default the table's end colours. An intensity outside 0 .. 1 or
not a number gives a MapWarning and the default; a value that is not three
numbers raises TypeError (not numbers) or ValueError (not three).

zcentre: a number; one that is not finite gives a MapWarning and the data's
range. zlabel: a text (the quantity and its unit, say), beside the wedge.
aspect: "equal" (the default: equal scales along x and y) or "auto" (the map
fills the viewport, so a 5:1 field is no thin band). pixels: (width, height)
of a PNG device's picture, each 16 .. 16384 (default 800 x 600; other
devices keep their page). Another aspect or pixels value gives a MapWarning
and the default; pixels that are not two ints raise TypeError or ValueError.

contours: lines of equal value over the map, the same on the screen map: a
count (int) of evenly spaced levels inside the wedge's range, or a sequence
of levels (with log, their log10 is taken; a level of zero or below raises
FatalError). Each square of four neighbouring values is cut into four
triangles by its centre (the mean of its corners), as giza contours; a NaN
opens the lines around it. contour_colour: (red, green, blue), default the
frame's colour. contour_labels: true to number each line with its level
(PostScript map). A count outside 1 .. 1000, no levels or a level that is
not finite gives a MapWarning and no lines; a contours value that is
neither an int nor numbers raises TypeError.
comm, offset: a field spread over the ranks of an MPI program (run under
mpirun). Every rank of comm (an mpi4py communicator) calls with its own
block: its part of x and of y, its z block (flat, or a matrix of shape
(len(x), len(y))) and offset=(i0, j0), the block's first cell in the whole
grid, counted from 0 (default (0, 0)). The blocks tile the grid; a rank may
hold none (empty arrays). The file is byte for byte the one the call
without comm= writes for the whole grid; the options that count are rank
0's, and the console line comes from rank 0 alone. A fatal error on any
rank (blocks that do not tile the grid among them) raises FatalError on
every rank, none left waiting. Rank 0 draws the map and every rank returns
its result; on a PNG device each rank sends it no more than the cells its
pixels show.
)doc";

inline constexpr const char* kPageDoc = R"doc(Page(file=None, device=None, panels=(1, 1), pixels=None)

A page of panels: several whole maps (frame, axes, wedge, labels, title) in
one file, the page divided into panels=(columns, rows) as PGSUBP divides
it. file, device and pixels as ps_map takes them. Use it as a context
manager; its ps_map(x, y, z, **options) draws the map into the next panel
(from the top left along the rows) and returns None; the file is written,
under a temporary name until it is whole, when the page closes (close(),
which returns its MapFile, or None for the null device; or the end of the
with block; afterwards the page's file attribute holds the same). An
exception in the with block drops the page: the earlier file of that name
stays. While a page is open, the PostScript maps of other threads wait for
it, and a ps_map of its own thread outside it raises ValueError, as does a
map on a page whose panels are all drawn or one that is closed. A device
that cannot be opened raises as ps_map's does.
)doc";

inline constexpr const char* kDatMapDoc = R"doc(dat_map(x, y, z, *, log=None, xlabel=None, ylabel=None, title=None, file=None, comm=None, offset=None)

Writes the grid sizes, x, y, the values of z (x index fastest) and the three
texts to a text data file (default "Map.dat"), every line ended by CR LF,
then writes " Output in <file>". Values are written in single precision.
With float64 arrays and a flat z the default title is
"Representation of y=y(x)" (that form's), else "Representation of z=z(x,y)".
The file is written under a temporary name and put in place only when
complete. file may be a str or an os.PathLike, used whole whatever its length; a
NUL byte in it raises FatalError. A file that cannot be created, replaced or
written (a missing folder, a folder, a write-protected file, a full disk)
raises a FatalError that is also the OSError subclass of its errno
(FileNotFoundError, IsADirectoryError, PermissionError ...), with errno,
strerror and filename.
comm, offset: a field spread over the ranks of an MPI program (run under
mpirun). Every rank of comm (an mpi4py communicator) calls with its own
block: its part of x and of y, its z block (flat, or a matrix of shape
(len(x), len(y))) and offset=(i0, j0), the block's first cell in the whole
grid, counted from 0 (default (0, 0)). The blocks tile the grid; a rank may
hold none (empty arrays). The file is byte for byte the one the call
without comm= writes for the whole grid; the options that count are rank
0's, and the console line comes from rank 0 alone. A fatal error on any
rank (blocks that do not tile the grid among them) raises FatalError on
every rank, none left waiting.
)doc";

inline constexpr const char* kNcMapDoc = R"doc(nc_map(x, y, z, *, log=None, xlabel=None, ylabel=None, title=None, file=None, comm=None, offset=None)

Writes the map to a NetCDF-4 file (default "Map.nc") with the CF
conventions, then writes " Output in <file>": x and y as coordinate
variables, z as the variable z(y, x), all float32 with float32 arrays and
float64 otherwise, each value exactly as given (NaN and infinities too; no
_FillValue). The labels are the long_name of x and y, the title the file's
title and z's long_name; Conventions is "CF-1.8" and history names the
module and its version. Texts and defaults are dat_map's (with float64
arrays and a flat z the title "Representation of y=y(x)"). z must hold
len(x) * len(y) values, and x and y one at least: otherwise FatalError.
The file is written under a temporary name and put in place only when
complete; the errors of files that cannot be written are dat_map's.
comm, offset: a field spread over the ranks of an MPI program (run under
mpirun). Every rank of comm (an mpi4py communicator) calls with its own
block: its part of x and of y, its z block (flat, or a matrix of shape
(len(x), len(y))) and offset=(i0, j0), the block's first cell in the whole
grid, counted from 0 (default (0, 0)). The blocks tile the grid; a rank may
hold none (empty arrays). The file is byte for byte the one the call
without comm= writes for the whole grid; the options that count are rank
0's, and the console line comes from rank 0 alone. A fatal error on any
rank (blocks that do not tile the grid among them) raises FatalError on
every rank, none left waiting.
)doc";

inline constexpr const char* kReadMapDoc = R"doc(read_map(path) -> MapData

Reads a map file, a data file written by dat_map or a NetCDF file written
by nc_map (told apart by their first bytes): MapData(x, y, z, xlabel,
ylabel, title), the coordinates and values as arrays (z flat, x index
fastest: z.reshape(len(y), len(x)).T is the matrix z[i, j]) and the three
texts. A data file gives float32 arrays with as many values as the file
holds; a NetCDF file gives its values exactly as stored, float32 or
float64. A file that cannot be opened raises OSError; one that is not a map
file raises ValueError naming the line, or what NetCDF found wrong.
)doc";

inline constexpr const char* kMapDataDoc = R"doc(MapData(x, y, z, xlabel, ylabel, title): a map file read back by
read_map, a named tuple. x, y and z are arrays (float32, or float64 from a
float64 NetCDF file), z flat with the x index fastest
(z.reshape(len(y), len(x)).T is the matrix z[i, j]); xlabel, ylabel and
title are the file's three texts: dat_map (or nc_map) of back.x, back.y,
back.z, xlabel=back.xlabel, ylabel=back.ylabel, title=back.title writes the
same file again.
)doc";

inline constexpr const char* kQuietDoc = R"doc(quiet(on=True)

Silences the console lines (" Output in Map.dat" ...) of this thread's
calls: while on, they are dropped instead of written to sys.stdout; other
threads' calls write theirs as before, and warning lines stay MapWarnings.
As a context manager it holds for the block and then gives back the setting
the thread had before (blocks nest; "with mapplot.quiet(False):" shows the
lines again inside a quiet one); as a plain call, mapplot.quiet(True) holds
until mapplot.quiet(False). on is a bool (numpy.bool_ too), anything else
raising TypeError:

    with mapplot.quiet():
        mapplot.dat_map(x, y, z)       # Map.dat written, nothing printed
    mapplot.quiet(True)                # from here on, until quiet(False)
)doc";

inline constexpr const char* kQuietTypeDoc = R"doc(What mapplot.quiet returns: a context manager that gives the thread back,
when the block is left, the setting it had before quiet was called.
)doc";

inline constexpr const char* kRunProgramDoc = R"doc(run_program(name, main) -> int

Runs main() under the windowing runtime: a frame window captioned name, with
a console window showing the console lines and a graphics window per screen
map window, the window system on this (the first) thread while main runs on
a worker thread of its own, holding the interpreter. Without a display (no
DISPLAY or WAYLAND_DISPLAY, no QT_QPA_PLATFORM) it runs on Qt's offscreen
platform and draws as usual. When main returns, the frame window's caption
says "[finished]" and, with a display, a message box asks whether to close
it (MAPPLOT_NO_ASK=1: nobody is asked).

Returns main's exit code: its return value (None is 0) or the code of the
SystemExit it raised. Any other exception main raises, FatalError among
them, ends the program with exit code 1 and is raised again from here once
the windows are closed. Closing the frame window while main runs ends the
process (exit code 2). Call it from the main thread, before any screen map
has been painted outside it in this process (render, scr_map).
)doc";

// --- Films ---

inline constexpr const char* kMovieDoc = R"doc(Movie(path, fps=30)

A film of pictures, written as they are added: path's ending chooses it,
.mp4 (H.264, yuv420p, an odd width or height padded by repeating the last
column or row), .gif (looping; a picture of at most 256 colours keeps every
pixel, one of more is reduced to 256 by giflib's median cut) or .webm (VP9).
fps is the pictures a second (0.01 .. 1000). As a context manager:

    with mapplot.Movie("zoom.mp4") as movie:
        for frame in frames:
            movie.add(mapplot.render(x, y, frame))

The film is written under a temporary name and takes its name when it is
closed (the end of the with block, or close()); an exception in the block
gives it up, leaving no file. A name of no film ending, a folder that cannot
be written or a full disk raise mapplot.FatalError. In a notebook the
written film shows as a <video> (or, for a GIF, an <img>) embedding it, up
to 16 MiB; a larger one shows as a link to the file.
)doc";

inline constexpr const char* kMovieAddDoc = R"doc(add(picture) -> None

Adds a picture: a render result or any array of shape (rows, columns, 3),
dtype uint8 (red green blue). Every picture of a film has the size of the
first; another size raises ValueError, another dtype TypeError.
)doc";

inline constexpr const char* kMovieCloseDoc = R"doc(close() -> None

Finishes the film and gives it its name; a second close does nothing. A
Movie that holds no picture writes nothing and raises ValueError.
)doc";

inline constexpr const char* kMovieReprHtmlDoc = R"doc(The written film for a notebook: a <video> or <img> element holding it (up
to 16 MiB), else a link to the file; None before it is written.
)doc";

}  // namespace pymapplot
