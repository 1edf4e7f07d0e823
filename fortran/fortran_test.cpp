// The module mapplot called from Fortran (fortran_calls.f90) against the same
// calls made from C++ on the same values: the same file bytes and console
// lines, the same PGPLOT calls, the same pixels; and no array copied beyond
// what the C++ routines copy.

#include <gtest/gtest.h>

#include <algorithm>

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "fortran/allocation_count.h"
#include "gfxwin/graphics.h"
#include "gfxwin/graphics_testing.h"
#include "maparg/request.h"
#include "mapdata/dat_map.h"
#include "mapnc/nc_map.h"
#include "mapps/ps_map.h"
#include "mapps/pgplot/recording_pgplot.h"
#include "mapscreen/screen_map.h"
#include "rtl/console.h"
#include "rtl/fatal.h"
#include "rtl/testing/temp_folder.h"

extern "C" {
void fortran_dat_map_bounds();
void fortran_nc_map(int which);
void fortran_dat_map_sections();
void fortran_dat_map_matrix_section();
void fortran_dat_map_omitted(int all);
void fortran_data_export_generic();
void fortran_dat_map_passed_on(int given);
void fortran_dat_map_log_of_zero();
void fortran_ps_map_bounds();
void fortran_ps_map_sections();
void fortran_ps_map_flat();
void fortran_ps_map_log_of_negative();
void fortran_long_file_names(const char* path, int n);
void fortran_scr_map_bounds();
void fortran_scr_map_sections();
void fortran_scr_map_in_place(double* z, int n);
void fortran_make_pairs(int n);
void fortran_dat_map_components();
void fortran_dat_map_strided();
void fortran_ps_map_colours();
void fortran_scr_map_colours();
void fortran_cell_colours();
void fortran_centre_and_page();
void fortran_option_kinds(int k, std::int64_t* stat);
}

namespace {

using maparg::Index;
using maparg::MatView;
using maparg::VecView;
using mapps::testing_support::recording;
using rtl::testing::read_all;
namespace fs = std::filesystem;

// --- The values of fortran_calls.f90 ---

// x(i) = i / 4 for i = lower .. lower + n - 1; y(j) = j / 2 + 1.
std::vector<float> x_values(Index lower, Index n) {
  std::vector<float> v;
  for (Index i = lower; i < lower + n; ++i) v.push_back(static_cast<float>(i) / 4.0f);
  return v;
}
std::vector<float> y_values(Index lower, Index n) {
  std::vector<float> v;
  for (Index j = lower; j < lower + n; ++j) v.push_back(static_cast<float>(j) / 2.0f + 1);
  return v;
}
// z(i, j) = i + 1000 j, first index fastest.
std::vector<float> z_values(Index lower1, Index n1, Index lower2, Index n2) {
  std::vector<float> v;
  for (Index j = lower2; j < lower2 + n2; ++j)
    for (Index i = lower1; i < lower1 + n1; ++i)
      v.push_back(static_cast<float>(i) + 1000.0f * static_cast<float>(j));
  return v;
}
// The k-th element (from 1) is k + 0.5.
template <class T>
std::vector<T> flat_values(Index n) {
  std::vector<T> v;
  for (Index k = 1; k <= n; ++k) v.push_back(static_cast<T>(k) + T(0.5));
  return v;
}
std::vector<double> widened(const std::vector<float>& v) { return {v.begin(), v.end()}; }

const std::string kLongText =
    "A title of a hundred characters, which the module cuts to its first eighty. -- 81st: "
    "beyond here...";

// --- What a call leaves behind ---

struct Outcome {
  std::vector<std::string> console;
  std::vector<std::string> pgplot_calls;
  std::map<std::string, std::string> files;
  bool operator==(const Outcome&) const = default;
};

void PrintTo(const Outcome& o, std::ostream* out) {
  for (const auto& line : o.console) *out << "\n  console '" << line << "'";
  for (const auto& call : o.pgplot_calls) *out << "\n  " << call.substr(0, 200);
  for (const auto& [name, bytes] : o.files)
    *out << "\n  file " << name << ": " << bytes.size() << " bytes";
}

class FromFortran : public rtl::testing::InTempFolder {
 protected:
  void SetUp() override {
    InTempFolder::SetUp();
    gfxwin::reset_for_tests();
    mapscreen::screen_map_state() = mapscreen::ScreenMapState{};
  }
  void TearDown() override {
    mapps::set_pgplot(nullptr);
    InTempFolder::TearDown();
  }

