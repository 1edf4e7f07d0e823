"""Wrong arguments raise TypeError or ValueError before anything is done; the
module's fatal errors raise FatalError with no file on disk changed, and the
next call works as usual; a file that cannot be opened raises the OSError of
its errno, a PostScript map refused ValueError; warning lines are
MapWarnings."""

import errno
import os
import re
import subprocess
import sys
import warnings

import numpy as np
import pytest

import mapplot
from conftest import matrix, painted, run_python

RENDERINGS = [mapplot.dat_map, mapplot.ps_map, mapplot.scr_map, mapplot.render]


def test_wrong_arrays_raise_before_anything_is_done(data, in_tmp, capfd):
    x, y, z = data["x8"], data["y8"], data["z8"]
    wrong = [
        (TypeError, (x.astype(np.complex64), y, z),
         "x must hold real or integer numbers, not complex64"),
        (TypeError, (x, y, z.astype(np.complex128)), "not complex128"),
        (TypeError, (x, y.astype(object), z), "y must hold real or integer numbers, not object"),
        (TypeError, (x, y, ["a"] * 20), "z must hold real or integer numbers, not <U1"),
        (TypeError, (x, y, np.ma.masked_array(z.astype(np.complex128))), "not complex128"),
        (ValueError, (x[:, None], y, z), "x and y must be one-dimensional, not of shapes (5, 1) and (4,)"),
        (ValueError, (x, 1.0, z), "not of shapes (5,) and ()"),
        (ValueError, (x, y, z[:-1]), "z must hold len(x) * len(y) = 20 values, not 19"),
        (ValueError, (x, y, np.zeros((5, 5))),
         "z must have the shape (len(x), len(y)) = (5, 4), not (5, 5)"),
        (ValueError, (x, y, matrix(z).T),  # a meshgrid's Z as it comes
         "not (4, 5); z[i, j] is the value at (x[i], y[j]): pass z.T"),
        (ValueError, (x, y, z.reshape(5, 2, 2)), "z must be one- or two-dimensional"),
    ]
    for call in RENDERINGS:
        for error, args, message in wrong:
            with pytest.raises(error, match=re.escape(message)):
                call(*args)
    assert os.listdir() == []
    assert capfd.readouterr() == ("", "")


def test_wrong_options_raise_type_error(data, in_tmp):
    x, y, z = data["x8"], data["y8"], data["z8"]
    for options in (dict(xlabel=3), dict(title=["T"]), dict(log="yes"), dict(log=1.0),
                    dict(file=3), dict(device=b"png", file=None, nonsense=1)):
        with pytest.raises(TypeError):
            mapplot.ps_map(x, y, z, **options)
    with pytest.raises(TypeError):
        mapplot.dat_map(x, y, z, 1)  # options are keywords only
    assert os.listdir() == []


@pytest.mark.parametrize("value,kind", [(0.0, "SING"), (-0.0, "SING"), (-1.0, "DOMAIN")])
def test_log_of_zero_or_below_raises_and_changes_no_file(reference, data, in_tmp, capfd, value,
                                                          kind):
    for name in ("Map.dat", "Map.ps"):
        (in_tmp / name).write_bytes(b"earlier")
    for size in "48":
        z = data["z" + size].copy()
        z[7] = value
        for call in RENDERINGS:
            with pytest.raises(mapplot.FatalError, match=f"^log10: {kind} error$"):
                call(data["x" + size], data["y" + size], z, log=True)
    assert sorted(os.listdir()) == ["Map.dat", "Map.ps"]
    assert (in_tmp / "Map.dat").read_bytes() == (in_tmp / "Map.ps").read_bytes() == b"earlier"
    assert capfd.readouterr() == ("", "")  # the exception is the report: nothing printed

    # Nothing was left half-done: the next calls give what they always give.
    mapplot.ps_map(data["x4"], data["y4"], data["z4"], file="ps_map.png", device="png")
    assert (in_tmp / "ps_map.png").read_bytes() == (reference / "ps_map.png").read_bytes()
    picture = mapplot.render(data["x4"], data["y4"], data["z4"])
    assert picture.tobytes() == painted(reference / "scr_map_r4.rgb", 1).tobytes()


