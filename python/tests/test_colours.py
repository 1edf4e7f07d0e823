"""Colour tables and a range of one's own from Python: the same files and
pixels as the C++ calls, the table's colours where the values say, and a
warning and the grey map for what cannot be used."""

import os
import re
import subprocess
import sys

import numpy as np
import pytest

import mapplot
from conftest import EXAMPLES, matrix, painted, run_python

sys.path.insert(0, str(EXAMPLES))
import zoom  # noqa: E402  (the example computes the zoom's frames)

# Blue, white, red: the control points of reference_maps.cpp.
POINTS = [[0, 0, 0, 1], [0.5, 1, 1, 1], [1, 1, 0, 0]]
# Red, green, blue: distinct ends and a middle that neither end has.
RGB = [[0, 1, 0, 0], [0.5, 0, 1, 0], [1, 0, 0, 1]]


def test_colour_calls_give_the_cpp_files_and_pixels(reference, data, in_tmp, capfd):
    x4, y4, z4, x8, y8, z8 = (data[k] for k in ("x4", "y4", "z4", "x8", "y8", "z8"))
    mapplot.ps_map(x8, y8, matrix(z8), file="colour_ps_map_2d_r8.png", device="png",
                   palette="viridis", zmin=1, zmax=4.0)
    assert (in_tmp / "colour_ps_map_2d_r8.png").read_bytes() == \
        (reference / "colour_ps_map_2d_r8.png").read_bytes()
    # The points in any form numpy takes, copied whatever their layout.
    for points in (POINTS, np.array(POINTS, np.float32), np.asfortranarray(POINTS),
                   np.array(POINTS)[::-1][::-1], tuple(map(tuple, POINTS))):
        mapplot.ps_map(x4, y4, z4, log=-1, file="colour_ps_map.png", device="png",
                       palette=points, zmax=np.float32(4))
        assert (in_tmp / "colour_ps_map.png").read_bytes() == \
            (reference / "colour_ps_map.png").read_bytes(), type(points)
    picture = mapplot.render(x4, y4, matrix(z4), palette="Magma_r", zmin=1.5)
    assert picture.tobytes() == painted(reference / "colour_scr_map_2d.rgb", 1).tobytes()
    picture = mapplot.render(x8, y8, z8, size=2, palette=np.array(POINTS), zmin=1, zmax=4)
    assert picture.tobytes() == painted(reference / "colour_scr_map.rgb", 2).tobytes()
    assert "Warning" not in capfd.readouterr().out


def test_centre_label_and_page_options_give_the_cpp_maps(reference, data, in_tmp):
    x4, y4, z4, x8, y8, z8 = (data[k] for k in ("x4", "y4", "z4", "x8", "y8", "z8"))
    mapplot.ps_map(x4, y4, z4, file="page_ps_map.png", device="png", palette="coolwarm",
                   zcentre=2, zlabel="T / K", aspect="auto", pixels=(640, np.int64(320)))
    assert (in_tmp / "page_ps_map.png").read_bytes() == \
        (reference / "page_ps_map.png").read_bytes()
    picture = mapplot.render(x8, y8, z8, palette="RdBu", zcentre=0, zlabel="Δ T")
    assert picture.tobytes() == painted(reference / "centre_scr_map.rgb", 1).tobytes()
    for pixels, error in (("640x320", TypeError), ((640,), ValueError), ((640, 2.5), TypeError),
                          ((True, 320), TypeError)):
        with pytest.raises(error, match="^pixels takes two ints"):
            mapplot.ps_map(x4, y4, z4, pixels=pixels)
    with pytest.warns(mapplot.MapWarning, match="pixels must be 16 .. 16384"):
        mapplot.ps_map(x4, y4, z4, file="big.png", device="png", pixels=(10**30, 320))