  // The console lines, the PGPLOT calls when they are recorded, and the files
  // the call wrote into the test's folder (removed again afterwards).
  static Outcome outcome_of(const std::function<void()>& call) {
    Outcome out;
    recording() = {};
    rtl::change_hooks([&](rtl::Hooks& h) { h.console_listener = [&out](std::string_view line) { out.console.emplace_back(line); }; });
    call();
    rtl::change_hooks([&](rtl::Hooks& h) { h.console_listener = {}; });
    out.pgplot_calls = recording().calls;
    for (const auto& e : fs::directory_iterator(".")) {
      out.files[e.path().filename()] = read_all(e.path());
      fs::remove(e.path());
    }
    return out;
  }

  static void record_pgplot() { mapps::set_pgplot(&mapps::testing_support::recording_pgplot()); }

  static gfxwin::Picture picture(int unit) {
    gfxwin::Picture p;
    EXPECT_TRUE(gfxwin::snapshot(unit, p)) << unit;
    return p;
  }
  // Units a and b show the same window: caption and every pixel.
  static void expect_same_window(int a, int b) {
    EXPECT_EQ(gfxwin::window_title(a), gfxwin::window_title(b));
    EXPECT_TRUE(picture(a).pixels == picture(b).pixels) << "units " << a << " and " << b;
  }
};

using FromFortranDeathTest = FromFortran;

// --- Data export: the same bytes ---

TEST_F(FromFortran, DataFilesHaveTheSameBytes) {
  {  // bounds -60 .. 60
    const auto x = x_values(-60, 121), y = y_values(-60, 121), z = z_values(-60, 121, -60, 121);
    const Outcome fortran = outcome_of(fortran_dat_map_bounds);
    ASSERT_EQ(fortran.files.count("Map.dat"), 1u);
    EXPECT_EQ(fortran.console, std::vector<std::string>{"  Output in Map.dat"});
    EXPECT_EQ(fortran, outcome_of([&] {
                mapdata::dat_map_2d(VecView<float>(x.data(), 121, 1, -60),
                                    VecView<float>(y.data(), 121, 1, -60),
                                    MatView<float>(z.data(), 121, 121, 1, 121, -60, -60),
                                    std::nullopt, "Re(c)", "Im(c)", "Mandelbrot set");
              }));
  }
  {  // x(10:1:-1), y(::3), z(::2), keywords in an order of their own
    const auto x = widened(x_values(1, 10)), y = widened(y_values(1, 12));
    const auto z = flat_values<double>(80);
    EXPECT_EQ(outcome_of(fortran_dat_map_sections), outcome_of([&] {
                mapdata::dat_map_r8(VecView<double>(x.data() + 9, 10, -1),
                                    VecView<double>(y.data(), 4, 3),
                                    VecView<double>(z.data(), 40, 2), 0, std::nullopt,
                                    std::nullopt, std::nullopt, "Map.dat");
              }));
  }
  {  // x(::2), y(5:1:-1), z(::2, 5:1:-1); ylabel='' and a long title
    const auto x = widened(x_values(1, 7)), y = widened(y_values(1, 5));
    const auto z = widened(z_values(1, 7, 1, 5));
    const auto cpp = [&](maparg::OptText ylabel) {
      return outcome_of([&] {
        mapdata::dat_map_2d_r8(VecView<double>(x.data(), 4, 2),
                               VecView<double>(y.data() + 4, 5, -1),
                               MatView<double>(z.data() + 4 * 7, 4, 5, 2, -7), std::nullopt,
                               std::nullopt, ylabel, kLongText);
      });
    };
    const Outcome fortran = outcome_of(fortran_dat_map_matrix_section);
    EXPECT_EQ(fortran, cpp(""));
    EXPECT_NE(fortran, cpp(std::nullopt));  // present but empty is not absent
  }
  {  // the y label omitted between two given ones; everything omitted
    const auto x = x_values(1, 3), y = y_values(1, 2);
    const auto z = flat_values<float>(6);
    EXPECT_EQ(outcome_of([] { fortran_dat_map_omitted(0); }), outcome_of([&] {
                mapdata::dat_map(x, y, z, 0, "  x label", std::nullopt, "  T");
              }));
    EXPECT_EQ(outcome_of([] { fortran_dat_map_omitted(1); }),
              outcome_of([&] { mapdata::dat_map(x, y, z); }));
  }
}

// The NetCDF map files of the same calls from Fortran and from C++ are the
// same bytes (they hold no time or other varying bytes).
TEST_F(FromFortran, NetcdfFilesHaveTheSameBytes) {
  const auto x = x_values(-60, 121), y = y_values(-60, 121), z = z_values(-60, 121, -60, 121);
  const auto xd = widened(x_values(1, 10)), yd = widened(y_values(1, 12));
  const auto zd = flat_values<double>(80), md = widened(z_values(1, 10, 1, 12));
  const std::function<void()> cpp[] = {
      [&] {
        mapnc::nc_map_2d(VecView<float>(x.data(), 121, 1, -60),
                         VecView<float>(y.data(), 121, 1, -60),
                         MatView<float>(z.data(), 121, 121, 1, 121, -60, -60), std::nullopt,
                         "Re(c)", "Im(c)", "Mandelbrot set");
      },
      [&] {
        mapnc::nc_map_r8(VecView<double>(xd.data() + 9, 10, -1), VecView<double>(yd.data(), 4, 3),
                         VecView<double>(zd.data(), 40, 2), 0, std::nullopt, std::nullopt,
                         std::nullopt, "sections.nc");
      },
      [&] {
        mapnc::netcdf_export(VecView<double>(xd.data(), 5, 2),
                             VecView<double>(yd.data() + 11, 12, -1),
                             MatView<double>(md.data() + 11 * 10, 5, 12, 2, -10),
                             {.ylabel = "", .title = kLongText, .file = "generic.nc"});
      },
  };
  for (int which = 1; which <= 3; ++which) {
    const Outcome fortran = outcome_of([which] { fortran_nc_map(which); });
    EXPECT_EQ(fortran.files.size(), 1u) << which;
    EXPECT_EQ(fortran, outcome_of(cpp[which - 1])) << which;
  }
}

// Optional arguments passed on by a routine of the caller's own stay absent
// or present; a section with a vector subscript arrives as the compiler's copy.
TEST_F(FromFortran, ArgumentsPassedOnAndVectorSubscripts) {
  const std::vector<float> x = {1, 2, 3}, y = {1, 2}, z = {6, 5, 4, 3, 2, 1};
  EXPECT_EQ(outcome_of([] { fortran_dat_map_passed_on(1); }),
            outcome_of([&] {
              mapdata::dat_map(x, y, z, std::nullopt, "Passed on", std::nullopt, "");
            }));
  EXPECT_EQ(outcome_of([] { fortran_dat_map_passed_on(0); }),
            outcome_of([&] { mapdata::dat_map(x, y, z); }));
}

TEST_F(FromFortran, GenericNameChoosesTheFormByKindAndRank) {
  const std::vector<double> x = {1, 2, 3}, y = {1, 2};
  const auto z = flat_values<double>(6);
  const Outcome fortran = outcome_of(fortran_data_export_generic);
  EXPECT_EQ(fortran, outcome_of([&] { mapdata::dat_map_r8(x, y, z); }));
  EXPECT_NE(fortran.files.at("Map.dat").find(" Representation of y=y(x)\r\n"), std::string::npos);
}

TEST_F(FromFortranDeathTest, LogarithmOfZeroOrBelowEndsTheProgramWithoutAFile) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(fortran_dat_map_log_of_zero(), testing::ExitedWithCode(rtl::kFatalExitCode),
              "log10: SING error");
  EXPECT_EXIT(fortran_ps_map_log_of_negative(), testing::ExitedWithCode(rtl::kFatalExitCode),
              "log10: DOMAIN error");
  EXPECT_EQ(entries(), std::vector<std::string>{});
}

