"""Maps in notebooks: render's picture is the array and shows as its PNG;
ps_map's PNG or SVG file shows as the file, other files as text; the example notebook, executed
by a Jupyter kernel of its own, holds those pictures and files in its
outputs."""

import base64
import io
import os
import pickle

import nbclient
import nbformat
import numpy as np
import pytest
from PIL import Image

import mapplot
from conftest import EXAMPLES, painted, run_python

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def pixels(png):
    """The pixels of a PNG file, as an array (rows, columns, 3)."""
    assert png.startswith(PNG_SIGNATURE)
    image = Image.open(io.BytesIO(png))
    assert image.mode == "RGB"
    return np.asarray(image)


def test_a_picture_is_the_array_and_shows_as_its_pixels(reference, data):
    picture = mapplot.render(data["x8"], data["y8"], data["z8"], title="Base", size=2)
    expected = painted(reference / "scr_map.rgb", 2)
    # Everything that worked on the plain array works on it.
    assert isinstance(picture, np.ndarray) and type(np.asarray(picture)) is np.ndarray
    assert np.array_equal(np.asarray(Image.fromarray(picture)), expected)
    assert (picture[100, 50] == expected[100, 50]).all() and picture.dtype == np.uint8
    assert type(pickle.loads(pickle.dumps(picture))) is mapplot.Picture

    assert np.array_equal(pixels(picture._repr_png_()), expected)
    # The pixels as they are when shown, of any view that is still a picture.
    picture[0, 0] = (255, 0, 0)
    assert pixels(picture._repr_png_())[0, 0].tolist() == [255, 0, 0]
    part = picture[200:300:3, ::-2]
    assert np.array_equal(pixels(part._repr_png_()), part)
    # Anything else shows as text.
    for not_a_picture in (picture[..., 0], picture * 0.5, picture[:0], picture[:, :, :2]):
        assert not_a_picture._repr_png_() is None


def test_ps_map_returns_the_file_it_wrote(data, in_tmp):
    x, y, z = data["x4"], data["y4"], data["z4"]
    png = mapplot.ps_map(x, y, z, file="map.png", device="png")
    assert repr(png) == "MapFile('map.png')" and png.format == "png"
    assert os.fspath(png) == png.path == "map.png"
    assert png._repr_png_() == (in_tmp / "map.png").read_bytes() and png._repr_svg_() is None
    svg = mapplot.ps_map(x, y, z, file="map.svg", device="SVG")
    assert svg.format == "svg" and svg._repr_png_() is None
    assert svg._repr_svg_() == (in_tmp / "map.svg").read_text()
    # The ending rule names the file; tpng writes a PNG file too.
    assert mapplot.ps_map(x, y, z, device="tpng").path == "Map.tpng"

    # PostScript and PDF files are MapFiles a notebook shows as text; the
    # null device writes none; no file written raises.
    for device, format in (("ps", "ps"), ("vcps", "ps"), ("eps", "ps"), ("pdf", "pdf")):
        other = mapplot.ps_map(x, y, z, file="map", device=device)
        assert (other.path, other.format) == ("map", format)
        assert other._repr_png_() is None and other._repr_svg_() is None
    assert mapplot.ps_map(x, y, z, file="map", device="null") is None
    with pytest.raises(FileNotFoundError):
        mapplot.ps_map(x, y, z, file="missing/map.png", device="png")
    with pytest.raises(ValueError):
        mapplot.ps_map(x[:1], y, z[:len(y)], device="png")  # one column: refused
    assert sorted(os.listdir(in_tmp)) == ["Map.tpng", "map", "map.png", "map.svg"]

    # Shown from where it was written, as the file is when shown.
    os.mkdir("elsewhere")
    os.chdir("elsewhere")
    assert png._repr_png_() == (in_tmp / "map.png").read_bytes()
    os.remove(in_tmp / "map.png")
    assert png._repr_png_() is None


def outputs(cell, output_type):
    return [o for o in cell.outputs if o.output_type == output_type]