def test_files_that_cannot_be_written_raise_and_leave_nothing(data, in_tmp, capfd):
    x, y, z = data["x4"], data["y4"], data["z4"]
    os.mkdir("folder.dat")
    with pytest.raises(mapplot.FatalError, match="^File folder.dat: cannot open: Is a directory$"):
        mapplot.dat_map(x, y, z, file="folder.dat")
    with pytest.raises(mapplot.FatalError, match="^File name is blank"):
        mapplot.dat_map(x, y, z, file="  ")
    # The PostScript map reports a device it cannot open, as PGPLOT does, and raises.
    with pytest.raises(IsADirectoryError):
        mapplot.ps_map(x, y, z, file="folder.dat", device="png")
    with pytest.raises(FileNotFoundError):
        mapplot.ps_map(x, y, z, file="missing/map.png", device="png")
    assert os.listdir() == ["folder.dat"]
    out, err = capfd.readouterr()
    assert out == ""
    assert "%PGPLOT, Cannot open output file for PNG plot: missing/map.png" in err


def test_a_nul_byte_in_a_file_name_or_device_type_raises_and_writes_nothing(data, in_tmp,
                                                                             capfd):
    x, y, z = data["x8"], data["y8"], data["z8"]
    refused = [
        (mapplot.dat_map, dict(file="a\0b.dat"), "File name holds a NUL byte: a\\0b.dat"),
        (mapplot.ps_map, dict(file=b"a\0b.ps"), "File name holds a NUL byte: a\\0b.ps"),
        (mapplot.ps_map, dict(device="png\0"), "Device type holds a NUL byte: png\\0"),
    ]
    for call, options, message in refused:
        with pytest.raises(mapplot.FatalError, match="^" + re.escape(message) + "$"):
            call(x, y, z, **options)
    assert os.listdir() == []
    assert capfd.readouterr() == ("", "")


def test_a_full_file_raises_keeps_the_earlier_file_and_the_next_call_works(reference, in_tmp):
    # The file size limit in a process of its own: writes beyond it fail.
    result = run_python(f"""
import resource, signal, numpy as np, mapplot
ref = {str(reference)!r}
x, y, z = (np.fromfile(f"{{ref}}/{{n}}4.bin", dtype=np.float32) for n in "xyz")
open("ps_map.png", "wb").write(b"earlier")
open("Map.dat", "wb").write(b"earlier")
signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
resource.setrlimit(resource.RLIMIT_FSIZE, (300, resource.RLIM_INFINITY))
for call, options in ((mapplot.ps_map, dict(file="ps_map.png", device="png")), (mapplot.dat_map, {{}})):
    try:
        call(x, y, z, **options)
    except mapplot.FatalError as e:
        print("FatalError:", e)
resource.setrlimit(resource.RLIMIT_FSIZE, (resource.RLIM_INFINITY, resource.RLIM_INFINITY))
import os; print(sorted(os.listdir()), open("ps_map.png", "rb").read(), open("Map.dat", "rb").read())
mapplot.ps_map(x, y, z, file="ps_map.png", device="png")
""", cwd=in_tmp)
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines() == [
        "FatalError: File ps_map.png: cannot write: File too large",
        "FatalError: File Map.dat: cannot write: File too large",
        "['Map.dat', 'ps_map.png'] b'earlier' b'earlier'",
        "  Output in ps_map.png"]
    assert (in_tmp / "ps_map.png").read_bytes() == (reference / "ps_map.png").read_bytes()


# Each PostScript device, the earlier file and what is left beside it, printed
# by a script that calls ps_map in a folder whose file system `full()` fills.
# The map is large enough for the page to reach its image before cairo first
# writes it out.
POSTSCRIPT_SCRIPT = """
import os, numpy as np, mapplot
x = (-2 + 0.025 * np.arange(121)).astype(np.float32)
y = (-1.5 + 0.025 * np.arange(121)).astype(np.float32)
z = (np.sin(2 * x)[None, :] * np.cos(3 * y)[:, None] + 2).astype(np.float32).ravel()
for device in ("ps", "cps", "vps", "vcps", "eps"):
    name = "Map." + device
    open(name, "wb").write(b"earlier")
    full()
    try:
        mapplot.ps_map(x, y, z, device=device)
    except mapplot.FatalError as e:
        print("FatalError:", e, sorted(os.listdir()), open(name, "rb").read())
    os.remove(name)
"""