// --- PostScript map: the same PGPLOT calls ---

TEST_F(FromFortran, PostScriptMapsMakeTheSamePgplotCalls) {
  record_pgplot();
  {  // bounds -3 .. 3 and -2 .. 2, a file and a device
    const auto x = x_values(-3, 7), y = y_values(-2, 5), z = z_values(-3, 7, -2, 5);
    const Outcome fortran = outcome_of(fortran_ps_map_bounds);
    ASSERT_EQ(fortran.pgplot_calls.size(), 25u);
    EXPECT_EQ(fortran.pgplot_calls[0].substr(0, 13), "pgbeg 0 'out.");
    EXPECT_EQ(fortran, outcome_of([&] {
                mapps::ps_map_2d(x, y, MatView<float>(z.data(), 7, 5), std::nullopt,
                                 std::nullopt, std::nullopt, "Spectrum", "out.ps", "png");
              }));
  }
  {  // reversed and strided sections, keywords in any order, long and empty labels
    const auto x = widened(x_values(1, 9)), y = widened(y_values(1, 6));
    const auto z = widened(z_values(1, 9, 1, 6));
    EXPECT_EQ(outcome_of(fortran_ps_map_sections), outcome_of([&] {
                mapps::ps_map_2d_r8(VecView<double>(x.data() + 8, 5, -2),
                                    VecView<double>(y.data() + 5, 3, -2),
                                    MatView<double>(z.data() + 5 * 9 + 8, 5, 3, -2, -18), 0,
                                    kLongText, "", std::nullopt, std::nullopt, "null");
              }));
  }
  {  // flat z of both precisions, an option omitted in the middle
    const auto x = x_values(1, 4), y = y_values(1, 3);
    const auto z = flat_values<float>(12);
    std::vector<double> xd(8, -1), zd = flat_values<double>(24);
    for (std::size_t k = 0; k < 4; ++k) xd[2 * k] = x[k];
    const std::vector<double> yd = widened(y);
    EXPECT_EQ(outcome_of(fortran_ps_map_flat), outcome_of([&] {
                mapps::ps_map(x, y, z, -1, "time", std::nullopt, "  Energy", "flat.eps", "cps");
                mapps::ps_map_r8(VecView<double>(xd.data(), 4, 2), yd,
                                 VecView<double>(zd.data(), 12, 2), std::nullopt, std::nullopt,
                                 std::nullopt, std::nullopt, "flat.ps", "null");
              }));
  }
}

