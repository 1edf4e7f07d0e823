// stat and errmsg from Fortran (status_calls.f90): a fatal error turned into
// a status, with the message, nothing printed, the earlier file intact, no
// temporary file left, and the next call as usual.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <string>
#include <vector>

#include "fortran/entry_support.h"
#include "gfxwin/graphics.h"
#include "gfxwin/graphics_testing.h"
#include "rtl/fatal.h"
#include "rtl/testing/temp_folder.h"

extern "C" {
int fortran_status_call(int which, char* message);
void fortran_status_values(int* fatal, int* no_file);
void fortran_dat_map_log_of_zero();
}

namespace {

using rtl::testing::read_all;
using rtl::testing::write_all;

struct Status {
  int stat;
  std::string errmsg;  // without its trailing blanks
  std::string printed;  // on standard error
  std::vector<std::string> console;  // the console records
};

Status call(int which) {
  char message[100];
  std::vector<std::string> console;
  rtl::change_hooks([&](rtl::Hooks& h) {
    h.console_listener = [&console](std::string_view line) { console.emplace_back(line); };
  });
  testing::internal::CaptureStderr();
  const int stat = fortran_status_call(which, message);
  std::string printed = testing::internal::GetCapturedStderr();
  rtl::change_hooks([](rtl::Hooks& h) { h.console_listener = {}; });
  std::string text(message, sizeof message);
  text.erase(text.find_last_not_of(' ') + 1);
  return {stat, text, std::move(printed), std::move(console)};
}

class FortranStatus : public rtl::testing::InTempFolder {
 protected:
  void SetUp() override {
    InTempFolder::SetUp();
    gfxwin::reset_for_tests();
  }
  // In an emptied folder, the failing call `which`: stat 1, errmsg the
  // message, nothing printed, `earlier` (when named) untouched and alone in
  // the folder; then the call `next` succeeds with stat 0 and errmsg untouched.
  void expect_caught(int which, const std::string& message, const std::string& earlier,
                     int next) {
    for (const auto& e : std::filesystem::directory_iterator(".")) std::filesystem::remove(e);
    if (!earlier.empty()) write_all(earlier, "earlier");
    const Status failed = call(which);
    EXPECT_EQ(failed.stat, rtl::kFatalExitCode) << which;
    EXPECT_EQ(failed.errmsg, message) << which;
    EXPECT_EQ(failed.printed, "") << which;
    if (!earlier.empty()) {
      EXPECT_EQ(entries(), std::vector<std::string>{earlier}) << which;
      EXPECT_EQ(read_all(earlier), "earlier") << which;
    } else {
      EXPECT_EQ(entries(), std::vector<std::string>{}) << which;
    }
    const Status succeeded = call(next);
    EXPECT_EQ(succeeded.stat, 0) << next;
    EXPECT_EQ(succeeded.errmsg, "untouched") << next;
  }
};

using FortranStatusDeathTest = FortranStatus;

TEST_F(FortranStatus, FatalErrorsOfEveryRenderingBecomeAStatusAndTheNextCallWorks) {
  expect_caught(1, "log10: SING error", "Map.dat", 2);
  EXPECT_NE(read_all("Map.dat"), "earlier");
  expect_caught(3, "log10: SING error", "Map.ps", 4);
  EXPECT_EQ(read_all("Map.ps").substr(0, 4), "%!PS");
  expect_caught(5, "log10: SING error", "", 6);
  expect_caught(7, "File no/such/folder/Map.dat: cannot create: No such file or directory", "", 12);
  expect_caught(8, "File name holds a NUL byte: Map\\0.dat", "", 2);
}

// A screen map outside run_program that does not draw off screen, and an
// argument of a type the routine does not take, are fatal errors; stat of
// kind 1 gets its status as a default integer does.
TEST_F(FortranStatus, ScreenMapsOutsideTheRuntimeAndArgumentsOfOtherTypesAreFatalErrors) {
  const std::string needs =
      " needs the windowing runtime: call it from the routine run_program runs";
  const struct {
    int which;
    std::string errmsg;
  } cases[] = {
      {23, "scr_map_2d" + needs},
      {24, "scr_map" + needs},
      {25, "Argument log must be an integer or a logical"},
      {26, "Argument zmin must be real(4) or real(8)"},
      {27, "Argument pixels must be integer(4) or integer(8)"},
      {28, "log10: SING error"},
  };
  for (const auto& c : cases) expect_caught(c.which, c.errmsg, "", 6);
}

TEST_F(FortranStatus, AFileCutShortByTheSizeLimitLeavesTheEarlierFile) {
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  expect_caught(9, "File Map.dat: cannot write: File too large", "Map.dat", 2);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, old_handler);
}

