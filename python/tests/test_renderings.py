"""Each Python call gives the bytes of the C++ call of the matching form,
whatever the layout of its arrays; the arrays stay as they were."""

import os
import pathlib
import re
import subprocess

import numpy as np
import pytest

import mapplot
from conftest import matrix, run_python

# The C++ calls of reference_maps.cpp: (file, form's precision, z as matrix,
# options). Each call here passes the same data and options.
DAT_CASES = [
    ("dat_map.dat", "4", False, {}),
    ("dat_map_r8.dat", "8", False, {}),
    ("dat_map_2d.dat", "4", True, dict(log=-1, xlabel="  Re(c)", title="Field")),
    ("dat_map_2d_r8.dat", "8", True, dict(xlabel="", ylabel="height", title="  T")),
]
PS_CASES = [
    ("ps_map.png", "4", False, dict(device="png")),
    ("ps_map_r8.svg", "8", False, dict(log=-1, title="Spectrum", device="svg")),
    ("ps_map_2d.png", "4", True, dict(xlabel="t", ylabel="E", device="png")),
    ("ps_map_2d_r8.svg", "8", True, dict(title="", device="SVG")),
]


def arrays(data, size, as_matrix):
    z = data["z" + size]
    return data["x" + size], data["y" + size], matrix(z) if as_matrix else z


def layouts(x, y, z):
    """The same values in other layouts: strided, reversed, byte-swapped, a
    matrix in C and in Fortran order, Python lists."""
    def spaced(a):  # every other element of a larger array
        wide = np.zeros((2 * a.shape[0],) + a.shape[1:], a.dtype)
        wide[::2] = a
        return wide[::2]

    def reversed_view(a):  # a negative stride over reversed storage
        return np.ascontiguousarray(a[::-1])[::-1]

    yield "contiguous", x, y, np.ascontiguousarray(z)  # a matrix in C order: strides (ny, 1)
    yield "strided", spaced(x), spaced(y), spaced(z)
    yield "reversed", reversed_view(x), reversed_view(y), reversed_view(z)
    yield "big-endian", *(a.astype(a.dtype.newbyteorder(">")) for a in (x, y, z))
    if z.ndim == 2:
        yield "Fortran-ordered", x, y, np.asfortranarray(z)  # as meshgrid's Z.T
    if x.dtype == np.float64:  # Python floats are double precision
        yield "lists", x.tolist(), y.tolist(), z.tolist()


@pytest.mark.parametrize("name,size,as_matrix,options", DAT_CASES)
def test_data_file_has_the_bytes_of_the_cpp_form(reference, data, in_tmp, capfd, name, size,
                                                 as_matrix, options):
    expected = (reference / name).read_bytes()
    for layout, x, y, z in layouts(*arrays(data, size, as_matrix)):
        mapplot.dat_map(x, y, z, file=name, **options)
        assert (in_tmp / name).read_bytes() == expected, layout
    # Each call's console line once, through sys.stdout and nowhere else.
    out, err = capfd.readouterr()
    assert out == f"  Output in {name}\n" * len(list(layouts(*arrays(data, size, as_matrix))))
    assert err == ""


def same_drawing(name, produced, expected):
    """SVG names its parts by counters that run through the process (image5,
    surface1 ...): they are numbered afresh, in order of appearance."""
    if not name.endswith(".svg"):
        return produced == expected

    def renumbered(svg):
        numbers = {}
        return re.sub(rb"(image|surface|glyph|clip|pattern|mask)(\d+)",
                      lambda m: m[1] + str(numbers.setdefault(m[0], len(numbers))).encode(), svg)
    return renumbered(produced) == renumbered(expected)


@pytest.mark.parametrize("name,size,as_matrix,options", PS_CASES)
def test_postscript_map_has_the_bytes_of_the_cpp_form(reference, data, in_tmp, capsys, name,
                                                      size, as_matrix, options):
    expected = (reference / name).read_bytes()
    file = name.replace(".png", ".ps") if name == "ps_map_2d.png" else name  # the ending rule
    for layout, x, y, z in layouts(*arrays(data, size, as_matrix)):
        mapplot.ps_map(x, y, z, file=file, **options)
        assert same_drawing(name, (in_tmp / name).read_bytes(), expected), layout
    assert capsys.readouterr().out.splitlines()[-1] == f"  Output in {name}"