// Paths longer than the 80-character fields reach the files whole, with the
// bytes the same calls from C++ write.
TEST_F(FromFortran, FileNamesOfAnyLengthAreUsedWhole) {
  const auto x = x_values(1, 3), y = y_values(1, 2);
  const auto z = flat_values<float>(6);
  for (const std::size_t length : {115u, 300u}) {
    const std::string path = rtl::testing::long_path(length, "");
    SCOPED_TRACE(path);
    std::vector<std::string> console;
    rtl::change_hooks([&](rtl::Hooks& h) { h.console_listener = [&](std::string_view line) { console.emplace_back(line); }; });
    fortran_long_file_names(path.data(), static_cast<int>(path.size()));
    rtl::change_hooks([&](rtl::Hooks& h) { h.console_listener = {}; });
    EXPECT_EQ(console, (std::vector<std::string>{"  Output in " + path + ".dat",
                                                 "  Output in " + path + ".png"}));
    EXPECT_EQ(rtl::testing::files_under("."),
              (std::vector<std::string>{path + ".dat", path + ".png"}));
    const std::string data = read_all(path + ".dat"), picture = read_all(path + ".png");
    mapdata::dat_map(x, y, z, {.file = path + ".dat"});
    mapps::ps_map(x, y, z, {.file = path + ".ps", .device = "png"});
    EXPECT_EQ(read_all(path + ".dat"), data);
    EXPECT_EQ(read_all(path + ".png"), picture);
    fs::remove(path + ".dat");
    fs::remove(path + ".png");
  }
}

// The call of the finished program: the PNG file itself, byte for byte.
TEST_F(FromFortran, PostScriptMapWritesTheSameFile) {
  const auto x = x_values(-3, 7), y = y_values(-2, 5), z = z_values(-3, 7, -2, 5);
  const Outcome fortran = outcome_of(fortran_ps_map_bounds);
  ASSERT_EQ(fortran.files.count("out.png"), 1u);
  EXPECT_EQ(fortran.files.at("out.png").substr(1, 3), "PNG");
  EXPECT_EQ(fortran, outcome_of([&] {
              mapps::ps_map_2d(x, y, MatView<float>(z.data(), 7, 5), std::nullopt, std::nullopt,
                               std::nullopt, "Spectrum", "out.ps", "png");
            }));
}

// --- Screen map: the same pixels ---

TEST_F(FromFortran, ScreenMapsPaintTheSamePixels) {
  const auto x = x_values(-60, 121), y = y_values(-60, 121), z = z_values(-60, 121, -60, 121);
  fortran_scr_map_bounds();  // unit 101
  mapscreen::scr_map_2d(VecView<float>(x.data(), 121, 1, -60),
                        VecView<float>(y.data(), 121, 1, -60),
                        MatView<float>(z.data(), 121, 121, 1, 121, -60, -60), std::nullopt,
                        "Re(c)", "Im(c)", "Mandelbrot set", 1, -1, 0);  // unit 102
  EXPECT_EQ(gfxwin::window_title(101), "Mandelbrot set");
  expect_same_window(101, 102);

  const auto xs = x_values(1, 10), ys = y_values(1, 8), zs = z_values(1, 10, 1, 8);
  const auto xd = widened(xs), yd = widened(ys), zd = widened(zs);
  const auto flat = flat_values<float>(80);
  fortran_scr_map_sections();  // units 103 and 104
  mapscreen::scr_map_2d_r8(VecView<double>(xd.data() + 9, 5, -2), VecView<double>(yd.data(), 4, 2),
                           MatView<double>(zd.data() + 9, 5, 4, -2, 20), std::nullopt,
                           std::nullopt, std::nullopt, kLongText, 2, -1);
  mapscreen::scr_map_r4(VecView<float>(xs.data(), 4, 3), VecView<float>(ys.data() + 7, 8, -1),
                        VecView<float>(flat.data(), 40, 2), 0, std::nullopt, std::nullopt,
                        std::nullopt, std::nullopt, -1);
  expect_same_window(103, 105);
  expect_same_window(104, 106);
}

