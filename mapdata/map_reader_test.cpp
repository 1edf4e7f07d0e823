#include "mapdata/map_reader.h"

#include <gmock/gmock.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "mapdata/dat_map.h"
#include "mapdata/test_support.h"

namespace mapdata {
namespace {

using maparg::MatView;
using maparg::VecView;
using testing::HasSubstr;
using namespace testing_support;

using MapReader = InTempFolder;

// A random decimal of 7 significant digits between 1e-30 and 1e30 (or zero),
// as a double: its nearest single-precision value is written exactly.
double seven_digits(std::mt19937& gen) {
  if (gen() % 10 == 0) return 0.0;
  const int mantissa = 1000000 + static_cast<int>(gen() % 9000000);
  const int exponent = static_cast<int>(gen() % 61) - 36;
  const std::string text = (gen() % 2 ? "-" : "") + std::to_string(mantissa) + "e" + std::to_string(exponent);
  return std::strtod(text.c_str(), nullptr);
}

struct Grid {
  std::vector<double> x, y, z;
  std::vector<float> xf, yf, zf;
};

Grid random_grid(std::mt19937& gen, int nx, int ny) {
  Grid g;
  const auto fill = [&](std::vector<double>& d, std::vector<float>& f, int n) {
    for (int k = 0; k < n; ++k) {
      d.push_back(seven_digits(gen));
      f.push_back(static_cast<float>(d.back()));
    }
  };
  fill(g.x, g.xf, nx);
  fill(g.y, g.yf, ny);
  fill(g.z, g.zf, nx * ny);
  return g;
}

MapData read_ok(const std::string& path) {
  MapReadResult r = read_map_file(path);
  EXPECT_TRUE(r) << r.error;
  return r ? *r.map : MapData{};
}

TEST_F(MapReader, EveryFormReadsBackTheValuesWritten) {
  std::mt19937 gen(20240607);
  for (int round = 0; round < 6; ++round) {
    const int nx = 1 + static_cast<int>(gen() % 30), ny = 1 + static_cast<int>(gen() % 30);
    const Grid g = random_grid(gen, nx, ny);
    const MatView<float> mf(g.zf.data(), nx, ny);
    const MatView<double> md(g.z.data(), nx, ny);
    dat_map(g.xf, g.yf, g.zf, 0, "Re(c)", "Im(c)", "  grid", "flat.dat");
    dat_map_r8(g.x, g.y, g.z, 0, "Re(c)", "Im(c)", "  grid", "r8.dat");
    dat_map_2d(g.xf, g.yf, mf, 0, "Re(c)", "Im(c)", "  grid", "2d.dat");
    dat_map_2d_r8(g.x, g.y, md, 0, "Re(c)", "Im(c)", "  grid", "2d_r8.dat");
    for (const char* file : {"flat.dat", "r8.dat", "2d.dat", "2d_r8.dat"}) {
      SCOPED_TRACE(file);
      const MapData m = read_ok(file);
      EXPECT_EQ(m.nx, nx);
      EXPECT_EQ(m.ny, ny);
      EXPECT_EQ(m.x, g.xf);
      EXPECT_EQ(m.y, g.yf);
      EXPECT_EQ(m.z, g.zf);
      EXPECT_EQ(m.xlabel, "Re(c)");
      EXPECT_EQ(m.ylabel, "Im(c)");
      EXPECT_EQ(m.title, "  grid");
    }
  }
}

TEST_F(MapReader, CountsValueLinesAndTextsOfEightyCharacters) {
  std::string t80;
  for (int i = 0; i < 80; ++i) t80 += static_cast<char>('A' + i % 26);
  const std::string title = "  " + t80.substr(0, 78);
  const float x[] = {1, 2, 3}, y[] = {4, 5}, z[] = {-1.0e10f, 0.5f, 9999999.0f, 0.0f, 1.0e-30f};
  dat_map(x, y, z, 0, t80, "", title);
  MapData m = read_ok("Map.dat");
  EXPECT_EQ(m.z, std::vector<float>(std::begin(z), std::end(z)));
  EXPECT_EQ(m.xlabel, t80);
  EXPECT_EQ(m.ylabel, "");
  EXPECT_EQ(m.title, title);

  // " -1.0000000E+10" also reads as a label, and the 79-character x label and
  // the one-character y label as one 80-character y label: nx*ny decides.
  const float zz[] = {1, 2, 3, 4, 5, -1.0e10f};
  dat_map(x, y, zz, 0, t80.substr(0, 79), std::nullopt, "T");
  m = read_ok("Map.dat");
  EXPECT_EQ(m.z.size(), 6u);
  EXPECT_EQ(m.xlabel, t80.substr(0, 79));
  EXPECT_EQ(m.ylabel, "y");

  // 80 + 79 + 1 characters read exactly like 79 + 1 + 80: reported, not guessed.
  dat_map(x, y, zz, 0, t80, t80.substr(0, 79), "T");
  const MapReadResult r = read_map_file("Map.dat");
  EXPECT_FALSE(r);
  EXPECT_THAT(r.error, HasSubstr("more than one way"));
}

TEST_F(MapReader, MalformedFilesAreReportedWithTheirLine) {
  const float v[] = {1.0f, 2.0f};
  dat_map(v, v, std::vector<float>(4, 0.5f));
  const std::string good = read_all("Map.dat");
  const auto error_of = [](const std::string& bytes) {
    const MapReadResult r = parse_map(bytes);
    EXPECT_FALSE(r);
    return r.error;
  };
  EXPECT_EQ(error_of(good.substr(0, good.size() - 5)),
            "line 12: ends without a line ending (the file is cut short): "
            "\" Representation of z=z(x\"");
  EXPECT_EQ(error_of(good.substr(0, good.find(" x\r\n"))),
            "the last lines are not the three text lines (x label, y label, title)");
  EXPECT_EQ(error_of(good.substr(0, 2 * 17 + 38)),
            "the file ends after 3 lines; its header announces 2 x lines, 2 y lines and three text "
            "lines");
  EXPECT_EQ(error_of("           2           2           2" + good.substr(36)),
            "line 1: not a header of nx, ny and 1: \"           2           2           2\"");
  std::string bad = good;
  bad.replace(38 + 3 * 17, 15, "   0.5OOOOOO   ");
  EXPECT_EQ(error_of(bad), "line 5: not a y value: \"   0.5OOOOOO   \"");
  bad = good;
  bad.replace(38 + 4 * 17, 15, "  0.5000000");
  EXPECT_EQ(error_of(bad), "line 6: not a value: \"  0.5000000\"");
  EXPECT_EQ(error_of("           0           0           1\n x\n y\n t\n"),
            "line 1: ends with a line feed alone: \"           0           0           1\"");
  EXPECT_EQ(error_of(""), "the file is empty");
  EXPECT_EQ(read_map_file("none.dat").error, "none.dat: cannot open: No such file or directory");
}

}  // namespace
}  // namespace mapdata
