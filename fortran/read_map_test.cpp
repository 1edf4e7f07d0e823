// read_map from Fortran (read_map_calls.f90) against the C++ reader on the
// same files: files of every data export form and text, the reader's
// errors, and NetCDF map files into real(4) and real(8) arrays.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "mapdata/dat_map.h"
#include "mapdata/map_reader.h"
#include "mapnc/nc_map.h"
#include "rtl/testing/temp_folder.h"

extern "C" {
int fortran_read_map(const char* path, std::ptrdiff_t npath, char* message);
void fortran_map_read(const float** x, std::ptrdiff_t* nx, const float** y, std::ptrdiff_t* ny,
                      const float** z, std::ptrdiff_t* nz1, std::ptrdiff_t* nz2, char* xlabel,
                      std::ptrdiff_t* nxlabel, char* ylabel, std::ptrdiff_t* nylabel,
                      char* title, std::ptrdiff_t* ntitle, int* held);
int fortran_read_map_r8(const char* path, std::ptrdiff_t npath, char* message);
void fortran_map_read_r8(const double** x, std::ptrdiff_t* nx, const double** y,
                         std::ptrdiff_t* ny, const double** z, std::ptrdiff_t* nz1,
                         std::ptrdiff_t* nz2);
}

namespace {

using maparg::MatView;
using maparg::VecView;
using rtl::testing::write_all;

// The values' bits, so that NaN equals NaN.
std::vector<std::uint32_t> bits(const float* values, std::ptrdiff_t n) {
  std::vector<std::uint32_t> out(static_cast<std::size_t>(n));
  if (n > 0) std::memcpy(out.data(), values, out.size() * sizeof(float));
  return out;
}
std::vector<std::uint32_t> bits(const std::vector<float>& v) {
  return bits(v.data(), static_cast<std::ptrdiff_t>(v.size()));
}

// read_map(name) from Fortran gives what mapnc::read_map(cpp_name) gives.
void expect_as_cpp_reader(const std::string& name, const std::string& cpp_name = "") {
  SCOPED_TRACE(name);
  const mapdata::MapReadResult cpp = mapnc::read_map(cpp_name.empty() ? name : cpp_name);
  char message[300];
  const int stat = fortran_read_map(name.data(), std::ptrdiff_t(name.size()), message);
  std::string errmsg(message, sizeof message);
  errmsg.erase(errmsg.find_last_not_of(' ') + 1);

  const float *x, *y, *z;
  std::ptrdiff_t nx, ny, nz1, nz2, nxlabel, nylabel, ntitle;
  char xlabel[200], ylabel[200], title[200];
  int held = 0;
  fortran_map_read(&x, &nx, &y, &ny, &z, &nz1, &nz2, xlabel, &nxlabel, ylabel, &nylabel, title,
                   &ntitle, &held);
  if (!cpp) {
    EXPECT_EQ(stat, 1);
    EXPECT_EQ(errmsg, cpp.error);
    EXPECT_EQ(held, 0) << "an error leaves the arrays and texts deallocated";
    return;
  }
  ASSERT_EQ(stat, 0) << errmsg;
  EXPECT_EQ(errmsg, "");
  ASSERT_EQ(held, 4);
  const mapdata::MapData& map = *cpp.map;
  EXPECT_EQ(bits(x, nx), bits(map.x));
  EXPECT_EQ(bits(y, ny), bits(map.y));
  EXPECT_EQ(bits(z, nz1 * nz2), bits(map.z));
  if (map.z.size() == map.x.size() * map.y.size()) {
    EXPECT_EQ(nz1, nx);
    EXPECT_EQ(nz2, ny);
  } else {
    EXPECT_EQ(nz1, std::ptrdiff_t(map.z.size()));
    EXPECT_EQ(nz2, 1);
  }
  EXPECT_EQ(std::string(xlabel, std::size_t(nxlabel)), map.xlabel);
  EXPECT_EQ(std::string(ylabel, std::size_t(nylabel)), map.ylabel);
  EXPECT_EQ(std::string(title, std::size_t(ntitle)), map.title);
}

using FortranReadMap = rtl::testing::InTempFolder;

TEST_F(FortranReadMap, FilesOfEveryExportFormReadAsTheCppReaderReadsThem) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::vector<float> x{0, 0.5f, 1e-3f}, y{-2, 3e12f};
  const std::vector<float> z{1, -2, 3.25f, inf, -inf, nan};
  const std::string t74(74, 't'), t76(76, 'u'), long_text(100, 'L');
  using mapdata::dat_map;
  dat_map(x, y, z, {.file = "plain.dat"});
  dat_map(VecView<float>(), VecView<float>(), VecView<float>(), {.file = "empty.dat"});
  dat_map(x, y, VecView<float>(z.data(), 5), {.file = "too_few.dat"});
  dat_map(x, y, std::vector<float>(9, 7.0f), {.file = "too_many.dat"});
  dat_map(x, y, std::vector<float>{1, 2, 3, 4, 5, 6}, -1, std::nullopt, std::nullopt, t74,
          "log74.dat");
  dat_map(x, y, std::vector<float>{1, 2, 3, 4, 5, 6}, 1, std::nullopt, std::nullopt, t76,
          "log76.dat");
  dat_map(x, y, z, std::nullopt, "   Re(c)", "", "   T", "texts.dat");
  dat_map(x, y, z, std::nullopt, long_text, "   ", long_text, "long.dat");
  dat_map(x, y, z, std::nullopt, "\r\n  Re(c)\r", "a\rb\nc", " \n T\r\n", "breaks.dat");
  dat_map(x, y, z, std::nullopt, std::string(80, 'a'), std::string(79, 'b'), "c", "twice.dat");
  dat_map(x, y, std::vector<float>{1, 2, 3, 4, 5, -1e10f}, std::nullopt, std::string(79, 'b'),
          "y", "t", "label_like.dat");
  dat_map(x, y, z, std::nullopt, "\xce\xb1 \xc3\xa9", "\xff", "Gr\xc3\xb6\xc3\x9f" "e", "utf8.dat");
  const std::vector<double> xd{1.0 / 3, 1e-40, 1e39}, yd{2.0 / 3, -0.1};
  mapdata::dat_map_r8(xd, yd, std::vector<double>{1e-45, 1e300, -0.0, 0.1, 1e7, 123456789},
                      {.file = "r8.dat"});
  const float m[2][3] = {{1, 2, 3}, {4, 5, 6}};
  mapdata::dat_map_2d(x, y, MatView<float>(&m[0][0], 3, 2), {.file = "matrix.dat"});
  std::vector<double> axis(121), grid(121 * 121);
  for (int i = 0; i < 121; ++i) axis[std::size_t(i)] = (i - 60) / 30.0;
  for (std::size_t k = 0; k < grid.size(); ++k) grid[k] = std::sin(double(k));
  mapdata::dat_map_2d_r8(axis, axis, MatView<double>(grid.data(), 121, 121),
                         {.file = "grid.dat"});