// --- Colours: the same calls, files and pixels ---

TEST_F(FromFortran, ColourKeywordsGiveWhatTheCppOptionsGive) {
  const auto x = x_values(-3, 7), y = y_values(-2, 5), z = z_values(-3, 7, -2, 5);
  const std::vector<double> xd = widened(x), yd = widened(y), zd = flat_values<double>(35);
  const auto flat = flat_values<float>(35);
  const auto cpp = [&] {
    mapps::ps_map_2d(x, y, MatView<float>(z.data(), 7, 5),
                     {.file = "heat.ps", .device = "png", .palette = "heat", .zmin = -1000,
                      .zmax = 3000});
    const maparg::PalettePoint points[] = {
        {0, 0, 1, 0.5f}, {0.25f, 0.75f, 0.5f, 0.5f}, {0.5f, 0.5f, 0.75f, 0.75f}, {1, 1, 0, 1}};
    mapps::ps_map_r8(xd, yd, zd, {.device = "null", .palette = points, .zmin = 2});
    mapps::ps_map(x, y, flat, {.device = "null", .palette = "  Viridis_R ", .zmax = 10});
    // Arrays missing or of other lengths: grey, after the lengths.
    maparg::console_line(
        " Warning: palette arrays levels, red, green, blue need one length, not 2, 2, 2, none;"
        " grey used !!!");
    mapps::ps_map(x, y, flat, {.device = "null"});
    maparg::console_line(
        " Warning: palette arrays levels, red, green, blue need one length, not 2, 3, 2, 2;"
        " grey used !!!");
    mapps::ps_map(x, y, flat, {.device = "null"});
    mapps::ps_map_2d_r8(xd, yd, MatView<double>(zd.data(), 7, 5),
                        {.device = "null", .zmin = 5, .zmax = 1});
  };
  // The PNG file itself, and the calls as recorded.
  const Outcome fortran = outcome_of(fortran_ps_map_colours);
  ASSERT_EQ(fortran.files.count("heat.png"), 1u);
  EXPECT_EQ(fortran, outcome_of(cpp));
  record_pgplot();
  const Outcome recorded = outcome_of(fortran_ps_map_colours);
  EXPECT_EQ(recorded, outcome_of(cpp));
  ASSERT_EQ(recorded.console.size(), 4u);  // the PNG's " Output in " line first
  EXPECT_EQ(recorded.console[2],
            "  Warning: palette arrays levels, red, green, blue need one length, not 2, 3, 2, 2;"
            " grey used !!!");
  EXPECT_EQ(recorded.console[3],
            "  Warning: zmin must be below zmax, both finite: the data's range used !!!");

  fortran_scr_map_colours();  // units 101 .. 104
  std::vector<double> zd_copy = zd;
  mapscreen::scr_map_2d(x, y, MatView<float>(z.data(), 7, 5),
                        {.own_window = -1, .palette = "magma", .zmin = -1000, .zmax = 3000});
  const maparg::PalettePoint two[] = {{0, 0, 1, 0.5f}, {1, 1, 0, 0.5f}};
  mapscreen::scr_map(xd, yd, zd_copy, {.own_window = -1, .palette = two, .zmax = 20});
  mapscreen::scr_map_r4(x, y, flat, {.own_window = -1, .palette = "cividis_r", .zmin = 3});
  mapscreen::scr_map_2d_r8(xd, yd, MatView<double>(zd.data(), 7, 5),
                           {.own_window = -1, .palette = "rainbow", .zmin = 9, .zmax = 1});
  for (int unit = 101; unit <= 104; ++unit) expect_same_window(unit, unit + 4);
  EXPECT_NE(picture(101).pixels, picture(102).pixels);
}