def test_masked_cells_take_nan_colour_as_the_cpp_nan_cells(reference, data, in_tmp):
    x, y, z = data["x4"], data["y4"], data["z4"]
    mask = np.zeros(z.shape, bool)
    mask[[3, 7, 12]] = True
    masked = np.ma.MaskedArray(z.copy(), mask)
    options = dict(palette="viridis", zmin=1.5, zmax=4, nan_colour=(1, 0, 1),
                   under=[0.5, 0.5, 0.5], over=np.array([1, 0.5, 0], np.float32))
    picture = mapplot.render(x, y, masked, **options)
    assert picture.tobytes() == painted(reference / "nan_scr_map.rgb", 1).tobytes()
    assert (picture == (255, 0, 255)).all(axis=2).any()
    # The matrix form and the caller's data under the mask, left as they were.
    mapplot.ps_map(x, y, np.ma.MaskedArray(matrix(z), matrix(mask)), file="nan_ps_map.png",
                   device="png", **options)
    assert (in_tmp / "nan_ps_map.png").read_bytes() == \
        (reference / "nan_ps_map.png").read_bytes()
    assert np.array_equal(masked.data, z) and np.array_equal(masked.mask, mask)
    # Without nan_colour, masked cells are black as NaN cells are.
    plain = z.copy()
    plain[mask] = np.nan
    assert np.array_equal(mapplot.render(x, y, masked), mapplot.render(x, y, plain))


def table_colour(points, position):
    """The colour of the table at position, each intensity times 255 rounded."""
    levels, rgb = np.array(points, float)[:, 0], np.array(points, float)[:, 1:]
    return tuple(int(np.floor(np.interp(position, levels, rgb[:, c]) * 255 + 0.5))
                 for c in range(3))


def colours_along(picture, row, first, last):
    """The colours of picture[row, first:last], each once, in order."""
    runs = []
    for pixel in map(tuple, picture[row, first:last].tolist()):
        if not runs or runs[-1] != pixel:
            runs.append(pixel)
    return runs


def test_render_takes_the_tables_colours_within_the_range():
    """Six columns of cells, 0 .. 4 the range: below it, its low end, a
    quarter, half-way, its high end, beyond it."""
    x = np.arange(6, dtype=np.float64)
    y = np.array([0.0, 1.0])
    row = np.array([-1.0, 0.0, 1.0, 2.0, 4.0, 9.0])
    picture = mapplot.render(x, y, np.concatenate([row, row]), palette=RGB, zmin=0, zmax=4)
    # Levels 0, 0, 64, 128, 255, 255: a quarter is level 63.75, rounded.
    expected = [(255, 0, 0), table_colour(RGB, 64 / 255), table_colour(RGB, 128 / 255),
                (0, 0, 255)]
    assert expected[1:3] == [(127, 128, 0), (0, 254, 1)]
    assert colours_along(picture, 135, 4, 267) == expected
    # Another frame, its own data of another range: the same value, the same colour.
    other = np.array([2.0, 2.0, 2.0, 3.0, 3.0, 3.0])
    again = mapplot.render(x, y, np.concatenate([other, other]), palette=RGB, zmin=0, zmax=4)
    assert colours_along(again, 135, 4, 267) == [expected[2], table_colour(RGB, 191 / 255)]
    # Grey by name is the map without colours, pixel for pixel.
    z = np.concatenate([row, row])
    assert np.array_equal(mapplot.render(x, y, z, palette="GREY"), mapplot.render(x, y, z))


def png_pixels(path):
    """A PNG's pixels as an array (rows, columns, red green blue)."""
    size = subprocess.run(["identify", "-format", "%w %h", str(path)], capture_output=True,
                          text=True, check=True).stdout.split()
    rgb = subprocess.run(["convert", str(path), "-depth", "8", "rgb:-"], capture_output=True,
                         check=True).stdout
    width, height = map(int, size)
    return np.frombuffer(rgb, np.uint8).reshape(height, width, 3)


def cell_colours(pixels, length):
    """The colours of the long runs (length pixels or more) along the middle
    row of a map's image: its cells, left to right."""
    row = pixels.shape[0] // 2
    runs, start = [], 0
    line = [tuple(p) for p in pixels[row].tolist()]
    for k in range(1, len(line) + 1):
        if k == len(line) or line[k] != line[start]:
            if k - start >= length:
                runs.append(line[start])
            start = k
    return runs