def test_omitted_keywords_are_the_defaults(reference, data, in_tmp):
    """python3 -c "import mapplot ..." writes the Map.dat of dat_map_r8."""
    defaults = reference / "defaults"
    mapplot.dat_map(data["x8"], data["y8"], data["z8"])
    assert (in_tmp / "Map.dat").read_bytes() == (defaults / "Map.dat").read_bytes()
    mapplot.ps_map(data["x4"], data["y4"], matrix(data["z4"]), log=None, file=None, device="png")
    assert (in_tmp / "Map.png").read_bytes() == (defaults / "Map.png").read_bytes()
    # The PostScript file's image data may differ from run to run (giza's
    # wedge); its layout, landscape, does not.
    mapplot.ps_map(data["x4"], data["y4"], matrix(data["z4"]))

    def comments(path):
        return [line for line in path.read_bytes().splitlines()
                if line.startswith(b"%%") and not line.startswith(b"%%CreationDate")]
    assert comments(in_tmp / "Map.ps") == comments(defaults / "Map.ps")
    assert b"%%BoundingBox: 0 0 612 459" in comments(in_tmp / "Map.ps")


def test_texts_and_file_names_of_every_kind(data, in_tmp):
    x, y, z = data["x4"], data["y4"], data["z4"]
    mapplot.dat_map(x, y, z, xlabel=b"bytes", ylabel="é\udcff", title="",
                    file=pathlib.Path("sub.dat"))
    lines = (in_tmp / "sub.dat").read_bytes().split(b"\r\n")
    assert lines[-4:] == [b" bytes", b" \xc3\xa9\xff", b" ", b""]
    back = mapplot.read_map(pathlib.Path("sub.dat"))
    assert isinstance(back, mapplot.MapData) and back.z.shape == (20,)
    assert [a.dtype for a in back[:3]] == [np.float32] * 3 and np.array_equal(back.x, x)
    assert (back.xlabel, back.ylabel, back.title) == ("bytes", "é\udcff", "")
    # Written again from what was read, the same bytes.
    mapplot.dat_map(back.x, back.y, back.z, xlabel=back.xlabel, ylabel=back.ylabel,
                    title=back.title, file="again.dat")
    assert (in_tmp / "again.dat").read_bytes() == (in_tmp / "sub.dat").read_bytes()


def long_path(folder, length):
    """A path under folder of at least length bytes, through folders made here."""
    path = folder
    while len(str(path)) + 40 < length:
        path = path / "a_folder_of_a_path_longer_than_a_field"
        path.mkdir()
    return path / "a_map_at_the_end_of_it"


@pytest.mark.parametrize("length", [115, 300])
def test_file_names_of_any_length_are_used_whole(reference, data, in_tmp, capsys, length):
    x, y, z = data["x4"], data["y4"], data["z4"]
    path = long_path(in_tmp, length)
    mapplot.dat_map(x, y, z, file=str(path) + ".dat")
    mapplot.ps_map(x, y, z, file=path.with_suffix(".ps"), device="png")  # os.PathLike
    mapplot.dat_map(x, y, z, file=path.with_suffix(".bytes"))
    assert len(str(path)) >= length - 40 and len(str(path)) > 80
    files = sorted(str(p) for p in in_tmp.rglob("*") if p.is_file())
    assert files == [str(path) + ext for ext in (".bytes", ".dat", ".png")]
    assert capsys.readouterr().out == "".join(
        f"  Output in {path}{ext}\n" for ext in (".dat", ".png", ".bytes"))
    assert (path.with_suffix(".dat")).read_bytes() == (reference / "dat_map.dat").read_bytes()
    assert (path.with_suffix(".png")).read_bytes() == (reference / "ps_map.png").read_bytes()


def test_arrays_are_never_changed(data, in_tmp):
    for size in "48":
        for as_matrix in (False, True):
            x, y, z = arrays(data, size, as_matrix)
            x, y, z = x.copy(), y.copy(), z.copy()
            before = [a.copy() for a in (x, y, z)]
            mapplot.dat_map(x, y, z, log=True)
            mapplot.ps_map(x, y, z, device="null")
            mapplot.render(x, y, z)
            mapplot.scr_map(x, y, z, own_window=True)  # the base form rescales in place
            for a, b in zip((x, y, z), before):
                assert np.array_equal(a, b)