// nan_colour, under and over of both maps, the colours of any stride; a
// colour not of three elements warns and draws as without it.
TEST_F(FromFortran, CellColourKeywordsGiveWhatTheCppOptionsGive) {
  const auto x = x_values(-3, 7), y = y_values(-2, 5);
  auto z = z_values(-3, 7, -2, 5);
  z[3 + 7 * 2] = NAN;  // z(0, 0)
  const std::vector<double> xd = widened(x), yd = widened(y);
  auto zd = flat_values<double>(35);
  zd[2] = NAN;
  const auto flat = flat_values<float>(35);
  const maparg::Colour rgb_odd{0.8f, 0.4f, 0.0f}, rgb_back{1.0f, 0.0f, 0.6f};
  const auto cpp = [&] {
    mapps::ps_map_2d(x, y, MatView<float>(z.data(), 7, 5),
                     {.file = "cells.ps", .device = "png", .palette = "viridis", .zmin = -1500,
                      .zmax = 1500, .nan_colour = maparg::Colour{1, 0, 1}, .under = rgb_odd,
                      .over = rgb_back});
    mapps::ps_map(x, y, flat, {.device = "null", .nan_colour = maparg::Colour{NAN, 0, 0}});
  };
  const Outcome fortran = outcome_of(fortran_cell_colours);  // the screen map in unit 101
  ASSERT_EQ(fortran.files.count("cells.png"), 1u);
  EXPECT_EQ(fortran, outcome_of(cpp));
  ASSERT_EQ(fortran.console.size(), 2u);
  EXPECT_EQ(fortran.console[1],
            "  Warning: nan_colour must be three intensities within 0 .. 1: black used !!!");
  record_pgplot();
  const Outcome recorded = outcome_of(fortran_cell_colours);  // unit 102
  EXPECT_EQ(recorded, outcome_of(cpp));
  EXPECT_NE(std::find(recorded.pgplot_calls.begin(), recorded.pgplot_calls.end(),
                      "pgscr 15 1 0 0.6"),
            recorded.pgplot_calls.end());

  std::vector<double> zd_copy = zd;
  mapscreen::scr_map(xd, yd, zd_copy,
                     {.own_window = -1, .zmin = 2, .zmax = 20,
                      .nan_colour = maparg::Colour{0, 1, 0},
                      .under = maparg::Colour{0.8f, 0.2f, 0.4f},
                      .over = maparg::Colour{1, 1, 0}});
  expect_same_window(101, 103);
  expect_same_window(102, 103);
}

TEST_F(FromFortran, CentreLabelAndPageKeywordsGiveWhatTheCppOptionsGive) {
  const auto x = x_values(-3, 7), y = y_values(-2, 5), z = z_values(-3, 7, -2, 5);
  const std::vector<double> xd = widened(x), yd = widened(y), zd = flat_values<double>(35);
  const auto flat = flat_values<float>(35);
  const auto cpp = [&] {
    mapps::ps_map_2d(x, y, MatView<float>(z.data(), 7, 5),
                     {.file = "page.ps", .device = "png", .palette = "coolwarm", .zcentre = 0,
                      .zlabel = "T / K", .aspect = "Auto",
                      .pixels = std::array<std::int64_t, 2>{640, 320}});
    mapps::ps_map(x, y, flat, {.device = "null", .aspect = "wide",
                               .pixels = std::array<std::int64_t, 2>{0, 0}});
    mapps::ps_map_r8(xd, yd, zd, {.device = "null", .zcentre = 1, .zlabel = ""});
  };
  const Outcome fortran = outcome_of(fortran_centre_and_page);  // the screen map in unit 101
  ASSERT_EQ(fortran.files.count("page.png"), 1u);
  EXPECT_EQ(fortran, outcome_of(cpp));
  EXPECT_EQ(fortran.console,
            (std::vector<std::string>{
                "  Output in page.png",
                "  Warning: aspect must be equal or auto: equal used !!!",
                "  Warning: pixels must be 16 .. 16384 each: 800 x 600 used !!!"}));
  record_pgplot();
  EXPECT_EQ(outcome_of(fortran_centre_and_page), outcome_of(cpp));  // unit 102
  std::vector<double> zd_copy = zd;
  mapscreen::scr_map(xd, yd, zd_copy,
                     {.own_window = -1, .palette = "RdBu", .zcentre = 3, .zlabel = "dT / K"});
  expect_same_window(101, 103);
  expect_same_window(102, 103);
}