def test_postscript_map_takes_the_tables_colours_within_the_range(in_tmp):
    x = np.arange(3, dtype=np.float32)
    y = np.array([0, 1], np.float32)
    mapplot.ps_map(x, y, np.array([-5, 1, 4] * 2, np.float32), file="m.png", device="png",
                   palette=RGB, zmin=-1, zmax=3)
    first = cell_colours(png_pixels(in_tmp / "m.png"), 60)
    # The lowest and the highest cell exactly; half-way, green as near as
    # giza's steps of colour index allow.
    assert first[0] == (255, 0, 0) and first[2] == (0, 0, 255), first
    assert max(abs(a - b) for a, b in zip(first[1], (0, 255, 0))) <= 3, first
    mapplot.ps_map(x, y, np.array([1, 1, 1, 1, 8, 8], np.float32), file="m.png", device="png",
                   palette=RGB, zmin=-1, zmax=3)
    assert cell_colours(png_pixels(in_tmp / "m.png"), 60)[0] == first[1]


PALETTE_WARNING = ("Warning: palette points invalid (two or more, levels increasing within "
                   "0 .. 1, intensities within 0 .. 1), grey used !!!")
RANGE_WARNING = "Warning: zmin must be below zmax, both finite: the data's range used !!!"
UNUSABLE = [
    (dict(palette="sepia"), "Warning: unknown palette sepia, grey used !!!"),
    # One line whatever the name: control characters escaped, a long name cut.
    (dict(palette="se\npia\x1b"), "Warning: unknown palette se\\npia\\x1b, grey used !!!"),
    (dict(palette="p" * 100000), "Warning: unknown palette " + "p" * 200 + "\u2026, grey used !!!"),
    (dict(palette=[[0, 1, 1, 1]]), PALETTE_WARNING),  # one point
    (dict(palette=np.zeros((0, 4))), PALETTE_WARNING),
    (dict(palette=[[0, 0, 0, 0], [0, 1, 1, 1]]), PALETTE_WARNING),  # levels not increasing
    (dict(palette=[[0, 0, 0, 0], [1, 1, 1.01, 1]]), PALETTE_WARNING),
    (dict(palette=[[0, 0, 0, 0], [1, 1, np.nan, 1]]), PALETTE_WARNING),
    (dict(zmin=3, zmax=1), RANGE_WARNING),
    (dict(zmin=100), RANGE_WARNING),  # above the data's highest
    (dict(zmin=-np.inf, zmax=1), RANGE_WARNING),
    (dict(zmax=np.nan), RANGE_WARNING),
    (dict(nan_colour=(1.5, 0, 0)),
     "Warning: nan_colour must be three intensities within 0 .. 1: black used !!!"),
    (dict(under=(0, np.nan, 0)),
     "Warning: under must be three intensities within 0 .. 1: the end colours used !!!"),
    (dict(over=[0, 0, -1]),
     "Warning: over must be three intensities within 0 .. 1: the end colours used !!!"),
]


@pytest.mark.parametrize("options,warning", UNUSABLE)
def test_what_cannot_be_used_warns_and_draws_the_grey_map(data, in_tmp, capfd, options, warning):
    x, y, z = data["x4"], data["y4"], data["z4"]
    grey = mapplot.render(x, y, z)
    mapplot.ps_map(x, y, z, file="grey.png", device="png")
    capfd.readouterr()
    with pytest.warns(mapplot.MapWarning) as warned:
        assert np.array_equal(mapplot.render(x, y, z, **options), grey)
        mapplot.ps_map(x, y, z, file="m.png", device="png", **options)
    assert [str(w.message) for w in warned] == [warning] * 2
    assert (in_tmp / "m.png").read_bytes() == (in_tmp / "grey.png").read_bytes()
    assert capfd.readouterr() == ("  Output in m.png\n", "")


def test_a_callable_palette_is_sampled_at_256_levels(data, in_tmp):
    # A colour map object as matplotlib's are: called on an array of levels,
    # it returns rows of red, green, blue and alpha. Both maps draw with it
    # what they draw with its 256 rows as control points.
    class ColourMap:
        def __call__(self, levels):
            levels = np.asarray(levels)
            return np.stack([levels, levels ** 2, 1 - levels, np.ones_like(levels)], axis=1)
    levels = np.linspace(0, 1, 256)
    points = np.column_stack([levels, ColourMap()(levels)[:, :3]])
    x, y, z = data["x8"], data["y8"], data["z8"]
    assert np.array_equal(mapplot.render(x, y, z, palette=ColourMap()),
                          mapplot.render(x, y, z, palette=points))
    rgb = lambda levels: ColourMap()(levels)[:, :3]
    mapplot.ps_map(x, y, z, palette=rgb, file="called.png", device="png")
    mapplot.ps_map(x, y, z, palette=points, file="points.png", device="png")
    assert open("called.png", "rb").read() == open("points.png", "rb").read()
    assert "matplotlib" not in sys.modules