  for (const auto& entry : std::filesystem::directory_iterator("."))
    expect_as_cpp_reader(entry.path().filename());
  // The name without its surrounding blanks, as the export takes it.
  expect_as_cpp_reader("  plain.dat  ", "plain.dat");
}

TEST_F(FortranReadMap, TheReadersErrorsComeThroughStatAndErrmsg) {
  std::filesystem::create_directory("folder");
  write_all("bad_value.dat",
            "           1           1           1\r\n   1.000000    \r\nnot a value\r\n"
            "   2.000000    \r\n x\r\n y\r\n t\r\n");
  write_all("bad_header.dat", "three two one\r\n");
  write_all("empty.dat", "");
  write_all("no_texts.dat", "           1           1           1\r\n   1.000000    \r\n");
  write_all("long_line.dat", std::string(200, 'a') + "\r\n");
  write_all("counts.dat",
            "        9999        9999           1\r\n   1.000000    \r\n x\r\n y\r\n t\r\n");
  for (const char* name : {"missing.dat", "folder", "bad_value.dat", "bad_header.dat",
                           "empty.dat", "no_texts.dat", "long_line.dat", "counts.dat"}) {
    ASSERT_FALSE(mapdata::read_map_file(name)) << name << " reads as a map";
    expect_as_cpp_reader(name);
  }
  // A file name holding a NUL byte names no file: refused as by the export.
  char message[300];
  const std::string nul("Map\0.dat", 8);
  EXPECT_EQ(fortran_read_map(nul.data(), 8, message), 1);
  EXPECT_EQ(std::string(message, 37), "File name holds a NUL byte: Map\\0.dat");
}

