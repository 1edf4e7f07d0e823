// stat and errmsg from Fortran (status_calls.f90): a fatal error turned into
// a status, with the message, nothing printed, the earlier file intact, no
// temporary file left, and the next call as usual.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <string>
#include <vector>

#include "gfxwin/graphics.h"
#include "gfxwin/graphics_testing.h"
#include "rtl/fatal.h"
#include "rtl/testing/temp_folder.h"

extern "C" {
int fortran_status_call(int which, char* message);
void fortran_dat_map_log_of_zero();
}

namespace {

using rtl::testing::read_all;
using rtl::testing::write_all;

struct Status {
  int stat;
  std::string errmsg;  // without its trailing blanks
  std::string printed;  // on standard error
};

Status call(int which) {
  char message[100];
  testing::internal::CaptureStderr();
  const int stat = fortran_status_call(which, message);
  std::string text(message, sizeof message);
  text.erase(text.find_last_not_of(' ') + 1);
  return {stat, text, testing::internal::GetCapturedStderr()};
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
}

}  // namespace