// Options in kinds other than the routine's own (fortran_option_kinds): log
// as logicals and as integers of kinds 1 and 8, stat of kind 8, palette
// arrays, colours, zmin ... zcentre in the other real kind, pixels of kind
// 8, size and own_window of kinds 2 and 8: what the C++ calls give, files
// and PGPLOT calls alike, and stat as the C++ map's outcome.
TEST_F(FromFortran, OptionsOfEveryKindGiveWhatTheCppOptionsGive) {
  const auto x = x_values(-3, 7), y = y_values(-2, 5), z = z_values(-3, 7, -2, 5);
  const std::vector<double> xd = widened(x), yd = widened(y), zd = flat_values<double>(35);
  const auto flat = flat_values<float>(35);
  const MatView<float> zm(z.data(), 7, 5);
  const maparg::PalettePoint four[] = {
      {0, 0, 1, 0.5f}, {0.25f, 0.75f, 0.5f, 0.5f}, {0.5f, 0.5f, 0.75f, 0.75f}, {1, 1, 0, 1}};
  const maparg::PalettePoint two[] = {{0, 0, 1, 0.5f}, {1, 1, 0, 0.5f}};
  const struct {
    int k;
    std::function<void()> cpp;
    std::int64_t stat;  // 7: the call has no stat
  } cases[] = {
      {1, [&] { mapdata::dat_map(x, y, flat, 1, std::nullopt, std::nullopt, "log"); }, 7},
      {2, [&] { mapdata::dat_map_2d(x, y, zm, 0); }, 0},
      {3, [&] { mapdata::dat_map_r8(xd, yd, zd, 1); }, 0},
      {4, [&] { mapdata::dat_map(x, y, flat, 1, std::nullopt, std::nullopt, "int8"); }, 7},
      {5,
       [&] {
         mapps::ps_map(x, y, flat,
                       {.file = "r8.ps", .device = "png", .palette = four, .zmin = 2, .zmax = 30});
       },
       0},
      {6,
       [&] {
         mapps::ps_map_r8(xd, yd, zd,
                          {.file = "r4.ps", .device = "png", .palette = two,
                           .nan_colour = maparg::Colour{0, 1, 0.25},
                           .under = maparg::Colour{0.75, 1, 0},
                           .over = maparg::Colour{1, 1, 0}, .zcentre = 3,
                           .pixels = std::array<std::int64_t, 2>{320, 240}});
       },
       0},
      {8, [&] { mapps::ps_map_2d(x, y, zm, {.device = "xyz"}); }, 2},
  };
  for (const auto& c : cases) {
    for (const bool recorded : {false, true}) {
      if (recorded) record_pgplot();
      std::int64_t stat = -1;
      const Outcome fortran = outcome_of([&] { fortran_option_kinds(c.k, &stat); });
      EXPECT_EQ(fortran, outcome_of(c.cpp)) << "case " << c.k << (recorded ? ", recorded" : "");
      if (!recorded) {  // the recording PGPLOT takes any device type
        EXPECT_EQ(stat, c.stat) << "case " << c.k;
        EXPECT_EQ(fortran.files.empty(), c.k == 8) << "case " << c.k;
      }
      mapps::set_pgplot(nullptr);
    }
  }
  std::int64_t stat = -1;
  fortran_option_kinds(7, &stat);  // unit 101
  mapscreen::scr_map_r4(x, y, flat, {.size = 2, .own_window = -1});
  expect_same_window(101, 102);
  mapscreen::scr_map_r4(x, y, flat, {.size = 1, .own_window = -1});
  EXPECT_NE(picture(101).pixels, picture(103).pixels);
}

TEST_F(FromFortran, BaseScreenMapRescalesTheCallersSectionInPlace) {
  std::vector<double> z(24);
  for (std::size_t k = 0; k < z.size(); ++k) z[k] = static_cast<double>(k * k % 7);
  const std::vector<double> before = z;
  fortran_scr_map_in_place(z.data(), 24);  // z(24:1:-2), unit 101

  // The same map from C++ on a contiguous copy of the section.
  std::vector<double> section;
  for (std::size_t k = 24; k >= 2; k -= 2) section.push_back(before[k - 1]);
  const std::vector<double> x = {4, 3, 2, 1}, y = {1, 2, 3};
  mapscreen::scr_map(x, y, section, std::nullopt, std::nullopt, std::nullopt, "In place",
                     std::nullopt, -1);  // unit 102
  expect_same_window(101, 102);
  for (std::size_t k = 0; k < 12; ++k) {
    EXPECT_EQ(z[23 - 2 * k], section[k]) << "grey level " << k;
    EXPECT_EQ(z[22 - 2 * k], before[22 - 2 * k]) << "untouched " << k;
  }
  EXPECT_NE(z, before);
}