def ramp_20x20():
    x = np.linspace(0, 1, 20, dtype=np.float32)
    y = np.linspace(0, 2, 20, dtype=np.float32)
    return x, y, np.add.outer(y, x).ravel()


def test_infinite_values_take_the_ends_of_the_finite_range(in_tmp, capfd):
    """One inf in z draws the map of its finite values, wedge, numbers and
    labels included, the cell at the top of the scale (-inf at the bottom)."""
    x, y, z = ramp_20x20()
    infinite, ends = z.copy(), z.copy()
    infinite[45], ends[45] = np.inf, z.max()
    infinite[300], ends[300] = -np.inf, z.min()
    mapplot.ps_map(x, y, infinite, title="Ramp", file="inf.png", device="png")
    mapplot.ps_map(x, y, ends, title="Ramp", file="ends.png", device="png")
    assert (in_tmp / "inf.png").read_bytes() == (in_tmp / "ends.png").read_bytes()
    assert np.array_equal(mapplot.render(x, y, infinite), mapplot.render(x, y, ends))
    assert capfd.readouterr() == ("  Output in inf.png\n  Output in ends.png\n", "")


def test_coordinates_that_are_not_finite_draw_nothing(in_tmp, capfd):
    x, y, z = ramp_20x20()
    flat = mapplot.render(x, y, np.ones_like(z))
    for bad_x, bad_y in ((np.where(x == 1, np.inf, x), y), (x, np.where(y == 0, np.nan, y))):
        with pytest.raises(ValueError, match=r"^Warning: x and y values must be finite !!!$"):
            mapplot.ps_map(bad_x, bad_y, z, device="png")
        assert np.array_equal(mapplot.render(bad_x, bad_y, z), flat)
    assert os.listdir() == []
    assert capfd.readouterr() == ("", "")


