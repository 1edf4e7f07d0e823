// The PostScript map drawn through giza into real files.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "mapps/pgplot.h"
#include "mapps/ps_map.h"
#include "mapps/test_support.h"
#include "rtl/console.h"
#include "rtl/fatal.h"

namespace mapps {
namespace {

using testing_support::read_all;
using testing_support::starts_with;
using testing_support::write_all;
using Strings = std::vector<std::string>;

class PsMapFiles : public testing_support::InTempFolder {
 protected:
  void SetUp() override {
    InTempFolder::SetUp();
    rtl::set_console_listener([this](std::string_view line) { lines.emplace_back(line); });
    for (int i = 0; i < 121; ++i) {
      x.push_back(-2.0f + 0.025f * static_cast<float>(i));
      y.push_back(-1.5f + 0.025f * static_cast<float>(i));
    }
    for (int j = 0; j < 121; ++j)
      for (int i = 0; i < 121; ++i) z.push_back(std::sin(2 * x[i]) * std::cos(3 * y[j]) + 2);
  }
  void TearDown() override {
    rtl::set_console_listener({});
    InTempFolder::TearDown();
  }
  Strings lines;
  std::vector<float> x, y, z;
};

using PsMapFilesDeathTest = PsMapFiles;

// Ghostscript's messages on rendering `file` without output ("" when clean),
// or a note that it failed.
std::string ghostscript_messages(const std::string& file) {
  const std::string command =
      "gs -q -dNOPAUSE -dBATCH -sDEVICE=nullpage '" + file + "' > gs.out 2>&1";
  const int status = std::system(command.c_str());
  std::string messages = read_all("gs.out");
  std::remove("gs.out");
  if (status != 0) messages += "[gs exit status " + std::to_string(status) + "]";
  return messages;
}

TEST_F(PsMapFiles, DefaultMapIsPostScriptThatGhostscriptRenders) {
  ps_map(x, y, z);
  EXPECT_EQ(entries(), Strings{"Map.ps"});
  EXPECT_TRUE(starts_with(read_all("Map.ps"), "%!PS-Adobe"));
  EXPECT_EQ(ghostscript_messages("Map.ps"), "");
  EXPECT_EQ(lines, Strings{"  Output in Map.ps"});

  // A flat map still gives a complete file (PGPLOT's messages go to stderr).
  lines.clear();
  testing::internal::CaptureStderr();
  ps_map(x, y, std::vector<float>(z.size(), 1.0f), std::nullopt, "Time", "Place", "Flat",
         "flat.ps");
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(lines, (Strings{"  Array is flat!", "  Output in flat.ps"}));
  EXPECT_EQ(ghostscript_messages("flat.ps"), "");
}

TEST_F(PsMapFiles, DeviceTypesGiveFilesOfTheirKindsUnderTheEndingRule) {
  const Strings no_more = {};
  ps_map(x, y, z, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, "png");
  ps_map(x, y, z, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, "pdf");
  ps_map(x, y, z, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, "svg");
  ps_map(x, y, z, std::nullopt, std::nullopt, std::nullopt, std::nullopt, "out.eps", "cps");
  ps_map(x, y, z, std::nullopt, std::nullopt, std::nullopt, std::nullopt, "plot", "png");
  EXPECT_EQ(lines, (Strings{"  Output in Map.png", "  Output in Map.pdf", "  Output in Map.svg",
                            "  Output in out.ecps", "  Output in plot"}));
  EXPECT_EQ(entries(), (Strings{"Map.pdf", "Map.png", "Map.svg", "out.ecps", "plot"}));
  EXPECT_TRUE(starts_with(read_all("Map.png"), "\x89PNG\r\n\x1a\n"));
  EXPECT_TRUE(starts_with(read_all("plot"), "\x89PNG\r\n\x1a\n"));
  EXPECT_TRUE(starts_with(read_all("Map.pdf"), "%PDF-"));
  EXPECT_NE(read_all("Map.svg").find("<svg"), std::string::npos);
  EXPECT_TRUE(starts_with(read_all("out.ecps"), "%!PS-Adobe"));
  EXPECT_EQ(ghostscript_messages("out.ecps"), "");

  // gif: named Map.gif, but no device draws it; PGPLOT says so and nothing is reported written.
  lines.clear();
  testing::internal::CaptureStderr();
  ps_map(x, y, z, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, "gif");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "%PGPLOT, Unrecognized device type: gif\n");
  EXPECT_EQ(lines, no_more);
  EXPECT_EQ(entries(), (Strings{"Map.pdf", "Map.png", "Map.svg", "out.ecps", "plot"}));
}

TEST_F(PsMapFiles, AnEarlierMapSurvivesCallsThatFail) {
  write_all("Map.ps", "earlier");
  const std::vector<float> too_few(z.begin(), z.end() - 1);
  ps_map(x, y, too_few);
  ps_map(std::vector<float>{1}, y, std::vector<float>(121, 1.0f));
  testing::internal::CaptureStderr();
  ps_map(x, y, z, std::nullopt, std::nullopt, std::nullopt, std::nullopt, "no/such/Map.ps");
  const std::string messages = testing::internal::GetCapturedStderr();
  EXPECT_EQ(messages,
            "%PGPLOT, Cannot open output file for PostScript plot: no/such/Map.ps: "
            "No such file or directory\n");
  EXPECT_EQ(lines, (Strings{"  Warning: incompatible array sizes !!!",
                            "  Warning: at least two x and two y values are needed !!!"}));
  EXPECT_EQ(read_all("Map.ps"), "earlier");
  EXPECT_EQ(entries(), Strings{"Map.ps"});
}

TEST_F(PsMapFilesDeathTest, AFatalErrorWhileDrawingLeavesTheEarlierMap) {
  write_all("Map.ps", "earlier");
  // giza's calls, with a failure after the labels are drawn, before PGEND.
  static Pgplot failing = giza_pgplot();
  failing.lab = [](std::string_view a, std::string_view b, std::string_view c) {
    giza_pgplot().lab(a, b, c);
    rtl::fatal_error("File Map.ps: cannot write: No space left on device");
  };
  EXPECT_EXIT(
      {
        set_pgplot(&failing);
        ps_map(x, y, z);
      },
      testing::ExitedWithCode(rtl::kFatalExitCode), "File Map.ps: cannot write");
  EXPECT_EQ(read_all("Map.ps"), "earlier");
  EXPECT_EQ(entries(), Strings{"Map.ps"});
}

TEST_F(PsMapFilesDeathTest, LogOfZeroOrNegativeEndsTheProgramBeforeAnyFile) {
  write_all("Map.ps", "earlier");
  std::vector<float> with_zero = z;
  with_zero[5] = 0.0f;
  EXPECT_EXIT(ps_map(x, y, with_zero, 1), testing::ExitedWithCode(rtl::kFatalExitCode),
              "log10: SING error");
  with_zero[5] = -0.0f;
  EXPECT_EXIT(ps_map(x, y, with_zero, -1, std::nullopt, std::nullopt, std::nullopt, "new.ps"),
              testing::ExitedWithCode(rtl::kFatalExitCode), "log10: SING error");
  std::vector<float> with_negative = z;
  with_negative[7] = -3.0f;
  with_negative[9] = 0.0f;  // the first bad value in order decides
  EXPECT_EXIT(ps_map_r8(std::vector<double>(x.begin(), x.end()),
                        std::vector<double>(y.begin(), y.end()),
                        std::vector<double>(with_negative.begin(), with_negative.end()), 1,
                        std::nullopt, std::nullopt, std::nullopt, "new.png", "png"),
              testing::ExitedWithCode(rtl::kFatalExitCode), "log10: DOMAIN error");
  EXPECT_EQ(read_all("Map.ps"), "earlier");
  EXPECT_EQ(entries(), Strings{"Map.ps"});
}

}  // namespace
}  // namespace mapps