def test_wrong_colour_options_raise_naming_the_option(data, in_tmp):
    x, y, z = data["x8"], data["y8"], data["z8"]
    wrong = [
        (dict(palette=3), TypeError,
         "palette takes a name (str) or an array of numbers of shape (n, 4) or None, not int"),
        (dict(palette=[["a", "b", "c", "d"]] * 2), TypeError,
         "palette takes a name (str) or an array of numbers of shape (n, 4) or None, "
         "not list of <U1"),
        (dict(palette=[[0, 0, 0, 0, 0], [1, 1, 1, 1, 1]]), ValueError,
         "palette points must be an array of shape (n, 4): level, red, green, blue in each "
         "row; not of shape (2, 5)"),
        (dict(palette=np.zeros(4)), ValueError,
         "palette points must be an array of shape (n, 4): level, red, green, blue in each "
         "row; not of shape (4,)"),
        (dict(palette=[[0, 0, 0, 0], [1, 1, 1]]), ValueError,
         "palette points must be an array of shape (n, 4): level, red, green, blue in each "
         "row; rows of different lengths were given"),
        (dict(palette=lambda levels: "red"), TypeError,
         "a palette called on 256 levels must return numbers, not str"),
        (dict(palette=lambda levels: np.zeros((256, 2))), ValueError,
         "a palette called on 256 levels must return rows of red, green, blue (and alpha), "
         "an array of shape (256, 3) or (256, 4); not of shape (256, 2)"),
        (dict(zmin="0"), TypeError, "zmin takes a float or an int or None, not str"),
        (dict(zmax=True), TypeError, "zmax takes a float or an int or None, not bool"),
        (dict(zmax=np.array([1.0])), TypeError,
         "zmax takes a float or an int or None, not ndarray"),
        (dict(nan_colour="red"), TypeError,
         "nan_colour takes three numbers (red, green, blue) or None, not str"),
        (dict(under=0.5), TypeError,
         "under takes three numbers (red, green, blue) or None, not float"),
        (dict(over=["a", "b", "c"]), TypeError,
         "over takes three numbers (red, green, blue) or None, not list of <U1"),
        (dict(nan_colour=(1, 0)), ValueError,
         "nan_colour takes three numbers (red, green, blue) or None, not of shape (2,)"),
        (dict(over=[[1, 0, 0]]), ValueError,
         "over takes three numbers (red, green, blue) or None, not of shape (1, 3)"),
        (dict(under=[1, (0, 0), 0]), ValueError,
         "under takes three numbers (red, green, blue) or None, not a ragged sequence"),
    ]
    for options, error, message in wrong:
        for call in (mapplot.ps_map, mapplot.render, mapplot.scr_map):
            with pytest.raises(error, match=f"^{re.escape(message)}$"):
                call(x, y, z, **options)
    with pytest.raises(TypeError, match="unexpected keyword argument 'palette'"):
        mapplot.dat_map(x, y, z, palette="viridis")
    with pytest.raises(OverflowError):
        mapplot.render(x, y, z, zmin=10**400)
    assert os.listdir() == []


def test_a_limit_of_zero_or_below_with_log_is_fatal(data, in_tmp):
    x, y, z = data["x8"], data["y8"], data["z8"]
    for limit in (dict(zmin=0), dict(zmax=-1)):
        with pytest.raises(mapplot.FatalError):
            mapplot.ps_map(x, y, z, log=True, **limit)
        with pytest.raises(mapplot.FatalError):
            mapplot.render(x, y, z, log=True, **limit)
    assert os.listdir() == []
    # Above zero their log10 is the range: 10 .. 1000 is 1 .. 3 (the cells
    # alike, left of the texts).
    cells = (slice(0, 270), slice(0, 270))
    assert np.array_equal(
        mapplot.render(x, y, 100 * z, log=True, zmin=10, zmax=1000, palette=RGB)[cells],
        mapplot.render(x, y, np.log10(100 * z), zmin=1, zmax=3, palette=RGB)[cells])


