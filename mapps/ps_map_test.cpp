// The PostScript map drawn through a recording PGPLOT table: the calls, their
// arguments and the console lines, in the order they happen.

#include "mapps/ps_map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "mapps/pgplot/recording_pgplot.h"
#include "rtl/console.h"

namespace mapps {
namespace {

using testing_support::recording;
using Lines = std::vector<std::string>;

std::string blanks(std::size_t n) { return std::string(n, ' '); }

class PsMapCalls : public testing::Test {
 protected:
  void SetUp() override {
    recording() = {};
    set_pgplot(&testing_support::recording_pgplot());
    // Console records join the calls, so that their order shows.
    rtl::change_hooks([&](rtl::Hooks& h) { h.console_listener = 
        [](std::string_view line) { recording().calls.push_back("console '" + std::string(line) + "'"); }; });
  }
  void TearDown() override {
    rtl::change_hooks([&](rtl::Hooks& h) { h.console_listener = {}; });
    set_pgplot(nullptr);
  }
  static const Lines& calls() { return recording().calls; }
  // The first recorded call of a routine (or console line), "" if none.
  static std::string first(std::string_view name) {
    for (const auto& c : calls())
      if (c.compare(0, name.size() + 1, std::string(name) + " ") == 0) return c;
    return "";
  }
  static Lines console_lines() {
    Lines out;
    for (const auto& c : calls())
      if (c.compare(0, 8, "console ") == 0) out.push_back(c.substr(8));
    return out;
  }