// --- No copies beyond the C++ routines' own ---

// Each call from Fortran asks for exactly the storage the same call from C++
// asks for: the binding adds no copy of any array.
TEST_F(FromFortran, CallsCopyNoMoreThanTheCppRoutines) {
  // Measured on a second call: the first one also sets up what lasts (fonts ...).
  const auto bytes_of = [](const std::function<void()>& call) {
    call();
    return testing_support::bytes_allocated_by(call);
  };
  const auto x = x_values(-60, 121), y = y_values(-60, 121), z = z_values(-60, 121, -60, 121);
  const long long fortran_screen = bytes_of(fortran_scr_map_bounds);
  const long long cpp_screen = bytes_of([&] {
    mapscreen::scr_map_2d(VecView<float>(x.data(), 121, 1, -60),
                          VecView<float>(y.data(), 121, 1, -60),
                          MatView<float>(z.data(), 121, 121, 1, 121, -60, -60), std::nullopt,
                          "Re(c)", "Im(c)", "Mandelbrot set", 1, -1, 0);
  });
  EXPECT_EQ(fortran_screen, cpp_screen);
  EXPECT_GE(cpp_screen, 121 * 121 * 8);  // the packed double copy of z is counted

  const auto xd = widened(x_values(1, 10)), yd = widened(y_values(1, 12));
  const auto zd = flat_values<double>(80);
  const long long fortran_data = bytes_of(fortran_dat_map_sections);
  const long long cpp_data = bytes_of([&] {
    mapdata::dat_map_r8(VecView<double>(xd.data() + 9, 10, -1), VecView<double>(yd.data(), 4, 3),
                        VecView<double>(zd.data(), 40, 2), 0, std::nullopt, std::nullopt,
                        std::nullopt, "Map.dat");
  });
  EXPECT_EQ(fortran_data, cpp_data);
  std::printf("storage asked for: scr_map_2d 121 x 121 from Fortran %lld bytes, from C++ %lld; "
              "dat_map_r8 on sections from Fortran %lld, from C++ %lld\n",
              fortran_screen, cpp_screen, fortran_data, cpp_data);
}

// The peak memory of a call, whoever copies: a strided section is read where
// it lies, so the call from Fortran needs no more than the same call from
// C++; the components of an array of derived type are the compiler's copies
// (made before the module is reached), and the peak grows by their size.
TEST_F(FromFortran, PeakMemoryGrowsByTheCompilersCopiesOfComponentsAlone) {
  constexpr int n = 1 << 20;
  const long long copies = 2LL * n * static_cast<long long>(sizeof(float));  // x and z
  fortran_make_pairs(n);
  struct Pair {
    float a, b;
  };
  std::vector<Pair> pairs;
  for (int k = 1; k <= n; ++k) pairs.push_back({static_cast<float>(k), -static_cast<float>(k)});
  const float one = 1;
  const auto from_cpp = [&] {
    mapdata::dat_map(VecView<float>(&pairs[0].a, n, 2), VecView<float>(&one, 1, 1),
                     VecView<float>(&pairs[0].b, n, 2), std::nullopt, std::nullopt,
                     std::nullopt, std::nullopt, "Pairs.dat");
  };
  // Each measured on a second call, the file of the first kept to compare.
  const auto growth_of = [](const std::function<void()>& call, std::string& file) {
    call();
    file = read_all("Pairs.dat");
    return testing_support::peak_memory_growth_of(call);
  };
  std::string cpp_file, strided_file, components_file;
  const auto cpp = growth_of(from_cpp, cpp_file);
  const auto strided = growth_of(fortran_dat_map_strided, strided_file);
  const auto components = growth_of(fortran_dat_map_components, components_file);
  EXPECT_EQ(strided_file, cpp_file);
  EXPECT_EQ(components_file, cpp_file);
  if (!cpp || !strided || !components) GTEST_SKIP() << "the peak memory cannot be reset here";
  std::printf("peak memory growth, x and z of %d pairs (%lld bytes): from C++ %lld bytes, "
              "strided sections from Fortran %lld, components from Fortran %lld\n",
              n, copies, *cpp, *strided, *components);
  EXPECT_LT(*strided, *cpp + copies / 4) << "a strided section was copied";
  EXPECT_GE(*components, *cpp + copies * 9 / 10) << "components passed without a copy: the "
                                                      "module's documentation says otherwise";
}

}  // namespace