def test_the_example_notebook_shows_its_maps(tmp_path, in_tmp, monkeypatch):
    # The kernel's files (connection, history) in this test's folder.
    monkeypatch.setenv("JUPYTER_RUNTIME_DIR", str(tmp_path / "jupyter"))
    monkeypatch.setenv("IPYTHONDIR", str(tmp_path / "ipython"))
    notebook = nbformat.read(EXAMPLES / "notebook.ipynb", as_version=4)
    code = [cell for cell in notebook.cells if cell.cell_type == "code"]
    # Cells of what shows as text, after the example's own.
    extra = [
        'mapplot.ps_map(x, y, z, file="bump.ps")',
        "picture[:, :, 0]",
        'gone = mapplot.ps_map(x, y, z, file="gone.png", device="png")\n'
        'import os; os.remove("gone.png")\ngone',
        'with mapplot.Movie("bump.gif", fps=5) as film:\n'
        '    for k in range(3):\n'
        '        film.add(mapplot.render(x, y, z * (k + 1)))\nfilm',
    ]
    notebook.cells += [nbformat.v4.new_code_cell(source) for source in extra]
    folder = tmp_path / "run"
    folder.mkdir()
    nbclient.NotebookClient(notebook, timeout=120, kernel_name="python3",
                            resources={"metadata": {"path": str(folder)}}).execute()
    cells = [cell for cell in notebook.cells if cell.cell_type == "code"]
    assert not [o for cell in cells for o in outputs(cell, "error")]

    # The same maps, drawn here from the example's own data.
    here = {}
    exec(code[0].source, here)
    x, y, z = here["x"], here["y"], here["z"]

    shown = [outputs(cell, "execute_result") for cell in cells]
    rendered = shown[1][0].data
    expected = mapplot.render(x, y, z, title="Gaussian bump", size=2)
    assert np.array_equal(pixels(base64.b64decode(rendered["image/png"])), expected)
    assert rendered["text/plain"].startswith("Picture([[[")
    assert shown[2][0].data["text/plain"] == "((271, 580, 3), dtype('uint8'))"
    assert base64.b64decode(shown[3][0].data["image/png"]) == (folder / "bump.png").read_bytes()
    assert shown[4][0].data["image/svg+xml"] == (folder / "bump.svg").read_text()
    # The file's maps are those drawn here from the same data.
    mapplot.ps_map(x, y, z, title="Gaussian bump", file="bump.png", device="png")
    assert (in_tmp / "bump.png").read_bytes() == (folder / "bump.png").read_bytes()
    assert [s.text for s in outputs(cells[3], "stream")] == ["  Output in bump.png\n"]

    # A PostScript file, one channel and a file removed show as text.
    assert shown[5][0].data == {"text/plain": "MapFile('bump.ps')"}
    assert (folder / "bump.ps").exists()
    assert list(shown[6][0].data) == ["text/plain"]
    assert shown[7][0].data == {"text/plain": "MapFile('gone.png')"}
    # A film shows as itself, its bytes embedded.
    film = shown[8][0].data
    assert film["text/plain"] == "Movie('bump.gif', fps=5.0)"
    assert film["text/html"].startswith("<img")
    embedded = film["text/html"].split("base64,")[1].split('"')[0]
    assert base64.b64decode(embedded) == (folder / "bump.gif").read_bytes()


def test_a_movie_is_written_whole_and_shows_in_a_notebook(data, in_tmp):
    x, y, z = data["x8"], data["y8"], data["z8"]
    pictures = [mapplot.render(x, y, z * (k + 1) % 7, size=2) for k in range(4)]
    for name, tag, mime in (("map.gif", "<img", "image/gif"), ("map.mp4", "<video", "video/mp4")):
        with mapplot.Movie(name, fps=10) as movie:
            for picture in pictures:
                movie.add(picture)
            assert not (in_tmp / name).exists() and movie._repr_html_() is None
        assert movie.frames == 4 and repr(movie) == f"Movie('{name}', fps=10.0)"
        html = movie._repr_html_()
        assert html.startswith(tag) and f"data:{mime};base64," in html
        embedded = html.split("base64,")[1].split('"')[0]
        assert base64.b64decode(embedded) == (in_tmp / name).read_bytes()
    # The GIF's frames are the pictures, pixel for pixel.
    with Image.open(in_tmp / "map.gif") as gif:
        assert gif.n_frames == 4
        for k, picture in enumerate(pictures):
            gif.seek(k)
            assert np.array_equal(np.asarray(gif.convert("RGB")), picture)

    # Refused at once, or in the middle: an exception, and no file.
    with pytest.raises(mapplot.FatalError, match="ends in .mp4, .gif or .webm"):
        mapplot.Movie("map.avi")
    with pytest.raises(mapplot.FatalError, match="fps must be"):
        mapplot.Movie("m.mp4", fps=0)
    with pytest.raises(ZeroDivisionError):
        with mapplot.Movie("given_up.mp4") as movie:
            movie.add(pictures[0])
            1 / 0
    movie = mapplot.Movie("sizes.gif")
    movie.add(pictures[0])
    with pytest.raises(ValueError, match="one size"):
        movie.add(pictures[0][:10])
    with pytest.raises(TypeError, match="uint8"):
        movie.add(pictures[0].astype(np.float64))
    del movie  # never closed: no file
    with pytest.raises(ValueError, match="no picture"):
        mapplot.Movie("empty.gif").close()
    with pytest.raises(mapplot.FatalError) as error:
        mapplot.Movie("missing/m.gif").add(pictures[0])
    assert isinstance(error.value, FileNotFoundError)
    assert sorted(p.name for p in in_tmp.iterdir()) == ["map.gif", "map.mp4"]

    # scr_map's record: the first call's window and every later call's
    # picture, written at the end of the process.
    script = f"""
import numpy as np, mapplot
x, y, z = np.arange(3.0), np.arange(2.0), np.arange(6.0)
for k in range(5):
    mapplot.scr_map(x, y, z + k, own_window=True, continuation=k > 0,
                    record="{in_tmp}/screen.gif" if k == 0 else None, fps=5)
"""
    done = run_python(script)
    assert done.returncode == 0 and done.stderr == ""
    with Image.open(in_tmp / "screen.gif") as gif:
        assert gif.n_frames == 5 and gif.size == (1005, 663)