  const std::vector<float> x3{1, 2, 3};
  const std::vector<float> y2{10, 20};
  const std::vector<float> z6{1, 2, 3, 4, 5, 6};
};

TEST_F(PsMapCalls, DefaultCallMakesTheTwentyFiveCallsInOrder) {
  ps_map(x3, y2, z6);
  const Lines expected = {
      "pgbeg 0 'Map.ps" + blanks(74) + "/ps' 1 1",
      "pgscf 2",
      "pgslw 3",
      "pgsvp 0.12 0.83 0.12 0.88",
      "pgwnad 1 3 10 20",
      "pgbbuf",
      "pgctab [0 1] [0 1] [0 1] [0 1] 2 1 0.5",
      "pgimag [1 2 3 4 5 6] 3 2 1 3 1 2 1 6 [0 1 0 0 0 10]",
      "pgebuf",
      "pgsci 0",
      "pgsci 1",
      "pgsls 1",
      "pgslw 1",
      "pgsci 1",
      "pgline 5 [1 1 3 3 1] [10 20 20 10 10]",
      "pgbox 'bcnts' 0 0 'bcnts' 0 0",
      "pgsch 0.8",
      "pgwedg 'ri' 3 4 1 6 ' '",
      "pgsci 1",
      "pgsch 1",
      "pgslw 3",
      "pglab 'x" + blanks(99) + "' 'y" + blanks(99) + "' 'Representation of z=z(x,y)" +
          blanks(74) + "'",
      "pgsci 0",
      "pgslw 3",
      "pgend",
      "console '  Output in Map.ps'",
  };
  EXPECT_EQ(calls(), expected);
}

TEST_F(PsMapCalls, FileNameEndingRule) {
  struct Case {
    std::optional<std::string_view> file, device;
    std::string opened, output;
  };
  const Case cases[] = {
      {std::nullopt, "cps", "'Map.cps" + blanks(73) + "/cps'", "'  Output in Map.cps'"},
      {std::nullopt, "PS", "'Map.PS" + blanks(74) + "/PS'", "'  Output in Map.PS'"},
      {"out.eps", "cps", "'out.ecps" + blanks(72) + "/cps'", "'  Output in out.ecps'"},
      {"plot", "png", "'plot" + blanks(76) + "/png'", "'  Output in plot'"},
      // A name that already ends in the type keeps it; the type's case counts.
      {"m.eps", "eps", "'m.eps" + blanks(75) + "/eps'", "'  Output in m.eps'"},
      {"m.vps", "vps", "'m.vps" + blanks(75) + "/vps'", "'  Output in m.vps'"},
      {"m.vcps", "vcps", "'m.vcps" + blanks(74) + "/vcps'", "'  Output in m.vcps'"},
      {"m.cps", "cps", "'m.cps" + blanks(75) + "/cps'", "'  Output in m.cps'"},
      {"m.eps", "EPS", "'m.eEPS" + blanks(74) + "/EPS'", "'  Output in m.eEPS'"},
      {"m.ps", "vps", "'m.vps" + blanks(75) + "/vps'", "'  Output in m.vps'"},
      {"m.vps", "ps", "'m.vps" + blanks(75) + "/ps'", "'  Output in m.vps'"},
      {"m.vps", "eps", "'m.veps" + blanks(74) + "/eps'", "'  Output in m.veps'"},
      {"Map.ps", "png", "'Map.png" + blanks(73) + "/png'", "'  Output in Map.png'"},
      {"Map.ps  ", "  ps ", "'Map.  ps" + blanks(72) + "/ps'", "'  Output in Map.  ps'"},
      {"  sub/Map.ps", "svg", "'  sub/Map.svg" + blanks(67) + "/svg'", "'  Output in sub/Map.svg'"},
      // Blank: PGPLOT's own default file of the device type is what exists.
      {"    ", std::nullopt, "'" + blanks(80) + "/ps'", "'  Output in pgplot.ps'"},
      // A type that writes no file: nothing to report.
      {"Map.ps", "null", "'Map.null" + blanks(72) + "/null'", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.opened);
    recording() = {};
    ps_map(x3, y2, z6, std::nullopt, std::nullopt, std::nullopt, std::nullopt, c.file, c.device);
    EXPECT_EQ(first("pgbeg"), "pgbeg 0 " + c.opened + " 1 1");
    EXPECT_EQ(console_lines(), c.output.empty() ? Lines{} : Lines{c.output});
  }
  // gif is named by the rule but no device draws it (see the file tests).
  recording() = {};
  ps_map(x3, y2, z6, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, "gif");
  EXPECT_EQ(first("pgbeg"), "pgbeg 0 'Map.gif" + blanks(73) + "/gif' 1 1");
}

// File names and device types beyond 80 characters reach PGPLOT whole,
// while labels and titles keep their fields.
TEST_F(PsMapCalls, FileNamesAndDeviceTypesAreNeverCut) {
  const std::string name = "sub/" + std::string(96, 'n') + ".ps";  // 102 bytes
  ps_map(x3, y2, z6, {.title = std::string(100, 't'), .file = name});
  EXPECT_EQ(first("pgbeg"), "pgbeg 0 '" + name + "/ps' 1 1");
  EXPECT_EQ(first("pglab"), "pglab 'x" + blanks(99) + "' 'y" + blanks(99) + "' '" +
                                std::string(80, 't') + blanks(20) + "'");
  EXPECT_EQ(console_lines(), Lines{"'  Output in " + name + "'"});

  // The ending rule on the whole name; eighty bytes ending in "ps" grow, not cut.
  const std::string stem = name.substr(0, name.size() - 2);
  const std::string eighty = std::string(78, 'e') + "ps";
  for (const auto& [file, renamed] : {std::pair{name, stem + "svg"},
                                      std::pair{eighty, std::string(78, 'e') + "svg"}}) {
    recording() = {};
    ps_map(x3, y2, z6, {.file = file, .device = "svg"});
    EXPECT_EQ(first("pgbeg"), "pgbeg 0 '" + renamed + "/svg' 1 1");
    EXPECT_EQ(console_lines(), Lines{"'  Output in " + renamed + "'"});
  }

  // Not png: the type's last byte counts too.
  recording() = {};
  const std::string padded_type = "png" + blanks(80) + "x";
  ps_map(x3, y2, z6, {.file = "plot", .device = padded_type});
  EXPECT_EQ(first("pgbeg"), "pgbeg 0 'plot" + blanks(76) + "/" + padded_type + "' 1 1");
}

TEST_F(PsMapCalls, LabelsTitlesAndTheLogOption) {
  const std::vector<float> powers{1, 10, 100, 1000, 10000, 100000};
  ps_map(x3, y2, powers, -1, std::nullopt, std::nullopt, "  Energy");
  EXPECT_EQ(first("pglab"), "pglab 'x" + blanks(99) + "' 'y" + blanks(99) + "' 'log(Energy)" +
                                blanks(89) + "'");
  EXPECT_EQ(first("pgimag"), "pgimag [0 1 2 3 4 5] 3 2 1 3 1 2 0 5 [0 1 0 0 0 10]");
  EXPECT_EQ(first("pgwedg"), "pgwedg 'ri' 3 4 0 5 ' '");
  EXPECT_EQ(powers[5], 100000.0f);  // the caller's values are only read

  recording() = {};
  ps_map(x3, y2, z6, 1);  // the default title under the log option
  EXPECT_EQ(first("pglab"), "pglab 'x" + blanks(99) + "' 'y" + blanks(99) +
                                "' 'log(Representation of z=z(x,y))" + blanks(69) + "'");

  recording() = {};
  ps_map(x3, y2, z6, 2, "   Time", "", "  Energy");  // lowest bit clear: no logarithms
  EXPECT_EQ(first("pglab"), "pglab 'Time" + blanks(96) + "' '" + blanks(100) + "' '  Energy" +
                                blanks(92) + "'");
  EXPECT_EQ(first("pgimag"), "pgimag [1 2 3 4 5 6] 3 2 1 3 1 2 1 6 [0 1 0 0 0 10]");

  recording() = {};
  const std::string long_title(90, 'T');
  ps_map(x3, y2, z6, std::nullopt, std::nullopt, std::nullopt, long_title);
  EXPECT_EQ(first("pglab"), "pglab 'x" + blanks(99) + "' 'y" + blanks(99) + "' '" +
                                std::string(80, 'T') + blanks(20) + "'");
}

// Labels reach PGPLOT as they are drawn: UTF-8 as given, control characters
// as blanks, bytes that begin no character as U+FFFD, and a character the
// 80-byte field broke off dropped.
TEST_F(PsMapCalls, LabelsReachPgplotAsTheyAreDrawn) {
  ps_map(x3, y2, z6,
         {.xlabel = "Temp\xC3\xA9rature", .ylabel = "a\nb\r", .title = "Temp\xE9rature"});
  EXPECT_EQ(first("pglab"), "pglab 'Temp\xC3\xA9rature" + blanks(88) + "' 'a b " + blanks(96) +
                                "' 'Temp\xEF\xBF\xBDrature" + blanks(89) + "'");

  recording() = {};
  const std::string head(79, 'a');
  ps_map(x3, y2, z6, {.title = head + "\xC3\xA9"});
  EXPECT_EQ(first("pglab"), "pglab 'x" + blanks(99) + "' 'y" + blanks(99) + "' '" + head +
                                blanks(21) + "'");
}

TEST_F(PsMapCalls, FlatSurplusAndReversedData) {
  const std::vector<float> flat(6, 2.5f);
  ps_map(x3, y2, flat);
  EXPECT_EQ(calls().front(), "console '  Array is flat!'");  // before the device opens
  EXPECT_EQ(first("pgimag"), "pgimag [2.5 2.5 2.5 2.5 2.5 2.5] 3 2 1 3 1 2 2.5 2.5 [0 1 0 0 0 10]");
  EXPECT_EQ(first("pgwedg"), "pgwedg 'ri' 3 4 2.5 2.5 ' '");
  EXPECT_EQ(console_lines(), (Lines{"'  Array is flat!'", "'  Output in Map.ps'"}));

  // A range just below 1.0E-6 is flat too; the low value is recomputed from it.
  recording() = {};
  ps_map(x3, y2, std::vector<float>{0, 0, 0, 0, 0, 9.0e-7f});
  EXPECT_EQ(console_lines(), (Lines{"'  Array is flat!'", "'  Output in Map.ps'"}));
  EXPECT_EQ(first("pgwedg"), "pgwedg 'ri' 3 4 0 9e-07 ' '");

  recording() = {};
  ps_map(x3, y2, std::vector<float>{6, 5, 4, 3, 2, 1, -99});
  EXPECT_EQ(calls().front(), "console '  Warning: incompatible array sizes !!!'");
  EXPECT_EQ(first("pgimag"), "pgimag [6 5 4 3 2 1] 3 2 1 3 1 2 1 6 [0 1 0 0 0 10]");
  EXPECT_EQ(calls().back(), "console '  Output in Map.ps'");

  recording() = {};
  ps_map(std::vector<float>{3, 2, 1}, y2, z6);
  EXPECT_EQ(first("pgwnad"), "pgwnad 3 1 10 20");
  EXPECT_EQ(first("pgimag"), "pgimag [1 2 3 4 5 6] 3 2 1 3 1 2 1 6 [4 -1 0 0 0 10]");
  EXPECT_EQ(first("pgline"), "pgline 5 [3 3 1 1 3] [10 20 20 10 10]");
}

// Each cell spans from half-way to its lower neighbour to half-way to its
// upper one. Evenly spaced coordinates, single-precision rounding and all,
// keep one PGIMAG cell a value; others are drawn as equal fine cells, an
// eighth of the narrowest cell wide, each with the value of the cell under
// its centre (here a half cell, 8 fine cells, 0 .. 0.5; then 24 to the
// midpoint 2; then 16 to the last coordinate), reversed ones too. Window
// and frame come from the first and last coordinates either way.
TEST_F(PsMapCalls, CellsLieBetweenTheMidpointsOfTheirNeighbours) {
  const auto repeated = [](std::initializer_list<std::pair<int, int>> runs) {
    std::string out;
    for (const auto& [value, times] : runs)
      for (int k = 0; k < times; ++k) out += (out.empty() ? "" : " ") + std::to_string(value);
    return out;
  };
  const std::string fine =
      repeated({{1, 8}, {2, 24}, {3, 16}}) + " " + repeated({{4, 8}, {5, 24}, {6, 16}});
  const struct {
    std::vector<float> x;
    std::string wnad, imag, line;
  } cases[] = {
      {{0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f}, "pgwnad 0.1 0.6 10 20",
       "pgimag [1 2 3 4 5 6 7 8 9 10 11 12] 6 2 1 6 1 2 1 12 [0 0.1 0 0 0 10]",
       "pgline 5 [0.1 0.1 0.6 0.6 0.1] [10 20 20 10 10]"},
      {{0, 1, 3}, "pgwnad 0 3 10 20",
       "pgimag [" + fine + "] 48 2 1 48 1 2 1 6 [-0.03125 0.0625 0 0 0 10]",
       "pgline 5 [0 0 3 3 0] [10 20 20 10 10]"},
      {{3, 2, 0}, "pgwnad 3 0 10 20",
       "pgimag [" + fine + "] 48 2 1 48 1 2 1 6 [3.03125 -0.0625 0 0 0 10]",
       "pgline 5 [3 3 0 0 3] [10 20 20 10 10]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.wnad);
    recording() = {};
    std::vector<float> z(c.x.size() * 2);
    for (std::size_t k = 0; k < z.size(); ++k) z[k] = static_cast<float>(k + 1);
    if (c.x.size() == 3) z = z6;
    ps_map(c.x, y2, z);
    EXPECT_EQ(first("pgwnad"), c.wnad);
    EXPECT_EQ(first("pgimag"), c.imag);
    EXPECT_EQ(first("pgline"), c.line);
  }
}

TEST_F(PsMapCalls, RefusedInputOpensNoDevice) {
  ps_map(x3, y2, std::vector<float>{1, 2, 3, 4, 5});
  EXPECT_EQ(calls(), Lines{"console '  Warning: incompatible array sizes !!!'"});

  recording() = {};
  ps_map(std::vector<float>{1}, y2, std::vector<float>{1, 2});
  EXPECT_EQ(calls(), Lines{"console '  Warning: at least two x and two y values are needed !!!'"});

  recording() = {};
  ps_map(x3, std::vector<float>{}, std::vector<float>{1});
  EXPECT_EQ(calls(), (Lines{"console '  Warning: incompatible array sizes !!!'",
                            "console '  Warning: at least two x and two y values are needed !!!'"}));

  // The device cannot be opened: nothing more is drawn and nothing reported as written.
  recording() = {};
  recording().beg_status = 0;
  ps_map(x3, y2, z6);
  EXPECT_EQ(calls(), Lines{"pgbeg 0 'Map.ps" + blanks(74) + "/ps' 1 1"});
}

// The scale spans the finite values; infinite cells are handed to PGPLOT at
// its ends, values that are not numbers as they are. Without a finite value
// the map is flat, at zero.
TEST_F(PsMapCalls, InfiniteValuesTakeTheEndsOfTheFiniteRange) {
  ps_map(x3, y2, std::vector<float>{2, INFINITY, 3, -INFINITY, NAN, 4});
  EXPECT_EQ(first("pgimag"), "pgimag [2 4 3 2 nan 4] 3 2 1 3 1 2 2 4 [0 1 0 0 0 10]");
  EXPECT_EQ(first("pgwedg"), "pgwedg 'ri' 3 4 2 4 ' '");
  EXPECT_EQ(console_lines(), Lines{"'  Output in Map.ps'"});

  recording() = {};
  ps_map(x3, y2, std::vector<float>{INFINITY, -INFINITY, NAN, INFINITY, INFINITY, -INFINITY});
  EXPECT_EQ(first("pgimag"), "pgimag [0 0 nan 0 0 0] 3 2 1 3 1 2 0 0 [0 1 0 0 0 10]");
  EXPECT_EQ(first("pgwedg"), "pgwedg 'ri' 3 4 0 0 ' '");
  EXPECT_EQ(console_lines(), (Lines{"'  Array is flat!'", "'  Output in Map.ps'"}));
}

TEST_F(PsMapCalls, CoordinatesThatAreNotFiniteOpenNoDevice) {
  const std::string refused = "console '  Warning: x and y values must be finite !!!'";
  ps_map(std::vector<float>{1, INFINITY, 3}, y2, z6);
  ps_map(x3, std::vector<float>{NAN, 20}, z6);
  ps_map_r8(std::vector<double>{1, 2, -1.0e300}, std::vector<double>{10, 20},  // -inf in single
            std::vector<double>{1, 2, 3, 4, 5, 6});
  EXPECT_EQ(calls(), (Lines{refused, refused, refused}));
}

// Each form with its options by name makes the calls of the same form with
// them by position; an empty text stays present.
TEST_F(PsMapCalls, OptionsByNameAreThePositionalOptions) {
  const std::vector<double> xd{1, 2, 3}, yd{10, 20}, zd{1, 2, 3, 4, 5, 6};
  const float m[2][3] = {{1, 2, 3}, {4, 5, 6}};
  const double md[2][3] = {{1, 2, 3}, {4, 5, 6}};
  const auto same = [&](auto by_position, auto by_name) {
    recording() = {};
    by_position();
    const Lines expected = calls();
    recording() = {};
    by_name();
    EXPECT_EQ(calls(), expected);
  };
  same([&] { ps_map(x3, y2, z6, std::nullopt, std::nullopt, "", "Spectrum", "s.ps", "png"); },
       [&] { ps_map(x3, y2, z6, {.ylabel = "", .title = "Spectrum", .file = "s.ps", .device = "png"}); });
  same([&] { ps_map_r8(xd, yd, zd, -1, "t"); }, [&] { ps_map_r8(xd, yd, zd, {.log = -1, .xlabel = "t"}); });
  same([&] { ps_map_2d(x3, y2, m, std::nullopt, std::nullopt, std::nullopt, std::nullopt, "m.ps"); },
       [&] { ps_map_2d(x3, y2, m, {.file = "m.ps"}); });
  same([&] { ps_map_2d_r8(xd, yd, md, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, "eps"); },
       [&] { ps_map_2d_r8(xd, yd, md, {.device = "eps"}); });
}

TEST_F(PsMapCalls, ArgumentFormsPackAndNarrowOnce) {
  // (row, column) = (1,1)=a (2,1)=b (3,1)=c (1,2)=d (2,2)=e (3,2)=f
  const float m[2][3] = {{1, 2, 3}, {4, 5, 6}};
  ps_map_2d(x3, y2, m);
  const Lines base_form = calls();
  EXPECT_EQ(first("pgimag"), "pgimag [1 2 3 4 5 6] 3 2 1 3 1 2 1 6 [0 1 0 0 0 10]");
  EXPECT_EQ(console_lines(), Lines{"'  Output in Map.ps'"});

  recording() = {};
  ps_map(x3, y2, z6);
  EXPECT_EQ(calls(), base_form);

  const std::vector<double> xd{1, 2, 3}, yd{10, 20}, zd{1, 2, 3, 4, 5, 6};
  recording() = {};
  ps_map_r8(xd, yd, zd);
  EXPECT_EQ(calls(), base_form);

  const double md[2][3] = {{1, 2, 3}, {4, 5, 6}};
  recording() = {};
  ps_map_2d_r8(xd, yd, md);
  EXPECT_EQ(calls(), base_form);

  // Bounds -60.. play no part; strided storage is read in element order.
  const double wide[] = {0.1, -1, 0.2, -1, 0.3, -1, 0.4, -1, 0.5, -1, 0.6, -1};
  recording() = {};
  ps_map_2d_r8(xd, yd, maparg::MatView<double>(wide, 3, 2, 2, 6, -60, -60));
  EXPECT_EQ(first("pgimag"), "pgimag [0.1 0.2 0.3 0.4 0.5 0.6] 3 2 1 3 1 2 0.1 0.6 [0 1 0 0 0 10]");

  // The optional arguments take effect once, inside ps_map.
  recording() = {};
  ps_map_r8(xd, yd, zd, -1, "  t", std::nullopt, "  Energy", "Map.ps", "cps");
  EXPECT_EQ(first("pgbeg"), "pgbeg 0 'Map.cps" + blanks(73) + "/cps' 1 1");
  EXPECT_EQ(first("pglab"), "pglab 't" + blanks(99) + "' 'y" + blanks(99) + "' 'log(Energy)" +
                                blanks(89) + "'");
  EXPECT_EQ(first("pgimag"),
            "pgimag [0 0.30103 0.477121 0.60206 0.69897 0.778151] 3 2 1 3 1 2 0 0.778151 "
            "[0 1 0 0 0 10]");
  EXPECT_EQ(console_lines(), Lines{"'  Output in Map.cps'"});

  // The forms pass the texts on as given: a title cut inside a character, an
  // all-blank label and a file name beyond its field come out as from ps_map.
  const std::string title = std::string(79, 'e') + "\xC3\xA9 end";
  const std::string file = std::string(90, 'f') + ".ps";
  recording() = {};
  ps_map(x3, y2, z6, std::nullopt, "   ", " \xC3\xA9", title, file, "null");
  const Lines from_base = calls();
  recording() = {};
  ps_map_2d_r8(xd, yd, md, std::nullopt, "   ", " \xC3\xA9", title, file, "null");
  EXPECT_EQ(calls(), from_base);
}

// postscript_map is the form of its arrays' precision and shape, the options
// in their places.
TEST_F(PsMapCalls, OneNameForTheFourForms) {
  const auto calls_of = [](auto call) {
    recording() = {};
    call();
    return calls();
  };
  const std::vector<double> xd{1, 2, 3}, yd{10, 20}, zd{1, 2, 3, 4, 5, 6};
  const float m[2][3] = {{1, 2, 3}, {4, 5, 6}};
  const double md[2][3] = {{1, 2, 3}, {4, 5, 6}};
  const PsMapOptions o{.log = -1, .xlabel = "a", .ylabel = "b", .title = "c", .file = "f.ps",
                       .device = "png"};
  EXPECT_EQ(calls_of([&] { postscript_map(x3, y2, z6, o); }),
            calls_of([&] { ps_map(x3, y2, z6, -1, "a", "b", "c", "f.ps", "png"); }));
  EXPECT_EQ(calls_of([&] { postscript_map(xd, yd, zd, {.ylabel = "b", .device = "cps"}); }),
            calls_of([&] { ps_map_r8(xd, yd, zd, {.ylabel = "b", .device = "cps"}); }));
  EXPECT_EQ(calls_of([&] { postscript_map(x3, y2, m); }), calls_of([&] { ps_map_2d(x3, y2, m); }));
  EXPECT_EQ(calls_of([&] { postscript_map(xd, yd, md, o); }),
            calls_of([&] { ps_map_2d_r8(xd, yd, md, o); }));
  EXPECT_EQ(first("pgbeg"), "pgbeg 0 'f.png" + blanks(75) + "/png' 1 1");
}

// The colour options: the table goes to PGCTAB in place of the grey ramp, the
// caller's range to PGIMAG and PGWEDG, values beyond it at its ends.
TEST_F(PsMapCalls, PaletteAndRangeReachPgplot) {
  ps_map(x3, y2, z6, {.palette = "heat"});
  EXPECT_EQ(first("pgctab"),
            "pgctab [0 0.333333 0.666667 1] [0 1 1 1] [0 0 1 1] [0 0 0 1] 4 1 0.5");
  EXPECT_EQ(first("pgimag"), "pgimag [1 2 3 4 5 6] 3 2 1 3 1 2 1 6 [0 1 0 0 0 10]");
  EXPECT_EQ(console_lines(), Lines{"'  Output in Map.ps'"});

  recording() = {};
  const maparg::PalettePoint points[] = {{0, 1, 0, 0}, {0.5f, 0, 1, 0}, {1, 0, 0, 1}};
  ps_map(x3, y2, z6, {.palette = points, .zmin = 2, .zmax = 4.5});
  EXPECT_EQ(first("pgctab"), "pgctab [0 0.5 1] [1 0 0] [0 1 0] [0 0 1] 3 1 0.5");
  EXPECT_EQ(first("pgimag"), "pgimag [2 2 3 4 4.5 4.5] 3 2 1 3 1 2 2 4.5 [0 1 0 0 0 10]");
  EXPECT_EQ(first("pgwedg"), "pgwedg 'ri' 3 4 2 4.5 ' '");

  // Either limit alone, the other from the data; infinite values at the ends
  // of the range drawn.
  recording() = {};
  ps_map(x3, y2, std::vector<float>{2, INFINITY, 3, -INFINITY, NAN, 4}, {.zmax = 10});
  EXPECT_EQ(first("pgimag"), "pgimag [2 10 3 2 nan 4] 3 2 1 3 1 2 2 10 [0 1 0 0 0 10]");

  // A flat map in a range of its own is no flat map; under the log option
  // the limits are logarithms too.
  recording() = {};
  ps_map(x3, y2, std::vector<float>(6, 10), {.log = -1, .zmin = 1, .zmax = 100});
  EXPECT_EQ(first("pgimag"), "pgimag [1 1 1 1 1 1] 3 2 1 3 1 2 0 2 [0 1 0 0 0 10]");
  EXPECT_EQ(console_lines(), Lines{"'  Output in Map.ps'"});

  // Each form passes them on.
  const std::vector<double> xd{1, 2, 3}, yd{10, 20}, zd{1, 2, 3, 4, 5, 6};
  recording() = {};
  ps_map(x3, y2, z6, {.palette = "viridis_r", .zmin = 0, .zmax = 8});
  const Lines base_form = calls();
  recording() = {};
  ps_map_r8(xd, yd, zd, {.palette = "viridis_r", .zmin = 0, .zmax = 8});
  EXPECT_EQ(calls(), base_form);
  const double md[2][3] = {{1, 2, 3}, {4, 5, 6}};
  recording() = {};
  ps_map_2d_r8(xd, yd, md, {.palette = "viridis_r", .zmin = 0, .zmax = 8});
  EXPECT_EQ(calls(), base_form);
}

// The colours asked for cells the table does not give: after the image, each
// colour to its own colour index, then one rectangle per row's run of its
// cells (NaN cells, cells below zmin, cells above zmax); the wedge gets a
// triangle of under's and over's index at its ends. Without a range of the
// caller's, under and over colour nothing and the wedge is the plain one;
// unusable colours warn and draw as without them.
TEST_F(PsMapCalls, CellColoursAskedAreRectanglesOverTheImage) {
  const maparg::Colour teal{0, 0.5, 0.5}, orange{1, 0.5, 0}, pink{1, 0.75, 0.75};
  const std::vector<float> z{1, NAN, NAN, 4, 5, 6};
  const std::string image = "pgimag [2 nan nan 4 5 5] 3 2 1 3 1 2 2 5 [0 1 0 0 0 10]";
  const struct {
    PsMapOptions o;
    Lines between;  // the calls between pgimag and pgebuf
    std::string wedge;
    Lines console;
  } cases[] = {
      {{.zmin = 2, .zmax = 5, .nan_colour = teal, .under = orange, .over = pink},
       {"pgscr 13 0 0.5 0.5", "pgsci 13", "pgrect 1.5 3.5 5 15", "pgscr 14 1 0.5 0",
        "pgsci 14", "pgrect 0.5 1.5 5 15", "pgscr 15 1 0.75 0.75", "pgsci 15",
        "pgrect 2.5 3.5 15 25"},
       "pgwedg_ends 'ri' 3 4 2 5 ' ' 14 15",
       {}},
      {{.zmin = 2, .zmax = 5, .over = pink},
       {"pgscr 15 1 0.75 0.75", "pgsci 15", "pgrect 2.5 3.5 15 25"},
       "pgwedg_ends 'ri' 3 4 2 5 ' ' -1 15",
       {}},
      {{.zmin = 2, .zmax = 5, .under = orange}, {"pgscr 14 1 0.5 0", "pgsci 14",
        "pgrect 0.5 1.5 5 15"}, "pgwedg_ends 'ri' 3 4 2 5 ' ' 14 -1", {}},
      {{.zmin = 2, .zmax = 5}, {}, "pgwedg 'ri' 3 4 2 5 ' '", {}},
      {{.zmin = 2, .zmax = 5, .nan_colour = maparg::Colour{1.5, 0, 0},
        .under = maparg::Colour{NAN, 0, 0}, .over = maparg::Colour{0, -0.1, 0}},
       {},
       "pgwedg 'ri' 3 4 2 5 ' '",
       {"'  Warning: nan_colour must be three intensities within 0 .. 1: black used !!!'",
        "'  Warning: under must be three intensities within 0 .. 1: the end colours used !!!'",
        "'  Warning: over must be three intensities within 0 .. 1: the end colours used !!!'"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.wedge);
    recording() = {};
    ps_map(x3, y2, z, c.o);
    const auto at = std::find(calls().begin(), calls().end(), image);
    ASSERT_NE(at, calls().end());
    const auto end = std::find(at, calls().end(), "pgebuf");
    EXPECT_EQ(Lines(at + 1, end), c.between);
    EXPECT_EQ(first(c.wedge.substr(0, c.wedge.find(' '))), c.wedge);
    Lines console = c.console;
    console.push_back("'  Output in Map.ps'");
    EXPECT_EQ(console_lines(), console);
  }
  // Without a range of the caller's, under and over change nothing; nan_colour
  // colours the NaN cells (log10 of zero and below is fatal, so no log here).
  recording() = {};
  ps_map(x3, y2, z);
  const Lines plain = calls();
  recording() = {};
  ps_map(x3, y2, z, {.under = orange, .over = pink});
  EXPECT_EQ(calls(), plain);
  recording() = {};
  ps_map(x3, y2, z, {.palette = "heat", .nan_colour = teal});
  EXPECT_EQ(first("pgrect"), "pgrect 1.5 3.5 5 15");
  EXPECT_EQ(first("pgwedg"), "pgwedg 'ri' 3 4 1 6 ' '");
}

TEST_F(PsMapCalls, UnusablePaletteOrRangeWarnsAndDrawsGreyOrTheDataRange) {
  const std::string grey = "pgctab [0 1] [0 1] [0 1] [0 1] 2 1 0.5";
  ps_map(x3, y2, z6, {.palette = "sepia"});
  EXPECT_EQ(first("pgctab"), grey);
  EXPECT_EQ(console_lines(), (Lines{"'  Warning: unknown palette sepia, grey used !!!'",
                                    "'  Output in Map.ps'"}));

  recording() = {};
  const maparg::PalettePoint one[] = {{0, 1, 0, 0}};
  ps_map(x3, y2, z6, {.palette = one});
  EXPECT_EQ(first("pgctab"), grey);
  EXPECT_EQ(console_lines().size(), 2u);
  EXPECT_EQ(console_lines().front().substr(0, 35), "'  Warning: palette points invalid ");

  const std::string range_warning =
      "'  Warning: zmin must be below zmax, both finite: the data's range used !!!'";
  for (const auto& [lo, hi] : std::vector<std::pair<maparg::OptReal, maparg::OptReal>>{
           {5, 5}, {6, 2}, {7, std::nullopt}, {std::nullopt, 0}, {NAN, 3}, {0, 1e300}}) {
    recording() = {};
    ps_map(x3, y2, z6, {.zmin = lo, .zmax = hi});
    EXPECT_EQ(first("pgimag"), "pgimag [1 2 3 4 5 6] 3 2 1 3 1 2 1 6 [0 1 0 0 0 10]");
    EXPECT_EQ(first("pgwedg"), "pgwedg 'ri' 3 4 1 6 ' '");
    EXPECT_EQ(console_lines(), (Lines{range_warning, "'  Output in Map.ps'"}));
  }
}

// The page options: aspect "auto" sets the window with PGSWIN in place of
// PGWNAD, pixels size a PNG picture right after PGBEG; other values warn.
TEST_F(PsMapCalls, AspectAndPixelsChangeTheirCallsOnly) {
  const std::string aspect_warning = "'  Warning: aspect must be equal or auto: equal used !!!'";
  const std::string pixels_warning =
      "'  Warning: pixels must be 16 .. 16384 each: 800 x 600 used !!!'";
  const std::array<std::int64_t, 2> wide{1000, 400}, narrow{15, 400}, huge{16385, 16};
  const struct {
    PsMapOptions o;
    std::string second, window, warning;
  } cases[] = {
      {{.aspect = "AUTO"}, "pgscf 2", "pgswin 1 3 10 20", ""},
      {{.aspect = " equal "}, "pgscf 2", "pgwnad 1 3 10 20", ""},
      {{.aspect = "tall"}, "pgscf 2", "pgwnad 1 3 10 20", aspect_warning},
      {{.device = "PNG", .pixels = wide}, "pgpap_pixels 1000 400", "pgwnad 1 3 10 20", ""},
      {{.device = "tpng", .pixels = wide}, "pgpap_pixels 1000 400", "pgwnad 1 3 10 20", ""},
      {{.device = "ps", .pixels = wide}, "pgscf 2", "pgwnad 1 3 10 20", ""},
      {{.device = "png", .pixels = narrow}, "pgscf 2", "pgwnad 1 3 10 20", pixels_warning},
      {{.device = "png", .pixels = huge}, "pgscf 2", "pgwnad 1 3 10 20", pixels_warning},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.second + " " + c.window + " " + c.warning);
    recording() = {};
    ps_map(x3, y2, z6, c.o);
    const Lines lines = console_lines();
    ASSERT_FALSE(calls().empty());
    EXPECT_EQ(lines.size(), c.warning.empty() ? 1u : 2u);
    if (!c.warning.empty()) { EXPECT_EQ(lines.front(), c.warning); }
    Lines drawing;  // the calls without the console lines
    for (const auto& call : calls())
      if (call.compare(0, 8, "console ") != 0) drawing.push_back(call);
    ASSERT_GE(drawing.size(), 6u);
    EXPECT_EQ(drawing[1], c.second);
    EXPECT_EQ(first(c.window.substr(0, 6)), c.window);
    EXPECT_EQ(first(c.window.substr(0, 6) == "pgswin" ? "pgwnad" : "pgswin"), "");
  }
}

// zcentre: the image's and the wedge's range symmetric around it, unless
// zmin or zmax is given; zlabel: PGWEDG's label.
TEST_F(PsMapCalls, CentredRangesAndTheZLabel) {
  const std::string warning = "'  Warning: zcentre must be finite: the data's range used !!!'";
  const struct {
    PsMapOptions o;
    std::string wedg;
    bool warned;
  } cases[] = {
      {{.zcentre = 0}, "pgwedg 'ri' 3 4 -6 6 ' '", false},
      {{.zcentre = 7.5}, "pgwedg 'ri' 3 4 1 14 ' '", false},
      {{.zmin = 2, .zcentre = 0}, "pgwedg 'ri' 3 4 2 6 ' '", false},
      {{.zcentre = INFINITY}, "pgwedg 'ri' 3 4 1 6 ' '", true},
      {{.zcentre = 1e39}, "pgwedg 'ri' 3 4 1 6 ' '", true},
      {{.log = 1, .zcentre = 1}, "pgwedg 'ri' 3 4 -0.778151 0.778151 ' '", false},
      {{.zlabel = "  T / K"}, "pgwedg 'ri' 3 4 1 6 'T / K" + blanks(95) + "'", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.wedg);
    recording() = {};
    ps_map(x3, y2, z6, c.o);
    EXPECT_EQ(first("pgwedg"), c.wedg);
    EXPECT_EQ(console_lines().front() == warning, c.warned);
  }
}

// Data whose range is beyond the largest float keep their ends.
TEST_F(PsMapCalls, DataRangeBeyondTheLargestFloatKeepsItsEnds) {
  ps_map(x3, y2, std::vector<float>{-3e38f, 0, 3e38f, 1, 2, 3});
  EXPECT_EQ(first("pgimag"), "pgimag [-3e+38 0 3e+38 1 2 3] 3 2 1 3 1 2 -3e+38 3e+38 [0 1 0 0 0 10]");
  EXPECT_EQ(first("pgwedg"), "pgwedg 'ri' 3 4 -3e+38 3e+38 ' '");
}

// Limits under the log option: log10 of the caller's double, then single
// precision. A positive limit below the single-precision range keeps its
// logarithm in every form; one beyond it too.
TEST_F(PsMapCalls, LogLimitsAreTakenOfTheCallersDouble) {
  const std::vector<double> xd{1, 2, 3}, yd{10, 20}, zd{1, 10, 100, 1000, 1e4, 1e5};
  const double md[2][3] = {{1, 10, 100}, {1000, 1e4, 1e5}};
  const std::vector<float> zf{1, 10, 100, 1000, 1e4, 1e5};
  const struct {
    double zmin, zmax;
    std::string imag, wedg;
  } cases[] = {
      {1e-300, 1e300, "pgimag [0 1 2 3 4 5] 3 2 1 3 1 2 -300 300 [0 1 0 0 0 10]",
       "pgwedg 'ri' 3 4 -300 300 ' '"},
      {1e-45, 1e39, "pgimag [0 1 2 3 4 5] 3 2 1 3 1 2 -45 39 [0 1 0 0 0 10]",
       "pgwedg 'ri' 3 4 -45 39 ' '"},
      {0.1, 1e3, "pgimag [0 1 2 3 3 3] 3 2 1 3 1 2 -1 3 [0 1 0 0 0 10]",
       "pgwedg 'ri' 3 4 -1 3 ' '"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.imag);
    const PsMapOptions o{.log = 1, .zmin = c.zmin, .zmax = c.zmax};
    for (int form = 0; form < 3; ++form) {
      recording() = {};
      if (form == 0) ps_map_r8(xd, yd, zd, o);
      if (form == 1) ps_map_2d_r8(xd, yd, md, o);
      if (form == 2) ps_map(x3, y2, zf, o);
      EXPECT_EQ(first("pgimag"), c.imag) << "form " << form;
      EXPECT_EQ(first("pgwedg"), c.wedg) << "form " << form;
      EXPECT_EQ(console_lines(), Lines{"'  Output in Map.ps'"}) << "form " << form;
    }
  }
}

}  // namespace
}  // namespace mapps

namespace mapps {
namespace {

// Contour lines add their block of calls between the image and PGEBUF and
// nothing else: their colour as index 12, line width 2, a PGLINE a line, the
// numbers (PGPTXT) at size 0.7; a page opens the device once with its
// panels, each map a PGPAGE and the map's own calls without PGBEG and
// PGEND, the file's line when it closes.
TEST_F(PsMapCalls, ContoursAndPagesAddTheirCallsAndNothingElse) {
  ps_map(x3, y2, z6);
  const Lines plain = calls();
  const auto at = [](const Lines& l, std::string_view name) {
    return static_cast<std::size_t>(
        std::find_if(l.begin(), l.end(), [&](const std::string& c) { return c.starts_with(name); }) -
        l.begin());
  };
  recording() = {};
  const double level[] = {3.5};
  ps_map(x3, y2, z6, {.contours = std::span<const double>(level),
                      .contour_colour = maparg::Colour{1, 0, 0}, .contour_labels = -1});
  Lines drawn = calls();
  const std::size_t from = at(drawn, "pgimag") + 1, to = at(drawn, "pgebuf");
  const Lines block(drawn.begin() + static_cast<std::ptrdiff_t>(from),
                    drawn.begin() + static_cast<std::ptrdiff_t>(to));
  ASSERT_GE(block.size(), 8u);
  EXPECT_EQ(block[0], "pgscr 12 1 0 0");
  EXPECT_EQ(block[1], "pgsci 12");
  EXPECT_EQ(block[2], "pgslw 2");
  EXPECT_TRUE(block[3].starts_with("pgline ")) << block[3];
  EXPECT_NE(std::find(block.begin(), block.end(), "pgsch 0.7"), block.end());
  const auto text = std::find_if(block.begin(), block.end(),
                                 [](const std::string& c) { return c.starts_with("pgptxt "); });
  ASSERT_NE(text, block.end());
  EXPECT_TRUE(text->ends_with(" 0.5 '3.5'")) << *text;
  EXPECT_EQ(block.back(), "pgslw 3");
  drawn.erase(drawn.begin() + static_cast<std::ptrdiff_t>(from),
              drawn.begin() + static_cast<std::ptrdiff_t>(to));
  EXPECT_EQ(drawn, plain);

  recording() = {};
  {
    Page page("page", "png", {2, 1});
    for (int k = 0; k < 2; ++k)
      EXPECT_EQ(ps_map(x3, y2, z6, {.page = &page}).outcome, PsMapResult::Outcome::kOnPage);
    EXPECT_TRUE(page.close().written());
  }
  Lines want = {"pgbeg 0 'page" + blanks(76) + "/png' 2 1"};
  for (int k = 0; k < 2; ++k) {
    want.push_back("pgpage");
    want.insert(want.end(), plain.begin() + 1, plain.end() - 2);  // no pgbeg, pgend, line
  }
  want.push_back("pgend");
  want.push_back("console '  Output in page'");
  EXPECT_EQ(calls(), want);
}

}  // namespace
}  // namespace mapps