def test_the_zoom_example_in_colour(in_tmp):
    script = ("import sys, zoom; sys.argv = ['zoom.py', '--picture', '{}'{}]; "
              "sys.exit(zoom.main())")
    for name, options in (("grey.png", ""), ("colour.png", ", '--palette', 'magma', "
                                                         "'--zmin', '0', '--zmax', '200'")):
        result = run_python(script.format(name, options), cwd=in_tmp)
        assert result.returncode == 0, result.stderr
        assert result.stdout == f"  Output in {name}\n"
    # Without the options, today's picture; with them, the colour call's.
    x, y, z = zoom.frame(60)
    texts = dict(xlabel="Re(c)", ylabel="Im(c)", title="Mandelbrot set, frame 60", device="png")
    mapplot.ps_map(x, y, z, file="grey_direct.png", **texts)
    mapplot.ps_map(x, y, z, file="colour_direct.png", palette="magma", zmin=0, zmax=200, **texts)
    assert (in_tmp / "grey.png").read_bytes() == (in_tmp / "grey_direct.png").read_bytes()
    assert (in_tmp / "colour.png").read_bytes() == (in_tmp / "colour_direct.png").read_bytes()
    assert (in_tmp / "colour.png").read_bytes() != (in_tmp / "grey.png").read_bytes()


def test_contours_and_a_page_give_the_cpp_maps(reference, data, in_tmp):
    x4, y4, z4, x8, y8, z8 = (data[k] for k in ("x4", "y4", "z4", "x8", "y8", "z8"))
    mapplot.ps_map(x4, y4, z4, file="contour_ps_map.png", device="png",
                   contours=[1.5, 2.5, 3.5], contour_colour=(1, 0, 0), contour_labels=True)
    assert (in_tmp / "contour_ps_map.png").read_bytes() == \
        (reference / "contour_ps_map.png").read_bytes()
    picture = mapplot.render(x8, y8, z8, contours=np.int64(3))
    assert picture.tobytes() == painted(reference / "contour_scr_map.rgb", 1).tobytes()
    with mapplot.Page("panels.png", device="png", panels=(2, 1)) as page:
        assert page.ps_map(x4, y4, z4, title="left") is None
        assert not (in_tmp / "panels.png").exists()  # written when the page closes
        page.ps_map(x4, y4, z4, title="right", palette="viridis", contours=2)
        with pytest.raises(ValueError, match="a page is open on this thread"):
            mapplot.ps_map(x4, y4, z4, file="elsewhere.png", device="png")
        with pytest.raises(ValueError, match="the page has no panel left"):
            page.ps_map(x4, y4, z4)
    assert page.file is not None
    assert (in_tmp / "panels.png").read_bytes() == (reference / "panels.png").read_bytes()
    # An exception in the block drops the page: the earlier file stays.
    with pytest.raises(KeyError):
        with mapplot.Page("panels.png", device="png") as page:
            page.ps_map(x4, y4, z4, title="lost")
            raise KeyError("stop")
    assert (in_tmp / "panels.png").read_bytes() == (reference / "panels.png").read_bytes()
    # So does a fatal error in a map on it.
    with pytest.raises(mapplot.FatalError, match="log10"):
        with mapplot.Page("panels.png", device="png") as page:
            page.ps_map(x4, y4, np.zeros_like(z4), log=True)
    assert (in_tmp / "panels.png").read_bytes() == (reference / "panels.png").read_bytes()
    assert sorted(p.name for p in in_tmp.iterdir()) == ["contour_ps_map.png", "panels.png"]
    for value in ("3", 2.5, [[1, 2]], True):
        with pytest.raises(TypeError, match="^contours takes a count"):
            mapplot.ps_map(x4, y4, z4, file="m.png", device="png", contours=value)
    with pytest.warns(mapplot.MapWarning, match="contours must be a count of 1 .. 1000"):
        mapplot.ps_map(x4, y4, z4, file="m.png", device="png", contours=[])