def test_nothing_giza_prints_reaches_standard_output(tmp_path):
    """Standard output (here a pipe) carries the console lines and nothing
    else: not the line feeds giza writes for a text, nor its notes."""
    result = run_python("""
import numpy as np, mapplot
x = np.array([0., 1.]); y = np.array([0., 1.]); z = np.array([1., 2., 3., 4.])
mapplot.ps_map(x, y, z, xlabel="two\\nlines", file="a.png", device="png")
try:
    mapplot.ps_map(np.array([0., np.inf]), y, z, file="b.png", device="png")
except ValueError as e:
    print("ValueError:", e)
""", cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    assert result.stdout == ("  Output in a.png\n"
                             "ValueError: Warning: x and y values must be finite !!!\n")


def ink(png):
    """The ink of a picture: its mean darkness on white, from 0 to 1."""
    mean = subprocess.run(["convert", str(png), "-background", "white", "-flatten",
                           "-colorspace", "Gray", "-format", "%[fx:mean]", "info:"],
                          capture_output=True, text=True, check=True).stdout
    return 1 - float(mean)


def test_labels_in_any_language_are_drawn(data, in_tmp, capfd):
    """Each label of a PostScript map from Python carries about the ink of its
    ASCII spelling, whatever the characters beyond ASCII."""
    x, y, z = data["x4"], data["y4"], data["z4"]
    blank = dict(xlabel=" ", ylabel=" ", title=" ")

    def drawn(**label):
        mapplot.ps_map(x, y, z, file="labels.png", device="png", **{**blank, **label})
        return ink(in_tmp / "labels.png")

    none = drawn()
    for wide, ascii in [(dict(xlabel="Température"), dict(xlabel="Temperature")),
                        (dict(ylabel="μ [m²]"), dict(ylabel="u [m2]")),
                        (dict(title="Größe"), dict(title="Grosse")),
                        (dict(title="°C"), dict(title="oC"))]:
        ratio = (drawn(**wide) - none) / (drawn(**ascii) - none)
        assert 0.6 < ratio < 1.5, (wide, ratio)
    assert "Warning" not in capfd.readouterr().err


def test_control_characters_in_labels_are_blanks(data, in_tmp, capfd):
    """A line feed in a label draws as a blank and never reaches standard output."""
    x, y, z = data["x4"], data["y4"], data["z4"]
    capfd.readouterr()
    mapplot.ps_map(x, y, z, xlabel="a\nb", title="T\r\n", file="lf.png", device="png")
    mapplot.ps_map(x, y, z, xlabel="a b", title="T  ", file="blank.png", device="png")
    assert capfd.readouterr().out == "  Output in lf.png\n  Output in blank.png\n"
    assert (in_tmp / "lf.png").read_bytes() == (in_tmp / "blank.png").read_bytes()


def dtype_cases():
    """(form, base values, the same values in other dtypes, single precision):
    each form must give what float64 (or float32, when single) of the base gives."""
    reals = (np.linspace(0, 1, 5), np.arange(4) * 0.5, (np.arange(20) - 7) * 0.25)
    ints = (np.arange(5), np.arange(4) * 3, np.arange(20) * 7 % 11)
    x, y, z = reals
    i, j, k = ints
    # Values float32 does not hold (its steps are 2 there): they tell the
    # precisions apart.
    fine = (x, y, 2.0**24 + np.arange(20))

    def masked(values, dtype):
        return np.ma.masked_array(values.astype(dtype), mask=np.arange(20) % 6 == 1)

    def big_endian(a, dtype):
        return a.astype(np.dtype(dtype).newbyteorder(">"))

    return [
        ("float16", reals, (x.astype(np.float16), y.astype(np.float16), z.astype(np.float16)),
         True),
        ("float16 and float32", reals, (x.astype(np.float16), y.astype(np.float32),
                                        z.astype(np.float32)), True),
        ("float16 matrix", reals, (x.astype(np.float16), y.astype(np.float16),
                                   matrix(z.astype(np.float16))), True),
        ("float32 x, float64 y and z", fine, (x.astype(np.float32), y, fine[2]), False),
        ("float32 x and y, float64 z", fine, (x.astype(np.float32), y.astype(np.float32),
                                              fine[2]), False),
        ("float16 x, float64 z", fine, (x.astype(np.float16), y.astype(np.float32), fine[2]),
         False),
        ("float32 x and y, int64 z", fine, (x.astype(np.float32), y.astype(np.float32),
                                            fine[2].astype(np.int64)), False),
        ("longdouble", reals, tuple(a.astype(np.longdouble) for a in reals), False),
        ("float32 x and y, int z", ints, (i.astype(np.float32), j.astype(np.float32), k), False),
        ("int64", ints, ints, False),
        ("int8, uint16, uint8", ints, (i.astype(np.int8), j.astype(np.uint16),
                                      k.astype(np.uint8)), False),
        ("big-endian int32, strided int16", ints, (big_endian(i, np.int32), j.astype(np.int16),
                                                   np.repeat(k.astype(np.int16), 2)[::2]), False),
        ("int matrix", ints, (i, j, matrix(k)), False),
        ("bool z", (x, y, (k % 2).astype(float)), (x, y, k % 2 == 1), False),
        ("lists of ints", ints, (i.tolist(), j.tolist(), k.tolist()), False),
        ("nested lists", ints, (i.tolist(), j.tolist(), matrix(k).tolist()), False),
        ("tuples of ints and floats", reals, (tuple(x), tuple(int(v) if v == int(v) else v
                                                              for v in y), list(z)), False),
        ("masked int z", (x, y, np.where(np.arange(20) % 6 == 1, np.nan, k)),
         (x, y, masked(k, np.int32)), False),
        ("masked float16 z", (x, y, np.where(np.arange(20) % 6 == 1, np.nan, z)),
         (x.astype(np.float32), y.astype(np.float32), masked(z, np.float16)), True),
    ]


def outputs(x, y, z):
    """The data file, the PNG file and the picture of one call of each."""
    mapplot.dat_map(x, y, z, file="m.dat", title="dtypes")
    mapplot.ps_map(x, y, z, file="m.png", device="png", title="dtypes")
    picture = mapplot.render(x, y, z, title="dtypes")
    return (pathlib.Path("m.dat").read_bytes(), pathlib.Path("m.png").read_bytes(),
            np.asarray(picture).tobytes())


def test_any_real_or_integer_dtype_gives_the_float_form_of_its_precision(in_tmp, capfd):
    for form, base, values, single in dtype_cases():
        precision = np.float32 if single else np.float64
        expected = outputs(*(np.asarray(a, precision) for a in base))
        produced = outputs(*values)
        for kind, a, b in zip(("dat_map", "ps_map", "render"), produced, expected):
            assert a == b, (form, kind)
    # The table tells the precisions apart.
    fine = dtype_cases()[3][1]
    assert outputs(*(a.astype(np.float32) for a in fine))[2] != outputs(*fine)[2]
    capfd.readouterr()