// NetCDF map files come back exactly: real(4) values into either kind of
// array, real(8) ones into real(8) arrays only; a data file into real(8)
// arrays gives its values widened.
TEST_F(FortranReadMap, NetcdfFilesReadExactlyIntoArraysOfTheirKind) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<double> xd{1.0 / 3, -0.0, 1e300}, yd{nan, -inf};
  const std::vector<double> zd{inf, nan, 1e-310, 2.0 / 3, -1e-300, 123456789.125};
  const std::vector<float> xf{0.1f, 1e-40f, -0.0f}, yf{float(nan), float(-inf)};
  const std::vector<float> zf{float(inf), float(nan), 1e-45f, 3.0f, -7.5f, 1e38f};
  mapnc::nc_map_r8(xd, yd, zd, {.title = "doubles", .file = "r8.nc"});
  mapnc::nc_map_2d(xf, yf, MatView<float>(zf.data(), 3, 2), {.title = "floats", .file = "r4.nc"});
  mapdata::dat_map(xf, yf, zf, {.title = "text", .file = "text.dat"});

  struct Case {
    const char* file;
    bool double_file;
  };
  for (const Case& c : {Case{"r8.nc", true}, Case{"r4.nc", false}, Case{"text.dat", false}}) {
    SCOPED_TRACE(c.file);
    const mapdata::MapReadResult cpp = mapnc::read_map(c.file);
    ASSERT_TRUE(cpp) << cpp.error;
    const mapdata::MapData& map = *cpp.map;
    const auto as_double = [&](const std::vector<float>& f, const std::vector<double>& d) {
      return map.double_precision ? d : std::vector<double>(f.begin(), f.end());
    };
    const auto bits8 = [](const double* v, std::ptrdiff_t n) {
      return std::vector<std::uint64_t>(reinterpret_cast<const std::uint64_t*>(v),
                                        reinterpret_cast<const std::uint64_t*>(v) + n);
    };
    const auto bits8v = [&](const std::vector<double>& v) {
      return bits8(v.data(), std::ptrdiff_t(v.size()));
    };

    char message[300];
    int stat = fortran_read_map_r8(c.file, std::ptrdiff_t(std::strlen(c.file)), message);
    ASSERT_EQ(stat, 0) << std::string(message, 300);
    const double *x, *y, *z;
    std::ptrdiff_t nx, ny, nz1, nz2;
    fortran_map_read_r8(&x, &nx, &y, &ny, &z, &nz1, &nz2);
    EXPECT_EQ(nx, 3);
    EXPECT_EQ(ny, 2);
    EXPECT_EQ(nz1 * 10 + nz2, 32);
    EXPECT_EQ(bits8(x, nx), bits8v(as_double(map.x, map.x_r8)));
    EXPECT_EQ(bits8(y, ny), bits8v(as_double(map.y, map.y_r8)));
    EXPECT_EQ(bits8(z, nz1 * nz2), bits8v(as_double(map.z, map.z_r8)));
    if (c.double_file) {
      EXPECT_EQ(bits8(z, 6), bits8v(zd));
    }

    stat = fortran_read_map(c.file, std::ptrdiff_t(std::strlen(c.file)), message);
    std::string errmsg(message, sizeof message);
    errmsg.erase(errmsg.find_last_not_of(' ') + 1);
    if (c.double_file) {
      EXPECT_EQ(stat, 1);
      EXPECT_EQ(errmsg, "r8.nc: the file holds double precision values: read it into real(8) arrays");
    } else {
      EXPECT_EQ(stat, 0) << errmsg;
      expect_as_cpp_reader(c.file);
    }
  }
}

}  // namespace