// A PostScript map that writes no file: stat 2 and the warning's text in
// errmsg, the warning printed as without stat, nothing written; the null
// device, which writes no file by design, succeeds. Without stat the
// warning alone, and the call returns.
TEST_F(FortranStatus, APostScriptMapWithoutAFileHasAStatusOfItsOwn) {
  struct Case {
    int which;
    int stat;
    std::string errmsg;
    std::string console;  // the one console record, or none
    std::string printed;
  };
  const std::string no_folder = "no/such/folder/Map.ps";
  const Case cases[] = {
      {13, 2, "Warning: at least two x and two y values are needed !!!",
       "  Warning: at least two x and two y values are needed !!!", ""},
      {14, 2, "Unrecognized device type: xyz", "", "%PGPLOT, Unrecognized device type: xyz\n"},
      {15, 2, "Cannot open output file for PostScript plot: " + no_folder +
                  ": No such file or directory",
       "", "%PGPLOT, Cannot open output file for PostScript plot: " + no_folder +
               ": No such file or directory\n"},
      {16, 0, "untouched", "", ""},
      {17, 2, "Warning: incompatible array sizes !!!", "  Warning: incompatible array sizes !!!",
       ""},
      {18, 2, "Unrecognized device type: tmp/x/ps", "",
       "%PGPLOT, Unrecognized device type: tmp/x/ps\n"},
      {19, 2, "Warning: x and y values must be finite !!!",
       "  Warning: x and y values must be finite !!!", ""},
      {20, 2, "Cannot open output file for PNG plot: folder: Is a directory", "",
       "%PGPLOT, Cannot open output file for PNG plot: folder: Is a directory\n"},
      {21, -99, "untouched", "", "%PGPLOT, Unrecognized device type: xyz\n"},
      {22, 2, "untouched", "", "%PGPLOT, Unrecognized device type: xyz\n"},
  };
  int fatal = 0, no_file = 0;
  fortran_status_values(&fatal, &no_file);
  EXPECT_EQ(fatal, rtl::kFatalExitCode);
  EXPECT_EQ(no_file, fortran_binding::kNoFileWritten);
  EXPECT_EQ(no_file, 2);
  std::filesystem::create_directory("folder");
  for (const Case& c : cases) {
    const Status s = call(c.which);
    EXPECT_EQ(s.stat, c.stat) << c.which;
    EXPECT_EQ(s.errmsg, c.errmsg) << c.which;
    EXPECT_EQ(s.console, c.console.empty() ? std::vector<std::string>{}
                                           : std::vector<std::string>{c.console})
        << c.which;
    EXPECT_EQ(s.printed, c.printed) << c.which;
    EXPECT_EQ(entries(), std::vector<std::string>{"folder"}) << c.which;
  }
  EXPECT_TRUE(std::filesystem::is_empty("folder"));
}

TEST_F(FortranStatus, ErrmsgIsCutToItsLengthAndMayBeLeftOut) {
  EXPECT_EQ(call(10).errmsg, "log10");
  const Status without_errmsg = call(11);
  EXPECT_EQ(without_errmsg.stat, rtl::kFatalExitCode);
  EXPECT_EQ(without_errmsg.errmsg, "untouched");
  EXPECT_EQ(without_errmsg.printed, "");
}

TEST_F(FortranStatusDeathTest, WithoutStatAFatalErrorEndsTheProgramAgain) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        call(1);
        fortran_dat_map_log_of_zero();
      },
      testing::ExitedWithCode(rtl::kFatalExitCode), "^log10: SING error\n$");
  char message[100];
  EXPECT_EXIT(fortran_status_call(29, message), testing::ExitedWithCode(rtl::kFatalExitCode),
              "^Argument log must be an integer or a logical\n$");
}

}  // namespace
