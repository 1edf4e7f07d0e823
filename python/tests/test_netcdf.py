"""The NetCDF map file from Python: the bytes of the C++ call of each form,
every value exact as netCDF4 and read_map see it, and its faults."""

import os

import netCDF4
import numpy as np
import pytest

import mapplot
from conftest import matrix

# The C++ calls of reference_maps.cpp, as in test_renderings.py.
NC_CASES = [
    ("nc_map.nc", "4", False, {}),
    ("nc_map_r8.nc", "8", False, {}),
    ("nc_map_2d.nc", "4", True, dict(log=-1, xlabel="  Re(c)", title="Field")),
    ("nc_map_2d_r8.nc", "8", True, dict(xlabel="", ylabel="height", title="  T")),
]


@pytest.mark.parametrize("name,size,as_matrix,options", NC_CASES)
def test_netcdf_file_has_the_bytes_of_the_cpp_form(reference, data, in_tmp, capfd, name, size,
                                                   as_matrix, options):
    """The files hold no time or other varying bytes: the same call gives the
    same bytes, so the Python file is compared with the C++ one byte for byte."""
    z = data["z" + size]
    given = matrix(z) if as_matrix else z
    for layout, zz in (("as given", given), ("C order", np.ascontiguousarray(given)),
                       ("reversed", np.ascontiguousarray(given[::-1])[::-1])):
        mapplot.nc_map(data["x" + size], data["y" + size], zz, file=name, **options)
        assert (in_tmp / name).read_bytes() == (reference / name).read_bytes(), layout
        assert capfd.readouterr().out == f"  Output in {name}\n"


def special(dtype, n):
    """n values with NaN (two payloads), both infinities, -0.0, the smallest
    subnormal and NetCDF's default fill value, which a reader would mask."""
    v = (300 + 0.001 / np.arange(1, n + 1)).astype(dtype)
    fill = netCDF4.default_fillvals["f4" if dtype == np.float32 else "f8"]
    v[:7] = [np.nan, -np.inf, np.inf, -0.0, np.finfo(dtype).smallest_subnormal, fill, 1]
    bits = v.view(np.uint32 if dtype == np.float32 else np.uint64)
    bits[7] = 0x7FC01234 if dtype == np.float32 else 0x7FF8000000001234
    return v


@pytest.mark.parametrize("dtype", [np.float32, np.float64])
@pytest.mark.parametrize("as_matrix", [False, True])
def test_values_come_back_bit_for_bit_through_netcdf4_and_read_map(in_tmp, capfd, dtype,
                                                                   as_matrix):
    nx, ny = 9, 8
    x, y, z = special(dtype, nx), special(dtype, ny), special(dtype, nx * ny)
    given = z.reshape(ny, nx).T if as_matrix else z
    mapplot.nc_map(x, y, given, xlabel="time / s", ylabel="depth", title="T")
    uint = np.uint32 if dtype == np.float32 else np.uint64

    with netCDF4.Dataset("Map.nc") as f:
        assert f.data_model == "NETCDF4"
        assert (f.title, f.Conventions) == ("T", "CF-1.8")
        assert f.history == f"Written by mapplot {mapplot.__version__} (nc_map)"
        assert (f["x"].long_name, f["y"].long_name, f["z"].long_name) == ("time / s", "depth", "T")
        assert f["z"].dimensions == ("y", "x")
        for name, want in (("x", x), ("y", y), ("z", z.reshape(ny, nx))):
            var = f[name]
            assert "_FillValue" not in var.ncattrs()
            # netCDF4 masks NetCDF's default fill value even in a variable
            # without fill: that value alone, never a NaN or an infinity.
            fill = netCDF4.default_fillvals["f4" if dtype == np.float32 else "f8"]
            assert np.array_equal(np.ma.getmaskarray(var[:]), want == fill), name
            var.set_auto_mask(False)
            got = var[:]
            assert got.dtype == dtype
            assert np.array_equal(got.view(uint), want.view(uint)), name

    back = mapplot.read_map("Map.nc")
    assert (back.xlabel, back.ylabel, back.title) == ("time / s", "depth", "T")
    for got, want in zip(back[:3], (x, y, z)):
        assert got.dtype == dtype
        assert np.array_equal(got.view(uint), want.view(uint))
    # Written again from what was read, the file is the same.
    first = (in_tmp / "Map.nc").read_bytes()
    mapplot.nc_map(back.x, back.y, back.z, xlabel=back.xlabel, ylabel=back.ylabel,
                   title=back.title, file="again.nc")
    assert (in_tmp / "again.nc").read_bytes() == first


def test_faults_raise_and_keep_the_earlier_file(in_tmp, capfd):
    x = np.array([1.0, 2.0])
    (in_tmp / "Map.nc").write_bytes(b"earlier")
    with pytest.raises(ValueError, match="z must hold len"):
        mapplot.nc_map(x, x, [1.0, 2.0, 3.0])
    with pytest.raises(mapplot.FatalError, match="x and y must hold one value at least"):
        mapplot.nc_map([], x, [])
    with pytest.raises(FileNotFoundError) as missing:
        mapplot.nc_map(x, x, np.ones(4), file="no/such/folder/Map.nc")
    assert isinstance(missing.value, mapplot.FatalError)
    assert missing.value.filename == "no/such/folder/Map.nc"
    with pytest.raises(mapplot.FatalError, match="log10: SING error"):
        mapplot.nc_map(x, x, np.zeros(4), log=True)
    assert (in_tmp / "Map.nc").read_bytes() == b"earlier"
    assert sorted(os.listdir(in_tmp)) == ["Map.nc"]

    # A file that is NetCDF but no map file, and one cut short.
    with netCDF4.Dataset("other.nc", "w") as f:
        f.createDimension("t", 3)
        f.createVariable("x", "i4", ("t",))
    mapplot.nc_map(x, x, np.ones(4), file="good.nc")
    good = (in_tmp / "good.nc").read_bytes()
    (in_tmp / "cut.nc").write_bytes(good[: len(good) // 2])
    for name, message in (("other.nc", "other.nc: no variable y"),
                          ("cut.nc", "cut.nc: not a readable NetCDF file: NetCDF: ")):
        with pytest.raises(ValueError, match=message):
            mapplot.read_map(name)
    capfd.readouterr()