def expected_postscript_lines(reason):
    return [f"FatalError: File Map.{d}: cannot write: {reason} ['Map.{d}'] b'earlier'"
            for d in ("ps", "cps", "vps", "vcps", "eps")]


def test_postscript_under_a_tiny_file_size_limit_raises(in_tmp):
    # Below the first buffer of the page cairo composes before the file.
    result = run_python("""
import resource, signal
signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
resource.setrlimit(resource.RLIMIT_FSIZE, (1024, resource.RLIM_INFINITY))
def full(): pass
""" + POSTSCRIPT_SCRIPT, cwd=in_tmp)
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines() == expected_postscript_lines("File too large")


def test_postscript_through_a_full_tmp_raises():
    # A private mount namespace with a 64 KiB file system on /tmp, full, the
    # current folder on it. The module is imported before /tmp is covered,
    # as the build it comes from may lie under /tmp itself.
    mount = "mount -t tmpfs -o size=64k mapplot-test /tmp"
    probe = subprocess.run(["unshare", "-m", "sh", "-c", mount], capture_output=True, text=True)
    if probe.returncode != 0:
        pytest.skip("no private /tmp to fill here: " + probe.stderr.strip())
    script = f"""
import mapplot, os, subprocess
subprocess.run({mount.split()!r}, check=True)
os.mkdir("/tmp/w")
os.chdir("/tmp/w")
def full():
    room = os.statvfs(".")
    with open("/tmp/filler", "ab") as filler:
        filler.write(b"f" * (room.f_bavail * room.f_frsize))
""" + POSTSCRIPT_SCRIPT
    result = subprocess.run(["unshare", "-m", sys.executable, "-c", script],
                            capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines() == expected_postscript_lines("No space left on device")


def test_read_map_errors(in_tmp):
    with pytest.raises(FileNotFoundError):
        mapplot.read_map("missing.dat")
    os.mkdir("folder")
    with pytest.raises(IsADirectoryError):
        mapplot.read_map("folder")
    (in_tmp / "bad.dat").write_bytes(b"           1           1           1\r\n   1.000000    \r\n"
                                      b"not a value\r\n   2.000000    \r\n x\r\n y\r\n t\r\n")
    with pytest.raises(ValueError, match='^bad.dat: line 3: not a y value: "not a value"$'):
        mapplot.read_map("bad.dat")
    for wrong in (3, None):
        with pytest.raises(TypeError):
            mapplot.read_map(wrong)


def test_wrong_options_name_the_option_and_what_it_takes(data, in_tmp):
    x, y, z = data["x8"], data["y8"], data["z8"]
    wrong = [
        (mapplot.ps_map, dict(log="yes"), TypeError,
         "log takes an int or a bool (its lowest bit counts) or None, not str"),
        (mapplot.render, dict(size=2.0), TypeError, "size takes an int or None, not float"),
        (mapplot.scr_map, dict(own_window=[True]), TypeError,
         "own_window takes an int or a bool (its lowest bit counts) or None, not list"),
        (mapplot.scr_map, dict(size=2**40), OverflowError,
         "size is out of the range of a C int: 1099511627776"),
        (mapplot.dat_map, dict(nonsense=1), TypeError,
         "dat_map() got an unexpected keyword argument 'nonsense'; "
         "its options are log, xlabel, ylabel, title, file, comm, offset"),
        (mapplot.render, dict(file="map.ps"), TypeError,
         "render() got an unexpected keyword argument 'file'; "
         "its options are log, xlabel, ylabel, title, size, palette, zmin, zmax, nan_colour, "
         "under, over, zcentre, zlabel, contours, contour_colour, contour_labels"),
        (mapplot.ps_map, dict(x=x), TypeError, "ps_map() got multiple values for argument 'x'"),
    ]
    for call, options, error, message in wrong:
        with pytest.raises(error, match=f"^{re.escape(message)}$"):
            call(x, y, z, **options)
    with pytest.raises(TypeError, match=re.escape(
            "dat_map() takes 3 positional arguments (x, y, z) but 4 were given; "
            "its options are keywords: log, xlabel, ylabel, title, file")):
        mapplot.dat_map(x, y, z, 1)
    with pytest.raises(TypeError, match=re.escape("scr_map() missing required argument 'z'")):
        mapplot.scr_map(x, y, title="T")
    assert os.listdir() == []

    # What the options take: ints of any kind, truth values as bools; the
    # arrays by name too.
    mapplot.dat_map(z=z, y=y, x=x, log=np.True_, file="a.dat")
    mapplot.dat_map(x, y, z, log=np.int64(1), file="b.dat")
    assert (in_tmp / "a.dat").read_bytes() == (in_tmp / "b.dat").read_bytes()
    assert mapplot.render(x, y, z, size=np.uint8(3)).tobytes() == \
        mapplot.render(x, y, z, size=True + 2).tobytes()


def test_storage_that_cannot_be_had_is_out_of_memory_in_every_form(tmp_path):
    if "libasan" in os.environ.get("LD_PRELOAD", ""):
        pytest.skip("AddressSanitizer ends a program on a huge allocation itself")
    # z holds 4 * 10^8 values, all one element: the copies of it cannot be had
    # within the address space left.
    result = run_python("""
import resource, numpy as np, mapplot
mapplot.render([0., 1.], [0., 1.], [0., 1., 2., 3.])  # the fonts, before the limit
with open("/proc/self/status") as status:
    size = next(int(line.split()[1]) for line in status if line.startswith("VmSize:")) * 1024
resource.setrlimit(resource.RLIMIT_AS, (size + (1 << 30), resource.RLIM_INFINITY))
for precision in (np.float32, np.float64):
    x = y = np.linspace(0, 1, 20000, dtype=precision)
    one = np.ones((1, 1), precision)
    flat, matrix = (x.size * y.size,), (x.size, y.size)
    for z in (np.broadcast_to(one.ravel(), flat), np.broadcast_to(one, matrix)):
        for call in (mapplot.render, mapplot.scr_map, mapplot.ps_map):
            try:
                call(x, y, z)
                print(call.__name__, "drawn")
            except mapplot.FatalError as e:
                print(call.__name__, "FatalError:", e)
            except MemoryError as e:
                print(call.__name__, "MemoryError:", e)
mapplot.ps_map([0., 1.], [0., 1.], [0., 1., 2., 3.], file="after.png", device="png")
""", cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines() == \
        [f"{name} FatalError: Out of memory" for name in ("render", "scr_map", "ps_map")] * 4 + \
        ["  Output in after.png"]
    assert result.stderr == ""
    assert os.listdir(tmp_path) == ["after.png"]


def test_storage_short_of_what_giza_and_cairo_take_is_out_of_memory(tmp_path):
    if "libasan" in os.environ.get("LD_PRELOAD", ""):
        pytest.skip("AddressSanitizer ends a program on a huge allocation itself")
    # The arrays' copies fit, what giza and cairo take after them may not:
    # from a little above the address space used to plenty, each call draws
    # its file whole or is "Out of memory" with the earlier file kept, never
    # a crash, a temporary left or a file cut short.
    result = run_python("""
import ctypes, os, resource, numpy as np, mapplot
mapplot.render([0., 1.], [0., 1.], [0., 1., 2., 3.])  # the fonts, before the limit
# Large blocks always mapped on their own and free storage given back before
# each call, so that the limit bounds what a call can have, whatever the
# calls before it left in the heap.
libc = ctypes.CDLL("libc.so.6")
libc.mallopt(-3, 128 * 1024)  # M_MMAP_THRESHOLD, fixed
n = 1000
x = y = np.linspace(0, 1, n, dtype=np.float32)
z = np.random.default_rng(1).random((n, n), np.float32)
ends = {"ps": b"%%EOF", "pdf": b"%%EOF", "svg": b"</svg>"}
for call in ("ps", "pdf", "svg"):
    outcomes = set()
    for tenths in range(0, 80, 3):
        open("m." + call, "wb").write(b"earlier")
        libc.malloc_trim(0)
        with open("/proc/self/status") as status:
            size = next(int(line.split()[1]) for line in status
                        if line.startswith("VmSize:")) * 1024
        resource.setrlimit(resource.RLIMIT_AS, (size + z.nbytes * tenths // 10,
                                                resource.RLIM_INFINITY))
        try:
            mapplot.ps_map(x, y, z, file="m." + call, device=call)
            drawn = open("m." + call, "rb").read().rstrip().endswith(ends[call])
            outcomes.add("drawn" if drawn else "cut short")
        except mapplot.FatalError as e:
            kept = open("m." + call, "rb").read() == b"earlier"
            outcomes.add(f"{e}, earlier file kept" if kept else "lost")
        resource.setrlimit(resource.RLIMIT_AS, (resource.RLIM_INFINITY, resource.RLIM_INFINITY))
        assert os.listdir() == ["m." + call], os.listdir()
    os.remove("m." + call)
    print(call, sorted(outcomes))
""", cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    lines = [line for line in result.stdout.splitlines() if not line.startswith("  Output in")]
    assert lines == [f"{call} ['Out of memory, earlier file kept', 'drawn']"
                     for call in ("ps", "pdf", "svg")]


def test_read_map_out_of_memory_is_the_out_of_memory_of_the_other_calls(tmp_path):
    if "libasan" in os.environ.get("LD_PRELOAD", ""):
        pytest.skip("AddressSanitizer ends a program on a huge allocation itself")
    # Endless value lines from a pipe: the values read fill the address space
    # left, which is "Out of memory" as the other calls report it, no
    # ValueError about the file's contents.
    result = run_python("""
import os, resource, threading, mapplot
r, w = os.pipe()
def feed():
    try:
        os.write(w, b"           1           1           1\\r\\n")
        line = b"   1.000000    \\r\\n" * 4000
        while True:
            os.write(w, line)
    except OSError:
        pass
threading.Thread(target=feed, daemon=True).start()
with open("/proc/self/status") as status:
    size = next(int(line.split()[1]) for line in status if line.startswith("VmSize:")) * 1024
resource.setrlimit(resource.RLIMIT_AS, (size + (256 << 20), resource.RLIM_INFINITY))
try:
    mapplot.read_map(f"/proc/self/fd/{r}")
except Exception as e:
    print(type(e).__name__, isinstance(e, mapplot.FatalError), e)
os.close(r)
""", cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    assert result.stdout == "FatalError True Out of memory\n"
    assert result.stderr == ""  # the exception is the report


# Files a call cannot open: the folder is missing, the name is a folder's, the
# file is write-protected (tried as the user nobody where this is root). Each
# call prints its exception's class, whether it is a FatalError, errno,
# strerror, filename and message, and what is left.
FILE_ERRORS = r"""
import errno, os, pwd, sys, numpy as np, mapplot
x = y = np.array([0., 1.]); z = np.array([1., 2., 3., 4.])
for ending in ("dat", "ps", "png"):
    os.mkdir(f"folder.{ending}")
    with open(f"protected.{ending}", "wb") as f:
        f.write(b"earlier")
    os.chmod(f"protected.{ending}", 0o444)
if os.geteuid() == 0:
    nobody = pwd.getpwnam("nobody")
    os.setgroups([]); os.setgid(nobody.pw_gid); os.setuid(nobody.pw_uid)
for call, options, ending in ((mapplot.dat_map, {}, "dat"), (mapplot.ps_map, {}, "ps"),
                              (mapplot.ps_map, dict(device="png"), "png")):
    for name in (f"missing/m.{ending}", f"folder.{ending}", f"protected.{ending}"):
        try:
            call(x, y, z, file=name, **options)
        except OSError as e:
            kind = type(e)
            print(call.__name__, name, f"{kind.__module__}.{kind.__name__}",
                  isinstance(e, mapplot.FatalError), errno.errorcode[e.errno],
                  e.strerror == os.strerror(e.errno), e.filename, str(e), sep="|")
print(sorted(os.listdir()), {open(f"protected.{e}", "rb").read() for e in ("dat", "ps", "png")})
"""


@pytest.fixture(scope="module")
def file_errors(tmp_path_factory):
    """What the script printed for each call, by routine and file name."""
    folder = tmp_path_factory.mktemp("file_errors")
    folder.chmod(0o777)  # for nobody too
    result = run_python(FILE_ERRORS, cwd=folder)
    assert result.returncode == 0, result.stderr
    *rows, left = result.stdout.splitlines()
    assert left == str(sorted(f"{kind}.{e}" for kind in ("folder", "protected")
                              for e in ("dat", "ps", "png"))) + " {b'earlier'}"
    return {tuple(row.split("|")[:2]): row.split("|")[2:] for row in rows}


@pytest.mark.parametrize("file,kind,code,step", [
    ("missing/m", "FileNotFoundError", "ENOENT", "cannot create"),
    ("folder", "IsADirectoryError", "EISDIR", "cannot open"),
    ("protected", "PermissionError", "EACCES", "cannot open"),
])
@pytest.mark.parametrize("routine,ending", [("dat_map", "dat"), ("ps_map", "ps"),
                                            ("ps_map", "png")])
def test_a_file_that_cannot_be_opened_raises_the_oserror_of_its_errno(
        file_errors, file, kind, code, step, routine, ending):
    name = f"{file}.{ending}"
    got = file_errors[routine, name]
    strerror = os.strerror(getattr(errno, code))
    if routine == "dat_map":  # a fatal error: FatalError too, with the module's message
        assert got == [f"mapplot.{kind}", "True", code, "True", name,
                       f"File {name}: {step}: {strerror}"]
    else:  # no file written: the OSError itself
        assert got == [f"builtins.{kind}", "False", code, "True", name,
                       f"[Errno {getattr(errno, code)}] {strerror}: '{name}'"]


@pytest.mark.parametrize("arrays,options,message", [
    (([0.], [0., 1.], [1., 2.]), {}, "Warning: at least two x and two y values are needed !!!"),
    (([0., np.nan], [0., 1.], [1., 2., 3., 4.]), {}, "Warning: x and y values must be finite !!!"),
    (([0., 1.], [0., 1.], [1., 2., 3., 4.]), dict(device="gif"), "Unrecognized device type: gif"),
    (([0., 1.], [0., 1.], [1., 2., 3., 4.]), dict(device="tmp/x/ps"),
     "Unrecognized device type: tmp/x/ps"),
])
def test_a_postscript_map_refused_raises_value_error_and_warns_nothing(in_tmp, capfd, arrays,
                                                                       options, message):
    with warnings.catch_warnings(record=True) as warned:
        warnings.simplefilter("always")
        with pytest.raises(ValueError, match=f"^{re.escape(message)}$"):
            mapplot.ps_map(*map(np.array, arrays), palette="sepia", **options)
    assert warned == [] and os.listdir() == []
    assert capfd.readouterr().out == ""


FLAT = ([0., 1.], [0., 1.], [2., 2., 2., 2.])
RAMP = ([0., 1.], [0., 1.], [1., 2., 3., 4.])
SEPIA = "Warning: unknown palette sepia, grey used !!!"


@pytest.mark.parametrize("call,arrays,options,message", [
    (mapplot.ps_map, FLAT, dict(file="m.ps"), "Array is flat!"),
    (mapplot.ps_map, RAMP, dict(file="m.png", device="png", palette="sepia"), SEPIA),
    (mapplot.render, RAMP, dict(palette="sepia"), SEPIA),
    (mapplot.ps_map, RAMP, dict(file="m.ps", zmin=3, zmax=1),
     "Warning: zmin must be below zmax, both finite: the data's range used !!!"),
])
def test_warning_lines_are_map_warnings_the_filters_control(in_tmp, capfd, call, arrays,
                                                            options, message):
    assert issubclass(mapplot.MapWarning, UserWarning) and mapplot.MapWarning.__doc__
    arrays = [np.array(a) for a in arrays]
    with warnings.catch_warnings(record=True) as warned:
        warnings.simplefilter("always")
        line = sys._getframe().f_lineno + 1
        call(*arrays, **options)
    assert [(w.category, str(w.message), w.filename, w.lineno) for w in warned] == \
        [(mapplot.MapWarning, message, __file__, line)]
    with warnings.catch_warnings():
        warnings.simplefilter("error", mapplot.MapWarning)
        with pytest.raises(mapplot.MapWarning, match=f"^{re.escape(message)}$"):
            call(*arrays, **options)
    with warnings.catch_warnings(record=True) as silent:
        warnings.simplefilter("ignore", mapplot.MapWarning)
        call(*arrays, **options)
    assert silent == []
    out, err = capfd.readouterr()
    assert out == (f"  Output in {options['file']}\n" * 3 if "file" in options else "")
    assert "Warning" not in err and "flat" not in err
